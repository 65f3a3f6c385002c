// The loop behind a cycling pedigree: which individuals, each the progeny of
// the next, lead from one individual back to itself.
//
// Conventions: RecIndex positions in `recs` (0 = unknown parent); works on
// the parent links alone, so it runs on a pedigree whose codes are half
// assigned. No recursion: pedigrees may be thousands of generations deep.
#pragma once

#include <string>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

// The individuals of one cycle among `start` and its ancestors, each followed
// by one of its parents and closed by the first again (so a self-parent gives
// {A, A}). The shortest cycle through `start` when there is one (sires tried
// before dams); otherwise a cycle above it, entered where the walk from
// `start` first meets it. Empty when `start` has no cycle above it.
std::vector<RecIndex> FindCycle(const Pedigree& ped, RecIndex start);

// The first record in reading order that is inside a cycle or below one
// (the record recoding names), or kUnknownParent when the pedigree has no
// cycle. Works on the parent links alone, on any pedigree, however faulty.
RecIndex FirstInOrBelowCycle(const Pedigree& ped);

// "Cycle: A (line 2) > B (line 5) > C (line 3) > A" as report lines of at
// most 110 characters (no line for a pedigree made in memory): a long loop
// goes on in lines that begin with seven spaces and "> ". None for an empty
// cycle.
std::vector<std::string> CycleLines(const Pedigree& ped, const std::vector<RecIndex>& cycle);

}  // namespace kinvar
