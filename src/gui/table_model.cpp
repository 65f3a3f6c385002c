#include "gui/table_model.h"

#include <QItemSelection>
#include <algorithm>
#include <charconv>
#include <numeric>

#include "report/table_formats.h"

namespace kinvar::gui {

namespace {

template <class Key>
struct Keyed {
  Key key;
  std::uint32_t row;
};

// Sorting (key, row) pairs rather than row indexes keeps the comparisons in
// one contiguous array: several times faster on a million rows than going
// through the column for every comparison.
template <class Key, class KeyOf>
std::vector<std::uint32_t> SortByKey(const TableColumn& column, KeyOf keyOf, bool descending) {
  const auto n = static_cast<std::uint32_t>(column.size());
  std::vector<Keyed<Key>> present;
  present.reserve(n);
  std::vector<std::uint32_t> missing;
  for (std::uint32_t r = 0; r < n; ++r) {
    if (column.Missing(r)) missing.push_back(r);
    else present.push_back({keyOf(r), r});
  }
  if (descending)
    std::stable_sort(present.begin(), present.end(),
                     [](const Keyed<Key>& a, const Keyed<Key>& b) { return b.key < a.key; });
  else
    std::stable_sort(present.begin(), present.end(),
                     [](const Keyed<Key>& a, const Keyed<Key>& b) { return a.key < b.key; });
  std::vector<std::uint32_t> rows;
  rows.reserve(n);
  for (const Keyed<Key>& k : present) rows.push_back(k.row);
  rows.insert(rows.end(), missing.begin(), missing.end());
  return rows;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsFolded(std::string_view text, std::string_view folded) {
  return std::search(text.begin(), text.end(), folded.begin(), folded.end(),
                     [](char a, char b) { return Lower(a) == b; }) != text.end();
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString FromBytes(std::string_view text) { return QString::fromStdString(AsUtf8(text)); }

}  // namespace

std::vector<std::uint32_t> SortedRows(const TableColumn& column, bool descending) {
  switch (column.type()) {
    case ColumnType::kId:
    case ColumnType::kText:
      // string_view compares as unsigned bytes.
      return SortByKey<std::string_view>(
          column, [&](std::uint32_t r) { return column.Text(r); }, descending);
    case ColumnType::kReal:
      return SortByKey<double>(column, [&](std::uint32_t r) { return column.Real(r); },
                               descending);
    case ColumnType::kInteger:
    case ColumnType::kBoolean: break;
  }
  return SortByKey<std::int64_t>(column, [&](std::uint32_t r) { return column.Integer(r); },
                                 descending);
}

CellMatcher::CellMatcher(const QString& needle)
    : folded_(needle.toLower().toStdString()), needle_(needle), ascii_(IsAscii(folded_)) {}

bool CellMatcher::Matches(const TableColumn& column, std::size_t row) {
  if (column.Missing(row)) return folded_.empty();
  std::string_view text;
  switch (column.type()) {
    case ColumnType::kId:
    case ColumnType::kText: text = column.Text(row); break;
    case ColumnType::kBoolean: text = column.Integer(row) != 0 ? "true" : "false"; break;
    case ColumnType::kInteger: {
      char digits[24];
      const auto end = std::to_chars(digits, digits + sizeof digits, column.Integer(row)).ptr;
      scratch_.assign(digits, end);
      text = scratch_;
      break;
    }
    case ColumnType::kReal:
      scratch_.clear();
      AppendReal(scratch_, column.Real(row));
      text = scratch_;
      break;
  }
  if (!ascii_ && !IsAscii(text)) return FromBytes(text).contains(needle_, Qt::CaseInsensitive);
  return ContainsFolded(text, folded_);
}

CTableModel::CTableModel(const CMS& store, std::size_t index, QObject* parent)
    : QAbstractTableModel(parent), store_(store), index_(index), generation_(store.Generation()) {
  if (index < store.tables().tables().size()) {
    const ResultTable* t = &store.tables().tables()[index];
    columns_ = static_cast<int>(t->columns().size());
    sorted_.resize(t->rows());
    std::iota(sorted_.begin(), sorted_.end(), 0u);
    shown_ = sorted_;
  }
}

const ResultTable* CTableModel::table() const {
  if (store_.Generation() != generation_) return nullptr;
  const auto& tables = store_.tables().tables();
  if (index_ >= tables.size()) return nullptr;
  const ResultTable& t = tables[index_];
  // A table replaced under the same report is not the one the rows are of.
  if (t.rows() != sorted_.size() || static_cast<int>(t.columns().size()) != columns_)
    return nullptr;
  return &t;
}

int CTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int CTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

std::string CTableModel::CellString(int row, int column) const {
  const ResultTable* t = table();
  if (t == nullptr || row < 0 || row >= rowCount() || column < 0 || column >= columns_) return {};
  return CellText(t->column(static_cast<std::size_t>(column)), SourceRow(row));
}

QVariant CTableModel::data(const QModelIndex& index, int role) const {
  const ResultTable* t = table();
  if (t == nullptr || !index.isValid() || index.row() >= rowCount()) return {};
  const TableColumn& column = t->column(static_cast<std::size_t>(index.column()));
  switch (role) {
    case Qt::DisplayRole: return FromBytes(CellText(column, SourceRow(index.row())));
    case Qt::TextAlignmentRole: {
      const bool number =
          column.type() == ColumnType::kInteger || column.type() == ColumnType::kReal;
      return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default: return {};
  }
}

QVariant CTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  const ResultTable* t = table();
  if (t == nullptr || section < 0) return {};
  if (orientation == Qt::Vertical) {
    if (role != Qt::DisplayRole || section >= rowCount()) return {};
    return QString::number(SourceRow(section) + 1);
  }
  if (section >= columns_) return {};
  const TableColumn& column = t->column(static_cast<std::size_t>(section));
  if (role == Qt::DisplayRole) return FromBytes(column.name());
  if (role != Qt::ToolTipRole) return {};
  QString tip = FromBytes(column.name()) + QStringLiteral(": ") +
                FromBytes(ColumnTypeName(column.type()));
  if (!column.unit().empty()) tip += QStringLiteral(", in ") + FromBytes(column.unit());
  return tip;
}

void CTableModel::sort(int column, Qt::SortOrder order) {
  if (column >= columns_) return;
  beginResetModel();
  sortColumn_ = column;
  sortOrder_ = order;
  Reorder();
  Refilter();
  endResetModel();
}

void CTableModel::SetFilter(const QString& text) {
  beginResetModel();
  filter_ = text;
  matches_.clear();
  const ResultTable* t = table();
  if (!text.isEmpty() && t != nullptr) {
    CellMatcher matcher(text);
    matches_.assign(t->rows(), 0);
    for (std::size_t r = 0; r < t->rows(); ++r)
      for (const TableColumn& c : t->columns())
        if (matcher.Matches(c, r)) {
          matches_[r] = 1;
          break;
        }
  }
  Refilter();
  endResetModel();
}

void CTableModel::Reorder() {
  const ResultTable* t = table();
  if (t == nullptr) return;
  if (sortColumn_ < 0) {
    std::iota(sorted_.begin(), sorted_.end(), 0u);
    return;
  }
  sorted_ = SortedRows(t->column(static_cast<std::size_t>(sortColumn_)),
                       sortOrder_ == Qt::DescendingOrder);
}

void CTableModel::Refilter() {
  if (matches_.empty()) {
    shown_ = sorted_;
    return;
  }
  shown_.clear();
  for (std::uint32_t r : sorted_)
    if (matches_[r] != 0) shown_.push_back(r);
}

QString CopyText(const CTableModel& model, const QItemSelection& selection) {
  if (selection.isEmpty()) return {};
  int top = model.rowCount(), bottom = -1, left = model.columnCount(), right = -1;
  for (const QItemSelectionRange& range : selection) {
    top = std::min(top, range.top());
    bottom = std::max(bottom, range.bottom());
    left = std::min(left, range.left());
    right = std::max(right, range.right());
  }
  if (bottom < top || right < left) return {};
  const auto selected = [&](int row, int column) {
    return std::any_of(selection.begin(), selection.end(), [&](const QItemSelectionRange& r) {
      return r.top() <= row && row <= r.bottom() && r.left() <= column && column <= r.right();
    });
  };
  const auto whole = [&](int column) {
    return std::any_of(selection.begin(), selection.end(), [&](const QItemSelectionRange& r) {
      return r.left() <= column && column <= r.right() && r.top() == 0 &&
             r.bottom() == model.rowCount() - 1;
    });
  };
  const auto touched = [&](int column) {
    return std::any_of(selection.begin(), selection.end(), [&](const QItemSelectionRange& r) {
      return r.left() <= column && column <= r.right();
    });
  };
  bool header = true;
  for (int c = left; c <= right; ++c)
    if (touched(c) && !whole(c)) header = false;

  std::string out;
  const auto addLine = [&](auto cellOf) {
    for (int c = left; c <= right; ++c) {
      if (c != left) out.push_back('\t');
      std::string cell = cellOf(c);
      std::replace_if(cell.begin(), cell.end(),
                      [](char ch) { return ch == '\t' || ch == '\n' || ch == '\r'; }, ' ');
      out += cell;
    }
    out.push_back('\n');
  };
  const ResultTable* t = model.table();
  if (header && t != nullptr)
    addLine([&](int c) { return whole(c) ? t->column(static_cast<std::size_t>(c)).name() : ""; });
  for (int r = top; r <= bottom; ++r)
    addLine([&](int c) { return selected(r, c) ? model.CellString(r, c) : std::string(); });
  return FromBytes(out);
}

}  // namespace kinvar::gui
