#include "cells.h"

#include <pybind11/numpy.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace py = pybind11;

namespace kinvar::python {
namespace {

// Shortest digits that restore the double, so 101.0 (a parent ID that pandas
// read as a float because of a missing value) is "101" and 0.0625 stays 0.0625.
std::string FloatCell(double value) {
  if (std::isnan(value)) return {};
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string IntegerCell(std::int64_t value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string ObjectCell(PyObject* object) {
  if (PyUnicode_Check(object)) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (text == nullptr) throw py::error_already_set();
    return std::string(text, static_cast<std::size_t>(size));
  }
  if (PyFloat_Check(object)) return FloatCell(PyFloat_AS_DOUBLE(object));
  return py::str(py::handle(object)).cast<std::string>();
}

using Mask = py::array_t<bool, py::array::c_style | py::array::forcecast>;

std::vector<std::string> IntegerCells(const py::tuple& column) {
  const auto values = column[1].cast<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>();
  Mask mask;
  if (!column[2].is_none()) mask = column[2].cast<Mask>();
  const bool* missing = column[2].is_none() ? nullptr : mask.data();
  if (missing != nullptr && mask.size() != values.size())
    throw std::invalid_argument("a column's mask differs in length from the column");
  std::vector<std::string> cells(static_cast<std::size_t>(values.size()));
  const auto* data = values.data();
  for (py::ssize_t i = 0; i < values.size(); ++i)
    if (missing == nullptr || !missing[i]) cells[static_cast<std::size_t>(i)] = IntegerCell(data[i]);
  return cells;
}

std::vector<std::string> FloatCells(const py::tuple& column) {
  const auto values = column[1].cast<py::array_t<double, py::array::c_style | py::array::forcecast>>();
  std::vector<std::string> cells(static_cast<std::size_t>(values.size()));
  const auto* data = values.data();
  for (py::ssize_t i = 0; i < values.size(); ++i) cells[static_cast<std::size_t>(i)] = FloatCell(data[i]);
  return cells;
}

std::vector<std::string> ObjectCells(const py::tuple& column) {
  const py::list values = column[1].cast<py::list>();
  const Mask mask = column[2].cast<Mask>();
  const py::ssize_t n = PyList_GET_SIZE(values.ptr());
  if (mask.size() != n) throw std::invalid_argument("a column's mask differs in length from the column");
  const bool* missing = mask.data();
  std::vector<std::string> cells(static_cast<std::size_t>(n));
  for (py::ssize_t i = 0; i < n; ++i)
    if (!missing[i]) cells[static_cast<std::size_t>(i)] = ObjectCell(PyList_GET_ITEM(values.ptr(), i));
  return cells;
}

std::vector<std::string> CategoricalCells(const py::tuple& column) {
  const auto codes = column[1].cast<py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>>();
  const std::vector<std::string> categories = ColumnCells(column[2].cast<py::tuple>());
  std::vector<std::string> cells(static_cast<std::size_t>(codes.size()));
  const auto* data = codes.data();
  for (py::ssize_t i = 0; i < codes.size(); ++i) {
    const std::int64_t code = data[i];
    if (code < 0) continue;
    if (code >= static_cast<std::int64_t>(categories.size()))
      throw std::invalid_argument("a categorical code lies outside its categories");
    cells[static_cast<std::size_t>(i)] = categories[static_cast<std::size_t>(code)];
  }
  return cells;
}

}  // namespace

std::vector<std::string> ColumnCells(const py::tuple& column) {
  const std::string kind = column[0].cast<std::string>();
  if (kind == "int") return IntegerCells(column);
  if (kind == "float") return FloatCells(column);
  if (kind == "object") return ObjectCells(column);
  if (kind == "categorical") return CategoricalCells(column);
  throw std::invalid_argument("unknown column kind: " + kind);
}

}  // namespace kinvar::python
