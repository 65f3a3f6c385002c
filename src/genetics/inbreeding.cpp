#include "genetics/inbreeding.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "genetics/column_chain.h"
#include "genetics/index_set.h"
#include "genetics/metafounders.h"
#include "genetics/parallel.h"
#include "genetics/relationship.h"

namespace kinvar {

namespace {

// The ancestors of the evaluated individuals, numbered 1..M so that parents
// precede progeny; index 0 stands for the unknown parent.
template <class T>
struct ReducedPedigree {
  std::vector<std::int32_t> map;    // code -> reduced index, -1 when absent
  // Reduced indexes of the sire and the dam, 0 = unknown; side by side
  // because every pass reads both.
  using Parents = KernelParents;
  std::vector<Parents> parents;
  std::vector<T> x;             // the column being computed, x[0] = 0
  std::vector<T> d;             // within-family variances, filled lazily
  std::vector<std::int32_t> last;   // largest reduced index among the mates
  // Half the relationship of the parents of a predefined ancestor: what its
  // F would be if it were computed. Its D corrects the diagonal by the
  // difference to the predefined F.
  std::vector<T> fromParents;
  // Inactive without metafounders, where every term it adds is skipped.
  MetafounderModel<T> mf;
  std::int32_t Of(const Rec& r) const { return map[static_cast<std::size_t>(r.code)]; }
  // F from a0 of the parents (the column's value): half their relationship,
  // with the metafounders' part when there are some.
  T HalfRelationship(const Pedigree& ped, const Rec& r, T a0) const {
    if (!mf.Active()) return T(0.5) * a0;
    return T(0.5) * (a0 + mf.OfParents(ped, ped.records[static_cast<std::size_t>(r.code) - 1]));
  }
};

// F of a record in the precision of the run: the record's own float, or in
// double precision the entry by code that the run keeps beside it.
template <class T>
T FOf(const Pedigree& ped, const Rec& r);
template <>
float FOf<float>(const Pedigree&, const Rec& r) { return r.f; }
template <>
double FOf<double>(const Pedigree& ped, const Rec& r) {
  return ped.fDouble[static_cast<std::size_t>(r.code)];
}

inline void SetF(Pedigree&, Rec& r, float f) { r.f = f; }
// The float beside it serves the commands that stay in single precision.
inline void SetF(Pedigree& ped, Rec& r, double f) {
  ped.fDouble[static_cast<std::size_t>(r.code)] = f;
  r.f = static_cast<float>(f);
}

struct Collected {
  std::int32_t viaSire = 0;
  std::int32_t viaDam = 0;
  std::int32_t own = 0;  // predefined individuals collected for their own D
  std::int32_t maxGeneration = -1;
};

void PutInBucket(Pedigree& ped, RecIndex ri, Collected& c) {
  Rec& r = ped.rec(ri);
  const auto g = static_cast<std::size_t>(r.generation);
  ped.work[static_cast<std::size_t>(ped.generationFill[g]++)] = ri;
  r.mark = 1;
  c.maxGeneration = std::max(c.maxGeneration, r.generation);
}

// Visits the records from the highest code down, putting every parent of an
// evaluated individual or of a collected ancestor into its generation bucket.
// With `ownD`, a predefined individual with two known parents is collected
// too, whatever its progeny: its D needs its parents' relationship to give
// the diagonal 1 + F that every later relationship goes through.
template <class T>
Collected CollectAncestors(Pedigree& ped, ReducedPedigree<T>& reduced, bool ownD) {
  Collected c;
  for (std::int32_t i = ped.nTotal - 1; i >= 0; --i) {
    Rec& r = ped.byCode(i);
    if (ownD && r.fPredefined && r.mark == 0 && r.sire != kUnknownParent &&
        r.dam != kUnknownParent) {
      PutInBucket(ped, ped.records[static_cast<std::size_t>(i)], c);
      ++c.own;
    }
    if (!r.fPredefined) {
      ++ped.nEvaluated;
      if (r.sire == kUnknownParent || r.dam == kUnknownParent) r.f = 0.0f;
    } else if (r.f > 0.0f) {
      ++ped.nInbreds;
    }
    if (!r.fPredefined || r.mark == 1) {
      for (const RecIndex pi : {r.sire, r.dam}) {
        if (ped.rec(pi).mark != 0) continue;
        PutInBucket(ped, pi, c);
        ++(pi == r.sire ? c.viaSire : c.viaDam);
      }
    }
    reduced.map[static_cast<std::size_t>(r.code)] = -1;
  }
  return c;
}

// Numbers the collected ancestors by ascending generation, each bucket from
// its last entry back, emptying the buckets and clearing the marks.
template <class T>
void NumberReducedPedigree(Pedigree& ped, ReducedPedigree<T>& reduced, std::int32_t maxGeneration) {
  for (std::int32_t g = maxGeneration; g >= 0; --g) {
    const auto gi = static_cast<std::size_t>(g);
    for (std::int32_t w = ped.generationFill[gi] - 1; w >= ped.generationCount[gi]; --w) {
      ped.rec(ped.work[static_cast<std::size_t>(w)]).mark = 0;
    }
  }
  std::int32_t k = 1;
  for (std::int32_t g = 0; g <= maxGeneration; ++g) {
    const auto gi = static_cast<std::size_t>(g);
    while (ped.generationFill[gi] > ped.generationCount[gi]) {
      const Rec& r = ped.rec(ped.work[static_cast<std::size_t>(--ped.generationFill[gi])]);
      const auto ki = static_cast<std::size_t>(k);
      reduced.map[static_cast<std::size_t>(r.code)] = k;
      reduced.parents[ki] = {reduced.Of(ped.rec(r.sire)), reduced.Of(ped.rec(r.dam))};
      reduced.x[ki] = T(0);
      reduced.last[ki] = k;
      ++k;
    }
  }
  reduced.x[0] = T(0);
  reduced.last[0] = 0;
}

template <class T>
void AllocateReducedPedigree(ReducedPedigree<T>& reduced, std::size_t size) {
  reduced.parents.assign(size, {});
  reduced.x.assign(size, T(0));
  reduced.d.assign(size, T(0));
  reduced.last.assign(size, 0);
  reduced.fromParents.assign(size, T(0));
}

struct Grouping {
  bool bySire;
  RecIndex Parent(const Rec& r) const { return bySire ? r.sire : r.dam; }
  RecIndex Mate(const Rec& r) const { return bySire ? r.dam : r.sire; }
};

// Brings each grouping parent's progeny together, the families in ascending
// order of the grouping parent's code, by a stable counting sort: linear,
// where a comparison sort of a million records cost a fifth of the whole
// computation. The order within a family is free, as the walk takes a
// family whole.
void GroupFamilies(Pedigree& ped, const Grouping& grouping) {
  const auto keyOf = [&](RecIndex ri) {
    return static_cast<std::size_t>(ped.rec(grouping.Parent(ped.rec(ri))).code);
  };
  std::vector<std::int32_t> next(static_cast<std::size_t>(ped.nTotal) + 2, 0);
  for (const RecIndex ri : ped.familyOrder) ++next[keyOf(ri) + 1];
  for (std::size_t c = 1; c < next.size(); ++c) next[c] += next[c - 1];
  std::vector<RecIndex> sorted(ped.familyOrder.size());
  for (const RecIndex ri : ped.familyOrder) {
    sorted[static_cast<std::size_t>(next[keyOf(ri)]++)] = ri;
  }
  ped.familyOrder.swap(sorted);
}

// The records whose parents' relationship the walk over the families
// computes: every evaluated one, and every predefined ancestor with two
// known parents, whose D needs it to give the diagonal 1 + F.
template <class T>
bool NeedsRelationship(const Rec& r, const ReducedPedigree<T>& reduced, const InbreedingOptions& o) {
  if (!r.fPredefined) return true;
  return !o.predefinedOnlyInProgenyD && reduced.Of(r) > 0 && r.sire != kUnknownParent &&
         r.dam != kUnknownParent;
}

// The forward pass of a grouping parent goes at least up to its largest
// mate's reduced index.
template <class T>
void FindLastMates(Pedigree& ped, ReducedPedigree<T>& reduced, const Grouping& grouping,
                   const InbreedingOptions& options) {
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (!NeedsRelationship(r, reduced, options)) continue;
    std::int32_t& last = reduced.last[static_cast<std::size_t>(reduced.Of(ped.rec(grouping.Parent(r))))];
    last = std::max(last, reduced.Of(ped.rec(grouping.Mate(r))));
  }
}

// D of a reduced ancestor j, once its parents' F and (for a predefined F)
// its parents' relationship are final.
// A metafounder parent counts with F = Gamma_pp - 1 where an unknown one
// counts with -1, and a predefined F with an unknown parent is measured
// against half the metafounders' part of its parents' relationship.
template <class T>
T AncestorVariance(const Pedigree& ped, const ReducedPedigree<T>& reduced, const Rec& j,
                       const InbreedingOptions& options) {
  T fs = FOf<T>(ped, ped.rec(j.sire)), fd = FOf<T>(ped, ped.rec(j.dam));
  const bool mf = reduced.mf.Active();
  const RecIndex ri = mf ? ped.records[static_cast<std::size_t>(j.code) - 1] : 0;
  if (mf) {
    fs = reduced.mf.ParentF(ped, ri, ParentRole::kSire, fs);
    fd = reduced.mf.ParentF(ped, ri, ParentRole::kDam, fd);
  }
  const T sum = fs + fd;
  T d = T(0.5) - T(0.25) * sum;
  if (j.fPredefined && !options.predefinedOnlyInProgenyD) {
    const std::int32_t k = reduced.Of(j);
    T fromParents = k > 0 ? reduced.fromParents[static_cast<std::size_t>(k)] : T(0);
    if (mf && (j.sire == kUnknownParent || j.dam == kUnknownParent))
      fromParents = T(0.5) * reduced.mf.OfParents(ped, ri);
    d = d + (FOf<T>(ped, j) - fromParents);
  }
  return d;
}

// One column of A at a time. The restricted passes visit only the entries
// whose value can change or is read: the ancestors of the grouping parent
// going back, the ancestors of the mates going forward. They perform the
// same operations on those entries in the same order as the full passes, so
// every value read off the column is the same bit for bit.
template <class T>
class ColumnSolver {
 public:
  ColumnSolver(Pedigree& ped, ReducedPedigree<T>& reduced, const InbreedingOptions& options)
      : ped_(ped), r_(reduced), options_(options), pending_(reduced.x.size()) {}

  // Leaves a(k, p) in x[k] for every mate k, p being the grouping parent
  // with code c and reduced index s.
  void Solve(std::int32_t c, std::int32_t s, const std::vector<std::int32_t>& mates) {
    FillD(c);
    r_.x[static_cast<std::size_t>(s)] = T(1);
    if (options_.fullPasses) {
      FullBackward(s);
      FullForward(r_.last[static_cast<std::size_t>(s)]);
      denseEnd_ = r_.last[static_cast<std::size_t>(s)];
    } else {
      BackwardOverAncestors(s);
      ForwardOverMateAncestors(mates);
    }
  }

  void Clear() {
    std::fill(r_.x.begin() + 1, r_.x.begin() + static_cast<std::ptrdiff_t>(denseEnd_) + 1, T(0));
    for (const std::int32_t k : touched_) r_.x[static_cast<std::size_t>(k)] = T(0);
    touched_.clear();
    denseEnd_ = 0;
  }

 private:
  // D of every reduced ancestor with a code up to c; the parents' F are
  // final because their families have smaller grouping-parent codes, and so
  // are the parents' relationships of the predefined ones among them.
  void FillD(std::int32_t c) {
    for (; dDone_ < c; ++dDone_) {
      const Rec& j = ped_.byCode(dDone_);
      const std::int32_t k = r_.Of(j);
      if (k == -1) continue;
      r_.d[static_cast<std::size_t>(k)] = AncestorVariance(ped_, r_, j, options_);
    }
  }

  // Adds x[k]/2 to the parents of k, then scales x[k] by D; a zero x[k] is
  // skipped, as it adds nothing.
  void BackwardStep(std::int32_t k) {
    auto& x = r_.x;
    const auto ki = static_cast<std::size_t>(k);
    if (x[ki] == T(0)) return;
    const KernelParents pk = r_.parents[ki];
    if (pk.sire != 0) x[static_cast<std::size_t>(pk.sire)] += T(0.5) * x[ki];
    if (pk.dam != 0) x[static_cast<std::size_t>(pk.dam)] += T(0.5) * x[ki];
    x[ki] = r_.d[ki] * x[ki];
  }

  void ForwardStep(std::int32_t k) {
    auto& x = r_.x;
    const auto ki = static_cast<std::size_t>(k);
    const KernelParents pk = r_.parents[ki];
    x[ki] = x[ki] + T(0.5) * x[static_cast<std::size_t>(pk.sire)];
    x[ki] = x[ki] + T(0.5) * x[static_cast<std::size_t>(pk.dam)];
  }

  void FullBackward(std::int32_t s) {
    for (std::int32_t k = s; k >= 1; --k) BackwardStep(k);
  }

  void FullForward(std::int32_t end) {
    for (std::int32_t k = 1; k <= end; ++k) ForwardStep(k);
  }

  // The full backward pass restricted to the indexes it changes: those
  // pending in a set walked downwards, which the grouping parent starts and
  // every visited non-zero entry extends by its parents.
  void BackwardOverAncestors(std::int32_t s) {
    pending_.Insert(s);
    pending_.DrainDownwards(s, [this](std::int32_t k) {
      touched_.push_back(k);
      const bool zero = r_.x[static_cast<std::size_t>(k)] == T(0);
      BackwardStep(k);
      if (!zero) InsertParents(k);
    });
  }

  // A forward step reads only the parents' values, so any parents-first
  // order over the mates' ancestors gives the values of the full pass.
  // The ancestors are gathered by one downward walk, then stepped upwards.
  void ForwardOverMateAncestors(const std::vector<std::int32_t>& mates) {
    const std::int32_t top = *std::max_element(mates.begin(), mates.end());
    // Families in a row have grouping parents of about one age and mates of
    // about one age: after a family whose ancestors were found dense, the
    // next few go dense without looking.
    if (denseInARow_ % std::max(1, options_.denseRecheck) != 0 || !SparseEnough(mates, top)) {
      ++denseInARow_;
      FullForward(top);
      denseEnd_ = std::max(denseEnd_, top);
      return;
    }
    denseInARow_ = 0;
    pending_.Drain([this](std::int32_t k) {
      touched_.push_back(k);
      ForwardStep(k);
    });
  }

  // Gathers the mates and their ancestors into pending_ by a downward walk,
  // giving up (and emptying it) once they fill more than a 1/denseShare of
  // the range. A step of the full pass walks memory in order and costs about
  // a sixteenth of finding one ancestor, hence the default share.
  bool SparseEnough(const std::vector<std::int32_t>& mates, std::int32_t top) {
    for (const std::int32_t m : mates) {
      if (m != 0) pending_.Insert(m);
    }
    const std::int32_t limit = options_.denseShare == 0 ? top : top / options_.denseShare;
    std::int32_t count = 0;
    for (std::int32_t k = top; count <= limit && (k = pending_.AtMost(k)) > 0; --k, ++count) {
      InsertParents(k);
    }
    if (count <= limit) return true;
    pending_.EraseUpTo(top);
    return false;
  }

  void InsertParents(std::int32_t k) {
    const auto ki = static_cast<std::size_t>(k);
    const KernelParents pk = r_.parents[ki];
    if (pk.sire != 0) pending_.Insert(pk.sire);
    if (pk.dam != 0) pending_.Insert(pk.dam);
  }

  Pedigree& ped_;
  ReducedPedigree<T>& r_;
  const InbreedingOptions& options_;
  std::int32_t dDone_ = 0;  // codes 1..dDone_ have their D
  IndexSet pending_;  // empty between passes
  std::vector<std::int32_t> touched_;  // x entries to clear
  std::int32_t denseEnd_ = 0;          // and x[1..denseEnd_]
  std::int32_t denseInARow_ = 0;       // families whose forward pass went dense
};

// The within-family variance of every individual, the D that the columns
// used: the relationships, A inverse and T of the other commands go through
// it, so that they agree with the coefficients reported here.
template <class T>
void StoreVariances(Pedigree& ped, const ReducedPedigree<T>& reduced, const InbreedingOptions& options) {
  std::vector<T> variances(static_cast<std::size_t>(ped.nTotal) + 1, T(0));
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    variances[static_cast<std::size_t>(r.code)] = AncestorVariance(ped, reduced, r, options);
  }
  if constexpr (std::is_same_v<T, float>) {
    ped.d = std::move(variances);
    ped.fDouble = {};
    ped.dDouble = {};
  } else {
    ped.d.assign(variances.begin(), variances.end());
    ped.dDouble = std::move(variances);
  }
}

void ZeroCounters(Pedigree& ped) {
  ped.nInbreds = ped.nEvaluated = ped.nInbredsEvaluated = 0;
}

template <class T>
class FamilyWalk {
 public:
  FamilyWalk(Pedigree& ped, ReducedPedigree<T>& reduced, const Grouping& grouping,
             const InbreedingOptions& options)
      : ped_(ped), r_(reduced), grouping_(grouping), options_(options),
        solver_(ped, reduced, options) {}

  // Handles the record at position i, or its whole family when it is the
  // first that needs its grouping parent's column; returns the next position.
  std::int32_t Step(std::int32_t i) {
    const Rec& first = At(i);
    const RecIndex p = grouping_.Parent(first);
    if (p == kUnknownParent || !NeedsRelationship(first, r_, options_)) return i + 1;
    std::int32_t end = i;
    mates_.clear();
    for (; end < ped_.nTotal && grouping_.Parent(At(end)) == p; ++end) {
      if (NeedsRelationship(At(end), r_, options_)) mates_.push_back(MateOf(At(end)));
    }
    const std::int32_t s = r_.Of(ped_.rec(p));
    solver_.Solve(ped_.rec(p).code, s, mates_);
    for (; i < end; ++i) Assign(At(i));
    solver_.Clear();
    return end;
  }

 private:
  Rec& At(std::int32_t i) { return ped_.rec(ped_.familyOrder[static_cast<std::size_t>(i)]); }
  std::int32_t MateOf(const Rec& r) const { return r_.Of(ped_.rec(grouping_.Mate(r))); }

  void Assign(Rec& r) {
    if (!NeedsRelationship(r, r_, options_)) return;
    const T f = r_.HalfRelationship(ped_, r, r_.x[static_cast<std::size_t>(MateOf(r))]);
    if (r.fPredefined) {
      r_.fromParents[static_cast<std::size_t>(r_.Of(r))] = f;
      return;
    }
    SetF(ped_, r, f);
    if (f > T(0)) {
      ++ped_.nInbreds;
      ++ped_.nInbredsEvaluated;
    }
  }

  Pedigree& ped_;
  ReducedPedigree<T>& r_;
  const Grouping& grouping_;
  const InbreedingOptions& options_;
  ColumnSolver<T> solver_;
  std::vector<std::int32_t> mates_;
};

// ---------------------------------------------------------------------------
// Many columns at a time. A family's column needs D final over the grouping
// parent and its ancestors, that is every F (and predefined parents'
// relationship) assigned to them final. Families are put into waves so that
// those come from earlier waves; the families of one wave are independent,
// and go through the block kernel W at a time, on several threads.

// The records that read their F (or their parents' relationship) off the
// column of one grouping parent.
struct Family {
  std::int32_t s = 0;      // the grouping parent's reduced index
  std::int32_t first = 0;  // members[first..end) and their mates
  std::int32_t end = 0;
  std::int32_t positions = 0;  // familyOrder positions it stands for
};

struct FamilyPlan {
  std::vector<Family> families;      // ascending grouping-parent code
  std::vector<RecIndex> members;
  std::vector<std::int32_t> mates;   // the member's other parent, reduced
  std::vector<std::vector<std::int32_t>> waves;   // families of each wave
  // The reduced ancestors (by record) whose D is final from each wave on.
  std::vector<std::vector<RecIndex>> dWaves;
};

// The families in familyOrder, as the one-column walk meets them.
template <class T>
FamilyPlan ListFamilies(Pedigree& ped, const ReducedPedigree<T>& reduced, const Grouping& grouping,
                        const InbreedingOptions& options) {
  FamilyPlan plan;
  const auto at = [&](std::int32_t i) -> Rec& {
    return ped.rec(ped.familyOrder[static_cast<std::size_t>(i)]);
  };
  std::int32_t reported = 0;
  for (std::int32_t i = 0; i < ped.nTotal;) {
    const RecIndex p = grouping.Parent(at(i));
    if (p == kUnknownParent || !NeedsRelationship(at(i), reduced, options)) {
      ++i;
      continue;
    }
    Family f{reduced.Of(ped.rec(p)), static_cast<std::int32_t>(plan.members.size()), 0, 0};
    for (; i < ped.nTotal && grouping.Parent(at(i)) == p; ++i) {
      if (!NeedsRelationship(at(i), reduced, options)) continue;
      plan.members.push_back(ped.familyOrder[static_cast<std::size_t>(i)]);
      plan.mates.push_back(reduced.Of(ped.rec(grouping.Mate(at(i)))));
    }
    f.end = static_cast<std::int32_t>(plan.members.size());
    f.positions = i - reported;
    reported = i;
    plan.families.push_back(f);
  }
  return plan;
}

// Wave of a family: one more than the latest wave that assigns an F to its
// grouping parent or an ancestor of it (need, by code, in code order).
template <class T>
void PlanWaves(Pedigree& ped, const ReducedPedigree<T>& reduced, FamilyPlan& plan) {
  const auto size = static_cast<std::size_t>(ped.nTotal) + 1;
  std::vector<std::int32_t> familyOf(size, -1), parentOf(size, -1), need(size, -1);
  for (std::size_t f = 0; f < plan.families.size(); ++f) {
    const Family& fam = plan.families[f];
    for (std::int32_t m = fam.first; m < fam.end; ++m) {
      familyOf[static_cast<std::size_t>(ped.rec(plan.members[static_cast<std::size_t>(m)]).code)] =
          static_cast<std::int32_t>(f);
    }
  }
  std::vector<std::int32_t> codeOf(reduced.parents.size(), 0);
  for (std::size_t c = 1; c < size; ++c) {
    const std::int32_t k = reduced.map[c];
    if (k > 0) codeOf[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(c);
  }
  for (std::size_t f = 0; f < plan.families.size(); ++f) {
    parentOf[static_cast<std::size_t>(codeOf[static_cast<std::size_t>(plan.families[f].s)])] =
        static_cast<std::int32_t>(f);
  }
  std::vector<std::int32_t> wave(plan.families.size(), 0);
  for (std::size_t c = 1; c < size; ++c) {
    const Rec& r = ped.byCode(static_cast<std::int32_t>(c) - 1);
    std::int32_t n = familyOf[c] < 0 ? -1 : wave[static_cast<std::size_t>(familyOf[c])];
    n = std::max({n, need[static_cast<std::size_t>(ped.rec(r.sire).code)],
                  need[static_cast<std::size_t>(ped.rec(r.dam).code)]});
    need[c] = n;
    if (parentOf[c] >= 0) wave[static_cast<std::size_t>(parentOf[c])] = n + 1;
  }
  const std::int32_t waves = wave.empty() ? 0 : *std::max_element(wave.begin(), wave.end()) + 1;
  plan.waves.assign(static_cast<std::size_t>(waves), {});
  plan.dWaves.assign(static_cast<std::size_t>(waves), {});
  for (std::size_t f = 0; f < wave.size(); ++f) {
    plan.waves[static_cast<std::size_t>(wave[f])].push_back(static_cast<std::int32_t>(f));
  }
  for (std::size_t k = 1; k < codeOf.size(); ++k) {
    const std::int32_t w = need[static_cast<std::size_t>(codeOf[k])] + 1;
    if (w >= waves) continue;
    plan.dWaves[static_cast<std::size_t>(w)].push_back(
        ped.records[static_cast<std::size_t>(codeOf[k]) - 1]);
  }
}

// F of a family's members (the parents' relationship of its predefined
// ones) from their mates' entries of the family's column; returns the number
// of new inbreds.
template <class T, class Column>
std::int32_t AssignFamily(Pedigree& ped, ReducedPedigree<T>& reduced, const FamilyPlan& plan,
                          const Family& f, Column column) {
  std::int32_t inbreds = 0;
  for (std::int32_t m = f.first; m < f.end; ++m) {
    Rec& r = ped.rec(plan.members[static_cast<std::size_t>(m)]);
    const T value = reduced.HalfRelationship(ped, r, column(plan.mates[static_cast<std::size_t>(m)]));
    if (r.fPredefined) {
      reduced.fromParents[static_cast<std::size_t>(reduced.Of(r))] = value;
      continue;
    }
    SetF(ped, r, value);
    if (value > T(0)) ++inbreds;
  }
  return inbreds;
}

// Up to W families at a time through the block kernel: the same passes as
// ColumnSolver over the union of their ancestors, one lane per family.
template <int W, class T>
class BlockSolver {
 public:
  BlockSolver(Pedigree& ped, ReducedPedigree<T>& reduced, const InbreedingOptions& options)
      : ped_(ped), r_(reduced), options_(options), w_(reduced.parents.size() * W, T(0)),
        pending_(reduced.parents.size()) {}

  const InbreedingWork& Work() const { return work_; }

  // Computes the columns of `families` (at most W) and assigns their
  // members' F; returns the number of new inbreds.
  std::int32_t Solve(const FamilyPlan& plan, std::span<const std::int32_t> families) {
    std::int32_t top = 0, from = 0;
    for (std::size_t l = 0; l < families.size(); ++l) {
      const Family& f = plan.families[static_cast<std::size_t>(families[l])];
      w_[static_cast<std::size_t>(f.s) * W + l] = T(1);
      pending_.Insert(f.s);
      from = std::max(from, f.s);
      for (std::int32_t m = f.first; m < f.end; ++m) {
        top = std::max(top, plan.mates[static_cast<std::size_t>(m)]);
      }
    }
    Backward(from);
    work_.backwardRows += static_cast<std::int64_t>(touched_.size());
    Forward(plan, families, top);
    ++work_.blocks;
    const std::int32_t inbreds = Assign(plan, families);
    Clear();
    return inbreds;
  }

 private:
  void Backward(std::int32_t from) {
    T* w = w_.data();
    pending_.DrainDownwards(from, [&](std::int32_t k) {
      touched_.push_back(k);
      const KernelPedigree::Parents p = r_.parents[static_cast<std::size_t>(k)];
      if (!BlockBackwardStep<W>(w, p, r_.d[static_cast<std::size_t>(k)], k)) return;
      if (p.sire != 0) pending_.Insert(p.sire);
      if (p.dam != 0) pending_.Insert(p.dam);
    });
  }

  void Forward(const FamilyPlan& plan, std::span<const std::int32_t> families, std::int32_t top) {
    T* w = w_.data();
    if (denseInARow_ % std::max(1, options_.denseRecheck) != 0 ||
        !SparseEnough(plan, families, top)) {
      ++denseInARow_;
      BlockForwardPass<W>(w, r_.parents.data(), top);
      denseEnd_ = std::max(denseEnd_, top);
      work_.forwardRows += top;
      return;
    }
    denseInARow_ = 0;
    pending_.Drain([&](std::int32_t k) {
      ++work_.forwardRows;
      touched_.push_back(k);
      BlockForwardStep<W>(w, r_.parents[static_cast<std::size_t>(k)], k);
    });
  }

  // As ColumnSolver::SparseEnough, over the mates of every lane.
  bool SparseEnough(const FamilyPlan& plan, std::span<const std::int32_t> families,
                    std::int32_t top) {
    for (const std::int32_t f : families) {
      const Family& fam = plan.families[static_cast<std::size_t>(f)];
      for (std::int32_t m = fam.first; m < fam.end; ++m) {
        const std::int32_t mate = plan.mates[static_cast<std::size_t>(m)];
        if (mate != 0) pending_.Insert(mate);
      }
    }
    // A dense step costs about W/4 times the one-column step here, finding
    // an ancestor the same: the share scales accordingly.
    const std::int32_t limit = options_.denseShare == 0
                                   ? top
                                   : static_cast<std::int32_t>(std::min<std::int64_t>(
                                         top, std::int64_t{top} * W / (4 * options_.denseShare)));
    std::int32_t count = 0;
    for (std::int32_t k = top; count <= limit && (k = pending_.AtMost(k)) > 0; --k, ++count) {
      const KernelPedigree::Parents p = r_.parents[static_cast<std::size_t>(k)];
      if (p.sire != 0) pending_.Insert(p.sire);
      if (p.dam != 0) pending_.Insert(p.dam);
    }
    if (count <= limit) return true;
    pending_.EraseUpTo(top);
    return false;
  }

  // Each record belongs to one family, so blocks running side by side write
  // apart; the counters are summed by the caller.
  std::int32_t Assign(const FamilyPlan& plan, std::span<const std::int32_t> families) {
    std::int32_t inbreds = 0;
    for (std::size_t l = 0; l < families.size(); ++l) {
      const Family& f = plan.families[static_cast<std::size_t>(families[l])];
      inbreds += AssignFamily(ped_, r_, plan, f, [&](std::int32_t mate) {
        return w_[static_cast<std::size_t>(mate) * W + l];
      });
    }
    return inbreds;
  }

  void Clear() {
    std::fill(w_.begin() + W, w_.begin() + (static_cast<std::ptrdiff_t>(denseEnd_) + 1) * W, T(0));
    for (const std::int32_t k : touched_) {
      std::fill_n(w_.begin() + static_cast<std::ptrdiff_t>(k) * W, W, T(0));
    }
    touched_.clear();
    denseEnd_ = 0;
  }

  Pedigree& ped_;
  ReducedPedigree<T>& r_;
  const InbreedingOptions& options_;
  std::vector<T> w_;  // W lanes per reduced index
  IndexSet pending_;
  std::vector<std::int32_t> touched_;
  std::int32_t denseEnd_ = 0;
  std::int32_t denseInARow_ = 0;
  InbreedingWork work_;
};

// The families of a narrow wave through the chained columns, on the
// calling thread; false when cancelled.
template <class T>
bool WalkChained(Pedigree& ped, ReducedPedigree<T>& reduced, const FamilyPlan& plan,
                 const std::vector<std::int32_t>& list, ColumnChain<T>& chain, std::int32_t& inbreds,
                 std::atomic<std::int32_t>& done, Progress& progress) {
  for (const std::int32_t fi : list) {
    const Family& f = plan.families[static_cast<std::size_t>(fi)];
    const std::span<const std::int32_t> mates(plan.mates.data() + f.first,
                                              static_cast<std::size_t>(f.end - f.first));
    chain.Solve(f.s, mates);
    inbreds += AssignFamily(ped, reduced, plan, f, [&](std::int32_t mate) { return chain.At(mate); });
    done += f.positions;
    if (progress.Step(done.load())) return false;
  }
  return true;
}

// The family walk by waves and blocks; false when cancelled.
template <int W, class T>
bool WalkInBlocks(Pedigree& ped, ReducedPedigree<T>& reduced, const FamilyPlan& plan,
                  const InbreedingOptions& options, Progress& progress) {
  const int threads = WorkerCountFor(options.threads, ped.nTotal, options.individualsPerWorker);
  std::vector<BlockSolver<W, T>> solvers;
  solvers.reserve(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t) solvers.emplace_back(ped, reduced, options);
  std::vector<std::int32_t> inbreds(static_cast<std::size_t>(threads), 0);
  std::atomic<std::int32_t> done{0};  // familyOrder positions finished
  std::optional<ColumnChain<T>> chain;  // the narrow waves' columns, one after another
  for (std::size_t wave = 0; wave < plan.waves.size(); ++wave) {
    for (const RecIndex ri : plan.dWaves[wave]) {
      const Rec& j = ped.rec(ri);
      reduced.d[static_cast<std::size_t>(reduced.Of(j))] =
          AncestorVariance(ped, reduced, j, options);
    }
    const std::vector<std::int32_t>& list = plan.waves[wave];
    if (static_cast<std::int64_t>(list.size()) <= options.chainedWave) {
      if (!chain) chain.emplace(reduced.parents, reduced.d);
      if (!WalkChained(ped, reduced, plan, list, *chain, inbreds[0], done, progress)) return false;
      continue;
    }
    const auto blocks = static_cast<std::int32_t>((list.size() + W - 1) / W);
    const auto run = [&](std::int32_t b, int worker) {
      const auto first = static_cast<std::size_t>(b) * W;
      const std::span<const std::int32_t> families(list.data() + first,
                                                   std::min<std::size_t>(W, list.size() - first));
      const auto wi = static_cast<std::size_t>(worker);
      inbreds[wi] += solvers[wi].Solve(plan, families);
      std::int32_t positions = 0;
      for (const std::int32_t f : families) {
        positions += plan.families[static_cast<std::size_t>(f)].positions;
      }
      done += positions;
    };
    if (!RunBlocks(threads, blocks, run, [&] { return progress.Step(done.load()); })) return false;
  }
  for (const std::int32_t n : inbreds) {
    ped.nInbreds += n;
    ped.nInbredsEvaluated += n;
  }
  if (options.work != nullptr) {
    *options.work = {static_cast<std::int64_t>(reduced.parents.size()) - 1,
                     static_cast<std::int64_t>(plan.families.size()), 0, 0, 0};
    for (const BlockSolver<W, T>& s : solvers) {
      options.work->blocks += s.Work().blocks;
      options.work->backwardRows += s.Work().backwardRows;
      options.work->forwardRows += s.Work().forwardRows;
    }
  }
  return true;
}

template <class T>
bool WalkInBlocks(Pedigree& ped, ReducedPedigree<T>& reduced, const Grouping& grouping,
                  const InbreedingOptions& options, Progress& progress) {
  FamilyPlan plan = ListFamilies(ped, reduced, grouping, options);
  PlanWaves(ped, reduced, plan);
  if (options.blockWidth >= 16) return WalkInBlocks<16>(ped, reduced, plan, options, progress);
  if (options.blockWidth >= 8) return WalkInBlocks<8>(ped, reduced, plan, options, progress);
  if (options.blockWidth >= 4) return WalkInBlocks<4>(ped, reduced, plan, options, progress);
  return WalkInBlocks<2>(ped, reduced, plan, options, progress);
}

// The one-column walk; false when cancelled.
template <class T>
bool WalkOneByOne(Pedigree& ped, ReducedPedigree<T>& reduced, const Grouping& grouping,
                  const InbreedingOptions& options, Progress& progress) {
  FamilyWalk<T> walk(ped, reduced, grouping, options);
  for (std::int32_t i = 0; i < ped.nTotal;) {
    i = walk.Step(i);
    if (progress.Step(i)) return false;
  }
  return true;
}

// With metafounders, an individual whose grouping parent is unknown reads
// no column, yet its parents may share metafounders: F = q_s' Gamma q_d / 2.
template <class T>
void AssignWithoutColumn(Pedigree& ped, const ReducedPedigree<T>& reduced, const Grouping& grouping) {
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    Rec& r = ped.byCode(i);
    if (r.fPredefined || grouping.Parent(r) != kUnknownParent) continue;
    const T f = reduced.HalfRelationship(ped, r, T(0));
    SetF(ped, r, f);
    if (f > T(0)) {
      ++ped.nInbreds;
      ++ped.nInbredsEvaluated;
    }
  }
}

// Steps 1-8 of a run: counters, ancestors, grouping, reduced pedigree.
template <class T>
Grouping PrepareReducedPedigree(Pedigree& ped, ReducedPedigree<T>& reduced,
                                const InbreedingOptions& options) {
  ped.unknownParent().mark = 1;
  for (std::size_t i = 1; i < ped.recs.size(); ++i) ped.recs[i].mark = 0;
  ZeroCounters(ped);
  reduced.map.assign(static_cast<std::size_t>(ped.nTotal) + 1, -1);
  reduced.map[0] = 0;
  const Collected collected = CollectAncestors(ped, reduced, !options.predefinedOnlyInProgenyD);
  if constexpr (std::is_same_v<T, double>) {
    // Predefined F, and the 0 of those with an unknown parent, are final now.
    ped.fDouble.assign(static_cast<std::size_t>(ped.nTotal) + 1, 0.0);
    for (std::size_t i = 0; i < ped.recs.size(); ++i) {
      const Rec& r = ped.recs[i];
      ped.fDouble[static_cast<std::size_t>(r.code)] = static_cast<double>(r.f);
    }
  }
  AllocateReducedPedigree(
      reduced, static_cast<std::size_t>(collected.viaSire + collected.viaDam + collected.own) + 1);
  const Grouping grouping{collected.viaDam > collected.viaSire};
  reduced.mf = BuildMetafounderModel<T>(ped);
  if (reduced.mf.Active()) AssignWithoutColumn(ped, reduced, grouping);
  GroupFamilies(ped, grouping);
  NumberReducedPedigree(ped, reduced, collected.maxGeneration);
  FindLastMates(ped, reduced, grouping, options);
  return grouping;
}

}  // namespace

bool ComputeInbreeding(Pedigree& ped, Progress& progress) {
  InbreedingOptions options;
  options.threads = ped.settings.threads;
  options.doublePrecision = ped.settings.precision == 1;
  return ComputeInbreeding(ped, progress, options);
}

namespace {

template <class T>
bool Compute(Pedigree& ped, Progress& progress, const InbreedingOptions& options) {
  progress.SetWindowText("Allocating memory");
  progress.ShowCancelButton(false);
  ReducedPedigree<T> reduced;
  const Grouping grouping = PrepareReducedPedigree(ped, reduced, options);

  // The window's caption said what the wait without a bar was for; the bar's
  // label says the rest.
  progress.SetWindowText("");
  progress.ShowCancelButton(true);
  progress.SetStage(0, 100, ped.nTotal - 1, "Computing inbreeding coefficients");
  const bool blocks = options.blockWidth > 1 && !options.fullPasses;
  if (!(blocks ? WalkInBlocks(ped, reduced, grouping, options, progress)
               : WalkOneByOne(ped, reduced, grouping, options, progress))) {
    ZeroCounters(ped);
    ped.inbreedingComputed = false;
    ped.unknownParent().mark = 0;
    return false;
  }
  StoreVariances(ped, reduced, options);
  ped.inbreedingComputed = true;
  ped.inbreedingPrecision = std::is_same_v<T, double> ? 1 : 0;
  ped.unknownParent().mark = 0;
  return true;
}

}  // namespace

bool ComputeInbreeding(Pedigree& ped, Progress& progress, const InbreedingOptions& options) {
  return options.doublePrecision ? Compute<double>(ped, progress, options)
                                 : Compute<float>(ped, progress, options);
}

std::optional<RecIndex> FirstSmallVariance(const Pedigree& ped) {
  if (!ped.inbreedingComputed || ped.InDouble()) return std::nullopt;
  // By the records, whatever order `records` is in at the time.
  std::optional<RecIndex> first;
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const std::int32_t code = ped.rec(i).code;
    const float d = ped.d[static_cast<std::size_t>(code)];
    if (d >= 0.0f && d < kSingleVarianceBound && (!first || code < ped.rec(*first).code))
      first = i;
  }
  return first;
}

std::string SmallVarianceWarning(const Pedigree& ped) {
  const std::optional<RecIndex> first = FirstSmallVariance(ped);
  if (!first) return {};
  return "Warning: D of " + std::string(ped.rec(*first).Id()) +
         " is below 2^-16 in single precision; use --precision double (Options).";
}

void DiscardPredefinedF(Pedigree& ped) {
  ped.inbreedingComputed = false;
  for (std::size_t i = 1; i < ped.recs.size(); ++i) {
    ped.recs[i].fPredefined = false;
    ped.recs[i].f = 0.0f;
  }
  ped.fColumn = -1;
}

}  // namespace kinvar
