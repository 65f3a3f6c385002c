#include "analyses/dominance_command.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/lower_matrix_file.h"
#include "analyses/relationship_listings.h"
#include "analyses/result_file.h"
#include "genetics/dominance.h"
#include "report/markup.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

struct DominanceChoice {
  bool inverse = false;
  InverseOutput output = InverseOutput::kNonZero;
  double minValue = 0.0;
};

std::string MatrixTitle(bool inverse, int group) {
  return std::string(inverse ? "Inverse of the dominance relationship matrix" : "Dominance relationship matrix") +
         (group == kAllIndividuals ? "" : " for group " + std::to_string(group));
}

// The file as the inverse of A's, over the chosen individuals only: a row
// per member, "code:value" of the stored elements or every member's value.
template <class T>
bool WriteMemberMatrix(const Pedigree& ped, const BasicSparseLower<T>& m, std::span<const RecIndex> members,
                       InverseOutput output, const std::string& pedigreePath, const std::string& title,
                       OutputFile& file, Progress& progress) {
  WriteOutputHeader(file, pedigreePath);
  file.Raw(title);
  file.Raw(output == InverseOutput::kNonZero ? " (Lower triangular):\n" : ":\n");
  file.Raw(ExpandMarkup("Individual ID|T1Individual Code"));
  const auto format = [&](T value) { return FormatNumber(ped.settings.numberFormat, value); };
  std::int64_t stored = 0, diagonal = 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Rec& row = ped.rec(members[i]);
    WriteRowLabel(file, row);
    for (const BasicSparseElement<T>& e : m.Row(row.code - 1)) {
      if (output == InverseOutput::kNonZero) {
        file.RawInt(e.column + 1);
        file.Raw(':');
        file.Raw(format(e.value));
        file.Raw(", ");
      }
      ++stored;
      if (e.column == row.code - 1) ++diagonal;
    }
    if (output == InverseOutput::kEntire)
      for (const RecIndex c : members) {
        const std::int32_t column = ped.rec(c).code - 1;
        file.Raw(format(column <= row.code - 1 ? m.At(row.code - 1, column) : m.At(column, row.code - 1)));
        file.Raw(", ");
      }
    file.Raw('\n');
    if (progress.Step(static_cast<std::int64_t>(i))) return false;
  }
  const auto n = static_cast<std::int64_t>(members.size());
  const std::int64_t nonZero = 2 * stored - diagonal;
  file.Raw("No. of non-zero elements in total:   " + std::to_string(nonZero) + "\n");
  file.Raw("No. of zero elements in total:       " + std::to_string(n * n - nonZero) + "\n");
  return true;
}

// The message for a refusal before anything is computed; empty when none.
std::string SizeRefusal(std::size_t m, const DominanceChoice& choice) {
  const auto count = static_cast<std::int64_t>(m);
  if (std::string refusal = DominanceSizeRefusal(count, choice.inverse); !refusal.empty()) return refusal;
  if (choice.output == InverseOutput::kEntire && count * count > kMaxInverseCells)
    return "The matrix has more than 250000 cells.";
  return {};
}

void ShowFailure(CommandContext& ctx, DominanceStatus status) {
  ctx.platform.ShowMessage(DominanceFailureMessage(status), MessageIcon::kError);
}

template <class T>
void BuildAndWrite(CommandContext& ctx, const std::vector<T>& d, int group, std::vector<RecIndex> members,
                   const DominanceChoice& choice, OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const NonZeroReport report = [&](std::int64_t nonZero, std::int32_t m) {
    ctx.platform.ShowMessage(DominanceNonZeroNote(nonZero, m), MessageIcon::kInformation);
  };
  const DominanceRequest request{std::move(members), choice.inverse, choice.minValue};
  DominanceBuild<T> build = BuildDominance(ctx.ped, d, request, report, progress);
  if (build.status == DominanceStatus::kNoMemory || build.status == DominanceStatus::kNotPositiveDefinite) {
    file.Discard();
    window->Hide();
    ShowFailure(ctx, build.status);
    return;
  }
  bool done = build.status == DominanceStatus::kDone;
  if (done) {
    progress.SetStage(50, 100, static_cast<std::int64_t>(request.members.size()),
                      "Saving the dominance relationships");
    done = choice.output == InverseOutput::kTriplets
               ? WriteTriplets(build.matrix, file, progress)
               : WriteMemberMatrix(ctx.ped, build.matrix, request.members, choice.output, ctx.path,
                                   MatrixTitle(choice.inverse, group), file, progress);
  }
  if (!done) {
    ShowCanceled(ctx);
    file.Discard();
    return;
  }
  AddLowerMatrixTables(ctx.ped, build.matrix, choice.inverse ? "dominance_inverse" : "dominance");
  CommitOutputFile(file, ctx.platform);
}

std::vector<RecIndex> ChosenMembers(const Pedigree& ped, int group) {
  if (group != kAllIndividuals) return GroupMembers(ped, group);
  std::vector<RecIndex> all(ped.records.begin(), ped.records.begin() + ped.nTotal);
  return all;
}

void WriteDominance(CommandContext& ctx, int group, const DominanceChoice& choice) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  std::vector<RecIndex> members = ChosenMembers(ctx.ped, group);
  if (const std::string refusal = SizeRefusal(members.size(), choice); !refusal.empty()) {
    ctx.platform.ShowMessage(refusal, MessageIcon::kError);
    return;
  }
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  if (ctx.ped.InDouble()) BuildAndWrite(ctx, ctx.ped.dDouble, group, std::move(members), choice, *file);
  else BuildAndWrite(ctx, ctx.ped.d, group, std::move(members), choice, *file);
}

// The form; nothing when the user cancelled.
std::optional<DominanceChoice> AskChoice(CommandContext& ctx) {
  const CommandDeclaration declaration = DominanceDeclaration();
  CommandValues& values = ctx.remembered.values;
  if (!ctx.platform.AskValues(DeclaredForm(declaration, "Dominance relationships", values, ctx.platform)))
    return std::nullopt;
  const bool triplets = values.Flag(declaration, "triplets");
  return DominanceChoice{values.Flag(declaration, "inverse"),
                         triplets                                ? InverseOutput::kTriplets
                         : values.Flag(declaration, "full")      ? InverseOutput::kEntire
                                                                 : InverseOutput::kNonZero,
                         values.Number(declaration, "min-value")};
}

}  // namespace

std::string DominanceSizeRefusal(std::int64_t count, bool inverse) {
  if (inverse && count > kMaxDominanceInverse)
    return "The inverse of the dominance relationship matrix is computed for at most " +
           std::to_string(kMaxDominanceInverse) + " individuals; this choice has " + std::to_string(count) +
           ". Choose a group.";
  if (count > kMaxDominanceIndividuals)
    return "The dominance relationship matrix is written for at most " + std::to_string(kMaxDominanceIndividuals) +
           " individuals; this choice has " + std::to_string(count) + ". Choose a group.";
  return {};
}

std::string DominanceFailureMessage(DominanceStatus status) {
  return status == DominanceStatus::kNoMemory
             ? "Not enough memory for the dominance relationships."
             : "The dominance relationship matrix of these individuals is not positive "
               "definite (inbreeding makes it an approximation), so it has no inverse.";
}

std::string DominanceNonZeroNote(std::int64_t nonZero, std::int32_t m) {
  return "The dominance relationship matrix of " + std::to_string(m) + " individuals has " +
         std::to_string(nonZero) + " non-zero elements; computing its inverse.";
}

CommandDeclaration DominanceDeclaration() {
  using T = ParameterType;
  CommandDeclaration d{kCmdDominance, "dominance", {}};
  d.parameters = {
      Declare("inverse", T::kFlag).Default("0").Help("D inverse instead of D (at most 5000 individuals)")
          .Label("Its inverse (at most 5000 individuals)").Shown(Control::kCheck),
      Declare("triplets", T::kFlag).Default("0").Help("\"row column value\" lines; pair with 'recode'")
          .Label("Triplets: \"row column value\" lines for mixed-model software").Shown(Control::kCheck)
          .Keyword("-"),
      Declare("full", T::kFlag).Default("0").Help("The entire matrix (at most 500 individuals)")
          .Label("The entire matrix (at most 500 individuals)").Shown(Control::kCheck)
          .Refusal("Choose triplets or the entire matrix, not both.").Excludes("triplets").Keyword("-"),
      Declare("group", T::kGroup).Default("all").Help("The group's members only (default: every individual)")
          .ValueName("G").Shown(Control::kGroupPicker),
      Declare("min-value", T::kNumber).Default("0").AtLeast(0.0)
          .Help("Leave out elements with an absolute value below X").ValueName("X")
          .Label("Leave out elements with an absolute value below").Refusal(kDominanceMinValueMessage),
  };
  return d
      .Runs(OnDominance)
      .Summary("Write the dominance relationships (D) of a group or of all individuals, or D inverse")
      .Explanation("Writes D, d_ij = 1/4 (a(si,sj) a(di,dj) + a(si,dj) a(di,sj)) and d_ii = 1, for group G\n"
                   "(--group G) or every individual (at most 10000), as the inverse of A is written; with\n"
                   "--inverse, D inverse (at most 5000 individuals; the number of non-zero elements of D is\n"
                   "told first). --triplets writes \"row column value\" lines, codes as 'kinvar-cli recode'\n"
                   "lists them; --min-value X leaves out elements with |value| < X. With inbreeding, D is\n"
                   "the usual approximation that keeps d_ii = 1.")
      .Writes(CommandOutput::kFile)
      .Menu({.menu = kMatricesMenu, .text = "&Dominance Relationships...",
             .prompt = "Compute the dominance relationships of a group or of all individuals, or their inverse",
             .tooltip = "Dominance relationships", .rule = kValid | kTwoIndividuals});
}

void OnDominance(CommandContext& ctx) {
  const auto group = ChooseGroupOrAll(ctx, "Dominance relationships", DominanceDeclaration(), "group");
  if (!group) return;
  const auto choice = AskChoice(ctx);
  if (!choice) return;
  WriteDominance(ctx, *group, *choice);
}

}  // namespace kinvar
