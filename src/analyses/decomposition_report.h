// The three ancestral decomposition commands and their reports: the
// inbreeding coefficient of one individual, the average inbreeding of a
// group and the average coancestry of a group, each split into m, u and v
// per ancestor. The listing has one line per individual of the pedigree in
// code order (0 outside the extracted pedigree), so the report copy file
// carries it whole however long it is.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "analyses/decomposition.h"
#include "genetics/command_context.h"

namespace kinvar {

// The group's index in ped.groups, or -1.
std::int32_t GroupIndexOf(const Pedigree& ped, int number);
// Appends line by line to the report and its copy file.
void WriteReportLines(Pedigree& ped, std::initializer_list<std::string> lines);
// "Extracted pedigree:" and its four counts.
void WriteExtractedCounts(Pedigree& ped, const DecompositionResult& r);
// The report of one run of the engine (the store and copy file must be
// empty); `target` as the engine takes it.
void WriteDecompositionReport(Pedigree& ped, DecompositionMode mode, std::int32_t target,
                              const DecompositionResult& r);

void OnDecompositionIndividual(CommandContext& ctx);
void OnDecompositionGroup(CommandContext& ctx);
void OnDecompositionCoancestry(CommandContext& ctx);

}  // namespace kinvar
