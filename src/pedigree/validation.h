// Validation of a read pedigree: links parents, adds the parents that are not
// listed as progeny (as founders), gives the founders their codes, lists the
// full-sib families and checks for errors; a pedigree without errors is then
// recoded. The error list goes to the report store and the report copy file.
#pragma once

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

enum ValidationResult { kValid = 0, kValidationCancelled = 1, kValidationErrors = 2 };

// How parents are linked to records: by a merge of the sorted links with
// the sorted IDs when every progeny ID is distinct (else as below), or
// always by binary search with the checks walked in ID order. Both leave the
// same pedigree and the same report; the second is there to show it.
enum class Linking { kMergeWhenDistinct, kBinarySearch };

int ValidatePedigree(Pedigree& ped, Progress& progress, Linking linking = Linking::kMergeWhenDistinct);

}  // namespace kinvar
