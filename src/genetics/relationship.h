// Relationships through A = T D T' without forming A: one backward pass
// gives D T' x, one forward pass T (D T' x). Codes are the chronological
// codes 1..nTotal (parents first); index 0 is the unknown parent, whose
// entry stays 0. All values are 32-bit floats rounded at each store.
#pragma once

#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

// The within-family variance of every individual, indexed by code (entry 0
// unused): 1/2 - (Fs + Fd)/4 with an unknown parent's F = -1. Needs the
// coefficients computed and `records` in code order.
std::vector<float> MendelianVariances(const Pedigree& ped);

// a(x, y) for two records, with the variances of MendelianVariances.
float PairRelationship(const Pedigree& ped, const std::vector<float>& d, RecIndex x, RecIndex y);

// r = a / sqrt((1 + Fx)(1 + Fy)), each step rounded to float.
float RelationshipCoefficient(float a, float fx, float fy);

}  // namespace kinvar
