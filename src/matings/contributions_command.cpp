// Optimum Contributions: the form's options, the solver, the report, and the
// sires' matings written as a contribution file.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "analyses/relationship_listings.h"
#include "matings/contribution_files.h"
#include "matings/matings_command.h"
#include "matings/ocs_figures.h"
#include "matings/population.h"
#include "matings/population_commands.h"
#include "pedigree/sex_and_birth_text.h"

namespace kinvar {

namespace {

struct OcsOptions {
  std::optional<double> targetDeltaF, targetKinship, maxContribution;
  bool withEbv = false;
};

void Write(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

bool Refuse(CommandContext& ctx, const std::string& message) {
  ctx.platform.ShowMessage(message, MessageIcon::kError);
  return false;
}

// The form's texts as typed, by parameter name.
struct OcsTexts {
  std::string ebvColumn, ebvFile, targetDeltaF, targetKinship, maxContribution, matingsFile;
};

OcsTexts TypedOptions(const CommandContext& ctx) {
  const CommandDeclaration declaration = OptimumContributionsDeclaration();
  const CommandValues& v = ctx.remembered.values;
  return {v.Text(declaration, "ebv-column"),     v.Text(declaration, "ebv"),
          v.Text(declaration, "target-delta-f"), v.Text(declaration, "target-kinship"),
          v.Text(declaration, "max-contribution"), v.Text(declaration, "matings-file")};
}

bool ReadOptions(CommandContext& ctx, const OcsTexts& r, OcsOptions& o) {
  if (!ReadTypedNumber(ctx, r.targetDeltaF, "The target delta F", o.targetDeltaF) ||
      !WithinRange(ctx, o.targetDeltaF, kTargetDeltaFRange, r.targetDeltaF) ||
      !ReadTypedNumber(ctx, r.targetKinship, "The target kinship", o.targetKinship) ||
      !WithinRange(ctx, o.targetKinship, kTargetKinshipRange, r.targetKinship) ||
      !ReadTypedNumber(ctx, r.maxContribution, "The largest contribution", o.maxContribution) ||
      !WithinRange(ctx, o.maxContribution, kMaxContributionRange, r.maxContribution))
    return false;
  o.withEbv = !r.ebvColumn.empty() || !r.ebvFile.empty();
  if (!r.ebvColumn.empty() && !r.ebvFile.empty())
    return Refuse(ctx, "Error: Give breeding values from a column or from a file, not both.");
  if (o.targetDeltaF && o.targetKinship)
    return Refuse(ctx, "Error: Give a target delta F or a target kinship, not both.");
  const bool target = o.targetDeltaF || o.targetKinship;
  if (o.withEbv && !target)
    return Refuse(ctx, "Error: With breeding values, give a target delta F or a target kinship.");
  if (!o.withEbv && target)
    return Refuse(ctx, "Error: A target needs breeding values (a column or a file).");
  return true;
}

// The candidates' breeding values, sires first; nothing after saying which
// is missing.
std::optional<std::vector<double>> CandidateValues(CommandContext& ctx, const OcsTexts& r,
                                                   const MatingGroups& g) {
  const auto values = r.ebvFile.empty()
                          ? ReadBreedingValueColumn(ctx.path, r.ebvColumn, ctx.ped, ctx.platform)
                          : ReadBreedingValueFile(r.ebvFile, ctx.ped, ctx.platform);
  if (!values) return std::nullopt;
  std::vector<double> ebv;
  for (const auto* members : {&g.sires, &g.dams})
    for (const RecIndex rec : *members) {
      const double v = (*values)[static_cast<std::size_t>(rec)];
      if (std::isnan(v)) {
        Refuse(ctx, "Error: Individual " + std::string(ctx.ped.rec(rec).Id()) +
                        " has no breeding value.");
        return std::nullopt;
      }
      ebv.push_back(v);
    }
  return ebv;
}

// Whether the bounds let each sex's contributions reach 1/2.
bool BoundsFit(CommandContext& ctx, const MatingGroups& g, const OcsProblem& p) {
  const auto fits = [&](std::size_t n, const char* who) {
    if (static_cast<double>(n) * p.maxContribution >= 0.5 - 1e-12) return true;
    return Refuse(ctx, "Error: The largest contribution cannot be met: " + std::to_string(n) + " " +
                           who + " with at most " + SixDecimals(p.maxContribution) +
                           " each cannot contribute 1/2.");
  };
  return fits(g.sires.size(), "sires") && (p.damsEqual || fits(g.dams.size(), "dams"));
}

// The optimum, or nothing after saying which constraint cannot be met.
std::optional<OcsSolution> Solve(CommandContext& ctx, OcsProblem& p, const OcsOptions& o,
                                 double meanK) {
  if (o.withEbv) {
    OcsProblem least = p;
    least.ebv.clear();
    const OcsSolution lower = SolveOcs(least);
    p.targetKinship = o.targetKinship ? *o.targetKinship : meanK + *o.targetDeltaF * (1.0 - meanK);
    if (lower.status == OcsStatus::kSolved && p.targetKinship < lower.kinship - 1e-9) {
      Refuse(ctx, "Error: The kinship constraint cannot be met: the target kinship is " +
                      SixDecimals(p.targetKinship) + ", the least the candidates can reach is " +
                      SixDecimals(lower.kinship) + ".");
      return std::nullopt;
    }
  }
  OcsSolution s = SolveOcs(p);
  if (s.status == OcsStatus::kInfeasible) {
    Refuse(ctx, "Error: The constraints cannot be met together.");
    return std::nullopt;
  }
  if (s.status != OcsStatus::kSolved) {
    Refuse(ctx, "Error: The solver found no optimum.");
    return std::nullopt;
  }
  return s;
}

void WriteReport(CommandContext& ctx, const MatingGroups& g, const OcsProblem& p,
                 const OcsSolution& s, double meanK) {
  Pedigree& ped = ctx.ped;
  const bool ebv = !p.ebv.empty();
  const double deltaF = (s.kinship - meanK) / (1.0 - meanK);
  std::int64_t selected = 0;
  for (const double c : s.c) selected += c > kSelectedContribution ? 1 : 0;
  ResultTable& summary = ped.report.tables().Add(SummaryTable());
  summary.AddFigure("Candidates", static_cast<std::int64_t>(s.c.size()));
  summary.AddFigure("Mean kinship of the candidates", meanK);
  if (ebv) summary.AddFigure("Target kinship", p.targetKinship);
  summary.AddFigure("Kinship of the offspring", s.kinship);
  summary.AddFigure("Delta F", deltaF);
  if (ebv) summary.AddFigure("Genetic gain", s.gain);
  summary.AddFigure("Selected candidates", selected);
  Write(ped, "|XOptimum contributions");
  Write(ped, "Candidates = |X" + std::to_string(s.c.size()) + "|T1(" + std::to_string(g.sires.size()) +
                 " sires, " + std::to_string(g.dams.size()) + " dams)");
  Write(ped, "Mean kinship of the candidates = |X" + SixDecimals(meanK));
  if (ebv) Write(ped, "Target kinship = |X" + SixDecimals(p.targetKinship));
  Write(ped, "Kinship of the offspring = |X" + SixDecimals(s.kinship));
  Write(ped, "Delta F = |X" + SixDecimals(deltaF));
  if (ebv) Write(ped, "Genetic gain = |X" + SixDecimals(s.gain));
  Write(ped, "Selected candidates = |X" + std::to_string(selected));
  for (const std::string& line : RoleWarnings(ped, g)) Write(ped, line);
  Write(ped, "");
  Write(ped, std::string("ID|T2Sex|T1Contribution") + (ebv ? "|T1EBV" : ""));
  ResultTable& table = ped.report.tables().Add("contributions");
  table.AddColumn("id", ColumnType::kId).AddColumn("sex", ColumnType::kText)
      .AddColumn("contribution", ColumnType::kReal).AddColumn("ebv", ColumnType::kReal);
  // The sex the pedigree gives; a candidate it says nothing of is of the
  // sex it is chosen as.
  const std::vector<Sex> sexes = KnownSexes(ped);
  std::size_t i = 0;
  for (const auto* members : {&g.sires, &g.dams})
    for (const RecIndex rec : *members) {
      const Rec& r = ped.rec(rec);
      const Sex known = sexes[static_cast<std::size_t>(rec)];
      const std::string sex = known != Sex::kUnknown ? SexText(known) : members == &g.sires ? "M" : "F";
      TableRow row = table.AddRow();
      row.Id(r.Id()).Text(sex).Real(s.c[i]);
      if (ebv) row.Real(p.ebv[i]);
      else row.Missing();
      Write(ped, "|M" + std::string(r.Id()) + "|T2" + sex + "|T1" + SixDecimals(s.c[i]) +
                     (ebv ? "|T1" + SixDecimals(p.ebv[i]) : ""));
      ++i;
    }
}

// The sires' matings as a contribution file for Optimizing Matings.
bool WriteMatings(CommandContext& ctx, const std::string& path, const MatingGroups& g, const OcsSolution& s) {
  const std::vector<double> sires(s.c.begin(), s.c.begin() + static_cast<std::ptrdiff_t>(g.sires.size()));
  std::vector<std::int32_t> codes;
  for (const RecIndex r : g.sires) codes.push_back(ctx.ped.rec(r).code);
  const auto counts = WholeMatings(sires, static_cast<std::int32_t>(g.dams.size()), codes);
  if (!WriteContributionFile(path, ctx.ped, g.sires, counts, ctx.platform)) return false;
  Write(ctx.ped, "");
  Write(ctx.ped, "Matings of the sires written to |X" + path);
  return true;
}

}  // namespace

void OnOptimumContributions(CommandContext& ctx) {
  const CommandDeclaration declaration = OptimumContributionsDeclaration();
  const auto groups = ChooseSireAndDamGroups(ctx, declaration, "Optimum contributions");
  if (!groups) return;
  // The form takes the texts as typed; the checks below tell what is wrong.
  if (ctx.askInputs &&
      !ctx.platform.AskValues(DeclaredForm(declaration, "Optimum contributions", ctx.remembered.values, ctx.platform)))
    return;
  ctx.askInputs = true;
  const OcsTexts r = TypedOptions(ctx);
  OcsOptions options;
  if (!ReadOptions(ctx, r, options)) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  OcsProblem p;
  p.nSires = static_cast<std::int32_t>(groups->sires.size());
  p.nDams = static_cast<std::int32_t>(groups->dams.size());
  p.maxContribution = options.maxContribution.value_or(0.5);
  p.damsEqual = !r.matingsFile.empty();
  if (!BoundsFit(ctx, *groups, p)) return;
  if (options.withEbv) {
    auto ebv = CandidateValues(ctx, r, *groups);
    if (!ebv) return;
    p.ebv = std::move(*ebv);
  }
  p.kinship = CandidateKinship(ctx.ped, *groups);
  const double meanK = MeanOfMatrix(p.kinship, groups->sires.size() + groups->dams.size());
  const auto solution = Solve(ctx, p, options, meanK);
  if (!solution) return;
  ctx.ped.report.Clear();
  ctx.ped.copyFile.Reset();
  WriteReport(ctx, *groups, p, *solution, meanK);
  if (p.damsEqual && !WriteMatings(ctx, r.matingsFile, *groups, *solution)) return;
  ctx.lastCommand = kCmdOptimumContributions;
}

CommandDeclaration OptimumContributionsDeclaration() {
  using T = ParameterType;
  // R and Python give the breeding values themselves and ask for the
  // matings as a table, not as files: the files are the command line's.
  return CommandDeclaration{kCmdOptimumContributions, "optimum-contributions",
          {Declare("sires", T::kGroup).Help("The group of the sires").Shown(Control::kGroupPicker).Positional(),
           Declare("dams", T::kGroup).Help("The group of the dams").Shown(Control::kGroupPicker).Positional(),
           Declare("ebv-column", T::kText).Help("Breeding values: a column of PEDIGREE").ValueName("NAME")
               .Label("Breeding values: column of the pedigree file").Keyword("-"),
           Declare("ebv", T::kFile).Help("Breeding values: a file of \"ID value\" lines").ValueName("FILE")
               .Label("Breeding values: file of ID and value").Shown(Control::kReadFile).Excludes("ebv-column")
               .Keyword("-"),
           Declare("target-delta-f", T::kNumber).Help("The rate of inbreeding to keep").ValueName("X")
               .Label("Target delta F"),
           Declare("target-kinship", T::kNumber).Help("The offspring kinship to keep").ValueName("X")
               .Label("Target kinship").Excludes("target-delta-f"),
           Declare("max-contribution", T::kNumber).Help("The largest contribution of one candidate").ValueName("X")
               .Label("Largest contribution"),
           Declare("matings-file", T::kFile)
               .Help("Every dam one progeny; write the sires' matings as a contribution file").ValueName("FILE")
               .Label("Matings file to write (every dam one progeny)").Shown(Control::kWriteFile).Keyword("-")}}
      .Runs(OnOptimumContributions)
      .Summary("Optimum contributions of the sires and dams to the next generation")
      .Explanation("Usage: kinvar-cli optimum-contributions PEDIGREE SIRES DAMS [--ebv-column NAME | --ebv FILE]\n"
                   "[--target-delta-f X | --target-kinship X] [--max-contribution X] [--matings-file FILE]\n"
                   "Without breeding values, the contributions (sires' summing to 1/2, dams' to 1/2) of\n"
                   "least offspring kinship; with them (a column of PEDIGREE, or a file of \"ID value\"\n"
                   "lines), the largest gain whose kinship stays at the target. --matings-file gives every\n"
                   "dam one progeny and writes the sires' matings as a contribution file for\n"
                   "optimize-matings with the same groups. Solved with Ipopt.")
      .Menu({.menu = kPopulationMenu, .text = "&Optimum Contributions...",
             .prompt = "Contributions of the candidates that keep kinship at a target and maximise gain",
             .tooltip = "Optimum contributions", .rule = kTwoGroupRule});
}

}  // namespace kinvar
