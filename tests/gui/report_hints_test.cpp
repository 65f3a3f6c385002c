// What the report view adds on screen: tooltips on abbreviations and the
// "Help: F1" link. Neither reaches the report's lines, so saved files and
// kinvar-cli's output keep their bytes.
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include "genetics/command_ids.h"
#include "gui/help_window.h"
#include "gui/kinvar_view.h"
#include "gui/line_renderer.h"
#include "gui/main_frame.h"
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
  CMainFrame frame{platform, doc};
};

TEST(ReportHints, HelpLinkShowsOnReportsOnlyAndOpensTheirPage) {
  Window w;
  QLabel* hint = w.frame.view()->helpHint();
  EXPECT_FALSE(hint->isVisible());
  w.frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg");
  w.frame.Dispatch(kCmdCompute);
  EXPECT_TRUE(hint->isVisible());
  EXPECT_EQ(hint->text(), QStringLiteral("<a href=\"help\">Help: F1</a>"));
  const CMS& report = w.doc.pedigree().report;
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
  CKinvarView* view = w.frame.view();
  const CMS& report = w.doc.pedigree().report;
  int line = -1;
  for (int i = 0; i < report.Count() && line < 0; ++i)
    if (PlainText(report.Line(i)).startsWith("NCAs")) line = i;
  ASSERT_GE(line, 0);
  const QPoint at(CKinvarView::kLeftMargin + view->charWidth() / 2, line * view->lineHeight() + view->lineHeight() / 2);
  QHelpEvent event(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view->viewport(), &event);
  EXPECT_TRUE(QToolTip::text().startsWith("Nodal common ancestors")) << QToolTip::text().toStdString();
  QToolTip::hideText();
}

}  // namespace
}  // namespace kinvar::gui
