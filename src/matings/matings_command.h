// The Optimizing Matings command: a sire group, a dam group, the
// contribution file and, with the option "Allow for forbbiden matings", the
// forbidden-matings file; then the annealing's matings with their
// coancestries, and the proven minimum of the average for comparison. With
// the value "exact" the proven optimum's matings are listed instead and no
// random number is drawn.
//
// A re-run by the Options dialog reuses the groups, the contribution file and
// the annealing's seed, so that it repeats the same matings, and asks for a
// forbidden-matings file only when the previous run used none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analyses/command_context.h"
#include "analyses/command_ids.h"
#include "matings/mating_files.h"
#include "matings/mating_search.h"

namespace kinvar {

// Members of the sire group recorded as dams in the pedigree, and members
// of the dam group recorded as sires, are named in warning lines: one line
// each up to kRoleWarningLines of them, else one line with their number and
// the first few IDs, in the pedigree file's order. A report has them just
// before the matings, or after the lines that say there are none.
inline constexpr std::size_t kRoleWarningLines = 3;
inline constexpr std::size_t kRoleWarningIds = 3;

// The second line of the report when no admissible assignment was found.
inline constexpr const char* kCouldNotOptimizeLine = "|XCould not optimize matings.";

void OnOptimizingMatings(CommandContext& ctx);
// Its parameters: the two groups (the pickers), the two files (their open
// dialogs), and what only a caller gives (exact, the seed, the seed file);
// the desktop asks for no more than the groups and the files.
CommandDeclaration OptimizeMatingsDeclaration();

// The sire and dam groups chosen now, or those of the command's previous run
// (members in code order), kept among its values by the names of its first
// two group pickers; nothing when the user cancels, a group has no members or
// holds a member of the wrong sex. `caption` titles the picker.
std::optional<MatingGroups> ChooseSireAndDamGroups(CommandContext& ctx, const CommandDeclaration& command,
                                                   const char* caption);

// The names of a mating command's sire and dam groups among its values: its
// first two group pickers.
std::pair<std::string, std::string> MateGroupNames(const CommandDeclaration& command);

// The sires or the dams of a mating command named one by one, as a library
// caller holds them (groups by birth year mix the sexes), instead of a
// group: kept in the command's state for its next run, which asks for no
// group then, and forgotten after it.
inline constexpr const char* kListedSiresState = "listed sires";
inline constexpr const char* kListedDamsState = "listed dams";
void ListMates(CommandValues& values, std::int32_t command, const char* state, const std::vector<RecIndex>& recs);
// None when no list is kept.
std::optional<std::vector<RecIndex>> ListedMates(const CommandValues& values, std::int32_t command,
                                                 const char* state);
void ForgetListedMates(CommandValues& values, std::int32_t command);

// False after naming the first member of the sire group recorded as female,
// or of the dam group recorded as male.
bool RecordedSexesFit(CommandContext& ctx, const MatingGroups& groups);

// The warning lines about the groups, sire group first.
std::vector<std::string> RoleWarnings(const Pedigree& ped, const MatingGroups& groups);

// The report lines of a successful search, through the report copy file;
// an annealing names its seed.
void WriteMatingsReport(Pedigree& ped, const MatingGroups& groups, const CoancestryMatrix& c,
                        std::span<const Mating> matings,
                        std::optional<std::uint32_t> seed = std::nullopt);
// The lines that say the constraints admit no assignment.
void WriteTooRestricted(Pedigree& ped, const MatingGroups& groups);

}  // namespace kinvar
