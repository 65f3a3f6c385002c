// The typed tables as files other software reads: CSV (RFC 4180, CRLF line
// ends), TSV (no quoting; a tab or a line break in a value is refused),
// JSON (one document with every table) and .xlsx (one sheet per table).
//
// Every format starts a table with a header row of its column names. A
// missing value is an empty field (CSV, TSV, .xlsx) or null (JSON); booleans
// are true and false; reals are the shortest decimal that restores them.
// Text that is not UTF-8 (an ID with Latin-1 bytes) is kept byte for byte in
// CSV and TSV and read as Latin-1 where the format demands UTF-8 (JSON and
// .xlsx).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "report/output_file.h"
#include "report/result_table.h"

namespace kinvar {

enum class TableFormat { kText, kCsv, kTsv, kJson, kXlsx };

// "text", "csv", "tsv", "json", "xlsx"; nothing for another word.
std::optional<TableFormat> ParseTableFormat(std::string_view word);
// The word of ParseTableFormat, which is also the files' extension.
std::string_view TableFormatName(TableFormat format);
// Whether a format holds several tables in one file (JSON, .xlsx).
inline bool HoldsSeveralTables(TableFormat format) {
  return format == TableFormat::kJson || format == TableFormat::kXlsx;
}

// The cell as CSV and TSV write it, unquoted: "" for a missing value.
std::string CellText(const TableColumn& column, std::size_t row);
// Appends the shortest decimal that restores `value` ("0.28125", "1e-05").
void AppendReal(std::string& out, double value);

// One table as CSV or TSV. False, with the reason in `error`, when a TSV
// value holds a tab or a line break; the file then holds only part of it.
bool WriteDelimited(const ResultTable& table, TableFormat format, OutputFile& out,
                    std::string& error);

// {"command": ..., "pedigree": ..., "tables": {name: {"columns": [{"name",
// "type", "unit"}], "rows": [[...], ...]}}}; a column without a unit has
// "unit": null.
void WriteJson(const ResultSet& tables, std::string_view command, std::string_view pedigree,
               OutputFile& out);

// One sheet per table, named by the table. A table longer than a sheet goes
// on in sheets named "NAME (2)", "NAME (3)", each with the header row. False
// with the reason in `error` when the workbook could not be made.
bool WriteXlsx(const ResultSet& tables, OutputFile& out, std::string& error);

// Text as UTF-8: valid UTF-8 as it is, anything else read as Latin-1.
std::string AsUtf8(std::string_view text);

}  // namespace kinvar
