#include "app/commands.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>
#include <vector>

#include "app/command_declarations.h"

namespace kinvar {

namespace {

constexpr const char* kReportView = "Report";

using H = Handler;

// Menu order of the rows of the commands that have no declaration; the
// prompts and tooltips are the program's own texts (plain misspellings
// corrected), and an empty prompt leaves the platform's standard one. The
// declared commands' rows come from their declarations: the Tools menu's
// first row follows Exit, so that Tools stands second on the bar.
constexpr std::array kFixedCommands{
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

    Command{kCmdInverseWithGroups, kMatricesMenu, "Inverse of A with &Genetic Groups...", "",
            "Compute the inverse of A with genetic groups for unknown parents",
            "Inverse of A with genetic groups", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdInverseWithMetafounders, kMatricesMenu, "Inverse of A with &Metafounders...", "",
            "Compute the inverse of A with metafounders, related base populations",
            "Inverse of A with metafounders", kValid | kTwoIndividuals, H::kDocument},
    Command{kCmdOptions, "Tools", "&Options...\tAlt+O", "Alt+O", "Change options", "Options",
            kAlways, H::kDocument, true},

    Command{kCmdViewToolbar, "View", "&Toolbar", "", "", "", kAlways, H::kFrame},
    Command{kCmdViewStatusBar, "View", "&Status Bar", "", "", "", kAlways, H::kFrame},
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

bool InTools(const Command& c) { return c.menu.starts_with("Tools"); }

// The right-click menu: the view's own commands, then the Tools menu as it
// stands (its submenus come from each command's menu path), then the report
// commands a user reaches for while reading.
constexpr std::int32_t kContextHead[] = {kCmdEditCopy, kCmdEditSelectAll, kCmdEditFind, 0};
constexpr std::int32_t kContextTail[] = {0, kCmdViewPedigree, 0, kCmdFileSave, kCmdFileSaveAs,
                                         kCmdPrint};

std::vector<std::int32_t> ContextMenuOf(std::span<const Command> bar) {
  std::vector<std::int32_t> ids(std::begin(kContextHead), std::end(kContextHead));
  for (const Command& c : bar) {
    if (!InTools(c)) continue;
    if (c.separatorBefore) ids.push_back(0);
    ids.push_back(c.id);
  }
  ids.insert(ids.end(), std::begin(kContextTail), std::end(kContextTail));
  return ids;
}

// Whether a row of `menu` stands in the menu `path` or in one of its
// submenus.
bool Within(std::string_view menu, std::string_view path) {
  return menu.starts_with(path) && (menu.size() == path.size() || menu[path.size()] == '>');
}

std::string_view Parent(std::string_view path) {
  const std::size_t cut = path.rfind('>');
  return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
}

// Where a row goes at the end of its menu: after the last row of the menu
// or its submenus, before that menu's closing row (a row after a separator
// that ends its menu of the bar, as Options and Exit do); a menu that holds
// no row yet ends the menu that holds it.
std::size_t EndOf(const std::vector<Command>& rows, std::string_view path) {
  for (std::string_view p = path; !p.empty(); p = Parent(p)) {
    std::size_t last = rows.size();
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (Within(rows[i].menu, p)) last = i;
    if (last == rows.size()) continue;
    const std::string_view bar = p.substr(0, p.find('>'));
    const bool endsBar = last + 1 == rows.size() || !Within(rows[last + 1].menu, bar);
    return rows[last].separatorBefore && endsBar ? last : last + 1;
  }
  return rows.size();
}

Command RowOf(const CommandDeclaration& d) {
  const MenuRow& m = *d.menu;
  return Command{d.id, m.menu, m.text, m.accelerator, m.prompt, m.tooltip, m.rule, m.handler,
                 m.separatorBefore};
}

// The declared rows and the row each comes after: the command it names,
// else the row declared before it in its menu; 0 for the first row of a
// menu, which goes at the end of its menu among the application's rows.
struct Declared {
  std::vector<const CommandDeclaration*> rows;
  std::vector<std::int32_t> after;
  std::vector<bool> named;  // `after` is the command its row names
};

Declared DeclaredRows(std::span<const Command> fixed, std::span<const CommandDeclaration> declared) {
  Declared out;
  for (const CommandDeclaration& d : declared)
    if (d.menu) out.rows.push_back(&d);
  const auto onBar = [&](std::int32_t id) {
    const auto same = [id](const auto& c) { return c.id == id; };
    return std::any_of(fixed.begin(), fixed.end(), same) ||
           std::any_of(out.rows.begin(), out.rows.end(), [id](const CommandDeclaration* d) { return d->id == id; });
  };
  for (std::size_t i = 0; i < out.rows.size(); ++i) {
    const MenuRow& row = *out.rows[i]->menu;
    std::int32_t after = row.follows != 0 && onBar(row.follows) ? row.follows : 0;
    out.named.push_back(after != 0);
    for (std::size_t j = i; after == 0 && j-- > 0;)
      if (out.rows[j]->menu->menu == row.menu) after = out.rows[j]->id;
    out.after.push_back(after);
  }
  return out;
}

void AppendFollowers(std::int32_t id, const Declared& declared, std::vector<bool>& placed,
                     std::vector<Command>& out);

void AppendRow(std::size_t i, const Declared& declared, std::vector<bool>& placed, std::vector<Command>& out) {
  placed[i] = true;
  out.push_back(RowOf(*declared.rows[i]));
  AppendFollowers(declared.rows[i]->id, declared, placed, out);
}

// Appends the rows that come after `id`, each followed by its own: first
// those that name it, the one declared last nearest, so that a new row
// stands where it asked even when an older one named the same command; then
// the rest in their declared order.
void AppendFollowers(std::int32_t id, const Declared& declared, std::vector<bool>& placed,
                     std::vector<Command>& out) {
  for (std::size_t i = declared.rows.size(); i-- > 0;)
    if (!placed[i] && declared.named[i] && declared.after[i] == id) AppendRow(i, declared, placed, out);
  for (std::size_t i = 0; i < declared.rows.size(); ++i)
    if (!placed[i] && declared.after[i] == id) AppendRow(i, declared, placed, out);
}

// Appends the first rows of their menus that end the application's rows
// just before row `end`.
void AppendMenuEnds(std::size_t end, const std::vector<Command>& fixed, const Declared& declared,
                    std::vector<bool>& placed, std::vector<Command>& out) {
  for (std::size_t i = 0; i < declared.rows.size(); ++i) {
    if (!placed[i] && declared.after[i] == 0 && EndOf(fixed, declared.rows[i]->menu->menu) == end)
      AppendRow(i, declared, placed, out);
  }
}

// The menu bar once built: the declarations own the texts of their rows.
struct MenuBar {
  std::vector<CommandDeclaration> declarations = CommandDeclarations();
  std::vector<Command> rows = PlaceDeclaredRows(kFixedCommands, declarations);
  std::vector<std::int32_t> contextMenu = ContextMenuOf(rows);
};

// Built on first use and never changed, like the tables above; a static
// local is built once even when two threads ask first.
const MenuBar& Bar() {
  static const MenuBar bar;
  return bar;
}

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

std::span<const Command> Commands() { return Bar().rows; }

std::span<const Command> FixedCommands() { return kFixedCommands; }

std::vector<Command> PlaceDeclaredRows(std::span<const Command> fixed,
                                       std::span<const CommandDeclaration> declared) {
  const std::vector<Command> own(fixed.begin(), fixed.end());
  const Declared rows = DeclaredRows(fixed, declared);
  std::vector<bool> placed(rows.rows.size(), false);
  std::vector<Command> out;
  for (std::size_t k = 0; k < own.size(); ++k) {
    AppendMenuEnds(k, own, rows, placed, out);
    out.push_back(own[k]);
    AppendFollowers(own[k].id, rows, placed, out);
  }
  AppendMenuEnds(own.size(), own, rows, placed, out);
  // Rows that follow each other in a ring: each still has a place.
  for (std::size_t i = 0; i < rows.rows.size(); ++i)
    if (!placed[i])
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(EndOf(out, rows.rows[i]->menu->menu)),
                 RowOf(*rows.rows[i]));
  return out;
}

std::span<const Command> ViewCommands() { return kViewCommands; }

const Command* FindCommand(std::int32_t id) {
  const auto same = [id](const Command& c) { return c.id == id; };
  const std::span<const Command> bar = Commands();
  if (const auto it = std::find_if(bar.begin(), bar.end(), same); it != bar.end()) return &*it;
  const auto it = std::find_if(kViewCommands.begin(), kViewCommands.end(), same);
  return it == kViewCommands.end() ? nullptr : &*it;
}

std::span<const std::int32_t> ToolbarLayout() { return kToolbar; }

std::span<const std::int32_t> ContextMenuLayout() { return Bar().contextMenu; }

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
