#include "analyses/hinverse.h"

#include <charconv>
#include <cmath>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "analyses/command_ids.h"
#include "analyses/genomic_input.h"
#include "analyses/individual_tables.h"
#include "analyses/lower_matrix_file.h"
#include "analyses/result_file.h"
#include "genetics/inverse_a.h"
#include "genomics/genomic_relationship.h"
#include "analyses/genotype_input_form.h"
#include "pedigree/number_text.h"

namespace kinvar {

namespace {

constexpr const char* kTitle = "Single-step H-inverse";

struct HInverseChoice {
  GenotypeInputOptions input;
  SingleStepOptions weights;
  GenomicMethod method = GenomicMethod::kVanRaden1;
  bool triplets = true;
};

std::optional<GenomicMethod> MethodOf(const std::string& text) {
  if (text == "vanraden1") return GenomicMethod::kVanRaden1;
  if (text == "vanraden2") return GenomicMethod::kVanRaden2;
  if (text == "yang") return GenomicMethod::kYang;
  return std::nullopt;
}

// The form's values as the run takes them; the declaration has checked them.
HInverseChoice ChoiceOf(const CommandDeclaration& d, const CommandValues& values) {
  HInverseChoice choice;
  choice.input = GenotypeOptionsOf(d, values);
  choice.method = MethodOf(values.Text(d, "method")).value_or(GenomicMethod::kVanRaden1);
  choice.weights.alpha = values.Number(d, "alpha");
  choice.weights.beta = values.Number(d, "beta");
  choice.weights.tau = values.Number(d, "tau");
  choice.weights.omega = values.Number(d, "omega");
  choice.weights.scaleToA22 = values.Flag(d, "scale");
  choice.triplets = values.Flag(d, "triplets");
  return choice;
}

std::string Figure(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void Report(CommandContext& ctx, const GenotypeInput& input, const HInverseChoice& choice,
            const GenomicScaling& scaling, std::int64_t stored) {
  Pedigree& ped = ctx.ped;
  ped.report.Clear();
  ped.copyFile.Reset();
  WriteReportLines(ped, {std::string("|X") + kTitle, ""});
  WriteInputLines(ped, input);
  const SingleStepOptions& w = choice.weights;
  WriteReportLines(ped, {"", "G_w = " + Figure(w.alpha) + " G + " + Figure(w.beta) + " A22; H inverse adds " +
                                 Figure(w.tau) + " G_w inverse - " + Figure(w.omega) + " A22 inverse"});
  if (scaling.applied) {
    WriteReportLines(ped, {"G scaled to A22: G* = " + Figure(scaling.a) + " + " + Figure(scaling.b) + " G",
                           "  mean diagonal of A22 " + Figure(scaling.diagonalA22) + ", of G " + Figure(scaling.diagonalG),
                           "  mean off-diagonal of A22 " + Figure(scaling.offDiagonalA22) + ", of G " +
                               Figure(scaling.offDiagonalG)});
  } else {
    WriteReportLines(ped, {"G not scaled to A22"});
  }
  WriteReportLines(ped, {"Elements of the lower triangle written: " + std::to_string(stored)});
  ctx.lastCommand = kCmdHInverse;
}

// The genotypes' size, kept when their matrix is freed for the dense blocks.
struct GenotypeCounts {
  std::int64_t animals = 0;
  std::int64_t snps = 0;
};

void AddSummary(Pedigree& ped, const GenotypeInput& input, GenotypeCounts counts, const HInverseChoice& choice,
                const GenomicScaling& s) {
  ResultTable& t = ped.writtenTables.Add(SummaryTable());
  t.AddFigure("Genotyped animals", counts.animals);
  t.AddFigure("SNPs", counts.snps);
  t.AddFigure("alpha", choice.weights.alpha);
  t.AddFigure("beta", choice.weights.beta);
  t.AddFigure("tau", choice.weights.tau);
  t.AddFigure("omega", choice.weights.omega);
  t.AddFigure("Scaling a", s.applied ? s.a : 0.0);
  t.AddFigure("Scaling b", s.applied ? s.b : 1.0);
  ped.writtenTables.Add(ResultTable(input.qcTable));
}

template <class T>
void BuildAndWrite(CommandContext& ctx, const std::vector<T>& d, const HInverseChoice& choice,
                   GenotypeInput& input, OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  SetGenomicThreads(ctx.ped.settings.threads);
  DenseSymmetric g = GenomicRelationship(input.genotypes, AlleleFrequencies(input.genotypes), choice.method, progress);
  if (g.cancelled) {
    window.reset();
    file.Discard();
    ShowCanceled(ctx);
    return;
  }
  const GenotypeCounts counts{input.genotypes.AnimalCount(), input.genotypes.SnpCount()};
  input.genotypes = Genotypes{};
  SingleStepOptions weights = choice.weights;
  weights.threads = ctx.ped.settings.threads;
  HInverseBuild<T> build = BuildHInverse(ctx.ped, d, input.recOf, std::move(g.values), weights, progress, 80);
  if (build.status != SingleStepStatus::kDone) {
    window.reset();
    file.Discard();
    if (build.status == SingleStepStatus::kCanceled) ShowCanceled(ctx);
    else ctx.platform.ShowMessage(HInverseFailureMessage(build.status), MessageIcon::kError);
    return;
  }
  progress.SetStage(80, 100, build.matrix.n, "Saving the H inverse");
  const bool written = choice.triplets ? WriteTriplets(build.matrix, file, progress)
                                       : WriteLowerMatrixFile(ctx.ped, build.matrix, InverseOutput::kNonZero, ctx.path,
                                                              "Single-step H inverse", file, progress);
  window.reset();
  if (!written) {
    file.Discard();
    ShowCanceled(ctx);
    return;
  }
  AddLowerMatrixTables(ctx.ped, build.matrix, "hinverse");
  AddSummary(ctx.ped, input, counts, choice, build.scaling);
  Report(ctx, input, choice, build.scaling, build.matrix.Stored());
  CommitOutputFile(file, ctx.platform);
}

}  // namespace

std::string HInverseFailureMessage(SingleStepStatus status) {
  switch (status) {
    case SingleStepStatus::kDone:
    case SingleStepStatus::kCanceled:
      return {};
    case SingleStepStatus::kNoMemory:
      return "Not enough memory for the single-step H-inverse.";
    case SingleStepStatus::kGNotPositiveDefinite:
      return "G_w = alpha G + beta A22 is not positive definite, so it has no inverse. Give A22 more weight "
             "(a larger beta), or look for animals genotyped twice under two IDs.";
    case SingleStepStatus::kA22NotPositiveDefinite:
      return "A22, the pedigree relationships of the genotyped animals, is not positive definite, so it has no "
             "inverse. Look at the predefined F of the genotyped animals and their ancestors.";
    case SingleStepStatus::kCannotScale:
      return "G cannot be scaled to A22: its mean diagonal equals its mean off-diagonal (one genotyped animal, "
             "or all alike). Turn the scaling off.";
  }
  return {};
}

void OnHInverse(CommandContext& ctx) {
  if (ctx.ped.geneticGroups.Metafounders()) {
    ctx.platform.ShowMessage(kHInverseMetafounders, MessageIcon::kError);
    return;
  }
  const CommandDeclaration declaration = HInverseDeclaration();
  if (!AskGenomicForm(ctx, declaration, kTitle)) return;
  const HInverseChoice choice = ChoiceOf(declaration, ctx.remembered.values);
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) {
    file->Discard();
    return;
  }
  std::optional<GenotypeInput> input = ReadUsableGenotypes(ctx, choice.input);
  if (!input) {
    file->Discard();
    return;
  }
  if (ctx.ped.InDouble()) BuildAndWrite(ctx, ctx.ped.dDouble, choice, *input, *file);
  else BuildAndWrite(ctx, ctx.ped.d, choice, *input, *file);
}

CommandDeclaration HInverseDeclaration() {
  using T = ParameterType;
  const std::string weights =
      "The weights of G_w = alpha G + beta A22 must be numbers, alpha above 0 and beta 0 or more.";
  CommandDeclaration d{kCmdHInverse, "hinverse", GenotypeParameters()};
  const std::vector<Parameter> own{
      Declare("method", T::kChoice).Choices({"vanraden1", "vanraden2", "yang"}).Default("vanraden1")
          .ValueName("M").Label("G by vanraden1, vanraden2 or yang").Help("G by vanraden1 (default), vanraden2 or yang")
          .Refusal("The method of G must be vanraden1, vanraden2 or yang."),
      // Above 0: the least double past it.
      Declare("alpha", T::kNumber).Default("0.95").AtLeast(std::nextafter(0.0, 1.0)).ValueName("A")
          .Label("Weight of G (alpha)").Help("Weight of G in G_w (default 0.95)").Refusal(weights),
      Declare("beta", T::kNumber).Default("0.05").AtLeast(0.0).ValueName("B")
          .Label("Weight of A22 (beta)").Help("Weight of A22 in G_w (default 0.05)").Refusal(weights),
      Declare("tau", T::kNumber).Default("1").ValueName("T").Label("Factor of G_w inverse (tau)")
          .Help("Factor of G_w inverse (default 1)").Refusal("Tau and omega must be numbers."),
      Declare("omega", T::kNumber).Default("1").ValueName("W").Label("Factor of A22 inverse (omega)")
          .Help("Factor of A22 inverse (default 1)").Refusal("Tau and omega must be numbers."),
      Declare("scale", T::kFlag).OffOption("no-scaling").Shown(Control::kCheck)
          .Label("Scale G to A22 (mean diagonal and off-diagonal)").Help("G as computed, not scaled to A22"),
      // The session returns the matrix itself, never the listing.
      Declare("triplets", T::kFlag).OffOption("lower-triangle").Shown(Control::kCheck).Keyword("-")
          .Label("Triplets: \"row column value\" lines for mixed-model software")
          .Help("List the lower triangle as the inverse of A is listed"),
  };
  d.parameters.insert(d.parameters.end(), own.begin(), own.end());
  return d
      .Runs(OnHInverse)
      .Summary("Write the single-step H inverse of the pedigree and the genotyped animals")
      .Explanation("Usage: kinvar-cli hinverse PEDIGREE --genotypes FILE [--method M] [--alpha A] [--beta B]\n"
                   "[--tau T] [--omega W] [--no-scaling] [--lower-triangle]\n"
                   "Writes H inverse = A inverse + [[0, 0], [0, tau G_w inverse - omega A22 inverse]] with\n"
                   "G_w = alpha G + beta A22 (defaults 0.95, 0.05, 1, 1), G by --method vanraden1 (default),\n"
                   "vanraden2 or yang, scaled to A22 (the same mean diagonal and mean off-diagonal) unless\n"
                   "--no-scaling. A22 comes from the pedigree through the same D as inbreeding. Written as\n"
                   "\"row column value\" lines in the codes that 'kinvar-cli recode' lists, or with\n"
                   "--lower-triangle as the inverse of A is listed. With genetic groups (--genetic-groups)\n"
                   "the groups keep their rows; metafounders are refused.")
      .Writes(CommandOutput::kFile)
      .Menu({.menu = kGenomicsMenu, .text = "Single-step &H-inverse...",
                 .prompt = "Compute the inverse of H, the pedigree and genomic relationships joined for single-step",
                 .tooltip = "Single-step H-inverse", .rule = kValid | kTwoIndividuals});
}

}  // namespace kinvar
