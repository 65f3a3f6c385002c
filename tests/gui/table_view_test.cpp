// The table view as a breeder reads it: titles for headers (the machine
// names in their tooltips, and in every file), yes/no for booleans, the
// number filter, the export of the view as shown and the copy for a
// decimal-comma spreadsheet.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QColor>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "app/commands.h"
#include "gui/main_window.h"
#include "gui/table_model.h"
#include "gui/table_pane.h"
#include "gui_support.h"
#include "report/table_formats.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;
using Rows = std::vector<std::uint32_t>;

struct Frame : DocumentFixture {
  Frame() { frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg"); }
  MainWindow frame{platform, doc};
  TablePane* Pane(const std::string& table) {
    for (TablePane* p : frame.tablePanes())
      if (p->model().table() != nullptr && p->model().table()->name() == table) return p;
    return nullptr;
  }
};

std::vector<std::string> Headers(const TableModel& m, int role) {
  std::vector<std::string> out;
  for (int c = 0; c < m.columnCount(); ++c)
    out.push_back(m.headerData(c, Qt::Horizontal, role).toString().toStdString());
  return out;
}

TEST(TableView, HeadersShowTitlesAndTooltipsTheMachineNames) {
  Frame f;
  f.frame.Dispatch(kCmdCompute);
  TablePane* pane = f.Pane("inbreeding");
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(Headers(pane->model(), Qt::DisplayRole),
            (std::vector<std::string>{"ID", "Sire", "Dam", "Group", "Code", "F", "Predefined F",
                                      "Equivalent complete generations", "Longest ancestral path"}));
  const std::vector<std::string> tips = Headers(pane->model(), Qt::ToolTipRole);
  EXPECT_EQ(tips[6], "f_predefined: boolean");
  EXPECT_EQ(tips[7], "ecg: real, in generations");
  // S1's F is predefined, A1's is not.
  EXPECT_EQ(pane->model().data(pane->model().index(0, 6), Qt::DisplayRole).toString(), "yes");
  EXPECT_EQ(pane->model().data(pane->model().index(5, 6), Qt::DisplayRole).toString(), "no");
}

// An inbreeding table of six animals: F with ties and a missing value.
void FillHerd(ResultTable& t) {
  t.AddColumn("id", ColumnType::kId);
  t.AddColumn("group", ColumnType::kInteger);
  t.AddColumn("f", ColumnType::kReal);
  t.AddColumn("f_predefined", ColumnType::kBoolean);
  t.AddColumn("ecg", ColumnType::kReal, "generations");
  t.AddRow().Id("A").Integer(2021).Float(0.0f).Boolean(false).Real(0.5);
  t.AddRow().Id("B").Integer(2021).Float(0.125f).Boolean(true).Real(1.25);
  t.AddRow().Id("C").Integer(2022).Float(0.25f).Boolean(false).Real(2);
  t.AddRow().Id("D").Integer(2022).Missing().Boolean(false).Real(2.5);
  t.AddRow().Id("E").Integer(2023).Float(0.1f).Boolean(false).Missing();
  t.AddRow().Id("F").Missing().Float(0.2f).Boolean(false).Real(3);
}

// Pairs whose offspring would be above the bound on F are greyed, sorted
// or not; the others keep the view's own colour.
TEST(TableView, PairsAboveTheBoundOnFAreGreyed) {
  ReportStore store;
  ResultTable& t = store.tables().Add("mate_suitability");
  t.AddColumn("sire", ColumnType::kId).AddColumn("offspring_f", ColumnType::kReal);
  t.AddColumn("above_max_f", ColumnType::kBoolean);
  t.AddRow().Id("S1").Real(0.01).Boolean(false);
  t.AddRow().Id("S2").Real(0.25).Boolean(true);
  t.AddRow().Id("S3").Real(0.03).Boolean(false);
  TableModel model(store, 0);
  const auto greyed = [&] {
    std::vector<std::string> out;
    for (int r = 0; r < model.rowCount(); ++r)
      if (model.data(model.index(r, 0), Qt::ForegroundRole).value<QColor>() == QColor(Qt::gray))
        out.push_back(model.data(model.index(r, 0), Qt::DisplayRole).toString().toStdString());
    return out;
  };
  EXPECT_EQ(greyed(), std::vector<std::string>{"S2"});
  model.sort(1, Qt::DescendingOrder);
  EXPECT_EQ(model.data(model.index(0, 0), Qt::ForegroundRole).value<QColor>(), QColor(Qt::gray));
  EXPECT_FALSE(model.data(model.index(1, 0), Qt::ForegroundRole).isValid());
  EXPECT_EQ(greyed(), std::vector<std::string>{"S2"});
}

struct Herd {
  ReportStore store;
  std::unique_ptr<TableModel> model;
  Herd() {
    FillHerd(store.tables().Add("inbreeding"));
    model = std::make_unique<TableModel>(store, 0);
  }
  Rows Shown() const {
    Rows rows;
    for (int r = 0; r < model->rowCount(); ++r) rows.push_back(model->SourceRow(r));
    return rows;
  }
};

TEST(NumberFilter, KeepsTheRowsWhereEveryConditionHolds) {
  struct Row {
    const char* name;
    const char* text;
    Rows kept;
  };
  const Row rows[] = {
      {"nothing", "", {0, 1, 2, 3, 4, 5}},
      {"greater", "f > 0.1", {1, 2, 5}},
      {"at least", "f >= 0.1", {1, 2, 4, 5}},
      {"less", "f < 0.125", {0, 4}},
      {"at most", "f<=0.125", {0, 1, 4}},
      {"equal", "group = 2021", {0, 1}},
      {"not equal, missing kept out", "group != 2021", {2, 3, 4}},
      {"a float's decimal is equal", "f = 0.1", {4}},
      {"range with dots", "f 0.1..0.2", {1, 4, 5}},
      {"range between signs", "0.1 < f <= 0.2", {1, 5}},
      {"range downwards", "0.2 > f > 0", {1, 4}},
      {"number first", "0.2 <= f", {2, 5}},
      {"by title, any case", "equivalent COMPLETE generations >= 2", {2, 3, 5}},
      {"by machine name in capitals", "ECG < 1", {0}},
      {"two conditions", "group = 2022 and ecg > 2", {3}},
      {"joined by a semicolon", "f > 0; group < 2023", {1, 2}},
      {"decimal comma", "f >= 0,2", {2, 5}},
      {"range with commas", "f 0,1..0,125", {1, 4}},
      {"a boolean as 1", "predefined f = 1", {1}},
      {"blanks around", "  f  >  0.2  ", {2}},
  };
  for (const Row& row : rows) {
    Herd h;
    EXPECT_EQ(h.model->SetNumberFilter(row.text).toStdString(), "") << row.name;
    EXPECT_EQ(h.Shown(), row.kept) << row.name;
  }
}

TEST(NumberFilter, SaysWhyATextCannotBeReadAndKeepsEveryRow) {
  const std::string usage =
      "Write COLUMN OP NUMBER with OP one of < <= > >= = !=, or a range: COLUMN LOW..HIGH or "
      "LOW <= COLUMN <= HIGH.";
  struct Row {
    const char* name;
    const char* text;
    std::string error;
  };
  const Row rows[] = {
      {"no sign", "f 0.1", usage},
      {"only a column", "f", usage},
      {"no column", "> 0.1", usage},
      {"an unknown column", "fe > 0.1", "No column is called \"fe\"."},
      {"a column of IDs", "id > 3", "\"id\" is not a column of numbers."},
      {"not a number", "f > 0.1x", "\"0.1x\" is not a number."},
      {"no number", "f >", usage},
      {"half a range", "f 0.1..", usage},
      {"a range of words", "f a..b", "\"a\" is not a number."},
      {"signs that disagree", "0.1 < f > 0.2", usage},
      {"three signs", "0 < f < 1 < 2", usage},
      {"one bad condition of two", "f > 0 and g < 1", "No column is called \"g\"."},
  };
  for (const Row& row : rows) {
    Herd h;
    EXPECT_EQ(h.model->SetNumberFilter(row.text).toStdString(), row.error) << row.name;
    EXPECT_EQ(h.model->rowCount(), 6) << row.name;
  }
}

TEST(NumberFilter, ShowsItsErrorUnderTheBoxUntilTheTextReads) {
  ReportStore store;
  FillHerd(store.tables().Add("inbreeding"));
  TablePane pane(store, 0);
  pane.show();
  pane.numberBox()->setText("f >");
  EXPECT_TRUE(pane.numberError()->isVisible());
  EXPECT_TRUE(pane.numberError()->text().startsWith("Write COLUMN OP NUMBER"));
  pane.numberBox()->setText("f > 0.1");
  EXPECT_FALSE(pane.numberError()->isVisible());
  EXPECT_EQ(pane.model().rowCount(), 3);
  pane.filterBox()->setText("c");  // the text filter narrows it further
  EXPECT_EQ(pane.model().rowCount(), 1);
}

TEST(TableView, ExportWritesTheFilteredSortedViewAsShown) {
  Frame f;
  f.doc.pedigree().report.Clear();
  f.doc.pedigree().report.Add("a line");
  FillHerd(f.doc.pedigree().report.tables().Add("inbreeding"));
  ResultTable& other = f.doc.pedigree().report.tables().Add("other");
  other.AddColumn("id", ColumnType::kId).AddRow().Id("Z");
  f.platform.RefreshViews();
  TablePane* pane = f.Pane("inbreeding");
  ASSERT_NE(pane, nullptr);
  pane->model().sort(2, Qt::DescendingOrder);
  pane->numberBox()->setText("f > 0");
  pane->filterBox()->setText("no");  // f_predefined shown as "no"
  const QString dir = f.folder.path() + "/view";
  ASSERT_TRUE(f.frame.ExportTo(dir, TableFormat::kCsv));
  EXPECT_EQ(kinvar::test::ReadWholeFile((dir + "/inbreeding.csv").toStdString()),
            "id,group,f,f_predefined,ecg\r\n"
            "C,2022,0.25,false,2\r\n"
            "F,,0.2,false,3\r\n"
            "E,2023,0.1,false,\r\n");
  EXPECT_EQ(kinvar::test::ReadWholeFile((dir + "/other.csv").toStdString()), "id\r\nZ\r\n");
  // Back in the file's order, unfiltered: the whole table again.
  pane->model().sort(-1, Qt::AscendingOrder);
  pane->numberBox()->clear();
  pane->filterBox()->clear();
  ASSERT_TRUE(f.frame.ExportTo(dir + "/all", TableFormat::kTsv));
  EXPECT_EQ(kinvar::test::ReadWholeFile((dir + "/all/inbreeding.tsv").toStdString()),
            "id\tgroup\tf\tf_predefined\tecg\nA\t2021\t0\tfalse\t0.5\nB\t2021\t0.125\ttrue\t1.25\n"
            "C\t2022\t0.25\tfalse\t2\nD\t2022\t\tfalse\t2.5\nE\t2023\t0.1\tfalse\t\nF\t\t0.2\tfalse\t3\n");
}

TEST(TableView, CopyTakesTheDecimalSeparatorAskedFor) {
  Herd h;
  const int last = h.model->rowCount() - 1;
  QItemSelection all;
  all.select(h.model->index(0, 0), h.model->index(last, 4));
  QItemSelection block;
  block.select(h.model->index(1, 0), h.model->index(2, 2));
  struct Row {
    const char* name;
    QItemSelection selection;
    QString decimal;
    const char* text;
  };
  const Row rows[] = {
      {"points", block, ".", "B\t2021\t0.125\nC\t2022\t0.25\n"},
      {"commas in the reals only", block, ",", "B\t2021\t0,125\nC\t2022\t0,25\n"},
      {"whole table under its names", all, ",",
       "id\tgroup\tf\tf_predefined\tecg\nA\t2021\t0\tfalse\t0,5\nB\t2021\t0,125\ttrue\t1,25\n"
       "C\t2022\t0,25\tfalse\t2\nD\t2022\t\tfalse\t2,5\nE\t2023\t0,1\tfalse\t\nF\t\t0,2\tfalse\t3\n"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(CopyText(*h.model, row.selection, row.decimal).toStdString(), row.text) << row.name;
}

TEST(TableView, RightClickMenuHoldsTheWindowsActionsAndTheLocalesCopy) {
  Frame f;
  f.frame.show();
  f.frame.Dispatch(kCmdCompute);
  TablePane* pane = f.Pane("inbreeding");
  ASSERT_NE(pane, nullptr);
  f.frame.tabs()->setCurrentWidget(pane);
  pane->view()->selectionModel()->select(pane->model().index(0, 5), QItemSelectionModel::Select);
  emit pane->view()->customContextMenuRequested(QPoint(10, 10));
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  std::vector<std::string> texts;
  for (const QAction* a : menu->actions())
    if (!a->isSeparator()) texts.push_back(a->text().toStdString());
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts.back().rfind("Copy with Decimal Separator", 0), 0u) << texts.back();
  EXPECT_TRUE(menu->actions().back()->isEnabled());
  EXPECT_TRUE(f.frame.action(kCmdEditCopy)->isEnabled()) << "the window's actions were brought up to date";
  menu->close();
}

TEST(TableView, CopyForTheLocaleOnAGermanDesktop) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  {
    ReportStore store;
    FillHerd(store.tables().Add("inbreeding"));
    TablePane pane(store, 0);
    pane.show();
    pane.view()->selectionModel()->select(pane.model().index(1, 2), QItemSelectionModel::Select);
    EXPECT_TRUE(pane.copyForLocaleAction()->text().contains(","));
    pane.copyForLocaleAction()->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "0,125\n");
    pane.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "0.125\n");
  }
  QLocale::setDefault(before);
}

}  // namespace
}  // namespace kinvar::gui
