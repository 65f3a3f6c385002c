#include "gui/parentage_window.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analyses/parentage_report.h"
#include "app/document.h"
#include "analyses/command_ids.h"
#include "gui/main_window.h"
#include "report/result_table.h"

namespace kinvar::gui {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string TextAt(const ResultTable& t, const char* column, std::size_t row) {
  const TableColumn* c = t.Find(column);
  return c == nullptr || c->Missing(row) ? std::string() : std::string(c->Text(row));
}

double RealAt(const ResultTable& t, const char* column, std::size_t row) {
  const TableColumn* c = t.Find(column);
  return c == nullptr || c->Missing(row) ? kNaN : c->Real(row);
}

// Four decimals, as the report writes a rate; "-" without one.
QString RateText(double rate) { return std::isnan(rate) ? QStringLiteral("-") : QString::number(rate, 'f', 4); }

QTableWidgetItem* Cell(const QString& text, bool number = false) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return item;
}

void Fill(QTableWidget& table, const std::vector<FlaggedParent>& rows) {
  table.setRowCount(static_cast<int>(rows.size()));
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const FlaggedParent& f = rows[k];
    const int r = static_cast<int>(k);
    const bool unknown = f.recorded.empty();
    table.setItem(r, 0, Cell(QString::fromStdString(f.animal)));
    table.setItem(r, 1, Cell(QString::fromStdString(f.role)));
    table.setItem(r, 2, Cell(QString::fromStdString(f.verdict)));
    table.setItem(r, 3, Cell(unknown ? QStringLiteral("unknown") : QString::fromStdString(f.recorded)));
    table.setItem(r, 4, Cell(unknown ? QString() : RateText(f.rate), true));
    table.setItem(r, 5, Cell(f.best.empty() ? QStringLiteral("none") : QString::fromStdString(f.best)));
    table.setItem(r, 6, Cell(f.best.empty() ? QString() : RateText(f.bestRate), true));
    table.setItem(r, 7, Cell(std::isnan(f.runnerUpRate) ? QString() : RateText(f.runnerUpRate), true));
  }
}

QString Heading(const std::vector<FlaggedParent>& rows) {
  std::size_t excluded = 0;
  for (const FlaggedParent& f : rows) excluded += f.verdict == "excluded" ? 1 : 0;
  return QStringLiteral("Recorded parents excluded by the SNPs: %1. Unknown parents of genotyped animals: %2.\n"
                        "Double-click an animal, or choose it and Pedigree Chart, to see its pedigree.")
      .arg(excluded)
      .arg(rows.size() - excluded);
}

}  // namespace

std::vector<FlaggedParent> FlaggedParents(const ResultSet& parentage) {
  std::vector<FlaggedParent> rows;
  const ResultTable* t = parentage.Find("parentage");
  if (t == nullptr) return rows;
  for (std::size_t r = 0; r < t->rows(); ++r) {
    const std::string verdict = TextAt(*t, "verdict", r);
    if (verdict != "excluded" && verdict != "unknown") continue;
    rows.push_back({TextAt(*t, "id", r), TextAt(*t, "parent", r), verdict, TextAt(*t, "recorded", r),
                    RealAt(*t, "rate", r), TextAt(*t, "best", r), RealAt(*t, "best_rate", r),
                    RealAt(*t, "runner_up_rate", r)});
  }
  return rows;
}

ParentageWindow::ParentageWindow(std::vector<FlaggedParent> rows, std::function<void(const std::string&)> openChart,
                                 QWidget* parent)
    : QDialog(parent, Qt::Window),
      rows_(std::move(rows)),
      openChart_(std::move(openChart)),
      table_(new QTableWidget(0, 8, this)),
      chart_(new QPushButton(tr("Pedigree &Chart"), this)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(tr("Parentage: flagged parents"));
  table_->setHorizontalHeaderLabels({tr("Animal"), tr("Parent"), tr("Verdict"), tr("Recorded"), tr("Rate"),
                                     tr("Likeliest"), tr("Its rate"), tr("Runner-up's rate")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->setVisible(false);
  Fill(*table_, rows_);
  table_->resizeColumnsToContents();
  // Room between the columns: an ID beside a verdict reads as one word.
  for (int c = 0; c < table_->columnCount(); ++c) table_->setColumnWidth(c, table_->columnWidth(c) + 18);
  if (!rows_.empty()) table_->selectRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->addButton(chart_, QDialogButtonBox::ActionRole);
  chart_->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  connect(chart_, &QPushButton::clicked, this, &ParentageWindow::OpenChart);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    table_->selectRow(row);
    OpenChart();
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Heading(rows_), this));
  layout->addWidget(table_);
  layout->addWidget(buttons);
  int width = 2 * table_->frameWidth() + layout->contentsMargins().left() + layout->contentsMargins().right();
  for (int c = 0; c < table_->columnCount(); ++c) width += table_->columnWidth(c);
  resize(std::max(width + 4, 560), 420);
}

std::string ParentageWindow::CurrentAnimal() const {
  const int row = table_->currentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return {};
  return rows_[static_cast<std::size_t>(row)].animal;
}

void ParentageWindow::OpenChart() {
  const std::string animal = CurrentAnimal();
  if (!animal.empty() && openChart_) openChart_(animal);
}

ParentageWindow* ShowParentageWindow(MainWindow& frame, Document& doc) {
  if (doc.lastCommand() != kCmdParentage) return nullptr;
  std::vector<FlaggedParent> rows = FlaggedParents(doc.pedigree().report.tables());
  if (rows.empty()) {
    frame.statusBar()->showMessage(QObject::tr("Parentage: every recorded parent tested is confirmed, "
                                               "and no genotyped animal has an unknown parent."));
    return nullptr;
  }
  QPointer<MainWindow> owner(&frame);
  auto* window = new ParentageWindow(std::move(rows), [owner](const std::string& id) {
    if (owner) owner->ShowPedigreeChartOf(id);
  }, &frame);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace kinvar::gui
