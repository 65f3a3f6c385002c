// The desktop's genomic windows: after Parentage, the window of the flagged
// parents (exactly the herd's known ones, worked out here from its files)
// opening the pedigree chart of an animal; and View > Charts > Genomic
// against Pedigree F with its list of the three genomic coefficients.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "analyses/genomic_relationship_command.h"
#include "analyses/parentage_report.h"
#include "app/commands.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/parentage_window.h"
#include "gui/picture_window.h"
#include "gui_support.h"
#include "pedigree/pedigree.h"
#include "pictures/charts.h"
#include "pictures/pedigree_chart_picture.h"
#include "report/result_table.h"

namespace kinvar::gui {
namespace {

const std::string kHerd = std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg";
const std::string kSnps = std::string(KINVAR_EXAMPLES_DIR) + "/herd-snps.txt";
const std::string kVcf = std::string(KINVAR_EXAMPLES_DIR) + "/herd-genotypes.vcf";

// Answers the command's form with the genotype file, the rest as it stands.
void AnswerForm(const std::string& genotypes) {
  test::WhenShown<ValueFormDialog>([genotypes](ValueFormDialog& d) {
    auto* path = qobject_cast<QLineEdit*>(d.fields().front());
    ASSERT_NE(path, nullptr);
    path->setText(QString::fromStdString(genotypes));
    d.button()->click();
  });
}

// The first word of each line of a file, leaving out comments and the
// header, with the rest of the line's words.
std::vector<std::vector<std::string>> Words(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '!') continue;
    std::istringstream words(line);
    std::vector<std::string> row;
    for (std::string w; words >> w;) row.push_back(w);
    if (!row.empty() && row[0] != "Progeny") lines.push_back(row);
  }
  return lines;
}

// The herd's flagged parents: each unknown parent ("0") of a genotyped
// animal, and C2's sire, recorded as B1, whose SNPs the example's genotypes
// took from B4.
std::set<std::pair<std::string, std::string>> HerdFlagged() {
  std::set<std::string> genotyped;
  for (const auto& row : Words(kSnps)) genotyped.insert(row[0]);
  std::set<std::pair<std::string, std::string>> flagged{{"C2", "sire"}};
  for (const auto& row : Words(kHerd)) {
    if (genotyped.count(row[0]) == 0) continue;
    if (row[1] == "0") flagged.insert({row[0], "sire"});
    if (row[2] == "0") flagged.insert({row[0], "dam"});
  }
  return flagged;
}

struct Frame {
  test::DocumentFixture f;
  MainWindow frame{f.platform, f.doc};
  Frame() {
    frame.show();
    frame.OpenFile(QString::fromStdString(kHerd));
  }
  // The picture windows shown, the newest last.
  std::vector<PictureWindow*> Pictures() const {
    std::vector<PictureWindow*> shown;
    for (PictureWindow* w : frame.findChildren<PictureWindow*>())
      if (w->isVisible()) shown.push_back(w);
    return shown;
  }
};

int RowOf(const ParentageWindow& window, const std::string& animal, const std::string& role) {
  for (std::size_t k = 0; k < window.rows().size(); ++k)
    if (window.rows()[k].animal == animal && window.rows()[k].role == role) return static_cast<int>(k);
  return -1;
}

QString ChartTitleOf(Document& doc, const std::string& id) {
  Pedigree& ped = doc.pedigree();
  for (RecIndex r = 1; r <= ped.nTotal; ++r)
    if (ped.rec(r).Id() == id) return pictures::PedigreeChartPicture(ped, r, 4).title;
  return {};
}

TEST(ParentageWindow, ListsExactlyTheFlaggedParentsOfTheHerd) {
  Frame f;
  AnswerForm(kSnps);
  f.frame.Dispatch(kCmdParentage);
  ASSERT_EQ(f.f.doc.lastCommand(), kCmdParentage);
  const auto windows = f.frame.findChildren<ParentageWindow*>();
  ASSERT_EQ(windows.size(), 1);
  const ParentageWindow& window = *windows.front();
  EXPECT_TRUE(window.isVisible());
  std::set<std::pair<std::string, std::string>> listed;
  for (const FlaggedParent& row : window.rows()) listed.insert({row.animal, row.role});
  EXPECT_EQ(listed, HerdFlagged());
  EXPECT_EQ(window.rows().size(), HerdFlagged().size());
  // The table shows each row as the report writes it.
  QTableWidget* table = window.table();
  ASSERT_EQ(table->rowCount(), static_cast<int>(window.rows().size()));
  const int c2 = RowOf(window, "C2", "sire");
  ASSERT_GE(c2, 0);
  const char* expected[] = {"C2", "sire", "excluded", "B1", "0.0933", "B4", "0.0000", "0.0267"};
  for (int column = 0; column < 8; ++column)
    EXPECT_EQ(table->item(c2, column)->text().toStdString(), expected[column]) << "column " << column;
  const int unknown = RowOf(window, "S1", "dam");
  ASSERT_GE(unknown, 0);
  EXPECT_EQ(table->item(unknown, 3)->text(), QStringLiteral("unknown"));
  EXPECT_EQ(table->item(unknown, 4)->text(), QString());
}

TEST(ParentageWindow, OpensThePedigreeChartOfTheChosenAnimal) {
  Frame f;
  AnswerForm(kSnps);
  f.frame.Dispatch(kCmdParentage);
  const auto windows = f.frame.findChildren<ParentageWindow*>();
  ASSERT_EQ(windows.size(), 1);
  ParentageWindow& window = *windows.front();
  // Chosen, then Pedigree Chart.
  window.table()->selectRow(RowOf(window, "C2", "sire"));
  EXPECT_EQ(window.CurrentAnimal(), "C2");
  window.chartButton()->click();
  ASSERT_EQ(f.Pictures().size(), 1u);
  EXPECT_EQ(f.Pictures().back()->picture().title, ChartTitleOf(f.f.doc, "C2"));
  EXPECT_NE(f.Pictures().back()->picture().title.indexOf(QStringLiteral("C2")), -1);
  // A double click on another row.
  const int d1 = RowOf(window, "D1", "sire");
  ASSERT_GE(d1, 0);
  QTableWidget* table = window.table();
  const QRect cell = table->visualItemRect(table->item(d1, 0));
  // As a hand does it: the first click presses the row, the second doubles it.
  QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  ASSERT_EQ(f.Pictures().size(), 2u);
  std::set<QString> titles;
  for (PictureWindow* w : f.Pictures()) titles.insert(w->picture().title);
  EXPECT_EQ(titles, (std::set<QString>{ChartTitleOf(f.f.doc, "C2"), ChartTitleOf(f.f.doc, "D1")}));
  EXPECT_TRUE(f.f.platform.messages.empty());
}

// Only excluded and unknown parents are flagged, in the table's order.
TEST(ParentageWindow, FlagsOnlyExcludedAndUnknownParents) {
  ResultSet tables;
  ResultTable& t = tables.Add("parentage");
  t.AddColumn("id", ColumnType::kId).AddColumn("parent", ColumnType::kText).AddColumn("recorded", ColumnType::kId);
  t.AddColumn("rate", ColumnType::kReal).AddColumn("verdict", ColumnType::kText).AddColumn("best", ColumnType::kId);
  t.AddColumn("best_rate", ColumnType::kReal).AddColumn("runner_up_rate", ColumnType::kReal);
  const struct {
    const char* id;
    const char* role;
    const char* recorded;
    const char* verdict;
  } rows[] = {{"A", "sire", "S", "confirmed"}, {"A", "dam", "", "unknown"},  {"B", "sire", "S", "excluded"},
              {"B", "dam", "D", "untestable"}, {"C", "sire", "T", "excluded"}, {"C", "dam", "D", "confirmed"}};
  for (const auto& r : rows)
    t.AddRow().Id(r.id).Text(r.role).Id(r.recorded).Real(0.5).Text(r.verdict).Id("X").Real(0.0).Real(0.1);
  std::vector<std::string> flagged;
  for (const FlaggedParent& f : FlaggedParents(tables)) flagged.push_back(f.animal + " " + f.role + " " + f.verdict);
  EXPECT_EQ(flagged, (std::vector<std::string>{"A dam unknown", "B sire excluded", "C sire excluded"}));
  EXPECT_TRUE(FlaggedParents(ResultSet()).empty());
}

// View › Charts › Genomic against Pedigree F runs Genomic Inbreeding (its
// report stays on screen) and charts F_G; the window's list switches to
// F_hom and F_ROH.
TEST(GenomicScatterWindow, ChartsTheRunAndSwitchesTheMeasure) {
  Frame f;
  ASSERT_TRUE(f.frame.CommandEnabled(kCmdChartGenomicInbreeding));
  AnswerForm(kVcf);
  f.frame.Dispatch(kCmdChartGenomicInbreeding);
  EXPECT_EQ(f.f.doc.lastCommand(), kCmdGenomicInbreeding);
  ASSERT_EQ(f.Pictures().size(), 1u);
  PictureWindow* window = f.Pictures().front();
  const QString fg = pictures::MeasureName(pictures::GenomicMeasure::kDiagonal);
  EXPECT_EQ(window->windowTitle(), fg + QStringLiteral(" against pedigree F"));
  QComboBox* list = window->choiceList();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  for (std::size_t k = 0; k < 3; ++k) {
    list->setCurrentIndex(static_cast<int>(k));
    const pictures::Scatter expected =
        pictures::GenomicInbreedingScatter(f.f.doc.pedigree().report.tables(), pictures::kGenomicMeasures[k]);
    EXPECT_EQ(window->picture().title, expected.title);
    EXPECT_EQ(window->windowTitle(), expected.title);
  }
  EXPECT_TRUE(f.f.platform.messages.empty());
}

}  // namespace
}  // namespace kinvar::gui
