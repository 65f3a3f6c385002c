#include "genetics/matrix_t.h"

namespace kinvar {

namespace {

template <class T>
void TRow(const Pedigree& ped, std::int32_t code, std::vector<T>& w) {
  w[static_cast<std::size_t>(code)] = T(1);
  for (std::int32_t k = code; k >= 1; --k) {
    const T wk = w[static_cast<std::size_t>(k)];
    if (wk == T(0)) continue;
    const Rec& r = ped.byCode(k - 1);
    for (const RecIndex p : {r.sire, r.dam}) {
      if (p == kUnknownParent) continue;
      T& wp = w[static_cast<std::size_t>(ped.rec(p).code)];
      wp = wp + T(0.5) * wk;
    }
  }
}

}  // namespace

void MatrixTRow(const Pedigree& ped, std::int32_t code, std::vector<float>& w) {
  TRow(ped, code, w);
}

void MatrixTRow(const Pedigree& ped, std::int32_t code, std::vector<double>& w) {
  TRow(ped, code, w);
}

}  // namespace kinvar
