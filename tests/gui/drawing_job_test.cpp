// A drawing laid out on a worker thread: the progress window and its
// Cancel, what is left after a cancel or after the window that asked went
// away, the view a large drawing opens with, and its search box.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <sstream>
#include <memory>
#include <string>

#include "analyses/pedigree_drawing.h"
#include "app/commands.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/picture_window.h"
#include "gui_support.h"
#include "pictures/pedigree_certificate_picture.h"
#include "pictures/pedigree_drawing_picture.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

using pictures::Picture;

// Work that runs until the test opens its gate.
struct Gate {
  std::promise<void> open;
  std::shared_future<void> opened = open.get_future().share();
  std::function<LaidOutPicture()> Work(QSizeF size = QSizeF(400, 300)) {
    return [opened = opened, size] {
      opened.wait();
      LaidOutPicture laidOut;
      laidOut.picture = Picture{QStringLiteral("Late picture"), size, [](QPainter&) {}};
      return laidOut;
    };
  }
};

// Waits up to `ms` for `done`, serving events meanwhile.
bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QTest::qWait(10);
  return done();
}

QList<PictureWindow*> PictureWindows() {
  QList<PictureWindow*> found;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* window = qobject_cast<PictureWindow*>(w); window && !window->isHidden()) found << window;
  return found;
}

TEST(PictureJob, ShowsProgressWhileTheWorkRunsThenOpensTheWindow) {
  QWidget owner;
  owner.show();
  Gate gate;
  QPointer<PictureJob> job = new PictureJob(gate.Work(), QStringLiteral("Laying out 9 nodes..."), &owner);
  QSignalSpy ended(job.data(), &PictureJob::ended);
  EXPECT_FALSE(job->progress()->isVisible());  // not for work that ends at once
  ASSERT_TRUE(WaitFor([&] { return job->progress()->isVisible(); }));
  EXPECT_EQ(job->progress()->labelText(), QStringLiteral("Laying out 9 nodes..."));
  // The interface thread is free: it served the events that showed the window.
  EXPECT_TRUE(PictureWindows().isEmpty());
  gate.open.set_value();
  ASSERT_TRUE(WaitFor([&] { return job.isNull(); }));
  ASSERT_EQ(ended.size(), 1);
  EXPECT_TRUE(ended.front().front().toBool());
  const auto windows = owner.findChildren<PictureWindow*>();
  ASSERT_EQ(windows.size(), 1);
  EXPECT_EQ(windows.front()->windowTitle(), QStringLiteral("Late picture"));
  EXPECT_TRUE(windows.front()->isVisible());
  delete windows.front();
}

TEST(PictureJob, CancelAbandonsTheWorkAndOpensNothing) {
  const struct {
    const char* name;
    bool escape;  // else the Cancel button
  } rows[] = {{"Cancel button", false}, {"Escape", true}};
  for (const auto& row : rows) {
    QWidget owner;
    owner.show();
    Gate gate;
    QPointer<PictureJob> job = new PictureJob(gate.Work(), QStringLiteral("Laying out"), &owner);
    QSignalSpy ended(job.data(), &PictureJob::ended);
    ASSERT_TRUE(WaitFor([&] { return job->progress()->isVisible(); })) << row.name;
    if (row.escape) {
      QTest::keyClick(job->progress(), Qt::Key_Escape);
    } else {
      auto* cancel = job->progress()->findChild<QPushButton*>();
      ASSERT_NE(cancel, nullptr) << row.name;
      cancel->click();
    }
    ASSERT_EQ(ended.size(), 1) << row.name;
    EXPECT_FALSE(ended.front().front().toBool()) << row.name;
    ASSERT_TRUE(WaitFor([&] { return job.isNull(); })) << row.name;
    // The work ends later; its picture goes nowhere.
    gate.open.set_value();
    QTest::qWait(100);
    EXPECT_TRUE(owner.findChildren<PictureWindow*>().isEmpty()) << row.name;
    EXPECT_TRUE(owner.findChildren<QProgressDialog*>().isEmpty()) << row.name;
    EXPECT_TRUE(owner.isEnabled()) << row.name;
  }
}

TEST(PictureJob, TheOwnerClosingDuringTheWorkLeavesNoWindow) {
  auto* owner = new QWidget;
  owner->setAttribute(Qt::WA_DeleteOnClose);
  owner->show();
  Gate gate;
  QPointer<PictureJob> job = new PictureJob(gate.Work(), QStringLiteral("Laying out"), owner);
  ASSERT_TRUE(WaitFor([&] { return job->progress()->isVisible(); }));
  owner->close();
  ASSERT_TRUE(WaitFor([&] { return job.isNull(); }));
  gate.open.set_value();
  QTest::qWait(100);
  EXPECT_TRUE(PictureWindows().isEmpty());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A founder sire with `progeny` progeny, each of a dam of its own: its
// descendants drawing is one row of them, far wider than any window.
std::string WideLine(int progeny) {
  std::string text = "Progeny Sire Dam\nS 0 0\n";
  for (int i = 0; i < progeny; ++i) text += "D" + std::to_string(i) + " 0 0\n";
  for (int i = 0; i < progeny; ++i) text += "P" + std::to_string(i) + " S D" + std::to_string(i) + "\n";
  return text;
}

// The window a drawing of `ped` from `id` opens, as the desktop lays it out.
PictureWindow* OpenDrawing(Pedigree& ped, const std::string& id, Kinship kinship,
                            pictures::DrawingLayout& layout, PedigreeDrawing& drawing) {
  DrawingRequest request;
  request.kinship = kinship;
  for (RecIndex i = 1; i <= ped.nTotal; ++i)
    if (ped.rec(i).Id() == id) request.individual = i;
  drawing = BuildPedigreeDrawing(ped, request);
  layout = pictures::LayOutPedigreeDrawing(drawing);  // the same layout again, for the test's eyes
  LaidOutPicture laidOut = LaidOutDrawing(std::make_shared<const PedigreeDrawing>(drawing));
  return OpenLaidOut(std::move(laidOut), nullptr);
}

QPointF ViewCentre(PictureCanvas& c) { return QRectF(c.viewport()->rect()).center(); }
QPointF OnScreen(PictureCanvas& c, QPointF at) { return c.Origin() + at * c.zoom(); }

// The picture's `point` in the middle of the view, each way, unless the
// picture's edge stops the scrolling before it gets there.
void ExpectCentred(PictureCanvas& c, QPointF point, const std::string& where) {
  const QPointF at = OnScreen(c, point), centre = ViewCentre(c);
  const auto edge = [](const QScrollBar* bar) {
    return bar->value() == bar->minimum() || bar->value() == bar->maximum();
  };
  if (std::abs(at.x() - centre.x()) > 2.0) {
    EXPECT_TRUE(edge(c.horizontalScrollBar())) << where << " x";
  }
  if (std::abs(at.y() - centre.y()) > 2.0) {
    EXPECT_TRUE(edge(c.verticalScrollBar())) << where << " y";
  }
  // A node off to the side is never left out of sight.
  EXPECT_TRUE(QRectF(c.viewport()->rect()).contains(at)) << where;
}

TEST(DrawingWindow, ALargeDrawingOpensReadableOnItsStartAndASmallOneFitted) {
  const struct {
    const char* name;
    std::string text;
    const char* start;
    Kinship kinship;
    bool readable;  // else fitted
  } rows[] = {
      {"400 progeny in a row", WideLine(400), "S", Kinship::kDescendants, true},
      {"herd.pdg", ReadFile(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"), "C2",
       Kinship::kAncestors, false},
  };
  for (const auto& row : rows) {
    auto ped = kinvar::test::Loaded(row.text);
    pictures::DrawingLayout layout;
    PedigreeDrawing drawing;
    QPointer<PictureWindow> window = OpenDrawing(*ped, row.start, row.kinship, layout, drawing);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << row.name;
    QApplication::processEvents();
    PictureCanvas& c = *window->canvas();
    if (!row.readable) {
      EXPECT_TRUE(c.fitted()) << row.name;
      EXPECT_GE(c.zoom(), pictures::ReadableDrawingZoom()) << row.name;
    } else {
      EXPECT_FALSE(c.fitted()) << row.name;
      // The IDs' 13 units read as 9 points (12 pixels) on screen.
      EXPECT_NEAR(c.zoom() * 13, 12.0, 0.01) << row.name;
      const QPointF start = layout.nodes[*pictures::StartNode(drawing)].center();
      EXPECT_NEAR(OnScreen(c, start).x(), ViewCentre(c).x(), 2.0) << row.name;
      ExpectCentred(c, start, row.name);
      // It stays so while the window settles into a new size.
      window->resize(window->size() + QSize(80, 40));
      QApplication::processEvents();
      EXPECT_NEAR(OnScreen(c, start).x(), ViewCentre(c).x(), 2.0) << row.name;
      ExpectCentred(c, start, std::string(row.name) + ", resized");
    }
    delete window.data();
  }
}

TEST(DrawingWindow, TheSearchBoxCentresOnTheAnimalOrSaysItIsNotThere) {
  auto ped = kinvar::test::Loaded(WideLine(400));
  pictures::DrawingLayout layout;
  PedigreeDrawing drawing;
  QPointer<PictureWindow> window = OpenDrawing(*ped, "S", Kinship::kDescendants, layout, drawing);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  ASSERT_NE(window->searchBox(), nullptr);
  PictureCanvas& c = *window->canvas();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::keyClick(window->windowHandle(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(window->searchBox()->hasFocus());
  const auto nodeOf = [&](const char* id) {
    for (std::size_t i = 0; i < drawing.nodes.size(); ++i)
      if (drawing.nodes[i].id == id) return layout.nodes[i];
    return QRectF();
  };
  const struct {
    const char* name;
    const char* typed;
    const char* found;  // the node's ID, nullptr when none
  } rows[] = {
      {"a progeny far to the right, in lower case", "p371", "P371"},
      {"a mate from outside, spaces around", "  d12 ", "D12"},
      {"the start itself", "S", "S"},
      {"not in the drawing", "NOPE", nullptr},
      {"a prefix is not an ID", "P", nullptr},
  };
  for (const auto& row : rows) {
    c.SetZoom(0.05);  // a user who zoomed far out first
    window->searchBox()->setText(QString::fromLatin1(row.typed));
    QTest::keyClick(window->searchBox(), Qt::Key_Return);
    if (row.found == nullptr) {
      EXPECT_EQ(window->searchNote()->text(), QStringLiteral("Not in this drawing")) << row.name;
      EXPECT_FALSE(c.highlight().has_value()) << row.name;
      continue;
    }
    EXPECT_TRUE(window->searchNote()->text().isEmpty()) << row.name;
    const QRectF node = nodeOf(row.found);
    ASSERT_FALSE(node.isNull()) << row.name;
    ASSERT_TRUE(c.highlight().has_value()) << row.name;
    EXPECT_EQ(*c.highlight(), node) << row.name;
    EXPECT_NEAR(c.zoom(), pictures::ReadableDrawingZoom(), 1e-9) << row.name;
    ExpectCentred(c, node.center(), row.name);
  }
  delete window.data();
}

// View › Pedigree Certificate: the certificate of the animal asked for, on
// an A4 portrait page when printed, 3 to 5 generations in its box.
TEST(CertificateWindow, OpensOnFourGenerationsAndPrintsOnA4Portrait) {
  test::HerdWindow f;
  MainWindow& frame = f.frame;
  ASSERT_TRUE(frame.CommandEnabled(kCmdViewPedigreeCertificate));
  f.platform.AnswerNextIndividual("C2");
  frame.Dispatch(kCmdViewPedigreeCertificate);
  const auto windows = frame.findChildren<PictureWindow*>();
  ASSERT_EQ(windows.size(), 1);
  PictureWindow* window = windows.front();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Pedigree certificate of C2"));
  EXPECT_EQ(window->picture().size, pictures::kA4Portrait);
  EXPECT_EQ(window->pageLayout().pageSize().id(), QPageSize::A4);
  EXPECT_EQ(window->pageLayout().orientation(), QPageLayout::Portrait);
  ASSERT_NE(window->variantBox(), nullptr);
  EXPECT_EQ(window->variantBox()->value(), 4);
  EXPECT_EQ(window->variantBox()->minimum(), 3);
  EXPECT_EQ(window->variantBox()->maximum(), 5);
  window->variantBox()->setValue(5);
  EXPECT_EQ(window->picture().size, pictures::kA4Portrait);
  EXPECT_TRUE(f.doc.pedigree().inbreedingComputed);
  EXPECT_TRUE(f.platform.messages.empty());
}

// Through the menu: the picker closes, the layout runs on its worker, and
// the drawing's window opens with its search box.
TEST(DrawingWindow, TheMenuCommandOpensTheDrawingOnceLaidOut) {
  test::HerdWindow f;
  MainWindow& frame = f.frame;
  f.platform.AnswerNextIndividual("C2");
  frame.Dispatch(kCmdDrawAncestorsIndividual);
  ASSERT_TRUE(WaitFor([&] { return !frame.findChildren<PictureWindow*>().isEmpty(); }));
  PictureWindow* window = frame.findChildren<PictureWindow*>().front();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Ancestors of individual C2"));
  ASSERT_NE(window->searchBox(), nullptr);
  EXPECT_TRUE(f.platform.messages.empty());
}

}  // namespace
}  // namespace kinvar::gui
