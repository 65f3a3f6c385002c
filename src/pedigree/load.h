// Loading a pedigree file end to end: read, validate, recode, in one
// progress window (reading 0-50 %, validation 50-90 %, recoding 90-100 %).
#pragma once

#include <string>

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

enum class LoadStatus {
  kLoaded,      // valid and recoded; the report store is empty
  kRejected,    // validation found errors; the report holds their list
  kCancelled,   // the user cancelled; the pedigree is reset
  kReadFailed,  // the reader stopped; `message` says why; the pedigree is reset
};

struct LoadOutcome {
  LoadStatus status = LoadStatus::kReadFailed;
  std::string message;
};

// What the progress window says while the file loads: "Loading herd.pdg".
std::string LoadingText(const std::string& path);

// Resets `ped` and loads the file into it. A workbook is read from its
// sheet `sheet`, or from its first worksheet when `sheet` is empty.
LoadOutcome LoadPedigree(const std::string& path, Pedigree& ped, Progress& progress,
                         const std::string& sheet = {});

}  // namespace kinvar
