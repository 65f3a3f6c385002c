#include "analyses/genomic_relationship_command.h"

#include <cmath>
#include <memory>

#include "analyses/command_ids.h"
#include "genomics/genomic_relationship_files.h"
#include "genomics/genotype_input_form.h"
#include "pedigree/number_text.h"
#include "report/number_format.h"
#include "report/report_store.h"

namespace kinvar {
namespace {

constexpr const char* kTitle = "Genomic relationships";
constexpr std::size_t kSharedFields = kGenotypeFieldCount + 2;

std::string Remembered(const std::map<std::string, std::string>& r, const std::string& key,
                       const std::string& otherwise) {
  const auto it = r.find(key);
  return it == r.end() ? otherwise : it->second;
}

}  // namespace

void Line(Pedigree& ped, const std::string& line) { WriteReportLine(ped.report, line, &ped.copyFile); }
std::string Figure(const std::string& label, const std::string& value) { return label + "|T3|I" + value; }

namespace {

// A file's name as a report figure: its folder left out, and cut to the
// report's width (a line may not pass it), the cut marked.
std::string FileFigure(const std::string& label, const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  constexpr std::size_t kRoom = ReportStore::kMaxLineLength - 60;
  if (name.size() > kRoom) name = name.substr(0, kRoom - 3) + "...";
  for (char& c : name) {
    if (c == '|') c = '/';
  }
  return Figure(label, name);
}

}  // namespace

std::string Number(const Pedigree& ped, double value) {
  if (std::isnan(value)) return "-";
  return FormatNumber(ped.settings.numberFormat, static_cast<float>(value));
}

// A path in the genotype input's lines could pass the report's width,
// which would end the program: such a line is cut.
void WriteInputLines(Pedigree& ped, const GenotypeInput& input) {
  for (std::string line : input.reportLines) {
    if (line.size() > ReportStore::kMaxLineLength) line = line.substr(0, ReportStore::kMaxLineLength - 3) + "...";
    Line(ped, line);
  }
}

namespace {

struct RelationshipChoice {
  GenotypeChoice genotypes;
  GenomicMethod method = GenomicMethod::kVanRaden1;
  std::string output;
  GenomicMatrixForm form = GenomicMatrixForm::kTriplets;
  std::int32_t pairs = 20;
};

const char* MethodText(GenomicMethod method) {
  switch (method) {
    case GenomicMethod::kVanRaden1: return "VanRaden 1: ZZ' / 2 sum p(1 - p)";
    case GenomicMethod::kVanRaden2: return "VanRaden 2: each SNP standardised";
    case GenomicMethod::kYang: return "Yang's GRM";
  }
  return "";
}

std::optional<RelationshipChoice> AskRelationship(CommandContext& ctx) {
  std::map<std::string, std::string>& r = ctx.remembered.genomicForm;
  ValueForm form{kTitle, GenotypeFields(r), {}};
  form.fields.push_back({"method", "Method: vanraden1, vanraden2 or yang", Remembered(r, "method", "vanraden1")});
  form.fields.push_back({"output-format", "G's file: triplets, dense or gcta", Remembered(r, "output-format", "triplets")});
  form.fields.push_back({"output", "Write G to (none: only the report)", Remembered(r, "output", ""), false,
                         ValueForm::Field::File::kWrite});
  form.fields.push_back({"pairs", "Pairs listed that differ most from the pedigree", Remembered(r, "pairs", "20")});
  RelationshipChoice choice;
  form.accept = [&](const std::vector<std::string>& texts) {
    const auto refuse = [&](const std::string& message) {
      ctx.platform.ShowMessage(message, MessageIcon::kError);
      return false;
    };
    if (!ReadGenotypeChoice(texts, choice.genotypes, ctx.platform)) return false;
    const std::string& method = texts[kSharedFields];
    if (method == "vanraden1") choice.method = GenomicMethod::kVanRaden1;
    else if (method == "vanraden2") choice.method = GenomicMethod::kVanRaden2;
    else if (method == "yang") choice.method = GenomicMethod::kYang;
    else return refuse("The method must be vanraden1, vanraden2 or yang.");
    const std::string& format = texts[kSharedFields + 1];
    if (format == "triplets") choice.form = GenomicMatrixForm::kTriplets;
    else if (format == "dense") choice.form = GenomicMatrixForm::kDense;
    else if (format == "gcta") choice.form = GenomicMatrixForm::kGcta;
    else return refuse("G's file must be triplets, dense or gcta.");
    choice.output = texts[kSharedFields + 2];
    const auto pairs = WholeInteger(texts[kSharedFields + 3], 0, 10000);
    if (!pairs) return refuse("The pairs listed must be a whole number from 0 to 10000.");
    choice.pairs = static_cast<std::int32_t>(*pairs);
    for (std::size_t i = 0; i < texts.size(); ++i) r[form.fields[i].key] = texts[i];
    return true;
  };
  if (!ctx.platform.AskValues(form)) return std::nullopt;
  return choice;
}

ResultTable ComparisonTable(const GenomicPedigreeComparison& c) {
  ResultTable table("genomic_pedigree");
  table.AddColumn("elements", ColumnType::kText);
  table.AddColumn("count", ColumnType::kInteger);
  table.AddColumn("mean_g", ColumnType::kReal);
  table.AddColumn("mean_a22", ColumnType::kReal);
  table.AddColumn("slope", ColumnType::kReal);
  table.AddColumn("intercept", ColumnType::kReal);
  table.AddColumn("correlation", ColumnType::kReal);
  const std::pair<const char*, const PairSums*> rows[] = {
      {"diagonal", &c.diagonal}, {"off-diagonal", &c.offDiagonal}, {"all", &c.all}};
  for (const auto& [name, sums] : rows) {
    table.AddRow().Text(name).Integer(sums->count).Real(sums->MeanG()).Real(sums->MeanA())
        .Real(sums->Slope()).Real(sums->Intercept()).Real(sums->Correlation());
  }
  return table;
}

ResultTable PairsTable(const Pedigree& ped, const GenotypeInput& input, const GenomicPedigreeComparison& c) {
  ResultTable table("genomic_pedigree_pairs");
  table.AddColumn("id1", ColumnType::kId);
  table.AddColumn("id2", ColumnType::kId);
  table.AddColumn("g", ColumnType::kReal);
  table.AddColumn("a22", ColumnType::kReal);
  table.AddColumn("difference", ColumnType::kReal);
  for (const PairDifference& d : c.largest) {
    table.AddRow()
        .Id(ped.rec(input.recOf[static_cast<std::size_t>(d.i)]).Id())
        .Id(ped.rec(input.recOf[static_cast<std::size_t>(d.j)]).Id())
        .Float(static_cast<float>(d.g))
        .Float(static_cast<float>(d.a))
        .Float(static_cast<float>(d.g - d.a));
  }
  return table;
}

void WriteRelationshipReport(Pedigree& ped, const GenotypeInput& input, const RelationshipChoice& choice,
                             std::int64_t snpsUsed, const GenomicPedigreeComparison& c,
                             const std::vector<std::string>& written) {
  ResultTable& summary = ped.report.tables().Add(SummaryTable("genomic_relationship"));
  summary.AddFigure("Genotyped animals", input.genotypes.AnimalCount());
  summary.AddFigure("SNPs used", snpsUsed);
  summary.AddFigure("Mean diagonal of G", c.diagonal.MeanG());
  summary.AddFigure("Mean off-diagonal of G", c.offDiagonal.count > 0 ? c.offDiagonal.MeanG() : std::nan(""));
  ped.report.tables().Add(input.qcTable);
  ped.report.tables().Add(ComparisonTable(c));
  ped.report.tables().Add(PairsTable(ped, input, c));
  Line(ped, std::string("|X") + kTitle);
  Line(ped, "");
  WriteInputLines(ped, input);
  Line(ped, "");
  Line(ped, Figure("Genotyped animals", std::to_string(input.genotypes.AnimalCount())));
  Line(ped, Figure("SNPs used", std::to_string(snpsUsed)));
  Line(ped, Figure("Method", MethodText(choice.method)));
  Line(ped, Figure("Allele frequencies", FrequencySourceText(choice.genotypes)));
  for (const std::string& path : written) Line(ped, FileFigure("G written to", path));
  Line(ped, "");
  Line(ped, "|XG against the pedigree's A22");
  Line(ped, "Elements|T1Count|T2Mean G|T2Mean A22|T2Slope|T2Intercept|T2Correlation");
  const std::pair<const char*, const PairSums*> rows[] = {
      {"Diagonal", &c.diagonal}, {"Off-diagonal", &c.offDiagonal}, {"All", &c.all}};
  for (const auto& [name, s] : rows) {
    if (s->count == 0) continue;
    Line(ped, std::string(name) + "|T1" + std::to_string(s->count) + "|T2" + Number(ped, s->MeanG()) + "|T2" +
                  Number(ped, s->MeanA()) + "|T2" + Number(ped, s->Slope()) + "|T2" + Number(ped, s->Intercept()) +
                  "|T2" + Number(ped, s->Correlation()));
  }
  if (c.largest.empty()) return;
  Line(ped, "");
  Line(ped, "|XPairs whose genomic relationship differs most from the pedigree's");
  Line(ped, "ID 1|T1ID 2|T1G|T2A22|T2G - A22");
  for (const PairDifference& d : c.largest) {
    Line(ped, std::string(ped.rec(input.recOf[static_cast<std::size_t>(d.i)]).Id()) + "|T1" +
                  std::string(ped.rec(input.recOf[static_cast<std::size_t>(d.j)]).Id()) + "|T1" + Number(ped, d.g) +
                  "|T2" + Number(ped, d.a) + "|T2" + Number(ped, d.g - d.a));
  }
}

// G's file for the animals of `input`; nothing when it cannot be begun
// (the user has been told).
std::unique_ptr<GenomicMatrixWriter> BeginWriter(CommandContext& ctx, const GenotypeInput& input,
                                                 const RelationshipChoice& choice) {
  std::vector<std::int32_t> codes;
  std::vector<std::string> ids;
  for (const RecIndex r : input.recOf) {
    codes.push_back(ctx.ped.rec(r).code);
    ids.emplace_back(ctx.ped.rec(r).Id());
  }
  std::string error;
  auto writer = BeginGenomicMatrix(choice.form, choice.output, std::move(codes), std::move(ids), error);
  if (!writer) ctx.platform.ShowMessage(error, MessageIcon::kError);
  return writer;
}

}  // namespace

std::optional<GenotypeInput> ReadGenotypes(CommandContext& ctx, const GenotypeChoice& choice,
                                           const CancelLatch& latch, Progress& progress) {
  GenotypeInput input = ReadGenotypeInput(ctx.ped, choice.input, progress);
  if (latch.cancelled()) {
    ShowCanceled(ctx);
    return std::nullopt;
  }
  if (!input.error.empty()) {
    ctx.platform.ShowMessage(input.error, MessageIcon::kError);
    return std::nullopt;
  }
  SetGenomicThreads(ctx.ped.settings.threads);
  return input;
}

std::vector<ValueForm::Field> GenotypeFields(const std::map<std::string, std::string>& r) {
  GenotypeFormTexts texts;
  texts.path = Remembered(r, kGenotypesKey, texts.path);
  texts.format = Remembered(r, kGenotypeFormatKey, texts.format);
  texts.minSnpCallRate = Remembered(r, kMinSnpCallRateKey, texts.minSnpCallRate);
  texts.minAnimalCallRate = Remembered(r, kMinAnimalCallRateKey, texts.minAnimalCallRate);
  texts.minMaf = Remembered(r, kMinMafKey, texts.minMaf);
  std::vector<ValueForm::Field> fields = GenotypeFormFields(texts);
  fields.push_back({"frequencies", "Allele frequencies: genotyped, founders or file",
                    Remembered(r, "frequencies", "genotyped")});
  fields.push_back({"frequency-file", "Allele frequencies file", Remembered(r, "frequency-file", ""), false,
                    ValueForm::Field::File::kRead});
  return fields;
}

bool ReadGenotypeChoice(const std::vector<std::string>& texts, GenotypeChoice& choice, Platform& platform) {
  const std::optional<GenotypeInputOptions> input = GenotypeOptionsFromForm(texts, 0, platform);
  if (!input) return false;
  choice.input = *input;
  const std::string& source = texts[kGenotypeFieldCount];
  const auto refuse = [&](const char* message) {
    platform.ShowMessage(message, MessageIcon::kError);
    return false;
  };
  if (source == "genotyped") choice.frequencies = FrequencySource::kGenotyped;
  else if (source == "founders") choice.frequencies = FrequencySource::kFounders;
  else if (source == "file") choice.frequencies = FrequencySource::kFile;
  else return refuse("The allele frequencies must be genotyped, founders or file.");
  choice.frequencyFile = texts[kGenotypeFieldCount + 1];
  if (choice.frequencies == FrequencySource::kFile && choice.frequencyFile.empty()) {
    return refuse("Name the allele frequencies file.");
  }
  return true;
}

std::string FrequencySourceText(const GenotypeChoice& choice) {
  switch (choice.frequencies) {
    case FrequencySource::kGenotyped: return "of the genotyped animals";
    case FrequencySource::kFounders: return "of the base, by gene content through A22";
    case FrequencySource::kFile: return "from " + choice.frequencyFile;
  }
  return "";
}

Frequencies ChooseFrequencies(Pedigree& ped, const GenotypeInput& input, const GenotypeChoice& choice,
                              Progress& progress) {
  Frequencies out;
  switch (choice.frequencies) {
    case FrequencySource::kGenotyped:
      out.p = AlleleFrequencies(input.genotypes);
      break;
    case FrequencySource::kFounders: {
      A22Kernel kernel = MakeA22Kernel(ped, input.recOf);
      out.p = FounderFrequencies(kernel, input.genotypes, progress);
      out.cancelled = out.p.empty() && input.genotypes.SnpCount() > 0;
      break;
    }
    case FrequencySource::kFile:
      out.error = ReadFrequencyFile(choice.frequencyFile, input.genotypes, out.p);
      break;
  }
  return out;
}

std::optional<std::vector<double>> FrequenciesOrStop(CommandContext& ctx, const GenotypeInput& input,
                                                     const GenotypeChoice& choice, Progress& progress) {
  Frequencies frequencies = ChooseFrequencies(ctx.ped, input, choice, progress);
  if (frequencies.cancelled) {
    ShowCanceled(ctx);
    return std::nullopt;
  }
  if (!frequencies.error.empty()) {
    ctx.platform.ShowMessage(frequencies.error, MessageIcon::kError);
    return std::nullopt;
  }
  return std::move(frequencies.p);
}

void OnGenomicRelationship(CommandContext& ctx) {
  const std::optional<RelationshipChoice> choice = AskRelationship(ctx);
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
  std::unique_ptr<GenomicMatrixWriter> writer;
  if (!choice->output.empty() && !(writer = BeginWriter(ctx, *input, *choice))) return;
  A22Kernel kernel = MakeA22Kernel(ped, input->recOf);
  GenomicPedigreeComparison comparison;
  GenomicRowOptions options;
  options.fullRows = writer && writer->FullRows();
  options.counts = writer && writer->Counts();
  const bool done = ForEachGenomicRowBlock(input->genotypes, *p, choice->method, options, [&](const GenomicRowBlock& b) {
    if (writer) WriteGenomicRows(*writer, b);
    for (std::int64_t i = b.first; i < b.end; ++i) {
      CompareRow(kernel, i, b.values + (i - b.first) * b.columns, choice->pairs, comparison);
    }
    return true;
  }, progress);
  window.reset();
  if (!done) {
    ShowCanceled(ctx);
    return;
  }
  FinishComparison(comparison);
  std::vector<std::string> written;
  if (writer) {
    std::string error;
    if (!CommitGenomicMatrix(*writer, error)) {
      ctx.platform.ShowMessage(error, MessageIcon::kError);
      return;
    }
    written = GenomicMatrixPaths(choice->form, choice->output);
  }
  ped.report.Clear();
  ped.copyFile.Reset();
  ctx.lastCommand = kCmdGenomicRelationship;
  WriteRelationshipReport(ped, *input, *choice, SnpsUsed(*p), comparison, written);
}

}  // namespace kinvar
