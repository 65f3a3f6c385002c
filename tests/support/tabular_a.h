// The numerator relationship matrix by the tabular method, in double
// precision, over a loaded pedigree: the independent computation that the
// inverse, T, D and the structure census are checked against; and the
// dense inverse that augmented matrices are checked with.
//
// Conventions: index k is the individual with code k + 1 (`records` must be
// in code order); the diagonal is 1 + F, F being the predefined F when there
// is one and half the parents' relationship otherwise.
#pragma once

#include <cstddef>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar::test {

struct DenseMatrix {
  std::size_t n = 0;
  std::vector<double> cells;  // row-major
  double& operator()(std::size_t i, std::size_t j) { return cells[i * n + j]; }
  double operator()(std::size_t i, std::size_t j) const { return cells[i * n + j]; }
};

DenseMatrix TabularA(const Pedigree& ped);

// Gauss-Jordan with partial pivoting, for the positive definite matrices
// the tests build (no check for a singular one).
DenseMatrix DenseInverse(DenseMatrix a);

}  // namespace kinvar::test
