// The main window: menus, toolbar, context menu and accelerators built from
// the command table, the report view with its find bar, the status bar
// showing the prompt of the command under the pointer, the recent-file list,
// the help window, and the opening of files dropped on the window. After
// every command the report view has the keyboard again. Nothing here knows which analyses exist: a
// command is enabled when the document says so, and runs through it.
//
// The central area holds tabs: the report, then one tab per typed table of
// the report on screen, made anew whenever the report changes (the tab bar
// hides while the report is alone). While a table tab is on top, Copy,
// Select All and Find act on its table.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QByteArray>
#include <QPointer>
#include <QStringList>
#include <cstdint>
#include <map>
#include <string>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QSettings;
class QStackedWidget;
class QTabWidget;
class QToolBar;

#include "pictures/picture.h"
#include "report/table_formats.h"

namespace kinvar {
class Document;
class ResultSet;
}

namespace kinvar::gui {

class FindBar;
class HelpWindow;
class StartPage;
class PictureWindow;
class ReportView;
class TablePane;
class QtPlatform;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kRecentFiles = 4;

  MainWindow(QtPlatform& platform, Document& doc, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Shows the window as it was left, or maximised the first time.
  void ShowAtStart();
  void Dispatch(std::int32_t id);
  // Re-evaluates every action's rule, as menus do when they open.
  void UpdateActions();
  void OnRefresh();
  void OpenFile(const QString& path);

  ReportView* view() const { return view_; }
  FindBar* findBar() const { return findBar_; }
  // Nothing until Help › Contents first opened it.
  HelpWindow* helpWindow() const { return help_; }
  QToolBar* toolbar() const { return toolbar_; }
  QMenu* contextMenu() const { return contextMenu_; }
  QAction* action(std::int32_t id) const;
  const std::vector<QAction*>& recentActions() const { return recentActions_; }
  const QStringList& recentFiles() const { return recent_; }
  // The enabling of one command as the menus show it.
  bool CommandEnabled(std::int32_t id) const;

  QTabWidget* tabs() const { return tabs_; }
  // The table tabs in the report's order.
  const std::vector<TablePane*>& tablePanes() const { return panes_; }
  // The table tab on top, nullptr while the report is.
  TablePane* CurrentTablePane() const;
  // Writes the shown report's tables to `target` in `format` (a folder for
  // CSV and TSV of several tables); false after telling the user why not.
  // The status bar says what was written where, or why not.
  bool ExportTo(const QString& target, TableFormat format);
  // Writes the table `index` of the shown report alone to the file `target`.
  bool ExportTable(const QString& target, TableFormat format, std::size_t index);
  // The menu of the commands that take an individual, for the individual
  // `id`; nothing when `id` is not one of the pedigree. Shown at the pointer.
  QMenu* ShowIndividualMenu(const QByteArray& id);
  QMenu* individualMenu() const;
  // Opens a window of its own for `picture`; several may be open at once,
  // and each closes with the main window.
  PictureWindow* ShowPicture(pictures::Picture picture);
  // The pedigree chart of the individual `id` (as the file has it), as
  // View > Pedigree Chart opens it.
  void ShowPedigreeChartOf(const std::string& id);

 StartPage* startPage() const { return startPage_; }
  bool StartPageShown() const;
  // The help window that F1 opened over a command's dialog, while it is open.
  HelpWindow* dialogHelp() const;
  // A document command on a worker thread (RunCommand) has not ended yet.
  bool Working() const { return working_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolbar();
  void CreateContextMenu();
  QMenu* MenuFor(const QString& path);
  QMenu* ContextSubmenu(const QString& path);
  void ShowHelp();
  void ShowHelp(const QString& page);
  void OpenExample(const QString& name);
  void AddRecentFile(const QString& path);
  void UpdateRecentActions();
  void UpdateTitle();
  void RebuildTableTabs();
  void OnExport();
  bool ExportSet(const ResultSet& tables, const QString& target, TableFormat format);
  void OnPedigreeChart();
  void OnPedigreeCertificate();
  void OnPedigreeDrawing(std::int32_t id);
  void OnChart(std::int32_t id);
  void OnMatingsChart();
  // The document's command, on a worker thread for the analyses over every
  // group, the event loop turning meanwhile.
  void RunCommand(std::int32_t id);
  // `box`: the key of the form's box that takes the ID, where the command asks by a form.
  void RunForIndividual(std::int32_t id, const std::string& individual, const std::string& box = {});
  QWidget* FocusHome() const;

  QtPlatform& platform_;
  Document& doc_;
  ReportView* view_;
  FindBar* findBar_;
  QTabWidget* tabs_ = nullptr;
  std::vector<TablePane*> panes_;
  // The report whose tables the tabs show.
  std::uint64_t tablesGeneration_ = 0;
  std::size_t tablesShown_ = 0;
  QMenu* tableMenu_ = nullptr;
  QPointer<QMenu> individualMenu_;
  HelpWindow* help_ = nullptr;
  StartPage* startPage_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QPointer<QDialog> dialogHelp_;
  // The command whose dialogs are up: F1 in them opens its page.
  std::int32_t running_ = 0;
  bool working_ = false;
  QToolBar* toolbar_ = nullptr;
  QMenu* contextMenu_ = nullptr;
  std::map<std::int32_t, QAction*> actions_;
  std::map<QString, QMenu*> menus_;
  std::map<QString, QMenu*> contextMenus_;
  QAction* recentPlaceholder_ = nullptr;
  std::vector<QAction*> recentActions_;
  QStringList recent_;
  std::unique_ptr<QSettings> settings_;
};

}  // namespace kinvar::gui
