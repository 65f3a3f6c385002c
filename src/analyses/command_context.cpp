#include "analyses/command_context.h"

#include <algorithm>
#include <limits>
#include <string>

#include "genetics/inbreeding.h"
#include "pedigree/number_text.h"

namespace kinvar {

bool EnsureInbreeding(CommandContext& ctx) {
  EnsureCodeOrder(ctx.ped);
  // Coefficients of the other precision are computed again.
  if (ctx.ped.inbreedingComputed && ctx.ped.inbreedingPrecision == ctx.ped.settings.precision)
    return true;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  return ComputeInbreeding(ctx.ped, progress);
}

bool PrepareInbreeding(CommandContext& ctx) {
  if (EnsureInbreeding(ctx)) return true;
  ShowCanceled(ctx);
  return false;
}

void ShowCanceled(CommandContext& ctx) {
  ctx.ped.report.Clear();
  ctx.ped.report.Add(kCanceledLine);
  ctx.lastCommand = 0;
}

void NormalizeTypedId(std::string& typed) {
  // Never cut: a text cut to the length of an ID could name another animal.
  for (char& c : typed)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

RecIndex FindTypedId(const Pedigree& ped, std::string& typed) {
  NormalizeTypedId(typed);
  if (typed.empty() || typed.size() > static_cast<std::size_t>(kMaxIdLength)) return kUnknownParent;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const RecIndex r = ped.records[static_cast<std::size_t>(i)];
    if (ped.rec(r).Id() == typed) return r;
  }
  return kUnknownParent;
}

std::vector<int> GroupNumbers(const Pedigree& ped) {
  std::vector<int> numbers;
  numbers.reserve(ped.groups.size());
  for (const Description& d : ped.groups) numbers.push_back(d.group);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::optional<RecIndex> AskIndividual(CommandContext& ctx, const std::string& caption,
                                      const std::string& button) {
  RecIndex found = kUnknownParent;
  IndividualPicker picker{caption, button, [&](std::string& typed) {
                            found = FindTypedId(ctx.ped, typed);
                            if (found != kUnknownParent) return true;
                            ctx.platform.ShowMessage(
                                "Cannot find individual \"" + typed + "\" in the pedigree.",
                                MessageIcon::kError);
                            return false;
                          }};
  if (!ctx.platform.PickIndividual(picker) || found == kUnknownParent) return std::nullopt;
  return found;
}

std::optional<int> AskGroup(CommandContext& ctx, const std::string& caption,
                            const std::string& button) {
  GroupPicker picker{caption, button, GroupNumbers(ctx.ped), {}};
  return ctx.platform.PickGroup(picker);
}

std::optional<int> ChooseGroupOrAll(CommandContext& ctx, const std::string& caption,
                                    std::optional<int>& remembered) {
  const std::vector<int> groups = GroupNumbers(ctx.ped);
  if (ctx.askInputs) {
    GroupPicker picker{caption, "Compute", groups, {}, "All individuals"};
    const auto choice = ctx.platform.PickGroup(picker);
    if (!choice) return std::nullopt;
    remembered = *choice;
  }
  ctx.askInputs = true;
  if (!remembered) return std::nullopt;
  const int chosen = *remembered;
  if (chosen != kAllIndividuals && std::find(groups.begin(), groups.end(), chosen) == groups.end())
    return std::nullopt;
  return chosen;
}

std::optional<int> GroupValue(const CommandValues& values, const CommandDeclaration& command,
                              const std::string& name) {
  const std::string text = values.Text(command, name);
  if (text == "all") return kAllIndividuals;
  if (const auto number = WholeInteger(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()))
    return static_cast<int>(*number);
  return std::nullopt;
}

int GroupNumber(const CommandValues& values, const CommandDeclaration& command, const std::string& name) {
  return GroupValue(values, command, name).value_or(-1);
}

std::optional<int> ChooseGroupOrAll(CommandContext& ctx, const std::string& caption,
                                    const CommandDeclaration& command, const std::string& name) {
  std::optional<int> remembered;
  if (!ctx.askInputs) remembered = GroupValue(ctx.remembered.values, command, name);
  const std::optional<int> chosen = ChooseGroupOrAll(ctx, caption, remembered);
  if (remembered)
    ctx.remembered.values.Set(command.id, name, *remembered == kAllIndividuals ? "all" : std::to_string(*remembered));
  return chosen;
}

std::optional<std::pair<int, int>> AskTwoGroups(CommandContext& ctx, const std::string& caption) {
  GroupPicker picker{caption, "Compute", GroupNumbers(ctx.ped), [&](int a, int b) {
                       if (a != b) return true;
                       ctx.platform.ShowMessage(
                           "Error: Two groups are the same!\nSelect two different groups.",
                           MessageIcon::kError);
                       return false;
                     }};
  return ctx.platform.PickTwoGroups(picker);
}

}  // namespace kinvar
