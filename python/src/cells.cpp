#include "cells.h"

#include <pybind11/numpy.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace py = pybind11;

namespace kinvar::python {
namespace {

using Views = std::vector<std::string_view>;

// Shortest digits that restore the double, so 101.0 (a parent ID that pandas
// read as a float because of a missing value) is "101" and 0.0625 stays 0.0625.
std::string_view FloatCell(double value, char (&buffer)[64]) {
  if (std::isnan(value)) return {};
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}

std::string_view IntegerCell(std::int64_t value, char (&buffer)[64]) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return {buffer, static_cast<std::size_t>(result.ptr - buffer)};
}

// The UTF-8 of a str, where Python keeps it for as long as the str lives.
std::string_view TextOf(PyObject* object) {
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(object, &size);
  if (text == nullptr) throw py::error_already_set();
  return {text, static_cast<std::size_t>(size)};
}

std::string OtherCell(PyObject* object) {
  char buffer[64];
  if (PyFloat_Check(object)) return std::string(FloatCell(PyFloat_AS_DOUBLE(object), buffer));
  return py::str(py::handle(object)).cast<std::string>();
}

using Mask = py::array_t<bool, py::array::c_style | py::array::forcecast>;

void AddIntegers(const py::tuple& column, PedigreeColumnViews& columns) {
  const auto values = column[1].cast<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>();
  Mask mask;
  if (!column[2].is_none()) mask = column[2].cast<Mask>();
  const bool* missing = column[2].is_none() ? nullptr : mask.data();
  if (missing != nullptr && mask.size() != values.size())
    throw std::invalid_argument("a column's mask differs in length from the column");
  SpelledCells spelled;
  char buffer[64];
  const auto* data = values.data();
  for (py::ssize_t i = 0; i < values.size(); ++i)
    spelled.Add(missing == nullptr || !missing[i] ? IntegerCell(data[i], buffer) : std::string_view());
  columns.cells.push_back(spelled.Views());
  std::move(spelled).MoveInto(columns);
}

void AddFloats(const py::tuple& column, PedigreeColumnViews& columns) {
  const auto values = column[1].cast<py::array_t<double, py::array::c_style | py::array::forcecast>>();
  SpelledCells spelled;
  char buffer[64];
  const auto* data = values.data();
  for (py::ssize_t i = 0; i < values.size(); ++i) spelled.Add(FloatCell(data[i], buffer));
  columns.cells.push_back(spelled.Views());
  std::move(spelled).MoveInto(columns);
}

// Which of the rows' objects pandas counts as missing (None, NaN, pd.NA,
// NaT ...), asked once for all of them.
std::vector<bool> MissingOf(PyObject* const* values, const std::vector<std::size_t>& rows) {
  py::array objects = py::module_::import("numpy").attr("empty")(rows.size(), py::arg("dtype") = "object");
  auto** slots = static_cast<PyObject**>(objects.mutable_data());
  for (std::size_t k = 0; k < rows.size(); ++k) {
    Py_INCREF(values[rows[k]]);
    Py_DECREF(slots[k]);
    slots[k] = values[rows[k]];
  }
  const auto mask = py::module_::import("pandas").attr("isna")(objects).cast<Mask>();
  return std::vector<bool>(mask.data(), mask.data() + mask.size());
}

// A str is viewed in place; any other value is spelled out beside. Without
// a mask, a str is never missing and pandas decides for the other values:
// looking at every str for it costs more than reading them.
void AddObjects(const py::tuple& column, PedigreeColumnViews& columns) {
  PyObject* const* values = ObjectsOf(column[1]);
  const py::ssize_t n = py::len(column[1]);
  Mask mask;
  if (!column[2].is_none()) {
    mask = column[2].cast<Mask>();
    if (mask.size() != n) throw std::invalid_argument("a column's mask differs in length from the column");
  }
  const bool* missing = column[2].is_none() ? nullptr : mask.data();
  Views cells(static_cast<std::size_t>(n));
  std::vector<std::size_t> otherRows;
  for (py::ssize_t i = 0; i < n; ++i) {
    if (missing != nullptr && missing[i]) continue;
    PyObject* object = values[i];
    if (PyUnicode_Check(object)) cells[static_cast<std::size_t>(i)] = TextOf(object);
    else if (object != Py_None) otherRows.push_back(static_cast<std::size_t>(i));
  }
  std::vector<bool> othersMissing(otherRows.size(), false);
  if (missing == nullptr && !otherRows.empty()) othersMissing = MissingOf(values, otherRows);
  SpelledCells spelled;
  std::vector<std::size_t> spelledRows;
  for (std::size_t k = 0; k < otherRows.size(); ++k) {
    if (othersMissing[k]) continue;
    spelled.Add(OtherCell(values[otherRows[k]]));
    spelledRows.push_back(otherRows[k]);
  }
  const Views others = spelled.Views();
  for (std::size_t k = 0; k < spelledRows.size(); ++k) cells[spelledRows[k]] = others[k];
  columns.cells.push_back(std::move(cells));
  std::move(spelled).MoveInto(columns);
}

void AddCategories(const py::tuple& column, PedigreeColumnViews& columns) {
  const auto codes = column[1].cast<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>();
  // The categories go in as a column of their own, then give way to the
  // cells; their text stays where it is.
  AddColumnCells(column[2].cast<py::tuple>(), columns);
  const Views categories = std::move(columns.cells.back());
  columns.cells.pop_back();
  Views cells(static_cast<std::size_t>(codes.size()));
  const auto* data = codes.data();
  for (py::ssize_t i = 0; i < codes.size(); ++i) {
    const std::int64_t code = data[i];
    if (code < 0) continue;
    if (code >= static_cast<std::int64_t>(categories.size()))
      throw std::invalid_argument("a categorical code lies outside its categories");
    cells[static_cast<std::size_t>(i)] = categories[static_cast<std::size_t>(code)];
  }
  columns.cells.push_back(std::move(cells));
}

}  // namespace

PyObject* const* ObjectsOf(const py::handle& values) {
  if (!py::isinstance<py::array>(values))
    throw std::invalid_argument("an object column must come as a NumPy array");
  const auto array = py::reinterpret_borrow<py::array>(values);
  if (array.dtype().kind() != 'O' || array.ndim() != 1 ||
      !(array.flags() & py::array::c_style))
    throw std::invalid_argument("an object column must be a contiguous one-dimensional object array");
  return static_cast<PyObject* const*>(array.data());
}

void AddColumnCells(const py::tuple& column, PedigreeColumnViews& columns) {
  const std::string kind = column[0].cast<std::string>();
  if (kind == "int") return AddIntegers(column, columns);
  if (kind == "float") return AddFloats(column, columns);
  if (kind == "object") return AddObjects(column, columns);
  if (kind == "categorical") return AddCategories(column, columns);
  throw std::invalid_argument("unknown column kind: " + kind);
}

}  // namespace kinvar::python
