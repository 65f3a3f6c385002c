// Result tables as Python objects the Python layer turns into data frames.
#pragma once

#include <pybind11/pybind11.h>

#include <array>
#include <string>
#include <vector>

#include "app/session.h"

namespace kinvar::python {

// A list of (table name, columns); a column is (name, type, values, mask):
// - "id", "text": an object array of str, None where missing; mask None
// - "real": a float64 array, NaN where missing; mask None
// - "integer", "boolean": an int64 or bool array, and a bool mask of the
//   missing cells when the column has any, else None
// With `integerIds`, a table whose ID cells all spell integers gives its ID
// columns as "integer" columns.
//
// `inputs`, when given, are the caller's Progeny, Sire and Dam cells: a
// cell of a result's id, sire or dam column that spells what the caller's
// cell of its row held is that very str, not a new one.
struct InputIdColumn {
  pybind11::object objects;  // an object array, or None
  pybind11::object codes;    // a categorical's int64 codes into `objects`, or None
};
using InputIds = std::array<InputIdColumn, 3>;
pybind11::list TablesToPython(const ResultSet& result, bool integerIds = false,
                              const InputIds* inputs = nullptr);

// The Progeny, Sire and Dam columns among the tagged tuples of
// AddColumnCells (cells.h) that hold str a result can reuse.
InputIds InputIdsOf(const std::vector<std::string>& names, const pybind11::list& columns);

// The full symmetric matrix of a lower triangle given by column, as the
// arrays of a compressed sparse row matrix: (data, indices, indptr).
pybind11::tuple SymmetricCsr(const LowerTriplets& lower);

}  // namespace kinvar::python
