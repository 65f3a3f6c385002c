#include "genetics/group_inverse.h"

#include <algorithm>
#include <new>
#include <utility>

#include "genetics/metafounders.h"
#include "pedigree/genetic_groups.h"

namespace kinvar {

namespace {

// Index and coefficient of the individual's row of the equations; one entry
// per index, a group that stands for both parents summed into one.
using Coefficients = std::vector<std::pair<std::int32_t, double>>;

void AddCoefficient(Coefficients& c, std::int32_t index, double value) {
  for (auto& [k, v] : c)
    if (k == index) {
      v += value;
      return;
    }
  c.emplace_back(index, value);
}

void CoefficientsOf(const Pedigree& ped, std::int32_t i, Coefficients& c,
                    std::vector<std::pair<std::int32_t, float>>& groups) {
  c.clear();
  c.emplace_back(i, 1.0);
  const RecIndex index = ped.records[static_cast<std::size_t>(i)];
  const Rec& r = ped.rec(index);
  for (const ParentRole role : {ParentRole::kSire, ParentRole::kDam}) {
    const RecIndex parent = role == ParentRole::kSire ? r.sire : r.dam;
    if (parent != kUnknownParent) {
      AddCoefficient(c, ped.rec(parent).code - 1, -0.5);
      continue;
    }
    ParentGroups(ped, index, role, groups);
    for (const auto& [g, fraction] : groups)
      AddCoefficient(c, ped.nTotal + g, -0.5 * static_cast<double>(fraction));
  }
}

// Metafounders are related founders: their block gains Gamma inverse
// (Legarra et al. 2015), after the individuals' contributions.
template <class T>
void AddGammaInverse(const Pedigree& ped, std::vector<LowerContribution<T>>& all) {
  const GeneticGroups& groups = ped.geneticGroups;
  if (!groups.Metafounders()) return;
  const std::vector<double> inverse = InverseOfGamma(groups);
  const std::int32_t g = groups.Count();
  if (inverse.empty()) return;  // refused before; the caller checks gammaSingular
  for (std::int32_t k = 0; k < g; ++k)
    for (std::int32_t l = 0; l <= k; ++l) {
      const auto value = static_cast<T>(inverse[static_cast<std::size_t>(k * g + l)]);
      if (value != T(0)) all.push_back({ped.nTotal + k, ped.nTotal + l, value});
    }
}

}  // namespace

template <class T>
BasicInverseBuild<T> BuildInverseWithGroups(const Pedigree& ped, const std::vector<T>& d,
                                            Progress& progress) {
  BasicInverseBuild<T> build;
  const std::int32_t n = ped.nTotal + ped.geneticGroups.Count();
  try {
    std::vector<LowerContribution<T>> all;
    all.reserve(static_cast<std::size_t>(ped.nTotal) * 6);
    Coefficients c;
    std::vector<std::pair<std::int32_t, float>> groups;
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      CoefficientsOf(ped, i, c, groups);
      const T alpha = T(1) / d[static_cast<std::size_t>(i) + 1];
      for (std::size_t j = 0; j < c.size(); ++j)
        for (std::size_t k = j; k < c.size(); ++k) {
          const T value = alpha * static_cast<T>(c[j].second * c[k].second);
          if (value == T(0)) continue;
          all.push_back({std::max(c[j].first, c[k].first), std::min(c[j].first, c[k].first), value});
        }
      if (progress.Step(i)) {
        build.status = BuildStatus::kCanceled;
        return build;
      }
    }
    AddGammaInverse(ped, all);
    build.matrix = AssembleLower(n, all);
  } catch (const std::bad_alloc&) {
    build.status = BuildStatus::kNoElementMemory;
    build.matrix = {};
  }
  return build;
}

template <class T>
BasicSparseLower<T> AssembleLower(std::int32_t n, std::vector<LowerContribution<T>>& all) {
  BasicSparseLower<T> m;
  m.n = n;
  m.rowStart.assign(static_cast<std::size_t>(n) + 1, 0);
  for (const auto& c : all) ++m.rowStart[static_cast<std::size_t>(c.row) + 1];
  for (std::size_t r = 1; r < m.rowStart.size(); ++r) m.rowStart[r] += m.rowStart[r - 1];
  std::vector<LowerContribution<T>> byRow(all.size());
  {
    std::vector<std::int64_t> fill(m.rowStart.begin(), m.rowStart.end() - 1);
    for (const auto& c : all) byRow[static_cast<std::size_t>(fill[static_cast<std::size_t>(c.row)]++)] = c;
  }
  all = {};
  m.elements.reserve(byRow.size());
  for (std::int32_t i = 0; i < n; ++i) {
    const auto first = byRow.begin() + m.rowStart[static_cast<std::size_t>(i)];
    const auto last = byRow.begin() + m.rowStart[static_cast<std::size_t>(i) + 1];
    std::stable_sort(first, last, [](const auto& a, const auto& b) { return a.column < b.column; });
    m.rowStart[static_cast<std::size_t>(i)] = static_cast<std::int64_t>(m.elements.size());
    for (auto it = first; it != last; ++it) {
      if (it != first && it->column == (it - 1)->column) m.elements.back().value = m.elements.back().value + it->value;
      else m.elements.push_back({it->column, it->value});
    }
  }
  m.rowStart[static_cast<std::size_t>(n)] = static_cast<std::int64_t>(m.elements.size());
  return m;
}

template BasicSparseLower<float> AssembleLower(std::int32_t, std::vector<LowerContribution<float>>&);
template BasicSparseLower<double> AssembleLower(std::int32_t, std::vector<LowerContribution<double>>&);

template BasicInverseBuild<float> BuildInverseWithGroups(const Pedigree&, const std::vector<float>&,
                                                         Progress&);
template BasicInverseBuild<double> BuildInverseWithGroups(const Pedigree&,
                                                          const std::vector<double>&, Progress&);

}  // namespace kinvar
