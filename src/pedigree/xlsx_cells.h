// How a workbook cell's stored value becomes the text that the pedigree
// reader sees: cell references, numbers, dates and the number formats that
// make a number a date. Pure functions, so each rule can be tried alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kinvar::xlsx {

// The 0-based column and the 1-based row of a reference such as "B7"; the
// row is 0 when the reference has none ("B"). Nothing when it is malformed
// or beyond the largest sheet (column XFD, row 1048576).
struct CellRef {
  std::int32_t column = 0;
  std::int64_t row = 0;
};
enum class RefFault { kNone, kMalformed, kBeyondColumns, kBeyondRows };
// `fault`, when given, says why nothing was returned. No row number, however
// many digits it has, overflows: it is beyond the rows.
std::optional<CellRef> ParseCellRef(std::string_view ref, RefFault* fault = nullptr);

// The sheet's size, as a spreadsheet has it.
constexpr std::int32_t kSheetColumns = 16384;
constexpr std::int64_t kSheetRows = 1048576;

// A row number as written ("1048577", "007") for messages: its digits
// without leading zeros, however many there are.
std::string RowDigits(std::string_view digits);

// "Sheet1!C7", or "'Herd A'!C7" for a sheet name that a reference quotes.
std::string SheetCell(std::string_view sheet, std::string_view cell);

// "A", "B", ..., "Z", "AA", ... for 0-based columns.
std::string ColumnName(std::int32_t column);

// A number as the shortest decimal text that reads back as the same double,
// never in exponent form: 123 -> "123", 1.5 -> "1.5", 0.1 -> "0.1".
// Nothing when the stored text is not a finite number.
std::optional<std::string> NumberText(std::string_view stored);

// The civil date "YYYY-MM-DD" of a date serial, the time of day dropped.
// In the 1900 system serial 1 is 1900-01-01 and serial 60 the day
// 1900-02-29 that never was (kept so that later serials land on the dates
// the spreadsheet shows); in the 1904 system serial 0 is 1904-01-01.
// Nothing when the serial lies outside the years 1900 (1904) to 9999.
std::optional<std::string> DateText(double serial, bool date1904);

// Whether a number format shows a date: the built-in formats 14-22 and
// 45-47, or a format code with a day, month or year letter outside quotes,
// brackets and escapes. A lone "m" beside an hour or second is a minute.
bool IsBuiltInDateFormat(int numFmtId);
bool IsDateFormatCode(std::string_view code);

// Text of an XML character data run with the five named entities and
// character references replaced, and the spreadsheet's _xHHHH_ escapes
// decoded. Other entities stay as written: no document type is read.
void AppendXmlText(std::string_view raw, std::string& out);

}  // namespace kinvar::xlsx
