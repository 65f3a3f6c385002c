#include "analyses/relationship_commands.h"

#include <string>
#include <vector>

#include "analyses/relationship_averages.h"
#include "analyses/relationship_listings.h"

namespace kinvar {

namespace {

// The cancel state, with the copy file emptied of the partial listing.
void CancelReport(CommandContext& ctx) {
  ShowCanceled(ctx);
  ctx.ped.copyFile.Reset();
}

void Finish(CommandContext& ctx, ListingEnd end) {
  if (end == ListingEnd::kCanceled) CancelReport(ctx);
}

const Description* FindGroup(const Pedigree& ped, int number) {
  for (const Description& d : ped.groups)
    if (d.group == number) return &d;
  return nullptr;
}

}  // namespace

void OnBetweenAllIndividuals(CommandContext& ctx) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  ctx.lastCommand = kCmdBetweenAll;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  Finish(ctx, ListBetweenAll(ctx.ped, ctx.platform, progress));
}

void OnWithinAGroup(CommandContext& ctx) {
  if (ctx.askInputs) {
    const auto group = AskGroup(ctx, "Relationships within a group", "Compute");
    if (!group) return;
    ctx.remembered.groupA = static_cast<std::int32_t>(*group);
  }
  ctx.askInputs = true;
  const int number = ctx.remembered.groupA;
  const Description* group = FindGroup(ctx.ped, number);
  if (group == nullptr || group->count < 2) {
    ctx.ped.report.Clear();
    ctx.ped.report.Add("|XError: |ANumber of individuals is less than 2 in the group " +
                       std::to_string(number) + ".");
    ctx.lastCommand = 0;
    return;
  }
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  const std::vector<RecIndex> members = GroupMembers(ctx.ped, number);
  ctx.lastCommand = kCmdWithinGroup;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  Finish(ctx, ListWithinGroup(ctx.ped, ctx.platform, progress, number, members));
}

void OnBetweenTwoGroups(CommandContext& ctx) {
  if (ctx.askInputs) {
    const auto groups = AskTwoGroups(ctx, "Relationships between two groups");
    if (!groups) return;
    ctx.remembered.groupA = static_cast<std::int32_t>(groups->first);
    ctx.remembered.groupB = static_cast<std::int32_t>(groups->second);
  }
  ctx.askInputs = true;
  const int first = ctx.remembered.groupA;
  const int second = ctx.remembered.groupB;
  if (FindGroup(ctx.ped, first) == nullptr || FindGroup(ctx.ped, second) == nullptr) return;
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  const std::vector<RecIndex> a = GroupMembers(ctx.ped, first);
  const std::vector<RecIndex> b = GroupMembers(ctx.ped, second);
  ctx.lastCommand = kCmdBetweenTwoGroups;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  Finish(ctx, ListBetweenGroups(ctx.ped, ctx.platform, progress, first, a, second, b));
}

void OnAverageBetweenGroups(CommandContext& ctx) {
  if (const std::string refusal = AverageBetweenGroupsRefusal(ctx.ped); !refusal.empty()) {
    ctx.ped.report.Clear();
    ctx.ped.report.Add(refusal);
    ctx.lastCommand = 0;
    return;
  }
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  ctx.lastCommand = kCmdAverageBetweenGroups;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  if (!ReportAverageBetweenGroups(ctx.ped, progress)) CancelReport(ctx);
}

void OnAverageRelatedness(CommandContext& ctx) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  ctx.lastCommand = kCmdAverageRelatedness;
  ReportAverageRelatedness(ctx.ped);
}

}  // namespace kinvar
