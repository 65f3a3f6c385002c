// Reading a pedigree file into an empty Pedigree.
//
// The file has a header row naming its columns (progeny, sire, dam and the
// optional group and f, in any order and letter case) and one individual per
// line. Fields are separated by runs of spaces, commas and tabs; IDs are
// upper-cased; "!" starts a comment only before the header. The reader checks
// the syntax of every line and stops at the first error; parent IDs stay text
// (Pedigree::links) until validation resolves them.
#pragma once

#include <string>

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

struct ReadOutcome {
  bool ok = false;
  // The message to show when reading failed; empty when the user cancelled.
  std::string message;
};

// Fills records 1..nRead of `ped` (which must be reset) and its links, group
// table and column indexes, reporting progress in the 0..50 % stage.
ReadOutcome ReadPedigree(const std::string& path, Pedigree& ped, Progress& progress);

}  // namespace kinvar
