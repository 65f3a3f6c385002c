#include <cmath>

#include "analyses/command_ids.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/genotype_input_form.h"
#include "analyses/command_ids.h"
#include "genomics/genomic_inbreeding.h"
#include "report/report_store.h"

namespace kinvar {
namespace {

constexpr const char* kTitle = "Genomic inbreeding";
constexpr std::int32_t kNamedAnimals = 10;

struct InbreedingChoice {
  GenotypeChoice genotypes;
  RohOptions roh;
};

// The accepted values as the run takes them; nothing when no frequency file
// is named, which the user is told.
std::optional<InbreedingChoice> ChoiceOf(const CommandDeclaration& d, const CommandValues& values,
                                         Platform& platform) {
  const std::optional<GenotypeChoice> genotypes = GenotypeChoiceOf(d, values, platform);
  if (!genotypes) return std::nullopt;
  const auto whole = [&](const char* name) { return static_cast<std::int32_t>(values.Number(d, name)); };
  const RohOptions roh{whole("roh-window-snps"), whole("roh-max-het"), whole("roh-max-missing"),
                       values.Number(d, "roh-min-share"), whole("roh-min-snps"),
                       static_cast<std::int64_t>(values.Number(d, "roh-min-length"))};
  return InbreedingChoice{*genotypes, roh};
}

struct Columns {
  std::vector<double> pedigree, fG, fHom, fRoh;
};

Columns ColumnsOf(const Pedigree& ped, const GenotypeInput& input, const GenomicInbreedingResult& result) {
  Columns c;
  for (std::size_t a = 0; a < result.animals.size(); ++a) {
    c.pedigree.push_back(ped.rec(input.recOf[a]).f);
    c.fG.push_back(result.animals[a].fG);
    c.fHom.push_back(result.animals[a].fHom);
    c.fRoh.push_back(result.animals[a].roh.f);
  }
  return c;
}

PairSums SumsOf(const std::vector<double>& x, const std::vector<double>& y) {
  PairSums sums;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (!std::isnan(x[i]) && !std::isnan(y[i])) sums.Add(x[i], y[i]);
  }
  return sums;
}

ResultTable AnimalTable(const Pedigree& ped, const GenotypeInput& input, const GenomicInbreedingResult& result) {
  ResultTable table("genomic_inbreeding");
  table.AddColumn("id", ColumnType::kId);
  table.AddColumn("code", ColumnType::kInteger);
  table.AddColumn("f_pedigree", ColumnType::kReal);
  table.AddColumn("f_g", ColumnType::kReal);
  table.AddColumn("f_hom", ColumnType::kReal);
  table.AddColumn("f_roh", ColumnType::kReal);
  table.AddColumn("roh_runs", ColumnType::kInteger);
  table.AddColumn("roh_length", ColumnType::kInteger, "bp");
  table.AddColumn("snps_called", ColumnType::kInteger);
  table.Reserve(result.animals.size());
  for (std::size_t a = 0; a < result.animals.size(); ++a) {
    const Rec& r = ped.rec(input.recOf[a]);
    const GenomicF& f = result.animals[a];
    table.AddRow().Id(r.Id()).Integer(r.code).Float(r.f).Float(static_cast<float>(f.fG))
        .Float(static_cast<float>(f.fHom)).Float(static_cast<float>(f.roh.f))
        .Integer(f.roh.runs).Integer(f.roh.length).Integer(f.called);
  }
  return table;
}

void WriteMeasures(Pedigree& ped, const Columns& c) {
  Line(ped, "Measure|T1Mean|T2Correlation with pedigree F");
  const std::pair<const char*, const std::vector<double>*> rows[] = {
      {"Pedigree F", &c.pedigree}, {"F from G's diagonal", &c.fG}, {"F from homozygosity", &c.fHom},
      {"F from runs (F_ROH)", &c.fRoh}};
  for (const auto& [name, values] : rows) {
    const PairSums sums = SumsOf(c.pedigree, *values);
    const double mean = sums.count > 0 ? sums.MeanG() : std::nan("");
    const std::string correlation = values == &c.pedigree ? "" : "|T2" + Number(ped, sums.Correlation());
    Line(ped, std::string(name) + "|T1" + Number(ped, mean) + correlation);
  }
}

void WriteInbreedingReport(Pedigree& ped, const GenotypeInput& input, const InbreedingChoice& choice,
                           const std::vector<double>& p, const GenomicInbreedingResult& result) {
  const Columns c = ColumnsOf(ped, input, result);
  const LineFit fit = FitAndFurthest(c.pedigree, c.fG, kNamedAnimals);
  const AutosomeMap map = MapAutosomes(input.genotypes);
  ResultTable& summary = ped.report.tables().Add(SummaryTable("genomic_inbreeding_summary"));
  summary.AddFigure("Genotyped animals", input.genotypes.AnimalCount());
  summary.AddFigure("SNPs used", SnpsUsed(p));
  summary.AddFigure("Autosomes' covered length (bp)", map.coveredLength);
  summary.AddFigure("Slope of F_G on pedigree F", fit.slope);
  summary.AddFigure("Intercept of F_G on pedigree F", fit.intercept);
  ped.report.tables().Add(input.qcTable);
  ped.report.tables().Add(AnimalTable(ped, input, result));
  ResultTable& furthest = ped.report.tables().Add("genomic_inbreeding_furthest");
  furthest.AddColumn("id", ColumnType::kId);
  furthest.AddColumn("f_pedigree", ColumnType::kReal);
  furthest.AddColumn("f_g", ColumnType::kReal);
  furthest.AddColumn("residual", ColumnType::kReal);
  for (const std::int64_t a : fit.furthest) {
    const auto k = static_cast<std::size_t>(a);
    furthest.AddRow().Id(ped.rec(input.recOf[k]).Id()).Float(static_cast<float>(c.pedigree[k]))
        .Float(static_cast<float>(c.fG[k])).Float(static_cast<float>(c.fG[k] - fit.intercept - fit.slope * c.pedigree[k]));
  }

  const RohOptions& o = choice.roh;
  WriteGenomicHead(
      ped, kTitle, input, SnpsUsed(p),
      {Figure("Allele frequencies", FrequencySourceText(choice.genotypes)),
       Figure("Autosomes", std::to_string(map.snpsOf.size()) + ", covering " + std::to_string(map.coveredLength) +
                               " bp"),
       Figure("Runs: window", std::to_string(o.windowSnps) + " SNPs, at most " + std::to_string(o.maxHet) +
                                  " heterozygous and " + std::to_string(o.maxMissing) + " missing"),
       Figure("Runs: a SNP is in a run when homozygous",
              "at least " + Number(ped, o.minHomozygousShare) + " of the windows over it"),
       Figure("Runs: shortest run",
              std::to_string(o.minRunSnps) + " SNPs and " + std::to_string(o.minRunLength) + " bp")});
  Line(ped, "");
  WriteMeasures(ped, c);
  Line(ped, "");
  Line(ped, Figure("F_G = intercept + slope x pedigree F",
                   Number(ped, fit.intercept) + " + " + Number(ped, fit.slope) + " x F"));
  if (!fit.furthest.empty()) {
    Line(ped, "");
    Line(ped, "|XAnimals furthest from the line");
    Line(ped, "ID|T1Pedigree F|T2F_G|T2Residual");
    for (const std::int64_t a : fit.furthest) {
      const auto k = static_cast<std::size_t>(a);
      Line(ped, std::string(ped.rec(input.recOf[k]).Id()) + "|T1" + Number(ped, c.pedigree[k]) + "|T2" +
                    Number(ped, c.fG[k]) + "|T2" + Number(ped, c.fG[k] - fit.intercept - fit.slope * c.pedigree[k]));
    }
  }
  Line(ped, "");
  Line(ped, "ID|T1Code|T2Pedigree F|T2F_G|T2F_hom|T2F_ROH|T2Runs");
  for (std::size_t a = 0; a < result.animals.size(); ++a) {
    const Rec& r = ped.rec(input.recOf[a]);
    const GenomicF& f = result.animals[a];
    Line(ped, std::string(r.Id()) + "|T1" + std::to_string(r.code) + "|T2" + Number(ped, r.f) + "|T2" +
                  Number(ped, f.fG) + "|T2" + Number(ped, f.fHom) + "|T2" + Number(ped, f.roh.f) + "|T2" +
                  std::to_string(f.roh.runs));
  }
}

}  // namespace

void OnGenomicInbreeding(CommandContext& ctx) {
  const CommandDeclaration declaration = GenomicInbreedingDeclaration();
  std::optional<InbreedingChoice> choice;
  const auto read = [&] { return (choice = ChoiceOf(declaration, ctx.remembered.values, ctx.platform)).has_value(); };
  if (!AskGenomicForm(ctx, declaration, kTitle, read)) return;
  GenomicInbreedingResult result;
  RunGenomicCommand(
      ctx, kCmdGenomicInbreeding, choice->genotypes,
      [&](const GenotypeInput& input, const std::vector<double>& p, Progress& progress) {
        result = GenomicInbreeding(input.genotypes, p, choice->roh, progress);
        return result.cancelled ? GenomicOutcome::kCanceled : GenomicOutcome::kDone;
      },
      [&](Pedigree& ped, const GenotypeInput& input, const std::vector<double>& p) {
        WriteInbreedingReport(ped, input, *choice, p, result);
      });
}

CommandDeclaration GenomicInbreedingDeclaration() {
  using T = ParameterType;
  const auto whole = [](const char* name, const char* label, const char* otherwise, double low, double high,
                        const char* help) {
    return Declare(name, T::kInteger).Default(otherwise).Range(low, high).ValueName("N").Label(label).Help(help)
        .Refusal(std::string(label) + " must be a whole number from " + std::to_string(static_cast<std::int64_t>(low)) +
                 " to " + std::to_string(static_cast<std::int64_t>(high)) + ".");
  };
  CommandDeclaration d{kCmdGenomicInbreeding, "genomic-inbreeding", GenotypeParameters()};
  const std::vector<Parameter> own{
      FrequenciesParameter(),
      whole("roh-window-snps", "Runs: SNPs in a window", "50", 1, 100000, "Runs: SNPs in a sliding window (default 50)"),
      whole("roh-max-het", "Runs: heterozygous calls allowed in a window", "1", 0, 100000,
            "Runs: heterozygous calls allowed in a window (default 1)"),
      whole("roh-max-missing", "Runs: missing calls allowed in a window", "5", 0, 100000,
            "Runs: missing calls allowed in a window (default 5)"),
      // Above 0: the least double past it.
      Declare("roh-min-share", T::kNumber).Default("0.05").Range(std::nextafter(0.0, 1.0), 1.0).ValueName("X")
          .Label("Runs: share of homozygous windows over a SNP in a run")
          .Help("Runs: a SNP is in a run when this share of the windows over it are homozygous (default 0.05)")
          .Refusal("Runs: the share of homozygous windows must be a number above 0 and at most 1."),
      whole("roh-min-snps", "Runs: smallest number of SNPs in a run", "50", 1, 10000000,
            "Runs: the fewest SNPs in a run (default 50)"),
      whole("roh-min-length", "Runs: shortest run in base pairs", "1000000", 0, 10000000000.0,
            "Runs: the shortest run in base pairs (default 1000000)")
          .ValueName("BP"),
  };
  d.parameters.insert(d.parameters.end(), own.begin(), own.end());
  return d
      .Runs(OnGenomicInbreeding)
      .Summary("Genomic inbreeding of the genotyped animals beside pedigree F")
      .Explanation("Usage: kinvar-cli genomic-inbreeding PEDIGREE --genotypes FILE\n"
                   "F from G's diagonal (F_G = G_ii - 1), from homozygosity against its expectation and\n"
                   "from runs of homozygosity (F_ROH, the --roh-* options), beside pedigree F, with the\n"
                   "line of F_G on pedigree F and the 10 animals furthest from it.")
      .Menu({.menu = kGenomicsMenu, .text = "Genomic &Inbreeding...",
                 .prompt = "Compute genomic inbreeding from the genotypes beside pedigree F",
                 .tooltip = "Genomic inbreeding", .rule = kValid});
}

}  // namespace kinvar
