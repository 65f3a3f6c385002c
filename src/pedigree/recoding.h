// Chronological recoding: codes 1..nTotal with parents before progeny,
// founders first and full sibs consecutive, the longest ancestral path of
// every individual, and the per-generation counts that the inbreeding
// computation buckets by. Works without recursion at any depth: a pedigree
// deeper than the initial generation table grows the table.
#pragma once

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

enum RecodingResult {
  kRecoded = 0,
  kRecodingCancelled = 1,
  kFullSibFDisagree = 2,
  kCycle = 3,  // *named is the first record in reading order inside or below a cycle
};

int RecodePedigree(Pedigree& ped, Progress& progress, RecIndex* named);

}  // namespace kinvar
