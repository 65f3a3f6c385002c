// Reading the typed tables back in tests: a table's columns as one line of
// text to compare with what scripts rely on, and a column's cells as plain
// values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/result_table.h"

namespace kinvar::test {

// "name:type" per column, a unit in brackets, separated by blanks:
// "id:id f:real longest_path:integer[generations]".
std::string Schema(const ResultTable& table);

// "name(schema)" for each table, one per line, as Schema writes a table.
std::string Layout(const ResultSet& tables);

// The cells of the named column (which must exist): text as it is ("" when
// missing), integers and booleans as they are (kMissingInteger when
// missing), reals as they are (NaN when missing).
std::vector<std::string> TextCells(const ResultTable& table, const char* column);
std::vector<std::int64_t> IntegerCells(const ResultTable& table, const char* column);
std::vector<double> RealCells(const ResultTable& table, const char* column);

// The value of the row of a summary table (figure, value) labelled `label`:
// a failure, and NaN, when no row has it.
double Figure(const ResultTable& summary, const std::string& label);

// The names of the tables of a result set, in order, separated by blanks.
std::string TableNames(const ResultSet& tables);

}  // namespace kinvar::test
