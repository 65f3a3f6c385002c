// What the report view adds on screen: tooltips on abbreviations and the
// "Help: F1" link. Neither reaches the report's lines, so saved files and
// kinvar-cli's output keep their bytes.
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "app/commands.h"
#include "analyses/command_ids.h"
#include "support/doc_session.h"
#include "gui/help_window.h"
#include "gui/report_view.h"
#include "gui/line_renderer.h"
#include "gui/main_window.h"
#include "gui/report_hints.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

TEST(ReportHints, ExplainTheAbbreviationUnderThePointer) {
  struct Row {
    const char* name;
    const char* line;
    const char* under;  // the text whose first character the pointer rests on
    const char* starts;  // the start of the meaning, "" for none
  };
  const Row rows[] = {
      {"generation equivalents", "                      No. of dis. gen.      Longest ancestral", "dis.",
       "Number of discrete generation equivalents"},
      {"its second line", "Individual     F      equiv.       path", "equiv.", "Equivalent complete"},
      {"inbreeding column", "Individual     F      equiv.       path", "F ", "Inbreeding coefficient"},
      {"NCAs", "NCAs: (N = 2)                   F                          P", "NCAs", "Nodal common"},
      {"P of path counting", "NCAs: (N = 2)                   F                          P", "P", "Contribution of the nodal"},
      {"Ne in a label", "Effective population size (Ne)      12.8967", "Ne)", "Effective population size"},
      {"Delta GD before GD", "Sire   Dam   Offspring F    Delta GD     MK sire", "GD ", "Change of the reference"},
      {"MK sire", "Sire   Dam   Offspring F    Delta GD     MK sire", "sire", "Mean kinship of the sire"},
      {"nan in a table", "1         4               0               1               nan", "nan", "Not a number"},
      {"inf inside a word is none", "information", "inf", ""},
      {"an ID is none", "E                           0.25", "E", ""},
      {"a number is none", "E                           0.25", "0.25", ""},
      {"F inside Fa is Fa", "Group       Individuals F           Fa          g", "Fa", "Ancestral inbreeding"},
      {"No. of a count", "No. of inbreds                    6", "No.", "Number"},
      {"no. of a group", "Group no.        Group no.        Average", "no.", "Number"},
      {"SD", "            Years           Pairs           SD", "SD", "Standard deviation"},
      {"TDT'", "relationship matrix (A=TDT'):", "TDT'", "A = TDT'"},
      {"N of NCAs", "NCAs: (N = 2)                   F", "N =", "Number of nodal"},
      {"d of purging", "Purging coefficient (d)             0", "d)", "Purging coefficient"},
      {"ID in a heading", "Individual ID         Individual Code", "ID", "Identifier"},
      {"an ID with digits is none", "A3          M", "A3", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const QString line = QLatin1String(row.line);
    const int column = static_cast<int>(line.lastIndexOf(QLatin1String(row.under)));
    ASSERT_GE(column, 0);
    const QString meaning = AbbreviationAt(line, column);
    if (*row.starts)
      EXPECT_TRUE(meaning.startsWith(QLatin1String(row.starts))) << meaning.toStdString();
    else
      EXPECT_TRUE(meaning.isEmpty()) << meaning.toStdString();
  }
  EXPECT_TRUE(AbbreviationAt("F", -1).isEmpty());
  EXPECT_TRUE(AbbreviationAt("F", 1).isEmpty());
}

struct Window : DocumentFixture {
  Window() {
    frame.resize(1000, 700);
    frame.show();
  }
  MainWindow frame{platform, doc};
};

TEST(ReportHints, HelpLinkShowsOnReportsOnlyAndOpensTheirPage) {
  Window w;
  QLabel* hint = w.frame.view()->helpHint();
  EXPECT_FALSE(hint->isVisible());
  w.frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg");
  w.frame.Dispatch(kCmdCompute);
  EXPECT_TRUE(hint->isVisible());
  EXPECT_EQ(hint->text(), QStringLiteral("<a href=\"help\">Help: F1</a>"));
  const ReportStore& report = w.doc.pedigree().report;
  for (int i = 0; i < report.Count(); ++i) EXPECT_FALSE(PlainText(report.Line(i)).contains("Help: F1"));
  emit hint->linkActivated(QStringLiteral("help"));
  ASSERT_NE(w.frame.helpWindow(), nullptr);
  EXPECT_EQ(w.frame.helpWindow()->currentPage(), "commands/inbreeding");
  w.frame.helpWindow()->close();
}

TEST(ReportHints, TooltipOfTheViewNamesTheAbbreviation) {
  Window w;
  w.frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/small.pdg");
  w.frame.Dispatch(kCmdPathCountingAll);
  ReportView* view = w.frame.view();
  const ReportStore& report = w.doc.pedigree().report;
  int line = -1;
  for (int i = 0; i < report.Count() && line < 0; ++i)
    if (PlainText(report.Line(i)).startsWith("NCAs")) line = i;
  ASSERT_GE(line, 0);
  const QPoint at(ReportView::kLeftMargin + view->charWidth() / 2, line * view->lineHeight() + view->lineHeight() / 2);
  QHelpEvent event(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view->viewport(), &event);
  EXPECT_TRUE(QToolTip::text().startsWith("Nodal common ancestors")) << QToolTip::text().toStdString();
  QToolTip::hideText();
}

// The abbreviations a report heading may hold: words of two to five capitals
// (NCAs, SD), short symbols in brackets ("(fa)") and shortened words ending
// in a point before a lower-case word, a column gap or the end of a line of
// columns ("No. of", "equiv."). Every one of them must have a hint.
std::vector<std::pair<QString, int>> AbbreviationsIn(const QString& line) {
  static const QRegularExpression capitals(QStringLiteral("(?<![\\w<>'])[A-Z]{2,5}s?(?![\\w>])"));
  static const QRegularExpression symbol(QStringLiteral("\\(([A-Za-z]{1,3})\\)"));
  static const QRegularExpression shortened(
      QStringLiteral("(?<![\\w.])[A-Za-z]{1,6}\\.(?=\\s+[a-z]| {3,}|\\s*$)"));
  static const QRegularExpression columns(QStringLiteral("\\S {3,}\\S"));
  std::vector<std::pair<QString, int>> found;
  for (const auto& m : capitals.globalMatch(line)) found.emplace_back(m.captured(), static_cast<int>(m.capturedStart()));
  for (const auto& m : symbol.globalMatch(line))
    if (m.captured(1) != QLatin1String("s"))  // Path(s): a plural, not a symbol
      found.emplace_back(m.captured(1), static_cast<int>(m.capturedStart(1)));
  const bool inColumns = columns.match(line).hasMatch();
  for (const auto& m : shortened.globalMatch(line)) {
    const QString rest = line.mid(m.capturedEnd());
    if (rest.trimmed().isEmpty() && !inColumns) continue;  // a sentence's end
    found.emplace_back(m.captured(), static_cast<int>(m.capturedStart()));
  }
  return found;
}

TEST(ReportHints, EveryAbbreviationOfEveryReportHasAHint) {
  struct Run {
    std::int32_t command;
    const char* file;
  };
  const Run runs[] = {
      {kCmdViewPedigree, "herd.pdg"},          {kCmdCompute, "herd.pdg"},
      {kCmdRecompute, "herd.pdg"},             {kCmdDii, "herd.pdg"},
      {kCmdStructure, "herd.pdg"},             {kCmdStructure, "herd.csv"},
      {kCmdAverageBetweenGroups, "herd.pdg"},  {kCmdAverageRelatedness, "herd.pdg"},
      {kCmdBetweenAll, "herd.pdg"},            {kCmdWithinGroup, "herd.pdg"},
      {kCmdBetweenTwoGroups, "herd.pdg"},      {kCmdPathCountingAll, "herd.pdg"},
      {kCmdPathCountingIndividual, "herd.pdg"}, {kCmdPathCountingGroup, "herd.pdg"},
      {kCmdDecompositionIndividual, "herd.pdg"}, {kCmdDecompositionGroup, "herd.pdg"},
      {kCmdDecompositionCoancestry, "herd.pdg"}, {kCmdGeneOrigin, "herd.pdg"},
      {kCmdDiversity, "herd.pdg"},             {kCmdMeanKinship, "herd.pdg"},
      {kCmdMateSuitability, "herd.pdg"},       {kCmdOptimumContributions, "herd.pdg"},
      {kCmdPurging, "herd.pdg"},               {kCmdMatrixT, "herd.pdg"},
      {kCmdXLinked, "herd.xlsx"},
  };
  int checked = 0;
  for (const Run& run : runs) {
    SCOPED_TRACE(std::string(run.file) + " " + std::to_string(run.command));
    kinvar::test::DocSession s;
    ASSERT_TRUE(s.OpenPath(std::string(KINVAR_EXAMPLES_DIR) + "/" + run.file));
    s.platform.typedIds = {"C4", "C2"};
    s.platform.groupChoices = {3, 3, 3};
    s.platform.groupPairs = {std::pair{2, 3}, std::pair{2, 3}};
    s.doc.RunCommand(run.command);
    const ReportStore& report = s.doc.pedigree().report;
    EXPECT_GT(report.Count(), 3);
    for (int i = 0; i < report.Count(); ++i) {
      const QString line = PlainText(report.Line(i));
      for (const auto& [text, at] : AbbreviationsIn(line)) {
        ++checked;
        EXPECT_FALSE(AbbreviationAt(line, at).isEmpty())
            << "\"" << text.toStdString() << "\" has no hint in: " << line.toStdString();
      }
    }
  }
  EXPECT_GT(checked, 50);
}

// The glossary opens at the abbreviation's own entry: the paragraph that
// begins with it, else the first that holds it.
TEST(ReportHints, GlossaryShowsTheEntryOfTheAbbreviation) {
  QTextBrowser browser;
  browser.resize(300, 120);
  browser.setMarkdown(QStringLiteral(
      "# Glossary\n\n**A** — the relationship matrix; 1 + F.\n\n**F, inbreeding** — the probability.\n\n"
      "**fa** — ancestors.\n\n**Fa** — ancestral.\n\n**Gene diversity (GD)** — 1 - mean coancestry.\n"));
  struct Row {
    const char* name;
    const char* term;
    const char* block;
  };
  const Row rows[] = {
      {"a paragraph that begins with it", "F", "F, inbreeding"},
      {"case counts", "Fa", "Fa — ancestral."},
      {"the other case", "fa", "fa — ancestors."},
      {"held in a paragraph", "GD", "Gene diversity (GD)"},
      {"a plural by its singular", "Fas", "Fa — ancestral."},
      {"nowhere", "XYZ", "Glossary"},
  };
  for (const Row& row : rows) {
    browser.moveCursor(QTextCursor::Start);
    ShowGlossaryEntry(browser, QString::fromUtf8(row.term));
    EXPECT_TRUE(browser.textCursor().block().text().startsWith(QString::fromUtf8(row.block)))
        << row.name << ": " << browser.textCursor().block().text().toStdString();
  }
}

TEST(ReportHints, LetteredColumnsShowTheirLegendLine) {
  struct Row {
    const char* name;
    const char* line;
    int column;
    char letter;  // 0: none
  };
  const Row rows[] = {
      {"a letter of the heading", "Group     F               G", 10, 'F'},
      {"the last letter", "Group     F               G", 26, 'G'},
      {"a blank", "Group     F               G", 12, 0},
      {"Group itself", "Group     F               G", 0, 0},
      {"a heading of words", "Group     Members         F", 10, 0},
      {"a line of figures", "1         4               0", 10, 0},
  };
  for (const Row& row : rows) {
    const QChar letter = LegendLetterAt(QLatin1String(row.line), row.column);
    EXPECT_EQ(letter.isNull() ? 0 : letter.toLatin1(), row.letter) << row.name;
  }
  Window w;
  w.frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg");
  w.frame.Dispatch(kCmdStructure);
  ReportView* view = w.frame.view();
  const ReportStore& report = w.doc.pedigree().report;
  int heading = -1;
  for (int i = 0; i < report.Count() && heading < 0; ++i)
    if (PlainText(report.Line(i)).startsWith("Group     F ")) heading = i;
  ASSERT_GE(heading, 0);
  const QPoint at(ReportView::kLeftMargin + 10 * view->charWidth() + view->charWidth() / 2,
                  heading * view->lineHeight() + view->lineHeight() / 2);
  QHelpEvent event(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view->viewport(), &event);
  EXPECT_EQ(QToolTip::text().toStdString(), "Number of unique ancestors for the group (excluding ancestors in the group)");
  QToolTip::hideText();
}

TEST(ReportHints, DoubleClickOpensTheGlossaryOrOffersTheIndividualsCommands) {
  Window w;
  w.frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/small.pdg");
  w.frame.Dispatch(kCmdPathCountingAll);
  ReportView* view = w.frame.view();
  const ReportStore& report = w.doc.pedigree().report;
  const auto pointAt = [&](const QString& start, const QString& word) {
    for (int i = 0; i < report.Count(); ++i) {
      const QString line = PlainText(report.Line(i));
      if (!line.startsWith(start)) continue;
      const auto column = line.indexOf(word);
      return QPoint(ReportView::kLeftMargin + static_cast<int>(column) * view->charWidth() + view->charWidth() / 2,
                    i * view->lineHeight() + view->lineHeight() / 2);
    }
    ADD_FAILURE() << start.toStdString();
    return QPoint();
  };
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pointAt("NCAs", "NCAs"));
  ASSERT_NE(w.frame.helpWindow(), nullptr);
  EXPECT_EQ(w.frame.helpWindow()->currentPage(), "glossary");
  EXPECT_TRUE(w.frame.helpWindow()->browser()->textCursor().block().text().startsWith("NCA"))
      << w.frame.helpWindow()->browser()->textCursor().block().text().toStdString();
  w.frame.helpWindow()->close();
  // A path's IDs: the individual's commands; a plain word: nothing.
  std::string pathLine;
  for (int i = 0; i < report.Count() && pathLine.empty(); ++i)
    if (PlainText(report.Line(i)).startsWith("<")) pathLine = PlainText(report.Line(i)).toStdString();
  ASSERT_FALSE(pathLine.empty());
  const QString first = QString::fromStdString(pathLine.substr(1, pathLine.find('<', 1) - 1));
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pointAt("<", first));
  ASSERT_NE(w.frame.individualMenu(), nullptr);
  EXPECT_EQ(w.frame.individualMenu()->actions().front()->text(), "Inbreeding coefficient of " + first);
  w.frame.individualMenu()->close();
  QTest::qWait(10);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pointAt("Path(s)", "Path"));
  EXPECT_EQ(w.frame.individualMenu(), nullptr);
}

}  // namespace
}  // namespace kinvar::gui
