#include "pedigree/xlsx_pedigree.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "pedigree/line_splitter.h"
#include "pedigree/number_text.h"
#include "pedigree/xlsx_cells.h"
#include "pedigree/xlsx_reader.h"

namespace kinvar {

namespace {

using line_splitter::Column;
using line_splitter::Header;

// The cells as the rules read them: without blanks around them.
std::vector<std::string_view> Trimmed(std::span<const std::string_view> cells) {
  std::vector<std::string_view> trimmed(cells.begin(), cells.end());
  for (std::string_view& cell : trimmed) {
    while (!cell.empty() && (cell.front() == ' ' || cell.front() == '\t')) cell.remove_prefix(1);
    while (!cell.empty() && (cell.back() == ' ' || cell.back() == '\t')) cell.remove_suffix(1);
  }
  return trimmed;
}

bool IsMissing(std::string_view cell) {
  return cell.empty() || cell == "." || (cell.size() == 2 && (cell[0] | 0x20) == 'n' && (cell[1] | 0x20) == 'a');
}

// A cell taken over from a spreadsheet that Kinvar's own files could not
// give back: a line break (Alt+Enter, _x000A_) or another control byte in an
// ID would split or garble the line it is saved on, and a double quote would
// open a quoted field when the file is read again. An F cell must be wholly
// a number. These are the text reader's rules too, with its messages; a
// workbook applies them itself before the row reaches the rules, so that no
// such cell is read whatever the rules of the day. A blank in an ID is left
// to the rules, which name it first.
struct CellFault {
  std::string message;  // without the first line, which names the cell
  std::size_t position = 0;
  bool namesColumn = false;  // the first line names the column too
};

std::optional<CellFault> CheckRow(std::span<const std::string_view> cells, const Header& header) {
  const std::size_t count = std::min(cells.size(), header.columnAt.size());
  for (std::size_t i = 0; i < count; ++i) {
    const int column = header.columnAt[i];
    const std::string_view cell = cells[i];
    if (column == line_splitter::kF && !IsMissing(cell)) {
      std::string number(cell);
      std::replace(number.begin(), number.end(), ',', '.');  // a decimal comma
      if (!WholeNumber(number))
        return CellFault{"The inbreeding coefficient must be a number in the range of 0 - 1.\nColumn " +
                             header.name[line_splitter::kF] + ": \"" + std::string(cell) + "\"",
                         i, false};
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    const int column = header.columnAt[i];
    const std::string_view cell = cells[i];
    const bool id = column == line_splitter::kProgeny || column == line_splitter::kSire || column == line_splitter::kDam;
    if (!id || cell.find_first_of(" \t") != std::string_view::npos) continue;
    const bool control = std::any_of(cell.begin(), cell.end(), [](char c) {
      const auto b = static_cast<unsigned char>(c);
      return b < 0x20 || b == 0x7F;
    });
    if (cell.find('"') != std::string_view::npos)
      return CellFault{"The ID " + QuotedCell(cell) +
                           " contains a double quote. IDs cannot contain double quotes, since Kinvar reads a "
                           "double quote in its files as the start of a quoted field.",
                       i, true};
    if (control)
      return CellFault{"The ID " + QuotedCell(cell) +
                           " contains a control character (shown as ?). IDs cannot contain control characters.",
                       i, true};
  }
  return std::nullopt;
}

std::string CellName(std::string_view sheet, std::size_t position, std::int64_t row) {
  return xlsx::SheetCell(sheet, xlsx::ColumnName(static_cast<std::int32_t>(position)) + std::to_string(row));
}

std::string ColumnOf(const Header& header, std::size_t position) {
  const int column = position < header.columnAt.size() ? header.columnAt[position] : -1;
  return column < 0 ? std::string() : ", column " + header.name[static_cast<std::size_t>(column)];
}

// Where the rules name a line ("Error in line 7", as in a text file), a
// workbook names the sheet and the cell: the cell that the rules find at
// fault in the row, or the row when no one cell is.
std::string InCell(std::string message, std::string_view sheet, std::int64_t row,
                   std::span<const std::string_view> cells, const Header& header) {
  const std::string line = "Error in line " + std::to_string(row);
  if (!message.starts_with(line)) return message;
  Rec rec;
  ParentLink link;
  line_splitter::RowValues values;
  const line_splitter::RowFault fault = line_splitter::ReadRow(cells, header, true, rec, link, values);
  const int at = fault.column < 0 ? -1 : header.at[static_cast<std::size_t>(fault.column)];
  const std::string where = at < 0 ? "Error in row " + std::to_string(row) + " of sheet " + std::string(sheet)
                                   : "Error in cell " + CellName(sheet, static_cast<std::size_t>(at), row);
  return message.replace(0, line.size(), where);
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
  // The header as the rules read it, to name the cell of a fault.
  Header header;
  bool headerRead = false;
  std::string refused;
  const auto sink = [&](const SheetRow& row) {
    for (const SheetRow::ErrorCell& e : row.errors) {
      const auto c = static_cast<std::size_t>(e.column);
      if (!headerSeen || (c < named.size() && named[c])) {
        refused = "Error in cell " + CellName(row.sheet, c, row.row) + ".\nThe cell holds the error value " +
                  std::string(e.value) + ".";
        return false;
      }
    }
    if (!headerSeen) {
      headerSeen = true;
      for (const std::string_view cell : row.cells) named.push_back(!cell.empty());
    }
    const std::vector<std::string_view> cells = Trimmed(row.cells);
    const bool blank = std::all_of(cells.begin(), cells.end(), [](std::string_view c) { return c.empty(); });
    if (headerRead && !blank) {
      if (const auto fault = CheckRow(cells, header)) {
        refused = "Error in cell " + CellName(row.sheet, fault->position, row.row) +
                  (fault->namesColumn ? ColumnOf(header, fault->position) : std::string()) + ".\n" +
                  fault->message;
        return false;
      }
    }
    if (!reader.Row(row.row, row.cells, row.position)) {
      if (headerRead) reader.outcome().message = InCell(reader.outcome().message, row.sheet, row.row, cells, header);
      return false;
    }
    if (!headerRead && !blank && !cells[0].starts_with('!')) {
      std::string twice;
      headerRead = line_splitter::ParseHeaderCells(cells, header, twice) == line_splitter::HeaderFault::kNone;
    }
    return true;
  };
  const auto start = [&progress](std::int64_t size) {
    progress.SetStage(0, 50, std::max<std::int64_t>(size, 1), "Reading");
  };
  const SheetRead read = ReadWorkbookSheet(path, sheet, sink, start);
  if (!refused.empty()) return {false, std::move(refused)};
  if (!read.ok) {
    if (!read.message.empty()) return {false, read.message};
    return reader.outcome();  // the rules stopped at a row, or the user cancelled
  }
  if (!reader.Finish()) return reader.outcome();
  return {true, {}};
}

}  // namespace kinvar
