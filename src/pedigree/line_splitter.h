// The header and cell rules of pedigree files, shared by the one-thread
// reader, the reader of parallel chunks and the reader of rows that come
// already split (workbooks), so that all of them see exactly the same
// columns, cells and records. Internal to the readers.
//
// Conventions: columns are 0-based, -1 = absent; cells are views of the
// line (or of LineCells::scratch), unquoted, not yet upper-cased.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar::line_splitter {

constexpr bool IsLeadingSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool IsSeparator(unsigned char c) { return c == ' ' || c == ',' || c == '\t'; }

// What a byte of a used cell is to the checks, looked up once per byte.
// kNotInId bytes (control characters and the double quote) pass in other
// cells, which their own rules refuse, but never in an ID.
enum ByteKind : unsigned char { kOrdinary = 0, kNul = 1, kForbidden = 2, kNotInId = 4 };

constexpr std::array<ByteKind, 256> MakeByteKinds() {
  std::array<ByteKind, 256> kinds{};
  for (int c = 0; c < 256; ++c) {
    kinds[static_cast<std::size_t>(c)] = c == 0 ? kNul
                                         : (c == '<' || c == '>' || c == '|' || c == '!') ? kForbidden
                                         : (c < 32 || c == 127 || c == '"')               ? kNotInId
                                                                                           : kOrdinary;
  }
  return kinds;
}
constexpr std::array<ByteKind, 256> kByteKinds = MakeByteKinds();

// The columns a pedigree file may have, in the order of their indexes.
enum Column : int { kProgeny, kSire, kDam, kGroup, kF, kSex, kBirth, kColumnCount };

// The line without its leading white space; empty when the line is blank.
inline std::string_view TrimLeading(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsLeadingSpace(static_cast<unsigned char>(line[i]))) ++i;
  return line.substr(i);
}

// A cell of rows that come already split, without the blanks and tabs
// around it, as the cell of a text line has none.
inline std::string_view TrimBlanks(std::string_view cell) {
  while (!cell.empty() && (cell.front() == ' ' || cell.front() == '\t')) cell.remove_prefix(1);
  while (!cell.empty() && (cell.back() == ' ' || cell.back() == '\t')) cell.remove_suffix(1);
  return cell;
}

struct LineCells {
  std::vector<std::string_view> cells;
  // Cells that had to be rewritten ("" inside quotes); reserved to the line's
  // length before the first use so that views into it stay valid.
  std::string scratch;
  bool scratchReady = false;
  // From the first double quote that opens a cell and is not closed on the
  // line to the line's end; empty when every quote is closed.
  std::string_view openQuote;
};

// Splits at runs of blanks, commas and tabs (today's pedigree files), into
// at most `maxCells` cells. A field that begins with a double quote that is
// closed on the line is one cell, separators and all; one that is not is
// noted in `openQuote`.
void SplitRuns(std::string_view line, std::size_t maxCells, LineCells& out);
// Splits at every `delimiter` (spreadsheet exports); blanks around a cell
// are dropped, and an empty piece is an empty cell.
void SplitAt(std::string_view line, char delimiter, std::size_t maxCells, LineCells& out);

struct Header {
  std::array<int, kColumnCount> at{-1, -1, -1, -1, -1, -1, -1};
  std::array<std::string, kColumnCount> name;  // as the header writes it
  std::vector<signed char> columnAt;           // the Column of each position, -1 ignored
  int required = 0;     // 1 + the largest position of Progeny..F: a line has them all
  int needed = 0;       // 1 + the largest position used
  int columns = 0;      // names in the header, used or not
  int named = 0;        // 1 + the position of the last name that is not empty
  char delimiter = 0;   // ',', '\t' or ';' that separates all names; 0 none
  bool strict = false;  // every data line is split at the delimiter
};

enum class HeaderFault { kNone, kMissing, kTwice };

// Reads the header line (without leading white space). On kTwice `message`
// says which column is named twice.
HeaderFault ParseHeaderLine(std::string_view line, Header& header, std::string& message);
// The same for a row whose cells are the header names (workbooks).
HeaderFault ParseHeaderCells(std::span<const std::string_view> names, Header& header, std::string& message);

// Splits a data line (without leading white space) as the header says;
// returns `a` or `b`, whichever holds the cells.
const LineCells& SplitDataLine(std::string_view line, const Header& header, LineCells& a, LineCells& b);

enum class Fault {
  kNone, kFormat, kForbidden, kTooLong, kF, kFNotNumber, kGroup, kSex, kBirth, kNoId, kBlankInId, kCommaInId,
  kControlInId, kQuoteInId, kNaId, kExtraField, kOpenQuote, kTooManyGroups,
};

struct RowFault {
  Fault fault = Fault::kNone;
  int column = -1;  // Column, -1 when the fault concerns the whole line
  std::string_view cell;
};

// What one data row gives: the record's fields, its parents as text and its
// group number (-1 none).
struct RowValues {
  std::int64_t groupNumber = -1;
  bool naParent = false;  // a parent written NA
};

// NA is R's missing value: a parent written NA is unknown, unless the file
// lists an individual NA, which then is what NA names (as it always was).
void ResolveNaParents(Pedigree& ped);

// Fills the record's ID, F, sex and birth date and the link's parents from
// the cells. With `padded`, missing cells at the end are empty (workbook
// rows); otherwise a row needs the header's required cells, and a cell that
// is not empty beyond the header's last name is refused: it is most often
// an ID with a blank that shifted the line.
RowFault ReadRow(std::span<const std::string_view> cells, const Header& header, bool padded, Rec& r,
                 ParentLink& link, RowValues& values);

// Reads a data line (without leading white space) of a file whose lines
// are split at runs of blanks, commas and tabs straight into the record, as
// SplitDataLine and ReadRow would. Most lines of most files are of this
// kind, and reading them without cell vectors and in one pass per cell
// keeps large files as fast to load as before quotes and empty cells were
// read. False leaves the line to those two (the record may be partly
// written): a cell that begins with a quote, too few fields, more columns
// than it holds, or any fault, whose message they give.
bool ReadPlainRow(std::string_view line, const Header& header, Rec& r, ParentLink& link, RowValues& values);

// A data line (without leading white space) of a text file into the
// record and the link: ReadPlainRow, or else split and ReadRow. The one
// reading of a text line, whichever reader reads it.
RowFault ReadTextLine(std::string_view line, const Header& header, LineCells& a, LineCells& b, Rec& r,
                      ParentLink& link, RowValues& values);


// The message for a fault of line or row `line`.
std::string FaultMessage(const RowFault& fault, std::int64_t line, const Header& header);

// Group numbers to group indexes in order of first appearance.
class GroupTable {
 public:
  // False when there are more groups than a record can index.
  bool Add(Pedigree& ped, std::int64_t number, Rec& r);
  // groupOrder: the group indexes by ascending group number.
  static void BuildOrder(Pedigree& ped);

 private:
  // Indexes + 1 of the numbers below kDirect (years, generations), 0 none,
  // looked up without hashing; larger numbers go to the map.
  static constexpr std::int32_t kDirect = 1 << 16;
  std::vector<std::int32_t> direct_;
  std::unordered_map<std::int32_t, std::int32_t> index_;
};

// 1 July of the year, or the date itself; kUnknownBirth when not a date.
std::int32_t DaysFromCivil(int year, int month, int day);

}  // namespace kinvar::line_splitter
