#include "app/commands.h"

#include <gtest/gtest.h>

#include <algorithm>
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
const std::set<std::int32_t> kFrameAlways = {kCmdFileOpen, kCmdPrintSetup, kCmdExit,   kCmdOptions,
                                             kCmdViewToolbar, kCmdViewStatusBar, kCmdAbout};
// With a report on screen.
const std::set<std::int32_t> kReportCommands = {kCmdFileSaveAs, kCmdPrint, kCmdPrintPreview};
// Needing only an accepted pedigree (and, for some, two individuals or a
// report other than their own).
const std::set<std::int32_t> kSingleIndividualAnalyses = {
    kCmdCompute,     kCmdInbreedingOfIndividual, kCmdDecompositionIndividual,
    kCmdPathCountingIndividual, kCmdPathCountingAll, kCmdAverageRelatedness,
    kCmdDii,         kCmdRecoding,               kCmdStructure,
    kCmdExtractAncestorsIndividual, kCmdExtractDescendantsIndividual, kCmdViewPedigree,
    kCmdDiversity};
const std::set<std::int32_t> kPairAnalyses = {kCmdBetweenTwoIndividuals, kCmdBetweenAll,
                                              kCmdInverseA, kCmdMatrixT};
const std::set<std::int32_t> kOneGroupAnalyses = {kCmdDecompositionGroup,  kCmdPathCountingGroup,
                                                  kCmdDecompositionCoancestry,
                                                  kCmdExtractAncestorsGroup,
                                                  kCmdExtractDescendantsGroup, kCmdGeneOrigin};
const std::set<std::int32_t> kTwoGroupAnalyses = {kCmdBetweenTwoGroups, kCmdWithinGroup,
                                                  kCmdAverageBetweenGroups, kCmdOptimizeMatings};

std::set<std::int32_t> Union(std::initializer_list<std::set<std::int32_t>> sets) {
  std::set<std::int32_t> all;
  for (const auto& s : sets) all.insert(s.begin(), s.end());
  return all;
}

std::set<std::int32_t> Without(std::set<std::int32_t> s, std::initializer_list<std::int32_t> ids) {
  for (std::int32_t id : ids) s.erase(id);
  return s;
}

DocumentState Loaded(std::int32_t last, std::int32_t n) {
  DocumentState s;
  s.lastCommand = last;
  s.nTotal = n;
  s.reportLines = 12;
  return s;
}

struct RuleCase {
  const char* name;
  DocumentState state;
  std::set<std::int32_t> expected;
};

class CommandRules : public testing::TestWithParam<RuleCase> {};

TEST_P(CommandRules, EnableExactlyTheExpectedCommands) {
  EXPECT_EQ(EnabledIn(GetParam().state), GetParam().expected);
}

std::vector<RuleCase> RuleCases() {
  std::vector<RuleCase> cases;
  cases.push_back({"NoPedigree", DocumentState{}, kFrameAlways});
  {
    DocumentState s = Loaded(kNoPedigree, 0);  // report lines left by a failed read
    cases.push_back({"NoPedigreeWithStaleReport", s, Union({kFrameAlways, {kCmdPrint, kCmdPrintPreview}})});
  }
  cases.push_back({"RejectedFileCanBeSavedAndPrinted", Loaded(kRejectedPedigree, 40),
                   Union({kFrameAlways, kReportCommands})});
  cases.push_back({"LoadedWithoutGroupsShowsViewPedigree", Loaded(kCmdViewPedigree, 10),
                   Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                  kPairAnalyses}),
                           {kCmdViewPedigree})});
  cases.push_back({"ComputeShownDisablesComputeNotView", Loaded(kCmdCompute, 10),
                   Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                  kPairAnalyses}),
                           {kCmdCompute})});
  cases.push_back({"CancelledReportEnablesEveryNotShownCommand", Loaded(kCmdNone, 10),
                   Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses, kPairAnalyses})});
  {
    DocumentState s = Loaded(kCmdViewPedigree, 10);
    s.groupColumn = 3;
    s.nGroups = 1;
    cases.push_back({"OneGroupLeavesOutTwoGroupCommands", s,
                     Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                    kPairAnalyses, kOneGroupAnalyses}),
                             {kCmdViewPedigree})});
  }
  {
    DocumentState s = Loaded(kCmdViewPedigree, 10);
    s.groupColumn = 0;
    s.nGroups = 2;
    cases.push_back({"TwoGroupsEnableEveryGroupCommand", s,
                     Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                    kPairAnalyses, kOneGroupAnalyses, kTwoGroupAnalyses}),
                             {kCmdViewPedigree})});
  }
  {
    DocumentState s = Loaded(kCmdViewPedigree, 1);
    s.groupColumn = 0;
    s.nGroups = 2;  // a group table can list more groups than individuals remain
    cases.push_back({"OneIndividualDisablesPairAndTwoGroupCommands", s,
                     Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                    kOneGroupAnalyses}),
                             {kCmdViewPedigree})});
  }
  {
    DocumentState s = Loaded(kCmdRecompute, 10);
    s.fColumn = 3;
    cases.push_back({"RecomputeStaysEnabledWhileItsReportIsShown", s,
                     Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses, kPairAnalyses,
                            {kCmdRecompute}})});
  }
  cases.push_back({"MatrixTEnabledWithFiveHundred", Loaded(kCmdViewPedigree, 500),
                   Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                  kPairAnalyses}),
                           {kCmdViewPedigree})});
  cases.push_back({"MatrixTDisabledWithFiveHundredOne", Loaded(kCmdViewPedigree, 501),
                   Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                  kPairAnalyses}),
                           {kCmdViewPedigree, kCmdMatrixT})});
  // 65536 squared overflows 32 bits to 0; the product must not pass the test.
  cases.push_back({"MatrixTProductDoesNotOverflow", Loaded(kCmdViewPedigree, 65536),
                   Without(Union({kFrameAlways, kReportCommands, kSingleIndividualAnalyses,
                                  kPairAnalyses}),
                           {kCmdViewPedigree, kCmdMatrixT})});
  {
    DocumentState s;
    s.recentFiles = true;
    cases.push_back({"RecentFilesWhenTheListHoldsFiles", s, Union({kFrameAlways, {kCmdRecentFile}})});
  }
  return cases;
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
  EXPECT_FALSE(IsAvailable(*FindCommand(kCmdHelpContents), s));
}

TEST(CommandTable, IdentifiersAreUniqueAndFindable) {
  std::set<std::int32_t> seen;
  for (const Command& c : Commands()) {
    EXPECT_TRUE(seen.insert(c.id).second) << c.id;
    EXPECT_EQ(FindCommand(c.id), &c);
  }
  EXPECT_EQ(seen.size(), 40u);  // every row of the menu bar
  EXPECT_EQ(FindCommand(12345), nullptr);
}

TEST(CommandTable, AcceleratorsAreExactlyTheKeyTable) {
  std::set<std::pair<std::string, std::int32_t>> keys;
  for (const Command& c : Commands())
    if (!c.accelerator.empty()) keys.emplace(std::string(c.accelerator), c.id);
  const std::set<std::pair<std::string, std::int32_t>> expected = {
      {"Ctrl+D", 32784}, {"Ctrl+F", 32776}, {"Alt+F", 32809}, {"Ctrl+O", 57601},
      {"Alt+O", 32781},  {"Ctrl+P", 57607}, {"Ctrl+R", 32799}, {"Alt+R", 32805},
      {"Ctrl+S", 57604}, {"Ctrl+T", 32806}, {"Ctrl+V", 32811}, {"Ctrl+X", 57665}};
  EXPECT_EQ(keys, expected);
  // The menu shows these keys without an accelerator behind them.
  EXPECT_EQ(FindCommand(kCmdInverseA)->text, "Inverse of &A\tCtrl+A");
  EXPECT_EQ(FindCommand(kCmdRecoding)->text, "Re-&coding\tCtrl+C");
}

TEST(CommandTable, ToolbarListsTheButtonsWithTheirSeparators) {
  const std::vector<std::int32_t> expected = {
      57601, 57604, 0, 57607, 57609, 0, 32776, 32799, 32809, 0, 32841, 32839, 32840, 0,
      32796, 32805, 32821, 32822, 32824, 0, 32831, 32832, 32833, 0, 32842, 0,
      32795, 32878, 32784, 0, 32818, 32806, 32820, 0, 32811, 0, 32781, 0, 57664};
  const auto layout = ToolbarLayout();
  EXPECT_EQ(std::vector<std::int32_t>(layout.begin(), layout.end()), expected);
  for (std::int32_t id : layout)
    if (id != 0) {
      EXPECT_NE(FindCommand(id), nullptr) << id;
    }
}

TEST(CommandTable, ContextMenuRepeatsTheToolsItems) {
  std::vector<std::int32_t> tools;
  for (const Command& c : Commands())
    if (c.menu.starts_with("Tools") && c.id != kCmdOptions) tools.push_back(c.id);
  std::vector<std::int32_t> expected = tools;
  expected.insert(expected.end(), {0, kCmdViewPedigree, kCmdOptions, kCmdFileSaveAs, kCmdPrint});
  const auto menu = ContextMenuLayout();
  EXPECT_EQ(std::vector<std::int32_t>(menu.begin(), menu.end()), expected);
}

struct TextCase {
  std::int32_t id;
  const char* prompt;
  const char* tooltip;
};

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

TEST(CommandTable, MenusComeInMenuBarOrder) {
  std::vector<std::string> order;
  for (const Command& c : Commands()) {
    const std::string top(c.menu.substr(0, c.menu.find('>')));
    if (order.empty() || order.back() != top) order.push_back(top);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"File", "Tools", "View", "Help"}));
}

}  // namespace
}  // namespace kinvar
