// The keys of the main window: every key a menu shows reaches its command,
// in a fresh window and after any kind of dialog, because every dialog hands
// the keyboard back to the report view.
#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "gui/find_bar.h"
#include "gui/help_window.h"
#include "gui/start_page.h"
#include "gui/report_view.h"
#include "gui/main_window.h"
#include "gui_support.h"
#include "report/markup.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

const QString kHerd = QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg";

struct Window : DocumentFixture {
  Window() {
    frame.show();
    frame.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
  }
  // The window system hands the activation back through the event loop.
  void Open(const QString& path) {
    frame.OpenFile(path);
    QApplication::processEvents();
  }
  void Press(const QKeySequence& keys) {
    const QKeyCombination combination = keys[0];
    // Through the window, as a key the user typed: the shortcut map sees it
    // first, then the focus widget.
    QTest::keyClick(frame.windowHandle(), combination.key(), combination.keyboardModifiers());
  }
  MainWindow frame{platform, doc};
};

// The actions whose key a menu of the bar or the report's menu shows.
std::vector<QAction*> KeyedActions(const MainWindow& frame) {
  std::vector<QAction*> keyed;
  for (auto table : {Commands(), ViewCommands()})
    for (const Command& c : table)
      if (QAction* a = frame.action(c.id); a != nullptr && !a->shortcut().isEmpty())
        keyed.push_back(a);
  return keyed;
}

// Presses every shown key and checks that it triggers its own action and no
// other. The actions are cut off from the commands, so nothing runs.
void ExpectEveryKeyTriggersItsAction(Window& w, const std::string& after) {
  const std::vector<QAction*> keyed = KeyedActions(w.frame);
  ASSERT_EQ(keyed.size(), 21u);
  std::vector<std::unique_ptr<QSignalSpy>> spies;
  for (QAction* a : keyed) {
    QObject::disconnect(a, &QAction::triggered, &w.frame, nullptr);
    a->setEnabled(true);
    spies.push_back(std::make_unique<QSignalSpy>(a, &QAction::triggered));
  }
  for (std::size_t i = 0; i < keyed.size(); ++i) {
    w.Press(keyed[i]->shortcut());
    for (std::size_t j = 0; j < keyed.size(); ++j)
      EXPECT_EQ(spies[j]->count(), i == j ? 1 : 0)
          << after << ": " << keyed[i]->shortcut().toString().toStdString() << " -> "
          << keyed[j]->text().toStdString();
    for (auto& spy : spies) spy->clear();
  }
}

TEST(Keys, MenuTitlesOpenWithAltAndTheirFirstLetter) {
  Window w;
  for (const char* title : {"&File", "&Tools", "&View", "&Help"}) {
    const QString mnemonic = QKeySequence::mnemonic(QString::fromLatin1(title)).toString();
    EXPECT_EQ(mnemonic.toStdString(), std::string("Alt+").append(1, title[1])) << title;
    w.Press(QKeySequence::mnemonic(QString::fromLatin1(title)));
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr) << title;
    EXPECT_EQ(qobject_cast<QMenu*>(popup)->title().toStdString(), title);
    popup->close();
  }
}

TEST(Keys, EveryShownKeyTriggersItsCommandFreshAndAfterEveryDialog) {
  const struct {
    const char* name;
    bool accept;
    std::function<void(Window&)> open;
  } cases[] = {
      {"no dialog in a fresh window", false, nullptr},
      {"file dialog", false, [](Window& w) { w.frame.Dispatch(kCmdFileOpen); }},
      {"individual picker", false,
       [](Window& w) { w.frame.Dispatch(kCmdExtractAncestorsIndividual); }},
      {"group picker, then Enter", true, [](Window& w) { w.frame.Dispatch(kCmdWithinGroup); }},
      {"path counting for a group, then Enter", true,
       [](Window& w) { w.frame.Dispatch(kCmdPathCountingGroup); }},
      {"two-groups picker", false, [](Window& w) { w.frame.Dispatch(kCmdBetweenTwoGroups); }},
      {"query dialog", false, [](Window& w) { w.frame.Dispatch(kCmdBetweenTwoIndividuals); }},
      {"options", false, [](Window& w) { w.frame.Dispatch(kCmdOptions); }},
      {"about box", false, [](Window& w) { w.frame.Dispatch(kCmdAbout); }},
      {"print setup", false, [](Window& w) { w.frame.Dispatch(kCmdPrintSetup); }},
      {"message box", false,
       [](Window& w) { w.platform.QtPlatform::ShowMessage("Note", MessageIcon::kWarning); }},
      {"save choice", false, [](Window& w) { w.platform.ChooseSaveOption("One", "Two"); }},
  };
  for (const auto& c : cases) {
    Window w;
    if (!c.open) {
      EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(w.frame.startPage())) << c.name;
      ExpectEveryKeyTriggersItsAction(w, c.name);
      continue;
    }
    w.Open(kHerd);
    // Enter presses the default button; any other dialog is cancelled.
    test::WhenShown<QDialog>([accept = c.accept](QDialog& d) {
      for (QPushButton* b : d.findChildren<QPushButton*>())
        if (accept && b->isDefault()) return b->click();
    });
    c.open(w);
    QApplication::processEvents();
    EXPECT_EQ(w.frame.focusWidget(), w.frame.view()) << c.name;
    EXPECT_EQ(QApplication::focusWidget(), w.frame.view()) << c.name;
    EXPECT_EQ(QApplication::activeWindow(), &w.frame) << c.name;
    ExpectEveryKeyTriggersItsAction(w, c.name);
  }
}

TEST(Keys, HelpAndFindBarGiveTheKeyboardBack) {
  Window w;
  w.Open(kHerd);
  w.Press(QKeySequence(QStringLiteral("F1")));
  ASSERT_NE(w.frame.helpWindow(), nullptr);
  EXPECT_TRUE(w.frame.helpWindow()->isVisible());
  w.frame.helpWindow()->reject();
  QApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), w.frame.view());

  w.Press(QKeySequence(QStringLiteral("Ctrl+F")));
  EXPECT_TRUE(w.frame.findBar()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), w.frame.findBar()->edit());
  QTest::keyClicks(w.frame.findBar()->edit(), "B3");
  QTest::keyClick(w.frame.findBar()->edit(), Qt::Key_Return);
  const int found = w.frame.view()->selectedLine();
  EXPECT_GE(found, 0);
  // F3 from the box finds the next one and leaves the keyboard there.
  w.Press(QKeySequence(QStringLiteral("F3")));
  EXPECT_GT(w.frame.view()->selectedLine(), found);
  EXPECT_EQ(QApplication::focusWidget(), w.frame.findBar()->edit());
  QTest::keyClick(w.frame.findBar()->edit(), Qt::Key_Escape);
  EXPECT_FALSE(w.frame.findBar()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), w.frame.view());
  ExpectEveryKeyTriggersItsAction(w, "find bar closed");
}

TEST(Keys, SelectAllAndCopyPutTheWholeReportOnTheClipboard) {
  Window w;
  w.Open(kHerd);
  w.Press(QKeySequence(QStringLiteral("Ctrl+I")));  // Compute
  ASSERT_EQ(w.doc.lastCommand(), kCmdCompute);
  EXPECT_FALSE(w.frame.action(kCmdEditCopy)->isEnabled());
  QApplication::clipboard()->setText(QStringLiteral("before"));
  w.Press(QKeySequence(QStringLiteral("Ctrl+C")));
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "before");
  w.Press(QKeySequence(QStringLiteral("Ctrl+A")));
  EXPECT_TRUE(w.frame.action(kCmdEditCopy)->isEnabled());
  w.Press(QKeySequence(QStringLiteral("Ctrl+C")));
  // What a file of the report holds, less its trailing blanks and newline.
  QStringList expected;
  const ReportStore& report = w.doc.pedigree().report;
  for (int i = 0; i < report.Count(); ++i) {
    std::string line = ExpandMarkup(report.Line(i));
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    expected << QString::fromLatin1(line);
  }
  EXPECT_EQ(QApplication::clipboard()->text(), expected.join('\n'));
}

TEST(Help, ListsEveryMenuCommandWithItsKeyAndPrompt) {
  Window w;
  const std::vector<HelpRow> rows = HelpRows();
  std::function<void(const QMenu*, const QString&)> walk = [&](const QMenu* menu,
                                                              const QString& where) {
    for (const QAction* a : menu->actions()) {
      if (a->isSeparator() || !a->isVisible()) continue;
      const QString title = PlainMenuText(a->text());
      if (a->menu() != nullptr) {
        walk(a->menu(), where + QStringLiteral(" \u203a ") + title);
        continue;
      }
      const auto it = std::find_if(rows.begin(), rows.end(), [&](const HelpRow& r) {
        return r.where == where && r.what == title;
      });
      ASSERT_NE(it, rows.end()) << where.toStdString() << " " << title.toStdString();
      EXPECT_EQ(it->keys, a->shortcut().toString()) << title.toStdString();
      EXPECT_EQ(it->prompt, a->statusTip()) << title.toStdString();
      EXPECT_FALSE(it->prompt.isEmpty()) << title.toStdString();
    }
  };
  for (const QAction* a : w.frame.menuBar()->actions())
    walk(a->menu(), PlainMenuText(a->text()));
  for (const Command& c : ViewCommands()) {
    const QAction* a = w.frame.action(c.id);
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const HelpRow& r) {
      return r.where == "Report" && r.keys == a->shortcut().toString();
    });
    ASSERT_NE(it, rows.end()) << c.id;
    EXPECT_EQ(it->what, PlainMenuText(a->text()));
  }
  const QString html = HelpHtml();
  for (const char* key : {"Ctrl+Shift+S", "Shift+F3", "Ctrl+Home, Ctrl+End", "Escape"})
    EXPECT_TRUE(html.contains(QString::fromLatin1(key))) << key;
  const struct {
    const char* menu;
    const char* plain;
  } texts[] = {{"&Open...\tCtrl+O", "Open..."},
               {"Within Family Segregation Variance (&dii)\tCtrl+D",
                "Within Family Segregation Variance (dii)"},
               {"Fish && Chips", "Fish & Chips"},
               {"All", "All"}};
  for (const auto& t : texts)
    EXPECT_EQ(PlainMenuText(QString::fromLatin1(t.menu)).toStdString(), t.plain) << t.menu;
}

}  // namespace
}  // namespace kinvar::gui
