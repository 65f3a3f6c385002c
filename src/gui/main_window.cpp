#include "gui/main_window.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>

#include "analyses/parentage_report.h"
#include "analyses/pedigree_chart.h"
#include "app/commands.h"
#include "app/document.h"
#include "analyses/command_context.h"
#include "gui/about_dialog.h"
#include "gui/file_viewer.h"
#include "gui/find_bar.h"
#include "gui/help_window.h"
#include "gui/report_view.h"
#include "gui/options_dialog.h"
#include "gui/parentage_window.h"
#include "gui/picture_window.h"
#include "gui/planned_mating_dialog.h"
#include "gui/qt_platform.h"
#include "gui/report_hints.h"
#include "gui/start_page.h"
#include "gui/table_model.h"
#include "gui/table_pane.h"
#include "pictures/pedigree_chart_picture.h"

// Resources of a static library must be registered from the global namespace.
static void InitKinvarResources() {
  Q_INIT_RESOURCE(kinvar);
  Q_INIT_RESOURCE(examples);
}

namespace kinvar::gui {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QString kAppTitle = QStringLiteral("[Kinvar]");

bool IsFind(std::int32_t id) {
  return id == kCmdEditFind || id == kCmdEditFindNext || id == kCmdEditFindPrevious;
}

}  // namespace

MainWindow::MainWindow(QtPlatform& platform, Document& doc, QWidget* parent)
    : QMainWindow(parent),
      platform_(platform),
      doc_(doc),
      view_(new ReportView(doc)),
      findBar_(new FindBar(*view_)) {
  InitKinvarResources();
  qApp->installEventFilter(this);
  setWindowIcon(QIcon(QStringLiteral(":/icons/kinvar48.png")));
  auto* report = new QWidget;
  auto* column = new QVBoxLayout(report);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(view_, 1);
  column->addWidget(findBar_);
  tabs_ = new QTabWidget(this);
  tabs_->setDocumentMode(true);
  tabs_->setTabBarAutoHide(true);
  tabs_->addTab(report, tr("Report"));
  startPage_ = new StartPage(
      {[this] { Dispatch(kCmdFileOpen); }, [this](const QString& path) { OpenFile(path); },
       [this](const QString& example) { OpenExample(example); },
       [this](const QString& page) { ShowHelp(page); }},
      this);
  stack_ = new QStackedWidget(this);
  stack_->addWidget(startPage_);
  stack_->addWidget(tabs_);
  setCentralWidget(stack_);
  setAcceptDrops(true);
  if (!doc_.programFolder().empty()) {
    settings_ = std::make_unique<QSettings>(
        QString::fromStdString(doc_.programFolder() + "kinvar-gui.ini"), QSettings::IniFormat);
    // Written to a temporary file and renamed, like every other file, never
    // rewritten in place (Qt's default, kept explicit).
    settings_->setAtomicSyncRequired(true);
    recent_ = settings_->value(QStringLiteral("RecentFiles")).toStringList();
    doc_.settings().threads = std::max(0, settings_->value(QStringLiteral("Threads"), 0).toInt());
    const QVariant maxPaths = settings_->value(QStringLiteral("MaxPaths"));
    if (maxPaths.isValid()) doc_.settings().maxPaths = std::max<qlonglong>(0, maxPaths.toLongLong());
    doc_.settings().precision =
        settings_->value(QStringLiteral("Precision")).toString() == QStringLiteral("double") ? 1 : 0;
  }
  while (recent_.size() > kRecentFiles) recent_.removeLast();

  CreateActions();
  CreateMenus();
  CreateToolbar();
  CreateContextMenu();
  statusBar()->showMessage(tr("Ready"));

  // Whoever cancels a long run still wants the report they had.
  doc_.keepReportOnCancel = true;
  platform_.SetParentWindow(this);
  platform_.SetFocusHome(view_);
  connect(view_, &ReportView::selectionChanged, this, &MainWindow::UpdateActions);
  connect(view_, &ReportView::lineDoubleClicked, this,
          [this](int line) { ShowFileLineOfError(doc_, line, this); });
  connect(view_, &ReportView::helpRequested, this,
          [this] { ShowHelp(HelpPageOf(doc_.lastCommand())); });
  connect(view_, &ReportView::glossaryRequested, this, [this](const QString& term) {
    ShowHelp(QStringLiteral("glossary"));
    ShowGlossaryEntry(*help_->browser(), term);
  });
  connect(view_, &ReportView::individualActivated, this,
          [this](const QByteArray& id) { ShowIndividualMenu(id); });
  connect(tabs_, &QTabWidget::currentChanged, this, [this] {
    platform_.SetFocusHome(FocusHome());
    // The table, not its filter box, takes the keys of a tab brought up.
    const QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || tabs_->isAncestorOf(focus)) FocusHome()->setFocus(Qt::TabFocusReason);
    UpdateActions();
  });
  platform_.SetRefresh([this] { OnRefresh(); });
  platform_.SetRecentFileSink(
      [this](const std::string& path) { AddRecentFile(QString::fromStdString(path)); });
  platform_.SetIdSource(
      [this, cache = std::make_shared<IdIndexCache>()] { return cache->Get(doc_.pedigree()); });
  // Until the pointer passes over a command, whose prompt takes its place.
  platform_.SetStatusSink(
      [this](const std::string& text) { statusBar()->showMessage(QString::fromStdString(text)); });
  UpdateTitle();
  UpdateActions();
  resize(1000, 700);
  FocusHome()->setFocus(Qt::OtherFocusReason);
}

MainWindow::~MainWindow() {
  platform_.SetParentWindow(nullptr);
  platform_.SetFocusHome(nullptr);
  platform_.SetRefresh({});
  platform_.SetRecentFileSink({});
  platform_.SetIdSource({});
  platform_.SetStatusSink({});
}

void MainWindow::ShowAtStart() {
  if (settings_ && restoreGeometry(settings_->value(QStringLiteral("Geometry")).toByteArray())) {
    show();
    return;
  }
  showMaximized();
}

QAction* MainWindow::action(std::int32_t id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::CreateActions() {
  std::vector<Command> all(Commands().begin(), Commands().end());
  all.insert(all.end(), ViewCommands().begin(), ViewCommands().end());
  for (const Command& command : all) {
    if (command.id == kCmdRecentFile) continue;
    auto* act = new QAction(Q(command.text), this);
    if (!command.accelerator.empty()) act->setShortcut(QKeySequence(Q(command.accelerator)));
    act->setStatusTip(CommandPrompt(command));
    act->setToolTip(Q(command.tooltip));
    const QString icon = QStringLiteral(":/icons/%1.png").arg(command.id);
    if (QFile::exists(icon)) act->setIcon(QIcon(icon));
    const std::int32_t id = command.id;
    if (id == kCmdViewToolbar || id == kCmdViewStatusBar) {
      act->setCheckable(true);
      act->setChecked(true);
    }
    connect(act, &QAction::triggered, this, [this, id] { Dispatch(id); });
    actions_[id] = act;
    // No menu of the bar holds the view's commands: their keys work through
    // the window.
    if (command.handler == Handler::kView && command.menu == "Report") addAction(act);
  }
}

QMenu* MainWindow::MenuFor(const QString& path) {
  if (auto it = menus_.find(path); it != menus_.end()) return it->second;
  const qsizetype cut = path.lastIndexOf(QLatin1Char('>'));
  const QString title = path.mid(cut + 1);
  // The bar's titles open with Alt and their first letter.
  QMenu* menu = cut < 0 ? menuBar()->addMenu(QLatin1Char('&') + title)
                        : MenuFor(path.left(cut))->addMenu(title);
  // Rules are evaluated whenever a menu opens; nothing caches them.
  connect(menu, &QMenu::aboutToShow, this, &MainWindow::UpdateActions);
  menus_[path] = menu;
  return menu;
}

void MainWindow::CreateMenus() {
  for (const Command& command : Commands()) {
    QMenu* menu = MenuFor(Q(command.menu));
    if (command.separatorBefore) menu->addSeparator();
    if (command.id != kCmdRecentFile) {
      menu->addAction(actions_.at(command.id));
      continue;
    }
    recentPlaceholder_ = menu->addAction(tr("Recent File"));
    recentPlaceholder_->setStatusTip(CommandPrompt(command));
    recentPlaceholder_->setEnabled(false);
    for (int i = 0; i < kRecentFiles; ++i) {
      QAction* act = menu->addAction(QString());
      connect(act, &QAction::triggered, this, [this, i] {
        if (i < recent_.size()) OpenFile(recent_[i]);
      });
      recentActions_.push_back(act);
    }
  }
  UpdateRecentActions();
}

void MainWindow::CreateToolbar() {
  toolbar_ = addToolBar(tr("Toolbar"));
  toolbar_->setObjectName(QStringLiteral("toolbar"));
  toolbar_->setIconSize(QSize(16, 16));
  toolbar_->setMovable(true);
  for (std::int32_t id : ToolbarLayout()) {
    if (id == 0) {
      toolbar_->addSeparator();
    } else {
      toolbar_->addAction(actions_.at(id));
    }
  }
}

// The same submenus as the Tools menu, from each command's menu path.
QMenu* MainWindow::ContextSubmenu(const QString& path) {
  if (path.isEmpty()) return contextMenu_;
  if (auto it = contextMenus_.find(path); it != contextMenus_.end()) return it->second;
  const qsizetype cut = path.lastIndexOf(QLatin1Char('>'));
  QMenu* menu = ContextSubmenu(cut < 0 ? QString() : path.left(cut))->addMenu(path.mid(cut + 1));
  contextMenus_[path] = menu;
  return menu;
}

void MainWindow::CreateContextMenu() {
  contextMenu_ = new QMenu(this);
  const QString tools = QStringLiteral("Tools>");
  // A separator goes into the deepest menu that holds the items on both of
  // its sides.
  QStringList previous;
  bool separator = false;
  for (std::int32_t id : ContextMenuLayout()) {
    if (id == 0) {
      separator = true;
      continue;
    }
    const QString path = Q(FindCommand(id)->menu);
    const QStringList steps = path.startsWith(tools)
                                  ? path.mid(tools.size()).split(QLatin1Char('>'))
                                  : QStringList();
    if (separator) {
      QStringList common;
      while (common.size() < std::min(previous.size(), steps.size()) &&
             previous[common.size()] == steps[common.size()])
        common << steps[common.size()];
      ContextSubmenu(common.join(QLatin1Char('>')))->addSeparator();
    }
    separator = false;
    previous = steps;
    ContextSubmenu(steps.join(QLatin1Char('>')))->addAction(actions_.at(id));
  }
  connect(contextMenu_, &QMenu::aboutToShow, this, &MainWindow::UpdateActions);
  view_->SetContextMenu(contextMenu_);

  tableMenu_ = new QMenu(this);
  tableMenu_->addAction(actions_.at(kCmdEditCopy));
  tableMenu_->addAction(actions_.at(kCmdEditSelectAll));
  tableMenu_->addAction(actions_.at(kCmdEditFind));
  tableMenu_->addSeparator();
  tableMenu_->addAction(actions_.at(kCmdFileExport));
  connect(tableMenu_, &QMenu::aboutToShow, this, &MainWindow::UpdateActions);
}

bool MainWindow::CommandEnabled(std::int32_t id) const {
  const Command* command = FindCommand(id);
  if (command == nullptr) return false;
  if (command->handler == Handler::kDocument) return doc_.IsCommandEnabled(id);
  if (const TablePane* pane = CurrentTablePane()) {
    if (id == kCmdEditCopy) return pane->HasSelection();
    if (id == kCmdEditSelectAll || id == kCmdEditFind) return true;
    if (id == kCmdEditFindNext || id == kCmdEditFindPrevious) return false;
  }
  if (id == kCmdEditCopy && !view_->HasSelection()) return false;
  return IsEnabled(*command, doc_.State());
}

void MainWindow::UpdateActions() {
  // The start page stands in for the report until there is something to show:
  // a pedigree, or the list of a file's mistakes.
  const DocumentState state = doc_.State();
  QWidget* shown = state.nTotal == 0 && state.reportLines == 0 ? static_cast<QWidget*>(startPage_) : tabs_;
  if (stack_->currentWidget() != shown) {
    const bool hadFocus = stack_->currentWidget()->isAncestorOf(QApplication::focusWidget()) ||
                          stack_->currentWidget() == QApplication::focusWidget();
    stack_->setCurrentWidget(shown);
    platform_.SetFocusHome(FocusHome());
    if (hadFocus) FocusHome()->setFocus(Qt::OtherFocusReason);
  }
  for (auto& [id, act] : actions_) act->setEnabled(CommandEnabled(id));
  actions_.at(kCmdViewToolbar)->setChecked(toolbar_ == nullptr || toolbar_->isVisibleTo(this));
  actions_.at(kCmdViewStatusBar)->setChecked(statusBar()->isVisibleTo(this));
}

namespace {

// The analyses over every group of a herd book take seconds at a million
// animals: they run on a worker thread so that the window stays painted and
// its progress window served between the polls of the computation.
bool RunsOnWorker(std::int32_t id) {
  return id == kCmdStructure || id == kCmdAverageBetweenGroups || id == kCmdDiversity ||
         id == kCmdMeanKinship;
}

}  // namespace

// The report and its tables belong to the command until it ends: the views
// neither paint nor take input meanwhile, and no other command starts. The
// platform carries the command's dialogs and progress window over to this
// thread, whose event loop runs until the worker has finished.
void MainWindow::RunCommand(std::int32_t id) {
  if (!RunsOnWorker(id) || working_) {
    doc_.RunCommand(id);
    return;
  }
  QWidget* central = centralWidget();
  central->setUpdatesEnabled(false);
  central->setEnabled(false);
  menuBar()->setEnabled(false);
  if (toolbar_ != nullptr) toolbar_->setEnabled(false);
  working_ = true;
  {
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([this, id] { doc_.RunCommand(id); }));
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
  }
  working_ = false;
  if (toolbar_ != nullptr) toolbar_->setEnabled(true);
  menuBar()->setEnabled(true);
  central->setEnabled(true);
  central->setUpdatesEnabled(true);
  OnRefresh();
}

void MainWindow::Dispatch(std::int32_t id) {
  // An accelerator can arrive between two refreshes: the rule decides; and
  // nothing starts while a command runs on its worker.
  if (working_ || !CommandEnabled(id)) return;
  struct Running {
    std::int32_t& current;
    std::int32_t outer;
    ~Running() { current = outer; }
  } running{running_, std::exchange(running_, id)};
  if (TablePane* pane = CurrentTablePane()) {
    switch (id) {
      case kCmdEditCopy: pane->Copy(); UpdateActions(); return;
      case kCmdEditSelectAll: pane->SelectAll(); UpdateActions(); return;
      case kCmdEditFind: pane->FocusFilter(); return;
      default: break;
    }
  }
  switch (id) {
    case kCmdFileExport: OnExport(); break;
    case kCmdViewPedigreeChart: OnPedigreeChart(); break;
    case kCmdViewPedigreeCertificate: OnPedigreeCertificate(); break;
    case kCmdDrawAncestorsIndividual:
    case kCmdDrawAncestorsGroup:
    case kCmdDrawDescendantsIndividual:
    case kCmdDrawDescendantsGroup: OnPedigreeDrawing(id); break;
    case kCmdChartTrends:
    case kCmdChartFDistribution:
    case kCmdChartFounders:
    case kCmdChartGroupHeatMap:
    case kCmdChartContributions:
    case kCmdChartPurging:
    case kCmdChartGenomicInbreeding: OnChart(id); break;
    case kCmdChartMatings: OnMatingsChart(); break;
    case kCmdParentage:
      RunCommand(id);
      ShowParentageWindow(*this, doc_);
      break;
    case kCmdPlannedMating:
      doc_.RunCommand(id);
      ShowPlannedMatingChart(*this, doc_);
      break;
    case kCmdOptions:
      RunOptionsDialog(doc_, platform_, this);
      if (settings_) {
        settings_->setValue(QStringLiteral("Threads"), doc_.settings().threads);
        settings_->setValue(QStringLiteral("MaxPaths"), static_cast<qlonglong>(doc_.settings().maxPaths));
        settings_->setValue(QStringLiteral("Precision"), doc_.settings().precision == 1
                                                             ? QStringLiteral("double")
                                                             : QStringLiteral("single"));
      }
      break;
    case kCmdPrint: view_->OnPrint(); break;
    case kCmdPrintPreview: view_->OnPrintPreview(); break;
    case kCmdPrintSetup: view_->OnPrintSetup(); break;
    case kCmdExit: close(); break;
    case kCmdViewToolbar: toolbar_->setVisible(!toolbar_->isVisible()); break;
    case kCmdViewStatusBar: statusBar()->setVisible(!statusBar()->isVisible()); break;
    case kCmdAbout: {
      AboutDialog about(AboutDialog::Mode::kAbout, this);
      about.exec();
      break;
    }
    case kCmdHelpContents: ShowHelp(); return;
    case kCmdEditCopy: view_->Copy(); break;
    case kCmdEditSelectAll: view_->SelectAll(); break;
    case kCmdEditFind: findBar_->Open(); break;
    case kCmdEditFindNext: findBar_->FindNext(); break;
    case kCmdEditFindPrevious: findBar_->FindPrevious(); break;
    default: RunCommand(id); break;
  }
  UpdateActions();
  // Find keeps the keyboard in its bar; everything else hands it back.
  if (!IsFind(id)) ReturnFocus(FocusHome());
}

// F1 in a command's dialog opens that command's page over the dialog, which
// keeps the keyboard while it is open.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
    return QMainWindow::eventFilter(watched, event);
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || modal == this || qobject_cast<HelpWindow*>(modal) != nullptr ||
      modal->parentWidget() == dialogHelp_)
    return QMainWindow::eventFilter(watched, event);
  if (dialogHelp_) dialogHelp_->close();
  auto* help = new HelpWindow(modal, HelpPageOf(running_));
  help->setAttribute(Qt::WA_DeleteOnClose);
  help->show();
  dialogHelp_ = help;
  return true;
}

HelpWindow* MainWindow::dialogHelp() const { return qobject_cast<HelpWindow*>(dialogHelp_.data()); }

// The examples are copied into the program folder, where the user may change
// them and find them again with File › Open.
void MainWindow::OpenExample(const QString& name) {
  const QString folder = doc_.programFolder().empty()
                             ? QDir::temp().filePath(QStringLiteral("kinvar-examples"))
                             : QString::fromStdString(doc_.programFolder()) + QStringLiteral("examples");
  const QString path = ExampleCopy(name, folder);
  if (path.isEmpty()) {
    platform_.ShowMessage("Cannot write the example " + name.toStdString() + " into " + folder.toStdString() + ".",
                          MessageIcon::kError);
    return;
  }
  OpenFile(path);
}

void MainWindow::ShowHelp(const QString& page) {
  ShowHelp();
  help_->ShowPage(page);
}

void MainWindow::ShowHelp() {
  if (help_ == nullptr) {
    help_ = new HelpWindow(this);
    connect(help_, &QDialog::finished, this, [this] { ReturnFocus(FocusHome()); });
  }
  help_->show();
  help_->raise();
  help_->activateWindow();
}

PictureWindow* MainWindow::ShowPicture(pictures::Picture picture) {
  auto* window = new PictureWindow(std::move(picture), this);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

// The chart's generations when it opens; its window's spin box changes them.
constexpr int kChartGenerations = 4;

void MainWindow::OnPedigreeChart() {
  CommandContext ctx = doc_.Context();
  const auto x = AskIndividual(ctx, "Pedigree Chart", "Show");
  if (!x) return;
  // The boxes show F: the same coefficients as every report.
  if (!EnsureInbreeding(ctx)) return;
  Pedigree& ped = doc_.pedigree();
  const RecIndex individual = *x;
  const std::string id(ped.rec(individual).Id());
  PictureWindow* window =
      ShowPicture(pictures::PedigreeChartPicture(ped, individual, kChartGenerations));
  // Drawn again from the pedigree on screen, as long as it is still the one
  // the chart came from with its coefficients.
  auto draw = [&ped, individual, id](int generations) -> std::optional<pictures::Picture> {
    const bool same = individual <= ped.nTotal && ped.rec(individual).Id() == id &&
                      ped.inbreedingComputed && ped.orderState == 1;
    if (!same) return std::nullopt;
    return pictures::PedigreeChartPicture(ped, individual, generations);
  };
  window->OfferVariants({QStringLiteral("Generations"), kChartGenerations, 1,
                         kMaxChartGenerations, std::move(draw)});
}

void MainWindow::ShowPedigreeChartOf(const std::string& id) { RunForIndividual(kCmdViewPedigreeChart, id); }

void MainWindow::OnRefresh() {
  view_->OnUpdate();
  RebuildTableTabs();
  UpdateTitle();
  UpdateActions();
}

void MainWindow::UpdateTitle() {
  const QString title = QString::fromStdString(doc_.title());
  setWindowTitle(title.isEmpty() ? kAppTitle : title + QStringLiteral(" - ") + kAppTitle);
}

void MainWindow::OpenFile(const QString& path) {
  doc_.OpenPedigreeFile(path.toStdString());
  UpdateActions();
  ReturnFocus(FocusHome());
}

void MainWindow::AddRecentFile(const QString& path) {
  recent_.removeAll(path);
  recent_.prepend(path);
  while (recent_.size() > kRecentFiles) recent_.removeLast();
  if (settings_) settings_->setValue(QStringLiteral("RecentFiles"), recent_);
  UpdateRecentActions();
}

bool MainWindow::StartPageShown() const { return stack_->currentWidget() == startPage_; }

void MainWindow::UpdateRecentActions() {
  startPage_->SetRecent(recent_);
  recentPlaceholder_->setVisible(recent_.isEmpty());
  for (int i = 0; i < kRecentFiles; ++i) {
    QAction* act = recentActions_[static_cast<std::size_t>(i)];
    const bool used = i < recent_.size();
    act->setVisible(used);
    if (!used) continue;
    act->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(recent_[i])));
    act->setStatusTip(tr("Open this document"));
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The command on its worker ends first; its progress window cancels it.
  if (working_ || !doc_.CanExit()) {
    event->ignore();
    return;
  }
  if (settings_) settings_->setValue(QStringLiteral("Geometry"), saveGeometry());
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  activateWindow();
  OpenFile(urls.front().toLocalFile());
}

}  // namespace kinvar::gui
