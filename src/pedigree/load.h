// Loading a pedigree file end to end: read, validate, recode, in one
// progress window (reading 0-50 %, validation 50-90 %, recoding 90-100 %).
#pragma once

#include <string>
#include <vector>

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

// A pedigree as columns of text cells, as the header row and the data rows
// of a file give them: `names` are column names the reader knows
// ("Progeny", "Sire", "Dam", "Group", "F", "Sex", "Birth date" or their
// synonyms), `cells` one vector per name, all of one length. The cells follow
// the rules of a pedigree file (an unknown parent is empty, "0" or "NA"), so
// a table held by another program gives the pedigree that the same table
// saved as a file gives.
struct PedigreeColumns {
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> cells;
};

// LoadPedigree for columns; a column of another length than the first is a
// read failure.
LoadOutcome LoadPedigreeColumns(const PedigreeColumns& columns, Pedigree& ped, Progress& progress);

}  // namespace kinvar
