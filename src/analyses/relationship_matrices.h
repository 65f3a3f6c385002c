// The relationship matrices that Save As writes after a relationship listing:
// of all individuals, within the chosen group, between the two chosen groups.
// Every value is written, whatever the display range: the numerator
// relationship, or the coefficient, by the setting, each followed by ", ".
//
// Conventions of this header:
// - The pedigree has its coefficients computed (a listing ran before).
// - Member lists hold records in ascending code order.
// - A row starts with "ID," padded to 22 columns and "code," padded to 12;
//   rows end with "\n". The writers only append to the open file.
#pragma once

#include <span>

#include "pedigree/pedigree.h"
#include "report/output_file.h"

namespace kinvar {

// Row j: a(i, j) for i = 1..n, rows and values in code order.
void WriteMatrixAll(Pedigree& ped, OutputFile& file);
// One row per member, one value per member, in member order.
void WriteMatrixWithinGroup(Pedigree& ped, int group, std::span<const RecIndex> members,
                            OutputFile& file);
// Rows are the members of the group with more members (the first chosen when
// both have as many), columns those of the other; two heading lines give the
// column members' IDs and codes.
void WriteMatrixBetweenGroups(Pedigree& ped, int firstGroup, std::span<const RecIndex> first,
                              int secondGroup, std::span<const RecIndex> second, OutputFile& file);

}  // namespace kinvar
