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
    highest_ = std::max(x, y);
    w1_[At(x)] = 1.0f;
    w2_[At(y)] = 1.0f;
    // Deep pedigrees reach most of the subset from every family: past a
    // share of it, a plain sweep beats tracing the ancestors first.
    dense_ = denseShare_ * 8 > 1.0;
    if (dense_) {
      std::int64_t reached = 0;
      for (std::int32_t k = highest_; k >= 1; --k)
        if (Step(parents, factor, k)) ++reached;
      denseShare_ = static_cast<double>(reached) / highest_;
      return;
    }
    ++stamp_;
    list_.clear();
    for (const std::int32_t start : {x, y}) Collect(parents, start);
    Order();
    for (const std::int32_t k : list_) Step(parents, factor, k);
    denseShare_ = static_cast<double>(list_.size()) / highest_;
  }
  // The ancestors of the last walk, oldest first (the sweep visits every
  // index up to the two individuals; the others have zero weights).
  template <class Visit>
  void ForEachAscending(Visit visit) const {
    if (dense_) {
      for (std::int32_t k = 1; k <= highest_; ++k) visit(k, w1_[At(k)], w2_[At(k)]);
      return;
    }
    for (auto k = list_.rbegin(); k != list_.rend(); ++k) visit(*k, w1_[At(*k)], w2_[At(*k)]);
  }
  void Clear() {
    if (dense_) {
      std::fill(w1_.begin(), w1_.begin() + highest_ + 1, 0.0f);
      std::fill(w2_.begin(), w2_.begin() + highest_ + 1, 0.0f);
      return;
    }
    for (const std::int32_t k : list_) w1_[At(k)] = w2_[At(k)] = 0.0f;
  }

 private:
  // Passes k's weights on to its parents; false when k has none.
  bool Step(const std::vector<Parents>& parents, const std::vector<float>& factor, std::int32_t k) {
    const Parents p = parents[At(k)];
    bool any = false;
    for (std::vector<float>* w : {&w1_, &w2_}) {
      const float v = (*w)[At(k)];
      if (v == 0.0f) continue;
      any = true;
      const float share = factor[At(k)] * v;
      if (p.sire != 0) (*w)[At(p.sire)] += share;
      if (p.dam != 0) (*w)[At(p.dam)] += share;
    }
    return any;
  }

  // Youngest first: the order of the sweep.
  void Order() {
    const auto n = static_cast<double>(list_.size());
    if (n * std::log2(n + 1) < static_cast<double>(highest_)) {
      std::sort(list_.begin(), list_.end(), std::greater<>());
      return;
    }
    list_.clear();
    for (std::int32_t k = highest_; k >= 1; --k)
      if (seen_[At(k)] == stamp_) list_.push_back(k);
  }

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
  std::int32_t highest_ = 0;
  bool dense_ = false;
  double denseShare_ = 0.0;  // of the last walk: ancestors reached per index swept
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

namespace {

// Runs of local numbers of one generation. No member of a run is an
// ancestor of another, and all their ancestors come before the run: the
// members of a run can be worked on at once.
std::vector<std::int32_t> Waves(const Pedigree& ped, const AncestorSubset& subset) {
  const auto m = static_cast<std::int32_t>(subset.recOf.size()) - 1;
  std::vector<std::int32_t> starts;
  for (std::int32_t k = 1; k <= m; ++k)
    if (k == 1 || RecOf(ped, subset, k).generation != RecOf(ped, subset, k - 1).generation) starts.push_back(k);
  starts.push_back(m + 1);
  return starts;
}

// Runs work(i, weights) for i in [0, count) on the workers, each with path
// weights of its own; false when the user cancelled.
template <class Work>
bool InParallel(std::vector<PathWeights>& weights, std::int32_t count, std::int64_t& done,
                Progress& progress, Work work) {
  return RunBlocks(static_cast<int>(weights.size()), count,
                   [&](std::int32_t i, int worker) { work(i, weights[At(worker)]); },
                   [&] { return progress.Step(done++); });
}

}  // namespace

std::optional<std::vector<float>> PurgedInbreeding(const Pedigree& ped, const AncestorSubset& subset,
                                                   float d, int threads, Progress& progress) {
  const std::vector<Parents>& parents = subset.kernel.parents;
  const auto m = static_cast<std::int32_t>(parents.size()) - 1;
  // factor[k] = (1 - d F_k) / 2: what a path loses passing through k.
  std::vector<float> factor(At(m) + 1, 0.0f), self(At(m) + 1, 0.0f), delta(At(m) + 1, 0.0f),
      g(At(m) + 1, 0.0f);
  std::unordered_map<std::uint64_t, float> families;
  std::vector<PathWeights> weights(static_cast<std::size_t>(WorkerCount(threads)), PathWeights(m));
  const std::vector<std::int32_t> waves = Waves(ped, subset);
  progress.SetStage(0, 100, m, "Computing purged inbreeding");
  std::int64_t done = 0;
  std::vector<Parents> todo;
  std::vector<float> values;
  for (std::size_t w = 0; w + 1 < waves.size(); ++w) {
    // The families of this generation not met before, one walk each.
    todo.clear();
    for (std::int32_t k = waves[w]; k < waves[w + 1]; ++k) {
      const Parents p = parents[At(k)];
      if (p.sire != 0 && p.dam != 0 && families.try_emplace(FamilyKey(p), 0.0f).second) todo.push_back(p);
    }
    values.assign(todo.size(), 0.0f);
    const bool finished = InParallel(weights, static_cast<std::int32_t>(todo.size()), done, progress,
                                     [&](std::int32_t i, PathWeights& path) {
      path.Walk(parents, factor, todo[At(i)].sire, todo[At(i)].dam);
      float sum = 0.0f;
      path.ForEachAscending([&](std::int32_t a, float w1, float w2) {
        if (w1 == 0.0f || w2 == 0.0f) return;
        const float term = w1 * delta[At(a)];
        sum += term * w2;
      });
      path.Clear();
      values[At(i)] = sum;
    });
    if (!finished) return std::nullopt;
    for (std::size_t i = 0; i < todo.size(); ++i) families[FamilyKey(todo[i])] = values[i];
    for (std::int32_t k = waves[w]; k < waves[w + 1]; ++k) {
      const Parents p = parents[At(k)];
      const Rec& r = RecOf(ped, subset, k);
      const float family = p.sire != 0 && p.dam != 0 ? families[FamilyKey(p)] : 0.0f;
      g[At(k)] = r.fPredefined ? r.f : family;
      const float loss = d * r.f;
      factor[At(k)] = (1.0f - loss) / 2.0f;
      const float twice = 2.0f * loss;
      self[At(k)] = (1.0f + g[At(k)]) / 2.0f * (1.0f - twice);
      // The parents' part of g(k, k); the rest is k's own term.
      const float parentsPart = self[At(p.sire)] + self[At(p.dam)] + 2.0f * family;
      delta[At(k)] = self[At(k)] - factor[At(k)] * factor[At(k)] * parentsPart;
    }
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

// The partial coefficients of k from its parents' sums, then what k passes
// on: its genes from each founder, its own a_j(k, k) and its D_j(k).
void Finish(const Pedigree& ped, const AncestorSubset& subset, std::int32_t k, const float* sum,
            const std::vector<std::vector<std::pair<std::size_t, float>>>& entering, std::vector<float>& genes,
            std::vector<float>& partial, std::vector<float>& own, std::vector<float>& dj, std::size_t nj) {
  const Parents p = subset.kernel.parents[At(k)];
  const Rec& r = RecOf(ped, subset, k);
  float* gk = &genes[At(k) * nj];
  float* fk = &partial[At(k) * nj];
  float* ak = &own[At(k) * nj];
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

}  // namespace


// a_j = T D_j T' for each founder j, D_j(k) = a_j(k, k) - [a_j(s, s) +
// a_j(d, d) + 2 a_j(s, d)] / 4 with a_j(k, k) = p_j(k) + F_k(j), p_j the
// gene contributions of j; the unknown parent adds nothing to T.
std::optional<std::vector<float>> PartialInbreeding(const Pedigree& ped, const AncestorSubset& subset,
                                                    const std::vector<FounderOrigin>& founders, int threads,
                                                    Progress& progress) {
  const std::vector<Parents>& parents = subset.kernel.parents;
  const auto m = static_cast<std::int32_t>(parents.size()) - 1;
  const std::size_t nj = founders.size();
  std::vector<float> genes((At(m) + 1) * nj, 0.0f), partial((At(m) + 1) * nj, 0.0f),
      own((At(m) + 1) * nj, 0.0f), dj((At(m) + 1) * nj, 0.0f), sums;
  std::vector<std::vector<std::pair<std::size_t, float>>> entering(At(m) + 1);
  for (std::size_t j = 0; j < nj; ++j) {
    const Entry e = EntryOf(founders[j]);
    entering[At(e.local)].emplace_back(j, e.genes);
  }
  const std::vector<float> half(At(m) + 1, 0.5f);
  std::vector<PathWeights> weights(static_cast<std::size_t>(WorkerCount(threads)), PathWeights(m));
  const std::vector<std::int32_t> waves = Waves(ped, subset);
  progress.SetStage(0, 100, m, "Computing partial inbreeding");
  std::int64_t done = 0;
  for (std::size_t w = 0; w + 1 < waves.size(); ++w) {
    const std::int32_t first = waves[w];
    sums.assign(At(waves[w + 1] - first) * nj, 0.0f);
    // a_j(s, d) of every member's parents, summed over their ancestors.
    const bool finished = InParallel(weights, waves[w + 1] - first, done, progress,
                                     [&](std::int32_t i, PathWeights& path) {
      const Parents p = parents[At(first + i)];
      if (p.sire == 0 || p.dam == 0) return;
      float* sum = &sums[At(i) * nj];
      path.Walk(parents, half, p.sire, p.dam);
      path.ForEachAscending([&](std::int32_t a, float w1, float w2) {
        if (w1 == 0.0f || w2 == 0.0f) return;
        const float product = w1 * w2;
        for (std::size_t j = 0; j < nj; ++j) sum[j] += product * dj[At(a) * nj + j];
      });
      path.Clear();
    });
    if (!finished) return std::nullopt;
    for (std::int32_t k = first; k < waves[w + 1]; ++k) Finish(ped, subset, k, &sums[At(k - first) * nj], entering, genes, partial, own, dj, nj);
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
