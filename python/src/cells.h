// Columns of a data frame as the text cells a pedigree file would hold.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace kinvar::python {

// `column` is one of the tagged tuples the Python layer builds:
//   ("int", int64 array, bool mask or None)
//   ("float", float64 array)                       NaN is missing
//   ("object", list, bool mask)                    str, int, float or other
//   ("categorical", int64 codes, tagged categories) code -1 is missing
// A missing cell is empty, as an empty field of a file.
std::vector<std::string> ColumnCells(const pybind11::tuple& column);

}  // namespace kinvar::python
