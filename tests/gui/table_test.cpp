#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "app/commands.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/table_model.h"
#include "gui/planned_mating_dialog.h"
#include "gui/table_pane.h"
#include "gui_support.h"
#include "pedigree/xlsx_reader.h"
#include "report/table_formats.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
enum Col { kIdCol, kNCol, kXCol, kLabelCol, kOkCol };

// Every type, missing values, ties (rows 1 and 5), numbers whose text order
// differs from their numeric order, a lower-case ID and a Latin-1 byte.
void FillSample(ResultTable& t) {
  t.AddColumn("id", ColumnType::kId);
  t.AddColumn("n", ColumnType::kInteger, "generations");
  t.AddColumn("x", ColumnType::kReal);
  t.AddColumn("label", ColumnType::kText);
  t.AddColumn("ok", ColumnType::kBoolean);
  t.AddRow().Id("B10").Integer(10).Real(10).Text("10").Boolean(true);
  t.AddRow().Id("b9").Integer(9).Real(9).Text("9").Boolean(false);
  t.AddRow().Id("A").Missing().Missing().Missing().Missing();
  t.AddRow().Id("B9").Integer(100).Real(100).Text("100").Boolean(true);
  t.AddRow().Id("\xC9T").Integer(-1).Real(-1.5).Text("z\tz").Boolean(false);
  t.AddRow().Id("C").Integer(9).Real(9).Text("9").Boolean(true);
}

struct Sample {
  ReportStore store;
  std::unique_ptr<TableModel> model;
  Sample() {
    FillSample(store.tables().Add("sample"));
    model = std::make_unique<TableModel>(store, 0);
  }
};

std::vector<std::uint32_t> Shown(const TableModel& m) {
  std::vector<std::uint32_t> rows;
  for (int r = 0; r < m.rowCount(); ++r) rows.push_back(m.SourceRow(r));
  return rows;
}

using Rows = std::vector<std::uint32_t>;

TEST(TableModel, SortsByTypeWithMissingLastAndTiesInFileOrder) {
  struct Case { const char* name; int column; Qt::SortOrder order; Rows rows; };
  const Case cases[] = {
      {"file order", -1, Qt::AscendingOrder, {0, 1, 2, 3, 4, 5}},
      {"ids by bytes", kIdCol, Qt::AscendingOrder, {2, 0, 3, 5, 1, 4}},
      {"ids descending", kIdCol, Qt::DescendingOrder, {4, 1, 5, 3, 0, 2}},
      {"integers as numbers", kNCol, Qt::AscendingOrder, {4, 1, 5, 0, 3, 2}},
      {"integers descending", kNCol, Qt::DescendingOrder, {3, 0, 1, 5, 4, 2}},
      {"reals as numbers", kXCol, Qt::AscendingOrder, {4, 1, 5, 0, 3, 2}},
      {"reals descending", kXCol, Qt::DescendingOrder, {3, 0, 1, 5, 4, 2}},
      {"numbers in text as text", kLabelCol, Qt::AscendingOrder, {0, 3, 1, 5, 4, 2}},
      {"text descending", kLabelCol, Qt::DescendingOrder, {4, 1, 5, 3, 0, 2}},
      {"booleans false first", kOkCol, Qt::AscendingOrder, {1, 4, 0, 3, 5, 2}},
      {"booleans descending", kOkCol, Qt::DescendingOrder, {0, 3, 5, 1, 4, 2}},
  };
  for (const Case& c : cases) {
    Sample s;
    s.model->sort(c.column, c.order);
    EXPECT_EQ(Shown(*s.model), c.rows) << c.name;
  }
}

TEST(TableModel, ShowsCellsAtFullPrecisionAndNumbersRight) {
  ReportStore store;
  ResultTable& t = store.tables().Add("values");
  t.AddColumn("id", ColumnType::kId);
  t.AddColumn("f", ColumnType::kReal);
  t.AddColumn("k", ColumnType::kInteger, "years");
  t.AddColumn("b", ColumnType::kBoolean);
  t.AddRow().Id("X").Real(1.0 / 3).Integer(-7).Boolean(true);
  t.AddRow().Id("\xC9").Float(0.1f).Missing().Boolean(false);
  t.AddRow().Id("Y").Missing().Integer(0).Missing();
  const TableModel m(store, 0);
  struct Case { int row, column; const char* text; bool right; };
  const Case cases[] = {
      {0, 0, "X", false},       {0, 1, "0.3333333333333333", true}, {0, 2, "-7", true},
      {0, 3, "yes", false},     {1, 0, "\xC3\x89", false},          {1, 1, "0.1", true},
      {1, 2, "", true},         {1, 3, "no", false},             {2, 1, "", true},
      {2, 2, "0", true},        {2, 3, "", false},
  };
  for (const Case& c : cases) {
    const QModelIndex i = m.index(c.row, c.column);
    EXPECT_EQ(m.data(i, Qt::DisplayRole).toString().toStdString(), c.text) << c.row << c.column;
    const auto align = m.data(i, Qt::TextAlignmentRole).value<Qt::Alignment>();
    EXPECT_EQ((align & Qt::AlignRight) != 0, c.right) << c.row << c.column;
  }
  EXPECT_EQ(m.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "k");
  EXPECT_EQ(m.headerData(2, Qt::Horizontal, Qt::ToolTipRole).toString(), "k: integer, in years");
  EXPECT_EQ(m.headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(), "f: real");
}

TEST(TableModel, ShowsNothingOnceTheReportIsCleared) {
  Sample s;
  s.model->sort(kXCol, Qt::AscendingOrder);
  s.store.Clear();
  FillSample(s.store.tables().Add("sample"));  // same shape, another report
  EXPECT_EQ(s.model->table(), nullptr);
  EXPECT_FALSE(s.model->data(s.model->index(0, 0), Qt::DisplayRole).isValid());
  EXPECT_EQ(s.model->CellString(0, 0), "");
  s.model->sort(kIdCol, Qt::DescendingOrder);  // no crash, no reading
  s.model->SetFilter("b");
}

TEST(TableModel, FiltersOnAnyCellIgnoringCase) {
  struct Case { const char* name; QString text; int sortColumn; Rows rows; };
  const Case cases[] = {
      {"nothing typed", "", -1, {0, 1, 2, 3, 4, 5}},
      {"id either case", "b9", -1, {1, 3}},
      {"digits in ids, numbers and text", "10", -1, {0, 3}},
      {"a real's shortest text", "-1.5", -1, {4}},
      {"booleans by the word shown", "YES", -1, {0, 3, 5}},
      {"not by the word in files", "true", -1, {}},
      {"a non-ASCII letter in a Latin-1 ID", QStringLiteral("\u00e9t"), -1, {4}},
      {"missing cells hold no text", "nan", -1, {}},
      {"kept in the sort order", "9", kNCol, {1, 5, 3}},
  };
  for (const Case& c : cases) {
    Sample s;
    s.model->sort(c.sortColumn, Qt::AscendingOrder);
    s.model->SetFilter(c.text);
    EXPECT_EQ(Shown(*s.model), c.rows) << c.name;
    // Sorting again keeps the filter.
    s.model->sort(-1, Qt::AscendingOrder);
    Rows fileOrder = c.rows;
    std::sort(fileOrder.begin(), fileOrder.end());
    EXPECT_EQ(Shown(*s.model), fileOrder) << c.name;
  }
}

// Random tables with many ties and missing values, against a plain sort by
// (key, row) and a brute-force filter through CellText and QString.
ResultTable RandomTable(std::mt19937& random, std::size_t rows) {
  ResultTable t("random");
  t.AddColumn("id", ColumnType::kId);
  t.AddColumn("n", ColumnType::kInteger);
  t.AddColumn("x", ColumnType::kReal);
  t.AddColumn("b", ColumnType::kBoolean);
  std::uniform_int_distribution<int> small(-5, 5);
  for (std::size_t r = 0; r < rows; ++r) {
    TableRow row = t.AddRow();
    const int k = small(random);
    if (k == 0) row.Id("");
    else row.Id(std::string(1, static_cast<char>(k > 2 ? 'a' + k : 'A' - k)) + std::to_string(k * k));
    if (k == 1) row.Missing();
    else row.Integer(small(random) * 1000003LL);
    if (k == -1) row.Missing();
    else row.Real(small(random) / 8.0);
    if (k == 2) row.Missing();
    else row.Boolean(k > 0);
  }
  return t;
}

// A cell as the view shows it: booleans read yes or no there.
QString ShownText(const TableColumn& c, std::size_t r) {
  if (c.type() == ColumnType::kBoolean && !c.Missing(r)) return c.Integer(r) != 0 ? "yes" : "no";
  return QString::fromStdString(CellText(c, r));
}

Rows ReferenceOrder(const TableColumn& c, bool descending) {
  Rows present, missing;
  for (std::uint32_t r = 0; r < c.size(); ++r) (c.Missing(r) ? missing : present).push_back(r);
  const auto less = [&](std::uint32_t a, std::uint32_t b) {
    if (c.IsText()) return c.Text(a) < c.Text(b);
    if (c.type() == ColumnType::kReal) return c.Real(a) < c.Real(b);
    return c.Integer(a) < c.Integer(b);
  };
  std::sort(present.begin(), present.end(), [&](std::uint32_t a, std::uint32_t b) {
    const bool before = descending ? less(b, a) : less(a, b);
    const bool after = descending ? less(a, b) : less(b, a);
    return before || (!after && a < b);
  });
  present.insert(present.end(), missing.begin(), missing.end());
  return present;
}

TEST(TableModel, RandomTablesSortAndFilterLikeAPlainComputation) {
  std::mt19937 random(7);
  for (int round = 0; round < 30; ++round) {
    ReportStore store;
    store.tables().Add(RandomTable(random, 1 + random() % 300));
    const ResultTable& t = store.tables().tables().front();
    for (std::size_t c = 0; c < t.columns().size(); ++c)
      for (bool descending : {false, true})
        ASSERT_EQ(SortedRows(t.column(c), descending), ReferenceOrder(t.column(c), descending))
            << round << " " << c << " " << descending;

    TableModel model(store, 0);
    const int column = static_cast<int>(random() % 4);
    model.sort(column, Qt::DescendingOrder);
    const Rows sorted = Shown(model);
    // A needle taken from some cell, in the other case.
    const std::size_t from = random() % t.rows();
    const QString cell = ShownText(t.column(random() % 4), from);
    const QString needle = cell.mid(0, 1 + static_cast<int>(random() % 2)).toLower();
    model.SetFilter(needle);
    Rows expected;
    for (std::uint32_t r : sorted)
      for (const TableColumn& c : t.columns())
        if (ShownText(c, r).contains(needle, Qt::CaseInsensitive)) {
          expected.push_back(r);
          break;
        }
    ASSERT_EQ(Shown(model), expected) << round << " '" << needle.toStdString() << "'";
  }
}

QItemSelection Cells(const TableModel& m, std::initializer_list<std::array<int, 4>> ranges) {
  QItemSelection selection;
  for (const auto& [top, left, bottom, right] : ranges)
    selection.select(m.index(top, left), m.index(bottom, right));
  return selection;
}

TEST(TableModel, CopiesTheSelectionAsTabSeparatedRows) {
  Sample s;
  const int last = s.model->rowCount() - 1;
  struct Case { const char* name; QItemSelection selection; const char* text; };
  const Case cases[] = {
      {"nothing", QItemSelection(), ""},
      {"one cell", Cells(*s.model, {{0, 0, 0, 0}}), "B10\n"},
      {"a block", Cells(*s.model, {{0, 1, 1, 2}}), "10\t10\n9\t9\n"},
      {"cells apart: blanks between", Cells(*s.model, {{0, 0, 0, 0}, {1, 2, 1, 2}}),
       "B10\t\t\n\t\t9\n"},
      {"a missing value is empty", Cells(*s.model, {{2, 1, 2, 3}}), "\t\t\n"},
      {"a tab inside a cell becomes a blank", Cells(*s.model, {{4, 3, 4, 3}}), "z z\n"},
      {"a whole column under its name", Cells(*s.model, {{0, 2, last, 2}}),
       "x\n10\n9\n\n100\n-1.5\n9\n"},
      {"everything",
       Cells(*s.model, {{0, 0, last, 4}}),
       "id\tn\tx\tlabel\tok\nB10\t10\t10\t10\ttrue\nb9\t9\t9\t9\tfalse\nA\t\t\t\t\n"
       "B9\t100\t100\t100\ttrue\n\xC3\x89T\t-1\t-1.5\tz z\tfalse\nC\t9\t9\t9\ttrue\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CopyText(*s.model, c.selection).toStdString(), c.text) << c.name;
  // In the order on screen.
  s.model->sort(kXCol, Qt::DescendingOrder);
  EXPECT_EQ(CopyText(*s.model, Cells(*s.model, {{0, 0, 2, 0}})).toStdString(), "B9\nB10\nb9\n");
}

// ---- The main window's table tabs.

// The main window over the small example, its tables as a test puts them.
struct Frame : DocumentFixture {
  Frame() { frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/small.pdg"); }
  MainWindow frame{platform, doc};
  ReportStore& report() { return doc.pedigree().report; }
  // Shown and active, with the first table's tab on top.
  TablePane* ActivateFirstTable() {
    frame.show();
    frame.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
    frame.tabs()->setCurrentIndex(1);
    return frame.tablePanes().front();
  }
  std::vector<std::string> TabTexts() const {
    std::vector<std::string> texts;
    for (int i = 0; i < frame.tabs()->count(); ++i)
      texts.push_back(frame.tabs()->tabText(i).toStdString());
    return texts;
  }
};

// Replaces the report on screen by one that holds only these pairs.
void AddPairs(ReportStore& store, std::vector<std::array<const char*, 2>> pairs) {
  store.Clear();
  store.Add("a line");
  ResultTable& t = store.tables().Add("pairs");
  t.AddColumn("id1", ColumnType::kId);
  t.AddColumn("id2", ColumnType::kId);
  t.AddColumn("value", ColumnType::kReal);
  double v = 0.25;
  for (const auto& [a, b] : pairs) {
    t.AddRow().Id(a).Id(b).Real(v);
    v = kNaN;
  }
}

TEST(TableTabs, FollowTheTablesOfTheReportOnScreen) {
  Frame f;
  struct Step {
    const char* name;
    std::vector<const char*> tables;  // added after clearing the report
    std::vector<std::string> tabs;
  };
  const Step steps[] = {
      {"two tables", {"inbreeding", "summary"}, {"Report", "inbreeding", "summary"}},
      {"another command's", {"pairs"}, {"Report", "pairs"}},
      {"none", {}, {"Report"}},
      {"a name with an ampersand", {"a&b"}, {"Report", "a&&b"}},
  };
  for (const Step& step : steps) {
    f.report().Clear();
    f.report().Add("a line");
    for (const char* name : step.tables) FillSample(f.report().tables().Add(name));
    f.platform.RefreshViews();
    EXPECT_EQ(f.TabTexts(), step.tabs) << step.name;
    EXPECT_EQ(f.frame.tabs()->tabBar()->isVisibleTo(&f.frame), step.tabs.size() > 1) << step.name;
    EXPECT_EQ(f.frame.tabs()->currentIndex(), 0) << step.name;
    EXPECT_EQ(f.frame.action(kCmdFileExport)->isEnabled(), !step.tables.empty()) << step.name;
    for (const TablePane* pane : f.frame.tablePanes())
      EXPECT_EQ(pane->model().rowCount(), 6) << step.name;
  }
  // A refresh of the same report keeps the tabs, their order and filter.
  f.frame.tabs()->setCurrentIndex(1);
  f.frame.tablePanes()[0]->filterBox()->setText("b");
  const TablePane* before = f.frame.tablePanes()[0];
  f.platform.RefreshViews();
  EXPECT_EQ(f.frame.tablePanes()[0], before);
  EXPECT_EQ(f.frame.tablePanes()[0]->model().rowCount(), 3);
}

TEST(TableTabs, CopySelectAllAndFindActOnTheTableOnTop) {
  Frame f;
  AddPairs(f.report(), {{"A", "B"}, {"A", "C"}});
  f.platform.RefreshViews();
  TablePane* pane = f.ActivateFirstTable();
  EXPECT_EQ(QApplication::focusWidget(), pane->view());
  EXPECT_FALSE(f.frame.action(kCmdEditCopy)->isEnabled());
  QApplication::clipboard()->setText("untouched");
  f.frame.Dispatch(kCmdEditCopy);
  EXPECT_EQ(QApplication::clipboard()->text(), "untouched");
  f.frame.Dispatch(kCmdEditSelectAll);
  EXPECT_TRUE(f.frame.action(kCmdEditCopy)->isEnabled());
  QTest::keyClick(pane->view(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
            "id1\tid2\tvalue\nA\tB\t0.25\nA\tC\t\n");
  pane->view()->clearSelection();
  pane->view()->selectionModel()->select(pane->model().index(1, 1), QItemSelectionModel::Select);
  f.frame.Dispatch(kCmdEditCopy);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "C\n");
  f.frame.Dispatch(kCmdEditFind);
  EXPECT_TRUE(pane->filterBox()->hasFocus());
}

std::vector<std::vector<std::string>> SheetCells(const QString& path, const std::string& sheet) {
  std::vector<std::vector<std::string>> rows;
  const SheetRead read = ReadWorkbookSheet(path.toStdString(), sheet, [&](const SheetRow& row) {
    rows.emplace_back(row.cells.begin(), row.cells.end());
    return true;
  });
  EXPECT_TRUE(read.ok) << read.message;
  return rows;
}

TEST(TableExport, WritesTheShownTablesInTheChosenFormat) {
  Frame f;
  AddPairs(f.report(), {{"A", "B"}, {"A", "C"}});
  f.platform.RefreshViews();
  const QString dir = f.folder.path();
  struct Case { const char* name; TableFormat format; const char* file; const char* bytes; };
  const Case cases[] = {
      {"csv", TableFormat::kCsv, "/one.csv", "id1,id2,value\r\nA,B,0.25\r\nA,C,\r\n"},
      {"tsv", TableFormat::kTsv, "/one.tsv", "id1\tid2\tvalue\nA\tB\t0.25\nA\tC\t\n"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(f.frame.ExportTo(dir + c.file, c.format)) << c.name;
    EXPECT_EQ(kinvar::test::ReadWholeFile((dir + c.file).toStdString()), c.bytes) << c.name;
  }
  ASSERT_TRUE(f.frame.ExportTo(dir + "/one.xlsx", TableFormat::kXlsx));
  EXPECT_EQ(SheetCells(dir + "/one.xlsx", "pairs"),
            (std::vector<std::vector<std::string>>{
                {"id1", "id2", "value"}, {"A", "B", "0.25"}, {"A", "C"}}));
  // Refused: the message box tells why, nothing claims success.
  EXPECT_FALSE(f.frame.ExportTo(dir + "/missing/folder/x.json", TableFormat::kJson));
  EXPECT_EQ(f.platform.messages.size(), 1u);
}

TEST(TableExport, TheDialogsFilterGivesTheFormatAndSeveralCsvTablesAFolder) {
  Frame f;
  AddPairs(f.report(), {{"A", "B"}});
  FillSample(f.report().tables().Add("summary"));
  f.platform.RefreshViews();
  const QString dir = f.folder.path();
  struct Case {
    const char* name;
    QString filter;
    QString typed;
    QString made;  // the file or folder written
  };
  const Case cases[] = {
      {"workbook", "Excel workbook (*.xlsx)", "book", "/book.xlsx"},
      {"json", "JSON (*.json)", "all", "/all.json"},
      {"csv: all tables to a folder chosen", "CSV (*.csv)", "tables", "/tables"},
  };
  QDir(dir).mkdir("tables");
  for (const Case& c : cases) {
    test::WhenShown<QFileDialog>([&](QFileDialog& d) {
      d.setDirectory(dir);
      d.selectNameFilter(c.filter);
      emit d.filterSelected(c.filter);
      d.selectFile(c.typed);
      // Several tables do not fit one CSV file: all of them to a folder.
      if (c.made == QStringLiteral("/tables")) {
        test::WhenShown<TwoChoiceDialog>([&](TwoChoiceDialog& choice) {
          test::WhenShown<QFileDialog>([&](QFileDialog& folder) {
            folder.selectFile(dir + c.made);
            static_cast<QDialog&>(folder).accept();
          });
          choice.secondButton()->click();
        });
      }
      static_cast<QDialog&>(d).accept();
    });
    f.frame.Dispatch(kCmdFileExport);
    EXPECT_TRUE(QFileInfo::exists(dir + c.made)) << c.name;
  }
  EXPECT_EQ(QDir(dir + "/tables").entryList(QDir::Files),
            (QStringList{"pairs.csv", "summary.csv"}));
  EXPECT_EQ(SheetCells(dir + "/book.xlsx", "summary").size(), 7u);
  EXPECT_TRUE(f.platform.messages.empty());
}

TEST(TableTabs, DoubleClickOnAnIndividualOffersItsCommands) {
  Frame f;
  // Computed beforehand, so that no progress window comes between.
  f.frame.Dispatch(kCmdCompute);
  AddPairs(f.report(), {{"NOBODY", "j"}});
  f.platform.RefreshViews();
  TablePane* pane = f.ActivateFirstTable();
  const auto doubleClick = [&](int column) {
    const QRect cell = pane->view()->visualRect(pane->model().index(0, column));
    QTest::mouseClick(pane->view()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(pane->view()->viewport(), Qt::LeftButton, {}, cell.center());
  };
  doubleClick(0);
  EXPECT_EQ(f.frame.individualMenu(), nullptr);  // not in the pedigree
  doubleClick(2);
  EXPECT_EQ(f.frame.individualMenu(), nullptr);  // not an ID column
  doubleClick(1);  // "j" is J, as a typed ID would be
  QMenu* menu = f.frame.individualMenu();
  ASSERT_NE(menu, nullptr);
  std::vector<std::string> texts;
  for (const QAction* a : menu->actions()) {
    texts.push_back(a->text().toStdString());
    EXPECT_TRUE(a->isEnabled()) << texts.back();
  }
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "Inbreeding coefficient of J", "Relationship of J with...", "Path counting for J",
                       "Ancestral decomposition of J", "Extract ancestors of J...",
                       "Extract descendants of J...", "Pedigree chart of J",
                       "Drawing of the ancestors of J...", "Drawing of the descendants of J...",
                       "Planned mating of J as sire...", "Planned mating of J as dam..."}));

  // The inbreeding coefficient: the dialog opens with J and its answer.
  QString box, answer;
  menu->actions()[0]->trigger();  // runs once the menu is gone: after this
  test::WhenShown<IdQueryDialog>([&](IdQueryDialog& d) {
    box = d.boxes().front()->text();
    answer = d.result()->text();
  });
  QTest::qWait(50);
  EXPECT_EQ(box, "J");
  EXPECT_FALSE(answer.isEmpty());

  // The relationship: J in the first box, the second one to type.
  QString second = "untouched";
  f.frame.ShowIndividualMenu("J")->actions()[1]->trigger();
  test::WhenShown<IdQueryDialog>([&](IdQueryDialog& d) {
    ASSERT_EQ(d.boxes().size(), 2u);
    box = d.boxes().front()->text();
    second = d.boxes().back()->text();
  });
  QTest::qWait(50);
  EXPECT_EQ(box, "J");
  EXPECT_EQ(second, "");

  // Path counting runs for J without asking.
  pane = f.frame.tablePanes().front();
  pane->view()->setFocus();
  f.frame.ShowIndividualMenu("J")->actions()[2]->trigger();
  QTest::qWait(50);
  EXPECT_EQ(f.doc.lastCommand(), kCmdPathCountingIndividual);
  EXPECT_TRUE(f.platform.messages.empty());
  EXPECT_EQ(f.frame.tablePanes().size(), f.report().tables().tables().size());

  // A planned mating: J in the box of the role chosen, the other one to type.
  for (const char* role : {"sire", "dam"}) {
    SCOPED_TRACE(role);
    QString sire = "untouched", dam = "untouched";
    QMenu* individual = f.frame.ShowIndividualMenu("J");
    individual->actions()[std::string(role) == "sire" ? 9 : 10]->trigger();
    test::WhenShown<PlannedMatingDialog>([&](PlannedMatingDialog& d) {
      sire = d.box("sire")->text();
      dam = d.box("dam")->text();
    });
    QTest::qWait(50);
    EXPECT_EQ(std::string(role) == "sire" ? sire : dam, "J");
    EXPECT_NE(std::string(role) == "sire" ? dam : sire, "J");
  }
}

}  // namespace
}  // namespace kinvar::gui
