#include "gui/table_pane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>

#include "gui/table_model.h"
#include "report/report_store.h"

namespace kinvar::gui {

TablePane::TablePane(const ReportStore& store, std::size_t index, QWidget* parent)
    : QWidget(parent),
      model_(new TableModel(store, index, this)),
      filter_(new QLineEdit(this)),
      numbers_(new QLineEdit(this)),
      numberError_(new QLabel(this)),
      view_(new QTableView(this)),
      copyLocale_(new QAction(this)) {
  filter_->setPlaceholderText(tr("Filter: rows where a cell holds this text"));
  filter_->setClearButtonEnabled(true);
  numbers_->setPlaceholderText(tr("Numbers: f > 0.1, group = 2021, f 0.1..0.2"));
  numbers_->setToolTip(
      tr("Conditions on columns of numbers, joined by \"and\": COLUMN OP NUMBER with OP one "
         "of < <= > >= = !=, or a range COLUMN LOW..HIGH or LOW <= COLUMN <= HIGH. A column "
         "is named by its header or by the name in its tooltip."));
  numbers_->setClearButtonEnabled(true);
  numberError_->setStyleSheet(QStringLiteral("color: #b00020"));
  numberError_->setWordWrap(true);
  numberError_->hide();
  copyLocale_->setText(tr("Copy with Decimal Separator \"%1\"").arg(QLocale().decimalPoint()));
  copyLocale_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  copyLocale_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(copyLocale_);
  connect(copyLocale_, &QAction::triggered, this, &TablePane::CopyForLocale);
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
  auto* filters = new QHBoxLayout;
  filters->setSpacing(4);
  filters->addWidget(filter_, 3);
  filters->addWidget(numbers_, 2);
  layout->addLayout(filters);
  layout->addWidget(numberError_);
  layout->addWidget(view_, 1);

  connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_->SetFilter(text);
    QApplication::restoreOverrideCursor();
    emit selectionChanged();
  });
  connect(numbers_, &QLineEdit::textChanged, this, [this](const QString& text) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString error = model_->SetNumberFilter(text);
    QApplication::restoreOverrideCursor();
    numberError_->setText(error);
    numberError_->setVisible(!error.isEmpty());
    emit selectionChanged();
  });
  view_->installEventFilter(this);
  connect(view_, &QTableView::doubleClicked, this, &TablePane::OnDoubleClicked);
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit selectionChanged(); });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { emit selectionChanged(); });
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (contextMenu_ == nullptr) return;
    // The window's menu for every table, with this table's own copy after it.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(contextMenu_->actions());
    // Whoever keeps the window's actions up to date hears of this one too.
    connect(menu, &QMenu::aboutToShow, contextMenu_, &QMenu::aboutToShow);
    menu->addAction(copyLocale_);
    copyLocale_->setEnabled(HasSelection());
    menu->popup(view_->viewport()->mapToGlobal(at));
  });
}

// The view's own Copy copies one cell; the table's copies the selection.
bool TablePane::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    Copy();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool TablePane::HasSelection() const { return view_->selectionModel()->hasSelection(); }

void TablePane::Copy() {
  const QString text = CopyText(*model_, view_->selectionModel()->selection());
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void TablePane::CopyForLocale() {
  const QString text =
      CopyText(*model_, view_->selectionModel()->selection(), QLocale().decimalPoint());
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void TablePane::SelectAll() { view_->selectAll(); }

void TablePane::FocusFilter() {
  filter_->setFocus(Qt::ShortcutFocusReason);
  filter_->selectAll();
}

void TablePane::OnDoubleClicked(const QModelIndex& index) {
  const ResultTable* table = model_->table();
  if (table == nullptr || !index.isValid()) return;
  if (table->column(static_cast<std::size_t>(index.column())).type() != ColumnType::kId) return;
  const std::string id = model_->CellString(index.row(), index.column());
  if (!id.empty()) emit individualActivated(QByteArray::fromStdString(id));
}

}  // namespace kinvar::gui
