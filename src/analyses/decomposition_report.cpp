#include "analyses/decomposition_report.h"

#include <algorithm>
#include <limits>

#include <string>

#include "analyses/command_ids.h"
#include "pedigree/number_text.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kDashes = "----------|T1|T5----------|T4|T6----------|T4|T6----------";

// Shown with the digits of a float, or of the double in double precision.
std::string Number(const Pedigree& ped, double value) {
  if (ped.InDouble()) return FormatNumber(ped.settings.numberFormat, value);
  return FormatNumber(ped.settings.numberFormat, static_cast<float>(value));
}

std::string Columns(const Pedigree& ped, std::string_view first, double m, double u, double v) {
  return std::string(first) + "|T1|T5|I" + Number(ped, m) + "|T4|T6" + Number(ped, u) + "|T4|T6" +
         Number(ped, v);
}

// The figures of the heading, under the heading's labels.
void AddHeadingFigures(const Pedigree& ped, DecompositionMode mode, std::int32_t target,
                       const DecompositionResult& r, ResultTable& summary) {
  if (mode == DecompositionMode::kInbreeding) {
    // An ID is no number: the row keeps the report's line, the ID is in
    // the report and the listing.
    summary.AddRow().Text("Individual").Missing();
    summary.AddFigure("Inbreeding coefficient", r.mTotal);
  } else {
    summary.AddFigure("Group", ped.groups[static_cast<std::size_t>(target)].group);
    summary.AddFigure(mode == DecompositionMode::kAverageInbreeding
                          ? "Average inbreeding coefficient for the group"
                          : "Average coancestry for the group",
                      r.mTotal);
  }
  summary.AddFigure("No. of individuals in total", ped.nTotal);
  summary.AddFigure("No. of founders in total", ped.nFounders);
  if (mode != DecompositionMode::kInbreeding)
    summary.AddFigure("No. of individuals in the group",
                      ped.groups[static_cast<std::size_t>(target)].count);
  AddExtractedCounts(summary, r);
}

// Every individual in code order, the listing's order.
ResultTable DecompositionTable(const Pedigree& ped, const DecompositionResult& r) {
  ResultTable table("decomposition");
  table.AddColumn("id", ColumnType::kId)
      .AddColumn("m", ColumnType::kReal)
      .AddColumn("u", ColumnType::kReal)
      .AddColumn("v", ColumnType::kReal);
  table.Reserve(static_cast<std::size_t>(ped.nTotal));
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    const auto c = static_cast<std::size_t>(code);
    table.AddRow().Id(ped.byCode(code - 1).id).Real(r.m[c]).Real(r.u[c]).Real(r.v[c]);
  }
  return table;
}

// Lines 1 to 7 of the report: what was decomposed, and the pedigree's size.
void WriteHeading(Pedigree& ped, DecompositionMode mode, std::int32_t target,
                  const DecompositionResult& r) {
  const std::string total = Number(ped, r.mTotal);
  if (mode == DecompositionMode::kInbreeding) {
    WriteReportLines(ped, {"|XDecomposition of inbreeding coefficient into ancestral components",
                           "", "Individual|T3|I" + std::string(ped.byCode(target - 1).id),
                           "Inbreeding coefficient|T3|I" + total});
  } else {
    const Description& group = ped.groups[static_cast<std::size_t>(target)];
    const bool inbreeding = mode == DecompositionMode::kAverageInbreeding;
    WriteReportLines(
        ped,
        {inbreeding
             ? "|XDecomposition of the average inbreeding coefficient into ancestral components"
             : "|XDecomposition of the average coancestry into ancestral components",
         "", "Group|T3|I" + std::to_string(group.group),
         (inbreeding ? "Average inbreeding coefficient for the group|T3|I"
                     : "Average coancestry for the group|T3|I") +
             total});
  }
  WriteReportLines(ped, {"No. of individuals in total|T3|I" + std::to_string(ped.nTotal),
                         "No. of founders in total|T3|I" + std::to_string(ped.nFounders)});
  if (mode != DecompositionMode::kInbreeding) {
    const Description& group = ped.groups[static_cast<std::size_t>(target)];
    WriteReportLines(ped, {"No. of individuals in the group|T3|X" + std::to_string(group.count)});
  }
}

// Runs the engine for the command and writes its report.
void Report(CommandContext& ctx, std::int32_t command, DecompositionMode mode,
            std::int32_t target) {
  ctx.lastCommand = command;
  ctx.ped.report.Clear();
  ctx.ped.copyFile.Reset();
  const DecompositionResult r = Decompose(ctx.ped, target, mode);
  WriteDecompositionReport(ctx.ped, mode, target, r);
}

// The help of kinvar-cli's decompose, which its three commands share.
CommandDeclaration Decompose(std::int32_t id, const char* scope, Parameter input, void (*run)(CommandContext&)) {
  return CommandDeclaration{id, "decompose", {std::move(input.Positional())}}
      .Scope(scope)
      .Runs(run)
      .Summary("Ancestral decomposition of inbreeding or of a group's coancestry")
      .Explanation("Usage: kinvar-cli decompose PEDIGREE individual ID|group G|coancestry G\n"
                   "Splits the F of an individual, the average F of a group or the group's average\n"
                   "coancestry into contributions of ancestors: m (Mendelian sampling), u (nodal common\n"
                   "ancestors) and v (founders), one line per individual.");
}

Parameter GroupInput() {
  return Declare("group", ParameterType::kGroup).Help("The group number").Shown(Control::kGroupPicker);
}

void OnGroupDecomposition(CommandContext& ctx, std::int32_t command, DecompositionMode mode) {
  const CommandDeclaration declaration =
      command == kCmdDecompositionGroup ? DecompositionGroupDeclaration() : DecompositionCoancestryDeclaration();
  if (ctx.askInputs) {
    const auto group = AskGroup(ctx, "Ancestral Decomposition", "Decompose");
    if (!group) return;
    ctx.remembered.values.Set(command, "group", std::to_string(*group));
  }
  ctx.askInputs = true;
  const auto number = WholeInteger(ctx.remembered.values.Text(declaration, "group"),
                                   std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  if (!number) return;
  const std::int32_t index = GroupIndexOf(ctx.ped, static_cast<int>(*number));
  if (index < 0) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Report(ctx, command, mode, index);
}

}  // namespace

std::string GroupColumnTab(const Pedigree& ped) {
  for (const Description& d : ped.groups)
    if (d.group > 999999999) return "|T5|T6";
  return "|T5";
}

std::string GroupTableRule(const Pedigree& ped, std::size_t length) {
  const std::size_t wide = std::min<std::size_t>(length + 6, ReportStore::kMaxLineLength);
  return std::string(GroupColumnTab(ped).size() > 3 ? wide : length, '-');
}

std::int32_t GroupIndexOf(const Pedigree& ped, int number) {
  for (std::size_t g = 0; g < ped.groups.size(); ++g)
    if (ped.groups[g].group == number) return static_cast<std::int32_t>(g);
  return -1;
}

void WriteReportLines(Pedigree& ped, std::initializer_list<std::string> lines) {
  for (const std::string& line : lines) WriteReportLine(ped.report, line, &ped.copyFile);
}

void WriteExtractedCounts(Pedigree& ped, const DecompositionResult& r) {
  WriteReportLines(
      ped,
      {"Extracted pedigree:", "    No. of individuals|T3|I" + std::to_string(r.individuals),
       "    No. of founders|T3|I" + std::to_string(r.founders),
       "    No. of individuals with two known parents|T3|I" + std::to_string(r.twoKnownParents),
       "    No. of individuals with one known parent|T3|X" + std::to_string(r.oneKnownParent)});
}

void AddExtractedCounts(ResultTable& summary, const DecompositionResult& r) {
  summary.AddFigure("No. of individuals", r.individuals);
  summary.AddFigure("No. of founders", r.founders);
  summary.AddFigure("No. of individuals with two known parents", r.twoKnownParents);
  summary.AddFigure("No. of individuals with one known parent", r.oneKnownParent);
}

void WriteDecompositionReport(Pedigree& ped, DecompositionMode mode, std::int32_t target,
                              const DecompositionResult& r) {
  ResultTable& summary = ped.report.tables().Add(SummaryTable());
  AddHeadingFigures(ped, mode, target, r, summary);
  const ResultTable& listing = ped.report.tables().Add(DecompositionTable(ped, r));
  WriteHeading(ped, mode, target, r);
  WriteExtractedCounts(ped, r);
  WriteReportLines(ped, {"", "m = Contributions of Mendelian sampling variances of ancestors",
                         "u = Contributions of genes of nodal common ancestors",
                         "v = Contributions of genes of founders", "",
                         "Individual|T1|T5m|T4|T6u|T4|T6v", kDashes});
  const auto& col = listing.columns();
  for (std::size_t row = 0; row < listing.rows(); ++row)
    WriteReportLine(ped.report,
                    Columns(ped, col[0].Text(row), col[1].Real(row), col[2].Real(row),
                            col[3].Real(row)),
                    &ped.copyFile);
  WriteReportLines(ped, {kDashes, Columns(ped, "Sum", r.mTotal, r.uTotal, r.vTotal)});
}

CommandDeclaration DecompositionIndividualDeclaration() {
  return Decompose(kCmdDecompositionIndividual, "individual",
                   Declare("id", ParameterType::kId).Help("The individual's ID").Shown(Control::kIndividualPicker),
                   OnDecompositionIndividual)
      .Menu({.menu = kDecompositionMenu, .text = "An Individual...",
             .prompt = "Ancestral decomposition of inbreeding for a specific individual",
             .tooltip = "Ancestral decomposition of inbreeding for a specific individual", .rule = kValid,
             .follows = kCmdInbreedingOfIndividual});
}

CommandDeclaration DecompositionGroupDeclaration() {
  return Decompose(kCmdDecompositionGroup, "group", GroupInput(), OnDecompositionGroup)
      .Menu({.menu = kDecompositionMenu, .text = "A Group...",
             .prompt = "Ancestral decomposition of the average inbreeding for a group",
             .tooltip = "Ancestral decomposition of the average inbreeding for a group", .rule = kValid | kGroups});
}

CommandDeclaration DecompositionCoancestryDeclaration() {
  return Decompose(kCmdDecompositionCoancestry, "coancestry", GroupInput(), OnDecompositionCoancestry)
      .Menu({.menu = kRelationshipMenu, .text = "Ancestral Decomposition of Coancestry for a Group...",
             .prompt = "Ancestral decomposition of the average coancestry for a group",
             .tooltip = "Ancestral decomposition of the average coancestry for a group", .rule = kValid | kGroups,
             .follows = kCmdAverageRelatedness});
}

// A re-run finds the individual again by the ID it was picked by.
void OnDecompositionIndividual(CommandContext& ctx) {
  const CommandDeclaration declaration = DecompositionIndividualDeclaration();
  if (ctx.askInputs) {
    const auto picked = AskIndividual(ctx, "Ancestral Decomposition", "Decompose");
    if (!picked) return;
    ctx.remembered.values.Set(declaration.id, "id", std::string(ctx.ped.rec(*picked).Id()));
  }
  ctx.askInputs = true;
  std::string typed = ctx.remembered.values.Text(declaration, "id");
  const RecIndex x = typed.empty() ? kUnknownParent : FindTypedId(ctx.ped, typed);
  if (x == kUnknownParent) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Report(ctx, kCmdDecompositionIndividual, DecompositionMode::kInbreeding, ctx.ped.rec(x).code);
}

void OnDecompositionGroup(CommandContext& ctx) {
  OnGroupDecomposition(ctx, kCmdDecompositionGroup, DecompositionMode::kAverageInbreeding);
}

void OnDecompositionCoancestry(CommandContext& ctx) {
  OnGroupDecomposition(ctx, kCmdDecompositionCoancestry, DecompositionMode::kAverageCoancestry);
}

}  // namespace kinvar
