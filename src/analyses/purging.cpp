#include "analyses/purging.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "genetics/mt19937.h"
#include "genetics/parallel.h"

namespace kinvar {

namespace {

using Parents = KernelPedigree::Parents;

std::size_t At(std::int32_t k) { return static_cast<std::size_t>(k); }

const Rec& RecOf(const Pedigree& ped, const AncestorSubset& subset, std::int32_t local) {
  return ped.rec(subset.recOf[At(local)]);
}

// The ancestors of two individuals, themselves included, walked back through
// factors: after Walk, w1[k] and w2[k] are the sums over the paths from k
// down to the first and the second individual of the products of the
// factors of the individuals on each path below k (1 for the individual
// itself). With factors 1/2 these are the rows of T.
class PathWeights {
 public:
  explicit PathWeights(std::int32_t m)
      : w1_(At(m) + 1, 0.0f), w2_(At(m) + 1, 0.0f), seen_(At(m) + 1, 0) {}

  void Walk(const std::vector<Parents>& parents, const std::vector<float>& factor, std::int32_t x,
            std::int32_t y) {
    ++stamp_;
    list_.clear();
    for (const std::int32_t start : {x, y}) Collect(parents, start);
    std::sort(list_.begin(), list_.end(), std::greater<>());
    w1_[At(x)] = 1.0f;
    w2_[At(y)] = 1.0f;
    for (const std::int32_t k : list_) {
      const Parents p = parents[At(k)];
      for (std::vector<float>* w : {&w1_, &w2_}) {
        const float v = (*w)[At(k)];
        if (v == 0.0f) continue;
        const float share = factor[At(k)] * v;
        if (p.sire != 0) (*w)[At(p.sire)] += share;
        if (p.dam != 0) (*w)[At(p.dam)] += share;
      }
    }
  }
  // The ancestors of the last walk, oldest first.
  template <class Visit>
  void ForEachAscending(Visit visit) const {
    for (auto k = list_.rbegin(); k != list_.rend(); ++k) visit(*k, w1_[At(*k)], w2_[At(*k)]);
  }
  void Clear() {
    for (const std::int32_t k : list_) w1_[At(k)] = w2_[At(k)] = 0.0f;
  }

 private:
  void Collect(const std::vector<Parents>& parents, std::int32_t start) {
    stack_.assign(1, start);
    while (!stack_.empty()) {
      const std::int32_t k = stack_.back();
      stack_.pop_back();
      if (k == 0 || seen_[At(k)] == stamp_) continue;
      seen_[At(k)] = stamp_;
      list_.push_back(k);
      stack_.push_back(parents[At(k)].sire);
      stack_.push_back(parents[At(k)].dam);
    }
  }

  std::vector<float> w1_, w2_;
  std::vector<std::uint32_t> seen_;
  std::uint32_t stamp_ = 0;
  std::vector<std::int32_t> list_, stack_;
};

std::uint64_t FamilyKey(Parents p) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.sire)) << 32) |
         static_cast<std::uint32_t>(p.dam);
}

}  // namespace

std::vector<float> BallouAncestralInbreeding(const Pedigree& ped, const AncestorSubset& subset) {
  const std::vector<Parents>& parents = subset.kernel.parents;
  std::vector<float> fa(parents.size(), 0.0f);
  const auto side = [&](std::int32_t p) {
    if (p == 0) return 0.0f;
    const float fp = RecOf(ped, subset, p).f;
    const float old = fa[At(p)];
    return old + (1.0f - old) * fp;
  };
  for (std::int32_t k = 1; k < static_cast<std::int32_t>(parents.size()); ++k) {
    const Parents p = parents[At(k)];
    if (p.sire == 0 && p.dam == 0) continue;
    const float sum = side(p.sire) + side(p.dam);
    fa[At(k)] = sum / 2.0f;
  }
  return fa;
}

std::optional<std::vector<float>> PurgedInbreeding(const Pedigree& ped, const AncestorSubset& subset,
                                                   float d, Progress& progress) {
  const std::vector<Parents>& parents = subset.kernel.parents;
  const auto m = static_cast<std::int32_t>(parents.size()) - 1;
  // factor[k] = (1 - d F_k) / 2: what a path loses passing through k.
  std::vector<float> factor(At(m) + 1, 0.0f), self(At(m) + 1, 0.0f), delta(At(m) + 1, 0.0f),
      g(At(m) + 1, 0.0f);
  std::unordered_map<std::uint64_t, float> families;
  PathWeights weights(m);
  progress.SetStage(0, 100, m, "Computing purged inbreeding");
  for (std::int32_t k = 1; k <= m; ++k) {
    if (progress.Step(k - 1)) return std::nullopt;
    const Parents p = parents[At(k)];
    const Rec& r = RecOf(ped, subset, k);
    float family = 0.0f;
    if (p.sire != 0 && p.dam != 0) {
      const auto [at, added] = families.try_emplace(FamilyKey(p), 0.0f);
      if (added) {
        weights.Walk(parents, factor, p.sire, p.dam);
        float sum = 0.0f;
        weights.ForEachAscending([&](std::int32_t a, float w1, float w2) {
          if (w1 == 0.0f || w2 == 0.0f) return;
          const float term = w1 * delta[At(a)];
          sum += term * w2;
        });
        weights.Clear();
        at->second = sum;
      }
      family = at->second;
    }
    g[At(k)] = r.fPredefined ? r.f : family;
    const float loss = d * r.f;
    factor[At(k)] = (1.0f - loss) / 2.0f;
    const float twice = 2.0f * loss;
    self[At(k)] = (1.0f + g[At(k)]) / 2.0f * (1.0f - twice);
    // The parents' part of g(k, k); the rest is k's own term.
    const float parentsPart = self[At(p.sire)] + self[At(p.dam)] + 2.0f * family;
    delta[At(k)] = self[At(k)] - factor[At(k)] * factor[At(k)] * parentsPart;
  }
  return g;
}

std::vector<FounderOrigin> FounderOrigins(const AncestorSubset& subset,
                                          const std::vector<std::int32_t>& reference, std::size_t limit) {
  const std::vector<Parents>& parents = subset.kernel.parents;
  std::vector<double> share(parents.size(), 0.0);
  const double each = reference.empty() ? 0.0 : 1.0 / static_cast<double>(reference.size());
  for (const std::int32_t k : reference) share[At(k)] += each;
  std::vector<FounderOrigin> founders;
  for (auto k = static_cast<std::int32_t>(parents.size()) - 1; k >= 1; --k) {
    const Parents p = parents[At(k)];
    const double half = share[At(k)] / 2.0;
    if (p.sire == 0 && p.dam == 0) {
      if (share[At(k)] > 0.0) founders.push_back({k, 0, share[At(k)]});
      continue;
    }
    for (const auto& [parent, side] : {std::pair{p.sire, 1}, std::pair{p.dam, 2}}) {
      if (parent != 0) share[At(parent)] += half;
      else if (half > 0.0) founders.push_back({k, side, half});
    }
  }
  std::stable_sort(founders.begin(), founders.end(), [](const FounderOrigin& a, const FounderOrigin& b) {
    if (a.contribution != b.contribution) return a.contribution > b.contribution;
    if (a.local != b.local) return a.local < b.local;
    return a.side < b.side;
  });
  if (limit != 0 && founders.size() > limit) founders.resize(limit);
  return founders;
}

namespace {

// Where a founder's genes enter: the founder itself, or the individual whose
// unknown parent it is, with half of that individual's genes.
struct Entry {
  std::int32_t local;
  float genes;  // the founder's expected share of the entering individual
};

Entry EntryOf(const FounderOrigin& f) { return {f.local, f.side == 0 ? 1.0f : 0.5f}; }

}  // namespace

// a_j = T D_j T' for each founder j, D_j(k) = a_j(k, k) - [a_j(s, s) +
// a_j(d, d) + 2 a_j(s, d)] / 4 with a_j(k, k) = p_j(k) + F_k(j), p_j the
// gene contributions of j; the unknown parent adds nothing to T.
std::optional<std::vector<float>> PartialInbreeding(const Pedigree& ped, const AncestorSubset& subset,
                                                    const std::vector<FounderOrigin>& founders,
                                                    Progress& progress) {
  const std::vector<Parents>& parents = subset.kernel.parents;
  const auto m = static_cast<std::int32_t>(parents.size()) - 1;
  const std::size_t nj = founders.size();
  std::vector<float> genes((At(m) + 1) * nj, 0.0f), partial((At(m) + 1) * nj, 0.0f),
      own((At(m) + 1) * nj, 0.0f), dj((At(m) + 1) * nj, 0.0f), sum(nj);
  std::vector<std::vector<std::pair<std::size_t, float>>> entering(At(m) + 1);
  for (std::size_t j = 0; j < nj; ++j) {
    const Entry e = EntryOf(founders[j]);
    entering[At(e.local)].emplace_back(j, e.genes);
  }
  const std::vector<float> half(At(m) + 1, 0.5f);
  PathWeights weights(m);
  progress.SetStage(0, 100, m, "Computing partial inbreeding");
  for (std::int32_t k = 1; k <= m; ++k) {
    if (progress.Step(k - 1)) return std::nullopt;
    const Parents p = parents[At(k)];
    const Rec& r = RecOf(ped, subset, k);
    float* gk = &genes[At(k) * nj];
    float* fk = &partial[At(k) * nj];
    float* ak = &own[At(k) * nj];
    std::fill(sum.begin(), sum.end(), 0.0f);
    if (p.sire != 0 && p.dam != 0) {
      weights.Walk(parents, half, p.sire, p.dam);
      weights.ForEachAscending([&](std::int32_t a, float w1, float w2) {
        if (w1 == 0.0f || w2 == 0.0f) return;
        const float w = w1 * w2;
        for (std::size_t j = 0; j < nj; ++j) sum[j] += w * dj[At(a) * nj + j];
      });
      weights.Clear();
    }
    for (std::size_t j = 0; j < nj; ++j) {
      const float fromSire = p.sire != 0 ? genes[At(p.sire) * nj + j] : 0.0f;
      const float fromDam = p.dam != 0 ? genes[At(p.dam) * nj + j] : 0.0f;
      gk[j] = (fromSire + fromDam) / 2.0f;
      fk[j] = sum[j] / 2.0f;
    }
    for (const auto& [j, share] : entering[At(k)]) gk[j] += share;
    // A founder's own inbreeding (predefined) comes from itself.
    if (p.sire == 0 && p.dam == 0) {
      for (const auto& [j, share] : entering[At(k)]) fk[j] = r.f > 0.0f ? r.f : 0.0f;
    } else if (r.fPredefined) {
      // A predefined F is shared out as the individual's genes are.
      for (std::size_t j = 0; j < nj; ++j) fk[j] = r.f * gk[j];
    }
    for (std::size_t j = 0; j < nj; ++j) {
      ak[j] = gk[j] + fk[j];
      const float ss = p.sire != 0 ? own[At(p.sire) * nj + j] : 0.0f;
      const float dd = p.dam != 0 ? own[At(p.dam) * nj + j] : 0.0f;
      const float parentsPart = ss + dd + 2.0f * sum[j];
      dj[At(k) * nj + j] = ak[j] - parentsPart / 4.0f;
    }
  }
  return partial;
}

namespace {

// One replicate's alleles: two per individual, each an allele number and
// whether it has been homozygous by descent in an ancestor.
struct Alleles {
  std::vector<std::int32_t> id;
  std::vector<std::uint8_t> old;
};

struct Counts {
  std::vector<std::int64_t> flags, flagsSquared, ibd, ibdOld;
};

void DropOnce(const Pedigree& ped, const AncestorSubset& subset, std::uint32_t seed, Alleles& a,
              const std::vector<std::int32_t>& reference, Counts& c) {
  Mt19937 g;
  InitGenerator(g, seed);
  const std::vector<Parents>& parents = subset.kernel.parents;
  std::int32_t next = 0;
  for (std::size_t k = 1; k < parents.size(); ++k) {
    const Parents p = parents[k];
    for (int side = 0; side < 2; ++side) {
      const std::int32_t parent = side == 0 ? p.sire : p.dam;
      const std::size_t slot = 2 * k + static_cast<std::size_t>(side);
      if (parent == 0) {
        a.id[slot] = next++;
        a.old[slot] = 0;
        continue;
      }
      const std::size_t from = 2 * At(parent) + (NextRandom(g) & 1U);
      const bool parentIbd = a.id[2 * At(parent)] == a.id[2 * At(parent) + 1];
      a.id[slot] = a.id[from];
      a.old[slot] = static_cast<std::uint8_t>(a.old[from] | (parentIbd ? 1 : 0));
    }
    // A founder whose F is predefined carries one allele twice that often.
    const Rec& r = ped.rec(subset.recOf[k]);
    if (p.sire == 0 && p.dam == 0 && r.f > 0.0f) {
      const double u = NextRandom(g) / 4294967296.0;
      if (u < static_cast<double>(r.f)) a.id[2 * k + 1] = a.id[2 * k];
    }
  }
  for (std::size_t i = 0; i < reference.size(); ++i) {
    const std::size_t k = At(reference[i]);
    const int flags = a.old[2 * k] + a.old[2 * k + 1];
    c.flags[i] += flags;
    c.flagsSquared[i] += flags * flags;
    if (a.id[2 * k] == a.id[2 * k + 1]) {
      ++c.ibd[i];
      if (flags > 0) ++c.ibdOld[i];
    }
  }
}

}  // namespace

std::optional<GeneDropFigures> DropGenes(const Pedigree& ped, const AncestorSubset& subset,
                                         const std::vector<std::int32_t>& reference,
                                         const std::vector<std::uint32_t>& seeds, int threads,
                                         Progress& progress) {
  const int workers = WorkerCount(threads);
  const std::size_t slots = 2 * subset.kernel.parents.size();
  const std::size_t n = reference.size();
  std::vector<Alleles> alleles(static_cast<std::size_t>(workers),
                               Alleles{std::vector<std::int32_t>(slots), std::vector<std::uint8_t>(slots)});
  const Counts zero{std::vector<std::int64_t>(n), std::vector<std::int64_t>(n),
                    std::vector<std::int64_t>(n), std::vector<std::int64_t>(n)};
  std::vector<Counts> counts(static_cast<std::size_t>(workers), zero);
  const auto replicates = static_cast<std::int32_t>(seeds.size());
  progress.SetStage(0, 100, replicates, "Dropping genes");
  std::int32_t done = 0;
  const bool finished = RunBlocks(
      workers, replicates,
      [&](std::int32_t r, int worker) {
        DropOnce(ped, subset, seeds[At(r)], alleles[At(worker)], reference, counts[At(worker)]);
      },
      [&] { return progress.Step(done++); });
  if (!finished) return std::nullopt;
  // Integer counts: the figures do not depend on which worker ran what.
  Counts total = zero;
  for (const Counts& c : counts)
    for (std::size_t i = 0; i < n; ++i) {
      total.flags[i] += c.flags[i];
      total.flagsSquared[i] += c.flagsSquared[i];
      total.ibd[i] += c.ibd[i];
      total.ibdOld[i] += c.ibdOld[i];
    }
  GeneDropFigures out;
  const auto reps = static_cast<double>(replicates);
  for (std::size_t i = 0; i < n; ++i) {
    // Each replicate gives x = flags / 2, the share of old alleles.
    const double mean = static_cast<double>(total.flags[i]) / 2.0 / reps;
    const double squares = static_cast<double>(total.flagsSquared[i]) / 4.0;
    const double variance = replicates > 1 ? std::max(0.0, (squares - reps * mean * mean) / (reps - 1.0)) : 0.0;
    out.ancestral.push_back(mean);
    out.ancestralSe.push_back(std::sqrt(variance / reps));
    out.f.push_back(static_cast<double>(total.ibd[i]) / reps);
    out.fOld.push_back(static_cast<double>(total.ibdOld[i]) / reps);
    out.fNew.push_back(static_cast<double>(total.ibd[i] - total.ibdOld[i]) / reps);
  }
  return out;
}

}  // namespace kinvar
