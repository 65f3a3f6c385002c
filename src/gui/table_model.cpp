#include "gui/table_model.h"

#include <QColor>
#include <QItemSelection>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <numeric>
#include <optional>

#include "pedigree/number_text.h"
#include "report/column_titles.h"
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

// A column without a title (none should be) shows its machine name.
std::string_view HeaderTitle(std::string_view table, std::string_view column) {
  const std::string_view title = ColumnTitle(table, column);
  return title.empty() ? column : title;
}

using Op = NumberCondition::Op;

QString Usage() {
  return QStringLiteral(
      "Write COLUMN OP NUMBER with OP one of < <= > >= = !=, or a range: COLUMN LOW..HIGH or "
      "LOW <= COLUMN <= HIGH.");
}

struct FoundOp {
  qsizetype at;
  qsizetype length;
  Op op;
};

// The comparison signs of `text`, left to right; "<=" is one sign, not two.
std::vector<FoundOp> Operators(const QString& text) {
  std::vector<FoundOp> found;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    const bool equalNext = i + 1 < text.size() && text[i + 1] == QLatin1Char('=');
    if (c == QLatin1Char('<')) found.push_back({i, equalNext ? 2 : 1, equalNext ? Op::kLessEqual : Op::kLess});
    else if (c == QLatin1Char('>'))
      found.push_back({i, equalNext ? 2 : 1, equalNext ? Op::kGreaterEqual : Op::kGreater});
    else if (c == QLatin1Char('!') && equalNext) found.push_back({i, 2, Op::kNotEqual});
    else if (c == QLatin1Char('=')) found.push_back({i, 1, Op::kEqual});
    else continue;
    i += found.back().length - 1;
  }
  return found;
}

// The sign read from the other side: 1 < f is f > 1.
Op Mirrored(Op op) {
  switch (op) {
    case Op::kLess: return Op::kGreater;
    case Op::kLessEqual: return Op::kGreaterEqual;
    case Op::kGreater: return Op::kLess;
    case Op::kGreaterEqual: return Op::kLessEqual;
    case Op::kEqual:
    case Op::kNotEqual: break;
  }
  return op;
}

// A decimal comma reads as a point, as a breeder in such a locale types it.
std::optional<double> NumberOf(QString text) {
  text = text.trimmed();
  if (!text.contains(QLatin1Char('.'))) text.replace(QLatin1Char(','), QLatin1Char('.'));
  return WholeNumber(text.toStdString());
}

bool IsNumberColumn(const TableColumn& c) {
  return c.type() == ColumnType::kInteger || c.type() == ColumnType::kReal ||
         c.type() == ColumnType::kBoolean;
}

// The column named `name` (machine name or title, any case), or the error.
std::optional<std::size_t> FindColumn(const ResultTable& table, QString name, QString& error) {
  name = name.trimmed();
  for (std::size_t i = 0; i < table.columns().size(); ++i) {
    const TableColumn& c = table.column(i);
    const QString machine = FromBytes(c.name());
    const QString title = FromBytes(ColumnTitle(table.name(), c.name()));
    if (name.compare(machine, Qt::CaseInsensitive) != 0 &&
        (title.isEmpty() || name.compare(title, Qt::CaseInsensitive) != 0))
      continue;
    if (IsNumberColumn(c)) return i;
    error = QStringLiteral("\"%1\" is not a column of numbers.").arg(name);
    return std::nullopt;
  }
  error = name.isEmpty() ? Usage() : QStringLiteral("No column is called \"%1\".").arg(name);
  return std::nullopt;
}

std::optional<double> ValueOf(const QString& text, QString& error) {
  const auto value = NumberOf(text);
  if (!value) error = text.trimmed().isEmpty() ? Usage() : QStringLiteral("\"%1\" is not a number.").arg(text.trimmed());
  return value;
}

// COLUMN LOW..HIGH: the column's name may hold blanks, the range none.
bool ParseRange(const ResultTable& table, const QString& clause, NumberFilter& out) {
  const qsizetype dots = clause.indexOf(QStringLiteral(".."));
  const QString left = clause.left(dots).trimmed();
  const qsizetype blank = left.lastIndexOf(QLatin1Char(' '));
  if (dots < 0 || blank < 0) {
    out.error = Usage();
    return false;
  }
  const auto column = FindColumn(table, left.left(blank), out.error);
  if (!column) return false;
  const auto low = ValueOf(left.mid(blank + 1), out.error);
  if (!low) return false;
  const auto high = ValueOf(clause.mid(dots + 2), out.error);
  if (!high) return false;
  out.conditions.push_back({*column, Op::kGreaterEqual, *low});
  out.conditions.push_back({*column, Op::kLessEqual, *high});
  return true;
}

// COLUMN OP NUMBER, or NUMBER OP COLUMN.
bool ParseComparison(const ResultTable& table, const QString& clause, const FoundOp& sign,
                     NumberFilter& out) {
  QString left = clause.left(sign.at), right = clause.mid(sign.at + sign.length);
  Op op = sign.op;
  if (NumberOf(left) && !NumberOf(right)) {
    std::swap(left, right);
    op = Mirrored(op);
  }
  const auto column = FindColumn(table, left, out.error);
  if (!column) return false;
  const auto value = ValueOf(right, out.error);
  if (!value) return false;
  out.conditions.push_back({*column, op, *value});
  return true;
}

// LOW < COLUMN <= HIGH, or the same with > signs.
bool ParseBetween(const ResultTable& table, const QString& clause, const FoundOp& first,
                  const FoundOp& second, NumberFilter& out) {
  const auto upward = [](Op op) { return op == Op::kLess || op == Op::kLessEqual; };
  const auto downward = [](Op op) { return op == Op::kGreater || op == Op::kGreaterEqual; };
  if (!(upward(first.op) && upward(second.op)) && !(downward(first.op) && downward(second.op))) {
    out.error = Usage();
    return false;
  }
  const auto low = ValueOf(clause.left(first.at), out.error);
  if (!low) return false;
  const auto column =
      FindColumn(table, clause.mid(first.at + first.length, second.at - first.at - first.length), out.error);
  if (!column) return false;
  const auto high = ValueOf(clause.mid(second.at + second.length), out.error);
  if (!high) return false;
  out.conditions.push_back({*column, Mirrored(first.op), *low});
  out.conditions.push_back({*column, second.op, *high});
  return true;
}

bool ParseClause(const ResultTable& table, const QString& clause, NumberFilter& out) {
  const std::vector<FoundOp> signs = Operators(clause);
  if (signs.empty()) return ParseRange(table, clause, out);
  if (signs.size() == 1) return ParseComparison(table, clause, signs[0], out);
  if (signs.size() == 2) return ParseBetween(table, clause, signs[0], signs[1], out);
  out.error = Usage();
  return false;
}

}  // namespace

bool NumberCondition::Holds(const TableColumn& c, std::size_t row) const {
  if (c.Missing(row)) return false;
  const double x = c.type() == ColumnType::kReal ? c.Real(row) : static_cast<double>(c.Integer(row));
  switch (op) {
    case Op::kLess: return x < value;
    case Op::kLessEqual: return x <= value;
    case Op::kGreater: return x > value;
    case Op::kGreaterEqual: return x >= value;
    case Op::kEqual: return x == value;
    case Op::kNotEqual: return x != value;
  }
  return false;
}

NumberFilter ParseNumberFilter(const ResultTable& table, const QString& text) {
  const QRegularExpression join(QStringLiteral("\\s+and\\s+|;"),
                                QRegularExpression::CaseInsensitiveOption);
  NumberFilter out;
  for (const QString& clause : text.split(join, Qt::SkipEmptyParts)) {
    if (clause.trimmed().isEmpty()) continue;
    if (!ParseClause(table, clause, out)) {
      out.conditions.clear();
      return out;
    }
  }
  return out;
}

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
    // What the view shows, so the filter finds what the eye sees.
    case ColumnType::kBoolean: text = BooleanWord(column.Integer(row) != 0); break;
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

TableModel::TableModel(const ReportStore& store, std::size_t index, QObject* parent)
    : QAbstractTableModel(parent), store_(store), index_(index), generation_(store.Generation()) {
  if (index < store.tables().tables().size()) {
    const ResultTable* t = &store.tables().tables()[index];
    columns_ = static_cast<int>(t->columns().size());
    sorted_.resize(t->rows());
    std::iota(sorted_.begin(), sorted_.end(), 0u);
    shown_ = sorted_;
  }
}

const ResultTable* TableModel::table() const {
  if (store_.Generation() != generation_) return nullptr;
  const auto& tables = store_.tables().tables();
  if (index_ >= tables.size()) return nullptr;
  const ResultTable& t = tables[index_];
  // A table replaced under the same report is not the one the rows are of.
  if (t.rows() != sorted_.size() || static_cast<int>(t.columns().size()) != columns_)
    return nullptr;
  return &t;
}

int TableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int TableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

std::string TableModel::CellString(int row, int column) const {
  const ResultTable* t = table();
  if (t == nullptr || row < 0 || row >= rowCount() || column < 0 || column >= columns_) return {};
  return CellText(t->column(static_cast<std::size_t>(column)), SourceRow(row));
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  const ResultTable* t = table();
  if (t == nullptr || !index.isValid() || index.row() >= rowCount()) return {};
  const TableColumn& column = t->column(static_cast<std::size_t>(index.column()));
  switch (role) {
    case Qt::DisplayRole: {
      const std::uint32_t row = SourceRow(index.row());
      if (column.type() == ColumnType::kBoolean && !column.Missing(row))
        return FromBytes(BooleanWord(column.Integer(row) != 0));
      return FromBytes(CellText(column, row));
    }
    case Qt::TextAlignmentRole: {
      const bool number =
          column.type() == ColumnType::kInteger || column.type() == ColumnType::kReal;
      return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    case Qt::ForegroundRole: {
      // A pair whose offspring would be more inbred than the user allows is
      // listed, but greyed: it is not one to choose.
      const TableColumn* above = t->Find("above_max_f");
      const std::uint32_t row = SourceRow(index.row());
      if (above != nullptr && above->type() == ColumnType::kBoolean && !above->Missing(row) &&
          above->Integer(row) != 0)
        return QColor(Qt::gray);
      return {};
    }
    default: return {};
  }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  const ResultTable* t = table();
  if (t == nullptr || section < 0) return {};
  if (orientation == Qt::Vertical) {
    if (role != Qt::DisplayRole || section >= rowCount()) return {};
    return QString::number(SourceRow(section) + 1);
  }
  if (section >= columns_) return {};
  const TableColumn& column = t->column(static_cast<std::size_t>(section));
  if (role == Qt::DisplayRole) return FromBytes(HeaderTitle(t->name(), column.name()));
  if (role != Qt::ToolTipRole) return {};
  QString tip = FromBytes(column.name()) + QStringLiteral(": ") +
                FromBytes(ColumnTypeName(column.type()));
  if (!column.unit().empty()) tip += QStringLiteral(", in ") + FromBytes(column.unit());
  return tip;
}

void TableModel::sort(int column, Qt::SortOrder order) {
  if (column >= columns_) return;
  beginResetModel();
  sortColumn_ = column;
  sortOrder_ = order;
  Reorder();
  Refilter();
  endResetModel();
}

void TableModel::SetFilter(const QString& text) {
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

QString TableModel::SetNumberFilter(const QString& text) {
  beginResetModel();
  numberText_ = text;
  numbers_.clear();
  QString error;
  if (const ResultTable* t = table(); t != nullptr && !text.trimmed().isEmpty()) {
    const NumberFilter filter = ParseNumberFilter(*t, text);
    error = filter.error;
    if (error.isEmpty() && !filter.conditions.empty()) {
      numbers_.assign(t->rows(), 1);
      for (std::size_t r = 0; r < t->rows(); ++r)
        for (const NumberCondition& c : filter.conditions)
          if (!c.Holds(t->column(c.column), r)) {
            numbers_[r] = 0;
            break;
          }
    }
  }
  Refilter();
  endResetModel();
  return error;
}

void TableModel::Reorder() {
  const ResultTable* t = table();
  if (t == nullptr) return;
  if (sortColumn_ < 0) {
    std::iota(sorted_.begin(), sorted_.end(), 0u);
    return;
  }
  sorted_ = SortedRows(t->column(static_cast<std::size_t>(sortColumn_)),
                       sortOrder_ == Qt::DescendingOrder);
}

void TableModel::Refilter() {
  if (matches_.empty() && numbers_.empty()) {
    shown_ = sorted_;
    return;
  }
  shown_.clear();
  for (std::uint32_t r : sorted_)
    if ((matches_.empty() || matches_[r] != 0) && (numbers_.empty() || numbers_[r] != 0))
      shown_.push_back(r);
}

ResultTable ShownTable(const TableModel& model) {
  const ResultTable* t = model.table();
  if (t == nullptr) return ResultTable(std::string());
  ResultTable out(t->name());
  for (const TableColumn& c : t->columns()) out.AddColumn(c.name(), c.type(), c.unit());
  out.Reserve(static_cast<std::size_t>(model.rowCount()));
  for (int r = 0; r < model.rowCount(); ++r) {
    const std::uint32_t source = model.SourceRow(r);
    TableRow row = out.AddRow();
    for (const TableColumn& c : t->columns()) {
      if (c.Missing(source)) row.Missing();
      else if (c.IsText()) c.type() == ColumnType::kId ? row.Id(c.Text(source)) : row.Text(c.Text(source));
      else if (c.type() == ColumnType::kReal) row.Real(c.Real(source));
      else if (c.type() == ColumnType::kBoolean) row.Boolean(c.Integer(source) != 0);
      else row.Integer(c.Integer(source));
    }
  }
  return out;
}

QString CopyText(const TableModel& model, const QItemSelection& selection,
                 const QString& decimal) {
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
  const std::string point = decimal.toStdString();
  const auto cellOf = [&](int r, int c) {
    if (!selected(r, c)) return std::string();
    std::string cell = model.CellString(r, c);
    if (point != "." && t != nullptr && t->column(static_cast<std::size_t>(c)).type() == ColumnType::kReal)
      if (const std::size_t at = cell.find('.'); at != std::string::npos) cell.replace(at, 1, point);
    return cell;
  };
  for (int r = top; r <= bottom; ++r) addLine([&](int c) { return cellOf(r, c); });
  return FromBytes(out);
}

}  // namespace kinvar::gui
