#include <cmath>

#include "analyses/command_ids.h"
#include "analyses/genomic_relationship_command.h"
#include "genomics/genomic_inbreeding.h"
#include "pedigree/number_text.h"
#include "report/report_store.h"

namespace kinvar {
namespace {

constexpr const char* kTitle = "Genomic inbreeding";
constexpr std::int32_t kNamedAnimals = 10;

struct InbreedingChoice {
  GenotypeChoice genotypes;
  RohOptions roh;
};

struct WholeField {
  const char* key;
  const char* label;
  const char* otherwise;
  std::int64_t low;
  std::int64_t high;
};

constexpr WholeField kRohFields[] = {
    {"roh-window-snps", "Runs: SNPs in a window", "50", 1, 100000},
    {"roh-max-het", "Runs: heterozygous calls allowed in a window", "1", 0, 100000},
    {"roh-max-missing", "Runs: missing calls allowed in a window", "5", 0, 100000},
    {"roh-min-snps", "Runs: smallest number of SNPs in a run", "50", 1, 10000000},
    {"roh-min-length", "Runs: shortest run in base pairs", "1000000", 0, 10000000000},
};

std::optional<std::string> ReadRoh(const std::vector<std::string>& texts, std::size_t first, RohOptions& roh) {
  std::int64_t values[5];
  for (std::size_t k = 0; k < 5; ++k) {
    const WholeField& f = kRohFields[k];
    const auto value = WholeInteger(texts[first + k], f.low, f.high);
    if (!value) {
      return std::string(f.label) + " must be a whole number from " + std::to_string(f.low) + " to " +
             std::to_string(f.high) + ".";
    }
    values[k] = *value;
  }
  const std::optional<double> share = WholeNumber(texts[first + 5]);
  if (!share || *share <= 0.0 || *share > 1.0) {
    return std::string("Runs: the share of homozygous windows must be a number above 0 and at most 1.");
  }
  roh = {static_cast<std::int32_t>(values[0]), static_cast<std::int32_t>(values[1]),
         static_cast<std::int32_t>(values[2]), *share, static_cast<std::int32_t>(values[3]), values[4]};
  return std::nullopt;
}

std::optional<InbreedingChoice> AskInbreeding(CommandContext& ctx) {
  std::map<std::string, std::string>& r = ctx.remembered.genomicForm;
  ValueForm form{kTitle, GenotypeFields(r), {}};
  const std::size_t shared = form.fields.size();
  for (const WholeField& f : kRohFields) {
    const auto it = r.find(f.key);
    form.fields.push_back({f.key, f.label, it == r.end() ? f.otherwise : it->second});
  }
  const auto it = r.find("roh-min-share");
  form.fields.push_back({"roh-min-share", "Runs: share of homozygous windows over a SNP in a run",
                         it == r.end() ? "0.05" : it->second});
  InbreedingChoice choice;
  form.accept = [&](const std::vector<std::string>& texts) {
    if (!ReadGenotypeChoice(texts, choice.genotypes, ctx.platform)) return false;
    if (const std::optional<std::string> problem = ReadRoh(texts, shared, choice.roh)) {
      ctx.platform.ShowMessage(*problem, MessageIcon::kError);
      return false;
    }
    for (std::size_t i = 0; i < texts.size(); ++i) r[form.fields[i].key] = texts[i];
    return true;
  };
  if (!ctx.platform.AskValues(form)) return std::nullopt;
  return choice;
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

  Line(ped, std::string("|X") + kTitle);
  Line(ped, "");
  WriteInputLines(ped, input);
  Line(ped, "");
  Line(ped, Figure("Genotyped animals", std::to_string(input.genotypes.AnimalCount())));
  Line(ped, Figure("SNPs used", std::to_string(SnpsUsed(p))));
  Line(ped, Figure("Allele frequencies", FrequencySourceText(choice.genotypes)));
  Line(ped, Figure("Autosomes", std::to_string(map.snpsOf.size()) + ", covering " +
                                    std::to_string(map.coveredLength) + " bp"));
  const RohOptions& o = choice.roh;
  Line(ped, Figure("Runs: window", std::to_string(o.windowSnps) + " SNPs, at most " + std::to_string(o.maxHet) +
                                       " heterozygous and " + std::to_string(o.maxMissing) + " missing"));
  Line(ped, Figure("Runs: a SNP is in a run when homozygous", "at least " + Number(ped, o.minHomozygousShare) +
                                                                  " of the windows over it"));
  Line(ped, Figure("Runs: shortest run", std::to_string(o.minRunSnps) + " SNPs and " +
                                             std::to_string(o.minRunLength) + " bp"));
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
  const std::optional<InbreedingChoice> choice = AskInbreeding(ctx);
  if (!choice) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  Pedigree& ped = ctx.ped;
  auto window = ctx.platform.OpenProgress();
  CancelLatch latch(*window);
  Progress progress(latch);
  const std::optional<GenotypeInput> input = ReadGenotypes(ctx, choice->genotypes, latch, progress);
  if (!input) return;
  const std::optional<std::vector<double>> p = FrequenciesOrStop(ctx, *input, choice->genotypes, progress);
  if (!p) return;
  const GenomicInbreedingResult result = GenomicInbreeding(input->genotypes, *p, choice->roh, progress);
  window.reset();
  if (result.cancelled) {
    ShowCanceled(ctx);
    return;
  }
  ped.report.Clear();
  ped.copyFile.Reset();
  ctx.lastCommand = kCmdGenomicInbreeding;
  WriteInbreedingReport(ped, *input, *choice, *p, result);
}

}  // namespace kinvar
