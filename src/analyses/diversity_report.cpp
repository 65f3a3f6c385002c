// The Genetic Diversity Summary command and its report: every figure on a
// line of its own that begins with its label, so that scripts can pick them
// out of the saved report.
#include <algorithm>
#include <cmath>
#include <string>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "analyses/diversity.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kTitle = "Genetic diversity summary";
constexpr const char* kTableRule =
    "------------------------------------------------------------------------------------------"
    "----------------";

// A figure that cannot be estimated says why in words; its table value is
// missing.
// Half the genes not explained by the ancestors the search may choose.
std::string BeyondTheSearch() { return ">" + std::to_string(kMaxAncestorRounds); }
std::string StoppedLabel() {
  return "Stopped after " + std::to_string(kMaxAncestorRounds) + " rounds, genes unexplained";
}
constexpr const char* kFaLowerBound = "Effective number of ancestors (fa), lower bound";

std::string Number(const Pedigree& ped, double value) {
  return FormatNumber(ped.settings.numberFormat, static_cast<float>(value));
}

std::string Estimate(const Pedigree& ped, double value, NeGap gap) {
  return gap == NeGap::kNone ? Number(ped, value) : NeGapText(gap);
}

// A trend cell is too narrow for the words: a dash, which the legend under
// the table explains.
constexpr const char* kNotEstimable = "-";
constexpr const char* kNotEstimableLegend =
    "-: not estimable (no member traced over 1 generation, or no increase in inbreeding)";

// fa as far as it is known: a search stopped at its limit gives an upper
// bound, marked so, unless its bounds agree.
std::string FaText(const Pedigree& ped, double fa, double faLower) {
  const std::string text = Number(ped, fa);
  return static_cast<float>(faLower) == static_cast<float>(fa) ? text : "<=" + text;
}

std::string Figure(const char* label, const std::string& value) {
  return std::string(label) + "|T3|I" + value;
}

std::string Reference(int groupNumber) {
  return groupNumber == kAllIndividuals ? "All individuals"
                                        : "Group " + std::to_string(groupNumber);
}

void WriteLine(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

void WriteFigures(Pedigree& ped, const DiversitySummary& s) {
  const auto n = [&ped](double value) { return Number(ped, value); };
  const EffectiveAncestors& a = s.ancestors;
  WriteReportLines(
      ped, {std::string("|X") + kTitle, "", Figure("Reference population", Reference(s.groupNumber)),
            Figure("Reference individuals", std::to_string(s.members)),
            Figure("Mean equivalent complete generations", n(s.meanEquivalent)),
            Figure("Mean fully traced generations", n(s.meanFullyTraced)),
            Figure("Mean maximum generations", n(s.meanMaximum)),
            Figure("Pedigree completeness index (4 generations)", n(s.completeness)), "",
            Figure("Founders contributing", std::to_string(s.founders.contributing)),
            Figure("Founder equivalent (fe)", n(s.founders.fe)),
            Figure("Effective number of ancestors (fa)", FaText(ped, a.fa, a.faLower)),
            Figure("Founder genome equivalent (fg)", n(s.fg)),
            Figure("fa / fe", FaText(ped, a.fa / s.founders.fe, a.faLower / s.founders.fe)),
            Figure("Ancestors explaining 50 % of the genes",
                   a.halfExplainedBy > 0 ? std::to_string(a.halfExplainedBy) : BeyondTheSearch())});
  if (a.stoppedAtLimit)
    WriteLine(ped, Figure(StoppedLabel().c_str(), n(1.0 - a.explained)));
  if (!FaIsExact(a)) WriteLine(ped, Figure(kFaLowerBound, n(a.faLower)));
  WriteReportLines(ped, {"", Figure("Mean inbreeding", n(s.meanF)),
                         Figure("Mean coancestry", n(s.meanCoancestry)),
                         Figure("Gene diversity", n(1.0 - s.meanCoancestry)), "",
                         Figure("Effective population size (Ne)", Estimate(ped, s.ne.ne, s.ne.neGap)),
                         Figure("Standard error of Ne",
                                Estimate(ped, s.ne.standardError, s.ne.standardErrorGap)),
                         Figure("Individuals left out of Ne", std::to_string(s.ne.leftOut))});
  if (!ped.HasBirthColumn()) return;
  WriteLine(ped, "");
  for (const std::string& line : GenerationIntervalLines(ped, s.intervals)) WriteLine(ped, line);
}

void WriteChosenAncestors(Pedigree& ped, const EffectiveAncestors& a) {
  if (a.chosen.empty()) return;
  WriteReportLines(ped, {"", "Ancestors chosen first for fa, with their marginal contributions:",
                         "Rank|T5Individual|T1Contribution", "----|T5----------|T1------------"});
  for (std::size_t i = 0; i < a.chosen.size() && i < kListedAncestors; ++i)
    WriteLine(ped, std::to_string(i + 1) + "|T5" + std::string(ped.rec(a.chosen[i].rec).Id()) +
                       "|T1|I" + Number(ped, a.chosen[i].contribution));
}

// Where the table stopped searching for fa, named by the first row without
// it; empty when every row has fa.
std::string FaGroupsNote(const std::vector<GroupTrend>& rows) {
  const auto first = std::find_if(rows.begin(), rows.end(),
                                  [](const GroupTrend& r) { return !r.faSearched; });
  if (first == rows.end()) return {};
  return "There are " + std::to_string(rows.size()) + " groups; fa is searched for in at most " +
         std::to_string(first - rows.begin()) + " groups, and shows - from group " +
         std::to_string(first->group) + " on.";
}

// A row beyond the groups searched: the note under the table says why.
constexpr const char* kNotSearched = "-";

std::string TrendFa(const Pedigree& ped, const GroupTrend& r) {
  return r.faSearched ? FaText(ped, r.fa, r.faLower) : kNotSearched;
}

void WriteTrends(Pedigree& ped, const std::vector<GroupTrend>& rows) {
  const std::string tab = GroupColumnTab(ped);
  const std::string rule = GroupTableRule(ped, std::string_view(kTableRule).size());
  WriteReportLines(ped, {"", "Trends by group:", "F: Mean inbreeding",
                         "G: Mean equivalent complete generations", "",
                         "Group" + tab + "Members|T4F|T4G|T4fe|T4fa|T4Ne", rule});
  for (const GroupTrend& r : rows)
    WriteLine(ped, std::to_string(r.group) + tab + "|I" + std::to_string(r.members) + "|T4" +
                       Number(ped, r.meanF) + "|T4" + Number(ped, r.meanEquivalent) + "|T4" +
                       Number(ped, r.fe) + "|T4" + TrendFa(ped, r) + "|T4" +
                       (std::isnan(r.ne) ? kNotEstimable : Number(ped, r.ne)));
  WriteLine(ped, rule);
  if (std::any_of(rows.begin(), rows.end(), [](const GroupTrend& r) { return std::isnan(r.ne); }))
    WriteLine(ped, kNotEstimableLegend);
  if (const std::string note = FaGroupsNote(rows); !note.empty()) WriteLine(ped, note);
}

// The summary's value of a text figure: the group's number, missing for
// every individual.
double ReferenceValue(int groupNumber) {
  return groupNumber == kAllIndividuals ? std::nan("") : static_cast<double>(groupNumber);
}

void AddFigures(const Pedigree& ped, const DiversitySummary& s, ResultTable& t) {
  const EffectiveAncestors& a = s.ancestors;
  t.AddFigure("Reference population", ReferenceValue(s.groupNumber));
  t.AddFigure("Reference individuals", s.members);
  t.AddFigure("Mean equivalent complete generations", s.meanEquivalent);
  t.AddFigure("Mean fully traced generations", s.meanFullyTraced);
  t.AddFigure("Mean maximum generations", s.meanMaximum);
  t.AddFigure("Pedigree completeness index (4 generations)", s.completeness);
  t.AddFigure("Founders contributing", s.founders.contributing);
  t.AddFigure("Founder equivalent (fe)", s.founders.fe);
  t.AddFigure("Effective number of ancestors (fa)", a.fa);
  t.AddFigure("Founder genome equivalent (fg)", s.fg);
  t.AddFigure("fa / fe", a.fa / s.founders.fe);
  // Beyond the search the count is not known: missing, where the report
  // writes ">1000".
  t.AddFigure("Ancestors explaining 50 % of the genes",
              a.halfExplainedBy > 0 ? std::int64_t{a.halfExplainedBy} : kMissingInteger);
  if (a.stoppedAtLimit) t.AddFigure(StoppedLabel(), 1.0 - a.explained);
  if (!FaIsExact(a)) t.AddFigure(kFaLowerBound, a.faLower);
  t.AddFigure("Mean inbreeding", s.meanF);
  t.AddFigure("Mean coancestry", s.meanCoancestry);
  t.AddFigure("Gene diversity", 1.0 - s.meanCoancestry);
  t.AddFigure("Effective population size (Ne)", s.ne.ne);
  t.AddFigure("Standard error of Ne", s.ne.standardError);
  t.AddFigure("Individuals left out of Ne", s.ne.leftOut);
  if (ped.HasBirthColumn()) AddGenerationIntervals(s.intervals, t);
}

ResultTable AncestorTable(const Pedigree& ped, const EffectiveAncestors& a) {
  ResultTable table("ancestors");
  table.AddColumn("rank", ColumnType::kInteger)
      .AddColumn("id", ColumnType::kId)
      .AddColumn("contribution", ColumnType::kReal);
  for (std::size_t i = 0; i < a.chosen.size(); ++i)
    table.AddRow()
        .Integer(static_cast<std::int64_t>(i + 1))
        .Id(ped.rec(a.chosen[i].rec).Id())
        .Real(a.chosen[i].contribution);
  return table;
}

ResultTable TrendTable(const std::vector<GroupTrend>& rows) {
  ResultTable table("groups");
  table.AddColumn("group", ColumnType::kInteger)
      .AddColumn("members", ColumnType::kInteger)
      .AddColumn("mean_f", ColumnType::kReal)
      .AddColumn("mean_ecg", ColumnType::kReal, "generations")
      .AddColumn("fe", ColumnType::kReal)
      .AddColumn("fa", ColumnType::kReal)
      .AddColumn("ne", ColumnType::kReal)
      .AddColumn("completeness", ColumnType::kReal)
      .AddColumn("delta_f", ColumnType::kReal)
      .AddColumn("fa_lower", ColumnType::kReal);
  for (const GroupTrend& r : rows)
    table.AddRow()
        .Integer(r.group)
        .Integer(r.members)
        .Real(r.meanF)
        .Real(r.meanEquivalent)
        .Real(r.fe)
        .Real(r.fa)
        .Real(r.ne)
        .Real(r.completeness)
        .Real(r.deltaF)
        .Real(r.faLower);
  return table;
}

}  // namespace

void WriteDiversityReport(Pedigree& ped, const DiversitySummary& summary,
                          const std::vector<GroupTrend>& trends) {
  ped.report.Clear();
  ped.copyFile.Reset();
  AddFigures(ped, summary, ped.report.tables().Add(SummaryTable()));
  ped.report.tables().Add(AncestorTable(ped, summary.ancestors));
  if (ped.HasGroupColumn()) ped.report.tables().Add(TrendTable(trends));
  if (ped.HasBirthColumn()) ped.report.tables().Add(GenerationIntervalTable(summary.intervals));
  WriteFigures(ped, summary);
  WriteChosenAncestors(ped, summary.ancestors);
  if (ped.HasGroupColumn()) WriteTrends(ped, trends);
}

CommandDeclaration DiversityDeclaration() {
  return CommandDeclaration{kCmdDiversity, "diversity",
          {Declare("group", ParameterType::kGroup).Default("all").Help("The group number, or all")
               .Shown(Control::kGroupPicker).Positional()}}
      .Runs(OnDiversitySummary)
      .Summary("Genetic diversity summary of a group or of all individuals")
      .Explanation("Usage: kinvar-cli diversity PEDIGREE G|all\n"
                   "Writes, for group G or every individual: pedigree depth and completeness, founders\n"
                   "contributing, fe, fa (Boichard et al. 1997) with the first ancestors chosen, fg, mean\n"
                   "inbreeding and coancestry, gene diversity, Ne from the individual increase in inbreeding\n"
                   "(Gutierrez et al. 2008, 2009) with its standard error, and fe, fa and Ne per group.")
      .Menu({.menu = kToolsMenu, .text = "Genetic &Diversity Summary...",
             .prompt = "Genetic diversity of a group or of all individuals: fe, fa, fg, Ne and completeness",
             .tooltip = "Genetic diversity summary", .rule = kValid, .follows = kCmdPlannedMating});
}

void OnDiversitySummary(CommandContext& ctx) {
  const std::optional<int> reference = ChooseGroupOrAll(ctx, kTitle, DiversityDeclaration(), "group");
  if (!reference) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Pedigree& ped = ctx.ped;
  const ReferencePopulation ref = ReferenceOf(ped, *reference);
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const GenerationDepths depths = TraceGenerations(ped);
  const bool trends = ped.HasGroupColumn() && !ped.groups.empty();
  DiversitySummary summary;
  std::vector<GroupTrend> rows;
  bool done = false;
  if (trends) {
    done = ComputeDiversityAndTrends(ped, ref, depths, progress, summary, rows);
  } else {
    progress.SetStage(0, 100, kMaxAncestorRounds, "Effective number of ancestors");
    done = ComputeDiversity(ped, ref, depths, progress, summary);
  }
  window.reset();
  if (!done) {
    ShowCanceled(ctx);
    return;
  }
  ctx.lastCommand = kCmdDiversity;
  WriteDiversityReport(ped, summary, rows);
}

}  // namespace kinvar
