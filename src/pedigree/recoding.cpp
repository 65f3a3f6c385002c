#include "pedigree/recoding.h"

#include <algorithm>

#include "pedigree/sort.h"

namespace kinvar {

namespace {

// The walk reaches parents in an order unrelated to their place in memory;
// asking for them a few records ahead overlaps the cache misses. Only a
// hint: it changes no value.
constexpr RecIndex kAhead = 16;

class Recoder {
 public:
  explicit Recoder(Pedigree& ped) : ped_(ped), next_(ped.nFounders + 1) {}

  bool Coded(RecIndex i) const { return ped_.rec(i).code > -1; }
  bool ParentsCoded(const Rec& r) const { return Coded(r.sire) && Coded(r.dam); }

  void Assign(Rec& r) {
    r.generation = 1 + std::max(ped_.rec(r.sire).generation, ped_.rec(r.dam).generation);
    const auto g = static_cast<std::size_t>(r.generation);
    if (g >= perGeneration_.size()) perGeneration_.resize(std::max(2 * perGeneration_.size(), g + 1), 0);
    ++perGeneration_[g];
    r.code = next_++;
  }

  // Codes the uncoded ancestors of `start` and then `start`, using `work` as
  // an explicit stack; false when they cannot all be coded (a cycle).
  bool CodeWithAncestors(RecIndex start) {
    auto& stack = ped_.work;
    std::size_t top = 0;
    stack[top++] = start;
    ped_.rec(start).code = -2;
    for (std::size_t read = 0; read < top; ++read) {
      const Rec& r = ped_.rec(stack[read]);
      for (const RecIndex parent : {r.sire, r.dam}) {
        if (ped_.rec(parent).code != -1) continue;
        ped_.rec(parent).code = -2;
        stack[top++] = parent;
      }
    }
    std::size_t waiting = top;
    for (;;) {
      bool codedAny = false;
      for (std::size_t t = top; t-- > 0 && waiting > 0;) {
        Rec& r = ped_.rec(stack[t]);
        if (r.code != -2 || !ParentsCoded(r)) continue;
        Assign(r);
        codedAny = true;
        --waiting;
      }
      if (waiting == 0) return true;
      if (!codedAny) return false;
    }
  }

  // generationCount[k] = individuals whose generation exceeds k.
  void FillGenerationTable() {
    std::size_t size = kInitialGenerationTableSize;
    for (std::size_t g = 0; g < perGeneration_.size(); ++g) {
      if (perGeneration_[g] != 0) size = std::max(size, g + 1);
    }
    ped_.generationCount.assign(size, 0);
    std::int32_t above = 0;
    for (std::size_t k = std::min(size, perGeneration_.size()); k-- > 0;) {
      ped_.generationCount[k] = above;
      above += perGeneration_[k];
    }
    // Founders (generation 0) were coded by validation, not by Assign.
    ped_.generationFill = ped_.generationCount;
  }

 private:
  Pedigree& ped_;
  std::int32_t next_;
  std::vector<std::int32_t> perGeneration_ = std::vector<std::int32_t>(kInitialGenerationTableSize, 0);
};

// Full sibs take the smallest code of their family, so that the final sort
// brings them together; a predefined F of one member spreads to the others.
bool MergeFullSibs(Pedigree& ped) {
  const auto& sibs = ped.fullSibs;
  for (std::size_t a = 0; a < sibs.size();) {
    const Rec& head = ped.rec(sibs[a]);
    std::size_t b = a + 1;
    while (b < sibs.size() && ped.rec(sibs[b]).sire == head.sire && ped.rec(sibs[b]).dam == head.dam) ++b;
    std::int32_t smallest = head.code;
    float f0 = -1.0f;
    for (std::size_t m = a; m < b; ++m) {
      const Rec& r = ped.rec(sibs[m]);
      smallest = std::min(smallest, r.code);
      if (ped.HasFColumn() && r.fPredefined) f0 = r.f;
    }
    for (std::size_t m = b; m-- > a;) {
      Rec& r = ped.rec(sibs[m]);
      r.code = smallest;
      if (!ped.HasFColumn() || f0 == -1.0f) continue;
      if (r.fPredefined) {
        if (r.f != f0) return false;
      } else {
        r.f = f0;
        r.fPredefined = true;
      }
    }
    a = b;
  }
  return true;
}

}  // namespace

int RecodePedigree(Pedigree& ped, Progress& progress, RecIndex* named) {
  progress.SetStage(90, 100, ped.nTotal - 1,
                    "Re-coding individuals in chronological and sequential order");
  Recoder recoder(ped);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const RecIndex index = i + 1;
    if (index + kAhead <= ped.nTotal) {
      const Rec& ahead = ped.rec(index + kAhead);
      __builtin_prefetch(&ped.rec(ahead.sire));
      __builtin_prefetch(&ped.rec(ahead.dam));
    }
    Rec& r = ped.rec(index);
    if (r.code > -1) {
      // coded already
    } else if (recoder.ParentsCoded(r)) {
      recoder.Assign(r);
    } else if (!recoder.CodeWithAncestors(index)) {
      *named = index;
      return kCycle;
    }
    if (progress.Step(i)) return kRecodingCancelled;
  }
  recoder.FillGenerationTable();
  progress.SetLabel("Finalizing");

  if (!MergeFullSibs(ped)) return kFullSibFDisagree;
  ped.fullSibs.clear();
  ped.fullSibs.shrink_to_fit();
  SortByCode(ped, ped.nTotal - 1, WorkerCount(ped.settings.threads));
  ped.orderState = 1;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) ped.byCode(i).code = i + 1;
  ped.familyOrder = ped.records;
  progress.Hide();
  return kRecoded;
}

}  // namespace kinvar
