// Results as data: the typed tables that an analysis hands back beside its
// report lines, which every front end renders (CSV, TSV, JSON, .xlsx, the
// desktop's table view, the R and Python packages).
//
// Conventions of this header:
// - A table has a name ("inbreeding", "pairs", "summary") and columns with a
//   snake_case name, a type and an optional unit. Scripts rely on the names:
//   a name, once published, stays.
// - Values are what the report shows before formatting. A 32-bit result is
//   stored as the double nearest to the shortest decimal that restores the
//   float (`AddFloat`), so every writer prints its short digits and reading
//   them back as a float gives the stored float exactly.
// - A missing value is an empty text (IDs are never empty: an unknown parent
//   is missing), kMissingInteger, or NaN for a real.
// - Text cells share one buffer per column, so a table of a million
//   individuals costs a few bytes a cell beyond its characters.
// - A summary of single figures is a table with the text column "figure" and
//   the real column "value", one row per figure line of the report, under
//   the report's label.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace kinvar {

enum class ColumnType : std::uint8_t { kId, kInteger, kReal, kText, kBoolean };

inline constexpr std::int64_t kMissingInteger = std::numeric_limits<std::int64_t>::min();

// "id", "integer", "real", "text", "boolean": the JSON document's type names.
std::string_view ColumnTypeName(ColumnType type);

class TableColumn {
 public:
  TableColumn(std::string name, ColumnType type, std::string unit)
      : name_(std::move(name)), unit_(std::move(unit)), type_(type) {}

  const std::string& name() const { return name_; }
  const std::string& unit() const { return unit_; }
  ColumnType type() const { return type_; }
  bool IsText() const { return type_ == ColumnType::kId || type_ == ColumnType::kText; }
  std::size_t size() const {
    if (IsText()) return ends_.size();
    return type_ == ColumnType::kReal ? reals_.size() : integers_.size();
  }

  // The cells, by the column's type; `row` < size().
  std::string_view Text(std::size_t row) const {
    const std::size_t begin = row == 0 ? 0 : ends_[row - 1];
    return std::string_view(chars_).substr(begin, ends_[row] - begin);
  }
  std::int64_t Integer(std::size_t row) const { return integers_[row]; }
  double Real(std::size_t row) const { return reals_[row]; }
  bool Missing(std::size_t row) const;

  // Replaces every text cell by what `rewrite` gives for it.
  template <class Rewrite>
  void RewriteTexts(Rewrite rewrite) {
    std::string chars;
    std::vector<std::uint64_t> ends;
    ends.reserve(ends_.size());
    for (std::size_t row = 0; row < ends_.size(); ++row) {
      chars.append(rewrite(Text(row)));
      ends.push_back(chars.size());
    }
    chars_ = std::move(chars);
    ends_ = std::move(ends);
  }
  void AppendText(std::string_view text) {
    chars_.append(text);
    ends_.push_back(chars_.size());
  }
  void AppendInteger(std::int64_t value) { integers_.push_back(value); }
  void AppendReal(double value) { reals_.push_back(value); }
  void AppendMissing();
  void Reserve(std::size_t rows);

 private:
  std::string name_;
  std::string unit_;
  ColumnType type_;
  std::string chars_;               // kId, kText: the cells one after another
  std::vector<std::uint64_t> ends_;  // kId, kText: where each cell ends
  std::vector<std::int64_t> integers_;  // kInteger, kBoolean (0 or 1)
  std::vector<double> reals_;           // kReal
};

// The double that the shortest decimal restoring `value` stands for; NaN
// stays NaN.
double DecimalOf(float value);

class ResultTable;

// Fills one row, left to right: one call per column, in the columns' order.
class TableRow {
 public:
  explicit TableRow(ResultTable& table) : table_(table) {}
  TableRow(const TableRow&) = delete;
  TableRow& operator=(const TableRow&) = delete;
  ~TableRow();

  TableRow& Id(std::string_view id);      // "" is missing (an unknown parent)
  TableRow& Text(std::string_view text);  // "" is missing
  TableRow& Integer(std::int64_t value);
  TableRow& Real(double value);  // NaN is missing
  TableRow& Float(float value);  // through DecimalOf
  TableRow& Boolean(bool value);
  TableRow& Missing();

 private:
  TableColumn& Next(ColumnType expected);

  ResultTable& table_;
  std::size_t column_ = 0;
};

class ResultTable {
 public:
  explicit ResultTable(std::string name) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  std::size_t rows() const { return rows_; }
  const std::vector<TableColumn>& columns() const { return columns_; }
  const TableColumn& column(std::size_t i) const { return columns_[i]; }
  TableColumn& column(std::size_t i) { return columns_[i]; }
  // The column of that name, or nullptr.
  const TableColumn* Find(std::string_view name) const;

  // Columns are added before the first row.
  ResultTable& AddColumn(std::string name, ColumnType type, std::string unit = {});
  TableRow AddRow() { return TableRow(*this); }
  void Reserve(std::size_t rows);

  // A summary's row: the report's label and its value.
  void AddFigure(std::string_view label, double value);
  void AddFigure(std::string_view label, float value);
  void AddFigure(std::string_view label, std::int64_t value);
  void AddFigure(std::string_view label, int value) { AddFigure(label, std::int64_t{value}); }

 private:
  friend class TableRow;
  std::string name_;
  std::vector<TableColumn> columns_;
  std::size_t rows_ = 0;
};

// A table with the summary's two columns, figure and value.
ResultTable SummaryTable(std::string name = "summary");

// The tables of one command's result, in the order the report shows them.
class ResultSet {
 public:
  // A deque: a table stays where it is while others are added.
  const std::deque<ResultTable>& tables() const { return tables_; }
  std::deque<ResultTable>& tables() { return tables_; }
  bool empty() const { return tables_.empty(); }
  // The table of that name, or nullptr.
  const ResultTable* Find(std::string_view name) const;
  ResultTable* Find(std::string_view name);
  // Appends an empty table and returns it; a table of that name is replaced.
  ResultTable& Add(std::string name);
  ResultTable& Add(ResultTable table);
  // Empties the set; whether rows are wanted stays as it was.
  void Clear() { tables_.clear(); }

  // Whether anybody will read the rows. A front end that writes only text
  // (kinvar-cli without --format) says no before the command runs; the
  // analyses whose tables hold a row per individual, pair or matrix element
  // then add those tables with their columns only, because filling them
  // costs as much as the text the user asked for. Tables an analysis reads
  // back to write its report are always filled.
  void SetRowsWanted(bool wanted) { rowsWanted_ = wanted; }
  bool RowsWanted() const { return rowsWanted_; }

 private:
  std::deque<ResultTable> tables_;
  bool rowsWanted_ = true;
};

}  // namespace kinvar
