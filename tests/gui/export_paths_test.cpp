// File > Export after a path counting too long for the report: the file
// holds every path, as Save As does, and the table tabs show them all.
#include <gtest/gtest.h>

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>

#include <filesystem>
#include <string>
#include <vector>

#include "app/commands.h"
#include "gui/main_window.h"
#include "gui/table_model.h"
#include "gui/table_pane.h"
#include "support/table_readers.h"
#include "support/test_files.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

TEST(ExportPaths, ExportOfAPathCountingCutByTheReportHoldsEveryPath) {
  // Sixteen generations of full-sib matings: 131,038 paths.
  const kinvar::test::TempFile pedigree(kinvar::test::FullSibLine("id sire dam\nM0 0 0\nF0 0 0\n", 16, "", 'M', 'F'));
  test::DocumentFixture f;
  MainWindow frame{f.platform, f.doc};
  frame.OpenFile(QString::fromStdString(pedigree.path()));
  frame.Dispatch(kCmdPathCountingAll);
  ASSERT_TRUE(f.doc.pedigree().report.Full());
  const QString dir = f.folder.path();
  test::WhenShown<QFileDialog>([&](QFileDialog& d) {
    d.setDirectory(dir);
    d.selectNameFilter("JSON (*.json)");
    emit d.filterSelected("JSON (*.json)");
    d.selectFile("paths");
    static_cast<QDialog&>(d).accept();
  });
  frame.Dispatch(kCmdFileExport);
  ASSERT_TRUE(QFileInfo::exists(dir + "/paths.json"));
  const std::string json = kinvar::test::ReadWholeFile((dir + "/paths.json").toStdString());
  EXPECT_EQ(kinvar::test::JsonTableRows(json, "paths").size(), 1u + 131038u);
  EXPECT_EQ(kinvar::test::JsonTableRows(json, "inbreds").size(), 1u + 30u);
  const TablePane* paths = frame.tablePanes()[1];
  EXPECT_EQ(paths->model().rowCount(), 131038);
  EXPECT_TRUE(f.platform.messages.empty());
}

// Export over a read-only file asks first, naming the file: No leaves every
// file of the export as it was, Yes replaces them.
TEST(ExportPaths, AReadOnlyFileIsReplacedOnlyWhenTheUserSaysYes) {
  const kinvar::test::TempFile pedigree("id sire dam\nA 0 0\nB 0 0\nC A B\nD A C\n");
  test::DocumentFixture f;
  MainWindow frame{f.platform, f.doc};
  frame.OpenFile(QString::fromStdString(pedigree.path()));
  frame.Dispatch(kCmdCompute);
  const std::string folder = f.folder.path().toStdString() + "/tables";
  std::filesystem::create_directories(folder);
  const std::string summary = folder + "/summary.csv", inbreeding = folder + "/inbreeding.csv";
  for (const Answer answer : {Answer::kNo, Answer::kYes}) {
    kinvar::test::WriteWholeFile(summary, "old\n");
    std::filesystem::remove(inbreeding);
    kinvar::test::WriteWholeFile(inbreeding, "read-only\n");
    std::filesystem::permissions(inbreeding, std::filesystem::perms::owner_read);
    f.platform.messages.clear();
    f.platform.answer = answer;
    EXPECT_EQ(frame.ExportTo(QString::fromStdString(folder), TableFormat::kCsv), answer == Answer::kYes);
    EXPECT_EQ(f.platform.messages,
              std::vector<std::string>{inbreeding + " is read-only.\nDo you want to replace it?"});
    EXPECT_EQ(kinvar::test::ReadWholeFile(summary) == "old\n", answer == Answer::kNo);
    EXPECT_EQ(kinvar::test::ReadWholeFile(inbreeding) == "read-only\n", answer == Answer::kNo);
  }
}

}  // namespace
}  // namespace kinvar::gui
