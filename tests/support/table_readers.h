// Independent readers of the table files, for the tests that parse written
// tables back: CSV by RFC 4180, TSV by tabs and line feeds, JSON through
// nlohmann-json, .xlsx through the workbook reader. Each gives the rows of
// one table as texts, the header row first, numbers as written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/result_table.h"

namespace kinvar::test {

using TextRows = std::vector<std::vector<std::string>>;

// Fails the test (and returns what it has) on a malformed record.
TextRows ParseCsv(std::string_view text);
TextRows ParseTsv(std::string_view text);
// The table `name` of a JSON document: the column names, then each row with
// numbers in the shortest text of their double, booleans true/false and
// null as "".
TextRows JsonTableRows(std::string_view document, const std::string& name);
// A sheet of a workbook file as the workbook reader gives it (numbers as
// their shortest decimal, booleans TRUE/FALSE), trailing empty cells cut.
TextRows XlsxSheetRows(const std::string& path, const std::string& sheet);

// The table as CellText gives it, header first: what every reader must give
// back (up to the spelling of booleans in workbooks).
TextRows ExpectedRows(const ResultTable& table);

}  // namespace kinvar::test
