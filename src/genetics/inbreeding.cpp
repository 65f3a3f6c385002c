#include "genetics/inbreeding.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "pedigree/sort.h"

namespace kinvar {

namespace {

// The ancestors of the evaluated individuals, numbered 1..M so that parents
// precede progeny; index 0 stands for the unknown parent.
struct ReducedPedigree {
  std::vector<std::int32_t> map;    // code -> reduced index, -1 when absent
  // Reduced indexes of the sire and the dam, 0 = unknown; side by side
  // because every pass reads both.
  struct Parents {
    std::int32_t sire = 0;
    std::int32_t dam = 0;
  };
  std::vector<Parents> parents;
  std::vector<float> x;             // the column being computed, x[0] = 0
  std::vector<float> d;             // within-family variances, filled lazily
  std::vector<std::int32_t> last;   // largest reduced index among the mates
  // Half the relationship of the parents of a predefined ancestor: what its
  // F would be if it were computed. Its D corrects the diagonal by the
  // difference to the predefined F.
  std::vector<float> fromParents;
  std::int32_t Of(const Rec& r) const { return map[static_cast<std::size_t>(r.code)]; }
};

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
Collected CollectAncestors(Pedigree& ped, ReducedPedigree& reduced, bool ownD) {
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
void NumberReducedPedigree(Pedigree& ped, ReducedPedigree& reduced, std::int32_t maxGeneration) {
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
      reduced.x[ki] = 0.0f;
      reduced.last[ki] = k;
      ++k;
    }
  }
  reduced.x[0] = 0.0f;
  reduced.last[0] = 0;
}

void AllocateReducedPedigree(ReducedPedigree& reduced, std::size_t size) {
  reduced.parents.assign(size, {});
  reduced.x.assign(size, 0.0f);
  reduced.d.assign(size, 0.0f);
  reduced.last.assign(size, 0);
  reduced.fromParents.assign(size, 0.0f);
}

struct Grouping {
  bool bySire;
  RecIndex Parent(const Rec& r) const { return bySire ? r.sire : r.dam; }
  RecIndex Mate(const Rec& r) const { return bySire ? r.dam : r.sire; }
};

// The records whose parents' relationship the walk over the families
// computes: every evaluated one, and every predefined ancestor with two
// known parents, whose D needs it to give the diagonal 1 + F.
bool NeedsRelationship(const Rec& r, const ReducedPedigree& reduced, const InbreedingOptions& o) {
  if (!r.fPredefined) return true;
  return !o.predefinedOnlyInProgenyD && reduced.Of(r) > 0 && r.sire != kUnknownParent &&
         r.dam != kUnknownParent;
}

// The forward pass of a grouping parent goes at least up to its largest
// mate's reduced index.
void FindLastMates(Pedigree& ped, ReducedPedigree& reduced, const Grouping& grouping,
                   const InbreedingOptions& options) {
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (!NeedsRelationship(r, reduced, options)) continue;
    std::int32_t& last = reduced.last[static_cast<std::size_t>(reduced.Of(ped.rec(grouping.Parent(r))))];
    last = std::max(last, reduced.Of(ped.rec(grouping.Mate(r))));
  }
}

// A set of reduced indexes, one bit each, with one summary bit per word of
// 64, so that walking it in either direction skips empty stretches fast.
class IndexSet {
 public:
  explicit IndexSet(std::size_t size)
      : words_(size / 64 + 1, 0), summary_(words_.size() / 64 + 1, 0) {}

  void Insert(std::int32_t k) {
    const auto w = static_cast<std::size_t>(k) / 64;
    words_[w] |= Bit(static_cast<std::size_t>(k));
    summary_[w / 64] |= Bit(w);
  }

  // Calls visit(k) for every member from the largest, which must be at most
  // `from`, down to the smallest, emptying the set. visit may insert
  // members below k; they are visited in turn.
  template <class Visit>
  void DrainDownwards(std::int32_t from, Visit visit) {
    std::size_t w = static_cast<std::size_t>(from) / 64;
    for (;;) {
      for (std::uint64_t bits = words_[w]; bits != 0;) {
        const int b = 63 - std::countl_zero(bits);
        visit(Index(w, b));
        bits = words_[w] & (Bit(static_cast<std::size_t>(b)) - 1);
      }
      words_[w] = 0;
      summary_[w / 64] &= ~Bit(w);
      if (w == 0) return;
      w = PreviousWord(w - 1);
      if (w == kNone) return;
    }
  }

  // Calls visit(k) for every member in ascending order, emptying the set.
  template <class Visit>
  void Drain(Visit visit) {
    for (std::size_t s = 0; s < summary_.size(); ++s) {
      for (std::uint64_t used = summary_[s]; used != 0; used &= used - 1) {
        const std::size_t w = s * 64 + static_cast<std::size_t>(std::countr_zero(used));
        for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1) {
          visit(Index(w, std::countr_zero(bits)));
        }
        words_[w] = 0;
      }
      summary_[s] = 0;
    }
  }

  // Erases every member <= k.
  void EraseUpTo(std::int32_t k) {
    const auto w = static_cast<std::size_t>(k) / 64;
    std::fill(words_.begin(), words_.begin() + static_cast<std::ptrdiff_t>(w), 0);
    words_[w] &= ~UpTo(static_cast<std::size_t>(k) % 64);
    std::fill(summary_.begin(), summary_.begin() + static_cast<std::ptrdiff_t>(w / 64), 0);
    summary_[w / 64] &= ~UpTo(w % 64);
    if (words_[w] != 0) summary_[w / 64] |= Bit(w);
  }

  // The largest member <= k, or -1.
  std::int32_t AtMost(std::int32_t k) const {
    if (k < 0) return -1;
    std::size_t w = static_cast<std::size_t>(k) / 64;
    const std::uint64_t below = words_[w] & UpTo(static_cast<std::size_t>(k) % 64);
    if (below != 0) return Index(w, 63 - std::countl_zero(below));
    if (w == 0) return -1;
    w = PreviousWord(w - 1);
    return w == kNone ? -1 : Index(w, 63 - std::countl_zero(words_[w]));
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static std::uint64_t Bit(std::size_t i) { return std::uint64_t{1} << (i % 64); }
  // Bits 0..b.
  static std::uint64_t UpTo(std::size_t b) { return b == 63 ? ~std::uint64_t{0} : (Bit(b) << 1) - 1; }
  static std::int32_t Index(std::size_t w, int bit) { return static_cast<std::int32_t>(w * 64) + bit; }

  // The last non-empty word at or before w.
  std::size_t PreviousWord(std::size_t w) const {
    std::size_t s = w / 64;
    std::uint64_t bits = summary_[s] & UpTo(w % 64);
    while (bits == 0) {
      if (s == 0) return kNone;
      bits = summary_[--s];
    }
    return s * 64 + static_cast<std::size_t>(63 - std::countl_zero(bits));
  }

  std::vector<std::uint64_t> words_;
  std::vector<std::uint64_t> summary_;
};

// One column of A at a time. The restricted passes visit only the entries
// whose value can change or is read: the ancestors of the grouping parent
// going back, the ancestors of the mates going forward. They perform the
// same operations on those entries in the same order as the full passes, so
// every value read off the column is the same bit for bit.
class ColumnSolver {
 public:
  ColumnSolver(Pedigree& ped, ReducedPedigree& reduced, const InbreedingOptions& options)
      : ped_(ped), r_(reduced), options_(options), pending_(reduced.x.size()) {}

  // Leaves a(k, p) in x[k] for every mate k, p being the grouping parent
  // with code c and reduced index s.
  void Solve(std::int32_t c, std::int32_t s, const std::vector<std::int32_t>& mates) {
    FillD(c);
    r_.x[static_cast<std::size_t>(s)] = 1.0f;
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
    std::fill(r_.x.begin() + 1, r_.x.begin() + static_cast<std::ptrdiff_t>(denseEnd_) + 1, 0.0f);
    for (const std::int32_t k : touched_) r_.x[static_cast<std::size_t>(k)] = 0.0f;
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
      const auto ki = static_cast<std::size_t>(k);
      const float sum = ped_.rec(j.sire).f + ped_.rec(j.dam).f;
      r_.d[ki] = 0.5f - 0.25f * sum;
      if (j.fPredefined && !options_.predefinedOnlyInProgenyD) {
        r_.d[ki] = r_.d[ki] + (j.f - r_.fromParents[ki]);
      }
    }
  }

  // Adds x[k]/2 to the parents of k, then scales x[k] by D; a zero x[k] is
  // skipped, as it adds nothing.
  void BackwardStep(std::int32_t k) {
    auto& x = r_.x;
    const auto ki = static_cast<std::size_t>(k);
    if (x[ki] == 0.0f) return;
    const ReducedPedigree::Parents pk = r_.parents[ki];
    if (pk.sire != 0) x[static_cast<std::size_t>(pk.sire)] += 0.5f * x[ki];
    if (pk.dam != 0) x[static_cast<std::size_t>(pk.dam)] += 0.5f * x[ki];
    x[ki] = r_.d[ki] * x[ki];
  }

  void ForwardStep(std::int32_t k) {
    auto& x = r_.x;
    const auto ki = static_cast<std::size_t>(k);
    const ReducedPedigree::Parents pk = r_.parents[ki];
    x[ki] = x[ki] + 0.5f * x[static_cast<std::size_t>(pk.sire)];
    x[ki] = x[ki] + 0.5f * x[static_cast<std::size_t>(pk.dam)];
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
      const bool zero = r_.x[static_cast<std::size_t>(k)] == 0.0f;
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
    const ReducedPedigree::Parents pk = r_.parents[ki];
    if (pk.sire != 0) pending_.Insert(pk.sire);
    if (pk.dam != 0) pending_.Insert(pk.dam);
  }

  Pedigree& ped_;
  ReducedPedigree& r_;
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
void StoreVariances(Pedigree& ped, const ReducedPedigree& reduced, const InbreedingOptions& options) {
  ped.d.assign(static_cast<std::size_t>(ped.nTotal) + 1, 0.0f);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    const float sum = ped.rec(r.sire).f + ped.rec(r.dam).f;
    float d = 0.5f - 0.25f * sum;
    const std::int32_t k = reduced.Of(r);
    if (r.fPredefined && !options.predefinedOnlyInProgenyD) {
      const float fromParents = k > 0 ? reduced.fromParents[static_cast<std::size_t>(k)] : 0.0f;
      d = d + (r.f - fromParents);
    }
    ped.d[static_cast<std::size_t>(r.code)] = d;
  }
}

void ZeroCounters(Pedigree& ped) {
  ped.nInbreds = ped.nEvaluated = ped.nInbredsEvaluated = 0;
}

class FamilyWalk {
 public:
  FamilyWalk(Pedigree& ped, ReducedPedigree& reduced, const Grouping& grouping,
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
    const float f = 0.5f * r_.x[static_cast<std::size_t>(MateOf(r))];
    if (r.fPredefined) {
      r_.fromParents[static_cast<std::size_t>(r_.Of(r))] = f;
      return;
    }
    r.f = f;
    if (r.f > 0.0f) {
      ++ped_.nInbreds;
      ++ped_.nInbredsEvaluated;
    }
  }

  Pedigree& ped_;
  ReducedPedigree& r_;
  const Grouping& grouping_;
  const InbreedingOptions& options_;
  ColumnSolver solver_;
  std::vector<std::int32_t> mates_;
};

// Steps 1-8 of a run: counters, ancestors, grouping, reduced pedigree.
Grouping PrepareReducedPedigree(Pedigree& ped, ReducedPedigree& reduced,
                                const InbreedingOptions& options) {
  ped.unknownParent().mark = 1;
  for (std::size_t i = 1; i < ped.recs.size(); ++i) ped.recs[i].mark = 0;
  ZeroCounters(ped);
  reduced.map.assign(static_cast<std::size_t>(ped.nTotal) + 1, -1);
  reduced.map[0] = 0;
  const Collected collected = CollectAncestors(ped, reduced, !options.predefinedOnlyInProgenyD);
  AllocateReducedPedigree(
      reduced, static_cast<std::size_t>(collected.viaSire + collected.viaDam + collected.own) + 1);
  const Grouping grouping{collected.viaDam > collected.viaSire};
  if (grouping.bySire) {
    SortFamiliesBySire(ped, ped.nTotal - 1);
  } else {
    SortFamiliesByDam(ped, ped.nTotal - 1);
  }
  NumberReducedPedigree(ped, reduced, collected.maxGeneration);
  FindLastMates(ped, reduced, grouping, options);
  return grouping;
}

}  // namespace

bool ComputeInbreeding(Pedigree& ped, Progress& progress) {
  return ComputeInbreeding(ped, progress, InbreedingOptions{});
}

bool ComputeInbreeding(Pedigree& ped, Progress& progress, const InbreedingOptions& options) {
  progress.SetWindowText("Allocating memory");
  progress.ShowCancelButton(false);
  ReducedPedigree reduced;
  const Grouping grouping = PrepareReducedPedigree(ped, reduced, options);

  progress.ShowCancelButton(true);
  progress.SetStage(0, 100, ped.nTotal - 1, "Computing inbreeding coefficients");
  FamilyWalk walk(ped, reduced, grouping, options);
  for (std::int32_t i = 0; i < ped.nTotal;) {
    i = walk.Step(i);
    if (progress.Step(i)) {
      ZeroCounters(ped);
      ped.inbreedingComputed = false;
      ped.unknownParent().mark = 0;
      return false;
    }
  }
  StoreVariances(ped, reduced, options);
  ped.inbreedingComputed = true;
  ped.unknownParent().mark = 0;
  return true;
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
