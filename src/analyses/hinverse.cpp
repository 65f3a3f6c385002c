#include "analyses/hinverse.h"

#include <charconv>

#include "analyses/command_ids.h"
#include "analyses/decomposition_report.h"
#include "analyses/hinverse_genotypes.h"
#include "analyses/individual_tables.h"
#include "analyses/lower_matrix_file.h"
#include "analyses/result_file.h"
#include "genetics/inverse_a.h"
#include "genomics/genomic_relationship.h"
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

std::string Typed(const std::map<std::string, std::string>& typed, const std::string& key, const std::string& fallback) {
  const auto it = typed.find(key);
  return it == typed.end() ? fallback : it->second;
}

std::optional<GenomicMethod> MethodOf(const std::string& text) {
  if (text == "vanraden1") return GenomicMethod::kVanRaden1;
  if (text == "vanraden2") return GenomicMethod::kVanRaden2;
  if (text == "yang") return GenomicMethod::kYang;
  return std::nullopt;
}

// The four weights: alpha above 0, beta at least 0, tau and omega any number.
bool ReadWeights(const std::vector<std::string>& texts, std::size_t first, SingleStepOptions& w, Platform& platform) {
  const auto alpha = WholeNumber(texts[first]), beta = WholeNumber(texts[first + 1]);
  const auto tau = WholeNumber(texts[first + 2]), omega = WholeNumber(texts[first + 3]);
  if (!alpha || !(*alpha > 0.0) || !beta || *beta < 0.0) {
    platform.ShowMessage("The weights of G_w = alpha G + beta A22 must be numbers, alpha above 0 and beta 0 or more.",
                         MessageIcon::kError);
    return false;
  }
  if (!tau || !omega) {
    platform.ShowMessage("Tau and omega must be numbers.", MessageIcon::kError);
    return false;
  }
  w.alpha = *alpha;
  w.beta = *beta;
  w.tau = *tau;
  w.omega = *omega;
  return true;
}

std::optional<HInverseChoice> AskChoice(CommandContext& ctx) {
  auto& typed = ctx.remembered.genomicTexts;
  ValueForm form{kTitle, SharedGenotypeFields(typed), {}};
  const std::vector<ValueForm::Field> more{
      {"method", "G by vanraden1, vanraden2 or yang", Typed(typed, "method", "vanraden1")},
      {"alpha", "Weight of G (alpha)", Typed(typed, "alpha", "0.95")},
      {"beta", "Weight of A22 (beta)", Typed(typed, "beta", "0.05")},
      {"tau", "Factor of G_w inverse (tau)", Typed(typed, "tau", "1")},
      {"omega", "Factor of A22 inverse (omega)", Typed(typed, "omega", "1")},
      {"scale", "Scale G to A22 (mean diagonal and off-diagonal)", Typed(typed, "scale", "1"), true},
      {"triplets", "Triplets: \"row column value\" lines for mixed-model software", Typed(typed, "triplets", "1"), true}};
  form.fields.insert(form.fields.end(), more.begin(), more.end());
  HInverseChoice choice;
  form.accept = [&](const std::vector<std::string>& texts) {
    const auto input = GenotypeOptionsFrom(texts, ctx.platform);
    if (!input) return false;
    const auto method = MethodOf(texts[kSharedGenotypeFieldCount]);
    if (!method) {
      ctx.platform.ShowMessage("The method of G must be vanraden1, vanraden2 or yang.", MessageIcon::kError);
      return false;
    }
    if (!ReadWeights(texts, kSharedGenotypeFieldCount + 1, choice.weights, ctx.platform)) return false;
    choice.input = *input;
    choice.method = *method;
    choice.weights.scaleToA22 = texts[kSharedGenotypeFieldCount + 5] == "1";
    choice.triplets = texts[kSharedGenotypeFieldCount + 6] == "1";
    RememberTexts(form, texts, typed);
    return true;
  };
  if (!AskOrRepeat(ctx, form)) return std::nullopt;
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
  for (const std::string& line : input.reportLines) WriteReportLines(ped, {line});
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
  const auto choice = AskChoice(ctx);
  if (!choice) return;
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  WaitCursor cursor(ctx.platform);
  if (!EnsureInbreeding(ctx)) {
    ShowCanceled(ctx);
    file->Discard();
    return;
  }
  std::optional<GenotypeInput> input = ReadGenotypesOf(ctx, choice->input);
  if (!input) {
    file->Discard();
    return;
  }
  if (ctx.ped.InDouble()) BuildAndWrite(ctx, ctx.ped.dDouble, *choice, *input, *file);
  else BuildAndWrite(ctx, ctx.ped.d, *choice, *input, *file);
}

}  // namespace kinvar
