#include "analyses/parentage_report.h"

#include <cmath>
#include <cstdio>

#include "analyses/decomposition_report.h"
#include "analyses/command_ids.h"
#include "analyses/genomic_input.h"
#include "analyses/genotype_input_form.h"
#include "pedigree/number_text.h"
#include "report/result_table.h"

namespace kinvar {

namespace {

constexpr const char* kTitle = "Parentage";

struct ParentageChoice {
  GenotypeInputOptions input;
  ParentageOptions options;
};

ParentageChoice ChoiceOf(const CommandDeclaration& d, const CommandValues& values) {
  ParentageChoice choice;
  choice.input = GenotypeOptionsOf(d, values);
  choice.options.exclusionThreshold = values.Number(d, "exclusion-threshold");
  choice.options.searchCandidates = values.Flag(d, "search");
  return choice;
}

std::string Rate(const OpposingHomozygotes& count) {
  if (count.typedInBoth == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", count.Rate());
  return text;
}

std::string Cell(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string IdOfRow(const Pedigree& ped, const GenotypeInput& input, std::int64_t row) {
  return row < 0 ? std::string() : std::string(ped.rec(input.recOf[static_cast<std::size_t>(row)]).Id());
}

const char* RoleText(ParentRole role) { return role == ParentRole::kSire ? "sire" : "dam"; }

struct Counts {
  std::int64_t confirmed = 0, excluded = 0, untestable = 0, unknown = 0;
};

Counts CountVerdicts(const ParentageResult& result) {
  Counts c;
  for (const ParentCall& call : result.calls) {
    switch (call.verdict) {
      case ParentVerdict::kConfirmed: ++c.confirmed; break;
      case ParentVerdict::kExcluded: ++c.excluded; break;
      case ParentVerdict::kUntestable: ++c.untestable; break;
      case ParentVerdict::kUnknown: ++c.unknown; break;
    }
  }
  return c;
}

void WriteSummary(Pedigree& ped, const GenotypeInput& input, const ParentageChoice& choice,
                  const ParentageResult& result, ResultSet& tables) {
  const Counts c = CountVerdicts(result);
  char threshold[32];
  std::snprintf(threshold, sizeof threshold, "%g", choice.options.exclusionThreshold);
  WriteReportLines(ped, {std::string("|X") + kTitle + " by opposing homozygotes", ""});
  WriteInputLines(ped, input);
  WriteReportLines(ped, {"",
                         std::string("Exclusion threshold: ") + threshold + " of the SNPs typed in both",
                         "Recorded parents tested: " + std::to_string(c.confirmed + c.excluded + c.untestable),
                         "  confirmed: " + std::to_string(c.confirmed),
                         "  excluded: " + std::to_string(c.excluded),
                         "  no SNP typed in both: " + std::to_string(c.untestable),
                         "Recorded parents without genotypes: " + std::to_string(result.parentsNotGenotyped),
                         "Unknown parents of genotyped animals: " + std::to_string(c.unknown)});
  ResultTable& t = tables.Add(SummaryTable());
  t.AddFigure("Genotyped animals", input.genotypes.AnimalCount());
  t.AddFigure("SNPs", input.genotypes.SnpCount());
  t.AddFigure("Exclusion threshold", choice.options.exclusionThreshold);
  t.AddFigure("Recorded parents confirmed", c.confirmed);
  t.AddFigure("Recorded parents excluded", c.excluded);
  t.AddFigure("Recorded parents without SNPs typed in both", c.untestable);
  t.AddFigure("Recorded parents without genotypes", result.parentsNotGenotyped);
  t.AddFigure("Unknown parents", c.unknown);
}

ResultTable& CallsTable(ResultSet& tables) {
  ResultTable& t = tables.Add("parentage");
  t.AddColumn("id", ColumnType::kId).AddColumn("code", ColumnType::kInteger).AddColumn("parent", ColumnType::kText);
  t.AddColumn("recorded", ColumnType::kId).AddColumn("opposing", ColumnType::kInteger);
  t.AddColumn("typed", ColumnType::kInteger).AddColumn("rate", ColumnType::kReal);
  t.AddColumn("verdict", ColumnType::kText).AddColumn("candidates", ColumnType::kInteger);
  t.AddColumn("best", ColumnType::kId).AddColumn("best_opposing", ColumnType::kInteger);
  t.AddColumn("best_typed", ColumnType::kInteger).AddColumn("best_rate", ColumnType::kReal);
  t.AddColumn("runner_up", ColumnType::kId).AddColumn("runner_up_rate", ColumnType::kReal);
  return t;
}

void AddCallRow(const Pedigree& ped, const GenotypeInput& input, const ParentCall& call, ResultTable& t) {
  const Rec& animal = ped.rec(input.recOf[static_cast<std::size_t>(call.offspring)]);
  TableRow row = t.AddRow();
  row.Id(animal.Id()).Integer(animal.code).Text(RoleText(call.role));
  row.Id(call.recorded == kUnknownParent ? std::string_view() : ped.rec(call.recorded).Id());
  if (call.verdict == ParentVerdict::kUnknown) row.Missing().Missing().Missing();
  else row.Integer(call.recordedCount.opposing).Integer(call.recordedCount.typedInBoth).Real(call.recordedCount.Rate());
  row.Text(VerdictText(call.verdict)).Integer(call.candidates);
  row.Id(IdOfRow(ped, input, call.best));
  if (call.best < 0) row.Missing().Missing().Missing();
  else row.Integer(call.bestCount.opposing).Integer(call.bestCount.typedInBoth).Real(call.bestCount.Rate());
  row.Id(IdOfRow(ped, input, call.runnerUp)).Real(call.runnerUp < 0 ? std::nan("") : call.runnerUpCount.Rate());
}

// The excluded and unknown parents, one line each: the recorded parent's
// rate, the best candidate's and the runner-up's.
void WriteFlagged(Pedigree& ped, const GenotypeInput& input, const ParentageResult& result) {
  WriteReportLines(ped, {"", "|XExcluded and unknown parents",
                         "|A" + Cell("ID", 21) + Cell("Parent", 7) + Cell("Recorded", 21) + Cell("Rate", 8) +
                             Cell("Likeliest", 21) + Cell("Rate", 8) + "Next rate"});
  bool any = false;
  for (const ParentCall& call : result.calls) {
    if (call.verdict != ParentVerdict::kExcluded && call.verdict != ParentVerdict::kUnknown) continue;
    any = true;
    const std::string recorded = call.recorded == kUnknownParent ? "unknown" : std::string(ped.rec(call.recorded).Id());
    const std::string best = call.best < 0 ? "none" : IdOfRow(ped, input, call.best);
    WriteReportLines(ped, {Cell(IdOfRow(ped, input, call.offspring), 21) + Cell(RoleText(call.role), 7) +
                           Cell(recorded, 21) + Cell(call.verdict == ParentVerdict::kUnknown ? "" : Rate(call.recordedCount), 8) +
                           Cell(best, 21) + Cell(call.best < 0 ? "" : Rate(call.bestCount), 8) +
                           (call.runnerUp < 0 ? "" : Rate(call.runnerUpCount))});
  }
  if (!any) WriteReportLines(ped, {"None"});
}

}  // namespace

const char* VerdictText(ParentVerdict verdict) {
  switch (verdict) {
    case ParentVerdict::kConfirmed: return "confirmed";
    case ParentVerdict::kExcluded: return "excluded";
    case ParentVerdict::kUntestable: return "untestable";
    case ParentVerdict::kUnknown: return "unknown";
  }
  return "";
}

void OnParentage(CommandContext& ctx) {
  const CommandDeclaration declaration = ParentageDeclaration();
  if (!AskGenomicForm(ctx, declaration, kTitle)) return;
  ParentageChoice choice = ChoiceOf(declaration, ctx.remembered.values);
  WaitCursor cursor(ctx.platform);
  // Sexes, dates and generations only: no inbreeding is needed.
  EnsureCodeOrder(ctx.ped);
  std::optional<GenotypeInput> input = ReadUsableGenotypes(ctx, choice.input);
  if (!input) return;
  choice.options.threads = ctx.ped.settings.threads;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  progress.SetStage(0, 100, input->genotypes.AnimalCount(), "Checking parentage");
  const ParentageResult result = CheckParentage(ctx.ped, input->genotypes, input->recOf, choice.options, progress);
  window.reset();
  if (result.canceled) {
    ShowCanceled(ctx);
    return;
  }
  Pedigree& ped = ctx.ped;
  ped.report.Clear();
  ped.copyFile.Reset();
  ctx.lastCommand = kCmdParentage;
  ResultSet tables;
  WriteSummary(ped, *input, choice, result, tables);
  WriteFlagged(ped, *input, result);
  ResultTable& calls = CallsTable(tables);
  for (const ParentCall& call : result.calls) AddCallRow(ped, *input, call, calls);
  tables.Add(ResultTable(input->qcTable));
  ped.report.tables() = std::move(tables);
}

CommandDeclaration ParentageDeclaration() {
  using T = ParameterType;
  CommandDeclaration d{kCmdParentage, "parentage", GenotypeParameters()};
  d.parameters.push_back(Declare("exclusion-threshold", T::kNumber).Default("0.01").Range(0.0, 1.0).ValueName("X")
                             .Label("Exclusion threshold: opposing homozygotes per SNP typed in both")
                             .Help("Exclude a parent above this rate of opposing homozygotes (default 0.01)")
                             .Refusal("The exclusion threshold must be a number from 0 to 1."));
  d.parameters.push_back(Declare("search", T::kFlag).OffOption("no-search").Shown(Control::kCheck)
                             .Label("Search the likeliest parents for excluded and unknown ones")
                             .Help("No search for the likeliest parents"));
  return d
      .Runs(OnParentage)
      .Summary("Check the recorded parents of the genotyped animals by SNPs")
      .Explanation("Usage: kinvar-cli parentage PEDIGREE --genotypes FILE [--exclusion-threshold X] [--no-search]\n"
                   "For every genotyped animal whose sire or dam is genotyped: the opposing homozygotes (SNPs\n"
                   "where parent and offspring are homozygous for different alleles), as a count and a rate\n"
                   "over the SNPs typed in both; a parent above X (default 0.01) is excluded. For excluded\n"
                   "and unknown parents, the likeliest parent among the genotyped animals of that sex, born\n"
                   "before the animal when both birth dates are known and not its descendant, with the\n"
                   "runner-up's rate. The table 'parentage' has every parent checked.")
      .Menu({.menu = kGenomicsMenu, .text = "&Parentage...",
                 .prompt = "Check the recorded parents of the genotyped animals by SNPs and find the likeliest ones",
                 .tooltip = "Parentage", .rule = kValid});
}

}  // namespace kinvar
