// The picture window: a test picture of known rectangles and one text is
// shown, zoomed, fitted, panned, copied, exported and printed, and what the
// user gets is checked against positions and sizes worked out here.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <optional>

#include <cmath>

#include "app/commands.h"
#include "matings/matings_command.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/picture_window.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using pictures::Picture;

constexpr QSizeF kSize(400, 250);
const QColor kLeft(200, 0, 0);
const QColor kRight(0, 0, 200);

// Left half red, right half blue, a label in the red half.
Picture TestPicture(const QString& title = QStringLiteral("Test chart of B7")) {
  return Picture{title, kSize, [](QPainter& p) {
                   p.fillRect(QRectF(0, 0, 200, 250), kLeft);
                   p.fillRect(QRectF(200, 0, 200, 250), kRight);
                   p.setPen(Qt::white);
                   p.drawText(QPointF(20, 40), QStringLiteral("ALPHA-7"));
                 }};
}

struct Shown {
  explicit Shown(QSize size = QSize(700, 500)) {
    window->resize(size);
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
  }
  ~Shown() { delete window.data(); }
  void Press(QKeyCombination keys) {
    QTest::keyClick(window->windowHandle(), keys.key(), keys.keyboardModifiers());
  }
  PictureCanvas& canvas() { return *window->canvas(); }
  QPointer<PictureWindow> window = new PictureWindow(TestPicture());
};

// A picture's point in viewport pixels at the canvas's zoom and scroll.
QPointF OnScreen(PictureCanvas& c, QPointF at) { return c.Origin() + at * c.zoom(); }

TEST(PictureWindow, OpensFittedAndCentredWithItsTitle) {
  struct Row {
    const char* name;
    QSize window;
  };
  const Row rows[] = {{"wide", {900, 400}}, {"tall", {500, 800}}, {"small", {300, 250}}};
  for (const Row& row : rows) {
    Shown s(row.window);
    PictureCanvas& c = s.canvas();
    EXPECT_EQ(s.window->windowTitle(), QStringLiteral("Test chart of B7")) << row.name;
    EXPECT_TRUE(c.fitted()) << row.name;
    const QSize room = c.viewport()->size();
    const double expected = std::min(room.width() / 400.0, room.height() / 250.0);
    EXPECT_NEAR(c.zoom(), expected, 1e-9) << row.name;
    EXPECT_EQ(c.horizontalScrollBar()->maximum(), 0) << row.name;
    EXPECT_EQ(c.verticalScrollBar()->maximum(), 0) << row.name;
    const QPointF centre = OnScreen(c, QPointF(200, 125));
    EXPECT_NEAR(centre.x(), room.width() / 2.0, 1.0) << row.name;
    EXPECT_NEAR(centre.y(), room.height() / 2.0, 1.0) << row.name;
    // Resizing keeps a fitted picture fitted.
    s.window->resize(row.window + QSize(120, 60));
    QApplication::processEvents();
    const QSize bigger = c.viewport()->size();
    EXPECT_NEAR(c.zoom(), std::min(bigger.width() / 400.0, bigger.height() / 250.0), 1e-9)
        << row.name;
  }
}

TEST(PictureWindow, KeysZoomFitAndReset) {
  struct Row {
    const char* name;
    QKeyCombination keys;
    double factor;  // of the zoom before; 0: actual size; -1: fitted
  };
  const Row rows[] = {
      {"Ctrl+plus", Qt::CTRL | Qt::Key_Plus, 1.25},
      {"Ctrl+equal", Qt::CTRL | Qt::Key_Equal, 1.25},
      {"Ctrl+minus", Qt::CTRL | Qt::Key_Minus, 0.8},
      {"Ctrl+1", Qt::CTRL | Qt::Key_1, 0},
      {"Ctrl+plus again", Qt::CTRL | Qt::Key_Plus, 1.25},
      {"Ctrl+0", Qt::CTRL | Qt::Key_0, -1},
  };
  Shown s;
  PictureCanvas& c = s.canvas();
  const double fit = c.zoom();
  for (const Row& row : rows) {
    const double before = c.zoom();
    s.Press(row.keys);
    const double expected = row.factor > 0 ? before * row.factor : row.factor == 0 ? 1.0 : fit;
    EXPECT_NEAR(c.zoom(), expected, 1e-9) << row.name;
    EXPECT_EQ(c.fitted(), row.factor < 0) << row.name;
  }
}

void Wheel(PictureCanvas& c, QPointF at, int delta, Qt::KeyboardModifiers modifiers) {
  QWheelEvent event(at, c.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                    modifiers, Qt::NoScrollPhase, false);
  QApplication::sendEvent(c.viewport(), &event);
}

TEST(PictureWindow, CtrlWheelZoomsAboutThePointerAndThePlainWheelScrolls) {
  Shown s;
  PictureCanvas& c = s.canvas();
  c.SetZoom(3.0);
  struct Row {
    const char* name;
    int delta;
    double factor;
  };
  const Row rows[] = {{"one notch in", 120, 1.25},
                      {"two notches out", -240, 1 / 1.5625},
                      {"half a notch in", 60, std::sqrt(1.25)}};
  for (const Row& row : rows) {
    const QPointF pointer(150, 120);
    const QPointF under = (pointer - c.Origin()) / c.zoom();
    const double before = c.zoom();
    Wheel(c, pointer, row.delta, Qt::ControlModifier);
    EXPECT_NEAR(c.zoom(), before * row.factor, 1e-9) << row.name;
    const QPointF now = OnScreen(c, under);
    EXPECT_NEAR(now.x(), pointer.x(), 1.0) << row.name;
    EXPECT_NEAR(now.y(), pointer.y(), 1.0) << row.name;
  }
  const double zoom = c.zoom();
  const int top = c.verticalScrollBar()->value();
  Wheel(c, QPointF(150, 120), -120, Qt::NoModifier);
  EXPECT_EQ(c.zoom(), zoom);
  EXPECT_GT(c.verticalScrollBar()->value(), top);
}

TEST(PictureWindow, ZoomStaysWithinItsBounds) {
  Shown s;
  PictureCanvas& c = s.canvas();
  for (int i = 0; i < 60; ++i) c.ZoomIn();
  EXPECT_EQ(c.zoom(), PictureCanvas::kMaxZoom);
  // The scroll range reaches every part of the picture and no further.
  EXPECT_EQ(c.horizontalScrollBar()->maximum(),
            std::lround(400 * PictureCanvas::kMaxZoom) - c.viewport()->width());
  for (int i = 0; i < 60; ++i) c.ZoomOut();
  EXPECT_EQ(c.zoom(), PictureCanvas::kMinZoom);
}

TEST(PictureWindow, PaintsThePictureWhereTheZoomPutsIt) {
  Shown s;
  PictureCanvas& c = s.canvas();
  struct Row {
    const char* name;
    double zoom;
    int scrollX;
  };
  const Row rows[] = {{"fitted", 0, 0}, {"actual size", 1.0, 0}, {"zoomed and scrolled", 2.5, 150}};
  for (const Row& row : rows) {
    if (row.zoom == 0) {
      c.FitToWindow();
    } else {
      c.SetZoom(row.zoom);
      c.horizontalScrollBar()->setValue(row.scrollX);
    }
    const QImage shot = c.viewport()->grab().toImage();
    const double dpr = shot.devicePixelRatio();
    auto pixel = [&](QPointF at) {
      const QPointF p = OnScreen(c, at) * dpr;
      return QColor(shot.pixel(p.toPoint()));
    };
    EXPECT_EQ(pixel(QPointF(150, 200)), kLeft) << row.name;
    EXPECT_EQ(pixel(QPointF(300, 200)), kRight) << row.name;
  }
}

TEST(PictureWindow, DraggingPans) {
  Shown s;
  PictureCanvas& c = s.canvas();
  c.SetZoom(4.0);
  QScrollBar& h = *c.horizontalScrollBar();
  QScrollBar& v = *c.verticalScrollBar();
  h.setValue(300);
  v.setValue(200);
  QWidget* port = c.viewport();
  QTest::mousePress(port, Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
  QTest::mouseMove(port, QPoint(160, 170));
  QTest::mouseRelease(port, Qt::LeftButton, Qt::NoModifier, QPoint(160, 170));
  EXPECT_EQ(h.value(), 340);
  EXPECT_EQ(v.value(), 230);
}

TEST(PictureImage, KeepsTheProportionsWithinTheBounds) {
  struct Row {
    const char* name;
    QSizeF size;
    QSize bounds;
    QSize pixels;
  };
  const Row rows[] = {
      {"same proportions", {400, 250}, {1600, 1000}, {1600, 1000}},
      {"square", {100, 100}, {1600, 1000}, {1000, 1000}},
      {"wide", {3000, 500}, {1600, 1000}, {1600, 267}},
      {"thin", {1, 10000}, {1600, 1000}, {1, 1000}},
      {"small bounds", {800, 600}, {200, 200}, {200, 150}},
  };
  for (const Row& row : rows) EXPECT_EQ(ImagePixels(row.size, row.bounds), row.pixels) << row.name;
}

TEST(PictureWindow, CopyPutsTheImageOnTheClipboard) {
  Shown s;
  QApplication::clipboard()->clear();
  s.Press(Qt::CTRL | Qt::Key_C);
  const QImage image = QApplication::clipboard()->image();
  ASSERT_EQ(image.size(), QSize(1600, 1000));
  EXPECT_EQ(QColor(image.pixel(600, 800)), kLeft);
  EXPECT_EQ(QColor(image.pixel(1000, 800)), kRight);
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The texts of an SVG document, or nothing when it does not parse.
std::optional<QStringList> SvgTexts(const QByteArray& bytes) {
  QXmlStreamReader xml(bytes);
  QStringList texts;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isCharacters() && !xml.isWhitespace()) texts << xml.text().toString().trimmed();
  }
  if (xml.hasError()) return std::nullopt;
  return texts;
}

TEST(PictureWindow, ExportsEachFormat) {
  Shown s;
  QTemporaryDir dir;
  struct Row {
    const char* name;
    bool written;
  };
  const Row rows[] = {{"chart.png", true}, {"chart.SVG", true}, {"chart.pdf", true},
                      {"chart.jpg", false}, {"missing/chart.png", false}};
  for (const Row& row : rows) {
    const QString path = dir.filePath(QString::fromLatin1(row.name));
    QString error;
    EXPECT_EQ(s.window->ExportTo(path, error), row.written) << row.name;
    EXPECT_EQ(error.isEmpty(), row.written) << row.name;
    EXPECT_EQ(QFile::exists(path), row.written) << row.name;
  }
  const QImage png(dir.filePath("chart.png"));
  EXPECT_EQ(png.size(), QSize(1600, 1000));
  EXPECT_EQ(QColor(png.pixel(600, 800)), kLeft);
  const auto texts = SvgTexts(ReadAll(dir.filePath("chart.SVG")));
  ASSERT_TRUE(texts.has_value());
  EXPECT_TRUE(texts->contains(QStringLiteral("ALPHA-7")));
  EXPECT_TRUE(texts->contains(QStringLiteral("Test chart of B7")));
  EXPECT_TRUE(ReadAll(dir.filePath("chart.pdf")).startsWith("%PDF-"));
}

TEST(PictureWindow, PrintsToAPdfPrinter) {
  Shown s;
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath("printed.pdf"));
  ASSERT_TRUE(s.window->PrintTo(printer));
  const QByteArray bytes = ReadAll(dir.filePath("printed.pdf"));
  EXPECT_TRUE(bytes.startsWith("%PDF-"));
  EXPECT_GT(bytes.size(), 500);
}

TEST(PictureWindow, TheMainWindowOpensSeveralThatCloseOnTheirOwn) {
  test::DocumentFixture f;
  MainWindow frame(f.platform, f.doc);
  frame.show();
  QPointer<PictureWindow> first = frame.ShowPicture(TestPicture(QStringLiteral("First")));
  QPointer<PictureWindow> second = frame.ShowPicture(TestPicture(QStringLiteral("Second")));
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(first->isVisible() && second->isVisible());
  EXPECT_TRUE(first->isWindow());
  EXPECT_FALSE(first->isModal());
  EXPECT_EQ(first->windowTitle(), QStringLiteral("First"));
  second->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(second));
  QTest::keyClick(second->windowHandle(), Qt::Key_Escape);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(second.isNull());
  ASSERT_FALSE(first.isNull());
  first->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(first));
  QTest::keyClick(first->windowHandle(), Qt::Key_W, Qt::ControlModifier);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
}

}  // namespace
}  // namespace kinvar::gui

namespace kinvar::gui {
namespace {

// Double-click on an ID, then the menu's chart entry: the chart of that
// individual opens in a window of its own, with the coefficients computed.
TEST(PedigreeChartCommand, OpensTheChartOfTheIndividualClickedOn) {
  test::HerdWindow f;
  MainWindow& frame = f.frame;
  ASSERT_TRUE(frame.CommandEnabled(kCmdViewPedigreeChart));
  QMenu* menu = frame.ShowIndividualMenu("C2");
  ASSERT_NE(menu, nullptr);
  QAction* chart = nullptr;
  for (QAction* act : menu->actions())
    if (act->data().toInt() == kCmdViewPedigreeChart) chart = act;
  ASSERT_NE(chart, nullptr);
  chart->trigger();  // runs once the menu is gone
  QTest::qWait(50);
  const auto windows = frame.findChildren<PictureWindow*>();
  ASSERT_EQ(windows.size(), 1);
  EXPECT_TRUE(windows.front()->isVisible());
  EXPECT_FALSE(windows.front()->windowTitle().isEmpty());
  EXPECT_FALSE(windows.front()->picture().size.isEmpty());
  EXPECT_TRUE(f.doc.pedigree().inbreedingComputed);
  EXPECT_TRUE(f.platform.messages.empty());
}

// A double click on an animal of the chart offers its commands, as in the
// report and the tables; elsewhere it offers nothing.
TEST(PedigreeChartCommand, ADoubleClickOnAnAncestorOffersItsCommands) {
  test::HerdWindow f;
  MainWindow& frame = f.frame;
  QAction* chart = nullptr;
  for (QAction* act : frame.ShowIndividualMenu("C4")->actions())
    if (act->data().toInt() == kCmdViewPedigreeChart) chart = act;
  ASSERT_NE(chart, nullptr);
  chart->trigger();
  QTest::qWait(50);
  const auto windows = frame.findChildren<PictureWindow*>();
  ASSERT_EQ(windows.size(), 1);
  PictureCanvas* canvas = windows.front()->canvas();
  const pictures::Picture& picture = canvas->picture();
  ASSERT_TRUE(picture.idAt);
  // The middle of B1's box, found over the picture and put on the screen.
  std::optional<QPointF> at;
  for (double y = 0; y < picture.size.height() && !at; y += 4)
    for (double x = 0; x < picture.size.width() && !at; x += 4)
      if (picture.idAt(QPointF(x, y)) == "B1") at = QPointF(x, y);
  ASSERT_TRUE(at);
  QTest::mouseDClick(canvas->viewport(), Qt::LeftButton, {},
                     (canvas->Origin() + *at * canvas->zoom()).toPoint() + QPoint(2, 2));
  ASSERT_NE(frame.individualMenu(), nullptr);
  EXPECT_EQ(frame.individualMenu()->actions().front()->text().toStdString(), "Inbreeding coefficient of B1");
  frame.individualMenu()->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(frame.individualMenu(), nullptr);
  QTest::mouseDClick(canvas->viewport(), Qt::LeftButton, {}, QPoint(1, 1));
  EXPECT_EQ(frame.individualMenu(), nullptr);
}

}  // namespace
}  // namespace kinvar::gui

namespace kinvar::gui {
namespace {

// The View menu's drawings and charts: each asks what its analysis asks (a
// group from the list), then opens a window of its own with its picture;
// a chart leaves its analysis's report on screen.
TEST(PictureCommands, DrawingsAndChartsOpenTheirWindows) {
  const struct {
    const char* name;
    std::int32_t id;
    int groupRow;          // picked in the group list, -1 none asked
    std::int32_t report;   // the report on screen afterwards, 0 unchanged
  } rows[] = {
      {"ancestors of group 3", kCmdDrawAncestorsGroup, 2, 0},
      {"trends over all", kCmdChartTrends, 0, kCmdDiversity},
      {"distribution of F", kCmdChartFDistribution, -1, kCmdStructure},
      {"founders of group 3", kCmdChartFounders, 2, kCmdGeneOrigin},
      {"relationships between groups", kCmdChartGroupHeatMap, -1, kCmdAverageBetweenGroups},
      {"optimum contributions of groups 1 and 2", kCmdChartContributions, -1, kCmdOptimumContributions},
      {"purging over all", kCmdChartPurging, -1, kCmdPurging},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::HerdWindow f;
    MainWindow& frame = f.frame;
    ASSERT_TRUE(frame.CommandEnabled(row.id));
    if (row.groupRow >= 0)
      test::WhenShown<GroupChoiceDialog>([&row](GroupChoiceDialog& d) {
        d.list()->setCurrentIndex(row.groupRow);
        d.button()->click();
      });
    // The purging settings follow the group; no gene dropping, so no seed.
    if (row.id == kCmdChartPurging)
      test::WhenShown<GroupChoiceDialog>([](GroupChoiceDialog& d) {
        test::WhenShown<ValueFormDialog>([](ValueFormDialog& form) { form.button()->click(); });
        d.button()->click();
      });
    if (row.id == kCmdChartContributions)
      test::WhenShown<TwoGroupsDialog>([](TwoGroupsDialog& d) {
        test::WhenShown<ValueFormDialog>([](ValueFormDialog& form) {
          form.button()->click();
        });
        d.button()->click();
      });
    frame.Dispatch(row.id);
    // A drawing is laid out on a worker: its window comes a moment later.
    for (int waited = 0; frame.findChildren<PictureWindow*>().isEmpty() && waited < 10000; waited += 10)
      QTest::qWait(10);
    const auto windows = frame.findChildren<PictureWindow*>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_FALSE(windows.front()->windowTitle().isEmpty());
    EXPECT_FALSE(windows.front()->picture().size.isEmpty());
    EXPECT_EQ(f.doc.lastCommand(), row.report == 0 ? kCmdViewPedigree : row.report);
    EXPECT_TRUE(f.platform.messages.empty());
  }
}

// A chart over one group asks for it in a dialog named after the chart,
// and draws that group.
TEST(PictureCommands, AChartsGroupDialogSaysWhatItWillDraw) {
  const struct {
    const char* name;
    std::int32_t id;
    const char* caption;
    const char* pictureTitle;
  } rows[] = {
      {"trends", kCmdChartTrends, "Trends by group", "Trends by group"},
      {"founders", kCmdChartFounders, "Founder contributions", "Founder contributions to group 3"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::HerdWindow f;
    MainWindow& frame = f.frame;
    QString caption;
    int asked = 0;
    test::WhenShown<GroupChoiceDialog>([&](GroupChoiceDialog& d) {
      ++asked;
      caption = d.windowTitle();
      d.list()->setCurrentText("3");
      d.button()->click();
    });
    frame.Dispatch(row.id);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(caption, QString::fromUtf8(row.caption));
    const auto windows = frame.findChildren<PictureWindow*>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_EQ(windows.front()->picture().title, QString::fromUtf8(row.pictureTitle));
  }
}

}  // namespace
}  // namespace kinvar::gui

namespace kinvar::gui {
namespace {

// View › Charts › Matings: the groups and the contribution file are asked
// once, for the proven optimum; the annealing then runs with them and its
// report stays on screen.
TEST(PictureCommands, TheMatingChartAsksItsInputsOnce) {
  test::HerdWindow f;
  MainWindow& frame = f.frame;
  int asked = 0;
  test::WhenShown<TwoGroupsDialog>([&](TwoGroupsDialog& d) {
    ++asked;
    d.listA()->setCurrentText("2");
    d.listB()->setCurrentText("3");
    test::WhenShown<QFileDialog>([&](QFileDialog& files) {
      ++asked;
      files.selectFile(QString(KINVAR_EXAMPLES_DIR) + "/herd-sires.c");
      static_cast<QDialog&>(files).accept();
    });
    d.button()->click();
  });
  frame.Dispatch(kCmdChartMatings);
  EXPECT_EQ(asked, 2);
  const auto windows = frame.findChildren<PictureWindow*>();
  ASSERT_EQ(windows.size(), 1);
  EXPECT_FALSE(windows.front()->picture().size.isEmpty());
  EXPECT_EQ(f.doc.lastCommand(), kCmdOptimizeMatings);
  EXPECT_FALSE(f.doc.remembered.values.Flag(OptimizeMatingsDeclaration(), "exact"));
  const ReportStore& report = f.doc.pedigree().report;
  bool minimum = false;  // the annealing's report names the proven minimum
  for (int i = 0; i < report.Count(); ++i)
    minimum = minimum || report.Line(i).find("minimum possible") != std::string_view::npos;
  EXPECT_TRUE(minimum);
}

}  // namespace
}  // namespace kinvar::gui

namespace kinvar::gui {
namespace {

// The chart window's generations: fewer draw a smaller chart of the same
// individual; once another pedigree is open the box gives up.
TEST(PedigreeChartCommand, TheWindowRedrawsTheChartForOtherGenerations) {
  test::HerdWindow f;
  MainWindow& frame = f.frame;
  f.platform.AnswerNextIndividual("C4");
  frame.Dispatch(kCmdViewPedigreeChart);
  const auto windows = frame.findChildren<PictureWindow*>();
  ASSERT_EQ(windows.size(), 1);
  PictureWindow* window = windows.front();
  ASSERT_NE(window->variantBox(), nullptr);
  EXPECT_EQ(window->variantBox()->value(), 4);
  const QSizeF four = window->picture().size;
  window->variantBox()->setValue(2);
  EXPECT_LT(window->picture().size.width(), four.width());
  EXPECT_EQ(window->windowTitle(), window->picture().title);
  frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/small.pdg");
  const QSizeF two = window->picture().size;
  window->variantBox()->setValue(3);
  EXPECT_FALSE(window->variantBox()->isEnabled());
  EXPECT_EQ(window->picture().size, two);
}

}  // namespace
}  // namespace kinvar::gui
