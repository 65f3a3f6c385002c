// Tools > Planned Mating on the desktop: the dialog shows the remembered
// inputs, stays open with the message while the sire is a dam, runs once
// the inputs pass, and the report and the planned offspring's chart are
// shown.
#include "gui/planned_mating_dialog.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <string>

#include "app/commands.h"
#include "gui/main_window.h"
#include "gui/picture_window.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;
using test::WhenShown;

struct Frame : DocumentFixture {
  MainWindow frame{platform, doc};
};

bool ReportHolds(const Document& doc, const std::string& line) {
  const ReportStore& report = doc.pedigree().report;
  for (int i = 0; i < report.Count(); ++i)
    if (report.Line(i) == line) return true;
  return false;
}

TEST(PlannedMatingDialog, RunsOnceTheInputsPassAndShowsTheReportAndTheChart) {
  Frame f;
  f.frame.OpenFile(QStringLiteral(KINVAR_EXAMPLES_DIR "/herd.pdg"));
  ASSERT_TRUE(f.frame.action(kCmdPlannedMating)->isEnabled());
  bool stayedOpen = false;
  WhenShown<PlannedMatingDialog>([&](PlannedMatingDialog& d) {
    EXPECT_EQ(d.box("top")->text(), QStringLiteral("20"));
    EXPECT_TRUE(d.chartBox()->isChecked());
    d.box("sire")->setText(QStringLiteral("b2"));
    d.box("dam")->setText(QStringLiteral("B3"));
    d.computeButton()->click();
    stayedOpen = d.isVisible();
    d.box("sire")->setText(QStringLiteral("c3"));
    d.box("top")->setText(QStringLiteral("5"));
    d.computeButton()->click();
  });
  f.frame.Dispatch(kCmdPlannedMating);
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(f.platform.messages.size(), 1u);
  EXPECT_EQ(f.platform.messages[0], "Error: B2 is a dam in the pedigree and cannot be the sire.");
  EXPECT_EQ(f.doc.lastCommand(), kCmdPlannedMating);
  EXPECT_TRUE(ReportHolds(f.doc, "Inbreeding coefficient of the offspring = |X0.189453"));
  const auto windows = f.frame.findChildren<PictureWindow*>();
  ASSERT_EQ(windows.size(), 1);
  EXPECT_EQ(windows.front()->windowTitle().contains(QStringLiteral("C3 x B3")), true)
      << windows.front()->windowTitle().toStdString();
  // The remembered inputs open the dialog the next time; without the chart
  // ticked, no window opens.
  WhenShown<PlannedMatingDialog>([](PlannedMatingDialog& d) {
    EXPECT_EQ(d.box("sire")->text(), QStringLiteral("C3"));
    EXPECT_EQ(d.box("top")->text(), QStringLiteral("5"));
    d.chartBox()->setChecked(false);
    d.computeButton()->click();
  });
  f.frame.Dispatch(kCmdPlannedMating);
  EXPECT_EQ(f.frame.findChildren<PictureWindow*>().size(), 1);
}

}  // namespace
}  // namespace kinvar::gui
