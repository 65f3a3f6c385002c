#include "genetics/inbreeding.h"

#include <algorithm>
#include <vector>

#include "pedigree/sort.h"

namespace kinvar {

namespace {

// The ancestors of the evaluated individuals, numbered 1..M so that parents
// precede progeny; index 0 stands for the unknown parent.
struct ReducedPedigree {
  std::vector<std::int32_t> map;    // code -> reduced index, -1 when absent
  std::vector<std::int32_t> sire;   // reduced index of the sire, 0 = unknown
  std::vector<std::int32_t> dam;
  std::vector<float> x;             // the column being computed, x[0] = 0
  std::vector<float> d;             // within-family variances, filled lazily
  std::vector<std::int32_t> last;   // largest reduced index among the mates
  std::int32_t Of(const Rec& r) const { return map[static_cast<std::size_t>(r.code)]; }
};

struct Collected {
  std::int32_t viaSire = 0;
  std::int32_t viaDam = 0;
  std::int32_t maxGeneration = -1;
};

// Visits the records from the highest code down, putting every parent of an
// evaluated individual or of a collected ancestor into its generation bucket.
Collected CollectAncestors(Pedigree& ped, ReducedPedigree& reduced) {
  Collected c;
  for (std::int32_t i = ped.nTotal - 1; i >= 0; --i) {
    Rec& r = ped.byCode(i);
    if (!r.fPredefined) {
      ++ped.nEvaluated;
      if (r.sire == kUnknownParent || r.dam == kUnknownParent) r.f = 0.0f;
    } else if (r.f > 0.0f) {
      ++ped.nInbreds;
    }
    if (!r.fPredefined || r.mark == 1) {
      for (const RecIndex pi : {r.sire, r.dam}) {
        Rec& parent = ped.rec(pi);
        if (parent.mark != 0) continue;
        const auto g = static_cast<std::size_t>(parent.generation);
        ped.work[static_cast<std::size_t>(ped.generationFill[g]++)] = pi;
        parent.mark = 1;
        ++(pi == r.sire ? c.viaSire : c.viaDam);
        c.maxGeneration = std::max(c.maxGeneration, parent.generation);
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
      reduced.sire[ki] = reduced.Of(ped.rec(r.sire));
      reduced.dam[ki] = reduced.Of(ped.rec(r.dam));
      reduced.x[ki] = 0.0f;
      reduced.last[ki] = k;
      ++k;
    }
  }
  reduced.x[0] = 0.0f;
  reduced.last[0] = 0;
}

struct Grouping {
  bool bySire;
  RecIndex Parent(const Rec& r) const { return bySire ? r.sire : r.dam; }
  RecIndex Mate(const Rec& r) const { return bySire ? r.dam : r.sire; }
};

class ColumnSolver {
 public:
  ColumnSolver(Pedigree& ped, ReducedPedigree& reduced) : ped_(ped), r_(reduced) {}

  // Fills x[1..last[s]] with a(k, p) for the grouping parent p of code c.
  void Solve(std::int32_t c, std::int32_t s) {
    FillD(c);
    auto& x = r_.x;
    x[static_cast<std::size_t>(s)] = 1.0f;
    for (std::int32_t k = s; k >= 1; --k) {
      const auto ki = static_cast<std::size_t>(k);
      if (x[ki] == 0.0f) continue;
      if (r_.sire[ki] != 0) x[static_cast<std::size_t>(r_.sire[ki])] += 0.5f * x[ki];
      if (r_.dam[ki] != 0) x[static_cast<std::size_t>(r_.dam[ki])] += 0.5f * x[ki];
      x[ki] = r_.d[ki] * x[ki];
    }
    const std::int32_t end = r_.last[static_cast<std::size_t>(s)];
    for (std::int32_t k = 1; k <= end; ++k) {
      const auto ki = static_cast<std::size_t>(k);
      x[ki] = x[ki] + 0.5f * x[static_cast<std::size_t>(r_.sire[ki])];
      x[ki] = x[ki] + 0.5f * x[static_cast<std::size_t>(r_.dam[ki])];
    }
  }

  void Clear(std::int32_t s) {
    const auto end = static_cast<std::size_t>(r_.last[static_cast<std::size_t>(s)]);
    std::fill(r_.x.begin() + 1, r_.x.begin() + static_cast<std::ptrdiff_t>(end) + 1, 0.0f);
  }

 private:
  // D of every reduced ancestor with a code up to c; the parents' F are
  // final because their families have smaller grouping-parent codes.
  void FillD(std::int32_t c) {
    for (; dDone_ < c; ++dDone_) {
      const Rec& j = ped_.byCode(dDone_);
      const std::int32_t k = r_.Of(j);
      if (k == -1) continue;
      const float sum = ped_.rec(j.sire).f + ped_.rec(j.dam).f;
      r_.d[static_cast<std::size_t>(k)] = 0.5f - 0.25f * sum;
    }
  }

  Pedigree& ped_;
  ReducedPedigree& r_;
  std::int32_t dDone_ = 0;  // codes 1..dDone_ have their D
};

void ZeroCounters(Pedigree& ped) {
  ped.nInbreds = ped.nEvaluated = ped.nInbredsEvaluated = 0;
}

}  // namespace

bool ComputeInbreeding(Pedigree& ped, Progress& progress) {
  progress.SetWindowText("Allocating memory");
  progress.ShowCancelButton(false);
  ped.unknownParent().mark = 1;
  for (std::size_t i = 1; i < ped.recs.size(); ++i) ped.recs[i].mark = 0;
  ZeroCounters(ped);

  ReducedPedigree reduced;
  reduced.map.assign(static_cast<std::size_t>(ped.nTotal) + 1, -1);
  reduced.map[0] = 0;
  const Collected collected = CollectAncestors(ped, reduced);
  const auto size = static_cast<std::size_t>(collected.viaSire + collected.viaDam) + 1;
  reduced.sire.assign(size, 0);
  reduced.dam.assign(size, 0);
  reduced.x.assign(size, 0.0f);
  reduced.d.assign(size, 0.0f);
  reduced.last.assign(size, 0);

  const Grouping grouping{collected.viaDam > collected.viaSire};
  if (grouping.bySire) {
    SortFamiliesBySire(ped, ped.nTotal - 1);
  } else {
    SortFamiliesByDam(ped, ped.nTotal - 1);
  }
  NumberReducedPedigree(ped, reduced, collected.maxGeneration);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (r.fPredefined) continue;
    std::int32_t& last = reduced.last[static_cast<std::size_t>(reduced.Of(ped.rec(grouping.Parent(r))))];
    last = std::max(last, reduced.Of(ped.rec(grouping.Mate(r))));
  }

  progress.ShowCancelButton(true);
  progress.SetStage(0, 100, ped.nTotal - 1, "Computing inbreeding coefficients");
  ColumnSolver solver(ped, reduced);
  const auto at = [&](std::int32_t i) -> Rec& {
    return ped.rec(ped.familyOrder[static_cast<std::size_t>(i)]);
  };
  for (std::int32_t i = 0; i < ped.nTotal;) {
    const Rec& first = at(i);
    const RecIndex p = grouping.Parent(first);
    if (p == kUnknownParent || first.fPredefined) {
      ++i;
    } else {
      const std::int32_t s = reduced.Of(ped.rec(p));
      solver.Solve(ped.rec(p).code, s);
      for (; i < ped.nTotal && grouping.Parent(at(i)) == p; ++i) {
        Rec& r = at(i);
        if (r.fPredefined) continue;
        r.f = 0.5f * reduced.x[static_cast<std::size_t>(reduced.Of(ped.rec(grouping.Mate(r))))];
        if (r.f > 0.0f) {
          ++ped.nInbreds;
          ++ped.nInbredsEvaluated;
        }
      }
      solver.Clear(s);
    }
    if (progress.Step(i)) {
      ZeroCounters(ped);
      ped.inbreedingComputed = false;
      ped.unknownParent().mark = 0;
      return false;
    }
  }
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
