#include "gui/file_viewer.h"

#include <QApplication>
#include <QColor>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QListView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <string>

#include "analyses/command_ids.h"
#include "app/document.h"
#include "pedigree/xlsx_reader.h"

namespace kinvar::gui {

std::int64_t FileLineNamedIn(std::string_view message) {
  for (std::size_t at = message.find("line"); at != std::string_view::npos; at = message.find("line", at + 1)) {
    // A word ending in "line" ("baseline 4") is no line number.
    if (at > 0 && message[at - 1] != ' ' && message[at - 1] != '(') continue;
    std::size_t i = at + 4;
    if (i < message.size() && message[i] == 's') ++i;
    if (i >= message.size() || message[i] != ' ') continue;
    const std::size_t digits = ++i;
    std::int64_t number = 0;
    for (; i < message.size() && message[i] >= '0' && message[i] <= '9' && number < (std::int64_t{1} << 40); ++i)
      number = number * 10 + (message[i] - '0');
    if (i > digits && number > 0) return number;
  }
  return 0;
}

void FileLinesModel::ReadText(const QString& path, QString& message) {
  beginResetModel();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    message = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
  } else {
    bytes_ = file.readAll();
  }
  // Cut as the pedigree reader cuts: LF, CR LF, or CR alone.
  const char* data = bytes_.constData();
  const auto n = static_cast<std::int64_t>(bytes_.size());
  std::int64_t start = 0;
  while (start < n) {
    const void* lf = std::memchr(data + start, '\n', static_cast<std::size_t>(n - start));
    const std::int64_t lfAt = lf ? static_cast<const char*>(lf) - data : n;
    const void* cr = std::memchr(data + start, '\r', static_cast<std::size_t>(lfAt - start));
    const std::int64_t end = cr ? static_cast<const char*>(cr) - data : lfAt;
    starts_.push_back(start);
    lengths_.push_back(static_cast<std::int32_t>(std::min<std::int64_t>(end - start, 1 << 30)));
    start = end + 1;
    if (cr && start < n && data[start] == '\n') ++start;
  }
  width_ = static_cast<int>(std::to_string(starts_.size()).size());
  endResetModel();
}

void FileLinesModel::ReadSheet(const QString& path, const QString& sheet, QString& message) {
  beginResetModel();
  QByteArray text;
  const SheetRead read = ReadWorkbookSheet(path.toStdString(), sheet.toStdString(), [&](const SheetRow& row) {
    const auto start = static_cast<std::int64_t>(text.size());
    for (std::size_t c = 0; c < row.cells.size(); ++c) {
      if (c > 0) text += " | ";
      text.append(row.cells[c].data(), static_cast<qsizetype>(row.cells[c].size()));
    }
    starts_.push_back(start);
    lengths_.push_back(static_cast<std::int32_t>(text.size() - start));
    numbers_.push_back(row.row);
    if (sheetName_.isEmpty()) sheetName_ = QString::fromUtf8(row.sheet.data(), static_cast<qsizetype>(row.sheet.size()));
    return true;
  });
  if (!read.ok) message = QString::fromStdString(read.message);
  bytes_ = std::move(text);
  width_ = static_cast<int>(std::to_string(numbers_.empty() ? 1 : numbers_.back()).size());
  endResetModel();
}

std::int64_t FileLinesModel::NumberOf(int row) const {
  return numbers_.empty() ? row + 1 : numbers_[static_cast<std::size_t>(row)];
}

int FileLinesModel::RowOf(std::int64_t number) const {
  if (numbers_.empty()) return number >= 1 && number <= rowCount() ? static_cast<int>(number - 1) : -1;
  const auto found = std::lower_bound(numbers_.begin(), numbers_.end(), number);
  return found != numbers_.end() && *found == number ? static_cast<int>(found - numbers_.begin()) : -1;
}

QString FileLinesModel::Text(int row) const {
  const auto k = static_cast<std::size_t>(row);
  return QString::fromUtf8(bytes_.constData() + starts_[k], lengths_[k]);
}

int FileLinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(starts_.size(), 0x7fffffff));
}

QVariant FileLinesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole)
    return QStringLiteral("%1  %2").arg(NumberOf(index.row()), width_).arg(Text(index.row()));
  if (role == Qt::BackgroundRole && index.row() == highlighted_) return QColor(255, 226, 122);
  return {};
}

FileViewer::FileViewer(const QString& path, const QString& sheet, std::int64_t line, QWidget* parent)
    : QDialog(parent), list_(new QListView(this)), where_(new QLabel(this)) {
  const QString name = QFileInfo(path).fileName();
  setWindowTitle(tr("%1 (read only)").arg(name));
  QString message;
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (PedigreeFileKindOf(path.toStdString()) == PedigreeFileKind::kWorkbook)
      lines_.ReadSheet(path, sheet, message);
    else
      lines_.ReadText(path, message);
    QApplication::restoreOverrideCursor();
  }
  const bool workbook = PedigreeFileKindOf(path.toStdString()) == PedigreeFileKind::kWorkbook;
  const int row = lines_.RowOf(line);
  lines_.SetHighlighted(row);
  const QString place = workbook ? tr("Row %1 of sheet %2 in %3").arg(line).arg(lines_.sheetName(), path)
                                 : tr("Line %1 of %2").arg(line).arg(path);
  where_->setText(!message.isEmpty() ? message : row < 0 ? place + tr(": the file has no such line now.") : place);
  where_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  list_->setModel(&lines_);
  // One height for every line: the list then never measures the lines out
  // of sight, however many the file has.
  list_->setUniformItemSizes(true);
  list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(where_);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  resize(760, 480);
  if (row >= 0) {
    const QModelIndex index = lines_.index(row);
    list_->setCurrentIndex(index);
    list_->scrollTo(index, QAbstractItemView::PositionAtCenter);
  }
}

FileViewer* ShowFileLineOfError(const Document& doc, int reportLine, QWidget* parent) {
  const ReportStore& report = doc.pedigree().report;
  if (doc.lastCommand() != kRejectedPedigree || doc.path().empty() || reportLine < 0 ||
      reportLine >= report.Count())
    return nullptr;
  const std::int64_t line = FileLineNamedIn(report.Line(reportLine));
  if (line == 0) return nullptr;
  auto* viewer = new FileViewer(QString::fromStdString(doc.path()), QString::fromStdString(doc.sheet()), line, parent);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->show();
  // Shown after its list is laid out, so the line is centred in sight.
  viewer->list()->scrollTo(viewer->list()->currentIndex(), QAbstractItemView::PositionAtCenter);
  return viewer;
}

}  // namespace kinvar::gui
