#include "genetics/metafounders.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

namespace kinvar {

// Gamma q_y first, all metafounders side by side (independent sums, which
// the compiler may put in vector lanes), then q_x' times it in order.
template <class T>
T MetafounderModel<T>::Between(std::int32_t x, std::int32_t y) const {
  if (g == 0 || x == 0 || y == 0) return T(0);
  const T* qx = Row(x);
  const T* qy = Row(y);
  constexpr std::int32_t kOnStack = 64;
  T onStack[kOnStack];
  std::vector<T> onHeap;
  T* gq = onStack;
  if (g > kOnStack) {
    onHeap.resize(static_cast<std::size_t>(g));
    gq = onHeap.data();
  }
  std::fill_n(gq, g, T(0));
  for (std::int32_t l = 0; l < g; ++l) {
    const T ql = qy[l];
    if (ql == T(0)) continue;
    const T* column = gamma.data() + static_cast<std::size_t>(l) * static_cast<std::size_t>(g);  // Gamma is symmetric
    for (std::int32_t k = 0; k < g; ++k) gq[k] = gq[k] + column[k] * ql;
  }
  T sum = T(0);
  for (std::int32_t k = 0; k < g; ++k) sum = sum + qx[k] * gq[k];
  return sum;
}

template <class T>
std::int32_t MetafounderModel<T>::ParentRow(const Pedigree& ped, RecIndex ri, ParentRole role) const {
  const Rec& r = ped.rec(ri);
  const RecIndex parent = role == ParentRole::kSire ? r.sire : r.dam;
  if (parent != kUnknownParent) return ped.rec(parent).code;
  const std::int32_t group = PlainGroup(ped, ri, role);
  return group >= 0 ? n + 1 + group : 0;
}

template <class T>
T MetafounderModel<T>::ParentF(const Pedigree& ped, RecIndex ri, ParentRole role, T unknown) const {
  const std::int32_t row = ParentRow(ped, ri, role);
  if (row <= n) return unknown;
  const std::int32_t k = row - n - 1;
  return gamma[static_cast<std::size_t>(k) * static_cast<std::size_t>(g) + static_cast<std::size_t>(k)] - T(1);
}

template <class T>
MetafounderModel<T> BuildMetafounderModel(const Pedigree& ped) {
  MetafounderModel<T> m;
  const GeneticGroups& groups = ped.geneticGroups;
  if (!groups.Metafounders() || groups.sireGroup.empty()) return m;
  m.g = groups.Count();
  m.n = ped.nTotal;
  m.gamma.assign(groups.gamma.begin(), groups.gamma.end());
  const auto g = static_cast<std::size_t>(m.g);
  m.q.assign((static_cast<std::size_t>(m.n) + 1 + g) * g, T(0));
  for (std::size_t k = 0; k < g; ++k) m.q[(static_cast<std::size_t>(m.n) + 1 + k) * g + k] = T(1);
  for (std::int32_t i = 0; i < m.n; ++i) {
    const RecIndex ri = ped.records[static_cast<std::size_t>(i)];
    const T* s = m.Row(m.ParentRow(ped, ri, ParentRole::kSire));
    const T* d = m.Row(m.ParentRow(ped, ri, ParentRole::kDam));
    T* own = m.q.data() + static_cast<std::size_t>(i + 1) * g;
    for (std::size_t k = 0; k < g; ++k) own[k] = T(0.5) * (s[k] + d[k]);
  }
  return m;
}

template struct MetafounderModel<float>;
template struct MetafounderModel<double>;
template MetafounderModel<float> BuildMetafounderModel(const Pedigree&);
template MetafounderModel<double> BuildMetafounderModel(const Pedigree&);

std::vector<double> InverseOfGamma(const GeneticGroups& groups) {
  const std::size_t g = groups.ids.size();
  std::vector<double> l(g * g, 0.0);
  for (std::size_t j = 0; j < g; ++j) {
    double diagonal = groups.Gamma(static_cast<std::int32_t>(j), static_cast<std::int32_t>(j));
    for (std::size_t k = 0; k < j; ++k) diagonal -= l[j * g + k] * l[j * g + k];
    if (!(diagonal > 1e-12)) return {};
    l[j * g + j] = std::sqrt(diagonal);
    for (std::size_t i = j + 1; i < g; ++i) {
      double v = groups.Gamma(static_cast<std::int32_t>(i), static_cast<std::int32_t>(j));
      for (std::size_t k = 0; k < j; ++k) v -= l[i * g + k] * l[j * g + k];
      l[i * g + j] = v / l[j * g + j];
    }
  }
  // Gamma^-1 = L^-T L^-1, column by column of the identity.
  std::vector<double> inverse(g * g, 0.0), y(g);
  for (std::size_t c = 0; c < g; ++c) {
    for (std::size_t i = 0; i < g; ++i) {
      double v = i == c ? 1.0 : 0.0;
      for (std::size_t k = 0; k < i; ++k) v -= l[i * g + k] * y[k];
      y[i] = v / l[i * g + i];
    }
    for (std::size_t i = g; i-- > 0;) {
      double v = y[i];
      for (std::size_t k = i + 1; k < g; ++k) v -= l[k * g + i] * inverse[k * g + c];
      inverse[i * g + c] = v / l[i * g + i];
    }
  }
  return inverse;
}

std::string MetafounderLine(const Pedigree& ped) {
  const GeneticGroups& groups = ped.geneticGroups;
  if (!groups.Metafounders()) return {};
  return "Metafounders: " + std::to_string(groups.Count()) + " (from " +
         std::filesystem::path(groups.gammaSource).filename().string() + ")";
}

}  // namespace kinvar

namespace kinvar {

BaseRelationships::BaseRelationships(const Pedigree& ped) {
  if (!ped.geneticGroups.Metafounders()) return;
  if (ped.InDouble()) twice = BuildMetafounderModel<double>(ped);
  else single = BuildMetafounderModel<float>(ped);
}

}  // namespace kinvar
