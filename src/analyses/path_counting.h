// Wright's path counting: for one individual, the members of a group or
// every individual, each path from the sire up to a common ancestor and down
// to the dam, the nodal common ancestors (NCAs) that close the paths, and
// each NCA's contribution (1 + F_A) / 2^(n1 + n2 + 1) to the individual's F.
//
// Conventions: individuals are handled by chronological code (1..nTotal,
// parents before progeny, 0 = unknown). A path is written from the sire
// upward: "<S<P<A>Q>D>", the NCA emphasised in the report. Full sibs that
// follow each other in code order share one enumeration. The enumeration
// keeps its own stacks, so a pedigree hundreds of generations deep needs no
// deep recursion.
//
// Output: the report store, where a full store stops the search, or an open
// file (Save As), which receives every path. Contributions are 32-bit floats.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "analyses/command_context.h"
#include "report/output_file.h"

namespace kinvar {

// The menu commands: ask for the individual or group (unless re-run with the
// remembered one) and write into the report store.
void OnPathCountingIndividual(CommandContext& ctx);
void OnPathCountingGroup(CommandContext& ctx);
void OnPathCountingAll(CommandContext& ctx);
// Their parameters: the individual's ID, the group, or none; kinvar-cli's
// path-counting chooses among them by the scope word.
CommandDeclaration PathCountingIndividualDeclaration();
CommandDeclaration PathCountingGroupDeclaration();
CommandDeclaration PathCountingAllDeclaration();

// Save As: runs the command that `ctx.lastCommand` names with its remembered
// input straight into `file` (after its header), without the store's limit.
// The paths are counted first: more than the setting maxPaths (when
// positive) are refused with PathLimitMessage, the report left as it is.
// False when refused, or when the user cancelled (the report then shows the
// cancel state); the caller throws the file away.
bool WritePathCountingFile(CommandContext& ctx, OutputFile& file);

// What the user is told when the paths are more than `limit`.
std::string PathLimitMessage(std::int64_t limit);

// A run into the report stops where the store is full, and its tables with
// it; this runs the search again to its end, lines going nowhere, and puts
// the whole run's tables in place of the report's. False when the user
// cancelled (the report then shows the cancel state), or when the paths are
// more than the limit, as for WritePathCountingFile.
bool CompletePathCountingTables(CommandContext& ctx);

}  // namespace kinvar
