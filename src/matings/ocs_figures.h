// Optimum contribution selection's figures around the solver: the
// candidates' coancestry matrix, its mean, and the sires' contributions
// turned into whole matings.
//
// Conventions of this header:
// - Candidates are the sires (MatingGroups::sires) first, then the dams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "matings/mating_files.h"
#include "pedigree/pedigree.h"

namespace kinvar {

// The candidates' coancestry matrix in doubles; needs the coefficients.
std::vector<double> CandidateKinship(Pedigree& ped, const MatingGroups& groups);

// Mean of K over all ordered pairs, self-pairs included.
double MeanOfMatrix(const std::vector<double>& k, std::size_t n);

// Whole matings summing to `dams` from the sires' contributions (summing to
// 1/2): the floors of 2 dams c_i, then one more to the largest remainders,
// ties to the lower code (`codes` by sire position).
std::vector<std::int32_t> WholeMatings(const std::vector<double>& sireContributions,
                                       std::int32_t dams, const std::vector<std::int32_t>& codes);

}  // namespace kinvar
