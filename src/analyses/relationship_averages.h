// Average numerator relationships between groups and average relatedness,
// each from whole row sums of A: one backward and one forward pass per group,
// or one of each for all individuals. Both use numerator relationships
// whatever the relationship type, list every value, and write through the
// report copy file.
//
// Conventions of this header:
// - The pedigree has its coefficients computed and `records` in code order.
// - The tables "group_averages" (group1, group2, value) and
//   "average_relatedness" (id, value, in code order) hold the listed
//   values.
// - Groups are taken in table order (first appearance in the file) and named
//   by their numbers.
#pragma once

#include <cstdint>
#include <string>

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

// The most groups whose averages are listed: the report has a line for
// every pair, G (G + 1) / 2 of them, and costs a pass over the pedigree per
// group; 2000 groups give about the two million lines of the other listings.
inline constexpr std::int64_t kMaxAveragedGroups = 2000;

// The report line refusing a pedigree with more groups than that (checked
// before anything is computed or allocated); empty when it has no more.
std::string AverageBetweenGroupsRefusal(const Pedigree& ped);

// For each group g in table order and each h up to g: the average of a(i, j)
// over i in h, j in g, self-relationships included. False when cancelled
// (the report is then left to the caller).
bool ReportAverageBetweenGroups(Pedigree& ped, Progress& progress);

// For every individual in code order: (1/n) times the sum of its row of A.
void ReportAverageRelatedness(Pedigree& ped);

}  // namespace kinvar
