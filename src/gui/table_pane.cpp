#include "gui/table_pane.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

#include "gui/table_model.h"
#include "report/report_store.h"

namespace kinvar::gui {

CTablePane::CTablePane(const CMS& store, std::size_t index, QWidget* parent)
    : QWidget(parent),
      model_(new CTableModel(store, index, this)),
      filter_(new QLineEdit(this)),
      view_(new QTableView(this)) {
  filter_->setPlaceholderText(tr("Filter: rows where a cell holds this text"));
  filter_->setClearButtonEnabled(true);
  view_->setModel(model_);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  // Rows of one height: the view then never measures a million rows.
  QHeaderView* rows = view_->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  QHeaderView* columns = view_->horizontalHeader();
  columns->setSortIndicator(-1, Qt::AscendingOrder);
  columns->setSortIndicatorShown(true);
  columns->setSectionsClickable(true);
  // Opens in the file's order; a click on a header sorts.
  view_->setSortingEnabled(true);
  view_->resizeColumnsToContents();
  for (int c = 0; c < model_->columnCount(); ++c)
    view_->setColumnWidth(c, std::max(view_->columnWidth(c), 72));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->setSpacing(4);
  layout->addWidget(filter_);
  layout->addWidget(view_, 1);

  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_->SetFilter(text);
    QApplication::restoreOverrideCursor();
    emit selectionChanged();
  });
  view_->installEventFilter(this);
  connect(view_, &QTableView::doubleClicked, this, &CTablePane::OnDoubleClicked);
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit selectionChanged(); });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { emit selectionChanged(); });
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (contextMenu_ != nullptr) contextMenu_->popup(view_->viewport()->mapToGlobal(at));
  });
}

// The view's own Copy copies one cell; the table's copies the selection.
bool CTablePane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    Copy();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool CTablePane::HasSelection() const { return view_->selectionModel()->hasSelection(); }

void CTablePane::Copy() {
  const QString text = CopyText(*model_, view_->selectionModel()->selection());
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void CTablePane::SelectAll() { view_->selectAll(); }

void CTablePane::FocusFilter() {
  filter_->setFocus(Qt::ShortcutFocusReason);
  filter_->selectAll();
}

void CTablePane::OnDoubleClicked(const QModelIndex& index) {
  const ResultTable* table = model_->table();
  if (table == nullptr || !index.isValid()) return;
  if (table->column(static_cast<std::size_t>(index.column())).type() != ColumnType::kId) return;
  const std::string id = model_->CellString(index.row(), index.column());
  if (!id.empty()) emit individualActivated(QByteArray::fromStdString(id));
}

}  // namespace kinvar::gui
