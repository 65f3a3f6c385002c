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

#include "analyses/command_context.h"
#include "analyses/decomposition.h"
#include "report/result_table.h"

namespace kinvar {

// The group's index in ped.groups, or -1.
std::int32_t GroupIndexOf(const Pedigree& ped, int number);
// The tab after a table's Group column: ten columns while every group
// number has at most nine digits (every report as it always was), six more
// when a number is longer, so that 2147483647 is not cut.
std::string GroupColumnTab(const Pedigree& ped);
// The rule under and over such a table, as long as the table.
std::string GroupTableRule(const Pedigree& ped, std::size_t length);
// Appends line by line to the report and its copy file.
void WriteReportLines(Pedigree& ped, std::initializer_list<std::string> lines);
// "Extracted pedigree:" and its four counts.
void WriteExtractedCounts(Pedigree& ped, const DecompositionResult& r);
// The same four counts as rows of a summary table, under the same labels.
void AddExtractedCounts(ResultTable& summary, const DecompositionResult& r);
// The report of one run of the engine (the store and copy file must be
// empty); `target` as the engine takes it. Its tables: `summary`, the
// figures above the listing, and `decomposition` (id, m, u, v), one row per
// individual in code order as the listing has them.
void WriteDecompositionReport(Pedigree& ped, DecompositionMode mode, std::int32_t target,
                              const DecompositionResult& r);

void OnDecompositionIndividual(CommandContext& ctx);
void OnDecompositionGroup(CommandContext& ctx);
void OnDecompositionCoancestry(CommandContext& ctx);
// Their parameters: the individual's ID, or the group; kinvar-cli's
// decompose chooses among them by the scope word.
CommandDeclaration DecompositionIndividualDeclaration();
CommandDeclaration DecompositionGroupDeclaration();
CommandDeclaration DecompositionCoancestryDeclaration();

}  // namespace kinvar
