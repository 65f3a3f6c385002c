// The analyses over every group run on a worker thread while the window's
// event loop keeps turning: observed from inside a running command, which
// waits for the interface thread to serve a timer before it goes on.
#include <QApplication>
#include <QMenuBar>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "app/commands.h"
#include "gui/main_window.h"
#include "gui_support.h"
#include "support/cancel_window.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

// Each progress window the command opens records the thread it was opened
// on and whether a timer on the interface thread fired, and the frame was
// busy, while the command waited for it.
class ObservingPlatform : public test::RecordingPlatform {
 public:
  std::unique_ptr<ProgressWindow> OpenProgress() override {
    const bool worker = QThread::currentThread() != qApp->thread();
    // Also reached on the interface thread when a worker's window is made.
    if (!worker) return QtPlatform::OpenProgress();
    onWorker.push_back(worker);
    QSemaphore served;
    QTimer::singleShot(0, qApp, [this, &served] {
      busy.push_back(frame != nullptr && frame->Working());
      served.release();
    });
    // Blocking the interface thread instead would time out here.
    turned.push_back(worker && served.tryAcquire(1, 10000));
    if (cancel) return std::make_unique<kinvar::test::CancelAtPoll>();
    return QtPlatform::OpenProgress();
  }
  MainWindow* frame = nullptr;
  bool cancel = false;
  std::vector<bool> onWorker, turned, busy;
};

struct Fixture {
  QTemporaryDir folder;
  ObservingPlatform platform;
  Document doc{platform, folder.path().toStdString() + "/"};
  MainWindow frame{platform, doc};
  Fixture() { platform.frame = &frame; }
};

// 600 individuals in 6 groups of birth order: odd ones sires, even ones
// dams, each drawn from the 80 born before.
std::string GroupedPedigree() {
  std::string text = "Progeny Sire Dam Group\n";
  for (int i = 1; i <= 600; ++i) {
    std::string sire = "0", dam = "0";
    if (i > 80) {
      sire = "I" + std::to_string(i - 80 + 2 * ((i * 7) % 39) + (i % 2 == 0 ? 1 : 0));
      dam = "I" + std::to_string(i - 80 + 2 * ((i * 13) % 39) + (i % 2 == 0 ? 0 : 1));
    }
    text += "I" + std::to_string(i) + " " + sire + " " + dam + " " + std::to_string(1 + (i - 1) / 100) + "\n";
  }
  return text;
}

TEST(WorkerCommands, TheEventLoopTurnsWhileEachGroupAnalysisRuns) {
  const kinvar::test::TempFile file(GroupedPedigree());
  struct Row {
    const char* name;
    std::int32_t id;
  };
  const Row rows[] = {
      {"structure", kCmdStructure},
      {"average between groups", kCmdAverageBetweenGroups},
      {"diversity summary", kCmdDiversity},
      {"mean kinship", kCmdMeanKinship},
  };
  for (const Row& row : rows) {
    Fixture f;
    f.frame.OpenFile(QString::fromStdString(file.path()));
    f.doc.remembered.values.Set(kCmdDiversity, "group", "all");
    f.doc.remembered.values.Set(kCmdMeanKinship, "group", "all");
    f.doc.askInputs = false;
    f.platform.onWorker.clear();  // the load's window, on this thread
    f.platform.turned.clear();
    f.platform.busy.clear();
    ASSERT_TRUE(f.frame.CommandEnabled(row.id)) << row.name << " " << f.doc.pedigree().nGroups;
    f.frame.Dispatch(row.id);
    EXPECT_EQ(f.doc.lastCommand(), row.id) << row.name;
    ASSERT_FALSE(f.platform.onWorker.empty()) << row.name;
    for (std::size_t i = 0; i < f.platform.onWorker.size(); ++i) {
      EXPECT_TRUE(f.platform.onWorker[i]) << row.name << " window " << i;
      EXPECT_TRUE(f.platform.turned[i]) << row.name << " window " << i;
      EXPECT_TRUE(f.platform.busy[i]) << row.name << " window " << i;
    }
    EXPECT_FALSE(f.frame.Working()) << row.name;
    EXPECT_TRUE(f.frame.menuBar()->isEnabled()) << row.name;
    EXPECT_TRUE(f.frame.centralWidget()->isEnabled()) << row.name;
  }
}

TEST(WorkerCommands, ACancelOnTheWorkerKeepsTheReportShownBefore) {
  const kinvar::test::TempFile file(GroupedPedigree());
  Fixture f;
  f.frame.OpenFile(QString::fromStdString(file.path()));
  f.frame.Dispatch(kCmdCompute);
  const std::int32_t before = f.doc.lastCommand();
  const std::size_t lines = f.doc.pedigree().report.Count();
  f.doc.remembered.values.Set(kCmdDiversity, "group", "all");
  f.doc.askInputs = false;
  f.platform.cancel = true;
  f.frame.Dispatch(kCmdDiversity);
  EXPECT_EQ(f.doc.lastCommand(), before);
  EXPECT_EQ(f.doc.pedigree().report.Count(), lines);
  ASSERT_FALSE(f.platform.statusLines.empty());
  EXPECT_EQ(f.platform.statusLines.back(), "Cancelled. The report shown before is kept.");
  EXPECT_FALSE(f.frame.Working());
}

}  // namespace
}  // namespace kinvar::gui
