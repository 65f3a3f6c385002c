// Columns of a data frame as the text cells a pedigree file would hold.
#pragma once

#include <pybind11/pybind11.h>

#include "pedigree/load.h"

namespace kinvar::python {

// Appends `column`, one of the tagged tuples the Python layer builds, to
// `columns` as cells:
//   ("int", int64 array, bool mask or None)
//   ("float", float64 array)                       NaN is missing
//   ("object", object array, bool mask or None)    str, int, float or other;
//                                                  None: as pandas.isna says
//   ("categorical", int64 codes, tagged categories) code -1 is missing
// A missing cell is empty, as an empty field of a file. A str is viewed
// where Python holds it, so the tuple must outlive the views: the caller
// holds it for the whole call, and Python's strings never change.
void AddColumnCells(const pybind11::tuple& column, PedigreeColumnViews& columns);

// The references of a contiguous one-dimensional object array (borrowed:
// the array holds them); std::invalid_argument for anything else.
PyObject* const* ObjectsOf(const pybind11::handle& values);

}  // namespace kinvar::python
