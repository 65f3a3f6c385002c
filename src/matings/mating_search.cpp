#include "matings/mating_search.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include "genetics/parallel.h"
#include "genetics/relationship.h"
#include "pedigree/sort.h"

namespace kinvar {

namespace {

std::vector<std::int32_t> LocalNumbers(const Pedigree& ped, const AncestorSubset& subset,
                                       const std::vector<RecIndex>& members) {
  std::vector<std::int32_t> local;
  local.reserve(members.size());
  for (const RecIndex r : members) local.push_back(subset.LocalOf(ped.rec(r)));
  return local;
}

}  // namespace

CoancestryMatrix ComputeCoancestryMatrix(Pedigree& ped, const MatingGroups& groups) {
  CoancestryMatrix c;
  c.nS = static_cast<std::int32_t>(groups.sires.size());
  c.nD = static_cast<std::int32_t>(groups.dams.size());
  c.values.assign(static_cast<std::size_t>(c.nS) * static_cast<std::size_t>(c.nD), 0.0f);
  std::vector<RecIndex> seeds = groups.sires;
  seeds.insert(seeds.end(), groups.dams.begin(), groups.dams.end());
  AncestorSubset subset = BuildAncestorSubset(ped, seeds);
  KernelPedigree& kp = subset.kernel;
  const bool bySire = c.nS < c.nD;
  const auto sources = LocalNumbers(ped, subset, bySire ? groups.sires : groups.dams);
  const auto targets = LocalNumbers(ped, subset, bySire ? groups.dams : groups.sires);
  const std::int32_t last = *std::max_element(targets.begin(), targets.end());
  // Eight columns per sweep, the blocks on every worker, each writing its
  // own cells.
  constexpr int kWidth = 8;
  const int threads = WorkerCount(ped.settings.threads);
  std::vector<std::vector<float>> blocks(static_cast<std::size_t>(threads));
  const auto run = [&](std::int32_t b, int worker) {
    std::vector<float>& block = blocks[static_cast<std::size_t>(worker)];
    block.resize(static_cast<std::size_t>(kp.size() + 1) * kWidth, 0.0f);
    const auto first = static_cast<std::size_t>(b) * kWidth;
    const std::span<const std::int32_t> columns(
        sources.data() + first, std::min<std::size_t>(kWidth, sources.size() - first));
    ComputeColumns<kWidth>(kp, columns, last, block.data());
    std::int32_t top = last;
    for (std::size_t l = 0; l < columns.size(); ++l) {
      const std::size_t i = first + l;
      for (std::size_t j = 0; j < targets.size(); ++j) {
        const std::size_t s = bySire ? i : j;
        const std::size_t d = bySire ? j : i;
        c.values[s * static_cast<std::size_t>(c.nD) + d] =
            0.5f * block[static_cast<std::size_t>(targets[j]) * kWidth + l];
      }
      top = std::max(top, columns[l]);
    }
    std::fill_n(block.begin(), (static_cast<std::size_t>(top) + 1) * kWidth, 0.0f);
  };
  const auto count = static_cast<std::int32_t>((sources.size() + kWidth - 1) / kWidth);
  RunBlocks(threads, count, run, [] { return false; });
  return c;
}

namespace {

// Rank of each member's ID in ascending ID order.
std::vector<std::int32_t> IdRanks(const Pedigree& ped, const std::vector<RecIndex>& members) {
  std::vector<std::int32_t> order(members.size());
  std::iota(order.begin(), order.end(), 0);
  QuickSort(order.data(), 0, static_cast<std::ptrdiff_t>(order.size()) - 1,
            [&](std::int32_t x, std::int32_t y) {
              return CompareIds(ped.rec(members[static_cast<std::size_t>(x)]).id,
                                ped.rec(members[static_cast<std::size_t>(y)]).id) < 0;
            });
  std::vector<std::int32_t> rank(members.size());
  for (std::size_t r = 0; r < order.size(); ++r)
    rank[static_cast<std::size_t>(order[r])] = static_cast<std::int32_t>(r);
  return rank;
}

// -1, 0 or 1 as (sire ID, dam ID) of x is below, equal to or above y's.
int ComparePairs(const ForbiddenList& list, Mating x, Mating y) {
  const auto key = [&](Mating m) {
    return std::pair{list.sireRank[static_cast<std::size_t>(m.sire)],
                     list.damRank[static_cast<std::size_t>(m.dam)]};
  };
  const auto kx = key(x);
  const auto ky = key(y);
  return kx < ky ? -1 : (ky < kx ? 1 : 0);
}

}  // namespace

ForbiddenList SortForbidden(std::vector<Mating> pairs, const Pedigree& ped,
                            const MatingGroups& groups) {
  ForbiddenList list{std::move(pairs), IdRanks(ped, groups.sires), IdRanks(ped, groups.dams)};
  QuickSort(list.pairs.data(), 0, static_cast<std::ptrdiff_t>(list.pairs.size()) - 1,
            [&](Mating x, Mating y) { return ComparePairs(list, x, y) > 0; });
  return list;
}

std::int32_t IsForbidden(const ForbiddenList& list, Mating pair) {
  std::int32_t low = 0;
  std::int32_t high = static_cast<std::int32_t>(list.pairs.size()) - 1;
  while (low <= high) {
    const std::int32_t middle = low + (high - low) / 2;
    const int order = ComparePairs(list, list.pairs[static_cast<std::size_t>(middle)], pair);
    if (order == 0) return middle;
    if (order > 0) low = middle + 1;
    else high = middle - 1;
  }
  return -1;
}

float MeanCoancestry(const CoancestryMatrix& c, std::span<const Mating> matings) {
  float sum = 0.0f;
  for (const Mating m : matings) sum = sum + c.at(m.sire, m.dam);
  return sum / static_cast<float>(matings.size());
}

namespace {

bool Forbidden(const ForbiddenList* list, std::int32_t sire, std::int32_t dam) {
  return list != nullptr && IsForbidden(*list, {sire, dam}) != -1;
}

// Shuffles sires (with their contributions) and dams, then gives mating k
// the k-th sire of the walk that repeats each sire by its contribution.
std::vector<Mating> ShuffledMatings(std::span<const std::int32_t> contributions,
                                    std::int32_t nD, Mt19937& g) {
  const auto nS = static_cast<std::uint32_t>(contributions.size());
  std::vector<std::int32_t> sires(nS);
  std::vector<std::int32_t> dams(static_cast<std::size_t>(nD));
  std::iota(sires.begin(), sires.end(), 0);
  std::iota(dams.begin(), dams.end(), 0);
  for (std::uint32_t i = 0; i < nS; ++i) std::swap(sires[i], sires[RandomBelow(g, nS)]);
  for (std::uint32_t i = 0; i < dams.size(); ++i)
    std::swap(dams[i], dams[RandomBelow(g, static_cast<std::uint32_t>(nD))]);
  std::vector<Mating> matings;
  matings.reserve(dams.size());
  for (const std::int32_t s : sires)
    for (std::int32_t k = 0; k < contributions[static_cast<std::size_t>(s)]; ++k)
      matings.push_back({s, dams[matings.size()]});
  return matings;
}

// Moves sires until no mating is forbidden; false when some position finds
// no admissible dam or needs more than 1000 M repairs.
bool RepairForbidden(std::vector<Mating>& matings, const ForbiddenList& list, Mt19937& g) {
  const auto m = static_cast<std::uint32_t>(matings.size());
  for (std::uint32_t i = 0; i < m; ++i) {
    std::int64_t repairs = 0;
    while (Forbidden(&list, matings[i].sire, matings[i].dam)) {
      const std::uint32_t r = RandomBelow(g, m);
      std::uint32_t j = r;
      while (Forbidden(&list, matings[i].sire, matings[j].dam)) {
        j = j + 1 == m ? 0 : j + 1;
        if (j == r) return false;
      }
      std::swap(matings[i].sire, matings[j].sire);
      if (++repairs > 1000 * static_cast<std::int64_t>(m)) return false;
    }
  }
  return true;
}

// One move at temperature t: a random pair of matings whose swap is allowed,
// kept when it lowers the sum or, by the Metropolis rule, when it raises it.
bool Move(std::vector<Mating>& matings, const CoancestryMatrix& c, const ForbiddenList* list,
          Mt19937& g, float t, std::int64_t tries) {
  const auto m = static_cast<std::uint32_t>(matings.size());
  for (std::int64_t k = 0; k < tries; ++k) {
    const std::uint32_t i = RandomBelow(g, m);
    std::uint32_t j = RandomBelow(g, m - 1);
    if (j >= i) ++j;
    Mating& x = matings[i];
    Mating& y = matings[j];
    if (Forbidden(list, x.sire, y.dam) || Forbidden(list, y.sire, x.dam)) continue;
    const float current = c.at(x.sire, x.dam) + c.at(y.sire, y.dam);
    const float proposed = c.at(y.sire, x.dam) + c.at(x.sire, y.dam);
    const float delta = proposed - current;
    if (delta == 0.0f) return false;
    if (delta > 0.0f) {
      const float exponent = -delta / t;
      const auto p = static_cast<float>(std::exp(static_cast<double>(exponent)));
      if (!(RandomUnit(g) < static_cast<double>(p))) return false;
    }
    std::swap(x.dam, y.dam);
    return true;
  }
  return false;
}

void AnnealLevels(std::vector<Mating>& matings, const CoancestryMatrix& c,
                  const ForbiddenList* list, Mt19937& g) {
  const std::int64_t n = std::max(c.nS, c.nD);
  float t = 0.5f;
  for (int level = 0; level < 300; ++level) {
    std::int64_t accepted = 0;
    for (std::int64_t k = 0; k < 100 * n && accepted < 10 * n; ++k)
      if (Move(matings, c, list, g, t, 100 * n)) ++accepted;
    if (accepted == 0) return;
    t = t * 0.9f;
  }
}

}  // namespace

std::optional<std::vector<Mating>> Anneal(const CoancestryMatrix& c,
                                          std::span<const std::int32_t> contributions,
                                          const ForbiddenList* forbidden, Mt19937& g) {
  std::vector<Mating> matings = ShuffledMatings(contributions, c.nD, g);
  if (forbidden != nullptr && !RepairForbidden(matings, *forbidden, g)) return std::nullopt;
  // A single mating has no other to swap with: its assignment is the answer.
  if (matings.size() > 1) AnnealLevels(matings, c, forbidden, g);
  return matings;
}

}  // namespace kinvar
