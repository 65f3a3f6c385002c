// The handlers of the relationship commands of the Tools menu: the three
// listings and the two averages. Each asks for its groups through the
// platform's pickers (or reuses the remembered ones on a re-run), puts the
// records in code order, computes the coefficients when needed, and leaves
// the standard cancel state when the user cancels.
#pragma once

#include <cstdint>

#include "analyses/command_context.h"
#include "analyses/command_ids.h"

namespace kinvar {

void OnBetweenAllIndividuals(CommandContext& ctx);
void OnWithinAGroup(CommandContext& ctx);
void OnBetweenTwoGroups(CommandContext& ctx);
void OnAverageBetweenGroups(CommandContext& ctx);
void OnAverageRelatedness(CommandContext& ctx);

}  // namespace kinvar
