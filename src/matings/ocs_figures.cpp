#include "matings/ocs_figures.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "matings/mating_search.h"

namespace kinvar {

std::vector<double> CandidateKinship(Pedigree& ped, const MatingGroups& groups) {
  MatingGroups all = groups;
  all.sires.insert(all.sires.end(), groups.dams.begin(), groups.dams.end());
  all.dams = all.sires;
  const CoancestryMatrix c = ComputeCoancestryMatrix(ped, all);
  return {c.values.begin(), c.values.end()};
}

double MeanOfMatrix(const std::vector<double>& k, std::size_t n) {
  const double sum = std::accumulate(k.begin(), k.end(), 0.0);
  return sum / (static_cast<double>(n) * static_cast<double>(n));
}

std::vector<std::int32_t> WholeMatings(const std::vector<double>& sireContributions,
                                       std::int32_t dams, const std::vector<std::int32_t>& codes) {
  const std::size_t n = sireContributions.size();
  std::vector<std::int32_t> counts(n, 0);
  std::vector<double> remainder(n, 0.0);
  std::int64_t given = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double share = 2.0 * dams * std::max(0.0, sireContributions[i]);
    counts[i] = static_cast<std::int32_t>(std::floor(share));
    remainder[i] = share - counts[i];
    given += counts[i];
  }
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    if (remainder[x] != remainder[y]) return remainder[x] > remainder[y];
    return codes[x] < codes[y];
  });
  // The floors may overshoot by rounding when the shares are whole: take
  // back from the smallest remainders first.
  for (std::size_t k = 0; given < dams && n > 0; ++k, ++given) ++counts[order[k % n]];
  for (std::size_t k = n; given > dams && k > 0; --k)
    if (counts[order[k - 1]] > 0) --counts[order[k - 1]], --given;
  return counts;
}

}  // namespace kinvar
