#include "app/commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/parentage_report.h"
#include "app/command_declarations.h"

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

std::vector<RuleCase> RuleCases();

// The commands the cases know: the application's own and every one that
// some state enables. A command declared since is checked by its own tests,
// not by this table.
std::set<std::int32_t> Known(const std::set<std::int32_t>& enabled) {
  static const std::set<std::int32_t> known = [] {
    std::set<std::int32_t> all;
    for (const Command& c : FixedCommands()) all.insert(c.id);
    for (const RuleCase& c : RuleCases()) all.insert(c.expected.begin(), c.expected.end());
    return all;
  }();
  std::set<std::int32_t> out;
  for (const std::int32_t id : enabled)
    if (known.count(id) != 0) out.insert(id);
  return out;
}

TEST_P(CommandRules, EnableExactlyTheExpectedCommands) {
  EXPECT_EQ(Known(EnabledIn(GetParam().state)), GetParam().expected);
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

// The menu bar, the report view's commands and the toolbar as the user knows
// them, row by row: moving a command's row beside its handler must leave
// every text, key, rule and place as it is. Identifiers are numbers here so
// that a moved identifier keeps its value.
struct FrozenRow {
  const char* name;
  std::int32_t id;
  const char* menu;
  const char* text;
  const char* accelerator;
  const char* prompt;
  const char* tooltip;
  std::uint32_t rule;
  Handler handler;
  bool separatorBefore;
};

using H = Handler;
constexpr std::uint32_t kGroupPairs = kValid | kTwoIndividuals | kGroups | kTwoGroups;

constexpr FrozenRow kMenuBar[] = {
    {"FileOpen", 57601, "File", "&Open...\tCtrl+O", "Ctrl+O",
     "Open a pedigree file",
     "Open", kAlways, H::kDocument, false},
    {"FileSave", 57603, "File", "&Save\tCtrl+S", "Ctrl+S",
     "Save the report",
     "Save", kPedigreeRead | kReport, H::kDocument, false},
    {"FileSaveAs", 57604, "File", "Save &As...\tCtrl+Shift+S", "Ctrl+Shift+S",
     "Save As",
     "Save As", kPedigreeRead | kReport, H::kDocument, false},
    {"FileExport", 32900, "File", "&Export...", "",
     "Export the tables of the report as data files",
     "Export", kTables, H::kFrame, false},
    {"Print", 57607, "File", "&Print...\tCtrl+P", "Ctrl+P",
     "Print",
     "Print", kReport, H::kView, true},
    {"PrintPreview", 57609, "File", "Print Pre&view", "",
     "Display full pages",
     "Print Preview", kReport, H::kView, false},
    {"PrintSetup", 57606, "File", "P&rint Setup...", "",
     "",
     "", kAlways, H::kView, false},
    {"RecentFile", 57616, "File", "Recent File", "",
     "",
     "", kRecentFiles, H::kDocument, true},
    {"Exit", 57665, "File", "E&xit\tCtrl+Q", "Ctrl+Q",
     "",
     "", kAlways, H::kFrame, true},
    {"Compute", 32776, "Tools>Inbreeding", "&Compute\tCtrl+I", "Ctrl+I",
     "Compute inbreeding coefficients",
     "Compute inbreeding coefficients", kValid | kNotShown, H::kDocument, false},
    {"Recompute", 32799, "Tools>Inbreeding", "&Re-compute for All\tCtrl+Shift+R", "Ctrl+Shift+R",
     "Re-compute inbreeding coefficients for all individuals",
     "Re-compute inbreeding coefficients for all individuals", kValid | kFColumn, H::kDocument, false},
    {"InbreedingOfIndividual", 32809, "Tools>Inbreeding", "&An Individual...\tCtrl+Shift+I", "Ctrl+Shift+I",
     "Show inbreeding coefficient for a specific individual",
     "Show inbreeding coef. for a specific individual", kValid, H::kDocument, false},
    {"DecompositionIndividual", 32831, "Tools>Inbreeding>Ancestral Decomposition", "An Individual...", "",
     "Ancestral decomposition of inbreeding for a specific individual",
     "Ancestral decomposition of inbreeding for a specific individual", kValid, H::kDocument, false},
    {"DecompositionGroup", 32832, "Tools>Inbreeding>Ancestral Decomposition", "A Group...", "",
     "Ancestral decomposition of the average inbreeding for a group",
     "Ancestral decomposition of the average inbreeding for a group", kValid | kGroups, H::kDocument, false},
    {"PathCountingIndividual", 32839, "Tools>Inbreeding>Path Counting", "An Individual...", "",
     "Draw inbreeding loops for a specific individual",
     "Draw inbreeding loops for a specific individual", kValid, H::kDocument, false},
    {"PathCountingGroup", 32840, "Tools>Inbreeding>Path Counting", "A Group...", "",
     "Draw inbreeding loops for a group",
     "Draw inbreeding loops for a group", kValid | kGroups, H::kDocument, false},
    {"PathCountingAll", 32841, "Tools>Inbreeding>Path Counting", "All", "",
     "Draw inbreeding loops for all individuals",
     "Draw inbreeding loops for all individuals", kValid | kNotShown, H::kDocument, false},
    {"Purging", 32890, "Tools>Inbreeding", "P&urging Analysis...", "",
     "Ancestral, partial and purged inbreeding of a group or of all individuals",
     "Purging analysis", kValid, H::kDocument, false},
    {"BetweenTwoIndividuals", 32805, "Tools>Relationship", "Between &Two Individuals...\tCtrl+Shift+B", "Ctrl+Shift+B",
     "Compute relationship between two individuals",
     "Compute relationship between two individuals", kValid | kTwoIndividuals, H::kDocument, false},
    {"BetweenTwoGroups", 32821, "Tools>Relationship", "Between Two &Groups...", "",
     "Compute relationships between two groups",
     "Compute relationships between two groups", kGroupPairs, H::kDocument, false},
    {"WithinGroup", 32822, "Tools>Relationship", "&Within a Group...", "",
     "Compute relationships within a group",
     "Compute relationships within a group", kGroupPairs, H::kDocument, false},
    {"AverageBetweenGroups", 32824, "Tools>Relationship", "&Average Between Groups", "",
     "Compute average relationships between groups",
     "Compute average relationships between groups", kGroupPairs, H::kDocument, false},
    {"BetweenAll", 32796, "Tools>Relationship", "Between &All Individuals", "",
     "Compute relationships between all individuals",
     "Compute relationships between all individuals", kValid | kNotShown | kTwoIndividuals, H::kDocument, false},
    {"AverageRelatedness", 32869, "Tools>Relationship", "Average Relatedness", "",
     "Average Relatedness",
     "Average Relatedness", kValid | kNotShown, H::kDocument, false},
    {"DecompositionCoancestry", 32833, "Tools>Relationship", "Ancestral Decomposition of Coancestry for a Group...", "",
     "Ancestral decomposition of the average coancestry for a group",
     "Ancestral decomposition of the average coancestry for a group", kValid | kGroups, H::kDocument, false},
    {"InverseA", 32795, "Tools", "Inverse of &A\tCtrl+Shift+A", "Ctrl+Shift+A",
     "Compute inverse of A",
     "Compute inverse of A", kValid | kTwoIndividuals, H::kDocument, false},
    {"InverseWithGroups", 32913, "Tools>Matrices", "Inverse of A with &Genetic Groups...", "",
     "Compute the inverse of A with genetic groups for unknown parents",
     "Inverse of A with genetic groups", kValid | kTwoIndividuals, H::kDocument, false},
    {"InverseWithMetafounders", 32914, "Tools>Matrices", "Inverse of A with &Metafounders...", "",
     "Compute the inverse of A with metafounders, related base populations",
     "Inverse of A with metafounders", kValid | kTwoIndividuals, H::kDocument, false},
    {"XLinked", 32920, "Tools>Matrices", "&X-Linked Relationships...", "",
     "Compute the relationships at X-chromosome loci or their inverse",
     "X-linked relationships", kValid | kTwoIndividuals, H::kDocument, false},
    {"Dominance", 32921, "Tools>Matrices", "&Dominance Relationships...", "",
     "Compute the dominance relationships of a group or of all individuals, or their inverse",
     "Dominance relationships", kValid | kTwoIndividuals, H::kDocument, false},
    {"GenomicRelationship", 32940, "Tools>Genomics", "Genomic &Relationships...", "",
     "Compute the genomic relationships of the genotyped animals and set them against the pedigree's",
     "Genomic relationships", kValid, H::kDocument, false},
    {"GenomicInbreeding", 32941, "Tools>Genomics", "Genomic &Inbreeding...", "",
     "Compute genomic inbreeding from the genotypes beside pedigree F",
     "Genomic inbreeding", kValid, H::kDocument, false},
    {"HInverse", 32950, "Tools>Genomics", "Single-step &H-inverse...", "",
     "Compute the inverse of H, the pedigree and genomic relationships joined for single-step",
     "Single-step H-inverse", kValid | kTwoIndividuals, H::kDocument, false},
    {"Parentage", 32951, "Tools>Genomics", "&Parentage...", "",
     "Check the recorded parents of the genotyped animals by SNPs and find the likeliest ones",
     "Parentage", kValid, H::kDocument, false},
    {"MatrixT", 32878, "Tools", "Matrix T", "",
     "Compute matrix T",
     "Compute matrix T", kValid | kTwoIndividuals | kSmallForT, H::kDocument, false},
    {"Dii", 32784, "Tools", "Within Family Segregation Variance (&dii)\tCtrl+D", "Ctrl+D",
     "Compute within family segregation variance",
     "Compute within family segregation variance", kValid | kNotShown, H::kDocument, false},
    {"Recoding", 32820, "Tools", "Re-&coding\tCtrl+Shift+C", "Ctrl+Shift+C",
     "Re-code individuals in chronological and sequential order",
     "Re-code individuals in chronological and sequential order", kValid | kNotShown, H::kDocument, false},
    {"Structure", 32806, "Tools", "Pedigree S&tructure\tCtrl+T", "Ctrl+T",
     "Brief structure of the pedigree",
     "Pedigree structure", kValid | kNotShown, H::kDocument, false},
    {"ExtractAncestorsIndividual", 32814, "Tools>Extract Ancestors", "An Individual...", "",
     "Extract ancestors for a specific individual",
     "", kValid, H::kDocument, false},
    {"ExtractAncestorsGroup", 32815, "Tools>Extract Ancestors", "A Group...", "",
     "Extract ancestors for a group of interest",
     "", kValid | kGroups, H::kDocument, false},
    {"ExtractDescendantsIndividual", 32816, "Tools>Extract Descendants", "An Individual...", "",
     "Extract descendants for a specific individual",
     "", kValid, H::kDocument, false},
    {"ExtractDescendantsGroup", 32817, "Tools>Extract Descendants", "A Group...", "",
     "Extract descendants for a group of interest",
     "", kValid | kGroups, H::kDocument, false},
    {"GeneOrigin", 32818, "Tools", "Probabilities of Gene Origin...", "",
     "Probabilities of gene origin",
     "Probabilities of gene origin", kValid | kGroups, H::kDocument, false},
    {"OptimizeMatings", 32842, "Tools", "Optimizing Matings...", "",
     "Optimize matings to minimize the average inbreeding",
     "Optimize matings to minimize the average inbreeding", kGroupPairs, H::kDocument, false},
    {"PlannedMating", 32884, "Tools", "&Planned Mating...", "",
     "The offspring's F of a sire and a dam, its common ancestors, and the best sires for the dam",
     "Planned mating", kValid, H::kDocument, false},
    {"Diversity", 32880, "Tools", "Genetic &Diversity Summary...", "",
     "Genetic diversity of a group or of all individuals: fe, fa, fg, Ne and completeness",
     "Genetic diversity summary", kValid, H::kDocument, false},
    {"MeanKinship", 32881, "Tools>Population Management", "&Mean Kinship...", "",
     "Rank a group or all individuals by mean kinship, the most valuable first",
     "Mean kinship ranking", kValid, H::kDocument, false},
    {"MateSuitability", 32882, "Tools>Population Management", "Mate &Suitability...", "",
     "Score every sire-dam pair by the change in gene diversity of one offspring",
     "Mate suitability", kGroupPairs, H::kDocument, false},
    {"OptimumContributions", 32883, "Tools>Population Management", "&Optimum Contributions...", "",
     "Contributions of the candidates that keep kinship at a target and maximise gain",
     "Optimum contributions", kGroupPairs, H::kDocument, false},
    {"GenotypeQc", 32949, "Tools>Genomics", "Genotype &Quality Control...", "",
     "Check a genotype file against the pedigree: call rates, allele frequencies, what is dropped",
     "Genotype quality control", kValid, H::kDocument, false},
    {"Options", 32781, "Tools", "&Options...\tAlt+O", "Alt+O",
     "Change options",
     "Options", kAlways, H::kDocument, true},
    {"ViewToolbar", 59392, "View", "&Toolbar", "",
     "",
     "", kAlways, H::kFrame, false},
    {"ViewStatusBar", 59393, "View", "&Status Bar", "",
     "",
     "", kAlways, H::kFrame, false},
    {"ViewPedigree", 32811, "View", "&View Pedigree\tCtrl+Shift+V", "Ctrl+Shift+V",
     "View pedigree",
     "View pedigree", kValid | kNotShown, H::kDocument, false},
    {"ViewPedigreeChart", 32901, "View", "Pedigree &Chart...", "",
     "Show the pedigree chart of an individual",
     "Pedigree chart", kValid, H::kFrame, false},
    {"ViewPedigreeCertificate", 32930, "View", "Pedigree C&ertificate...", "",
     "Show the printable pedigree certificate of an individual, 3 to 5 generations on A4",
     "Pedigree certificate", kValid, H::kFrame, false},
    {"DrawAncestorsIndividual", 32902, "View>Pedigree &Drawing", "&Ancestors of an Individual...", "",
     "Draw an individual with all its ancestors, a row per generation",
     "", kValid, H::kFrame, false},
    {"DrawAncestorsGroup", 32903, "View>Pedigree &Drawing", "Ancestors of a &Group...", "",
     "Draw the individuals of a group with all their ancestors",
     "", kValid | kGroups, H::kFrame, false},
    {"DrawDescendantsIndividual", 32904, "View>Pedigree &Drawing", "&Descendants of an Individual...", "",
     "Draw an individual with all its descendants, a row per generation",
     "", kValid, H::kFrame, false},
    {"DrawDescendantsGroup", 32905, "View>Pedigree &Drawing", "D&escendants of a Group...", "",
     "Draw the individuals of a group with all their descendants",
     "", kValid | kGroups, H::kFrame, false},
    {"ChartTrends", 32906, "View>C&harts", "&Trends by Group...", "",
     "Chart mean F, generations, completeness, fe, fa and Ne over the groups",
     "Trends by group", kValid | kGroups, H::kFrame, false},
    {"ChartFDistribution", 32907, "View>C&harts", "Distribution of &F", "",
     "Chart the distribution of the inbreeding coefficients",
     "Distribution of inbreeding coefficients", kValid, H::kFrame, false},
    {"ChartFounders", 32908, "View>C&harts", "&Founder Contributions...", "",
     "Chart the largest founder contributions to a group",
     "Founder contributions", kValid | kGroups, H::kFrame, false},
    {"ChartGroupHeatMap", 32909, "View>C&harts", "&Relationships between Groups", "",
     "Chart the average relationships between groups as a heat map",
     "Average relationships between groups", kGroupPairs, H::kFrame, false},
    {"ChartMatings", 32910, "View>C&harts", "&Matings...", "",
     "Chart the progeny F of the optimized matings against the proven optimum",
     "Progeny inbreeding of the matings", kGroupPairs, H::kFrame, false},
    {"ChartContributions", 32911, "View>C&harts", "&Optimum Contributions...", "",
     "Chart the optimum contributions of the selected candidates",
     "Optimum contributions", kGroupPairs, H::kFrame, false},
    {"ChartPurging", 32912, "View>C&harts", "&Purging by Group...", "",
     "Chart mean F, ancestral and purged inbreeding over the groups",
     "Purging by group", kValid | kGroups, H::kFrame, false},
    {"ChartGenomicInbreeding", 32915, "View>C&harts", "&Genomic against Pedigree F...", "",
     "Chart the genomic inbreeding of the genotyped animals against their pedigree F",
     "Genomic against pedigree F", kValid, H::kFrame, false},
    {"HelpContents", 57670, "Help", "&Contents\tF1", "F1",
     "List the commands and their keys",
     "Help", kAlways, H::kFrame, false},
    {"About", 57664, "Help", "&About Kinvar", "",
     "About Kinvar",
     "About Kinvar", kAlways, H::kFrame, false},
};

constexpr FrozenRow kReportViewCommands[] = {
    {"EditCopy", 57634, "Report", "&Copy\tCtrl+C", "Ctrl+C",
     "Copy the selected lines as plain text",
     "Copy", kReport, H::kView, false},
    {"EditSelectAll", 57642, "Report", "Select &All\tCtrl+A", "Ctrl+A",
     "Select every line of the report",
     "Select All", kReport, H::kView, false},
    {"EditFind", 57636, "Report", "&Find...\tCtrl+F", "Ctrl+F",
     "Find text in the report",
     "Find", kReport, H::kView, false},
    {"EditFindNext", 57640, "Report", "Find &Next\tF3", "F3",
     "Find the next line that holds the text",
     "Find Next", kReport, H::kView, false},
    {"EditFindPrevious", 57645, "Report", "Find &Previous\tShift+F3", "Shift+F3",
     "Find the previous line that holds the text",
     "Find Previous", kReport, H::kView, false},
};

void ExpectRows(std::span<const Command> table, std::span<const FrozenRow> rows) {
  for (std::size_t i = 0; i < std::min(table.size(), rows.size()); ++i) {
    const Command& c = table[i];
    const FrozenRow& row = rows[i];
    SCOPED_TRACE(std::to_string(i) + " " + row.name);
    EXPECT_EQ(c.id, row.id);
    EXPECT_EQ(c.menu, row.menu);
    EXPECT_EQ(c.text, row.text);
    EXPECT_EQ(c.accelerator, row.accelerator);
    EXPECT_EQ(c.prompt, row.prompt);
    EXPECT_EQ(c.tooltip, row.tooltip);
    EXPECT_EQ(c.rule, row.rule);
    EXPECT_EQ(c.handler, row.handler);
    EXPECT_EQ(c.separatorBefore, row.separatorBefore);
  }
  EXPECT_EQ(table.size(), rows.size());
}

// Every frozen row keeps its fields and its place among the others; a row
// the freeze does not know must be a declared command's, so that a new
// command adds its row by its declaration alone.
TEST(CommandTable, MenuBarKeepsEveryRowInItsPlace) {
  std::vector<Command> frozen;
  for (const Command& c : Commands()) {
    if (std::any_of(std::begin(kMenuBar), std::end(kMenuBar), [&](const FrozenRow& r) { return r.id == c.id; }))
      frozen.push_back(c);
    else
      EXPECT_TRUE(FindDeclaration(c.id).has_value()) << c.text << " is neither frozen nor declared";
  }
  ExpectRows(frozen, kMenuBar);
}

// Every command the table froze is one the cases know, so that none of them
// can come on where no case expects it.
TEST(CommandRules, KnowEveryFrozenCommand) {
  std::set<std::int32_t> frozen;
  for (const FrozenRow& row : kMenuBar) frozen.insert(row.id);
  const std::set<std::int32_t> known = Known(frozen);
  std::vector<std::int32_t> unknown;
  std::set_difference(frozen.begin(), frozen.end(), known.begin(), known.end(), std::back_inserter(unknown));
  EXPECT_EQ(unknown, std::vector<std::int32_t>{});
}

TEST(CommandTable, ReportViewKeepsItsCommands) { ExpectRows(ViewCommands(), kReportViewCommands); }

TEST(CommandTable, ToolbarKeepsItsButtons) {
  const std::vector<std::int32_t> expected = {
      57601, 57604, 0,
      57607, 57609, 0,
      32776, 32799, 32809, 0,
      32841, 32839, 32840, 0,
      32796, 32805, 32821, 32822, 32824, 0,
      32831, 32832, 32833, 0,
      32842, 0,
      32795, 32878, 32784, 0,
      32818, 32806, 32820, 0,
      32811, 0,
      32781, 0,
      57664
  };
  const auto toolbar = ToolbarLayout();
  EXPECT_EQ(std::vector<std::int32_t>(toolbar.begin(), toolbar.end()), expected);
}

// A new command's row, declared beside its handler, and where the menu bar
// then holds it: its neighbours in the table, and the row before it in its
// own menu, which is what the user sees (each submenu stands where its first
// row does).
struct PlacementRow {
  const char* name;
  MenuRow row;
  std::int32_t after;   // the row before it; 0: it is the first
  std::int32_t before;  // the row after it; 0: it is the last
  std::int32_t afterInItsMenu;  // 0: the first row of its menu
};

constexpr std::int32_t kNewCommand = 99001;

// A command declared with its row alone; without one it is on no menu.
CommandDeclaration NewCommand(std::int32_t id, std::optional<MenuRow> row) {
  CommandDeclaration d;
  d.id = id;
  d.name = "new";
  d.menu = std::move(row);
  return d;
}

struct NewRow {
  std::int32_t id;
  std::optional<MenuRow> row;
};

// Today's declarations, then new commands declared with their rows alone.
std::vector<CommandDeclaration> DeclaredWith(std::vector<NewRow> added) {
  std::vector<CommandDeclaration> declared = CommandDeclarations();
  for (NewRow& a : added) declared.push_back(NewCommand(a.id, std::move(a.row)));
  return declared;
}

std::vector<std::int32_t> IdsOf(const std::vector<Command>& rows) {
  std::vector<std::int32_t> ids;
  for (const Command& c : rows) ids.push_back(c.id);
  return ids;
}

std::int32_t RowBeforeInItsMenu(const std::vector<Command>& rows, std::int32_t id) {
  const auto at = std::find_if(rows.begin(), rows.end(), [id](const Command& c) { return c.id == id; });
  std::int32_t before = 0;
  for (auto it = rows.begin(); it != at; ++it)
    if (it->menu == at->menu) before = it->id;
  return before;
}

TEST(DeclaredMenuRows, GoWhereTheirDeclarationSaysAndMoveNoOtherRow) {
  const PlacementRow rows[] = {
      {"EndsItsSubmenu", {.menu = kGenomicsMenu, .text = "New"}, kCmdGenotypeQc, kCmdOptions, kCmdGenotypeQc},
      {"EndsItsMenuBeforeTheClosingOptions", {.menu = kToolsMenu, .text = "New"}, kCmdGenotypeQc, kCmdOptions,
       kCmdDiversity},
      {"OpensANewSubmenuAtTheEndOfItsMenu", {.menu = "Tools>Simulation", .text = "New"}, kCmdGenotypeQc,
       kCmdOptions, 0},
      // The rows of other menus that follow purging (the relationships and
      // the inverse of A) come first in the table.
      {"EndsItsMenuAfterItsSubmenus", {.menu = kInbreedingMenu, .text = "New"}, kCmdInverseA,
       kCmdInverseWithGroups, kCmdPurging},
      {"FollowsTheCommandItNames", {.menu = kRelationshipMenu, .text = "New", .follows = kCmdBetweenAll},
       kCmdBetweenAll, kCmdAverageRelatedness, kCmdBetweenAll},
      // Matrix T names Parentage too: the new row still stands where it asked.
      {"TakesThePlaceOfARowNamingTheSameCommand", {.menu = kToolsMenu, .text = "New", .follows = kCmdParentage},
       kCmdParentage, kCmdMatrixT, kCmdInverseA},
      {"EndsTheFileMenuBeforeExit", {.menu = "File", .text = "New"}, kCmdRecentFile, kCmdExit, kCmdRecentFile},
      {"EndsTheCharts", {.menu = "View>C&harts", .text = "New", .handler = Handler::kFrame},
       kCmdChartGenomicInbreeding, kCmdHelpContents, kCmdChartGenomicInbreeding},
      {"EndsTheHelpMenu", {.menu = "Help", .text = "New"}, kCmdAbout, 0, kCmdAbout},
      {"OpensANewMenuAtTheEndOfTheBar", {.menu = "Simulation", .text = "New"}, kCmdAbout, 0, 0},
      // Named a command that no menu holds: still on its menu.
      {"FollowingNoCommandEndsItsMenu", {.menu = kGenomicsMenu, .text = "New", .follows = 12345}, kCmdGenotypeQc,
       kCmdOptions, kCmdGenotypeQc},
  };
  const std::vector<std::int32_t> today = IdsOf({Commands().begin(), Commands().end()});
  for (const PlacementRow& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<CommandDeclaration> declared = DeclaredWith({{kNewCommand, row.row}});
    const std::vector<Command> bar = PlaceDeclaredRows(FixedCommands(), declared);
    std::vector<std::int32_t> ids = IdsOf(bar);
    const auto at = std::find(ids.begin(), ids.end(), kNewCommand);
    ASSERT_NE(at, ids.end());
    EXPECT_EQ(at == ids.begin() ? 0 : *(at - 1), row.after);
    EXPECT_EQ(at + 1 == ids.end() ? 0 : *(at + 1), row.before);
    EXPECT_EQ(RowBeforeInItsMenu(bar, kNewCommand), row.afterInItsMenu);
    ids.erase(at);
    EXPECT_EQ(ids, today);
  }
}

TEST(DeclaredMenuRows, KeepTheirDeclaredOrderAndMayFollowARowDeclaredAfterThem) {
  const std::vector<CommandDeclaration> declared = DeclaredWith({
      {99001, MenuRow{.menu = "Tools>Simulation", .text = "1"}},
      {99002, MenuRow{.menu = "Tools>Simulation", .text = "2"}},
      {99003, MenuRow{.menu = kGenomicsMenu, .text = "3", .follows = 99004}},
      {99004, MenuRow{.menu = kGenomicsMenu, .text = "4", .follows = kCmdParentage}},
      // Each follows the other: neither command is lost.
      {99005, MenuRow{.menu = "Tools>Ring", .text = "5", .follows = 99006}},
      {99006, MenuRow{.menu = "Tools>Ring", .text = "6", .follows = 99005}},
      {99007, std::nullopt},
  });
  const std::vector<std::int32_t> ids = IdsOf(PlaceDeclaredRows(FixedCommands(), declared));
  // The n rows from `from` on.
  const auto slice = [&ids](std::int32_t from, std::ptrdiff_t n) {
    const auto at = std::find(ids.begin(), ids.end(), from);
    return ids.end() - at < n ? std::vector<std::int32_t>{} : std::vector<std::int32_t>(at, at + n);
  };
  EXPECT_EQ(slice(kCmdParentage, 4), (std::vector<std::int32_t>{kCmdParentage, 99004, 99003, kCmdMatrixT}));
  EXPECT_EQ(slice(kCmdGenotypeQc, 6),
            (std::vector<std::int32_t>{kCmdGenotypeQc, 99001, 99002, 99005, 99006, kCmdOptions}));
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 99007), 0);
  EXPECT_EQ(ids.size(), Commands().size() + 6);
}

TEST(DeclaredMenuRows, CarryEveryFieldOfTheRow) {
  const CommandDeclaration d = NewCommand(
      kNewCommand, MenuRow{.menu = "Tools>Simulation", .text = "&New\tCtrl+Shift+N", .accelerator = "Ctrl+Shift+N",
                           .prompt = "Run it", .tooltip = "New", .rule = kValid | kGroups,
                           .handler = Handler::kFrame, .separatorBefore = true});
  const std::vector<Command> rows = PlaceDeclaredRows({}, std::span<const CommandDeclaration>(&d, 1));
  ASSERT_EQ(rows.size(), 1u);
  const Command& c = rows[0];
  EXPECT_EQ(c.id, kNewCommand);
  EXPECT_EQ(c.menu, "Tools>Simulation");
  EXPECT_EQ(c.text, "&New\tCtrl+Shift+N");
  EXPECT_EQ(c.accelerator, "Ctrl+Shift+N");
  EXPECT_EQ(c.prompt, "Run it");
  EXPECT_EQ(c.tooltip, "New");
  EXPECT_EQ(c.rule, kValid | kGroups);
  EXPECT_EQ(c.handler, Handler::kFrame);
  EXPECT_TRUE(c.separatorBefore);
}

// A declared command's identifier is what lastCommand, Save As and the
// Options dialog's re-run know it by: no other command may share it.
TEST(DeclaredMenuRows, IdentifiersAreTheirCommandsAlone) {
  std::set<std::int32_t> fixed = {kCmdNone, kNoPedigree, kRejectedPedigree};
  for (auto table : {FixedCommands(), ViewCommands()})
    for (const Command& c : table) EXPECT_TRUE(fixed.insert(c.id).second) << c.id;
  std::set<std::int32_t> declared;
  std::set<std::int32_t> followed;
  for (const CommandDeclaration& d : CommandDeclarations()) {
    SCOPED_TRACE(d.FullName());
    EXPECT_TRUE(declared.insert(d.id).second);
    EXPECT_NE(d.id, kCmdNone);
    EXPECT_NE(d.id, kNoPedigree);
    EXPECT_NE(d.id, kRejectedPedigree);
    if (!d.menu) {
      // Its row still stands in the application's table.
      EXPECT_EQ(fixed.count(d.id), 1u);
      continue;
    }
    EXPECT_EQ(fixed.count(d.id), 0u);
    if (d.menu->follows == 0) continue;
    // Two rows after one command would stand in the order the passes met them.
    EXPECT_TRUE(followed.insert(d.menu->follows).second) << d.menu->follows;
    const auto bar = Commands();
    const auto at = std::find_if(bar.begin(), bar.end(), [&d](const Command& c) { return c.id == d.id; });
    ASSERT_NE(at, bar.end());
    ASSERT_NE(at, bar.begin());
    EXPECT_EQ((at - 1)->id, d.menu->follows);
  }
}

}  // namespace
}  // namespace kinvar
