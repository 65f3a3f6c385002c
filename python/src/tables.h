// Result tables as Python objects the Python layer turns into data frames.
#pragma once

#include <pybind11/pybind11.h>

#include "app/session.h"

namespace kinvar::python {

// A list of (table name, columns); a column is (name, type, values, mask):
// - "id", "text": an object array of str, None where missing; mask None
// - "real": a float64 array, NaN where missing; mask None
// - "integer", "boolean": an int64 or bool array, and a bool mask of the
//   missing cells when the column has any, else None
// With `integerIds`, a table whose ID cells all spell integers gives its ID
// columns as "integer" columns.
pybind11::list TablesToPython(const ResultSet& result, bool integerIds = false);

// The full symmetric matrix of a lower triangle given by column, as the
// arrays of a compressed sparse row matrix: (data, indices, indptr).
pybind11::tuple SymmetricCsr(const LowerTriplets& lower);

}  // namespace kinvar::python
