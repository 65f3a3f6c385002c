// Loading a pedigree file end to end: read, validate, recode, in one
// progress window (reading 0-50 %, validation 50-90 %, recoding 90-100 %).
#pragma once

#include <string>
#include <string_view>
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

// The same columns as views of text that the caller keeps in place for the
// call: the strings of a host language's data frame are read where they
// are, without a copy of a million cells beside the pedigree.
struct PedigreeColumnViews {
  std::vector<std::string> names;
  std::vector<std::vector<std::string_view>> cells;
  // The text of the cells that the caller spelled out (numbers written as
  // text), which some of the views view; it moves along with them.
  std::vector<std::vector<char>> spelled;
};
PedigreeColumnViews ViewsOf(const PedigreeColumns& columns);

// Cells spelled out one by one into one buffer, for a column (or the part
// of a column) whose cells are not text where the caller holds them.
class SpelledCells {
 public:
  void Add(std::string_view cell);
  // The cells in the order added; valid while the buffer lives.
  std::vector<std::string_view> Views() const;
  // Hands the buffer to `columns`, which keeps it for the views.
  void MoveInto(PedigreeColumnViews& columns) &&;

 private:
  std::vector<char> text_;
  std::vector<std::size_t> ends_;
};

// LoadPedigree for columns; a column of another length than the first is a
// read failure.
LoadOutcome LoadPedigreeColumns(const PedigreeColumns& columns, Pedigree& ped, Progress& progress);
LoadOutcome LoadPedigreeColumns(const PedigreeColumnViews& columns, Pedigree& ped, Progress& progress);

}  // namespace kinvar
