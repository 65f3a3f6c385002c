// The manual in the desktop program: every page reachable from the contents,
// links and back/forward between pages, search, and F1 in a command's dialog
// opening that command's page.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "analyses/command_ids.h"
#include "app/commands.h"
#include "app/manual.h"
#include "gui/help_window.h"
#include "gui/main_window.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;
using test::WhenShown;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

TEST(HelpWindow, ShowsEveryPageOfTheContents) {
  HelpWindow help;
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
      EXPECT_TRUE(text.contains(Q(DesktopTitle(*manual)))) << text.left(200).toStdString();
    else
      EXPECT_TRUE(text.contains(QLatin1String("Ctrl+I")));
  }
}

// What the reader sees of a page: no Markdown mark or escape survives the
// rendering, in text, tables or code.
TEST(HelpWindow, NoMarkdownLeaksIntoAnyRenderedPage) {
  HelpWindow help;
  for (const ManualPage& manual : ManualPages()) {
    const QString page = Q(manual.name);
    SCOPED_TRACE(manual.name);
    help.ShowPage(page);
    const QString text = help.browser()->toPlainText();
    for (const char* leak : {"\\|", "\\*", "\\_", "\\`", "**", "`", "](", "<br>", "&#"})
      EXPECT_FALSE(text.contains(QLatin1String(leak))) << leak << " in\n" << text.toStdString();
    // A table keeps its cells: none is left as a row of pipes.
    for (const QString& line : text.split(QLatin1Char('\n')))
      EXPECT_FALSE(line.trimmed().startsWith(QLatin1String("| "))) << line.toStdString();
  }
  // The pipes of the options table are plain pipes.
  help.ShowPage(QStringLiteral("options"));
  EXPECT_TRUE(help.browser()->toPlainText().contains(QLatin1String("text|csv|tsv|json|xlsx")));
}

// A command page opened from the desktop: its name as the menu says it, the
// menu path, what the command answers, and only then the command line.
TEST(HelpWindow, CommandPagesStartWithTheMenuPathAndTheCommandLineFollows) {
  HelpWindow help;
  int pages = 0;
  for (const ManualPage& manual : ManualPages()) {
    // A desktop-only page has no command line to put after.
    if (!manual.name.starts_with("commands/") || manual.text.find("**Command") == std::string_view::npos) continue;
    SCOPED_TRACE(manual.name);
    help.ShowPage(Q(manual.name));
    const QStringList lines = help.browser()->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], Q(DesktopTitle(manual)));
    EXPECT_FALSE(lines[0].contains(QLatin1String("kinvar-cli")));
    EXPECT_TRUE(lines[1].startsWith(QLatin1String("Desktop: "))) << lines[1].toStdString();
    EXPECT_FALSE(lines[1].contains(QLatin1String("kinvar-cli"))) << lines[1].toStdString();
    EXPECT_FALSE(lines[2].startsWith(QLatin1String("Command line:"))) << lines[2].toStdString();
    const auto cli = lines.indexOf(QRegularExpression(QStringLiteral("^Command line: kinvar-cli .*")));
    EXPECT_EQ(cli, 3) << lines.join(QLatin1Char('\n')).left(600).toStdString();
    ++pages;
  }
  EXPECT_GE(pages, 25);
  // The text of the command-line help and the man pages is unchanged.
  const ManualPage* dii = FindManualPage("commands/dii");
  ASSERT_NE(dii, nullptr);
  EXPECT_TRUE(dii->text.starts_with("# dii \u2014 Within Family Segregation Variance\n\n**Desktop:**"));
  EXPECT_EQ(DesktopTitle(*dii), "Within Family Segregation Variance");
}

// The glossary's dii as the program computes it: 1 + F for a founder whose F
// is predefined.
TEST(HelpWindow, GlossarySaysAFounderWithAKnownFHasDiiOnePlusF) {
  HelpWindow help;
  help.ShowPage(QStringLiteral("glossary"));
  const QString text = help.browser()->toPlainText().simplified();
  EXPECT_TRUE(text.contains(QStringLiteral("1 for a founder, and 1 + F for a founder with a predefined F.")))
      << text.toStdString();
}

TEST(HelpWindow, FollowsLinksAndGoesBackAndForward) {
  HelpWindow help;
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
  HelpWindow help;
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

// Enter is the search box's: the window stays open and each Enter goes on to
// the next place found, over the pages that hold the word.
TEST(HelpWindow, EnterInTheSearchBoxSearchesAndKeepsTheWindowOpen) {
  HelpWindow help;
  help.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
  help.search()->setFocus();
  QTest::keyClicks(help.search(), QStringLiteral("kinship"));
  std::vector<std::pair<QString, int>> places;
  for (int press = 0; press < 6; ++press) {
    QTest::keyClick(help.search(), Qt::Key_Return);
    ASSERT_TRUE(help.isVisible()) << "press " << press;
    EXPECT_EQ(help.result(), 0) << "press " << press;
    EXPECT_EQ(help.browser()->textCursor().selectedText().toLower(), QStringLiteral("kinship")) << press;
    places.emplace_back(help.currentPage(), help.browser()->textCursor().position());
    if (press > 0) {
      EXPECT_NE(places[static_cast<std::size_t>(press)], places[static_cast<std::size_t>(press) - 1]);
    }
  }
  QTest::keyClick(help.search(), Qt::Key_Enter);
  EXPECT_TRUE(help.isVisible());
  // Escape still closes it.
  QTest::keyClick(help.search(), Qt::Key_Escape);
  EXPECT_FALSE(help.isVisible());
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
                      {kCmdPurging, "commands/purging"},  // a declared command's page by its name
                      {kCmdChartContributions, "commands/charts-optimum-contributions"},
                      {kCmdOptions, "options"},
                      {kCmdAbout, "index"}};
  for (const Row& row : rows) EXPECT_EQ(HelpPageOf(row.command), row.page);
}

TEST(HelpWindow, F1InACommandsDialogOpensItsPage) {
  test::HerdWindow f;
  MainWindow& frame = f.frame;
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
