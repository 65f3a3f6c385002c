#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPrinter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "gui/kinvar_view.h"
#include "gui/line_renderer.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

struct TextRun {
  std::string text;
  int r, g, b;
  bool operator==(const TextRun&) const = default;
};

std::vector<TextRun> Runs(std::string_view line, bool colour = true) {
  std::vector<TextRun> runs;
  for (const ColourRun& run : ColourRuns(line, colour))
    runs.push_back({run.text.toStdString(), run.colour.red(), run.colour.green(),
                    run.colour.blue()});
  return runs;
}

TEST(ReportView, LinesBreakIntoColourRunsAtWordsAndColours) {
  const struct {
    const char* name;
    const char* line;
    bool colour;
    std::vector<TextRun> runs;
  } cases[] = {
      {"sire, dam and progeny in columns", "|MS1|T1|FD1|T1B3", true,
       {{"S1", 20, 180, 20},
        {std::string(20, ' '), 0, 0, 0},
        {"D1", 0, 0, 255},
        {std::string(20, ' '), 0, 0, 0},
        {"B3", 0, 0, 255}}},
      {"words split after their blank", "|XProcess has been", true,
       {{"Process ", 200, 70, 70}, {"has ", 200, 70, 70}, {"been", 200, 70, 70}}},
      {"a code without colour keeps the last one", "|CAB|ZCD", true,
       {{"AB", 255, 0, 0}, {"CD", 255, 0, 0}}},
      {"summary value after a wide tab", "Total|T3|I18", true,
       {{std::string("Total").append(47, ' '), 0, 0, 0}, {"18", 0, 0, 255}}},
      {"black and white keeps only the asterisks red",
       "|MABCDEFGHIJKLMNOPQRSTUV|T1|FX", false,
       {{"********************", 200, 70, 70}, {"  ", 0, 0, 0}, {"X", 0, 0, 0}}},
      {"empty line", "", true, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Runs(c.line, c.colour), c.runs) << c.name;
}

// Rows of the left margin (where no text is drawn) that hold the dotted
// pattern: black, then two pixels of white.
int DottedRows(const QImage& image) {
  int rows = 0;
  for (int y = 0; y < image.height(); ++y) {
    bool dotted = true;
    for (int x = 0; x < 18 && dotted; ++x)
      dotted = (image.pixelColor(x, y) == QColor(Qt::black)) == (x % 3 == 0);
    rows += dotted ? 1 : 0;
  }
  return rows;
}

struct View : DocumentFixture {
  View() {
    doc.OpenPedigreeFile(std::string(KINVAR_EXAMPLES_DIR) + "/small.pdg");
    view.resize(700, 400);
  }
  void SetReport(int lines) {
    CMS& report = doc.pedigree().report;
    report.Clear();
    for (int i = 0; i < lines; ++i) report.Add("|MLine|T1|F" + std::to_string(i + 1));
    view.OnUpdate();
  }
  CKinvarView view{doc};
};

TEST(ReportView, DrawsOneBoundaryUnderEveryFullPage) {
  View v;
  const int perPage = v.view.linesPerPage();
  ASSERT_GT(perPage, 10);
  const struct {
    const char* name;
    int lines, pages, boundaries;
  } cases[] = {
      {"exactly one page", perPage, 1, 1},
      {"one line more", perPage + 1, 2, 1},
      {"two pages and a line", 2 * perPage + 1, 3, 2},
  };
  for (const auto& c : cases) {
    v.SetReport(c.lines);
    v.view.resize(600, (c.lines + 2) * v.view.lineHeight() + 40);
    EXPECT_EQ(v.view.pageCount(), c.pages) << c.name;
    const QImage shot = v.view.viewport()->grab().toImage();
    EXPECT_EQ(DottedRows(shot), c.boundaries) << c.name;
  }
}

TEST(ReportView, EmptyStoreIsGreyAndSelectionToggles) {
  View v;
  v.SetReport(0);
  EXPECT_EQ(v.view.viewport()->grab().toImage().pixelColor(5, 5), QColor(128, 128, 128));
  v.SetReport(30);
  v.view.show();
  const int y = 3 * v.view.lineHeight() + 2;
  for (int expected : {3, -1, 3}) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, y), QPointF(100, y),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v.view.viewport(), &press);
    EXPECT_EQ(v.view.selectedLine(), expected);
  }
  v.view.OnUpdate();
  EXPECT_EQ(v.view.selectedLine(), -1);
}

TEST(ReportView, KeysAndWheelScrollByLinesPagesAndEnds) {
  View v;
  v.SetReport(200);
  v.view.show();
  QScrollBar* bar = v.view.verticalScrollBar();
  const int line = v.view.lineHeight();
  const int start = 50 * line;
  const struct {
    const char* name;
    int key;  // 0: one wheel notch down
    Qt::KeyboardModifiers modifiers;
    int value;
  } cases[] = {
      {"Down", Qt::Key_Down, Qt::NoModifier, start + line},
      {"Up", Qt::Key_Up, Qt::NoModifier, start - line},
      {"Page Down", Qt::Key_PageDown, Qt::NoModifier, start + bar->pageStep()},
      {"Home alone stays", Qt::Key_Home, Qt::NoModifier, start},
      {"End alone stays", Qt::Key_End, Qt::NoModifier, start},
      {"Ctrl+Home", Qt::Key_Home, Qt::ControlModifier, 0},
      {"Ctrl+End", Qt::Key_End, Qt::ControlModifier, bar->maximum()},
      {"wheel down", 0, Qt::NoModifier, start + line},
  };
  for (const auto& c : cases) {
    bar->setValue(start);
    if (c.key != 0) {
      QKeyEvent key(QEvent::KeyPress, c.key, c.modifiers);
      QApplication::sendEvent(&v.view, &key);
    } else {
      QWheelEvent wheel(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(v.view.viewport(), &wheel);
    }
    EXPECT_EQ(bar->value(), c.value) << c.name;
  }
  EXPECT_EQ(bar->pageStep() % line, 0);
}

TEST(ReportView, PrintsEveryPageToPdf) {
  View v;
  QTemporaryDir out;
  const int perPage = v.view.LinesPerPageFor(v.view.printer());
  for (const auto& [lines, pages] : {std::pair{perPage, 1}, std::pair{2 * perPage + 1, 3}}) {
    v.SetReport(lines);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = out.filePath(QStringLiteral("report%1.pdf").arg(lines));
    printer.setOutputFileName(path);
    v.view.PrintReport(&printer);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string pdf = file.readAll().toStdString();
    const std::regex page(R"(/Type\s*/Page[^s])");
    const auto count = std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page),
                                     std::sregex_iterator());
    EXPECT_EQ(count, pages) << lines << " lines";
  }
}

}  // namespace
}  // namespace kinvar::gui
