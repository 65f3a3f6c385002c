// The readable title of each table column, which the desktop's table view
// shows as its header. The machine names stay what CSV, TSV, JSON, the
// workbooks and the R and Python packages write: scripts rely on them.
//
// A column name means the same in every table, except where a table gives
// it a meaning of its own ("value" is a relationship in "pairs", an element
// of T in "matrix_t"): those are listed under the table's name.
#pragma once

#include <string_view>

namespace kinvar {

// The title of column `column` of table `table`, or "" when none is known:
// a column added without a title here is a fault that the tests look for.
std::string_view ColumnTitle(std::string_view table, std::string_view column);

// "yes" or "no": how a boolean cell reads on screen (files write true/false).
std::string_view BooleanWord(bool value);

}  // namespace kinvar
