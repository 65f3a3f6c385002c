#include "analyses/inverse_a_command.h"

#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/lower_matrix_file.h"
#include "analyses/result_file.h"
#include "genetics/group_inverse.h"
#include "genetics/inbreeding.h"

namespace kinvar {

namespace {

constexpr const char* kNoRowMemory = "Couldn't allocated memory for RowL (Sparse Matrix)";
constexpr const char* kNoElementMemory = "Couldn't allocated memory for new element";

// Gamma inverse is part of the inverse with metafounders.
bool RefuseSingularGamma(CommandContext& ctx) {
  if (!ctx.ped.geneticGroups.Metafounders() || !ctx.ped.geneticGroups.gammaSingular) return false;
  ctx.platform.ShowMessage(kSingularGamma, MessageIcon::kError);
  return true;
}

std::string InverseTitle(const Pedigree& ped) {
  if (ped.geneticGroups.Metafounders())
    return "Inverse of the numerator relationship matrix with metafounders";
  return ped.geneticGroups.Active()
             ? "Inverse of the numerator relationship matrix with genetic groups"
             : "Inverse of the numerator relationship matrix";
}

// Builds the inverse through the variances `d` and writes it to `file`.
template <class T>
void BuildAndWrite(CommandContext& ctx, const std::vector<T>& d, InverseOutput output,
                   OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const std::int32_t n = ctx.ped.nTotal + ctx.ped.geneticGroups.Count();
  progress.SetStage(0, 50, ctx.ped.nTotal - 1, "Computing the inverse of A");
  const BasicInverseBuild<T> build = ctx.ped.geneticGroups.Active()
                                         ? BuildInverseWithGroups(ctx.ped, d, progress)
                                         : BuildInverseOfA(ctx.ped, d, progress);
  if (build.status == BuildStatus::kNoRowMemory || build.status == BuildStatus::kNoElementMemory) {
    file.Discard();
    window->Hide();
    ctx.platform.ShowMessage(
        build.status == BuildStatus::kNoRowMemory ? kNoRowMemory : kNoElementMemory,
        MessageIcon::kError);
    return;
  }
  bool done = build.status == BuildStatus::kDone;
  if (done) {
    progress.SetStage(50, 100, n - 1, "Saving the inverse of A");
    done = output == InverseOutput::kTriplets
               ? WriteTriplets(build.matrix, file, progress)
               : WriteLowerMatrixFile(ctx.ped, build.matrix, output, ctx.path, InverseTitle(ctx.ped),
                                      file, progress);
  }
  if (!done) {
    ShowCanceled(ctx);
    file.Discard();
    return;
  }
  AddLowerMatrixTables(ctx.ped, build.matrix, "ainverse");
  CommitOutputFile(file, ctx.platform);
}

}  // namespace

void OnInverseOfA(CommandContext& ctx) {
  if (RefuseSingularGamma(ctx)) return;
  InverseOutput output = InverseOutput::kNonZero;
  const std::int64_t n = ctx.ped.nTotal + ctx.ped.geneticGroups.Count();
  if (n * n <= kMaxInverseCells) {
    const int choice = ctx.platform.ChooseSaveOption("Save only the non-zero elements",
                                                     "Save the entire inverse matrix");
    if (choice == -1) return;
    if (choice == 2) output = InverseOutput::kEntire;
  }
  WriteInverseOfA(ctx, output);
}

void WriteInverseOfA(CommandContext& ctx, InverseOutput output) {
  if (RefuseSingularGamma(ctx)) return;
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) {
    file->Discard();
    return;
  }
  if (const std::string warning = SmallVarianceWarning(ctx.ped); !warning.empty())
    ctx.platform.ShowMessage(warning, MessageIcon::kWarning);
  if (ctx.ped.InDouble()) BuildAndWrite(ctx, ctx.ped.dDouble, output, *file);
  else BuildAndWrite(ctx, ctx.ped.d, output, *file);
}

CommandDeclaration InverseOfADeclaration() {
  return CommandDeclaration{kCmdInverseA, "inverse", {}}
      .Runs(OnInverseOfA)
      .Summary("Write the inverse of the numerator relationship matrix A")
      .Explanation("Writes the non-zero elements of the lower triangle of A inverse, row by row with the\n"
                   "individuals' IDs and codes; with --full the entire matrix (up to 250000 cells).\n"
                   "With --triplets, one line \"row column value\" per element of the lower triangle, no\n"
                   "header, values with full single precision: the user-supplied inverse that mixed-model\n"
                   "(BLUP) software reads. Rows and columns are the codes that 'kinvar-cli recode' lists\n"
                   "with the original IDs; use that file to number the animals in the data.\n"
                   "With --genetic-groups FILE, A*-inverse: parent IDs listed in FILE are groups that\n"
                   "stand for unknown parents, numbered n+1 .. n+g after the individuals (recode with the\n"
                   "same option lists them); --group-fractions spreads an unknown parent over groups.")
      .Writes(CommandOutput::kFile)
      // Before the Matrices submenu, whose inverses with groups and with
      // metafounders the application's own table holds.
      .Menu({.menu = kToolsMenu, .text = "Inverse of &A\tCtrl+Shift+A", .accelerator = "Ctrl+Shift+A",
             .prompt = "Compute inverse of A", .tooltip = "Compute inverse of A", .rule = kValid | kTwoIndividuals,
             .follows = kCmdDecompositionCoancestry});
}

}  // namespace kinvar
