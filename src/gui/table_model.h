// One typed result table as Qt's item views see it, read straight from the
// table's columns: no item, QVariant or QString is kept per cell, so a
// million rows cost only the row order (4 bytes a row) and the filter's
// marks (1 byte a row).
//
// The rows on screen are a permutation of the table's rows: sorted by one
// column (numbers as numbers, IDs and text by their bytes, missing values
// last in either direction, ties in the file's order), then filtered to the
// rows where some cell's text holds the filter text, ignoring case, and
// where the number filter's conditions hold (NumberFilter).
//
// The table belongs to the report store, which a command clears while the
// view may still paint: the model reads the table only while the store's
// generation is the one it was made for, and shows nothing after.
#pragma once

#include <QAbstractTableModel>
#include <QItemSelection>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_store.h"
#include "report/result_table.h"

namespace kinvar::gui {

// The row indexes of `column` in sorted order (see above).
std::vector<std::uint32_t> SortedRows(const TableColumn& column, bool descending);

// Case-insensitive "contains" over the cells' texts as CellText gives them.
// ASCII letters fold in the fast byte scan; a needle with other letters
// folds through QString for text cells.
class CellMatcher {
 public:
  explicit CellMatcher(const QString& needle);
  bool empty() const { return folded_.empty(); }
  bool Matches(const TableColumn& column, std::size_t row);

 private:
  std::string folded_;  // lower-case UTF-8
  QString needle_;
  bool ascii_ = true;
  std::string scratch_;
};

// The conditions a breeder writes on the columns of numbers, joined by
// "and" or ";": COLUMN OP NUMBER with OP one of < <= > >= = !=, or a range,
// COLUMN LOW..HIGH or LOW <= COLUMN <= HIGH (either sign < or <=). A column
// is named by its machine name or its title, in any case; a decimal comma
// is read as a point. A missing value meets no condition.
struct NumberCondition {
  enum class Op { kLess, kLessEqual, kGreater, kGreaterEqual, kEqual, kNotEqual };
  std::size_t column;
  Op op;
  double value;
  bool Holds(const TableColumn& c, std::size_t row) const;
};

struct NumberFilter {
  std::vector<NumberCondition> conditions;  // all must hold
  QString error;  // why the text could not be read; then no condition
};

NumberFilter ParseNumberFilter(const ResultTable& table, const QString& text);

class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The table `index` of the store's tables, as of now.
  TableModel(const ReportStore& store, std::size_t index, QObject* parent = nullptr);

  // Nothing once the store has moved on to another report.
  const ResultTable* table() const;
  // The table's row shown on row `row`.
  std::uint32_t SourceRow(int row) const { return shown_[static_cast<std::size_t>(row)]; }
  int sortColumn() const { return sortColumn_; }
  Qt::SortOrder sortOrder() const { return sortOrder_; }
  const QString& filter() const { return filter_; }
  void SetFilter(const QString& text);
  const QString& numberFilter() const { return numberText_; }
  // Reads and applies the conditions; the error when they cannot be read
  // (the rows are then filtered by the text alone), "" otherwise.
  QString SetNumberFilter(const QString& text);
  // Whether the rows shown differ from the table's in the file's order.
  bool Rearranged() const { return sortColumn_ >= 0 || !filter_.isEmpty() || !numbers_.empty(); }
  // The cell as CSV writes it ("" for a missing value), UTF-8.
  std::string CellString(int row, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Column -1 restores the file's order.
  void sort(int column, Qt::SortOrder order) override;

 private:
  void Reorder();
  void Refilter();

  const ReportStore& store_;
  std::size_t index_;
  std::uint64_t generation_;
  int columns_ = 0;
  std::vector<std::uint32_t> sorted_;  // every row, in the sort order
  std::vector<std::uint32_t> shown_;   // the rows that pass the filter
  std::vector<char> matches_;          // by table row; empty without a filter
  std::vector<char> numbers_;          // by table row; empty without conditions
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
  QString filter_;
  QString numberText_;
};

// The rows shown, in the order shown, as a table of the same name and
// columns: what the desktop exports from a sorted or filtered view. Empty
// (no columns) once the store has moved on.
ResultTable ShownTable(const TableModel& model);

// The selected cells as a spreadsheet pastes them: the bounding rectangle
// of the selection in the view's order, cells separated by a tab, every row
// ended by "\n", cells outside the selection empty. The header row of the
// column names leads when every selected column is selected whole. Tabs and
// line breaks inside a cell become blanks, so they cannot split it. The
// numbers of real columns take `decimal` as their decimal separator (a
// locale's comma, for a spreadsheet of that locale); IDs and texts keep
// their points.
QString CopyText(const TableModel& model, const QItemSelection& selection,
                 const QString& decimal = QStringLiteral("."));

}  // namespace kinvar::gui
