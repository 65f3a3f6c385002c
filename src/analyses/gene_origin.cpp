#include "analyses/gene_origin.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "analyses/command_ids.h"
#include "analyses/decomposition.h"
#include "analyses/decomposition_report.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kDashes = "----------|T1|T5----------|T4|T6----------|T4|T6----------";

std::string Number(const Pedigree& ped, double value) {
  return FormatNumber(ped.settings.numberFormat, static_cast<float>(value));
}

bool IsFounder(const Rec& r) { return r.sire == kUnknownParent && r.dam == kUnknownParent; }

// Founders' codes by contribution, largest first; equal ones by code.
std::vector<std::int32_t> FoundersByContribution(const Pedigree& ped, const std::vector<float>& c) {
  std::vector<std::int32_t> founders;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (IsFounder(ped.byCode(code - 1))) founders.push_back(code);
  std::stable_sort(founders.begin(), founders.end(), [&c](std::int32_t a, std::int32_t b) {
    return c[static_cast<std::size_t>(a)] > c[static_cast<std::size_t>(b)];
  });
  return founders;
}

struct OriginFigures {
  double fe, fg, nonFounders;  // nonFounders NaN: not estimable
};

// fg can only equal fe, never pass it: the coancestry holds the founders'
// squared contributions and adds what drift lost. Where 1/fg - 1/fe is
// within the rounding of fe's 32-bit contributions, nothing was lost in the
// non-founders and their effective number is no figure at all (an infinity,
// or a huge number of either sign from rounding).
constexpr double kNoDrift = 1e-6;
constexpr const char* kNoDriftText = "not estimable: fg equals fe, no loss by drift";

OriginFigures Figures(const FounderContributions& fc, const DecompositionResult& r2) {
  const double fe = 1.0 / fc.sumOfSquares;
  const auto y = static_cast<float>(2.0 * r2.mTotal);
  const double fg = 1.0 / static_cast<double>(y);
  const double lost = 1.0 / fg - 1.0 / fe;
  return {fe, fg, lost > kNoDrift / fg ? 1.0 / lost : std::nan("")};
}

std::string NonFounders(const Pedigree& ped, double value) {
  return std::isnan(value) ? kNoDriftText : Number(ped, value);
}

void AddSummary(const Pedigree& ped, const Description& group, const FounderContributions& fc,
                const DecompositionResult& r1, const DecompositionResult& r2,
                ResultTable& summary) {
  const OriginFigures f = Figures(fc, r2);
  summary.AddFigure("Group", group.group);
  summary.AddFigure("No. of individuals in total", ped.nTotal);
  summary.AddFigure("No. of founders in total", ped.nFounders);
  summary.AddFigure("No. of individuals in the group", group.count);
  AddExtractedCounts(summary, r2);
  summary.AddFigure("Founder equivalent", f.fe);
  summary.AddFigure("Founder genome equivalent", f.fg);
  summary.AddFigure("Effective number of non-founders", f.nonFounders);
  summary.AddFigure("Average inbreeding for the group", r1.mTotal);
  summary.AddFigure("Average coancestry for the group", r2.mTotal);
}

// The founders in the report's order, the largest contribution first.
ResultTable ContributionTable(const Pedigree& ped, const FounderContributions& fc,
                              const DecompositionResult& r1, const DecompositionResult& r2) {
  ResultTable table("founder_contributions");
  table.AddColumn("id", ColumnType::kId)
      .AddColumn("contribution", ColumnType::kReal)
      .AddColumn("v1", ColumnType::kReal)
      .AddColumn("v2", ColumnType::kReal);
  for (const std::int32_t code : FoundersByContribution(ped, fc.byCode)) {
    const auto c = static_cast<std::size_t>(code);
    table.AddRow().Id(ped.byCode(code - 1).id).Float(fc.byCode[c]).Real(r1.v[c]).Real(r2.v[c]);
  }
  return table;
}

void WriteSummary(Pedigree& ped, const Description& group, const FounderContributions& fc,
                  const DecompositionResult& r1, const DecompositionResult& r2) {
  const auto [fe, fg, nonFounders] = Figures(fc, r2);
  WriteReportLines(
      ped, {"|XProbabilities of gene origin", "", "Group|T3|I" + std::to_string(group.group),
            "No. of individuals in total|T3|I" + std::to_string(ped.nTotal),
            "No. of founders in total|T3|I" + std::to_string(ped.nFounders),
            "No. of individuals in the group|T3|X" + std::to_string(group.count)});
  WriteExtractedCounts(ped, r2);
  WriteReportLines(ped,
                   {"", "Founder equivalent|T3|I" + Number(ped, fe),
                    "Founder genome equivalent|T3|I" + Number(ped, fg),
                    "Effective number of non-founders|T3|I" + NonFounders(ped, nonFounders),
                    "Average inbreeding for the group|T3|I" + Number(ped, r1.mTotal),
                    "Average coancestry for the group|T3|I" + Number(ped, r2.mTotal), "",
                    "v1 = Contributions of genes of founders to the average inbreeding coefficient",
                    "v2 = Contributions of genes of founders to the average coancestry", ""});
}

std::string Columns(const Pedigree& ped, std::string_view first, double c, double v1, double v2) {
  return std::string(first) + "|T1|T5|I" + Number(ped, c) + "|T4|T6" + Number(ped, v1) + "|T4|T6" +
         Number(ped, v2);
}

}  // namespace

FounderContributions ComputeFounderContributions(const Pedigree& ped, std::int32_t group) {
  const Description& d = ped.groups[static_cast<std::size_t>(group)];
  FounderContributions fc;
  std::vector<float>& w = fc.byCode;
  w.assign(static_cast<std::size_t>(ped.nTotal) + 1, 0.0f);
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (ped.byCode(code - 1).group == group) w[static_cast<std::size_t>(code)] = 1.0f;
  for (std::int32_t code = ped.nTotal; code >= 1; --code) {
    float& x = w[static_cast<std::size_t>(code)];
    if (x == 0.0f) continue;
    const Rec& r = ped.byCode(code - 1);
    for (const RecIndex parent : {r.sire, r.dam}) {
      if (parent == kUnknownParent) continue;
      float& p = w[static_cast<std::size_t>(ped.rec(parent).code)];
      p = p + x / 2.0f;
    }
    x = x / static_cast<float>(d.count);
    if (!IsFounder(r)) continue;
    fc.sum += static_cast<double>(x);
    fc.sumOfSquares += static_cast<double>(x) * static_cast<double>(x);
  }
  return fc;
}

void WriteGeneOriginReport(Pedigree& ped, std::int32_t group) {
  const FounderContributions fc = ComputeFounderContributions(ped, group);
  const DecompositionResult r1 = Decompose(ped, group, DecompositionMode::kAverageInbreeding);
  const DecompositionResult r2 = Decompose(ped, group, DecompositionMode::kAverageCoancestry);
  ped.report.Clear();
  ped.copyFile.Reset();
  const Description& d = ped.groups[static_cast<std::size_t>(group)];
  AddSummary(ped, d, fc, r1, r2, ped.report.tables().Add(SummaryTable()));
  const ResultTable& founders = ped.report.tables().Add(ContributionTable(ped, fc, r1, r2));
  WriteSummary(ped, d, fc, r1, r2);
  WriteReportLines(ped, {"Founder|T1|T5Contribution|T4|T6v1|T4|T6v2", kDashes});
  const auto& col = founders.columns();
  for (std::size_t row = 0; row < founders.rows(); ++row)
    WriteReportLine(ped.report,
                    Columns(ped, col[0].Text(row), col[1].Real(row), col[2].Real(row),
                            col[3].Real(row)),
                    &ped.copyFile);
  WriteReportLines(ped, {kDashes, Columns(ped, "Sum", fc.sum, r1.vTotal, r2.vTotal)});
}

CommandDeclaration GeneOriginDeclaration() {
  return CommandDeclaration{kCmdGeneOrigin, "gene-origin",
          {Declare("group", ParameterType::kGroup).Help("The group number").Shown(Control::kGroupPicker)
               .Positional()}}
      .Runs(OnGeneOrigin)
      .Summary("Probabilities of gene origin of a group")
      .Explanation("Usage: kinvar-cli gene-origin PEDIGREE G\n"
                   "Writes the founder contributions to group G, the founder equivalent, the founder genome\n"
                   "equivalent, the effective number of non-founders, and per founder its part of the\n"
                   "group's average inbreeding (v1) and coancestry (v2).")
      .Menu({.menu = kToolsMenu, .text = "Probabilities of Gene Origin...", .prompt = "Probabilities of gene origin",
             .tooltip = "Probabilities of gene origin", .rule = kValid | kGroups,
             .follows = kCmdExtractDescendantsGroup});
}

void OnGeneOrigin(CommandContext& ctx) {
  if (ctx.askInputs) {
    const auto group = AskGroup(ctx, "Probabilities of gene origin", "Compute");
    if (!group) return;
    ctx.remembered.values.Set(kCmdGeneOrigin, "group", std::to_string(*group));
  }
  ctx.askInputs = true;
  const std::optional<int> group = GroupValue(ctx.remembered.values, GeneOriginDeclaration(), "group");
  const std::int32_t index = group ? GroupIndexOf(ctx.ped, *group) : -1;
  if (index < 0) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  ctx.lastCommand = kCmdGeneOrigin;
  WriteGeneOriginReport(ctx.ped, index);
}

}  // namespace kinvar
