#include "pedigree/xlsx_pedigree.h"

#include <algorithm>
#include <vector>

#include "pedigree/xlsx_cells.h"
#include "pedigree/xlsx_reader.h"

namespace kinvar {

namespace {

std::string ErrorCellMessage(std::int64_t row, std::int32_t column, std::string_view value) {
  return "Error in line " + std::to_string(row) + ".\nCell " + xlsx::ColumnName(column) +
         std::to_string(row) + " holds the error value " + std::string(value) + ".";
}

}  // namespace

ReadOutcome ReadWorkbookPedigree(const std::string& path, const std::string& sheet, Pedigree& ped,
                                 Progress& progress) {
  CellRowReader reader(ped, progress);
  // The columns that the first row names: an error value under a name may
  // stand for an ID, a parent or an F, so it is refused rather than read as
  // nothing; columns without a name are not read at all.
  std::vector<bool> named;
  bool headerSeen = false;
  std::string errorCell;
  const auto sink = [&](const SheetRow& row) {
    for (const SheetRow::ErrorCell& e : row.errors) {
      const auto c = static_cast<std::size_t>(e.column);
      if (!headerSeen || (c < named.size() && named[c])) {
        errorCell = ErrorCellMessage(row.row, e.column, e.value);
        return false;
      }
    }
    if (!headerSeen) {
      headerSeen = true;
      for (const std::string_view cell : row.cells) named.push_back(!cell.empty());
    }
    return reader.Row(row.row, row.cells, row.position);
  };
  const auto start = [&progress](std::int64_t size) {
    progress.SetStage(0, 50, std::max<std::int64_t>(size, 1), "Reading");
  };
  const SheetRead read = ReadWorkbookSheet(path, sheet, sink, start);
  if (!errorCell.empty()) return {false, std::move(errorCell)};
  if (!read.ok) {
    if (!read.message.empty()) return {false, read.message};
    return reader.outcome();  // the rules stopped at a row, or the user cancelled
  }
  if (!reader.Finish()) return reader.outcome();
  return {true, {}};
}

}  // namespace kinvar
