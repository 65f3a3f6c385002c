// The two factors of A = T D T': the rows of matrix T and the
// within-family segregation variances D (dii).
//
// Conventions: codes are the chronological codes 1..nTotal; t(i, k) is the
// expected fraction of the genes of i that come from its ancestor k (1 on
// the diagonal, 0 for non-ancestors). dii is ped.d, the D the inbreeding
// coefficients went through: 1/2 - (Fs + Fd)/4, corrected for an individual
// with a predefined F so that its diagonal of A is 1 + F.
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

// Row `code` of T over codes 1..nTotal, entry 0 unused, by one backward pass
// over the codes up to `code` (floats rounded at each store). Needs
// `records` in code order; `w` is all zero on entry and holds the row on
// return.
void MatrixTRow(const Pedigree& ped, std::int32_t code, std::vector<float>& w);
void MatrixTRow(const Pedigree& ped, std::int32_t code, std::vector<double>& w);

// D of a record in the precision it was computed in (a float widened).
inline double DiiOf(const Pedigree& ped, const Rec& r) {
  const auto c = static_cast<std::size_t>(r.code);
  return ped.InDouble() ? ped.dDouble[c] : static_cast<double>(ped.d[c]);
}

}  // namespace kinvar
