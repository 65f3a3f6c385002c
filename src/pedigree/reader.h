// Reading a pedigree file into an empty Pedigree.
//
// The file has a header row naming its columns (Progeny, Sire, Dam and the
// optional Group, F, Sex and Birth date, or one of their usual synonyms, in
// any order and letter case; columns of other names are ignored) and one
// individual per line. Fields are separated by runs of spaces, commas and
// tabs, or, when the header's names are separated by semicolons, by single
// semicolons; double-quoted fields are read as spreadsheets write them. IDs
// are upper-cased; "!" starts a comment only before the header. The reader
// checks every line and stops at the first error; parent IDs stay text
// (Pedigree::links) until validation resolves them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "pedigree/pedigree.h"
#include "pedigree/pedigree_input.h"
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
// The same from an input already opened; `path` names it in messages.
ReadOutcome ReadPedigree(PedigreeInput& input, const std::string& path, Pedigree& ped, Progress& progress);

class RecordBuilder;

// The header and cell rules of text files, for rows that come already split
// (the rows of a workbook): the same records, codes and F as the same
// pedigree written as text. The caller sets the progress stage.
class CellRowReader {
 public:
  CellRowReader(Pedigree& ped, Progress& progress);
  ~CellRowReader();
  CellRowReader(const CellRowReader&) = delete;
  CellRowReader& operator=(const CellRowReader&) = delete;

  // `row` is the row's number in the workbook (for messages); empty cells are
  // empty strings, and cells missing at the end of a row are empty. False
  // stops: outcome() says why.
  bool Row(std::int64_t row, std::span<const std::string_view> cells, std::int64_t progressPosition);
  // After the last row: false when there was no header or no data row.
  bool Finish();
  ReadOutcome& outcome();

 private:
  std::unique_ptr<RecordBuilder> builder_;
  std::vector<std::string_view> trimmed_;  // the row's cells, reused row after row
};

}  // namespace kinvar
