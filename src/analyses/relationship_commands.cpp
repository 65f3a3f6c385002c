#include "analyses/relationship_commands.h"

#include <string>
#include <utility>
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
  CommandValues& values = ctx.remembered.values;
  if (ctx.askInputs) {
    const auto group = AskGroup(ctx, "Relationships within a group", "Compute");
    if (!group) return;
    values.Set(kCmdWithinGroup, "group", std::to_string(*group));
  }
  ctx.askInputs = true;
  const int number = GroupNumber(values, WithinGroupDeclaration(), "group");
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
    ctx.remembered.values.Set(kCmdBetweenTwoGroups, "group1", std::to_string(groups->first));
    ctx.remembered.values.Set(kCmdBetweenTwoGroups, "group2", std::to_string(groups->second));
  }
  ctx.askInputs = true;
  const CommandDeclaration declaration = BetweenTwoGroupsDeclaration();
  const int first = GroupNumber(ctx.remembered.values, declaration, "group1");
  const int second = GroupNumber(ctx.remembered.values, declaration, "group2");
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

namespace {

// The help of kinvar-cli's relationships, which the three listings share.
CommandDeclaration Listing(std::int32_t id, const char* scope, std::vector<Parameter> groups,
                           void (*run)(CommandContext&)) {
  return CommandDeclaration{id, "relationships", std::move(groups)}
      .Scope(scope)
      .Runs(run)
      .Summary("List relationships: all individuals, within a group, between two groups")
      .Explanation("Usage: kinvar-cli relationships PEDIGREE all|within G|between G1 G2 [--matrix]\n"
                   "Writes the pairs whose relationship lies in --range (numerator relationship, or the\n"
                   "coefficient with --relationship coefficient). With --matrix, the whole matrix instead;\n"
                   "it is written up to 250000 cells.")
      .Writes(CommandOutput::kListing);
}

Parameter GroupInput(const char* name, const char* help) {
  return Declare(name, ParameterType::kGroup).Help(help).Shown(Control::kGroupPicker).Positional();
}

}  // namespace

CommandDeclaration BetweenAllDeclaration() {
  return Listing(kCmdBetweenAll, "all", {}, OnBetweenAllIndividuals)
      .Menu({.menu = kRelationshipMenu, .text = "Between &All Individuals",
             .prompt = "Compute relationships between all individuals",
             .tooltip = "Compute relationships between all individuals", .rule = kValidNotShown | kTwoIndividuals,
             .follows = kCmdAverageBetweenGroups});
}

CommandDeclaration WithinGroupDeclaration() {
  return Listing(kCmdWithinGroup, "within", {GroupInput("group", "The group number")}, OnWithinAGroup)
      .Menu({.menu = kRelationshipMenu, .text = "&Within a Group...", .prompt = "Compute relationships within a group",
             .tooltip = "Compute relationships within a group", .rule = kTwoGroupRule,
             .follows = kCmdBetweenTwoGroups});
}

CommandDeclaration BetweenTwoGroupsDeclaration() {
  return Listing(kCmdBetweenTwoGroups, "between",
                 {GroupInput("group1", "The first group number"), GroupInput("group2", "The second group number")},
                 OnBetweenTwoGroups)
      .Menu({.menu = kRelationshipMenu, .text = "Between Two &Groups...",
             .prompt = "Compute relationships between two groups", .tooltip = "Compute relationships between two groups",
             .rule = kTwoGroupRule, .follows = kCmdBetweenTwoIndividuals});
}

CommandDeclaration InbreedingOfDeclaration() {
  return CommandDeclaration{kCmdInbreedingOfIndividual, "inbreeding-of",
          {Declare("id", ParameterType::kId).Help("The individual's ID").Label("Individual ID")
               .Shown(Control::kIndividualPicker).Positional()}}
      .Summary("Print the inbreeding coefficient of one individual")
      .Explanation("Usage: kinvar-cli inbreeding-of PEDIGREE ID\nPrints F of ID (upper-cased first) in the "
                   "number format.")
      .Writes(CommandOutput::kValue)
      .Menu({.menu = kInbreedingMenu, .text = "&An Individual...\tCtrl+Shift+I", .accelerator = "Ctrl+Shift+I",
             .prompt = "Show inbreeding coefficient for a specific individual",
             .tooltip = "Show inbreeding coef. for a specific individual", .rule = kValid});
}

CommandDeclaration RelationshipDeclaration() {
  using T = ParameterType;
  return CommandDeclaration{kCmdBetweenTwoIndividuals, "relationship",
          {Declare("id1", T::kId).Help("The first individual's ID").Label("First individual ID")
               .Shown(Control::kIndividualPicker).Positional(),
           Declare("id2", T::kId).Help("The second individual's ID").Label("Second individual ID")
               .Shown(Control::kIndividualPicker).Positional()}}
      .Summary("Print the relationship of two individuals")
      .Explanation("Usage: kinvar-cli relationship PEDIGREE ID1 ID2\nPrints the numerator relationship of the "
                   "two (or the coefficient with\n--relationship coefficient) in the number format.")
      .Writes(CommandOutput::kValue)
      .Menu({.menu = kRelationshipMenu, .text = "Between &Two Individuals...\tCtrl+Shift+B",
             .accelerator = "Ctrl+Shift+B", .prompt = "Compute relationship between two individuals",
             .tooltip = "Compute relationship between two individuals", .rule = kValid | kTwoIndividuals,
             .follows = kCmdPurging});
}

std::vector<std::string> QueryTexts(const CommandDeclaration& query, const CommandValues& values) {
  std::vector<std::string> texts;
  for (const Parameter& p : query.parameters) texts.push_back(values.Text(query, p.name));
  return texts;
}

void KeepQueryTexts(const CommandDeclaration& query, const std::vector<std::string>& texts, CommandValues& values) {
  for (std::size_t i = 0; i < query.parameters.size() && i < texts.size(); ++i)
    values.Set(query.id, query.parameters[i].name, texts[i]);
}

std::vector<std::string> QueryLabels(const CommandDeclaration& query) {
  std::vector<std::string> labels;
  for (const Parameter& p : query.parameters) labels.push_back(p.label);
  return labels;
}

CommandDeclaration AverageBetweenGroupsDeclaration() {
  return CommandDeclaration{kCmdAverageBetweenGroups, "average-between-groups", {}}
      .Runs(OnAverageBetweenGroups)
      .Summary("Average numerator relationships between every two groups")
      .Explanation("Writes, for every group and every group before it in the file (itself included), the\n"
                   "average numerator relationship of their members.")
      .Menu({.menu = kRelationshipMenu, .text = "&Average Between Groups",
             .prompt = "Compute average relationships between groups",
             .tooltip = "Compute average relationships between groups", .rule = kTwoGroupRule});
}

CommandDeclaration AverageRelatednessDeclaration() {
  return CommandDeclaration{kCmdAverageRelatedness, "average-relatedness", {}}
      .Runs(OnAverageRelatedness)
      .Summary("Average numerator relationship of each individual with all")
      .Explanation("Writes, for every individual in code order, the average of its numerator relationships\n"
                   "with all individuals, itself included.")
      .Menu({.menu = kRelationshipMenu, .text = "Average Relatedness", .prompt = "Average Relatedness",
             .tooltip = "Average Relatedness", .rule = kValidNotShown});
}

}  // namespace kinvar
