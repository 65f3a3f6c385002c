// Relationships through A = T D T' without forming A: one backward pass
// gives D T' x, one forward pass T (D T' x). Codes are the chronological
// codes 1..nTotal (parents first); index 0 is the unknown parent, whose
// entry stays 0. All values are 32-bit floats rounded at each store.
#pragma once

#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

// a(x, y) for two records, through the variances `d` by code (ped.d once the
// coefficients are computed).
float PairRelationship(const Pedigree& ped, const std::vector<float>& d, RecIndex x, RecIndex y);

// r = a / sqrt((1 + Fx)(1 + Fy)), each step rounded to float.
float RelationshipCoefficient(float a, float fx, float fy);

}  // namespace kinvar
