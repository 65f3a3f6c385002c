// The Optimizing Matings command: a sire group, a dam group, the
// contribution file and, with the option "Allow for forbbiden matings", the
// forbidden-matings file; then the annealing's matings with their
// coancestries, and the proven minimum of the average for comparison. With
// `remembered.exactMatings` the proven optimum's matings are listed instead
// and no random number is drawn.
//
// A re-run by the Options dialog reuses the groups and the contribution file,
// and asks for a forbidden-matings file only when the previous run used none.
#pragma once

#include <cstdint>
#include <span>

#include "genetics/command_context.h"
#include "genetics/command_ids.h"
#include "matings/mating_files.h"
#include "matings/mating_search.h"

namespace kinvar {

// The second line of the report when no admissible assignment was found.
inline constexpr const char* kCouldNotOptimizeLine = "|XCould not optimize matings.";

void OnOptimizingMatings(CommandContext& ctx);

// The report lines of a successful search, through the report copy file.
void WriteMatingsReport(Pedigree& ped, const MatingGroups& groups, const CoancestryMatrix& c,
                        std::span<const Mating> matings);
// The lines that say the constraints admit no assignment.
void WriteTooRestricted(Pedigree& ped);

}  // namespace kinvar
