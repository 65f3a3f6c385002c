#include "report/result_table.h"

#include <cassert>
#include <charconv>
#include <cstdlib>
#include <stdexcept>

namespace kinvar {

std::string_view ColumnTypeName(ColumnType type) {
  switch (type) {
    case ColumnType::kId: return "id";
    case ColumnType::kInteger: return "integer";
    case ColumnType::kReal: return "real";
    case ColumnType::kText: return "text";
    case ColumnType::kBoolean: return "boolean";
  }
  return "text";
}

bool TableColumn::Missing(std::size_t row) const {
  if (IsText()) return Text(row).empty();
  if (type_ == ColumnType::kReal) return std::isnan(reals_[row]);
  return integers_[row] == kMissingInteger;
}

void TableColumn::AppendMissing() {
  if (IsText()) AppendText({});
  else if (type_ == ColumnType::kReal) AppendReal(std::numeric_limits<double>::quiet_NaN());
  else AppendInteger(kMissingInteger);
}

void TableColumn::Reserve(std::size_t rows) {
  if (IsText()) {
    ends_.reserve(rows);
    chars_.reserve(rows * 12);  // a typical ID; growth copies the rest
  }
  else if (type_ == ColumnType::kReal) reals_.reserve(rows);
  else integers_.reserve(rows);
}

double DecimalOf(float value) {
  if (std::isnan(value)) return std::numeric_limits<double>::quiet_NaN();
  if (std::isinf(value)) return static_cast<double>(value);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  double result = 0.0;
  std::from_chars(text, end, result);
  return result;
}

TableRow::~TableRow() {
  // A row left short would shift every later cell of the short columns.
  assert(column_ == table_.columns_.size());
  if (column_ == table_.columns_.size()) ++table_.rows_;
}

TableColumn& TableRow::Next(ColumnType expected) {
  if (column_ >= table_.columns_.size())
    throw std::logic_error("row of " + table_.name_ + " has more cells than columns");
  TableColumn& column = table_.columns_[column_++];
  const bool textual = expected == ColumnType::kId || expected == ColumnType::kText;
  const bool fits = column.type() == expected || (textual && column.IsText()) ||
                    (expected == ColumnType::kInteger && column.type() == ColumnType::kReal);
  if (!fits) throw std::logic_error("cell of the wrong type in " + table_.name_ + "." + column.name());
  return column;
}

TableRow& TableRow::Id(std::string_view id) {
  Next(ColumnType::kId).AppendText(id);
  return *this;
}

TableRow& TableRow::Text(std::string_view text) {
  Next(ColumnType::kText).AppendText(text);
  return *this;
}

TableRow& TableRow::Integer(std::int64_t value) {
  TableColumn& column = Next(ColumnType::kInteger);
  // An integer in a real column (a summary's count) keeps its value.
  if (column.type() == ColumnType::kReal) column.AppendReal(static_cast<double>(value));
  else column.AppendInteger(value);
  return *this;
}

TableRow& TableRow::Real(double value) {
  Next(ColumnType::kReal).AppendReal(value);
  return *this;
}

TableRow& TableRow::Float(float value) {
  Next(ColumnType::kReal).AppendReal(DecimalOf(value));
  return *this;
}

TableRow& TableRow::Boolean(bool value) {
  Next(ColumnType::kBoolean).AppendInteger(value ? 1 : 0);
  return *this;
}

TableRow& TableRow::Missing() {
  if (column_ >= table_.columns_.size())
    throw std::logic_error("row of " + table_.name_ + " has more cells than columns");
  table_.columns_[column_++].AppendMissing();
  return *this;
}

const TableColumn* ResultTable::Find(std::string_view name) const {
  for (const TableColumn& column : columns_)
    if (column.name() == name) return &column;
  return nullptr;
}

ResultTable& ResultTable::AddColumn(std::string name, ColumnType type, std::string unit) {
  if (rows_ != 0) throw std::logic_error("column added to " + name_ + " after its rows");
  columns_.emplace_back(std::move(name), type, std::move(unit));
  return *this;
}

void ResultTable::Reserve(std::size_t rows) {
  for (TableColumn& column : columns_) column.Reserve(rows);
}

void ResultTable::AddFigure(std::string_view label, double value) { AddRow().Text(label).Real(value); }

void ResultTable::AddFigure(std::string_view label, float value) {
  AddRow().Text(label).Float(value);
}

void ResultTable::AddFigure(std::string_view label, std::int64_t value) {
  AddRow().Text(label).Real(value == kMissingInteger ? std::numeric_limits<double>::quiet_NaN()
                                                     : static_cast<double>(value));
}

ResultTable SummaryTable(std::string name) {
  ResultTable table(std::move(name));
  table.AddColumn("figure", ColumnType::kText).AddColumn("value", ColumnType::kReal);
  return table;
}

const ResultTable* ResultSet::Find(std::string_view name) const {
  for (const ResultTable& table : tables_)
    if (table.name() == name) return &table;
  return nullptr;
}

ResultTable* ResultSet::Find(std::string_view name) {
  for (ResultTable& table : tables_)
    if (table.name() == name) return &table;
  return nullptr;
}

ResultTable& ResultSet::Add(std::string name) { return Add(ResultTable(std::move(name))); }

ResultTable& ResultSet::Add(ResultTable table) {
  if (ResultTable* existing = Find(table.name())) return *existing = std::move(table);
  return tables_.emplace_back(std::move(table));
}

}  // namespace kinvar
