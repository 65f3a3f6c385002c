#include "matings/population_commands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "analyses/decomposition_report.h"
#include "analyses/relationship_listings.h"
#include "matings/contribution_files.h"
#include "matings/matings_command.h"
#include "matings/population.h"
#include "pedigree/number_text.h"
#include "pedigree/sex_and_birth_text.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

void Write(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

void GroupCell(TableRow& row, const Pedigree& ped, const Rec& r) {
  if (r.group < 0) row.Missing();
  else row.Integer(ped.GroupNumber(r));
}

std::string GroupText(const Pedigree& ped, const Rec& r) {
  return r.group < 0 ? "." : std::to_string(ped.GroupNumber(r));
}

bool Refuse(CommandContext& ctx, const std::string& message) {
  ctx.platform.ShowMessage(message, MessageIcon::kError);
  return false;
}

}  // namespace

std::string SixDecimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  // A change too small to show is no loss: "-0.000000" would say one.
  return std::string_view(text) == "-0.000000" ? std::string("0.000000") : std::string(text);
}

bool ReadTypedNumber(CommandContext& ctx, const std::string& text, const std::string& what,
                     std::optional<double>& value) {
  value.reset();
  // Blanks around the number are how a form box or a script may pass it.
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return true;
  const std::size_t last = text.find_last_not_of(" \t");
  const std::optional<double> x = WholeNumber(std::string_view(text).substr(first, last - first + 1));
  if (!x) return Refuse(ctx, "Error: " + what + " is not a number: " + text);
  value = x;
  return true;
}

bool WithinRange(CommandContext& ctx, const std::optional<double>& value, const TypedRange& range,
                 const std::string& text) {
  if (!value) return true;
  const bool above = range.lowOpen ? *value > range.low : *value >= range.low;
  const bool below = range.highOpen ? *value < range.high : *value <= range.high;
  if (above && below) return true;
  return Refuse(ctx, "Error: " + std::string(range.what) + " must be " + range.words + ", not " +
                         text + ".");
}

namespace {

void WriteMeanKinship(Pedigree& ped, const MeanKinshipResult& result, const std::string& scope) {
  ped.report.Clear();
  ped.copyFile.Reset();
  ResultTable& summary = ped.report.tables().Add(SummaryTable());
  summary.AddFigure("Members", static_cast<std::int64_t>(result.rows.size()));
  summary.AddFigure("Mean kinship", result.meanMk);
  summary.AddFigure("Gene diversity", result.geneDiversity);
  ResultTable& table = ped.report.tables().Add("mean_kinship");
  table.AddColumn("id", ColumnType::kId).AddColumn("sex", ColumnType::kText)
      .AddColumn("group", ColumnType::kInteger).AddColumn("f", ColumnType::kReal)
      .AddColumn("mk", ColumnType::kReal).AddColumn("progeny", ColumnType::kInteger)
      .AddColumn("completeness", ColumnType::kReal).AddColumn("rank", ColumnType::kInteger);
  table.Reserve(result.rows.size());
  const std::vector<Sex> sexes = KnownSexes(ped);
  Write(ped, "|XMean kinship of " + scope);
  Write(ped, "Members = |X" + std::to_string(result.rows.size()));
  Write(ped, "Mean kinship = |X" + SixDecimals(result.meanMk));
  Write(ped, "Gene diversity = |X" + SixDecimals(result.geneDiversity));
  Write(ped, "");
  Write(ped, "Rank|T1ID|T2Sex|T1Group|T1F|T1MK|T1Progeny|T1Completeness");
  for (std::size_t i = 0; i < result.rows.size(); ++i) {
    const MeanKinshipRow& row = result.rows[i];
    const Rec& r = ped.rec(row.rec);
    const std::string sex = SexText(sexes[static_cast<std::size_t>(row.rec)]);
    TableRow cells = table.AddRow();
    cells.Id(r.Id()).Text(sex);
    GroupCell(cells, ped, r);
    cells.Float(r.f).Real(row.mk).Integer(row.progeny).Real(row.completeness)
        .Integer(static_cast<std::int64_t>(i + 1));
    Write(ped, std::to_string(i + 1) + "|T1|M" + std::string(r.Id()) + "|T2" + sex +
                   "|T1" + GroupText(ped, r) + "|T1" + SixDecimals(r.f) +
                   "|T1" + SixDecimals(row.mk) + "|T1" + std::to_string(row.progeny) + "|T1" +
                   SixDecimals(row.completeness));
  }
}

}  // namespace

CommandDeclaration MeanKinshipDeclaration() {
  return CommandDeclaration{kCmdMeanKinship, "mean-kinship",
          {Declare("group", ParameterType::kGroup).Default("all").Help("The group number, or all")
               .Shown(Control::kGroupPicker).Positional()}}
      .Runs(OnMeanKinship)
      .Summary("Rank a group or all individuals by mean kinship")
      .Explanation("Usage: kinvar-cli mean-kinship PEDIGREE G|all\n"
                   "Writes the mean kinship of group G (or of all individuals) and its gene diversity, and\n"
                   "each member's mean kinship with the group, itself included, lowest (the genetically\n"
                   "most valuable) first, with sex, group, F, progeny, completeness and rank.")
      .Menu({.menu = kPopulationMenu, .text = "&Mean Kinship...",
             .prompt = "Rank a group or all individuals by mean kinship, the most valuable first",
             .tooltip = "Mean kinship ranking", .rule = kValid, .follows = kCmdDiversity});
}

void OnMeanKinship(CommandContext& ctx) {
  const std::optional<int> reference = ChooseGroupOrAll(ctx, "Mean kinship", MeanKinshipDeclaration(), "group");
  if (!reference) return;
  const int chosen = *reference;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Pedigree& ped = ctx.ped;
  const ReferencePopulation ref = ReferenceOf(ped, chosen);
  const MeanKinshipResult result = ComputeMeanKinship(ped, ref);
  ctx.lastCommand = kCmdMeanKinship;
  WriteMeanKinship(ped, result, chosen == kAllIndividuals ? "all individuals"
                                                          : "group " + std::to_string(chosen));
}

namespace {

void WriteSuitability(Pedigree& ped, const MatingGroups& groups, const MateSuitability& m,
                      float maxF, const std::string& reference) {
  ResultTable& summary = ped.report.tables().Add(SummaryTable());
  summary.AddFigure("Reference members", static_cast<std::int64_t>(m.referenceSize));
  summary.AddFigure("Gene diversity of the reference", m.geneDiversity);
  summary.AddFigure("Largest offspring F", maxF);
  summary.AddFigure("Pairs above the largest offspring F", static_cast<std::int64_t>(m.aboveBound));
  ResultTable& table = ped.report.tables().Add("mate_suitability");
  table.AddColumn("sire", ColumnType::kId).AddColumn("dam", ColumnType::kId)
      .AddColumn("offspring_f", ColumnType::kReal).AddColumn("delta_gd", ColumnType::kReal)
      .AddColumn("mk_sire", ColumnType::kReal).AddColumn("mk_dam", ColumnType::kReal)
      .AddColumn("mk_difference", ColumnType::kReal).AddColumn("above_max_f", ColumnType::kBoolean);
  table.Reserve(m.pairs.size());
  Write(ped, "|XMate suitability");
  Write(ped, "Reference = |X" + reference);
  Write(ped, "Members of the reference = |X" + std::to_string(m.referenceSize));
  Write(ped, "Gene diversity of the reference = |X" + SixDecimals(m.geneDiversity));
  Write(ped, "Pairs whose offspring F is above " + SixDecimals(maxF) + " = |X" + std::to_string(m.aboveBound) + " of " +
                 std::to_string(m.pairs.size()));
  Write(ped, "They are marked * and listed after the pairs within it, the least inbred offspring first.");
  Write(ped, "");
  Write(ped, "Sire|T1Dam|T1Offspring F|T1Delta GD|T1MK sire|T1MK dam|T1MK difference");
  for (const PairSuitability& p : m.pairs) {
    const Rec& s = ped.rec(groups.sires[static_cast<std::size_t>(p.sire)]);
    const Rec& d = ped.rec(groups.dams[static_cast<std::size_t>(p.dam)]);
    const double mkS = m.mkSires[static_cast<std::size_t>(p.sire)];
    const double mkD = m.mkDams[static_cast<std::size_t>(p.dam)];
    table.AddRow().Id(s.Id()).Id(d.Id()).Float(p.offspringF).Real(p.deltaGd).Real(mkS).Real(mkD)
        .Real(std::fabs(mkS - mkD)).Boolean(p.exceeds);
    // Six decimals as the kinships beside it: a change of diversity reads
    // in the same units as they do.
    const std::string delta = SixDecimals(p.deltaGd);
    Write(ped, "|M" + std::string(s.Id()) + "|T1|F" + std::string(d.Id()) + "|T1" +
                   SixDecimals(p.offspringF) + (p.exceeds ? " *" : "") +
                   "|T1" + delta + "|T1" + SixDecimals(mkS) + "|T1" + SixDecimals(mkD) + "|T1" +
                   SixDecimals(std::fabs(mkS - mkD)));
  }
}

}  // namespace

CommandDeclaration MateSuitabilityDeclaration() {
  using T = ParameterType;
  return CommandDeclaration{kCmdMateSuitability, "mate-suitability",
          {Declare("sires", T::kGroup).Help("The group of the sires").Shown(Control::kGroupPicker).Positional(),
           Declare("dams", T::kGroup).Help("The group of the dams").Shown(Control::kGroupPicker).Positional(),
           Declare("reference", T::kGroup).Help("The reference group (default: sires and dams)")
               .Label("Reference group (empty: sires and dams)"),
           Declare("max-f", T::kNumber).Default("0.0625")
               .Help("Mark pairs whose offspring F is above X (default 0.0625)").Label("Largest offspring F")}}
      .Runs(OnMateSuitability)
      .Summary("Score every sire-dam pair by the gene diversity one offspring adds")
      .Explanation("Usage: kinvar-cli mate-suitability PEDIGREE SIRES DAMS [--reference G] [--max-f X]\n"
                   "Writes every pair of a sire of group SIRES and a dam of group DAMS, best first: the F\n"
                   "of their offspring, the change in the reference's gene diversity if they had one, and\n"
                   "both mates' mean kinship with the reference (group G, default the sires and dams).\n"
                   "Pairs whose offspring F is above --max-f (default 0.0625) are marked.")
      .Menu({.menu = kPopulationMenu, .text = "Mate &Suitability...",
             .prompt = "Score every sire-dam pair by the change in gene diversity of one offspring",
             .tooltip = "Mate suitability", .rule = kTwoGroupRule});
}

void OnMateSuitability(CommandContext& ctx) {
  const CommandDeclaration declaration = MateSuitabilityDeclaration();
  const auto groups = ChooseSireAndDamGroups(ctx, declaration, "Mate suitability");
  if (!groups) return;
  CommandValues& values = ctx.remembered.values;
  // The form takes the texts as typed; the checks below tell what is wrong.
  if (ctx.askInputs && !ctx.platform.AskValues(DeclaredForm(declaration, "Mate suitability", values, ctx.platform)))
    return;
  ctx.askInputs = true;
  const std::string typedMaxF = values.Text(declaration, "max-f");
  const std::string typedReference = values.Text(declaration, "reference");
  std::optional<double> maxF, reference;
  if (!ReadTypedNumber(ctx, typedMaxF, "The largest offspring F", maxF) ||
      !WithinRange(ctx, maxF, kMaxFRange, typedMaxF) ||
      !ReadTypedNumber(ctx, typedReference, "The reference group", reference))
    return;
  std::int32_t index = -1;
  if (reference) {
    index = GroupIndexOf(ctx.ped, static_cast<int>(*reference));
    if (index < 0 || *reference != std::floor(*reference)) {
      Refuse(ctx, "Error: There is no group " + typedReference + ".");
      return;
    }
  }
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Pedigree& ped = ctx.ped;
  const ReferencePopulation ref = reference ? GroupReference(ped, index) : PairReference(ped, *groups);
  const float bound = maxF ? static_cast<float>(*maxF) : kDefaultMaxF;
  const MateSuitability m = ComputeMateSuitability(ped, *groups, ref, bound);
  ctx.lastCommand = kCmdMateSuitability;
  ped.report.Clear();
  ped.copyFile.Reset();
  WriteSuitability(ped, *groups, m, bound,
                   reference ? "group " + typedReference
                             : "groups " + std::to_string(groups->sireGroup) + " and " +
                                   std::to_string(groups->damGroup));
}

}  // namespace kinvar
