// The file behind a validation message: a double click on an error line of
// a rejected pedigree opens the file read-only at the line the message
// names, highlighted and in sight, in text files of any line ends, in a
// workbook's sheet and in a file of a million lines.
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/document.h"
#include "gui/file_viewer.h"
#include "gui/report_view.h"
#include "gui/main_window.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

TEST(FileLineNamedIn, TakesTheFirstLineTheMessageNames) {
  struct Row {
    const char* name;
    const char* message;
    std::int64_t line;
  };
  const Row rows[] = {
      {"one line", "There is at least one unknown ID in the progeny list (line 7).", 7},
      {"several lines", "|CA |Aappearing more than once in the progeny list (lines 4, 10).", 4},
      {"both roles", "|CA |Aappearing as both sire and dam (as a sire in line 6, as a dam in line 8).", 6},
      {"cycle", "|CC |Aappearing in its ancestors list (Cycling pedigree), line 16.", 16},
      {"cycle members", "Cycle: C (line 6) > A (line 10) > C", 6},
      {"continued cycle", "       > X12 (line 123456789) > X13 (line 5)", 123456789},
      {"born before", "|CA |Ain line 4 is born before its sire S in line 2.", 4},
      {"no line", "Correct the pedigree file.", 0},
      {"header", "|XError(s) list:", 0},
      {"a word ending in line", "baseline 4", 0},
      {"no number", "line x", 0},
  };
  for (const Row& row : rows) EXPECT_EQ(FileLineNamedIn(row.message), row.line) << row.name;
}

std::string WriteFile(const QTemporaryDir& folder, const char* name, const std::string& text) {
  const std::string path = folder.path().toStdString() + "/" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

FileViewer* OpenViewer() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* viewer = qobject_cast<FileViewer*>(w); viewer != nullptr && viewer->isVisible()) return viewer;
  return nullptr;
}

// The highlighted line is the current one and lies inside the list's view.
void ExpectInSight(const FileViewer& viewer, int row) {
  const QModelIndex index = viewer.lines().index(row);
  EXPECT_EQ(viewer.lines().highlighted(), row);
  EXPECT_EQ(viewer.list()->currentIndex(), index);
  EXPECT_TRUE(viewer.list()->viewport()->rect().contains(viewer.list()->visualRect(index)));
}

// Comment lines, CR LF, a lone CR: the numbers are those of the messages.
TEST(FileViewer, ADoubleClickOnAnErrorOpensTheFileAtItsLine) {
  DocumentFixture f;
  const std::string path = WriteFile(f.folder, "mixed.pdg",
                                     "! a comment\r\nProgeny Sire Dam\r\nA 0 0\r\nB 0 0\rC A B\nD 0 0\n\nB 0 0\nE 0 0\n");
  MainWindow frame{f.platform, f.doc};
  frame.resize(900, 600);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
  f.doc.OpenPedigreeFile(path);
  ASSERT_EQ(f.doc.lastCommand(), kRejectedPedigree);
  const ReportStore& report = f.doc.pedigree().report;
  int error = -1;
  for (int i = 0; i < report.Count(); ++i)
    if (report.Line(i).find("more than once") != std::string_view::npos) error = i;
  ASSERT_GE(error, 0);
  ASSERT_EQ(FileLineNamedIn(report.Line(error)), 4);

  auto* view = frame.findChild<ReportView*>();
  ASSERT_NE(view, nullptr);
  const QPoint at(60, ReportView::kTopMargin + error * view->lineHeight() + view->lineHeight() / 2);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
  FileViewer* viewer = OpenViewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_EQ(view->selectedLine(), error);  // the error stays highlighted
  ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
  EXPECT_EQ(viewer->lines().rowCount(), 9);
  EXPECT_EQ(viewer->lines().Text(3), "B 0 0");
  EXPECT_EQ(viewer->lines().Text(4), "C A B");
  EXPECT_EQ(viewer->lines().Text(7), "B 0 0");
  ExpectInSight(*viewer, 3);
  EXPECT_EQ(viewer->where()->text().toStdString(), "Line 4 of " + path);
  EXPECT_EQ(viewer->windowTitle(), "mixed.pdg (read only)");
  // Read-only: typing changes nothing.
  QTest::keyClicks(viewer->list(), "XYZ");
  EXPECT_EQ(viewer->lines().Text(3), "B 0 0");
  viewer->close();

  // A line without a file line opens nothing.
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(60, view->lineHeight() / 2));
  EXPECT_EQ(OpenViewer(), nullptr);
}

// A million lines: the list holds them all and shows the one asked for.
TEST(FileViewer, OpensAMillionLineFileAtALineNearItsEnd) {
  QTemporaryDir folder;
  std::string text = "Progeny Sire Dam\n";
  text.reserve(20'000'000);
  for (int i = 1; i < 1'000'000; ++i) text.append("I").append(std::to_string(i)).append(" 0 0\n");
  const std::string path = WriteFile(folder, "big.pdg", text);
  FileViewer viewer(QString::fromStdString(path), {}, 999'990);
  viewer.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
  viewer.list()->scrollTo(viewer.list()->currentIndex(), QAbstractItemView::PositionAtCenter);
  EXPECT_EQ(viewer.lines().rowCount(), 1'000'000);
  EXPECT_EQ(viewer.lines().Text(999'989), "I999989 0 0");
  ExpectInSight(viewer, 999'989);
  // A line past the end is said to be missing, nothing highlighted.
  FileViewer past(QString::fromStdString(path), {}, 1'000'001);
  EXPECT_EQ(past.lines().highlighted(), -1);
  EXPECT_TRUE(past.where()->text().endsWith("the file has no such line now."));
}

// A workbook shows its sheet's rows, cells between bars, by row number.
TEST(FileViewer, ShowsAWorkbooksRowsAsText) {
  const QString path = QStringLiteral(KINVAR_EXAMPLES_DIR "/herd.xlsx");
  FileViewer viewer(path, {}, 3);
  ASSERT_GT(viewer.lines().rowCount(), 3);
  const int row = viewer.lines().RowOf(3);
  ASSERT_GE(row, 0);
  EXPECT_EQ(viewer.lines().highlighted(), row);
  EXPECT_TRUE(viewer.lines().Text(row).contains(QLatin1String(" | "))) << viewer.lines().Text(row).toStdString();
  EXPECT_TRUE(viewer.where()->text().startsWith(QLatin1String("Row 3 of sheet ")))
      << viewer.where()->text().toStdString();
}

}  // namespace
}  // namespace kinvar::gui
