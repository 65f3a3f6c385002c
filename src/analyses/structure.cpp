#include "analyses/structure.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <span>
#include <string>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "genetics/index_set.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kLabel = "Collecting statistics about the pedigree";

// Flags by code: met as a parent; a founder met as a parent.
constexpr std::uint8_t kHasProgeny = 1;
constexpr std::uint8_t kFounderWithProgeny = 2;

struct Walk {
  const Pedigree& ped;
  StructureCensus& c;
  std::vector<std::uint8_t> flags;  // by code

  const Rec& At(std::int32_t code) const { return ped.byCode(code - 1); }
  std::int32_t CodeOf(RecIndex r) const { return ped.rec(r).code; }
  bool IsFounder(std::int32_t code) const { return code >= 1 && code <= ped.nFounders; }
  GroupCensus* Group(const Rec& r) {
    return r.group < 0 ? nullptr : &c.groups[static_cast<std::size_t>(r.group)];
  }
};

void CountF(Walk& w, const Rec& r) {
  if (!(r.f > 0.0f)) return;
  StructureCensus& c = w.c;
  c.sumF += static_cast<double>(r.f);
  if (r.f > c.maxF) c.maxF = r.f;
  if (r.f < c.minF) c.minF = r.f;
  if (GroupCensus* g = w.Group(r)) {
    g->sumF += static_cast<double>(r.f);
    if (r.f > g->maxF) g->maxF = r.f;
    if (r.f < g->minF) g->minF = r.f;
    ++g->inbreds;
  }
  const double k = std::ceil(static_cast<double>(r.f) / 0.05 - 1.0);
  ++c.fClasses[static_cast<std::size_t>(std::clamp(k, 0.0, 19.0))];
}

// Counts one parent link: the parent's progeny, and the parent itself the
// first time it is met.
void CountParent(Walk& w, std::int32_t parent, std::int32_t& parents, std::int32_t& progeny,
                 std::int32_t& founderParents, std::int32_t& founderProgeny) {
  if (parent == 0) return;
  std::uint8_t& flags = w.flags[static_cast<std::size_t>(parent)];
  ++progeny;
  if ((flags & kHasProgeny) == 0) {
    ++parents;
    flags |= kHasProgeny;
  }
  if (!w.IsFounder(parent)) return;
  ++founderProgeny;
  if ((flags & kFounderWithProgeny) == 0) {
    ++founderParents;
    flags |= kFounderWithProgeny;
  }
}

bool CollectCounts(Walk& w, Progress& progress) {
  StructureCensus& c = w.c;
  for (std::int32_t i = 1; i <= w.ped.nTotal; ++i) {
    const Rec& r = w.At(i);
    CountF(w, r);
    const std::int32_t s = w.CodeOf(r.sire), d = w.CodeOf(r.dam);
    if (GroupCensus* g = w.Group(r)) {
      if (s == 0 && d == 0) ++g->founders;
      if (s != 0 && d != 0) ++g->bothKnown;
    }
    CountParent(w, s, c.sires, c.sireProgeny, c.founderSires, c.founderSireProgeny);
    CountParent(w, d, c.dams, c.damProgeny, c.founderDams, c.founderDamProgeny);
    if (w.IsFounder(s) || w.IsFounder(d)) ++c.founderProgeny;
    if (s == 0 && d != 0) ++c.onlyKnownDam;
    if (s != 0 && d == 0) ++c.onlyKnownSire;
    if (progress.Step(i - 1)) return false;
  }
  c.bothKnown = w.ped.nNonFounders - c.onlyKnownDam - c.onlyKnownSire;
  return true;
}

// The longest-ancestral-path classes grow with the deepest line, however deep.
bool CollectPaths(Walk& w, Progress& progress) {
  for (std::int32_t i = 1; i <= w.ped.nTotal; ++i) {
    const Rec& r = w.At(i);
    const auto lap = static_cast<std::size_t>(std::max(r.generation, 0));
    if (lap >= w.c.lap.size()) w.c.lap.resize(lap + 1, 0);
    ++w.c.lap[lap];
    GroupCensus* g = w.Group(r);
    if (g != nullptr && (w.flags[static_cast<std::size_t>(i)] & kHasProgeny) == 0) ++g->noProgeny;
    if (progress.Step(i - 1)) return false;
  }
  return true;
}

// The sum of A over a set of individuals, sum of d_i times the squared
// accumulated weight, by one backward pass from `top`; `weights` is all zero
// on entry and on return. `start(i)` gives the weight i itself brings in.
template <class Start>
double SumOfRelationships(const Walk& w, std::int32_t top, std::vector<float>& weights, Start start) {
  double sum = 0.0;
  for (std::int32_t i = top; i >= 1; --i) {
    float& wi = weights[static_cast<std::size_t>(i)];
    wi = wi + start(i);
    if (wi == 0.0f) continue;
    const Rec& r = w.At(i);
    for (const RecIndex p : {r.sire, r.dam}) {
      if (p == kUnknownParent) continue;
      float& wp = weights[static_cast<std::size_t>(w.CodeOf(p))];
      wp = wp + wi / 2.0f;
    }
    const double d = w.ped.d[static_cast<std::size_t>(i)];
    sum += static_cast<double>(wi) * static_cast<double>(wi) * d;
    wi = 0.0f;
  }
  return sum;
}

double SelfRelationship(const Rec& r) { return 1.0 + static_cast<double>(r.f); }

// The codes of each group's members, ascending: members[start[g]..start[g+1]).
struct GroupMembers {
  std::vector<std::int32_t> start;
  std::vector<std::int32_t> codes;
  std::span<const std::int32_t> Of(std::size_t g) const {
    return {codes.data() + start[g], static_cast<std::size_t>(start[g + 1] - start[g])};
  }
};

GroupMembers ListGroupMembers(const Pedigree& ped) {
  GroupMembers m{std::vector<std::int32_t>(ped.groups.size() + 1, 0), {}};
  for (std::int32_t i = 1; i <= ped.nTotal; ++i) {
    const std::int32_t g = ped.byCode(i - 1).group;
    if (g >= 0) ++m.start[static_cast<std::size_t>(g) + 1];
  }
  for (std::size_t g = 1; g < m.start.size(); ++g) m.start[g] += m.start[g - 1];
  m.codes.resize(static_cast<std::size_t>(m.start.back()));
  std::vector<std::int32_t> fill(m.start.begin(), m.start.end() - 1);
  for (std::int32_t i = 1; i <= ped.nTotal; ++i) {
    const std::int32_t g = ped.byCode(i - 1).group;
    if (g >= 0) m.codes[static_cast<std::size_t>(fill[static_cast<std::size_t>(g)]++)] = i;
  }
  return m;
}

// SumOfRelationships over one group's members, visiting only them and their
// ancestors: the same steps on the entries whose weight is not 0, in the
// same descending order, so the same sums; a group costs its lines, not the
// pedigree. `pending` is empty on entry and on return.
double GroupSumOfRelationships(const Walk& w, std::span<const std::int32_t> members,
                               std::vector<float>& weights, IndexSet& pending, GroupCensus& g,
                               double& groupSelf) {
  if (members.empty()) return 0.0;
  for (const std::int32_t m : members) pending.Insert(m);
  double sum = 0.0;
  std::size_t next = members.size();  // the members not reached yet, from the last
  pending.DrainDownwards(members.back(), [&](std::int32_t i) {
    float& wi = weights[static_cast<std::size_t>(i)];
    if (next > 0 && members[next - 1] == i) {
      --next;
      wi = wi + 1.0f;
      groupSelf += SelfRelationship(w.At(i));
    }
    if (wi == 0.0f) return;
    const Rec& r = w.At(i);
    for (const RecIndex p : {r.sire, r.dam}) {
      if (p == kUnknownParent) continue;
      const std::int32_t code = w.CodeOf(p);
      float& wp = weights[static_cast<std::size_t>(code)];
      if (wp == 0.0f) ++g.uniqueAncestors;
      wp = wp + wi / 2.0f;
      pending.Insert(code);
    }
    const double d = w.ped.d[static_cast<std::size_t>(i)];
    sum += static_cast<double>(wi) * static_cast<double>(wi) * d;
    wi = 0.0f;
  });
  return sum;
}

bool AverageRelationships(Walk& w, Progress& progress) {
  const Pedigree& ped = w.ped;
  std::vector<float> weights(static_cast<std::size_t>(ped.nTotal) + 1, 0.0f);
  double self = 0.0;
  const double s = SumOfRelationships(w, ped.nTotal, weights, [&](std::int32_t i) {
    self += SelfRelationship(w.At(i));
    return 1.0f;
  });
  const std::int64_t n = ped.nTotal;
  if (n > 1) {
    w.c.k = s / static_cast<double>(n * n);
    w.c.l = (s - self) / static_cast<double>(n * (n - 1));
  }
  const GroupMembers members = ListGroupMembers(ped);
  IndexSet pending(static_cast<std::size_t>(ped.nTotal) + 1);
  for (std::size_t gi = 0; gi < ped.groups.size(); ++gi) {
    GroupCensus& g = w.c.groups[gi];
    double groupSelf = 0.0;
    const double sg = GroupSumOfRelationships(w, members.Of(gi), weights, pending, g, groupSelf);
    const std::int64_t m = ped.groups[gi].count;
    if (m > 1) {
      g.k = sg / static_cast<double>(m * m);
      g.l = (sg - groupSelf) / static_cast<double>(m * m - m);
    }
    if (progress.Step(static_cast<std::int64_t>(gi))) return false;
  }
  return true;
}

// e_i = g_i - 1 with g_i = 1 + g_sire/2 + g_dam/2: the sum over the known
// ancestors of 1/2 to the number of generations between them.
bool GenerationEquivalents(Walk& w, Progress& progress) {
  std::vector<float> g(static_cast<std::size_t>(w.ped.nTotal) + 1, 0.0f);
  for (std::int32_t i = 1; i <= w.ped.nTotal; ++i) {
    const Rec& r = w.At(i);
    const float half = 1.0f + 0.5f * g[static_cast<std::size_t>(w.CodeOf(r.sire))];
    const float gi = half + 0.5f * g[static_cast<std::size_t>(w.CodeOf(r.dam))];
    g[static_cast<std::size_t>(i)] = gi;
    const double e = static_cast<double>(gi - 1.0f);
    w.c.sumGenerations += e;
    if (e > w.c.maxGenerations) w.c.maxGenerations = e;
    if (GroupCensus* group = w.Group(r)) {
      group->sumGenerations += e;
      if (e > group->maxGenerations) group->maxGenerations = e;
      if (e < group->minGenerations) group->minGenerations = e;
    }
    if (progress.Step(i - 1)) return false;
  }
  return true;
}

}  // namespace

bool ComputeStructure(const Pedigree& ped, Progress& progress, StructureCensus& census) {
  census = StructureCensus{};
  census.groups.assign(ped.groups.size(), GroupCensus{});
  Walk w{ped, census, std::vector<std::uint8_t>(static_cast<std::size_t>(ped.nTotal) + 1, 0)};
  progress.SetStage(0, 35, ped.nTotal, kLabel);
  if (!CollectCounts(w, progress)) return false;
  progress.SetStage(35, 60, ped.nTotal, kLabel);
  if (!CollectPaths(w, progress)) return false;
  const bool groups = ped.nGroups > 0;
  if (groups) progress.SetStage(60, 80, ped.nGroups, kLabel);
  if (!AverageRelationships(w, progress)) return false;
  progress.SetStage(groups ? 80 : 60, 100, ped.nTotal, kLabel);
  if (!GenerationEquivalents(w, progress)) return false;
  if (ped.HasBirthColumn()) census.intervals = ComputeGenerationIntervals(ped);
  for (std::int32_t i = 1; i <= ped.nFounders; ++i) {
    if ((w.flags[static_cast<std::size_t>(i)] & kFounderWithProgeny) == 0)
      census.foundersWithoutProgeny.push_back(ped.records[static_cast<std::size_t>(i - 1)]);
  }
  return true;
}

namespace {

std::string Printf(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

class ReportWriter {
 public:
  explicit ReportWriter(Pedigree& ped) : ped_(ped) {}
  void operator()(const std::string& line) { WriteReportLine(ped_.report, line, &ped_.copyFile); }
  // A value in the number format.
  std::string N(double value) const {
    return FormatNumber(ped_.settings.numberFormat, static_cast<float>(value));
  }

 private:
  Pedigree& ped_;
};

const std::string kDashes83(83, '-');

void WriteCounts(const Pedigree& ped, const StructureCensus& c, ReportWriter& add) {
  add("Brief structure of the pedigree:");
  add("|T3Number");
  add(Printf("Individuals in total|T3|I%d", ped.nTotal));
  add(Printf("Inbreds in total|T3|X%d", ped.nInbreds));
  add(Printf("Evaluated individuals|T3|I%d", ped.nEvaluated));
  add(Printf("Inbreds in evaluated|T3|X%d", ped.nInbredsEvaluated));
  add("");
  add(Printf("Sires in total|T3|I%d", c.sires));
  add(Printf("   -Progeny|T3|I%d", c.sireProgeny));
  add(Printf("Dams in total|T3|I%d", c.dams));
  add(Printf("   -Progeny|T3|I%d", c.damProgeny));
  add(Printf("Individuals with progeny|T3|I%d", c.sires + c.dams));
  add(Printf("Individuals with no progeny|T3|I%d", ped.nTotal - c.dams - c.sires));
  add("");
  add(Printf("Founders|T3|I%d", ped.nFounders));
  add(Printf("   -Progeny|T3|I%d", c.founderProgeny));
  add(Printf("   -Sires|T3|I%d", c.founderSires));
  add(Printf("       -Progeny|T3|I%d", c.founderSireProgeny));
  add(Printf("   -Dams|T3|I%d", c.founderDams));
  add(Printf("       -Progeny|T3|I%d", c.founderDamProgeny));
  add(Printf("   -With no progeny|T3|I%d", ped.nFounders - c.founderDams - c.founderSires));
  add("");
  add(Printf("Non-founders|T3|I%d", ped.nNonFounders));
  add(Printf("   -Sires|T3|I%d", c.sires - c.founderSires));
  add(Printf("       -Progeny|T3|I%d", c.sireProgeny - c.founderSireProgeny));
  add(Printf("   -Dams|T3|I%d", c.dams - c.founderDams));
  add(Printf("       -Progeny|T3|I%d", c.damProgeny - c.founderDamProgeny));
  add(Printf("   -Only with known sire|T3|I%d", c.onlyKnownSire));
  add(Printf("   -Only with known dam|T3|I%d", c.onlyKnownDam));
  add(Printf("   -With known sire and dam|T3|I%d", c.bothKnown));
  add("");
  add(Printf("Full-sib groups|T3|I%d", ped.nFullSibGroups));
  const float familySize = ped.nFullSibGroups == 0
                               ? 0.0f
                               : static_cast<float>(ped.nFullSibMembers) /
                                     static_cast<float>(ped.nFullSibGroups);
  add("   -Average family size|T3|I" + add.N(familySize));
  add(Printf("       -Maximum|T3|I%d", ped.maxFullSibSize));
  add(Printf("       -Minimum|T3|I%d", ped.minFullSibSize));
}

void WriteDistributions(const Pedigree& ped, const StructureCensus& c, ReportWriter& add) {
  const std::string dashes59(59, '-');
  if (ped.nInbreds > 0) {
    add("");
    add("Distribution of inbreeding coefficients");
    add(dashes59);
    for (std::size_t k = 0; k < c.fClasses.size(); ++k) {
      add(Printf("               |X%3.2f |A< F <= |X%3.2f|T3|I%d", 0.05 * static_cast<double>(k),
                 0.05 * static_cast<double>(k + 1), c.fClasses[k]));
    }
    add(dashes59);
  }
  add("");
  add("Longest ancestral path (LAP):");
  for (std::size_t lap = 0; lap < c.lap.size() && c.lap[lap] != 0; ++lap)
    add(Printf("                     %d|T3|I%d", static_cast<int>(lap), c.lap[lap]));
}

// Each group row in ascending group number, when the file had a Group column.
template <class Row>
void ForEachGroup(const Pedigree& ped, Row row) {
  if (!ped.HasGroupColumn()) return;
  for (const std::int32_t gi : ped.groupOrder) row(ped.groups[static_cast<std::size_t>(gi)],
                                                    static_cast<std::size_t>(gi));
}

void WriteCountTable(const Pedigree& ped, const StructureCensus& c, ReportWriter& add) {
  const std::string tab = GroupColumnTab(ped);
  const std::string rule = GroupTableRule(ped, kDashes83.size());
  add("");
  for (const char* legend : {"A: Number of individuals", "B: Number of inbreds", "C: Number of founders",
                             "D: Number of individuals with both known parents",
                             "E: Number of individuals with no progeny"})
    add(legend);
  add("");
  add("Group" + tab + "A|T4B|T4C|T4D|T4E");
  add(rule);
  add(Printf(("Total" + tab + "|I%d|T4%d|T4%d|T4%d|T4%d").c_str(), ped.nTotal, ped.nInbreds, ped.nFounders,
             c.bothKnown, ped.nTotal - c.dams - c.sires));
  ForEachGroup(ped, [&](const Description& d, std::size_t gi) {
    const GroupCensus& g = c.groups[gi];
    add(Printf(("%d" + tab + "|I%d|T4%d|T4%d|T4%d|T4%d").c_str(), d.group, d.count, g.inbreds, g.founders,
               g.bothKnown, g.noProgeny));
  });
  add(rule);
}

// Average F of the inbreds, the largest and the smallest: all 0 without inbreds.
std::string InbredsColumns(const ReportWriter& add, double sumF, std::int32_t inbreds, float maxF,
                           float minF) {
  if (inbreds == 0) return "|T4" + add.N(0) + "|T4" + add.N(0) + "|T4" + add.N(0);
  const float mean = static_cast<float>(sumF) / static_cast<float>(inbreds);
  return "|T4" + add.N(mean) + "|T4" + add.N(maxF) + "|T4" + add.N(minF);
}

void WriteFTable(const Pedigree& ped, const StructureCensus& c, ReportWriter& add) {
  const std::string tab = GroupColumnTab(ped);
  const std::string rule = GroupTableRule(ped, kDashes83.size());
  add("");
  add("F: Number of unique ancestors for the group (excluding ancestors in the group)");
  add("G: Average inbreeding coefficients");
  add("H: Average inbreeding coefficients in the inbreds");
  add("I: Maximum of inbreeding coefficients");
  add("J: Minimum of inbreeding coefficients");
  add("");
  add("Group" + tab + "F|T4G|T4H|T4I|T4J");
  add(rule);
  const float meanF = static_cast<float>(c.sumF) / static_cast<float>(ped.nTotal);
  add("Total" + tab + "|I0|T4" + add.N(meanF) + InbredsColumns(add, c.sumF, ped.nInbreds, c.maxF, c.minF));
  ForEachGroup(ped, [&](const Description& d, std::size_t gi) {
    const GroupCensus& g = c.groups[gi];
    const float mean = static_cast<float>(g.sumF) / static_cast<float>(d.count);
    add(Printf(("%d" + tab + "|I%d|T4").c_str(), d.group, g.uniqueAncestors) + add.N(mean) +
        InbredsColumns(add, g.sumF, g.inbreds, g.maxF, g.minF));
  });
  add(rule);
}

void WriteRelationshipTable(const Pedigree& ped, const StructureCensus& c, ReportWriter& add) {
  const std::string tab = GroupColumnTab(ped);
  const std::string rule = GroupTableRule(ped, kDashes83.size());
  add("");
  add("K: Average numerator relationships (Reciprocals + Self-relationships)");
  add("L: Average numerator relationships (Self-relationships are excluded)");
  add("M: Average number of discrete generation equivalents (or average of average number of "
      "generations)");
  add("N: Maximum number of discrete generation equivalents");
  add("O: Minimum number of discrete generation equivalents");
  add("");
  add("Group" + tab + "K|T4L|T4M|T4N|T4O");
  add(rule);
  const float mean = static_cast<float>(c.sumGenerations) / static_cast<float>(ped.nTotal);
  add("Total" + tab + "|I" + add.N(c.k) + "|T4" + add.N(c.l) + "|T4" + add.N(mean) + "|T4" +
      add.N(c.maxGenerations) + "|T4" + add.N(0));
  ForEachGroup(ped, [&](const Description& d, std::size_t gi) {
    const GroupCensus& g = c.groups[gi];
    const float groupMean = static_cast<float>(g.sumGenerations) / static_cast<float>(d.count);
    add(Printf(("%d" + tab + "|I").c_str(), d.group) + add.N(g.k) + "|T4" + add.N(g.l) + "|T4" + add.N(groupMean) +
        "|T4" + add.N(g.maxGenerations) + "|T4" + add.N(g.minGenerations));
  });
  add(rule);
}

void WriteFoundersWithoutProgeny(const Pedigree& ped, const StructureCensus& c, ReportWriter& add) {
  if (ped.settings.listFounders == 0 || c.foundersWithoutProgeny.empty()) return;
  add("");
  add("List of founders, which have no progeny:");
  std::string line = "|X";
  int entries = 0;
  for (const RecIndex r : c.foundersWithoutProgeny) {
    line += std::string(ped.rec(r).id) + "|T1";
    if (++entries < 4) continue;
    add(line);
    line = "|X";
    entries = 0;
  }
  if (entries > 0) add(line);
}

}  // namespace

void WriteStructureReport(Pedigree& ped, const StructureCensus& census) {
  ped.report.Clear();
  ped.copyFile.Reset();
  AddStructureTables(ped, census, ped.report.tables());
  ReportWriter add(ped);
  WriteCounts(ped, census, add);
  WriteDistributions(ped, census, add);
  WriteCountTable(ped, census, add);
  WriteFTable(ped, census, add);
  WriteRelationshipTable(ped, census, add);
  if (ped.HasBirthColumn()) {
    add("");
    for (const std::string& line : GenerationIntervalLines(ped, census.intervals)) add(line);
  }
  WriteFoundersWithoutProgeny(ped, census, add);
}

void OnStructure(CommandContext& ctx) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  StructureCensus census;
  if (!ComputeStructure(ctx.ped, progress, census)) {
    ShowCanceled(ctx);
    return;
  }
  WriteStructureReport(ctx.ped, census);
  ctx.lastCommand = kCmdStructure;
}

CommandDeclaration StructureDeclaration() {
  return CommandDeclaration{kCmdStructure, "structure", {}}
      .Runs(OnStructure)
      .Summary("Census of the pedigree's structure (Pedigree Structure)")
      .Explanation("Writes the counts of founders, sires, dams and progeny, full-sib families, the\n"
                   "distributions of F and of the longest ancestral path, and the per-group tables. With\n"
                   "--list-founders, also the founders that have no progeny.")
      .Menu({.menu = kToolsMenu, .text = "Pedigree S&tructure\tCtrl+T", .accelerator = "Ctrl+T",
             .prompt = "Brief structure of the pedigree", .tooltip = "Pedigree structure", .rule = kValidNotShown,
             .follows = kCmdRecoding});
}

}  // namespace kinvar
