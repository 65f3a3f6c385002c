#include "app/commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kinvar {
namespace {

std::set<std::int32_t> EnabledIn(const DocumentState& state) {
  std::set<std::int32_t> enabled;
  for (const Command& c : Commands())
    if (IsEnabled(c, state)) enabled.insert(c.id);
  return enabled;
}

// Commands enabled whatever the document holds.
const std::set<std::int32_t> kFrameAlways = {kCmdFileOpen,    kCmdPrintSetup,    kCmdExit,
                                             kCmdOptions,     kCmdViewToolbar,   kCmdViewStatusBar,
                                             kCmdHelpContents, kCmdAbout};
// With a report on screen.
const std::set<std::int32_t> kReportCommands = {kCmdFileSave, kCmdFileSaveAs, kCmdPrint,
                                                kCmdPrintPreview};
// Needing only an accepted pedigree (and, for some, two individuals or a
// report other than their own).
const std::set<std::int32_t> kSingleIndividualAnalyses = {
    kCmdCompute,     kCmdInbreedingOfIndividual, kCmdDecompositionIndividual,
    kCmdPathCountingIndividual, kCmdPathCountingAll, kCmdAverageRelatedness,
    kCmdDii,         kCmdRecoding,               kCmdStructure,
    kCmdExtractAncestorsIndividual, kCmdExtractDescendantsIndividual, kCmdViewPedigree,
    kCmdDiversity,   kCmdMeanKinship,            kCmdViewPedigreeChart,      kCmdDrawAncestorsIndividual,
    kCmdViewPedigreeCertificate,
    kCmdDrawDescendantsIndividual, kCmdChartFDistribution, kCmdPurging, kCmdPlannedMating,
    kCmdGenomicRelationship, kCmdGenomicInbreeding, kCmdParentage,
    kCmdGenotypeQc, kCmdChartGenomicInbreeding};
const std::set<std::int32_t> kPairAnalyses = {kCmdBetweenTwoIndividuals, kCmdBetweenAll,
                                              kCmdInverseA, kCmdMatrixT, kCmdInverseWithGroups,
                                              kCmdInverseWithMetafounders,
                                              kCmdXLinked, kCmdDominance, kCmdHInverse};
const std::set<std::int32_t> kOneGroupAnalyses = {kCmdDecompositionGroup,  kCmdPathCountingGroup,
                                                  kCmdDecompositionCoancestry,
                                                  kCmdExtractAncestorsGroup,
                                                  kCmdExtractDescendantsGroup, kCmdGeneOrigin,
                                                  kCmdDrawAncestorsGroup, kCmdDrawDescendantsGroup,
                                                  kCmdChartTrends, kCmdChartFounders, kCmdChartPurging};
const std::set<std::int32_t> kTwoGroupAnalyses = {kCmdBetweenTwoGroups, kCmdWithinGroup,
                                                  kCmdAverageBetweenGroups, kCmdOptimizeMatings,
                                                  kCmdChartGroupHeatMap, kCmdChartMatings,
                                                  kCmdMateSuitability, kCmdOptimumContributions,
                                                  kCmdChartContributions};

std::set<std::int32_t> Union(std::initializer_list<std::set<std::int32_t>> sets) {
  std::set<std::int32_t> all;
  for (const auto& s : sets) all.insert(s.begin(), s.end());
  return all;
}

std::set<std::int32_t> Without(std::set<std::int32_t> s, std::initializer_list<std::int32_t> ids) {
  for (std::int32_t id : ids) s.erase(id);
  return s;
}

DocumentState Loaded(std::int32_t last, std::int32_t n, std::int32_t groupColumn = -1,
                     std::int32_t nGroups = 0) {
  DocumentState s;
  s.lastCommand = last;
  s.nTotal = n;
  s.reportLines = 12;
  s.groupColumn = groupColumn;
  s.nGroups = nGroups;
  return s;
}

struct RuleCase { const char* name; DocumentState state; std::set<std::int32_t> expected; };

class CommandRules : public testing::TestWithParam<RuleCase> {};

TEST_P(CommandRules, EnableExactlyTheExpectedCommands) {
  EXPECT_EQ(EnabledIn(GetParam().state), GetParam().expected);
}

std::vector<RuleCase> RuleCases() {
  const auto loaded =
      Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses, kPairAnalyses});
  DocumentState recompute = Loaded(kCmdRecompute, 10);
  recompute.fColumn = 3;
  DocumentState recent;
  recent.recentFiles = true;
  return {
      {"NoPedigree", DocumentState{}, kFrameAlways},
      // Report lines left by a failed read.
      {"NoPedigreeWithStaleReport", Loaded(kNoPedigree, 0),
       Union({kFrameAlways, {kCmdPrint, kCmdPrintPreview}})},
      {"RejectedFileCanBeSavedAndPrinted", Loaded(kRejectedPedigree, 40),
       Union({kFrameAlways, kReportCommands})},
      {"LoadedWithoutGroupsShowsViewPedigree", Loaded(kCmdViewPedigree, 10),
       Without(loaded, {kCmdViewPedigree})},
      {"ComputeShownDisablesComputeNotView", Loaded(kCmdCompute, 10), Without(loaded, {kCmdCompute})},
      {"CancelledReportEnablesEveryNotShownCommand", Loaded(kCmdNone, 10), loaded},
      {"OneGroupLeavesOutTwoGroupCommands", Loaded(kCmdViewPedigree, 10, 3, 1),
       Without(Union({loaded, kOneGroupAnalyses}), {kCmdViewPedigree})},
      {"TwoGroupsEnableEveryGroupCommand", Loaded(kCmdViewPedigree, 10, 0, 2),
       Without(Union({loaded, kOneGroupAnalyses, kTwoGroupAnalyses}), {kCmdViewPedigree})},
      // A group table can list more groups than individuals remain.
      {"OneIndividualDisablesPairAndTwoGroupCommands", Loaded(kCmdViewPedigree, 1, 0, 2),
       Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses, kOneGroupAnalyses}),
               {kCmdViewPedigree})},
      {"RecomputeStaysEnabledWhileItsReportIsShown", recompute, Union({loaded, {kCmdRecompute}})},
      {"MatrixTEnabledWithFiveHundred", Loaded(kCmdViewPedigree, 500),
       Without(loaded, {kCmdViewPedigree})},
      {"MatrixTDisabledWithFiveHundredOne", Loaded(kCmdViewPedigree, 501),
       Without(loaded, {kCmdViewPedigree, kCmdMatrixT})},
      // 65536 squared overflows 32 bits to 0; the product must not pass the test.
      {"MatrixTProductDoesNotOverflow", Loaded(kCmdViewPedigree, 65536),
       Without(loaded, {kCmdViewPedigree, kCmdMatrixT})},
      {"RecentFilesWhenTheListHoldsFiles", recent, Union({kFrameAlways, {kCmdRecentFile}})},
  };
}

INSTANTIATE_TEST_SUITE_P(States, CommandRules, testing::ValuesIn(RuleCases()),
                         [](const testing::TestParamInfo<RuleCase>& row) { return row.param.name; });

TEST(CommandRules, AvailabilityIgnoresOnlyTheNotShownCondition) {
  DocumentState s = Loaded(kCmdViewPedigree, 10);
  EXPECT_FALSE(IsEnabled(*FindCommand(kCmdViewPedigree), s));
  EXPECT_TRUE(IsAvailable(*FindCommand(kCmdViewPedigree), s));
  EXPECT_FALSE(IsAvailable(*FindCommand(kCmdRecompute), s));        // no F column
  EXPECT_FALSE(IsAvailable(*FindCommand(kCmdGeneOrigin), s));        // no groups
  EXPECT_FALSE(IsAvailable(*FindCommand(kCmdCompute), Loaded(kRejectedPedigree, 10)));
  EXPECT_TRUE(IsAvailable(*FindCommand(kCmdHelpContents), s));
}

TEST(CommandTable, IdentifiersAreUniqueAndFindable) {
  std::set<std::int32_t> seen;
  for (const Command& c : Commands()) {
    EXPECT_TRUE(seen.insert(c.id).second) << c.id;
    EXPECT_EQ(FindCommand(c.id), &c);
  }
  EXPECT_EQ(seen.size(), 70u);  // every row of the menu bar
  for (const Command& c : ViewCommands()) {
    EXPECT_TRUE(seen.insert(c.id).second) << c.id;
    EXPECT_EQ(FindCommand(c.id), &c);
    EXPECT_EQ(c.menu, "Report") << c.id;
    EXPECT_EQ(c.handler, Handler::kView) << c.id;
  }
  EXPECT_EQ(FindCommand(12345), nullptr);
}

TEST(CommandTable, ContextMenuHoldsTheViewCommandsAndTheToolsMenu) {
  std::vector<std::int32_t> expected = {kCmdEditCopy, kCmdEditSelectAll, kCmdEditFind, 0};
  for (const Command& c : Commands()) {
    if (c.menu != "Tools" && !c.menu.starts_with("Tools>")) continue;
    if (c.id == kCmdOptions) expected.push_back(0);
    expected.push_back(c.id);
  }
  expected.insert(expected.end(),
                  {0, kCmdViewPedigree, 0, kCmdFileSave, kCmdFileSaveAs, kCmdPrint});
  const auto menu = ContextMenuLayout();
  EXPECT_EQ(std::vector<std::int32_t>(menu.begin(), menu.end()), expected);
}

// Every command with a key, from both tables.
std::vector<const Command*> Keyed() {
  std::vector<const Command*> keyed;
  for (auto table : {Commands(), ViewCommands()})
    for (const Command& c : table)
      if (!c.accelerator.empty()) keyed.push_back(&c);
  return keyed;
}

TEST(CommandKeys, StandardKeysKeepTheirStandardMeaning) {
  const struct { const char* key; std::int32_t id; } cases[] = {
      {"Ctrl+C", kCmdEditCopy},     {"Ctrl+A", kCmdEditSelectAll},
      {"Ctrl+F", kCmdEditFind},     {"F3", kCmdEditFindNext},
      {"Shift+F3", kCmdEditFindPrevious}, {"Ctrl+S", kCmdFileSave},
      {"Ctrl+Shift+S", kCmdFileSaveAs}, {"Ctrl+Q", kCmdExit},
      {"Ctrl+P", kCmdPrint},        {"Ctrl+O", kCmdFileOpen},
      {"F1", kCmdHelpContents},
  };
  for (const auto& c : cases) {
    std::vector<std::int32_t> owners;
    for (const Command* command : Keyed())
      if (command->accelerator == c.key) owners.push_back(command->id);
    EXPECT_EQ(owners, std::vector<std::int32_t>{c.id}) << c.key;
  }
}

TEST(CommandKeys, EveryKeyIsShownOnceAndLeavesTheMenuTitlesFree) {
  std::set<std::string_view> seen;
  for (const Command* c : Keyed()) {
    EXPECT_TRUE(seen.insert(c->accelerator).second) << c->accelerator;
    // The text shows exactly the key that works.
    const auto tab = c->text.find('\t');
    ASSERT_NE(tab, std::string_view::npos) << c->id;
    EXPECT_EQ(c->text.substr(tab + 1), c->accelerator) << c->id;
    // Alt and a title's first letter open the menu bar's menus.
    for (const char* title : {"Alt+F", "Alt+T", "Alt+V", "Alt+H"})
      EXPECT_NE(c->accelerator, title) << c->id;
  }
  // No menu text shows a key that does not work.
  for (auto table : {Commands(), ViewCommands()})
    for (const Command& c : table) {
      if (c.accelerator.empty()) {
        EXPECT_EQ(c.text.find('\t'), std::string_view::npos) << c.id;
      }
    }
  EXPECT_EQ(seen.size(), 21u);
}

struct TextCase { std::int32_t id; const char* prompt; const char* tooltip; };

TEST(CommandTable, PromptsAndTooltipsKeepTheProgramsWording) {
  const TextCase cases[] = {
      {32776, "Compute inbreeding coefficients", "Compute inbreeding coefficients"},
      {32781, "Change options", "Options"},
      {32799, "Re-compute inbreeding coefficients for all individuals",
       "Re-compute inbreeding coefficients for all individuals"},
      {32806, "Brief structure of the pedigree", "Pedigree structure"},
      {32809, "Show inbreeding coefficient for a specific individual",
       "Show inbreeding coef. for a specific individual"},
      {32814, "Extract ancestors for a specific individual", ""},
      {32817, "Extract descendants for a group of interest", ""},
      {32839, "Draw inbreeding loops for a specific individual",
       "Draw inbreeding loops for a specific individual"},
      {32840, "Draw inbreeding loops for a group", "Draw inbreeding loops for a group"},
      {57601, "Open a pedigree file", "Open"},
      {57609, "Display full pages", "Print Preview"},
      {57606, "", ""},
      {57665, "", ""},
  };
  for (const TextCase& c : cases) {
    const Command* command = FindCommand(c.id);
    ASSERT_NE(command, nullptr) << c.id;
    EXPECT_EQ(command->prompt, c.prompt) << c.id;
    EXPECT_EQ(command->tooltip, c.tooltip) << c.id;
  }
}

}  // namespace
}  // namespace kinvar
