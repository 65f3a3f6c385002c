// The inverse of A augmented with genetic groups (A*^-1): Henderson's rules
// in which an unknown parent's share goes to the group standing for it. Each
// individual adds alpha * c c' to the matrix, c being its row of the
// equations of the mixed model: 1 for itself, -1/2 for a known parent, and
// -1/2 times the fraction for each group of an unknown parent; alpha is
// 1/d, the same within-family variance as everywhere (groups have no F).
//
// Rows and columns 0..n-1 are the individuals by code, n..n+g-1 the groups
// in the order of the groups file; only the lower triangle is held, with the
// conventions of the inverse of A.
#pragma once

#include <vector>

#include "genetics/inverse_a.h"

namespace kinvar {

template <class T>
struct LowerContribution {
  std::int32_t row;  // row >= column
  std::int32_t column;
  T value;
};

// The contributions summed into the lower triangle: each element's in the
// order they come in `all` (which is emptied), rows ascending, columns
// ascending within a row, as Henderson's rules insert them one by one.
template <class T>
BasicSparseLower<T> AssembleLower(std::int32_t n, std::vector<LowerContribution<T>>& all);

template <class T>
BasicInverseBuild<T> BuildInverseWithGroups(const Pedigree& ped, const std::vector<T>& d,
                                            Progress& progress);

}  // namespace kinvar
