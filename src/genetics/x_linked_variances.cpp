#include "genetics/x_linked_variances.h"

#include <algorithm>
#include <atomic>
#include <span>

#include "genetics/index_set.h"
#include "genetics/parallel.h"
#include "genetics/relationship.h"

namespace kinvar {

namespace {

// The pedigree by code (1..n, 0 the unknown parent) as the X passes see it.
template <class T>
struct XModel {
  std::vector<KernelParents> parents;  // a male's are {dam, dam}
  std::vector<std::uint8_t> male;
  std::vector<T> diagonal;  // s(k, k), set for the dams
  std::vector<T> between;   // s(sire, dam) of the dams with both parents known
  std::vector<T> d;
};

// The sires of the dams whose parents' relationship is needed, each with
// those daughters, in waves of sires that may run side by side; and the
// codes whose diagonal, then whose D, is final before each wave (the last
// bucket after all of them).
struct XPlan {
  std::vector<std::int32_t> sire;       // by family
  std::vector<std::int32_t> start;      // daughters of family f: [start[f], start[f + 1])
  std::vector<std::int32_t> daughters;  // codes
  std::vector<std::vector<std::int32_t>> waves;
  std::vector<std::vector<std::int32_t>> diagonalAt, varianceAt;
};

template <class T>
XModel<T> MakeModel(const Pedigree& ped, const std::vector<Sex>& sex) {
  const auto size = static_cast<std::size_t>(ped.nTotal) + 1;
  XModel<T> m;
  m.parents.assign(size, {});
  m.male.assign(size, 0);
  m.diagonal.assign(size, T(0));
  m.between.assign(size, T(0));
  m.d.assign(size, T(0));
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    const auto k = static_cast<std::size_t>(i) + 1;
    const std::int32_t sire = ped.rec(r.sire).code, dam = ped.rec(r.dam).code;
    m.male[k] = sex[static_cast<std::size_t>(i)] == Sex::kMale ? 1 : 0;
    m.parents[k] = m.male[k] != 0 ? KernelParents{dam, dam} : KernelParents{sire, dam};
  }
  return m;
}

// A sire's wave is the latest at which the D of one of his ancestors
// becomes final: a dam's diagonal one wave after her sire's.
template <class T, class Needed>
void PlanWaves(const XModel<T>& m, const std::vector<std::int32_t>& familyOf, Needed needed,
               XPlan& plan) {
  const auto size = m.parents.size();
  std::vector<std::int32_t> diagonalReady(size, 0), varianceReady(size, 0), need(size, 0);
  std::vector<std::int32_t> wave(plan.sire.size(), 0);
  for (std::size_t k = 1; k < size; ++k) {
    const KernelParents p = m.parents[k];
    if (needed(k)) diagonalReady[k] = need[static_cast<std::size_t>(p.sire)] + 1;
    varianceReady[k] = diagonalReady[static_cast<std::size_t>(p.dam)];
    need[k] = std::max({varianceReady[k], need[static_cast<std::size_t>(p.sire)],
                        need[static_cast<std::size_t>(p.dam)]});
    if (familyOf[k] >= 0) wave[static_cast<std::size_t>(familyOf[k])] = need[k];
  }
  const std::int32_t waves = wave.empty() ? 0 : *std::max_element(wave.begin(), wave.end()) + 1;
  plan.waves.assign(static_cast<std::size_t>(waves), {});
  for (std::size_t f = 0; f < wave.size(); ++f)
    plan.waves[static_cast<std::size_t>(wave[f])].push_back(static_cast<std::int32_t>(f));
  plan.diagonalAt.assign(static_cast<std::size_t>(waves) + 1, {});
  plan.varianceAt.assign(static_cast<std::size_t>(waves) + 1, {});
  for (std::size_t k = 1; k < size; ++k) {
    plan.diagonalAt[static_cast<std::size_t>(diagonalReady[k])].push_back(static_cast<std::int32_t>(k));
    plan.varianceAt[static_cast<std::size_t>(varianceReady[k])].push_back(static_cast<std::int32_t>(k));
  }
}

// Families by sire code (a counting sort), then the waves.
template <class T>
XPlan MakePlan(const XModel<T>& m) {
  const auto size = m.parents.size();
  std::vector<std::uint8_t> isDam(size, 0);
  for (std::size_t k = 1; k < size; ++k) isDam[static_cast<std::size_t>(m.parents[k].dam)] = 1;
  isDam[0] = 0;
  const auto needed = [&](std::size_t k) {
    return m.male[k] == 0 && isDam[k] != 0 && m.parents[k].sire != 0 && m.parents[k].dam != 0;
  };
  std::vector<std::int32_t> familyOf(size, -1), first(size + 1, 0);
  for (std::size_t k = 1; k < size; ++k)
    if (needed(k)) ++first[static_cast<std::size_t>(m.parents[k].sire) + 1];
  XPlan plan;
  for (std::size_t s = 1; s < size; ++s) {
    if (first[s + 1] == 0) continue;
    familyOf[s] = static_cast<std::int32_t>(plan.sire.size());
    plan.sire.push_back(static_cast<std::int32_t>(s));
  }
  plan.start.assign(plan.sire.size() + 1, 0);
  for (std::size_t f = 0; f < plan.sire.size(); ++f)
    plan.start[f + 1] = plan.start[f] + first[static_cast<std::size_t>(plan.sire[f]) + 1];
  plan.daughters.resize(static_cast<std::size_t>(plan.start.back()));
  std::vector<std::int32_t> fill(plan.start.begin(), plan.start.end() - 1);
  for (std::size_t k = 1; k < size; ++k)
    if (needed(k)) {
      const auto f = static_cast<std::size_t>(familyOf[static_cast<std::size_t>(m.parents[k].sire)]);
      plan.daughters[static_cast<std::size_t>(fill[f]++)] = static_cast<std::int32_t>(k);
    }
  PlanWaves(m, familyOf, needed, plan);
  return plan;
}

// The diagonal of k once its parents' relationship is known, then D once
// its dam's diagonal is: an unknown parent's term is left out.
template <class T>
void SetDiagonal(XModel<T>& m, std::int32_t k) {
  const auto at = static_cast<std::size_t>(k);
  m.diagonal[at] = m.male[at] != 0 ? T(1) : T(0.5) * (T(1) + m.between[at]);
}

template <class T>
void SetVariance(XModel<T>& m, std::int32_t k) {
  const auto at = static_cast<std::size_t>(k);
  const KernelParents p = m.parents[at];
  const T dam = p.dam != 0 ? m.diagonal[static_cast<std::size_t>(p.dam)] : T(0);
  if (m.male[at] != 0) {
    m.d[at] = T(1) - dam;
  } else {
    m.d[at] = T(0.5) - (p.sire != 0 ? T(0.25) : T(0)) - T(0.25) * dam;
  }
}

// Up to W sires at a time: one lane per sire over the union of their
// ancestors, the passes of relationship.h.
template <int W, class T>
class XBlockSolver {
 public:
  XBlockSolver(XModel<T>& model, const XPlan& plan, const XLinkedOptions& options)
      : m_(model), plan_(plan), options_(options), w_(model.parents.size() * W, T(0)),
        pending_(model.parents.size()) {}

  void Solve(std::span<const std::int32_t> families) {
    std::int32_t from = 0, top = 0;
    for (std::size_t l = 0; l < families.size(); ++l) {
      const auto f = static_cast<std::size_t>(families[l]);
      const std::int32_t s = plan_.sire[f];
      w_[static_cast<std::size_t>(s) * W + l] = T(1);
      pending_.Insert(s);
      from = std::max(from, s);
      for (std::int32_t i = plan_.start[f]; i < plan_.start[f + 1]; ++i)
        top = std::max(top, Dam(plan_.daughters[static_cast<std::size_t>(i)]));
    }
    Backward(from);
    Forward(families, top);
    for (std::size_t l = 0; l < families.size(); ++l) {
      const auto f = static_cast<std::size_t>(families[l]);
      for (std::int32_t i = plan_.start[f]; i < plan_.start[f + 1]; ++i) {
        const std::int32_t k = plan_.daughters[static_cast<std::size_t>(i)];
        m_.between[static_cast<std::size_t>(k)] = w_[static_cast<std::size_t>(Dam(k)) * W + l];
      }
    }
    Clear();
  }

 private:
  std::int32_t Dam(std::int32_t k) const { return m_.parents[static_cast<std::size_t>(k)].dam; }

  void Backward(std::int32_t from) {
    pending_.DrainDownwards(from, [&](std::int32_t k) {
      touched_.push_back(k);
      const KernelParents p = m_.parents[static_cast<std::size_t>(k)];
      if (!BlockBackwardStep<W>(w_.data(), p, m_.d[static_cast<std::size_t>(k)], k)) return;
      if (p.sire != 0) pending_.Insert(p.sire);
      if (p.dam != 0) pending_.Insert(p.dam);
    });
  }

  void Forward(std::span<const std::int32_t> families, std::int32_t top) {
    if (!GatherMateAncestors(families, top)) {
      BlockForwardPass<W>(w_.data(), m_.parents.data(), top);
      denseEnd_ = std::max(denseEnd_, top);
      return;
    }
    pending_.Drain([&](std::int32_t k) {
      touched_.push_back(k);
      BlockForwardStep<W>(w_.data(), m_.parents[static_cast<std::size_t>(k)], k);
    });
  }

  // The mates and their ancestors into the set; false (and the set
  // emptied) when they are too many for stepping through them one by one
  // to beat the whole range.
  bool GatherMateAncestors(std::span<const std::int32_t> families, std::int32_t top) {
    for (const std::int32_t f : families)
      for (std::int32_t i = plan_.start[static_cast<std::size_t>(f)];
           i < plan_.start[static_cast<std::size_t>(f) + 1]; ++i)
        pending_.Insert(Dam(plan_.daughters[static_cast<std::size_t>(i)]));
    const std::int64_t share = options_.denseShare;
    const std::int32_t limit = share == 0 ? top : static_cast<std::int32_t>(std::min<std::int64_t>(
                                                      top, std::int64_t{top} * W / (4 * share)));
    std::int32_t count = 0;
    for (std::int32_t k = top; count <= limit && (k = pending_.AtMost(k)) > 0; --k, ++count) {
      const KernelParents p = m_.parents[static_cast<std::size_t>(k)];
      if (p.sire != 0) pending_.Insert(p.sire);
      if (p.dam != 0) pending_.Insert(p.dam);
    }
    if (count <= limit) return true;
    pending_.EraseUpTo(top);
    return false;
  }

  void Clear() {
    std::fill(w_.begin() + W, w_.begin() + (static_cast<std::ptrdiff_t>(denseEnd_) + 1) * W, T(0));
    for (const std::int32_t k : touched_)
      std::fill_n(w_.begin() + static_cast<std::ptrdiff_t>(k) * W, W, T(0));
    touched_.clear();
    denseEnd_ = 0;
  }

  XModel<T>& m_;
  const XPlan& plan_;
  const XLinkedOptions& options_;
  std::vector<T> w_;  // W lanes per code
  IndexSet pending_;
  std::vector<std::int32_t> touched_;
  std::int32_t denseEnd_ = 0;
};

template <int W, class T>
bool Walk(XModel<T>& m, const XPlan& plan, const XLinkedOptions& options, Progress& progress) {
  const int threads = WorkerCount(options.threads);
  std::vector<XBlockSolver<W, T>> solvers;
  solvers.reserve(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) solvers.emplace_back(m, plan, options);
  const auto last = static_cast<std::int64_t>(m.parents.size()) - 2;
  const auto families = std::max<std::int64_t>(1, static_cast<std::int64_t>(plan.sire.size()));
  std::atomic<std::int64_t> done{0};
  for (std::size_t wave = 0; wave < plan.waves.size(); ++wave) {
    for (const std::int32_t k : plan.diagonalAt[wave]) SetDiagonal(m, k);
    for (const std::int32_t k : plan.varianceAt[wave]) SetVariance(m, k);
    const std::vector<std::int32_t>& list = plan.waves[wave];
    const auto blocks = static_cast<std::int32_t>((list.size() + W - 1) / W);
    const auto run = [&](std::int32_t b, int worker) {
      const auto first = static_cast<std::size_t>(b) * W;
      const std::size_t count = std::min<std::size_t>(W, list.size() - first);
      solvers[static_cast<std::size_t>(worker)].Solve({list.data() + first, count});
      done += static_cast<std::int64_t>(count);
    };
    if (!RunBlocks(threads, blocks, run, [&] { return progress.Step(done.load() * last / families); }))
      return false;
  }
  for (const std::int32_t k : plan.diagonalAt.back()) SetDiagonal(m, k);
  for (const std::int32_t k : plan.varianceAt.back()) SetVariance(m, k);
  return true;
}

}  // namespace

template <class T>
bool XLinkedVariances(const Pedigree& ped, const std::vector<Sex>& sex,
                      const XLinkedOptions& options, std::vector<T>& d, Progress& progress) {
  XModel<T> model = MakeModel<T>(ped, sex);
  const XPlan plan = MakePlan(model);
  bool done = false;
  if (options.blockWidth >= 16) done = Walk<16>(model, plan, options, progress);
  else if (options.blockWidth >= 8) done = Walk<8>(model, plan, options, progress);
  else if (options.blockWidth >= 4) done = Walk<4>(model, plan, options, progress);
  else done = Walk<2>(model, plan, options, progress);
  if (!done) return false;
  d = std::move(model.d);
  return true;
}

template bool XLinkedVariances(const Pedigree&, const std::vector<Sex>&, const XLinkedOptions&,
                               std::vector<float>&, Progress&);
template bool XLinkedVariances(const Pedigree&, const std::vector<Sex>&, const XLinkedOptions&,
                               std::vector<double>&, Progress&);

}  // namespace kinvar
