// The manual in the desktop program: every page reachable from the contents,
// links and back/forward between pages, search, and F1 in a command's dialog
// opening that command's page.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/manual.h"
#include "genetics/command_ids.h"
#include "gui/help_window.h"
#include "gui/main_frame.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;
using test::WhenShown;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

TEST(HelpWindow, ShowsEveryPageOfTheContents) {
  CHelpDlg help;
  ASSERT_EQ(help.contents()->count(), static_cast<int>(ManualPages().size()) + 1);
  EXPECT_EQ(help.currentPage(), "index");
  for (int i = 0; i < help.contents()->count(); ++i) {
    QListWidgetItem* item = help.contents()->item(i);
    const QString page = item->data(Qt::UserRole).toString();
    SCOPED_TRACE(page.toStdString());
    help.ShowPage(page);
    EXPECT_EQ(help.currentPage(), page);
    // The heading is rendered, not shown as Markdown.
    const QString text = help.browser()->toPlainText();
    EXPECT_FALSE(text.startsWith(QLatin1String("# ")));
    if (const ManualPage* manual = FindManualPage(page.toStdString()))
      EXPECT_TRUE(text.contains(Q(ManualTitle(*manual)))) << text.left(200).toStdString();
    else
      EXPECT_TRUE(text.contains(QLatin1String("Ctrl+I")));
  }
}

TEST(HelpWindow, FollowsLinksAndGoesBackAndForward) {
  CHelpDlg help;
  QTextBrowser* browser = help.browser();
  const auto follow = [&](const char* link) {
    browser->setSource(browser->source().resolved(QUrl(QLatin1String(link))));
  };
  follow("commands/inbreeding.md");
  EXPECT_EQ(help.currentPage(), "commands/inbreeding");
  follow("../options.md");
  EXPECT_EQ(help.currentPage(), "options");
  EXPECT_TRUE(browser->toPlainText().contains(QLatin1String("Exit status of kinvar-cli")));
  browser->backward();
  EXPECT_EQ(help.currentPage(), "commands/inbreeding");
  browser->backward();
  EXPECT_EQ(help.currentPage(), "index");
  browser->forward();
  EXPECT_EQ(help.currentPage(), "commands/inbreeding");
}

TEST(HelpWindow, SearchKeepsThePagesThatHoldEveryWord) {
  struct Row {
    const char* name;
    const char* words;
    std::vector<const char*> shown;
    std::vector<const char*> hidden;
  };
  const Row rows[] = {
      {"one word", "Boichard", {"commands/diversity", "glossary", "references"}, {"commands/view"}},
      {"any letter case", "boichard", {"commands/diversity"}, {"commands/dii"}},
      {"two words", "Boichard completeness", {"commands/diversity", "glossary"}, {"references"}},
      {"empty shows all", "", {"commands/view", "keys"}, {}},
  };
  CHelpDlg help;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    help.search()->setText(QLatin1String(row.words));
    std::map<QString, bool> hidden;
    for (int i = 0; i < help.contents()->count(); ++i)
      hidden[help.contents()->item(i)->data(Qt::UserRole).toString()] = help.contents()->item(i)->isHidden();
    for (const char* page : row.shown) EXPECT_FALSE(hidden.at(QLatin1String(page))) << page;
    for (const char* page : row.hidden) EXPECT_TRUE(hidden.at(QLatin1String(page))) << page;
  }
  // Enter opens the first page found and marks the words on it.
  help.search()->setText(QStringLiteral("Gutiérrez"));
  emit help.search()->returnPressed();
  EXPECT_EQ(help.currentPage(), "glossary");
  EXPECT_EQ(help.browser()->textCursor().selectedText(), QStringLiteral("Gutiérrez"));
}

TEST(HelpWindow, EveryAnalysisOfTheMenusHasAPageOfItsOwn) {
  for (const Command& c : Commands()) {
    const std::string menu(c.menu);
    if (menu.rfind("Tools", 0) != 0 && menu.rfind("View>", 0) != 0 && c.id != kCmdViewPedigree) continue;
    SCOPED_TRACE(c.text);
    const QString page = HelpPageOf(c.id);
    EXPECT_NE(page, "index");
    EXPECT_NE(FindManualPage(page.toStdString()), nullptr);
  }
  struct Row {
    std::int32_t command;
    const char* page;
  };
  const Row rows[] = {{kCmdCompute, "commands/inbreeding"},
                      {kCmdWithinGroup, "commands/relationships"},
                      {kCmdDecompositionCoancestry, "commands/decompose"},
                      {kCmdChartContributions, "commands/charts-optimum-contributions"},
                      {kCmdOptions, "options"},
                      {kCmdAbout, "index"}};
  for (const Row& row : rows) EXPECT_EQ(HelpPageOf(row.command), row.page);
}

TEST(HelpWindow, F1InACommandsDialogOpensItsPage) {
  DocumentFixture f;
  CMainFrame frame{f.platform, f.doc};
  frame.show();
  frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg");
  QString shown;
  WhenShown<QDialog>([&](QDialog& dialog) {
    QTest::keyClick(&dialog, Qt::Key_F1);
    ASSERT_NE(frame.dialogHelp(), nullptr);
    shown = frame.dialogHelp()->currentPage();
    EXPECT_EQ(frame.dialogHelp()->parentWidget(), &dialog);
    frame.dialogHelp()->close();
  });
  frame.Dispatch(kCmdInbreedingOfIndividual);
  EXPECT_EQ(shown, "commands/inbreeding-of");
}

}  // namespace
}  // namespace kinvar::gui
