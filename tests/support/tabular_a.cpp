#include "support/tabular_a.h"

#include <cmath>
#include <utility>

namespace kinvar::test {

DenseMatrix TabularA(const Pedigree& ped) {
  DenseMatrix a;
  a.n = static_cast<std::size_t>(ped.nTotal);
  a.cells.assign(a.n * a.n, 0.0);
  // Index of a parent, or n for an unknown one (whose column reads as 0).
  const auto index = [&](RecIndex r) {
    return r == kUnknownParent ? a.n : static_cast<std::size_t>(ped.rec(r).code - 1);
  };
  const auto at = [&](std::size_t i, std::size_t j) { return i == a.n || j == a.n ? 0.0 : a(i, j); };
  for (std::size_t i = 0; i < a.n; ++i) {
    const Rec& r = ped.byCode(static_cast<std::int32_t>(i));
    const std::size_t s = index(r.sire), d = index(r.dam);
    for (std::size_t j = 0; j < i; ++j) a(i, j) = a(j, i) = 0.5 * (at(j, s) + at(j, d));
    a(i, i) = 1.0 + (r.fPredefined ? static_cast<double>(r.f) : 0.5 * at(s, d));
  }
  return a;
}

DenseMatrix DenseInverse(DenseMatrix a) {
  const std::size_t n = a.n;
  DenseMatrix inv{n, std::vector<double>(n * n, 0.0)};
  for (std::size_t i = 0; i < n; ++i) inv(i, i) = 1.0;
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r)
      if (std::fabs(a(r, c)) > std::fabs(a(pivot, c))) pivot = r;
    for (std::size_t k = 0; k < n; ++k) {
      std::swap(a(c, k), a(pivot, k));
      std::swap(inv(c, k), inv(pivot, k));
    }
    const double p = a(c, c);
    for (std::size_t k = 0; k < n; ++k) {
      a(c, k) /= p;
      inv(c, k) /= p;
    }
    for (std::size_t r = 0; r < n; ++r) {
      if (r == c || a(r, c) == 0.0) continue;
      const double f = a(r, c);
      for (std::size_t k = 0; k < n; ++k) {
        a(r, k) -= f * a(c, k);
        inv(r, k) -= f * inv(c, k);
      }
    }
  }
  return inv;
}

}  // namespace kinvar::test
