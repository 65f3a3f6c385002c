// The main window's table tabs: making them for the report on screen, the
// export of the tables, and the commands offered for an individual of a
// table.
#include <algorithm>

#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>

#include "analyses/path_counting.h"
#include "app/commands.h"
#include "app/document.h"
#include "app/table_export.h"
#include "gui/report_view.h"
#include "gui/main_window.h"
#include "gui/start_page.h"
#include "gui/qt_platform.h"
#include "gui/table_model.h"
#include "gui/table_pane.h"

namespace kinvar::gui {

namespace {

// A menu or tab text shows a '&' only doubled.
QString Literal(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

std::optional<TableFormat> FormatOfName(const QString& path) {
  return ParseTableFormat(QFileInfo(path).suffix().toLower().toStdString());
}

struct IndividualCommand {
  std::int32_t id;
  const char* text;
  const char* box = nullptr;  // the form's box that takes the ID, where a form asks
};

// The commands that ask for one individual, in the menus' order.
constexpr IndividualCommand kIndividualCommands[] = {
    {kCmdInbreedingOfIndividual, "Inbreeding coefficient of %1"},
    {kCmdBetweenTwoIndividuals, "Relationship of %1 with..."},
    {kCmdPathCountingIndividual, "Path counting for %1"},
    {kCmdDecompositionIndividual, "Ancestral decomposition of %1"},
    {kCmdExtractAncestorsIndividual, "Extract ancestors of %1..."},
    {kCmdExtractDescendantsIndividual, "Extract descendants of %1..."},
    {kCmdViewPedigreeChart, "Pedigree chart of %1"},
    {kCmdDrawAncestorsIndividual, "Drawing of the ancestors of %1..."},
    {kCmdDrawDescendantsIndividual, "Drawing of the descendants of %1..."},
    {kCmdPlannedMating, "Planned mating of %1 as sire...", "sire"},
    {kCmdPlannedMating, "Planned mating of %1 as dam...", "dam"},
};

// The tables as their tabs show them, sorted and filtered there; nothing
// when every tab shows its table as it is (the store's tables are then
// written without a copy).
std::optional<ResultSet> ShownTables(const std::vector<TablePane*>& panes, const ResultSet& tables) {
  const auto rearranged = [](const TablePane* p) {
    return p->model().table() != nullptr && p->model().Rearranged();
  };
  if (std::none_of(panes.begin(), panes.end(), rearranged)) return std::nullopt;
  ResultSet shown;
  for (std::size_t i = 0; i < tables.tables().size(); ++i) {
    const bool mine = i < panes.size() && rearranged(panes[i]) &&
                      panes[i]->model().table() == &tables.tables()[i];
    shown.Add(mine ? ShownTable(panes[i]->model()) : tables.tables()[i]);
  }
  return shown;
}

}  // namespace

TablePane* MainWindow::CurrentTablePane() const {
  return qobject_cast<TablePane*>(tabs_->currentWidget());
}

QMenu* MainWindow::individualMenu() const { return individualMenu_; }

QWidget* MainWindow::FocusHome() const {
  if (StartPageShown()) return startPage_;
  if (const TablePane* pane = CurrentTablePane()) return pane->view();
  return view_;
}

void MainWindow::RebuildTableTabs() {
  const ReportStore& store = doc_.pedigree().report;
  const std::size_t count = store.tables().tables().size();
  const bool current = std::all_of(panes_.begin(), panes_.end(),
                                   [](const TablePane* p) { return p->model().table(); });
  if (store.Generation() == tablesGeneration_ && count == tablesShown_ && current) return;
  // A new report opens on its text, whichever tab was on top before.
  tabs_->setCurrentIndex(0);
  for (TablePane* pane : panes_) {
    tabs_->removeTab(tabs_->indexOf(pane));
    pane->deleteLater();
  }
  panes_.clear();
  for (std::size_t i = 0; i < count; ++i) {
    auto* pane = new TablePane(store, i);
    pane->SetContextMenu(tableMenu_);
    connect(pane, &TablePane::individualActivated, this,
            [this](const QByteArray& id) { ShowIndividualMenu(id); });
    connect(pane, &TablePane::selectionChanged, this, &MainWindow::UpdateActions);
    const std::string& name = store.tables().tables()[i].name();
    tabs_->addTab(pane, Literal(QString::fromStdString(AsUtf8(name))));
    panes_.push_back(pane);
  }
  tablesGeneration_ = store.Generation();
  tablesShown_ = count;
}

void MainWindow::OnExport() {
  const ReportStore& store = doc_.pedigree().report;
  // The filters' order is the formats' order of preference.
  FileRequest request{false,
                      {{"CSV (*.csv)", "*.csv"},
                       {"Excel workbook (*.xlsx)", "*.xlsx"},
                       {"TSV (*.tsv)", "*.tsv"},
                       {"JSON (*.json)", "*.json"}},
                      "csv",
                      "Export"};
  const auto chosen = platform_.AskFileName(request);
  if (!chosen) return;
  const QString path = QString::fromStdString(*chosen);
  const auto format = FormatOfName(path);
  if (!format || *format == TableFormat::kText) {
    platform_.ShowMessage("Cannot tell the format of " + *chosen +
                              ".\nChoose a name ending in .csv, .xlsx, .tsv or .json.",
                          MessageIcon::kError);
    return;
  }
  // Path counting's report stops where the store is full, and its tables
  // with it; the export holds every path, as its Save As does.
  const ResultTable* paths = store.tables().Find("paths");
  const std::size_t before = paths != nullptr ? paths->rows() : 0;
  CommandContext ctx = doc_.Context();
  const bool complete = CompletePathCountingTables(ctx);
  paths = store.tables().Find("paths");
  if (!complete || (paths != nullptr && paths->rows() != before)) platform_.RefreshViews();
  if (!complete) return;  // cancelled: the report says so
  if (!NeedsFolder(store.tables(), *format)) {
    ExportTo(path, *format);
    return;
  }
  // Several tables do not fit one CSV or TSV file: the file named gets the
  // table on top, or all of them go into a folder the user names.
  const TablePane* pane = CurrentTablePane();
  const auto on = std::find(panes_.begin(), panes_.end(), pane);
  const std::size_t shown = on == panes_.end() ? 0 : static_cast<std::size_t>(on - panes_.begin());
  const std::string name = store.tables().tables()[shown].name();
  const int choice = platform_.ChooseSaveOption("Export the table \"" + AsUtf8(name) + "\" to " +
                                                    QFileInfo(path).fileName().toStdString(),
                                                "Export all tables to a folder...");
  if (choice == 1) {
    ExportTable(path, *format, shown);
    return;
  }
  if (choice != 2) return;
  FileRequest folder{false, {}, "", "Export all tables to a folder", true, *chosen};
  if (const auto target = platform_.AskFileName(folder)) ExportTo(QString::fromStdString(*target), *format);
}

// Both write the tables as their tabs show them, sorted and filtered.
bool MainWindow::ExportTable(const QString& target, TableFormat format, std::size_t index) {
  const ResultSet& all = doc_.pedigree().report.tables();
  const std::optional<ResultSet> shown = ShownTables(panes_, all);
  ResultSet one;
  one.Add((shown ? *shown : all).tables()[index]);
  return ExportSet(one, target, format);
}

bool MainWindow::ExportTo(const QString& target, TableFormat format) {
  const ResultSet& all = doc_.pedigree().report.tables();
  const std::optional<ResultSet> shown = ShownTables(panes_, all);
  return ExportSet(shown ? *shown : all, target, format);
}

bool MainWindow::ExportSet(const ResultSet& tables, const QString& target, TableFormat format) {
  TableExport how{format, std::string(TablesCommandName(doc_.lastCommand())), doc_.path()};
  // A read-only file is replaced only when the user says so.
  for (const std::string& file : ExportFiles(tables, format, target.toStdString())) {
    if (!IsReadOnlyFile(file)) continue;
    if (!platform_.ConfirmReplacingReadOnly(file)) {
      platform_.ShowStatus("Not exported: " + file + " is read-only.");
      return false;
    }
    how.readOnly = ReadOnly::kReplace;
  }
  std::string error;
  if (ExportTables(tables, how, target.toStdString(), error)) {
    doc_.NoteReportSaved();
    platform_.ShowStatus(ExportedStatus(tables, format, target.toStdString()));
    return true;
  }
  std::string reason = error;
  std::replace(reason.begin(), reason.end(), '\n', ' ');
  platform_.ShowStatus("Not exported: " + reason);
  platform_.ShowMessage(error, MessageIcon::kError);
  return false;
}

QMenu* MainWindow::ShowIndividualMenu(const QByteArray& id) {
  std::string typed = id.toStdString();
  if (FindTypedId(doc_.pedigree(), typed) == kUnknownParent) return nullptr;
  if (individualMenu_) individualMenu_->close();
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const QString shown = Literal(QString::fromStdString(AsUtf8(typed)));
  for (const IndividualCommand& command : kIndividualCommands) {
    QAction* act = menu->addAction(QString::fromUtf8(command.text).arg(shown));
    act->setEnabled(doc_.IsCommandEnabled(command.id));
    act->setData(command.id);
    const std::int32_t cmd = command.id;
    const std::string box = command.box != nullptr ? command.box : "";
    // Queued: the command runs once the menu is gone.
    connect(act, &QAction::triggered, this, [this, cmd, typed, box] {
      QMetaObject::invokeMethod(
          this, [this, cmd, typed, box] { RunForIndividual(cmd, typed, box); }, Qt::QueuedConnection);
    });
  }
  individualMenu_ = menu;
  menu->popup(QCursor::pos());
  return menu;
}

void MainWindow::RunForIndividual(std::int32_t id, const std::string& individual, const std::string& box) {
  platform_.AnswerNextIndividual(individual, box);
  Dispatch(id);
  platform_.AnswerNextIndividual(std::nullopt);
}

}  // namespace kinvar::gui
