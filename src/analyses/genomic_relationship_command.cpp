#include "analyses/genomic_relationship_command.h"

#include <cmath>
#include <memory>

#include "analyses/genomic_input.h"
#include "analyses/command_ids.h"
#include "genomics/genomic_relationship_files.h"
#include "analyses/genotype_input_form.h"
#include "pedigree/number_text.h"
#include "report/number_format.h"
#include "report/report_store.h"

namespace kinvar {
namespace {

constexpr const char* kTitle = "Genomic relationships";

// A progress window that remembers a cancel: the genotype readers tell one
// as an error, which must end in the cancel state like any other.
class CancelLatch final : public ProgressWindow {
 public:
  explicit CancelLatch(ProgressWindow& window) : window_(window) {}
  void SetLabel(const std::string& label) override { window_.SetLabel(label); }
  void SetPosition(int percent) override { window_.SetPosition(percent); }
  bool PollCancel() override {
    cancelled_ = window_.PollCancel() || cancelled_;
    return cancelled_;
  }
  void SetWindowText(const std::string& text) override { window_.SetWindowText(text); }
  void ShowCancelButton(bool shown) override { window_.ShowCancelButton(shown); }
  void Hide() override { window_.Hide(); }
  bool cancelled() const { return cancelled_; }

 private:
  ProgressWindow& window_;
  bool cancelled_ = false;
};

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

std::optional<GenomicMethod> MethodOf(const std::string& text) {
  if (text == "vanraden1") return GenomicMethod::kVanRaden1;
  if (text == "vanraden2") return GenomicMethod::kVanRaden2;
  if (text == "yang") return GenomicMethod::kYang;
  return std::nullopt;
}

std::optional<GenomicMatrixForm> MatrixFormOf(const std::string& text) {
  if (text == "triplets") return GenomicMatrixForm::kTriplets;
  if (text == "dense") return GenomicMatrixForm::kDense;
  if (text == "gcta") return GenomicMatrixForm::kGcta;
  return std::nullopt;
}

// The accepted values as the run takes them; nothing when a choice the
// declaration leaves to the handler is refused, which the user is told.
std::optional<RelationshipChoice> ChoiceOf(const CommandDeclaration& d, const CommandValues& values,
                                           Platform& platform) {
  const auto refuse = [&](const char* message) {
    platform.ShowMessage(message, MessageIcon::kError);
    return std::nullopt;
  };
  const std::optional<GenotypeChoice> genotypes = GenotypeChoiceOf(d, values, platform);
  if (!genotypes) return std::nullopt;
  const std::optional<GenomicMethod> method = MethodOf(values.Text(d, "method"));
  if (!method) return refuse("The method must be vanraden1, vanraden2 or yang.");
  const std::optional<GenomicMatrixForm> form = MatrixFormOf(values.Text(d, "g-format"));
  if (!form) return refuse("G's file must be triplets, dense or gcta.");
  return RelationshipChoice{*genotypes, *method, values.Text(d, "write-g"), *form,
                            static_cast<std::int32_t>(values.Number(d, "pairs"))};
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
  std::vector<std::string> figures{Figure("Method", MethodText(choice.method)),
                                   Figure("Allele frequencies", FrequencySourceText(choice.genotypes))};
  for (const std::string& path : written) figures.push_back(FileFigure("G written to", path));
  WriteGenomicHead(ped, kTitle, input, snpsUsed, figures);
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

Parameter FrequenciesParameter() {
  return Declare("frequencies", ParameterType::kText).Default("genotyped").ValueName("FROM")
      .Label("Allele frequencies: genotyped, founders or a file").Shown(Control::kReadFile)
      .Help("Allele frequencies: genotyped (default), founders (the base by gene content) or a FILE of "
            "\"SNP frequency\" lines");
}

std::optional<GenotypeChoice> GenotypeChoiceOf(const CommandDeclaration& command, const CommandValues& values,
                                               Platform& platform) {
  GenotypeChoice choice;
  choice.input = GenotypeOptionsOf(command, values);
  const std::string source = values.Text(command, "frequencies");
  if (source.empty()) {
    platform.ShowMessage("Name the allele frequencies file.", MessageIcon::kError);
    return std::nullopt;
  }
  if (source == "genotyped") choice.frequencies = FrequencySource::kGenotyped;
  else if (source == "founders") choice.frequencies = FrequencySource::kFounders;
  else choice = {choice.input, FrequencySource::kFile, source};
  return choice;
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

namespace {

// The genotypes after the coefficients, OpenBLAS's threads set; nothing
// when the reading failed (the error has been shown) or was cancelled (the
// cancel state is shown).
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

// ChooseFrequencies, showing the cancel state or the error when there are
// none.
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

// G's rows set against A22 and, when a file is named, written.
GenomicOutcome CompareAndWrite(CommandContext& ctx, const RelationshipChoice& choice, const GenotypeInput& input,
                               const std::vector<double>& p, Progress& progress,
                               GenomicPedigreeComparison& comparison, std::vector<std::string>& written) {
  std::unique_ptr<GenomicMatrixWriter> writer;
  if (!choice.output.empty() && !(writer = BeginWriter(ctx, input, choice))) return GenomicOutcome::kRefused;
  A22Kernel kernel = MakeA22Kernel(ctx.ped, input.recOf);
  GenomicRowOptions options;
  options.fullRows = writer && writer->FullRows();
  options.counts = writer && writer->Counts();
  const bool done = ForEachGenomicRowBlock(input.genotypes, p, choice.method, options, [&](const GenomicRowBlock& b) {
    if (writer) WriteGenomicRows(*writer, b);
    for (std::int64_t i = b.first; i < b.end; ++i) {
      CompareRow(kernel, i, b.values + (i - b.first) * b.columns, choice.pairs, comparison);
    }
    return true;
  }, progress);
  if (!done) return GenomicOutcome::kCanceled;
  FinishComparison(comparison);
  if (!writer) return GenomicOutcome::kDone;
  std::string error;
  if (!CommitGenomicMatrix(*writer, error)) {
    ctx.platform.ShowMessage(error, MessageIcon::kError);
    return GenomicOutcome::kRefused;
  }
  written = GenomicMatrixPaths(choice.form, choice.output);
  return GenomicOutcome::kDone;
}

}  // namespace

void RunGenomicCommand(CommandContext& ctx, std::int32_t id, const GenotypeChoice& choice,
                       const GenomicCompute& compute, const GenomicWrite& write) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  auto window = ctx.platform.OpenProgress();
  CancelLatch latch(*window);
  Progress progress(latch);
  const std::optional<GenotypeInput> input = ReadGenotypes(ctx, choice, latch, progress);
  if (!input) return;
  const std::optional<std::vector<double>> p = FrequenciesOrStop(ctx, *input, choice, progress);
  if (!p) return;
  const GenomicOutcome outcome = compute(*input, *p, progress);
  window.reset();
  if (outcome == GenomicOutcome::kCanceled) ShowCanceled(ctx);
  if (outcome != GenomicOutcome::kDone) return;
  ctx.ped.report.Clear();
  ctx.ped.copyFile.Reset();
  ctx.lastCommand = id;
  write(ctx.ped, *input, *p);
}

void WriteGenomicHead(Pedigree& ped, const std::string& title, const GenotypeInput& input, std::int64_t snpsUsed,
                      const std::vector<std::string>& figures) {
  Line(ped, "|X" + title);
  Line(ped, "");
  WriteInputLines(ped, input);
  Line(ped, "");
  Line(ped, Figure("Genotyped animals", std::to_string(input.genotypes.AnimalCount())));
  Line(ped, Figure("SNPs used", std::to_string(snpsUsed)));
  for (const std::string& figure : figures) WriteFittedLine(ped, figure);
}

void OnGenomicRelationship(CommandContext& ctx) {
  const CommandDeclaration declaration = GenomicRelationshipDeclaration();
  std::optional<RelationshipChoice> choice;
  const auto read = [&] { return (choice = ChoiceOf(declaration, ctx.remembered.values, ctx.platform)).has_value(); };
  if (!AskGenomicForm(ctx, declaration, kTitle, read)) return;
  GenomicPedigreeComparison comparison;
  std::vector<std::string> written;
  RunGenomicCommand(
      ctx, kCmdGenomicRelationship, choice->genotypes,
      [&](const GenotypeInput& input, const std::vector<double>& p, Progress& progress) {
        return CompareAndWrite(ctx, *choice, input, p, progress, comparison, written);
      },
      [&](Pedigree& ped, const GenotypeInput& input, const std::vector<double>& p) {
        WriteRelationshipReport(ped, input, *choice, SnpsUsed(p), comparison, written);
      });
}

CommandDeclaration GenomicRelationshipDeclaration() {
  using T = ParameterType;
  CommandDeclaration d{kCmdGenomicRelationship, "genomic-relationship", GenotypeParameters()};
  const std::vector<Parameter> own{
      FrequenciesParameter(),
      Declare("method", T::kChoice).Choices({"vanraden1", "vanraden2", "yang"}).Default("vanraden1")
          .ValueName("METHOD").Label("Method: vanraden1, vanraden2 or yang")
          .Help("vanraden1 (default), vanraden2 or yang"),
      Declare("write-g", T::kFile).ValueName("FILE").Label("Write G to (none: only the report)")
          .Shown(Control::kWriteFile)
          .Help("Write G to FILE (for gcta: the prefix of FILE.grm.bin, .grm.N.bin and .grm.id)"),
      Declare("g-format", T::kChoice).Choices({"triplets", "dense", "gcta"}).Default("triplets").ValueName("FORM")
          .Label("G's file: triplets, dense or gcta").Help("G's file: triplets (default), dense or gcta"),
      Declare("pairs", T::kInteger).Default("20").Range(0.0, 10000.0).ValueName("N")
          .Label("Pairs listed that differ most from the pedigree")
          .Help("Pairs listed whose G differs most from A22 (default 20)")
          .Refusal("The pairs listed must be a whole number from 0 to 10000."),
  };
  d.parameters.insert(d.parameters.end(), own.begin(), own.end());
  return d
      .Runs(OnGenomicRelationship)
      .Summary("Genomic relationships (G) of the genotyped animals, set against A22")
      .Explanation("Usage: kinvar-cli genomic-relationship PEDIGREE --genotypes FILE [--method M] [--write-g FILE]\n"
                   "Reads the genotypes (quality control first), builds G by VanRaden's first method\n"
                   "(--method vanraden2: each SNP standardised; yang: Yang's GRM) on the allele frequencies\n"
                   "of --frequencies, and sets G against A22, the pedigree's relationships of the same\n"
                   "animals: means, regressions, correlations and the --pairs pairs that differ most.\n"
                   "--write-g FILE writes G as --g-format triplets (\"row column value\", the codes that\n"
                   "'kinvar-cli recode' lists), dense (a row per animal) or gcta (GCTA's binary GRM).")
      .Menu({.menu = kGenomicsMenu, .text = "Genomic &Relationships...",
                 .prompt = "Compute the genomic relationships of the genotyped animals and set them against the "
                           "pedigree's",
                 .tooltip = "Genomic relationships", .rule = kValid, .follows = kCmdDominance});
}

}  // namespace kinvar
