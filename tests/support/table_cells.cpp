#include "support/table_cells.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kinvar::test {

namespace {

const TableColumn& Column(const ResultTable& table, const char* name) {
  const TableColumn* column = table.Find(name);
  EXPECT_NE(column, nullptr) << table.name() << " has no column " << name;
  if (column == nullptr) throw std::logic_error(name);
  return *column;
}

}  // namespace

std::string Schema(const ResultTable& table) {
  std::string text;
  for (const TableColumn& c : table.columns()) {
    if (!text.empty()) text += ' ';
    text += c.name() + ":" + std::string(ColumnTypeName(c.type()));
    if (!c.unit().empty()) text += "[" + c.unit() + "]";
  }
  return text;
}

std::string Layout(const ResultSet& tables) {
  std::string text;
  for (const ResultTable& t : tables.tables()) text += t.name() + "(" + Schema(t) + ")\n";
  return text;
}

std::vector<std::string> TextCells(const ResultTable& table, const char* column) {
  const TableColumn& c = Column(table, column);
  std::vector<std::string> cells;
  for (std::size_t r = 0; r < c.size(); ++r) cells.emplace_back(c.Text(r));
  return cells;
}

std::vector<std::int64_t> IntegerCells(const ResultTable& table, const char* column) {
  const TableColumn& c = Column(table, column);
  std::vector<std::int64_t> cells;
  for (std::size_t r = 0; r < c.size(); ++r) cells.push_back(c.Integer(r));
  return cells;
}

std::vector<double> RealCells(const ResultTable& table, const char* column) {
  const TableColumn& c = Column(table, column);
  std::vector<double> cells;
  for (std::size_t r = 0; r < c.size(); ++r) cells.push_back(c.Real(r));
  return cells;
}

double Figure(const ResultTable& summary, const std::string& label) {
  for (std::size_t i = 0; i < summary.rows(); ++i)
    if (summary.column(0).Text(i) == label) return summary.column(1).Real(i);
  ADD_FAILURE() << summary.name() << " has no figure " << label;
  return std::nan("");
}

std::string TableNames(const ResultSet& tables) {
  std::string names;
  for (const ResultTable& t : tables.tables()) names += (names.empty() ? "" : " ") + t.name();
  return names;
}

}  // namespace kinvar::test
