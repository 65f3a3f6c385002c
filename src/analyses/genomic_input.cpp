#include "analyses/genomic_input.h"

#include <charconv>
#include <cmath>

#include "analyses/command_ids.h"
#include "analyses/genotype_input_form.h"
#include "report/report_store.h"

namespace kinvar {

namespace {

void Write(Pedigree& ped, const std::string& line) { WriteReportLine(ped.report, line, &ped.copyFile); }

std::string Figure(double value) {
  if (std::isnan(value)) return ".";
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

ResultTable IdTable(const std::string& name, const std::vector<std::string>& ids) {
  ResultTable table(name);
  table.AddColumn("id", ColumnType::kId);
  table.Reserve(ids.size());
  for (const std::string& id : ids) table.AddRow().Id(id);
  return table;
}

void AddTables(const Pedigree& ped, GenotypeInput& input, ResultSet& tables) {
  ResultTable& summary = tables.Add(SummaryTable());
  const auto notFound = static_cast<std::int64_t>(input.notInPedigree.size());
  summary.AddFigure("Animals in the file", input.animalsInFile);
  summary.AddFigure("Animals in the pedigree", input.animalsInFile - notFound);
  summary.AddFigure("Animals not in the pedigree", notFound);
  summary.AddFigure("Pedigree animals without genotypes", input.pedigreeWithoutGenotypes);
  summary.AddFigure("SNPs in the file", input.snpsInFile);
  summary.AddFigure("Animals kept", input.genotypes.AnimalCount());
  summary.AddFigure("SNPs kept", input.genotypes.SnpCount());
  tables.Add(std::move(input.qcTable));
  tables.Add(std::move(input.droppedTable));
  tables.Add(IdTable("not_in_pedigree", input.notInPedigree));
  std::vector<std::string> without;
  without.reserve(input.withoutGenotypes.size());
  for (const RecIndex rec : input.withoutGenotypes) without.emplace_back(ped.rec(rec).Id());
  tables.Add(IdTable("without_genotypes", without));
}

void WriteDropped(Pedigree& ped, const ResultTable& dropped) {
  if (dropped.rows() == 0) return;
  Write(ped, "");
  Write(ped, "Dropped:");
  Write(ped, "Kind|T1Name|T1Reason|T1Value");
  for (std::size_t row = 0; row < dropped.rows(); ++row)
    Write(ped, std::string(dropped.column(0).Text(row)) + "|T1" + std::string(dropped.column(1).Text(row)) + "|T1" +
                   std::string(dropped.column(2).Text(row)) + "|T1" + Figure(dropped.column(3).Real(row)));
}

}  // namespace

std::optional<GenotypeInput> ReadGenotypesFor(CommandContext& ctx, const GenotypeInputOptions& options) {
  EnsureCodeOrder(ctx.ped);
  GenotypeInput input;
  {
    const auto window = ctx.platform.OpenProgress();
    Progress progress(*window);
    input = ReadGenotypeInput(ctx.ped, options, progress);
  }
  if (input.error.find(" was cancelled.") != std::string::npos) {
    ShowCanceled(ctx);
    return std::nullopt;
  }
  if (!input.error.empty() && input.qcTable.rows() == 0) {
    ctx.platform.ShowMessage(input.error, MessageIcon::kError);
    return std::nullopt;
  }
  return input;
}

void WriteFittedLine(Pedigree& ped, std::string line) {
  if (line.size() > ReportStore::kMaxLineLength) line = line.substr(0, ReportStore::kMaxLineLength - 3) + "...";
  Write(ped, line);
}

void WriteInputLines(Pedigree& ped, const GenotypeInput& input) {
  for (const std::string& line : input.reportLines) WriteFittedLine(ped, line);
}

std::optional<GenotypeInput> ReadUsableGenotypes(CommandContext& ctx, const GenotypeInputOptions& options) {
  std::optional<GenotypeInput> input = ReadGenotypesFor(ctx, options);
  if (input && !input->error.empty()) {
    ctx.platform.ShowMessage(input->error, MessageIcon::kError);
    return std::nullopt;
  }
  return input;
}

CommandDeclaration GenotypeQcDeclaration() {
  return CommandDeclaration{kCmdGenotypeQc, "genotype-qc", GenotypeParameters()}
      .Runs(OnGenotypeQc)
      .Summary("Check a genotype file against the pedigree: quality control and matching")
      .Explanation("Usage: kinvar-cli genotype-qc PEDIGREE --genotypes FILE [--genotype-format plink|vcf|text]\n"
                   "[--min-snp-call-rate X] [--min-animal-call-rate X] [--min-maf X]\n"
                   "Reads the genotypes (a PLINK .bed with its .bim and .fam, a VCF or BCF, or the text form:\n"
                   "an ID and a string of 0, 1, 2 with 5 or 9 for missing), matches the animals to the\n"
                   "pedigree by ID, and applies the quality control every genomic command applies, in this\n"
                   "order: animals' call rate, SNPs' call rate, monomorphic SNPs, minor allele frequency.\n"
                   "Writes the counts, each step's dropped and left, and every SNP and animal dropped.")
      .Menu(
      {.menu = kGenomicsMenu, .text = "Genotype &Quality Control...",
       .prompt = "Check a genotype file against the pedigree: call rates, allele frequencies, what is dropped",
       .tooltip = "Genotype quality control", .rule = kValid, .follows = kCmdOptimumContributions});
}

void OnGenotypeQc(CommandContext& ctx) {
  const CommandDeclaration declaration = GenotypeQcDeclaration();
  if (!AskGenomicForm(ctx, declaration, "Genotype quality control")) return;
  WaitCursor cursor(ctx.platform);
  std::optional<GenotypeInput> input = ReadGenotypesFor(ctx, GenotypeOptionsOf(declaration, ctx.remembered.values));
  if (!input) return;
  Pedigree& ped = ctx.ped;
  ped.report.Clear();
  ped.copyFile.Reset();
  Write(ped, "|XGenotype quality control");
  WriteInputLines(ped, *input);
  if (!input->error.empty()) WriteFittedLine(ped, "|X" + input->error);
  WriteDropped(ped, input->droppedTable);
  AddTables(ped, *input, ped.report.tables());
  ctx.lastCommand = kCmdGenotypeQc;
}

}  // namespace kinvar
