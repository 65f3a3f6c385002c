// The command table: every command of the menus, toolbar, accelerators and
// context menu, with its texts and its enabling rule. The desktop program
// builds its menus and toolbar from it; the command line checks the rules.
// A declared command carries its own row (CommandDeclaration::menu), so that
// adding a command does not touch this table.
//
// Identifiers are the fixed numbers that `lastCommand` records and Save As
// dispatches on. Enabling rules depend only on the document state below and
// are evaluated on demand; nothing caches them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analyses/command_declaration.h"
#include "analyses/command_ids.h"
#include "analyses/command_menu.h"

namespace kinvar {

// Commands that no analysis records as lastCommand, so they live with the
// table rather than with the analyses' identifiers.
enum : std::int32_t {
  // Save reuses Save As until it remembers the file name per report.
  kCmdFileSave = 57603,
  // Writes the shown report's tables as data files.
  kCmdFileExport = 32900,
  // Opens the pedigree chart of an individual in a window of its own.
  kCmdViewPedigreeChart = 32901,
  // Pictures: the layered drawing of a family's pedigree, and the charts.
  kCmdDrawAncestorsIndividual = 32902,
  kCmdDrawAncestorsGroup = 32903,
  kCmdDrawDescendantsIndividual = 32904,
  kCmdDrawDescendantsGroup = 32905,
  kCmdChartTrends = 32906,
  kCmdChartFDistribution = 32907,
  kCmdChartFounders = 32908,
  kCmdChartGroupHeatMap = 32909,
  kCmdChartMatings = 32910,
  kCmdChartContributions = 32911,
  kCmdChartPurging = 32912,
  // Genomic against pedigree F: runs Genomic Inbreeding, then charts it.
  kCmdChartGenomicInbreeding = 32915,
  // The inverse of A with genetic groups: reads the pedigree again with the
  // groups a file names, then writes the inverse.
  kCmdInverseWithGroups = 32913,
  // The inverse of A with metafounders: reads the pedigree again with the
  // metafounders and their relationships a file gives, then writes it; the
  // other commands use them until another pedigree is opened.
  kCmdInverseWithMetafounders = 32914,
  // Opens the printable pedigree certificate of an individual (A4, 3 to 5
  // generations) in a window of its own.
  kCmdViewPedigreeCertificate = 32930,
  // The report view's own commands.
  kCmdEditCopy = 57634,
  kCmdEditFind = 57636,
  kCmdEditFindNext = 57640,
  kCmdEditSelectAll = 57642,
  kCmdEditFindPrevious = 57645,
};

struct Command {
  std::int32_t id;
  std::string_view menu;         // menu path, submenus separated by '>'
  std::string_view text;         // menu text with '&' and "\t" + shortcut
  std::string_view accelerator;  // key of the accelerator table, "" none
  std::string_view prompt;       // status-bar prompt, "" = platform standard
  std::string_view tooltip;      // "" = none
  std::uint32_t rule;            // Condition bits, all required
  Handler handler;
  bool separatorBefore = false;  // a separator precedes it in its menu
};

struct DocumentState {
  std::int32_t lastCommand = kNoPedigree;
  std::int32_t nTotal = 0;
  std::int32_t nGroups = 0;
  std::int32_t groupColumn = -1;
  std::int32_t fColumn = -1;
  std::int32_t reportLines = 0;
  bool recentFiles = false;
  bool tables = false;
};

// The menu bar in order: the application's own rows (File, View, Help,
// Options, the pictures and charts, and the inverses with groups and with
// metafounders, which have no declaration) with the declared commands' rows
// placed among them by PlaceDeclaredRows.
std::span<const Command> Commands();
// The application's own rows, in their order.
std::span<const Command> FixedCommands();
// The rows of `fixed` with the row of every declaration of `declared` that
// carries one. A row that names the command it follows comes after that
// command's row; any other after the row declared before it in its menu,
// or, the first of its menu, at the end of that menu among `fixed` (after
// its submenus' rows, but before a closing row that a separator sets apart
// at the end of a menu of the bar, as Options and Exit are; a new submenu at
// the end of the menu that holds it, a new menu at the end of the bar).
// Each row is followed by the rows that come after it in turn. A row that
// names a command stands directly after it; of two that name the same
// command, the one declared later does, so that a new row goes where it
// asked. The rows that come after the row declared before them follow those,
// in their declared order. A command to follow that no row holds counts as
// none. The rows view the texts of `declared`, which must
// outlive them.
std::vector<Command> PlaceDeclaredRows(std::span<const Command> fixed,
                                       std::span<const CommandDeclaration> declared);
// The report view's commands (copy, select all, find), which no menu of the
// bar holds; their menu is "Report".
std::span<const Command> ViewCommands();
// Looks in both tables.
const Command* FindCommand(std::int32_t id);
// Toolbar buttons left to right; 0 stands for a separator.
std::span<const std::int32_t> ToolbarLayout();
// The view's context menu: Copy, Select All and Find, the Tools menu's
// commands in its order (each goes into the submenu its menu path names),
// then View Pedigree, Save, Save As and Print; 0 stands for a separator.
std::span<const std::int32_t> ContextMenuLayout();

bool IsEnabled(const Command& command, const DocumentState& state);
// The rule without its "not shown" condition: what a front end that runs one
// command on a freshly opened pedigree checks.
bool IsAvailable(const Command& command, const DocumentState& state);
// Why IsAvailable is false, as the command line and the session tell it.
std::string UnavailableMessage(const Command& command, const DocumentState& state);

}  // namespace kinvar
