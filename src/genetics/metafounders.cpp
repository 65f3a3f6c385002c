#include "genetics/metafounders.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

namespace kinvar {

// Gamma q_y as the dense sum over l ascending with the zero q_y[l] left
// out, for the metafounders k where q_x is not 0 (a zero q_x[k] adds a zero
// term), then q_x' times it by ascending k.
template <class T>
T MetafounderModel<T>::Between(std::int32_t x, std::int32_t y) const {
  if (g == 0 || x == 0 || y == 0) return T(0);
  const FractionRow<T> qx = Row(x);
  const FractionRow<T> qy = Row(y);
  const auto stride = static_cast<std::size_t>(g);
  T sum = T(0);
  for (std::size_t i = 0; i < qx.size; ++i) {
    const auto k = static_cast<std::size_t>(qx.index[i]);
    T gq = T(0);
    for (std::size_t j = 0; j < qy.size; ++j)  // Gamma is symmetric: column l by row
      gq = gq + gamma[static_cast<std::size_t>(qy.index[j]) * stride + k] * qy.value[j];
    sum = sum + qx.value[i] * gq;
  }
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

namespace {

// Half the sum of two rows, entry by entry over the metafounders of either,
// as the dense rows were summed (a missing entry is 0); zeros left out.
template <class T>
void HalfSum(FractionRow<T> s, FractionRow<T> d, std::vector<std::int32_t>& index,
             std::vector<T>& value) {
  index.clear();
  value.clear();
  std::size_t i = 0, j = 0;
  while (i < s.size || j < d.size) {
    const std::int32_t k =
        j == d.size || (i < s.size && s.index[i] < d.index[j]) ? s.index[i] : d.index[j];
    const T fs = i < s.size && s.index[i] == k ? s.value[i++] : T(0);
    const T fd = j < d.size && d.index[j] == k ? d.value[j++] : T(0);
    const T own = T(0.5) * (fs + fd);
    if (own == T(0)) continue;
    index.push_back(k);
    value.push_back(own);
  }
}

}  // namespace

template <class T>
MetafounderModel<T> BuildMetafounderModel(const Pedigree& ped) {
  MetafounderModel<T> m;
  const GeneticGroups& groups = ped.geneticGroups;
  if (!groups.Metafounders() || groups.sireGroup.empty()) return m;
  m.g = groups.Count();
  m.n = ped.nTotal;
  m.gamma.assign(groups.gamma.begin(), groups.gamma.end());
  m.metafounders.resize(static_cast<std::size_t>(m.g));
  for (std::int32_t k = 0; k < m.g; ++k) m.metafounders[static_cast<std::size_t>(k)] = k;
  m.first.assign(static_cast<std::size_t>(m.n) + 2, 0);
  std::vector<std::int32_t> index;
  std::vector<T> value;
  for (std::int32_t i = 0; i < m.n; ++i) {
    const RecIndex ri = ped.records[static_cast<std::size_t>(i)];
    HalfSum(m.Row(m.ParentRow(ped, ri, ParentRole::kSire)), m.Row(m.ParentRow(ped, ri, ParentRole::kDam)),
            index, value);
    m.index.insert(m.index.end(), index.begin(), index.end());
    m.value.insert(m.value.end(), value.begin(), value.end());
    m.first[static_cast<std::size_t>(i) + 2] = static_cast<std::int64_t>(m.index.size());
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
