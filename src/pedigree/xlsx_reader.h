// Workbooks (.xlsx) as pedigree files: the first worksheet, or one chosen by
// name, is read row by row into the cells that the pedigree reader takes,
// with the same header and cell rules as a text file.
//
// The workbook's cell model is ours: shared and inline strings (rich-text
// runs joined), formula results, booleans as TRUE/FALSE, numbers as the
// shortest decimal text (123, not 123.0), and numbers in a date format as
// "YYYY-MM-DD" (1900 or 1904 date system). Cells are placed by their
// reference, so a gap is an empty cell; row numbers are the sheet's.
//
// A workbook that is damaged, password-protected, or whose parts unpack to
// far more than the file could hold or than memory can, is refused with a
// message that names the sheet and the cell where one is at fault.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

enum class PedigreeFileKind {
  kText,       // read by the text reader
  kWorkbook,   // a zip holding a workbook
  kProtected,  // a compound file: an encrypted (password-protected) workbook
};

// What the file is, by its first bytes and its contents, not its name.
PedigreeFileKind PedigreeFileKindOf(const std::string& path);

struct WorkbookSheets {
  std::vector<std::string> names;  // the worksheets, in the workbook's order
  std::string message;             // why the workbook cannot be read; "" when it can
};

// The worksheets of a workbook (or of a protected one, the refusal).
WorkbookSheets ListWorkbookSheets(const std::string& path);

// The message for a --sheet or chosen name that the workbook lacks.
std::string NoSuchSheetMessage(const std::string& path, const std::string& sheet,
                               const std::vector<std::string>& sheets);

// One row of a sheet. `cells` holds the texts from column A to the last
// cell with a value, gaps empty; a cell holding an error value (#N/A ...)
// is empty in `cells` and listed in `errors`. `position` counts the sheet's
// unpacked bytes read so far, for progress.
struct SheetRow {
  std::string_view sheet;  // the sheet's name
  std::int64_t row = 0;
  std::span<const std::string_view> cells;
  struct ErrorCell {
    std::int32_t column;
    std::string_view value;
  };
  std::span<const ErrorCell> errors;
  std::int64_t position = 0;
};

// Called for every row with at least one cell; false stops the reading.
using SheetRowSink = std::function<bool(const SheetRow& row)>;

struct SheetRead {
  bool ok = false;
  std::string message;    // why the sheet could not be read; "" when the sink stopped
  std::int64_t size = 0;  // the sheet's unpacked bytes (declared, for progress)
};

// Reads the sheet named `sheet`, or the first worksheet when it is empty.
// `onStart` learns the unpacked size before the first row. What the reading
// holds in memory at once (the shared strings, a row's cells, a small part
// and its parse) stays within `memory` bytes, 0 meaning half the memory free
// now; a workbook that needs more is refused with a message, as is one that
// declares a document type or entities.
SheetRead ReadWorkbookSheet(const std::string& path, const std::string& sheet,
                            const SheetRowSink& sink,
                            const std::function<void(std::int64_t size)>& onStart = {},
                            std::uint64_t memory = 0);

}  // namespace kinvar
