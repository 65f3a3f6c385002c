#include "tables.h"

#include "app/session_id_cache.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace py = pybind11;

namespace kinvar::python {
namespace {

PyObject* NewText(std::string_view text) {
  PyObject* cell = PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "replace");
  if (cell == nullptr) throw py::error_already_set();
  return cell;
}

// One str per distinct ID of a table (the shared cache of the packages). It
// holds borrowed references: the arrays of the table keep them.
using IdCache = IdStringCache<PyObject*>;

// A new reference to the str of `text`.
PyObject* CachedText(std::string_view text, IdCache* cache) {
  if (cache == nullptr) return NewText(text);
  bool made = false;
  PyObject* cell = cache->Of(text, NewText, made);
  if (!made) Py_INCREF(cell);
  return cell;
}

// The caller's object at row r of an input column (borrowed), nullptr for
// none.
class InputCells {
 public:
  explicit InputCells(const InputIdColumn* column) {
    if (column == nullptr || !column->objects || column->objects.is_none()) return;
    const auto objects = column->objects.cast<py::array>();
    objects_ = static_cast<PyObject* const*>(objects.data());
    categories_ = static_cast<std::size_t>(objects.size());
    n_ = categories_;
    if (column->codes && !column->codes.is_none()) {
      const auto codes = column->codes.cast<py::array_t<std::int64_t>>();
      codes_ = codes.data();
      n_ = static_cast<std::size_t>(codes.size());
    }
  }
  PyObject* operator[](std::size_t r) const {
    if (r >= n_) return nullptr;
    if (codes_ == nullptr) return objects_[r];
    const std::int64_t code = codes_[r];
    return code < 0 || static_cast<std::size_t>(code) >= categories_ ? nullptr : objects_[code];
  }

 private:
  PyObject* const* objects_ = nullptr;
  const std::int64_t* codes_ = nullptr;
  std::size_t categories_ = 0;
  std::size_t n_ = 0;
};

// Whether `object` is a str (not a subclass) of the UTF-8 `text`.
bool SameString(PyObject* object, std::string_view text) {
  if (object == nullptr || !PyUnicode_CheckExact(object)) return false;
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) {
    PyErr_Clear();
    return false;
  }
  return static_cast<std::size_t>(size) == text.size() && std::memcmp(utf8, text.data(), text.size()) == 0;
}

// An object array straight away: NumPy turning a list of a million str into
// an array looks into every element and costs more than making them.
py::array TextCells(const TableColumn& column, IdCache* cache, const InputIdColumn* input = nullptr) {
  const std::size_t n = column.size();
  // np.empty fills an object array with None, so every slot holds a reference.
  py::array cells = py::module_::import("numpy").attr("empty")(n, py::arg("dtype") = "object");
  auto** slots = static_cast<PyObject**>(cells.mutable_data());
  const InputCells given(input);
  for (std::size_t i = 0; i < n; ++i) {
    if (column.Missing(i)) continue;
    PyObject* cell = given[i];
    if (SameString(cell, column.Text(i))) Py_INCREF(cell);
    else cell = CachedText(column.Text(i), cache);
    Py_DECREF(slots[i]);
    slots[i] = cell;
  }
  return cells;
}

py::array_t<double> RealCells(const TableColumn& column) {
  py::array_t<double> values(static_cast<py::ssize_t>(column.size()));
  double* out = values.mutable_data();
  for (std::size_t i = 0; i < column.size(); ++i) out[i] = column.Real(i);
  return values;
}

// Integers and booleans, with the mask of missing cells only where needed.
py::tuple WholeCells(const TableColumn& column) {
  const auto n = static_cast<py::ssize_t>(column.size());
  py::array_t<bool> mask(n);
  bool* missing = mask.mutable_data();
  bool anyMissing = false;
  for (py::ssize_t i = 0; i < n; ++i) {
    missing[i] = column.Missing(static_cast<std::size_t>(i));
    anyMissing = anyMissing || missing[i];
  }
  const py::object maskOrNone = anyMissing ? py::object(mask) : py::object(py::none());
  if (column.type() == ColumnType::kBoolean) {
    py::array_t<bool> values(n);
    bool* out = values.mutable_data();
    for (py::ssize_t i = 0; i < n; ++i) out[i] = !missing[i] && column.Integer(static_cast<std::size_t>(i)) != 0;
    return py::make_tuple(values, maskOrNone);
  }
  py::array_t<std::int64_t> values(n);
  std::int64_t* out = values.mutable_data();
  for (py::ssize_t i = 0; i < n; ++i) out[i] = missing[i] ? 0 : column.Integer(static_cast<std::size_t>(i));
  return py::make_tuple(values, maskOrNone);
}

// The integer an ID cell spells as Python would print it (no plus sign,
// no leading zero, no blank).
std::optional<std::int64_t> IntegerOfId(std::string_view text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  char canonical[24];
  const auto written = std::to_chars(canonical, canonical + sizeof canonical, value).ptr;
  if (std::string_view(canonical, static_cast<std::size_t>(written - canonical)) != text)
    return std::nullopt;
  return value;
}

// Whether every ID cell of the table spells an integer: the ID columns of
// one table are all integers or all text.
bool IdsAreIntegers(const ResultTable& table) {
  for (const TableColumn& column : table.columns()) {
    if (column.type() != ColumnType::kId) continue;
    for (std::size_t i = 0; i < column.size(); ++i)
      if (!column.Missing(i) && !IntegerOfId(column.Text(i))) return false;
  }
  return true;
}

py::tuple IntegerIds(const TableColumn& column) {
  const auto n = static_cast<py::ssize_t>(column.size());
  py::array_t<bool> mask(n);
  py::array_t<std::int64_t> values(n);
  bool* missing = mask.mutable_data();
  std::int64_t* out = values.mutable_data();
  bool anyMissing = false;
  for (py::ssize_t i = 0; i < n; ++i) {
    missing[i] = column.Missing(static_cast<std::size_t>(i));
    anyMissing = anyMissing || missing[i];
    out[i] = missing[i] ? 0 : *IntegerOfId(column.Text(static_cast<std::size_t>(i)));
  }
  return py::make_tuple(py::str(column.name()), py::str("integer"), values,
                        anyMissing ? py::object(mask) : py::object(py::none()));
}

// The input column whose row r a result column's row r reads, by the
// result column's name.
const InputIdColumn* InputColumnOf(const InputIds* inputs, const std::string& name) {
  if (inputs == nullptr) return nullptr;
  const int role = name == "id" ? 0 : name == "sire" ? 1 : name == "dam" ? 2 : -1;
  return role < 0 ? nullptr : &(*inputs)[static_cast<std::size_t>(role)];
}

py::tuple ColumnToPython(const TableColumn& column, IdCache& ids, bool integerIds, const InputIds* inputs) {
  if (integerIds && column.type() == ColumnType::kId) return IntegerIds(column);
  const py::str name(column.name());
  const py::str type(std::string(ColumnTypeName(column.type())));
  if (column.type() == ColumnType::kId)
    return py::make_tuple(name, type, TextCells(column, &ids, InputColumnOf(inputs, column.name())), py::none());
  if (column.IsText()) return py::make_tuple(name, type, TextCells(column, nullptr), py::none());
  if (column.type() == ColumnType::kReal) return py::make_tuple(name, type, RealCells(column), py::none());
  const py::tuple cells = WholeCells(column);
  return py::make_tuple(name, type, cells[0], cells[1]);
}

template <typename Index>
py::tuple FillCsr(const LowerTriplets& lower, std::size_t nnz) {
  const std::size_t n = static_cast<std::size_t>(lower.n);
  py::array_t<Index> indptr(static_cast<py::ssize_t>(n + 1));
  Index* start = indptr.mutable_data();
  std::fill(start, start + n + 1, Index{0});
  for (std::size_t k = 0; k < lower.value.size(); ++k) {
    ++start[lower.row[k] + 1];
    if (lower.row[k] != lower.col[k]) ++start[lower.col[k] + 1];
  }
  for (std::size_t i = 0; i < n; ++i) start[i + 1] += start[i];
  py::array_t<std::int32_t> indices(static_cast<py::ssize_t>(nnz));
  py::array_t<double> data(static_cast<py::ssize_t>(nnz));
  std::int32_t* column = indices.mutable_data();
  double* value = data.mutable_data();
  std::vector<Index> fill(start, start + n);
  // Going through the lower triangle column by column puts every row's
  // entries in ascending column order: row i gets (i, j < i) while column j
  // is visited, then its diagonal and (i, r > i) while column i is.
  for (std::size_t k = 0; k < lower.value.size(); ++k) {
    const std::int32_t r = lower.row[k];
    const std::int32_t c = lower.col[k];
    column[fill[r]] = c;
    value[fill[r]++] = lower.value[k];
    if (r == c) continue;
    column[fill[c]] = r;
    value[fill[c]++] = lower.value[k];
  }
  return py::make_tuple(data, indices, indptr);
}

}  // namespace

py::list TablesToPython(const ResultSet& result, bool integerIds, const InputIds* inputs) {
  py::list tables;
  for (const ResultTable& table : result.tables()) {
    py::list columns;
    IdCache ids;
    const bool integers = integerIds && IdsAreIntegers(table);
    for (const TableColumn& column : table.columns())
      columns.append(ColumnToPython(column, ids, integers, inputs));
    tables.append(py::make_tuple(py::str(table.name()), columns));
  }
  return tables;
}

InputIds InputIdsOf(const std::vector<std::string>& names, const py::list& columns) {
  InputIds inputs;
  for (std::size_t c = 0; c < names.size() && c < static_cast<std::size_t>(py::len(columns)); ++c) {
    const int role = names[c] == "Progeny" ? 0 : names[c] == "Sire" ? 1 : names[c] == "Dam" ? 2 : -1;
    if (role < 0) continue;
    const auto column = columns[c].cast<py::tuple>();
    const std::string kind = column[0].cast<std::string>();
    InputIdColumn& kept = inputs[static_cast<std::size_t>(role)];
    if (kind == "object") {
      kept.objects = column[1];
    } else if (kind == "categorical") {
      const auto categories = column[2].cast<py::tuple>();
      if (categories[0].cast<std::string>() != "object") continue;
      auto codes = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(column[1]);
      if (!codes) {
        PyErr_Clear();
        continue;
      }
      kept.objects = categories[1];
      kept.codes = std::move(codes);
    }
  }
  return inputs;
}

py::tuple SymmetricCsr(const LowerTriplets& lower) {
  std::size_t nnz = 0;
  for (std::size_t k = 0; k < lower.value.size(); ++k) nnz += lower.row[k] == lower.col[k] ? 1 : 2;
  if (nnz <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    return FillCsr<std::int32_t>(lower, nnz);
  return FillCsr<std::int64_t>(lower, nnz);
}

}  // namespace kinvar::python
