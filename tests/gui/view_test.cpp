#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPrinter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "gui/report_view.h"
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
  const struct { const char* name; const char* line; bool colour; std::vector<TextRun> runs; } cases[] = {
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

// Whether the line lies wholly inside the viewport.
bool OnScreen(const ReportView& view, int line) {
  const int top = line * view.lineHeight() - view.verticalScrollBar()->value();
  return top >= 0 && top + view.lineHeight() <= view.viewport()->height();
}

struct View : DocumentFixture {
  View() {
    doc.OpenPedigreeFile(std::string(KINVAR_EXAMPLES_DIR) + "/small.pdg");
    view.resize(700, 400);
  }
  void SetReport(int lines) {
    ReportStore& report = doc.pedigree().report;
    report.Clear();
    for (int i = 0; i < lines; ++i) report.Add("|MLine|T1|F" + std::to_string(i + 1));
    view.OnUpdate();
  }
  ReportView view{doc};
};

TEST(ReportView, DrawsOneBoundaryUnderEveryFullPage) {
  View v;
  const int perPage = v.view.linesPerPage();
  ASSERT_GT(perPage, 10);
  const struct { const char* name; int lines, pages, boundaries; } cases[] = {
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
  // An empty store shows grey, not paper.
  v.SetReport(0);
  EXPECT_EQ(v.view.viewport()->grab().toImage().pixelColor(5, 5), QColor(128, 128, 128));
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

// What a line "|MLine|T1|F<n>" shows: the word, blanks to the first tab
// stop at column 22, the number.
std::string Shown(int number) {
  return std::string("Line").append(18, ' ') + std::to_string(number);
}

std::string ShownLines(int first, int last) {
  std::string text;
  for (int i = first; i <= last; ++i) {
    if (i != first) text += '\n';
    text += Shown(i + 1);
  }
  return text;
}

void Mouse(ReportView& view, QEvent::Type type, int line, Qt::KeyboardModifiers modifiers = {}) {
  const QPointF at(100, line * view.lineHeight() + 2);
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), button, held, modifiers);
  QApplication::sendEvent(view.viewport(), &event);
}

struct Gesture { QEvent::Type type; int line; Qt::KeyboardModifiers modifiers = {}; };

TEST(ReportSelection, DragAndShiftClickSelectRangesThatCopyAsPlainText) {
  const auto press = QEvent::MouseButtonPress;
  const auto move = QEvent::MouseMove;
  const auto release = QEvent::MouseButtonRelease;
  const struct { const char* name; std::vector<Gesture> gestures; std::pair<int, int> selected; } cases[] = {
      {"drag down", {{press, 2}, {move, 4}, {move, 5}, {release, 5}}, {2, 5}},
      {"drag up", {{press, 7}, {move, 3}, {release, 3}}, {3, 7}},
      {"drag back over the start", {{press, 4}, {move, 8}, {move, 4}, {release, 4}}, {4, 4}},
      {"shift+click after a click", {{press, 3}, {release, 3}, {press, 6, Qt::ShiftModifier}},
       {3, 6}},
      {"shift+click above", {{press, 9}, {release, 9}, {press, 1, Qt::ShiftModifier}}, {1, 9}},
      {"shift+click alone selects its line", {{press, 6, Qt::ShiftModifier}}, {6, 6}},
      {"a click ends the range", {{press, 2}, {move, 5}, {release, 5}, {press, 8}}, {8, 8}},
      {"second click clears", {{press, 4}, {release, 4}, {press, 4}, {release, 4}}, {-1, -1}},
      {"third click selects again", {{press, 3}, {press, 3}, {press, 3}}, {3, 3}},
      {"drag from a cleared line", {{press, 4}, {release, 4}, {press, 4}, {move, 6}}, {4, 6}},
      {"drag past the end stops at the last line", {{press, 27}, {move, 40}}, {27, 29}},
      {"click below the last line", {{press, 3}, {release, 3}, {press, 31}}, {-1, -1}},
  };
  for (const auto& c : cases) {
    View v;
    v.SetReport(30);
    v.view.resize(600, 40 * v.view.lineHeight());
    v.view.show();
    for (const Gesture& g : c.gestures) Mouse(v.view, g.type, g.line, g.modifiers);
    EXPECT_EQ(v.view.selection(), c.selected) << c.name;
    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    v.view.Copy();
    const std::string expected = c.selected.first < 0
                                     ? "untouched"
                                     : ShownLines(c.selected.first, c.selected.second);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected) << c.name;
  }
}

TEST(ReportSelection, ClickBelowTheLastLineHighlightsNothing) {
  View v;
  v.SetReport(5);
  v.view.resize(600, 20 * v.view.lineHeight());
  v.view.show();
  for (int line : {5, 6, 15}) {
    Mouse(v.view, QEvent::MouseButtonPress, line);
    EXPECT_EQ(v.view.selectedLine(), -1) << line;
    EXPECT_FALSE(v.view.HasSelection()) << line;
    const QImage shot = v.view.viewport()->grab().toImage();
    for (int row = 0; row < 5; ++row)
      EXPECT_NE(shot.pixelColor(5, row * v.view.lineHeight() + 3), QColor(180, 180, 180))
          << line << " highlights row " << row;
  }
  Mouse(v.view, QEvent::MouseButtonPress, 4);
  EXPECT_EQ(v.view.selectedLine(), 4);
}

TEST(ReportSelection, SelectAllCopiesEveryLineAndUpdatesClearIt) {
  View v;
  const struct {
    const char* name;
    int lines;
  } cases[] = {{"one line", 1}, {"a page", 40}, {"many pages", 300}};
  for (const auto& c : cases) {
    v.SetReport(c.lines);
    v.view.SelectAll();
    EXPECT_EQ(v.view.selection(), std::make_pair(0, c.lines - 1)) << c.name;
    v.view.Copy();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), ShownLines(0, c.lines - 1))
        << c.name;
    v.view.OnUpdate();
    EXPECT_FALSE(v.view.HasSelection()) << c.name;
  }
  v.SetReport(0);
  v.view.SelectAll();
  EXPECT_FALSE(v.view.HasSelection());
}

// Independent of the view: the lines that hold the text, ignoring case.
std::vector<int> Holding(const std::vector<std::string>& lines, const std::string& text) {
  std::vector<int> found;
  auto lower = [](std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
  };
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lower(lines[i]).find(lower(text)) != std::string::npos) found.push_back(static_cast<int>(i));
  return found;
}

TEST(ReportFind, NextAndPreviousGoRoundTheEnds) {
  View v;
  const std::vector<std::string> plain = {"Alpha", "beta", "Gamma alpha", "delta", "ALPHA beta",
                                          "epsilon"};
  ReportStore& report = v.doc.pedigree().report;
  report.Clear();
  for (const std::string& line : plain) report.Add("|M" + line);
  v.view.OnUpdate();
  const struct { const char* name; const char* text; bool forward; int line; bool wrapped; } steps[] = {
      {"first from the top", "alpha", true, 0, false},
      {"next", "alpha", true, 2, false},
      {"next again", "alpha", true, 4, false},
      {"round to the top", "alpha", true, 0, true},
      {"previous round to the bottom", "alpha", false, 4, true},
      {"previous", "alpha", false, 2, false},
      {"another text from the found line", "beta", true, 4, false},
      {"not found keeps the selection", "zeta", true, -1, false},
      {"the only line finds itself again", "epsilon", true, 5, false},
      {"and again, round the end", "epsilon", true, 5, true},
      {"empty text", "", true, -1, false},
  };
  for (const auto& s : steps) {
    const int before = v.view.selectedLine();
    EXPECT_EQ(v.view.Find(QString::fromLatin1(s.text), s.forward), s.line) << s.name;
    EXPECT_EQ(v.view.findWrapped(), s.wrapped) << s.name;
    EXPECT_EQ(v.view.selectedLine(), s.line < 0 ? before : s.line) << s.name;
    if (s.line >= 0) {
      const auto holding = Holding(plain, s.text);
      EXPECT_NE(std::find(holding.begin(), holding.end(), s.line), holding.end()) << s.name;
    }
  }
}

// Needles cut from what random marked-up lines show (blanks of the layout,
// overflow asterisks and text on both sides of codes among them) are found
// at the first line that shows them, as a plain scan of the shown text finds
// it.
TEST(ReportFind, FindsTextAcrossCodesPaddingAndOverflow) {
  View v;
  std::mt19937 random(7);
  const std::string alphabet = "abcXYZ09 *||||TTM|T1|T3|T6|X|A";
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> length(0, 60);
  std::vector<std::string> lines(300);
  ReportStore& report = v.doc.pedigree().report;
  report.Clear();
  for (std::string& line : lines) {
    for (int k = length(random); k > 0; --k) line.push_back(alphabet[pick(random)]);
    report.Add(line);
  }
  v.view.OnUpdate();
  for (int trial = 0; trial < 300; ++trial) {
    const QString shown = PlainText(lines[static_cast<std::size_t>(trial)]);
    if (shown.isEmpty()) continue;
    std::uniform_int_distribution<qsizetype> from(0, shown.size() - 1);
    const qsizetype begin = from(random);
    std::uniform_int_distribution<qsizetype> size(1, std::min<qsizetype>(12, shown.size() - begin));
    QString needle = shown.mid(begin, size(random));
    if (trial % 2 == 1) needle = needle.toUpper();
    int expected = -1;
    for (std::size_t i = 0; i < lines.size() && expected < 0; ++i)
      if (PlainText(lines[i]).contains(needle, Qt::CaseInsensitive)) expected = static_cast<int>(i);
    v.view.SelectLines(-1, -1);
    EXPECT_EQ(v.view.Find(needle, true), expected)
        << "\"" << needle.toStdString() << "\" from line " << trial;
  }
}

TEST(ReportFind, AFoundLineIsScrolledIntoView) {
  View v;
  v.SetReport(500);
  v.view.resize(600, 300);
  v.view.show();
  // Line 17 shows 18, the first of the lines that begin so (180 to 189 follow).
  for (int target : {400, 17, 499}) {
    ASSERT_EQ(v.view.Find(QString::fromStdString(Shown(target + 1)), true), target);
    EXPECT_TRUE(OnScreen(v.view, target)) << target;
  }
}

// A report three times the store's capacity, written as the analyses that
// keep the copy file write it.
struct LongReport : View {
  static constexpr int kLines = 300000;
  LongReport() {
    Pedigree& ped = doc.pedigree();
    ped.report.Clear();
    ped.copyFile.Reset();
    for (int i = 0; i < kLines; ++i)
      WriteReportLine(ped.report, "|MLine|T1|F" + std::to_string(i + 1), &ped.copyFile);
    view.resize(600, 300);
    view.show();
    view.OnUpdate();
  }
  // What a click on a viewport row selects, as Copy gives it.
  std::string ClickAndCopy(int row) {
    Mouse(view, QEvent::MouseButtonPress, row);
    Mouse(view, QEvent::MouseButtonRelease, row);
    view.Copy();
    return QApplication::clipboard()->text().toStdString();
  }
};

TEST(LongReportView, ShowsEveryLinePastTheStore) {
  LongReport r;
  QScrollBar* bar = r.view.verticalScrollBar();
  const int line = r.view.lineHeight();
  const int rows = r.view.viewport()->height() / line;
  const struct {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    int topLine;  // the line shown at the viewport's top row after the key
  } cases[] = {
      {"Ctrl+End shows the last line written", Qt::Key_End, Qt::ControlModifier,
       LongReport::kLines + 1 - rows},
      {"a line up from the end", Qt::Key_Up, Qt::NoModifier, LongReport::kLines - rows},
      {"Ctrl+Home back to the first", Qt::Key_Home, Qt::ControlModifier, 0},
  };
  for (const auto& c : cases) {
    QKeyEvent key(QEvent::KeyPress, c.key, c.modifiers);
    QApplication::sendEvent(&r.view, &key);
    EXPECT_EQ(bar->value() / line, c.topLine) << c.name;
    EXPECT_EQ(r.ClickAndCopy(0), Shown(c.topLine + 1)) << c.name;
  }
  // At the end the last line is on screen, with one blank row below it.
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QApplication::sendEvent(&r.view, &end);
  EXPECT_EQ(r.ClickAndCopy(rows - 2), Shown(LongReport::kLines));
  EXPECT_EQ(r.view.selectedLine(), LongReport::kLines - 1);
  QApplication::clipboard()->setText(QStringLiteral("untouched"));
  EXPECT_EQ(r.ClickAndCopy(rows - 1), "untouched") << "a click under the last line";
  EXPECT_FALSE(r.view.HasSelection());
}

TEST(LongReportView, FindAndCopyReachPastTheStore) {
  LongReport r;
  const int beyond = ReportStore::kCapacity + 50000;
  const struct { const char* name; std::string text; bool forward; int line; bool wrapped; } steps[] = {
      {"a line far past the store", Shown(beyond + 1), true, beyond, false},
      {"the last line", Shown(LongReport::kLines), true, LongReport::kLines - 1, false},
      {"backwards round the top to the last line", Shown(LongReport::kLines), false,
       LongReport::kLines - 1, true},
      {"the notice of the full store is no line of the report",
       "There are more pages to view", true, -1, false},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(r.view.Find(QString::fromStdString(s.text), s.forward), s.line) << s.name;
    EXPECT_EQ(r.view.findWrapped(), s.wrapped) << s.name;
    if (s.line >= 0) {
      EXPECT_TRUE(OnScreen(r.view, s.line)) << s.name;
    }
  }
  // A range across the store's last line copies the lines as written.
  r.view.SelectLines(ReportStore::kCapacity - 3, ReportStore::kCapacity + 2);
  r.view.Copy();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
            ShownLines(ReportStore::kCapacity - 3, ReportStore::kCapacity + 2));
  EXPECT_EQ(r.view.pageCount(),
            (LongReport::kLines + r.view.linesPerPage() - 1) / r.view.linesPerPage());
}

TEST(PageCounter, StaysInsideTheView) {
  const QRect view(100, 50, 800, 600);  // x 100..899, y 50..649
  const struct { const char* name; QPoint wanted; QPoint placed; } cases[] = {
      {"inside", {200, 100}, {200, 100}},
      {"past the right edge", {880, 100}, {800, 100}},
      {"past the bottom", {200, 640}, {200, 630}},
      {"past the corner", {5000, 5000}, {800, 630}},
      {"left of the view", {0, 10}, {100, 50}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PlaceInside(c.wanted, QSize(100, 20), view), c.placed) << c.name;
  // Larger than the view: its top left corner stays visible.
  EXPECT_EQ(PlaceInside({500, 500}, QSize(1000, 20), view), QPoint(100, 500));

  View v;
  v.SetReport(500);
  v.view.resize(600, 300);
  v.view.show();
  QCursor::setPos(v.view.mapToGlobal(QPoint(590, 290)));
  emit v.view.verticalScrollBar()->sliderPressed();
  QLabel* counter = v.view.pageCounter();
  ASSERT_TRUE(counter->isVisible());
  EXPECT_TRUE(counter->text().startsWith("Page 1 of "));
  const QRect shown(v.view.mapToGlobal(QPoint(0, 0)), v.view.size());
  EXPECT_TRUE(shown.contains(counter->frameGeometry()))
      << counter->x() << "," << counter->y() << " in " << shown.x() << "," << shown.y();
  emit v.view.verticalScrollBar()->sliderReleased();
  EXPECT_FALSE(counter->isVisible());
}

}  // namespace
}  // namespace kinvar::gui
