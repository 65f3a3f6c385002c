#include "app/commands.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace kinvar {

namespace {

constexpr std::uint32_t kValidNotShown = kValid | kNotShown;
constexpr std::uint32_t kTwoGroupRule = kValid | kTwoIndividuals | kGroups | kTwoGroups;

constexpr const char* kInbreeding = "Tools>Inbreeding";
constexpr const char* kDecomposition = "Tools>Inbreeding>Ancestral Decomposition";
constexpr const char* kPathCounting = "Tools>Inbreeding>Path Counting";
constexpr const char* kRelationship = "Tools>Relationship";
constexpr const char* kAncestors = "Tools>Extract Ancestors";
constexpr const char* kDescendants = "Tools>Extract Descendants";
constexpr const char* kReportView = "Report";
constexpr const char* kPopulation = "Tools>Population Management";
constexpr const char* kMatrices = "Tools>Matrices";
constexpr const char* kGenomics = "Tools>Genomics";

using H = Handler;

// Menu order; the prompts and tooltips are the program's own texts (plain
// misspellings corrected), and an empty prompt leaves the platform's standard
// one.
constexpr std::array kCommands{
    Command{kCmdFileOpen, "File", "&Open...\tCtrl+O", "Ctrl+O", "Open a pedigree file", "Open",
            kAlways, H::kDocument},
    Command{kCmdFileSave, "File", "&Save\tCtrl+S", "Ctrl+S", "Save the report", "Save",
            kPedigreeRead | kReport, H::kDocument},
    Command{kCmdFileSaveAs, "File", "Save &As...\tCtrl+Shift+S", "Ctrl+Shift+S", "Save As",
            "Save As", kPedigreeRead | kReport, H::kDocument},
    Command{kCmdFileExport, "File", "&Export...", "", "Export the tables of the report as data files",
            "Export", kTables, H::kFrame},
    Command{kCmdPrint, "File", "&Print...\tCtrl+P", "Ctrl+P", "Print", "Print", kReport, H::kView,
            true},
    Command{kCmdPrintPreview, "File", "Print Pre&view", "", "Display full pages", "Print Preview",
            kReport, H::kView},
    Command{kCmdPrintSetup, "File", "P&rint Setup...", "", "", "", kAlways, H::kView},
    Command{kCmdRecentFile, "File", "Recent File", "", "", "", kRecentFiles, H::kDocument, true},
    Command{kCmdExit, "File", "E&xit\tCtrl+Q", "Ctrl+Q", "", "", kAlways, H::kFrame, true},

    Command{kCmdCompute, kInbreeding, "&Compute\tCtrl+I", "Ctrl+I",
            "Compute inbreeding coefficients", "Compute inbreeding coefficients", kValidNotShown,
            H::kDocument},
    Command{kCmdRecompute, kInbreeding, "&Re-compute for All\tCtrl+Shift+R", "Ctrl+Shift+R",
            "Re-compute inbreeding coefficients for all individuals",
            "Re-compute inbreeding coefficients for all individuals", kValid | kFColumn,
            H::kDocument},
    Command{kCmdInbreedingOfIndividual, kInbreeding, "&An Individual...\tCtrl+Shift+I", "Ctrl+Shift+I",
            "Show inbreeding coefficient for a specific individual",
            "Show inbreeding coef. for a specific individual", kValid, H::kDocument},
    Command{kCmdDecompositionIndividual, kDecomposition, "An Individual...", "",
            "Ancestral decomposition of inbreeding for a specific individual",
            "Ancestral decomposition of inbreeding for a specific individual", kValid,
            H::kDocument},
    Command{kCmdDecompositionGroup, kDecomposition, "A Group...", "",
            "Ancestral decomposition of the average inbreeding for a group",
            "Ancestral decomposition of the average inbreeding for a group", kValid | kGroups,
            H::kDocument},
    Command{kCmdPathCountingIndividual, kPathCounting, "An Individual...", "",
            "Draw inbreeding loops for a specific individual",
            "Draw inbreeding loops for a specific individual", kValid, H::kDocument},
    Command{kCmdPathCountingGroup, kPathCounting, "A Group...", "",
            "Draw inbreeding loops for a group", "Draw inbreeding loops for a group",
            kValid | kGroups, H::kDocument},
    Command{kCmdPathCountingAll, kPathCounting, "All", "",
            "Draw inbreeding loops for all individuals",
            "Draw inbreeding loops for all individuals", kValidNotShown, H::kDocument},
    Command{kCmdPurging, kInbreeding, "P&urging Analysis...", "",
            "Ancestral, partial and purged inbreeding of a group or of all individuals",
            "Purging analysis", kValid, H::kDocument},

    Command{kCmdBetweenTwoIndividuals, kRelationship, "Between &Two Individuals...\tCtrl+Shift+B",
            "Ctrl+Shift+B", "Compute relationship between two individuals",
            "Compute relationship between two individuals", kValid | kTwoIndividuals,
            H::kDocument},
    Command{kCmdBetweenTwoGroups, kRelationship, "Between Two &Groups...", "",
            "Compute relationships between two groups", "Compute relationships between two groups",
            kTwoGroupRule, H::kDocument},
    Command{kCmdWithinGroup, kRelationship, "&Within a Group...", "",
            "Compute relationships within a group", "Compute relationships within a group",
            kTwoGroupRule, H::kDocument},
    Command{kCmdAverageBetweenGroups, kRelationship, "&Average Between Groups", "",
            "Compute average relationships between groups",
            "Compute average relationships between groups", kTwoGroupRule, H::kDocument},
    Command{kCmdBetweenAll, kRelationship, "Between &All Individuals", "",
            "Compute relationships between all individuals",
            "Compute relationships between all individuals", kValidNotShown | kTwoIndividuals,
            H::kDocument},
    Command{kCmdAverageRelatedness, kRelationship, "Average Relatedness", "", "Average Relatedness",
            "Average Relatedness", kValidNotShown, H::kDocument},
    Command{kCmdDecompositionCoancestry, kRelationship,
            "Ancestral Decomposition of Coancestry for a Group...", "",
            "Ancestral decomposition of the average coancestry for a group",
            "Ancestral decomposition of the average coancestry for a group", kValid | kGroups,
            H::kDocument},

    Command{kCmdInverseA, "Tools", "Inverse of &A\tCtrl+Shift+A", "Ctrl+Shift+A", "Compute inverse of A",
            "Compute inverse of A", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdInverseWithGroups, kMatrices, "Inverse of A with &Genetic Groups...", "",
            "Compute the inverse of A with genetic groups for unknown parents",
            "Inverse of A with genetic groups", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdInverseWithMetafounders, kMatrices, "Inverse of A with &Metafounders...", "",
            "Compute the inverse of A with metafounders, related base populations",
            "Inverse of A with metafounders", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdXLinked, kMatrices, "&X-Linked Relationships...", "",
            "Compute the relationships at X-chromosome loci or their inverse",
            "X-linked relationships", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdDominance, kMatrices, "&Dominance Relationships...", "",
            "Compute the dominance relationships of a group or of all individuals, or their inverse",
            "Dominance relationships", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdGenomicRelationship, kGenomics, "Genomic &Relationships...", "",
            "Compute the genomic relationships of the genotyped animals and set them against the pedigree's",
            "Genomic relationships", kValid, H::kDocument},
    Command{kCmdGenomicInbreeding, kGenomics, "Genomic &Inbreeding...", "",
            "Compute genomic inbreeding from the genotypes beside pedigree F", "Genomic inbreeding", kValid,
            H::kDocument},
    Command{kCmdHInverse, kGenomics, "Single-step &H-inverse...", "",
            "Compute the inverse of H, the pedigree and genomic relationships joined for single-step",
            "Single-step H-inverse", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdParentage, kGenomics, "&Parentage...", "",
            "Check the recorded parents of the genotyped animals by SNPs and find the likeliest ones",
            "Parentage", kValid, H::kDocument},
    Command{kCmdMatrixT, "Tools", "Matrix T", "", "Compute matrix T", "Compute matrix T",
            kValid | kTwoIndividuals | kSmallForT, H::kDocument},
    Command{kCmdDii, "Tools", "Within Family Segregation Variance (&dii)\tCtrl+D", "Ctrl+D",
            "Compute within family segregation variance",
            "Compute within family segregation variance", kValidNotShown, H::kDocument},
    Command{kCmdRecoding, "Tools", "Re-&coding\tCtrl+Shift+C", "Ctrl+Shift+C",
            "Re-code individuals in chronological and sequential order",
            "Re-code individuals in chronological and sequential order", kValidNotShown,
            H::kDocument},
    Command{kCmdStructure, "Tools", "Pedigree S&tructure\tCtrl+T", "Ctrl+T",
            "Brief structure of the pedigree", "Pedigree structure", kValidNotShown,
            H::kDocument},
    Command{kCmdExtractAncestorsIndividual, kAncestors, "An Individual...", "",
            "Extract ancestors for a specific individual", "", kValid, H::kDocument},
    Command{kCmdExtractAncestorsGroup, kAncestors, "A Group...", "",
            "Extract ancestors for a group of interest", "", kValid | kGroups, H::kDocument},
    Command{kCmdExtractDescendantsIndividual, kDescendants, "An Individual...", "",
            "Extract descendants for a specific individual", "", kValid, H::kDocument},
    Command{kCmdExtractDescendantsGroup, kDescendants, "A Group...", "",
            "Extract descendants for a group of interest", "", kValid | kGroups, H::kDocument},
    Command{kCmdGeneOrigin, "Tools", "Probabilities of Gene Origin...", "",
            "Probabilities of gene origin", "Probabilities of gene origin", kValid | kGroups,
            H::kDocument},
    Command{kCmdOptimizeMatings, "Tools", "Optimizing Matings...", "",
            "Optimize matings to minimize the average inbreeding",
            "Optimize matings to minimize the average inbreeding", kTwoGroupRule, H::kDocument},
    Command{kCmdPlannedMating, "Tools", "&Planned Mating...", "",
            "The offspring's F of a sire and a dam, its common ancestors, and the best sires for the dam",
            "Planned mating", kValid, H::kDocument},
    Command{kCmdDiversity, "Tools", "Genetic &Diversity Summary...", "",
            "Genetic diversity of a group or of all individuals: fe, fa, fg, Ne and completeness",
            "Genetic diversity summary", kValid, H::kDocument},
    Command{kCmdMeanKinship, kPopulation, "&Mean Kinship...", "",
            "Rank a group or all individuals by mean kinship, the most valuable first",
            "Mean kinship ranking", kValid, H::kDocument},
    Command{kCmdMateSuitability, kPopulation, "Mate &Suitability...", "",
            "Score every sire-dam pair by the change in gene diversity of one offspring",
            "Mate suitability", kTwoGroupRule, H::kDocument},
    Command{kCmdOptimumContributions, kPopulation, "&Optimum Contributions...", "",
            "Contributions of the candidates that keep kinship at a target and maximise gain",
            "Optimum contributions", kTwoGroupRule, H::kDocument},
    Command{kCmdGenotypeQc, kGenomics, "Genotype &Quality Control...", "",
            "Check a genotype file against the pedigree: call rates, allele frequencies, what is dropped",
            "Genotype quality control", kValid, H::kDocument},
    Command{kCmdOptions, "Tools", "&Options...\tAlt+O", "Alt+O", "Change options", "Options",
            kAlways, H::kDocument, true},

    Command{kCmdViewToolbar, "View", "&Toolbar", "", "", "", kAlways, H::kFrame},
    Command{kCmdViewStatusBar, "View", "&Status Bar", "", "", "", kAlways, H::kFrame},
    Command{kCmdViewPedigree, "View", "&View Pedigree\tCtrl+Shift+V", "Ctrl+Shift+V", "View pedigree",
            "View pedigree", kValidNotShown, H::kDocument},
    Command{kCmdViewPedigreeChart, "View", "Pedigree &Chart...", "",
            "Show the pedigree chart of an individual", "Pedigree chart", kValid, H::kFrame},
    Command{kCmdViewPedigreeCertificate, "View", "Pedigree C&ertificate...", "",
            "Show the printable pedigree certificate of an individual, 3 to 5 generations on A4",
            "Pedigree certificate", kValid, H::kFrame},
    Command{kCmdDrawAncestorsIndividual, "View>Pedigree &Drawing", "&Ancestors of an Individual...",
            "", "Draw an individual with all its ancestors, a row per generation", "", kValid,
            H::kFrame},
    Command{kCmdDrawAncestorsGroup, "View>Pedigree &Drawing", "Ancestors of a &Group...", "",
            "Draw the individuals of a group with all their ancestors", "", kValid | kGroups,
            H::kFrame},
    Command{kCmdDrawDescendantsIndividual, "View>Pedigree &Drawing",
            "&Descendants of an Individual...", "",
            "Draw an individual with all its descendants, a row per generation", "", kValid,
            H::kFrame},
    Command{kCmdDrawDescendantsGroup, "View>Pedigree &Drawing", "D&escendants of a Group...", "",
            "Draw the individuals of a group with all their descendants", "", kValid | kGroups,
            H::kFrame},
    Command{kCmdChartTrends, "View>C&harts", "&Trends by Group...", "",
            "Chart mean F, generations, completeness, fe, fa and Ne over the groups",
            "Trends by group", kValid | kGroups, H::kFrame},
    Command{kCmdChartFDistribution, "View>C&harts", "Distribution of &F", "",
            "Chart the distribution of the inbreeding coefficients",
            "Distribution of inbreeding coefficients", kValid, H::kFrame},
    Command{kCmdChartFounders, "View>C&harts", "&Founder Contributions...", "",
            "Chart the largest founder contributions to a group", "Founder contributions",
            kValid | kGroups, H::kFrame},
    Command{kCmdChartGroupHeatMap, "View>C&harts", "&Relationships between Groups", "",
            "Chart the average relationships between groups as a heat map",
            "Average relationships between groups", kTwoGroupRule, H::kFrame},
    Command{kCmdChartMatings, "View>C&harts", "&Matings...", "",
            "Chart the progeny F of the optimized matings against the proven optimum",
            "Progeny inbreeding of the matings", kTwoGroupRule, H::kFrame},
    Command{kCmdChartContributions, "View>C&harts", "&Optimum Contributions...", "",
            "Chart the optimum contributions of the selected candidates", "Optimum contributions",
            kTwoGroupRule, H::kFrame},
    Command{kCmdChartPurging, "View>C&harts", "&Purging by Group...", "",
            "Chart mean F, ancestral and purged inbreeding over the groups", "Purging by group",
            kValid | kGroups, H::kFrame},
    Command{kCmdChartGenomicInbreeding, "View>C&harts", "&Genomic against Pedigree F...", "",
            "Chart the genomic inbreeding of the genotyped animals against their pedigree F",
            "Genomic against pedigree F", kValid, H::kFrame},

    Command{kCmdHelpContents, "Help", "&Contents\tF1", "F1", "List the commands and their keys",
            "Help", kAlways, H::kFrame},
    Command{kCmdAbout, "Help", "&About Kinvar", "", "About Kinvar", "About Kinvar", kAlways,
            H::kFrame},
};

constexpr std::int32_t kToolbar[] = {
    kCmdFileOpen, kCmdFileSaveAs, 0,
    kCmdPrint, kCmdPrintPreview, 0,
    kCmdCompute, kCmdRecompute, kCmdInbreedingOfIndividual, 0,
    kCmdPathCountingAll, kCmdPathCountingIndividual, kCmdPathCountingGroup, 0,
    kCmdBetweenAll, kCmdBetweenTwoIndividuals, kCmdBetweenTwoGroups, kCmdWithinGroup,
    kCmdAverageBetweenGroups, 0,
    kCmdDecompositionIndividual, kCmdDecompositionGroup, kCmdDecompositionCoancestry, 0,
    kCmdOptimizeMatings, 0,
    kCmdInverseA, kCmdMatrixT, kCmdDii, 0,
    kCmdGeneOrigin, kCmdStructure, kCmdRecoding, 0,
    kCmdViewPedigree, 0,
    kCmdOptions, 0,
    kCmdAbout,
};

// The view's own commands: its keys and the head of its right-click menu.
constexpr std::array kViewCommands{
    Command{kCmdEditCopy, kReportView, "&Copy\tCtrl+C", "Ctrl+C",
            "Copy the selected lines as plain text", "Copy", kReport, H::kView},
    Command{kCmdEditSelectAll, kReportView, "Select &All\tCtrl+A", "Ctrl+A",
            "Select every line of the report", "Select All", kReport, H::kView},
    Command{kCmdEditFind, kReportView, "&Find...\tCtrl+F", "Ctrl+F", "Find text in the report",
            "Find", kReport, H::kView},
    Command{kCmdEditFindNext, kReportView, "Find &Next\tF3", "F3",
            "Find the next line that holds the text", "Find Next", kReport, H::kView},
    Command{kCmdEditFindPrevious, kReportView, "Find &Previous\tShift+F3", "Shift+F3",
            "Find the previous line that holds the text", "Find Previous", kReport, H::kView},
};

constexpr bool InTools(const Command& c) { return c.menu.starts_with("Tools"); }

// The right-click menu: the view's own commands, then the Tools menu as it
// stands (its submenus come from each command's menu path), then the report
// commands a user reaches for while reading.
constexpr std::int32_t kContextHead[] = {kCmdEditCopy, kCmdEditSelectAll, kCmdEditFind, 0};
constexpr std::int32_t kContextTail[] = {0, kCmdViewPedigree, 0, kCmdFileSave, kCmdFileSaveAs,
                                         kCmdPrint};

constexpr std::size_t ContextMenuSize() {
  std::size_t n = std::size(kContextHead) + std::size(kContextTail);
  for (const Command& c : kCommands)
    if (InTools(c)) n += c.separatorBefore ? 2 : 1;
  return n;
}

constexpr auto kContextMenu = [] {
  std::array<std::int32_t, ContextMenuSize()> ids{};
  std::size_t n = 0;
  for (std::int32_t id : kContextHead) ids[n++] = id;
  for (const Command& c : kCommands) {
    if (!InTools(c)) continue;
    if (c.separatorBefore) ids[n++] = 0;
    ids[n++] = c.id;
  }
  for (std::int32_t id : kContextTail) ids[n++] = id;
  return ids;
}();

// Which conditions of a rule hold in a state.
std::uint32_t Holding(std::int32_t id, const DocumentState& s) {
  std::uint32_t held = 0;
  if (s.lastCommand != kNoPedigree && s.lastCommand != kRejectedPedigree) held |= kValid;
  if (s.lastCommand != id) held |= kNotShown;
  if (s.nTotal > 1) held |= kTwoIndividuals;
  if (s.groupColumn != -1) held |= kGroups;
  if (s.nGroups > 1) held |= kTwoGroups;
  if (s.reportLines > 0) held |= kReport;
  if (s.lastCommand != kNoPedigree) held |= kPedigreeRead;
  if (s.fColumn != -1) held |= kFColumn;
  const auto n = static_cast<std::int64_t>(s.nTotal);
  if (n * n <= 250000) held |= kSmallForT;
  if (s.recentFiles) held |= kRecentFiles;
  if (s.tables) held |= kTables;
  return held;
}

}  // namespace

std::span<const Command> Commands() { return kCommands; }

std::span<const Command> ViewCommands() { return kViewCommands; }

const Command* FindCommand(std::int32_t id) {
  const auto same = [id](const Command& c) { return c.id == id; };
  if (const auto it = std::find_if(kCommands.begin(), kCommands.end(), same);
      it != kCommands.end())
    return &*it;
  const auto it = std::find_if(kViewCommands.begin(), kViewCommands.end(), same);
  return it == kViewCommands.end() ? nullptr : &*it;
}

std::span<const std::int32_t> ToolbarLayout() { return kToolbar; }

std::span<const std::int32_t> ContextMenuLayout() { return kContextMenu; }

bool IsEnabled(const Command& command, const DocumentState& state) {
  return (Holding(command.id, state) & command.rule) == command.rule;
}

bool IsAvailable(const Command& command, const DocumentState& state) {
  const std::uint32_t rule = command.rule & ~static_cast<std::uint32_t>(kNotShown);
  return (Holding(command.id, state) & rule) == rule;
}

std::string UnavailableMessage(const Command& command, const DocumentState& state) {
  const std::uint32_t missing = command.rule & ~Holding(command.id, state) & ~static_cast<std::uint32_t>(kNotShown);
  // Only the size of matrix T is a limit the user could not tell from the
  // pedigree's kind; the other rules name what the pedigree lacks.
  if (missing == kSmallForT)
    return "Matrix T is written for at most 500 individuals; this pedigree has " + std::to_string(state.nTotal) +
           ".";
  return "This command is not available for the loaded pedigree.";
}

}  // namespace kinvar
