// Opening files in the main window: a failed Open leaves the window as it
// was, and the progress window says which file it loads.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "gui/report_view.h"
#include "gui/main_window.h"
#include "gui/progress_dialog.h"
#include "gui_support.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

const QString kHerd = QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg";

struct Frame : DocumentFixture {
  Frame() {
    frame.resize(800, 600);
    frame.show();
  }
  MainWindow frame{platform, doc};
};

TEST(OpenInMainWindow, AFailedOpenKeepsTheTitleAndTheReport) {
  const kinvar::test::TempFile unreadable("calf father mother\nA 0 0\n");
  const kinvar::test::TempFile empty("");
  const struct {
    const char* name;
    QString path;
  } rows[] = {{"unreadable header", QString::fromStdString(unreadable.path())},
              {"empty file", QString::fromStdString(empty.path())},
              {"missing file", QString::fromStdString(empty.path() + ".missing")}};
  for (const auto& row : rows) {
    Frame f;
    f.frame.OpenFile(kHerd);
    f.frame.Dispatch(kCmdCompute);
    const QString title = f.frame.windowTitle();
    ASSERT_EQ(title.toStdString(), "herd.pdg - [Kinvar]") << row.name;
    const std::vector<std::string> report = kinvar::test::ReportLines(f.doc.pedigree());
    QApplication::processEvents();
    const QImage shown = f.frame.view()->viewport()->grab().toImage();

    f.frame.OpenFile(row.path);
    // The close question, then why the file could not be read.
    EXPECT_EQ(f.platform.messages.size(), 2u) << row.name;
    EXPECT_EQ(f.frame.windowTitle(), title) << row.name;
    EXPECT_EQ(kinvar::test::ReportLines(f.doc.pedigree()), report) << row.name;
    EXPECT_EQ(f.doc.lastCommand(), kCmdCompute) << row.name;
    QApplication::processEvents();
    const QImage after = f.frame.view()->viewport()->grab().toImage();
    EXPECT_TRUE(after == shown) << row.name;
    EXPECT_TRUE(f.frame.action(kCmdViewPedigree)->isEnabled()) << row.name;
    EXPECT_EQ(f.frame.recentFiles().size(), 1) << row.name;
  }
}

TEST(ProgressWindow, ShowsItsTextAboveTheBarOnlyWhenItHasOne) {
  ProgressDialog window;
  EXPECT_FALSE(window.caption()->isVisible());
  const int bare = window.height();
  const QPoint centre = window.geometry().center();

  window.SetWindowText("Loading herd.pdg");
  EXPECT_TRUE(window.caption()->isVisible());
  EXPECT_EQ(window.caption()->text().toStdString(), "Loading herd.pdg");
  EXPECT_EQ(window.windowTitle().toStdString(), "Loading herd.pdg");
  EXPECT_GT(window.height(), bare);
  EXPECT_LE((window.geometry().center() - centre).manhattanLength(), 1);
  // Above the bar and within the window.
  EXPECT_LE(window.caption()->geometry().bottom(), window.bar()->geometry().top());
  EXPECT_TRUE(window.rect().contains(window.caption()->geometry()));

  const int width = window.width();
  window.SetWindowText("Loading " + std::string(300, 'x') + ".pdg");
  EXPECT_EQ(window.width(), width);

  window.SetWindowText("");
  EXPECT_FALSE(window.caption()->isVisible());
  EXPECT_EQ(window.height(), bare);
}

TEST(ProgressWindow, NamesTheFileWhileItLoads) {
  Frame f;
  std::vector<std::string> seen;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&seen] {
    auto* window = qobject_cast<ProgressDialog*>(QApplication::activeModalWidget());
    if (window == nullptr || !window->caption()->isVisible()) return;
    const std::string text = window->caption()->text().toStdString();
    if (seen.empty() || seen.back() != text) seen.push_back(text);
  });
  watch.start(0);
  f.frame.OpenFile(kHerd);
  watch.stop();
  EXPECT_EQ(seen, std::vector<std::string>{"Loading herd.pdg"});
}

}  // namespace
}  // namespace kinvar::gui
