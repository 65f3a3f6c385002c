#include "analyses/diversity.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <span>
#include <thread>
#include <utility>

#include "genetics/index_set.h"
#include "genetics/parallel.h"

namespace kinvar {

namespace {

bool IsFounder(const Rec& r) { return r.sire == kUnknownParent && r.dam == kUnknownParent; }

std::size_t Slot(std::int32_t code) { return static_cast<std::size_t>(code); }

std::vector<RecIndex> MembersInCodeOrder(const Pedigree& ped, const ReferencePopulation& ref) {
  std::vector<RecIndex> members;
  members.reserve(static_cast<std::size_t>(ref.members));
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (ref.byCode[Slot(code)] != 0) members.push_back(ped.records[Slot(code - 1)]);
  return members;
}

// Share of known individuals on one side, generation by generation: the
// parent itself, its two parents, their four, their eight.
// Every member of a herd book's groups is asked this, so the generations
// are held in place rather than on the heap.
double SideCompleteness(const Pedigree& ped, RecIndex parent) {
  if (parent == kUnknownParent) return 0.0;
  std::array<RecIndex, 8> known{parent};
  std::size_t count = 1;
  double sum = 0.0;
  double slots = 1.0;
  for (int generation = 1; generation <= 4; ++generation) {
    sum += static_cast<double>(count) / slots;
    if (generation == 4) break;
    std::array<RecIndex, 8> next{};
    std::size_t found = 0;
    for (std::size_t i = 0; i < count; ++i)
      for (const RecIndex p : {ped.rec(known[i]).sire, ped.rec(known[i]).dam})
        if (p != kUnknownParent) next[found++] = p;
    known = next;
    count = found;
    slots *= 2.0;
  }
  return sum / 4.0;
}

struct Moments {
  double sum = 0.0, sumOfSquares = 0.0;
  std::int32_t n = 0;
  void Add(double x) {
    sum += x;
    sumOfSquares += x * x;
    ++n;
  }
};

double Mean(double sum, std::int32_t n) { return n == 0 ? 0.0 : sum / static_cast<double>(n); }

}  // namespace

ReferencePopulation GroupReference(const Pedigree& ped, std::int32_t group) {
  ReferencePopulation ref{ped.groups[static_cast<std::size_t>(group)].group,
                          std::vector<std::uint8_t>(Slot(ped.nTotal) + 1, 0), 0};
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    if (ped.byCode(code - 1).group != group) continue;
    ref.byCode[Slot(code)] = 1;
    ++ref.members;
  }
  return ref;
}

ReferencePopulation WholeReference(const Pedigree& ped) {
  ReferencePopulation ref{kAllIndividuals, std::vector<std::uint8_t>(Slot(ped.nTotal) + 1, 1),
                          ped.nTotal};
  ref.byCode[0] = 0;
  return ref;
}

ReferencePopulation ReferenceOf(const Pedigree& ped, int groupNumber) {
  if (groupNumber == kAllIndividuals) return WholeReference(ped);
  std::int32_t index = 0;
  while (ped.groups[static_cast<std::size_t>(index)].group != groupNumber) ++index;
  return GroupReference(ped, index);
}

// The same single-precision steps as the structure census, so that the mean
// over every individual is its M.
GenerationDepths TraceGenerations(const Pedigree& ped) {
  GenerationDepths g{std::vector<float>(Slot(ped.nTotal) + 1, 0.0f),
                     std::vector<std::int32_t>(Slot(ped.nTotal) + 1, 0)};
  std::vector<float> plusOne(Slot(ped.nTotal) + 1, 0.0f);
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    const Rec& r = ped.byCode(code - 1);
    const auto sire = Slot(ped.rec(r.sire).code);
    const auto dam = Slot(ped.rec(r.dam).code);
    const float half = 1.0f + 0.5f * plusOne[sire];
    plusOne[Slot(code)] = half + 0.5f * plusOne[dam];
    g.equivalent[Slot(code)] = plusOne[Slot(code)] - 1.0f;
    if (r.sire != kUnknownParent && r.dam != kUnknownParent)
      g.fullyTraced[Slot(code)] = 1 + std::min(g.fullyTraced[sire], g.fullyTraced[dam]);
  }
  return g;
}

double CompletenessIndex(const Pedigree& ped, const Rec& r) {
  const double cs = SideCompleteness(ped, r.sire);
  const double cd = SideCompleteness(ped, r.dam);
  if (cs == 0.0 || cd == 0.0) return 0.0;
  return 2.0 * cs * cd / (cs + cd);
}

namespace {

// Ne over the members that forEach(visit) calls visit with, by code
// ascending.
template <class ForEach>
PopulationSize EstimateNeOver(const Pedigree& ped, const GenerationDepths& depths, ForEach forEach) {
  PopulationSize size;
  Moments dF;
  forEach([&](std::int32_t code) {
    const double t = depths.equivalent[Slot(code)];
    if (t <= 1.0) {
      ++size.leftOut;
      return;
    }
    const double f = ped.byCode(code - 1).f;
    dF.Add(1.0 - std::pow(1.0 - f, 1.0 / (t - 1.0)));
  });
  size.used = dF.n;
  const double mean = Mean(dF.sum, dF.n);
  if (dF.n == 0 || !(mean > 0.0)) {
    size.ne = size.standardError = std::nan("");
    size.neGap = size.standardErrorGap = dF.n == 0 ? NeGap::kNoneTraced : NeGap::kNoIncrease;
    return size;
  }
  size.ne = 1.0 / (2.0 * mean);
  if (dF.n < 2) {
    size.standardError = std::nan("");
    size.standardErrorGap = NeGap::kOneTraced;
    return size;
  }
  const double n = dF.n;
  const double variance = std::max(0.0, (dF.sumOfSquares - n * mean * mean) / (n - 1.0));
  size.standardError = 2.0 * size.ne * size.ne * std::sqrt(variance) / std::sqrt(n);
  return size;
}

}  // namespace

PopulationSize EstimateNe(const Pedigree& ped, const ReferencePopulation& ref,
                          const GenerationDepths& depths) {
  return EstimateNeOver(ped, depths, [&](auto visit) {
    for (std::int32_t code = 1; code <= ped.nTotal; ++code)
      if (ref.byCode[Slot(code)] != 0) visit(code);
  });
}

const char* NeGapText(NeGap gap) {
  switch (gap) {
    case NeGap::kNoneTraced:
      return "not estimable: no individual traced over 1 generation";
    case NeGap::kNoIncrease:
      return "not estimable: no increase in inbreeding";
    case NeGap::kOneTraced:
      return "not estimable: 1 individual traced over 1 generation";
    case NeGap::kNone:
      break;
  }
  return "";
}

// Gene origin's pass, step for step, with the members given by code.
FounderSummary SummarizeFounders(const Pedigree& ped, const ReferencePopulation& ref) {
  std::vector<float> w(Slot(ped.nTotal) + 1, 0.0f);
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (ref.byCode[Slot(code)] != 0) w[Slot(code)] = 1.0f;
  double sumOfSquares = 0.0;
  FounderSummary s;
  for (std::int32_t code = ped.nTotal; code >= 1; --code) {
    float& x = w[Slot(code)];
    if (x == 0.0f) continue;
    const Rec& r = ped.byCode(code - 1);
    for (const RecIndex parent : {r.sire, r.dam}) {
      if (parent == kUnknownParent) continue;
      float& p = w[Slot(ped.rec(parent).code)];
      p = p + x / 2.0f;
    }
    x = x / static_cast<float>(ref.members);
    if (!IsFounder(r)) continue;
    sumOfSquares += static_cast<double>(x) * static_cast<double>(x);
    if (x > 0.0f) ++s.contributing;
  }
  s.fe = 1.0 / sumOfSquares;
  return s;
}

// The engine's coancestry mode: c = t^2 / 2 per individual, d c / m^2 summed
// by ascending code.
double MeanCoancestry(const Pedigree& ped, const AncestorSubset& subset,
                      const ReferencePopulation& ref) {
  const KernelPedigree& kp = subset.kernel;
  const std::int32_t n = kp.size();
  std::vector<double> c(Slot(n) + 1, 0.0);
  std::vector<std::pair<std::int32_t, std::int32_t>> byCode;  // code, local
  byCode.reserve(Slot(n));
  for (std::int32_t k = 1; k <= n; ++k) {
    const std::int32_t code = ped.rec(subset.recOf[Slot(k)]).code;
    if (ref.byCode[Slot(code)] != 0) c[Slot(k)] = 1.0;
    byCode.emplace_back(code, k);
  }
  for (std::int32_t k = n; k >= 1; --k) {
    const KernelPedigree::Parents& p = kp.parents[Slot(k)];
    const double half = c[Slot(k)] / 2;
    if (p.sire != 0) c[Slot(p.sire)] += half;
    if (p.dam != 0) c[Slot(p.dam)] += half;
    c[Slot(k)] = c[Slot(k)] * c[Slot(k)] / 2;
  }
  std::sort(byCode.begin(), byCode.end());
  double scale = ref.members == 0 ? 0.0 : 1.0 / static_cast<double>(ref.members);
  scale = scale * scale;
  double total = 0.0;
  for (const auto& [code, k] : byCode) {
    const double d = kp.d[Slot(k)];
    total += d * c[Slot(k)] * scale;
  }
  return total;
}

namespace {

DiversitySummary EmptySummary(const ReferencePopulation& ref) {
  DiversitySummary s;
  s.groupNumber = ref.groupNumber;
  s.members = ref.members;
  return s;
}

// Every figure of the summary that needs no ancestor subset: all but the
// mean coancestry, fg and fa.
// `completeness`, when given, holds every individual's index by code.
void SummaryFigures(const Pedigree& ped, const ReferencePopulation& ref,
                    const GenerationDepths& depths, DiversitySummary& s,
                    const std::vector<double>* completenessByCode = nullptr) {
  double equivalent = 0.0, traced = 0.0, maximum = 0.0, completeness = 0.0, f = 0.0;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    if (ref.byCode[Slot(code)] == 0) continue;
    const Rec& r = ped.byCode(code - 1);
    equivalent += static_cast<double>(depths.equivalent[Slot(code)]);
    traced += depths.fullyTraced[Slot(code)];
    maximum += r.generation;
    completeness += completenessByCode != nullptr ? (*completenessByCode)[Slot(code)]
                                                  : CompletenessIndex(ped, r);
    f += static_cast<double>(r.f);
  }
  s.meanEquivalent = Mean(equivalent, ref.members);
  s.meanFullyTraced = Mean(traced, ref.members);
  s.meanMaximum = Mean(maximum, ref.members);
  s.completeness = Mean(completeness, ref.members);
  s.meanF = Mean(f, ref.members);
  s.founders = SummarizeFounders(ped, ref);
  s.ne = EstimateNe(ped, ref, depths);
  s.intervals = ComputeGenerationIntervals(ped, &ref.byCode);
}

// Every individual's completeness index by code, the codes shared out in
// blocks over the workers; each index is the same whoever computes it.
std::vector<double> CompletenessByCode(const Pedigree& ped) {
  std::vector<double> byCode(Slot(ped.nTotal) + 1, 0.0);
  constexpr std::int32_t kCodesPerBlock = 16384;
  const std::int32_t blocks = ped.nTotal / kCodesPerBlock + 1;
  RunBlocks(WorkerCountFor(ped.settings.threads, blocks, 4), blocks,
            [&](std::int32_t block, int) {
              const std::int32_t first = block * kCodesPerBlock + 1;
              const std::int32_t last = std::min(ped.nTotal, first + kCodesPerBlock - 1);
              for (std::int32_t code = first; code <= last; ++code)
                byCode[Slot(code)] = CompletenessIndex(ped, ped.byCode(code - 1));
            },
            [] { return false; });
  return byCode;
}

// The reference's ancestor subset, which fa is searched for in; with it the
// mean coancestry and fg. Marks the records while it builds the subset.
AncestorSubset SubsetAndCoancestry(Pedigree& ped, const ReferencePopulation& ref,
                                   DiversitySummary& s) {
  const std::vector<RecIndex> members = MembersInCodeOrder(ped, ref);
  AncestorSubset subset = BuildAncestorSubset(ped, members);
  s.meanCoancestry = MeanCoancestry(ped, subset, ref);
  s.fg = 1.0 / static_cast<double>(static_cast<float>(2.0 * s.meanCoancestry));
  return subset;
}

}  // namespace

bool ComputeDiversity(Pedigree& ped, const ReferencePopulation& ref, const GenerationDepths& depths,
                      Progress& progress, DiversitySummary& s) {
  s = EmptySummary(ref);
  SummaryFigures(ped, ref, depths, s);
  const AncestorSubset subset = SubsetAndCoancestry(ped, ref, s);
  return FindEffectiveAncestors(ped, subset, ref, &progress, s.ancestors);
}

namespace {

double RateOfInbreeding(const std::vector<GroupTrend>& before, double meanF) {
  if (before.empty() || !(before.back().meanF < 1.0)) return std::nan("");
  const double previous = before.back().meanF;
  return (meanF - previous) / (1.0 - previous);
}

// What the table's rows share: the members of every group, and work
// vectors that each group leaves as it found them, so that a group costs its
// members and their ancestors rather than a pass over the pedigree.
struct TrendWork {
  std::vector<std::int32_t> start;  // group g's codes: codes[start[g]..start[g+1])
  std::vector<std::int32_t> codes;  // ascending within a group
  ReferencePopulation ref;          // byCode set for one group at a time
  std::vector<float> w;             // all 0 between groups
  IndexSet pending;
  // The group's members and ancestors by descending code, as the founders'
  // pass drains them; and their local numbers by code, all 0 between groups.
  std::vector<std::int32_t> lines;
  std::vector<std::int32_t> localOf;

  explicit TrendWork(const Pedigree& ped)
      : start(ped.groups.size() + 1, 0),
        ref{kAllIndividuals, std::vector<std::uint8_t>(Slot(ped.nTotal) + 1, 0), 0},
        w(Slot(ped.nTotal) + 1, 0.0f), pending(Slot(ped.nTotal) + 1),
        localOf(Slot(ped.nTotal) + 1, 0) {
    for (std::int32_t code = 1; code <= ped.nTotal; ++code)
      if (const std::int32_t g = ped.byCode(code - 1).group; g >= 0) ++start[Slot(g) + 1];
    for (std::size_t g = 1; g < start.size(); ++g) start[g] += start[g - 1];
    codes.resize(Slot(start.back()));
    std::vector<std::int32_t> fill(start.begin(), start.end() - 1);
    for (std::int32_t code = 1; code <= ped.nTotal; ++code)
      if (const std::int32_t g = ped.byCode(code - 1).group; g >= 0) codes[Slot(fill[Slot(g)]++)] = code;
  }
  std::span<const std::int32_t> Members(std::int32_t g) const {
    return {codes.data() + start[Slot(g)], Slot(start[Slot(g) + 1] - start[Slot(g)])};
  }
  void Select(const Pedigree& ped, std::int32_t g) {
    ref.groupNumber = ped.groups[Slot(g)].group;
    ref.members = static_cast<std::int32_t>(Members(g).size());
    for (const std::int32_t code : Members(g)) ref.byCode[Slot(code)] = 1;
  }
  void Release(std::int32_t g) {
    for (const std::int32_t code : Members(g)) ref.byCode[Slot(code)] = 0;
  }
};

// SummarizeFounders over the members and their ancestors only: the same
// steps on the same non-zero weights in the same descending order. Lists
// the members and their ancestors in work.lines on the way.
FounderSummary SummarizeFoundersOfLines(const Pedigree& ped, std::span<const std::int32_t> members,
                                        TrendWork& work) {
  for (const std::int32_t code : members) {
    work.w[Slot(code)] = 1.0f;
    work.pending.Insert(code);
  }
  work.lines.clear();
  double sumOfSquares = 0.0;
  FounderSummary s;
  if (!members.empty()) {
    work.pending.DrainDownwards(members.back(), [&](std::int32_t code) {
      work.lines.push_back(code);
      float& x = work.w[Slot(code)];
      const Rec& r = ped.byCode(code - 1);
      // A weight halved to 0 adds nothing, but its ancestors are still
      // listed.
      for (const RecIndex parent : {r.sire, r.dam}) {
        if (parent == kUnknownParent) continue;
        const std::int32_t at = ped.rec(parent).code;
        if (x != 0.0f) work.w[Slot(at)] = work.w[Slot(at)] + x / 2.0f;
        work.pending.Insert(at);
      }
      if (x == 0.0f) return;
      x = x / static_cast<float>(members.size());
      if (IsFounder(r)) {
        sumOfSquares += static_cast<double>(x) * static_cast<double>(x);
        if (x > 0.0f) ++s.contributing;
      }
      x = 0.0f;
    });
  }
  s.fe = 1.0 / sumOfSquares;
  return s;
}

// BuildAncestorSubset of the group from the lines the founders' pass
// listed, without a walk of its own, the records' marks or a sort: by
// generation, then ascending code. The code map is left empty (the search
// does not read it).
AncestorSubset SubsetOfLines(const Pedigree& ped, TrendWork& work) {
  std::vector<std::int32_t> first;  // by generation, then its first local number
  for (const std::int32_t code : work.lines) {
    const auto g = Slot(ped.byCode(code - 1).generation);
    if (g + 2 > first.size()) first.resize(g + 2, 0);
    ++first[g + 1];
  }
  for (std::size_t g = 1; g < first.size(); ++g) first[g] += first[g - 1];
  const std::size_t size = work.lines.size() + 1;
  AncestorSubset subset;
  subset.recOf.assign(size, kUnknownParent);
  subset.kernel.parents.assign(size, {});
  subset.kernel.d.assign(size, 0.0f);
  subset.kernel.w.assign(size, 0.0f);
  for (auto it = work.lines.rbegin(); it != work.lines.rend(); ++it) {
    const auto g = Slot(ped.byCode(*it - 1).generation);
    work.localOf[Slot(*it)] = ++first[g];
  }
  for (const std::int32_t code : work.lines) {
    const auto l = Slot(work.localOf[Slot(code)]);
    const Rec& r = ped.byCode(code - 1);
    subset.recOf[l] = ped.records[Slot(code - 1)];
    // Parents are of older generations: numbered already.
    subset.kernel.parents[l] = {work.localOf[Slot(ped.rec(r.sire).code)],
                                work.localOf[Slot(ped.rec(r.dam).code)]};
    subset.kernel.d[l] = ped.d[Slot(code)];
  }
  for (const std::int32_t code : work.lines) work.localOf[Slot(code)] = 0;
  return subset;
}

// The group's fa, when `search` is given; false when the user cancels it.
bool FaOfGroup(const Pedigree& ped, TrendWork& work, Progress* search, GroupTrend& row) {
  if (search == nullptr) {
    row.fa = row.faLower = std::nan("");
    row.faSearched = false;
    return true;
  }
  EffectiveAncestors ancestors;
  const AncestorSubset subset = SubsetOfLines(ped, work);
  const bool done = FindEffectiveAncestors(ped, subset, work.ref, search, ancestors);
  row.fa = ancestors.fa;
  row.faLower = ancestors.faLower;
  return done;
}

// False when the user cancels the group's fa search; the work vectors are
// left clean either way.
bool TrendOfGroup(Pedigree& ped, const GenerationDepths& depths,
                  const std::vector<double>* completenessByCode, std::int32_t group,
                  TrendWork& work, Progress* search, GroupTrend& row) {
  const std::span<const std::int32_t> members = work.Members(group);
  work.Select(ped, group);
  row = GroupTrend{work.ref.groupNumber, work.ref.members};
  double f = 0.0, equivalent = 0.0, completeness = 0.0;
  for (const std::int32_t code : members) {
    f += static_cast<double>(ped.byCode(code - 1).f);
    equivalent += static_cast<double>(depths.equivalent[Slot(code)]);
    completeness += completenessByCode != nullptr ? (*completenessByCode)[Slot(code)]
                                                  : CompletenessIndex(ped, ped.byCode(code - 1));
  }
  row.meanF = Mean(f, row.members);
  row.meanEquivalent = Mean(equivalent, row.members);
  row.completeness = Mean(completeness, row.members);
  row.fe = SummarizeFoundersOfLines(ped, members, work).fe;
  row.ne = EstimateNeOver(ped, depths, [&](auto visit) {
             for (const std::int32_t code : members) visit(code);
           }).ne;
  const bool done = FaOfGroup(ped, work, search, row);
  work.Release(group);
  return done;
}

}  // namespace

namespace {

// A helper worker's progress: never shown, and cancelled once the calling
// thread has seen the user cancel.
class FollowingWindow final : public ProgressWindow {
 public:
  explicit FollowingWindow(const std::atomic<bool>& cancelled) : cancelled_(cancelled) {}
  void SetLabel(const std::string&) override {}
  void SetPosition(int) override {}
  bool PollCancel() override { return cancelled_.load(std::memory_order_relaxed); }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}

 private:
  const std::atomic<bool>& cancelled_;
};

// The reference's search for fa, run beside the groups' searches, and its
// other figures, each a block of their own ahead of the groups. When the
// reference is one of the groups, that group's row takes its fa from it
// rather than searching the same ancestors again.
struct BesideSearch {
  // Empty: nothing beside. The search builds its ancestor subset with the
  // records' marks, which nothing else beside it uses: the groups' rows
  // list their ancestors without them.
  std::function<bool(Progress&)> run;
  std::function<void()> figures;
  int group = kAllIndividuals;         // the reference's group number
  const EffectiveAncestors* found = nullptr;  // what it finds; null unless a group
  // Every individual's completeness index by code, computed once for the
  // reference and the rows when the reference is every individual; null
  // otherwise.
  const std::vector<double>* completeness = nullptr;
  explicit operator bool() const { return static_cast<bool>(run); }
  std::int32_t Blocks() const { return run ? 2 : 0; }
  bool Gives(int groupNumber) const { return found != nullptr && groupNumber == group; }
};

// The groups whose fa is searched for, each a block of RunBlocks: the
// searches are independent, so they share the cores, each worker with work
// vectors of its own. The calling thread shows its own groups' progress and
// passes a cancel on to the others.
// `beside`, when given, runs as the first two blocks: the reference's
// search (the longest block, so taken first) and its other figures.
bool SearchedTrends(Pedigree& ped, const GenerationDepths& depths, Progress& progress,
                    std::int64_t searched, const std::function<int(std::int64_t)>& percent,
                    const BesideSearch& beside, std::vector<GroupTrend>& found) {
  const std::int32_t first = beside.Blocks();
  const std::int64_t blocks = searched + first;
  const int threads = WorkerCountFor(ped.settings.threads, blocks, 1);
  std::vector<TrendWork> work(static_cast<std::size_t>(threads), TrendWork(ped));
  std::atomic<bool> cancelled{false};
  FollowingWindow following(cancelled);
  std::vector<Progress> helpers(static_cast<std::size_t>(threads), Progress(following));
  const auto run = [&](std::int32_t block, int worker) {
    Progress& own = worker == 0 ? progress : helpers[static_cast<std::size_t>(worker)];
    if (block == 0 && first != 0) {
      own.SetStage(percent(0), percent(first), kMaxAncestorRounds, "Effective number of ancestors");
      if (!beside.run(own)) cancelled = true;
      return;
    }
    if (block < first) {
      beside.figures();
      return;
    }
    own.SetStage(percent(block), percent(block + 1), kMaxAncestorRounds, "Trends by group");
    const std::int32_t at = block - first;
    GroupTrend& row = found[static_cast<std::size_t>(at)];
    const std::int32_t group = ped.groupOrder[static_cast<std::size_t>(at)];
    const bool reference = beside.Gives(ped.groups[Slot(group)].group);
    if (!TrendOfGroup(ped, depths, beside.completeness, group, work[static_cast<std::size_t>(worker)],
                      reference ? nullptr : &own, row))
      cancelled = true;
  };
  std::atomic<std::int32_t> next{0}, done{0};
  const auto take = [&](int worker) {
    for (std::int32_t b; !cancelled.load() && (b = next++) < blocks; ++done) run(b, worker);
  };
  std::vector<std::jthread> pool;
  for (int worker = 1; worker < threads; ++worker) pool.emplace_back(take, worker);
  take(0);
  // The other workers' last searches may take seconds (the reference's over
  // a whole herd book): meanwhile the bar follows the searches done and a
  // cancel is passed on. The window is asked at least once even when the
  // workers took every block before this thread took one, so a cancel given
  // during the run is never lost on a busy machine.
  for (;;) {
    const int at = percent(done.load());
    progress.SetStage(at, std::max(at + 1, percent(blocks)), 1, "Trends by group");
    if (progress.Step(0)) cancelled = true;
    if (cancelled || done.load() >= blocks) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  pool.clear();  // joins
  if (cancelled) return false;
  for (std::int64_t at = 0; at < searched; ++at) {
    GroupTrend& row = found[static_cast<std::size_t>(at)];
    if (!beside.Gives(row.group)) continue;
    row.fa = beside.found->fa;
    row.faLower = beside.found->faLower;
    row.faSearched = true;
  }
  return true;
}

}  // namespace

namespace {

bool TrendsBeside(Pedigree& ped, const GenerationDepths& depths, Progress& progress,
                  int firstPercent, int lastPercent, std::vector<GroupTrend>& rows,
                  std::int64_t faGroups, const BesideSearch& beside) {
  rows.clear();
  const auto groups = static_cast<std::int64_t>(ped.groupOrder.size());
  const std::int64_t searched = std::clamp<std::int64_t>(faGroups, 0, groups);
  const std::int64_t first = beside.Blocks();
  const std::function<int(std::int64_t)> percent = [&](std::int64_t i) {
    return firstPercent + static_cast<int>((lastPercent - firstPercent) * i / (groups + first));
  };
  std::vector<GroupTrend> found(static_cast<std::size_t>(groups));
  if (!SearchedTrends(ped, depths, progress, searched, percent, beside, found)) return false;
  // The rows without a search are quick: one stage for them all.
  TrendWork work(ped);
  if (searched < groups)
    progress.SetStage(percent(searched + first), lastPercent, groups - searched, "Trends by group");
  for (std::int64_t at = searched; at < groups; ++at) {
    if (progress.Step(at - searched)) return false;
    TrendOfGroup(ped, depths, beside.completeness, ped.groupOrder[static_cast<std::size_t>(at)], work,
                 nullptr,
                 found[static_cast<std::size_t>(at)]);
  }
  for (GroupTrend& row : found) {
    row.deltaF = RateOfInbreeding(rows, row.meanF);
    rows.push_back(row);
  }
  return true;
}

}  // namespace

bool ComputeGroupTrends(Pedigree& ped, const GenerationDepths& depths, Progress& progress,
                        int firstPercent, int lastPercent, std::vector<GroupTrend>& rows,
                        std::int64_t faGroups) {
  return TrendsBeside(ped, depths, progress, firstPercent, lastPercent, rows, faGroups, {});
}

bool ComputeDiversityAndTrends(Pedigree& ped, const ReferencePopulation& ref,
                               const GenerationDepths& depths, Progress& progress,
                               DiversitySummary& summary, std::vector<GroupTrend>& rows,
                               std::int64_t faGroups) {
  summary = EmptySummary(ref);
  const std::vector<double> completeness =
      ref.groupNumber == kAllIndividuals ? CompletenessByCode(ped) : std::vector<double>{};
  const std::vector<double>* shared = completeness.empty() ? nullptr : &completeness;
  AncestorSubset subset;
  const BesideSearch search{[&](Progress& own) {
                              subset = SubsetAndCoancestry(ped, ref, summary);
                              return FindEffectiveAncestors(ped, subset, ref, &own, summary.ancestors);
                            },
                            [&] { SummaryFigures(ped, ref, depths, summary, shared); },
                            ref.groupNumber,
                            ref.groupNumber == kAllIndividuals ? nullptr : &summary.ancestors,
                            shared};
  return TrendsBeside(ped, depths, progress, 0, 100, rows, faGroups, search);
}

}  // namespace kinvar
