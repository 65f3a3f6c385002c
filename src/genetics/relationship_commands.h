// The handlers of the relationship commands of the Tools menu: the three
// listings and the two averages. Each asks for its groups through the
// platform's pickers (or reuses the remembered ones on a re-run), puts the
// records in code order, computes the coefficients when needed, and leaves
// the standard cancel state when the user cancels.
#pragma once

#include <cstdint>

#include "genetics/command_context.h"

namespace kinvar {

// The identifiers that `lastCommand` records for these reports, as in the
// command table.
inline constexpr std::int32_t kBetweenAllIndividualsId = 32796;
inline constexpr std::int32_t kBetweenTwoGroupsId = 32821;
inline constexpr std::int32_t kWithinAGroupId = 32822;
inline constexpr std::int32_t kAverageBetweenGroupsId = 32824;
inline constexpr std::int32_t kAverageRelatednessId = 32869;

void OnBetweenAllIndividuals(CommandContext& ctx);
void OnWithinAGroup(CommandContext& ctx);
void OnBetweenTwoGroups(CommandContext& ctx);
void OnAverageBetweenGroups(CommandContext& ctx);
void OnAverageRelatedness(CommandContext& ctx);

}  // namespace kinvar
