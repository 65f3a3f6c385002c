// A command's row of the desktop's menu bar, which its declaration carries
// so that a new command's row is written beside its handler. The enabling
// conditions and the handler kinds live here, below the application that
// evaluates them, because the declarations name them.
#pragma once

#include <cstdint>
#include <string>

namespace kinvar {

// Conditions an enabling rule may require, combined as bits.
enum Condition : std::uint32_t {
  kAlways = 0,
  kValid = 1u << 0,           // a pedigree is loaded and was accepted
  kNotShown = 1u << 1,        // its own report is not on screen
  kTwoIndividuals = 1u << 2,  // nTotal > 1
  kGroups = 1u << 3,          // the file had a Group column
  kTwoGroups = 1u << 4,       // nGroups > 1
  kReport = 1u << 5,          // the report store holds a line
  kPedigreeRead = 1u << 6,    // lastCommand != -200
  kFColumn = 1u << 7,         // fColumn != -1
  kSmallForT = 1u << 8,       // nTotal * nTotal <= 250000
  kRecentFiles = 1u << 9,     // the recent-file list holds files
  kNever = 1u << 10,
  kTables = 1u << 11,         // the report on screen has typed tables
};

// The rules several commands share.
inline constexpr std::uint32_t kValidNotShown = kValid | kNotShown;
inline constexpr std::uint32_t kTwoGroupRule = kValid | kTwoIndividuals | kGroups | kTwoGroups;

// Who handles a command.
enum class Handler { kDocument, kView, kFrame };

// The menus that hold several commands; a submenu's steps are separated by
// '>'. A menu path spelled once keeps its commands in one submenu.
inline constexpr const char* kToolsMenu = "Tools";
inline constexpr const char* kInbreedingMenu = "Tools>Inbreeding";
inline constexpr const char* kDecompositionMenu = "Tools>Inbreeding>Ancestral Decomposition";
inline constexpr const char* kPathCountingMenu = "Tools>Inbreeding>Path Counting";
inline constexpr const char* kRelationshipMenu = "Tools>Relationship";
inline constexpr const char* kMatricesMenu = "Tools>Matrices";
inline constexpr const char* kGenomicsMenu = "Tools>Genomics";
inline constexpr const char* kAncestorsMenu = "Tools>Extract Ancestors";
inline constexpr const char* kDescendantsMenu = "Tools>Extract Descendants";
inline constexpr const char* kPopulationMenu = "Tools>Population Management";

// Declared as .Menu({.menu = kGenomicsMenu, .text = "...", .prompt = "...",
// ...}): the fields not named keep these defaults.
struct MenuRow {
  std::string menu{};         // menu path
  std::string text{};         // menu text with '&' and "\t" + shortcut
  std::string accelerator{};  // key of the accelerator table, "" none
  std::string prompt{};       // status-bar prompt, "" = platform standard
  std::string tooltip{};      // "" = none
  std::uint32_t rule = kValid;  // Condition bits, all required
  Handler handler = Handler::kDocument;
  bool separatorBefore = false;  // a separator precedes it in its menu
  // The command whose row it directly follows, when the end of its menu is
  // not its place; 0: the end of its menu (see Commands()).
  std::int32_t follows = 0;
};

}  // namespace kinvar
