#include "analyses/x_linked_command.h"

#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/result_file.h"
#include "genetics/x_linked.h"

namespace kinvar {

namespace {

template <class T>
void BuildAndWrite(CommandContext& ctx, const std::vector<Sex>& sex, bool inverse,
                   InverseOutput output, OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const std::int32_t n = ctx.ped.nTotal;
  progress.SetStage(0, 50, n - 1, "Computing the X-linked relationships");
  const BasicInverseBuild<T> build = inverse ? BuildXLinkedInverse<T>(ctx.ped, sex, progress)
                                             : BuildXLinkedMatrix<T>(ctx.ped, sex, progress);
  if (build.status == BuildStatus::kNoElementMemory || build.status == BuildStatus::kNoRowMemory) {
    file.Discard();
    window->Hide();
    ctx.platform.ShowMessage("Not enough memory for the X-linked relationships.", MessageIcon::kError);
    return;
  }
  bool done = build.status == BuildStatus::kDone;
  if (done) {
    progress.SetStage(50, 100, n - 1, "Saving the X-linked relationships");
    const std::string title = inverse ? "Inverse of the X-linked relationship matrix"
                                      : "X-linked relationship matrix";
    done = output == InverseOutput::kTriplets
               ? WriteTriplets(build.matrix, file, progress)
               : WriteLowerMatrixFile(ctx.ped, build.matrix, output, ctx.path, title, file, progress);
  }
  if (!done) {
    ShowCanceled(ctx);
    file.Discard();
    return;
  }
  AddLowerMatrixTables(ctx.ped, build.matrix, inverse ? "xlinked_inverse" : "xlinked");
  CommitOutputFile(file, ctx.platform);
}

}  // namespace

void WriteXLinked(CommandContext& ctx, bool inverse, InverseOutput output) {
  const XLinkedSexes sexes = SexesForXLinked(ctx.ped);
  if (sexes.sex.empty()) {
    ctx.platform.ShowMessage(XLinkedUnknownSexMessage(sexes.unknownId), MessageIcon::kError);
    return;
  }
  if (!inverse && ctx.ped.nTotal > kMaxXLinkedIndividuals) {
    ctx.platform.ShowMessage(kXLinkedTooLarge, MessageIcon::kError);
    return;
  }
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  WaitCursor cursor(ctx.platform);
  if (ctx.ped.settings.precision == 1) BuildAndWrite<double>(ctx, sexes.sex, inverse, output, *file);
  else BuildAndWrite<float>(ctx, sexes.sex, inverse, output, *file);
}

void OnXLinked(CommandContext& ctx) {
  const int choice = ctx.platform.ChooseSaveOption("Save the X-linked relationship matrix S",
                                                   "Save the inverse of S");
  if (choice == -1) return;
  WriteXLinked(ctx, choice == 2, InverseOutput::kNonZero);
}

CommandDeclaration XLinkedDeclaration() {
  return CommandDeclaration{kCmdXLinked, "x-linked", {}}
      .Runs(OnXLinked)
      .Summary("Write the relationships at X-chromosome loci (S) or their inverse")
      .Explanation("Writes S, the relationships at X-linked loci on the scale where a male's value is his\n"
                   "one X copy and a female's the mean of her two (at most 5000 individuals), as the\n"
                   "inverse of A is written; with --inverse, S inverse by Henderson-like rules (any size).\n"
                   "With --triplets, \"row column value\" lines, codes as 'kinvar-cli recode' lists them.\n"
                   "Every individual needs a sex: the Sex column's, or its role as a sire or a dam.")
      .Writes(CommandOutput::kFile)
      .Menu({.menu = kMatricesMenu, .text = "&X-Linked Relationships...",
             .prompt = "Compute the relationships at X-chromosome loci or their inverse",
             .tooltip = "X-linked relationships", .rule = kValid | kTwoIndividuals});
}

}  // namespace kinvar
