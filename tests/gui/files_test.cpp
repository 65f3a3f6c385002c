// A breeder's files in the desktop program: the Open dialog shows every
// kind of pedigree file, Save As offers what the report is, every write
// says in the status bar what it wrote where, a question comes before
// unsaved work is lost and only then, a cancel keeps the report that was
// shown, and the matings command explains its contribution file and makes
// one to start from.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTabWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "gui/dialogs.h"
#include "gui/report_view.h"
#include "gui/main_window.h"
#include "gui/table_pane.h"
#include "gui_support.h"
#include "support/cancel_window.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

using test::WhenShown;


const QString kExamples = QString(KINVAR_EXAMPLES_DIR);
const QString kHerd = kExamples + "/herd.pdg";
const QString kSmall = kExamples + "/small.pdg";

class CancellingPlatform : public test::RecordingPlatform {
 public:
  std::unique_ptr<ProgressWindow> OpenProgress() override {
    if (cancel) return std::make_unique<kinvar::test::CancelAtPoll>();
    return RecordingPlatform::OpenProgress();
  }
  bool cancel = false;
};

struct Frame {
  Frame() {
    frame.resize(900, 650);
    frame.show();
  }
  QString Status() const { return frame.statusBar()->currentMessage(); }
  std::string Folder(const char* name) const { return folder.path().toStdString() + "/" + name; }
  QTemporaryDir folder;
  CancellingPlatform platform;
  Document doc{platform, folder.path().toStdString() + "/"};
  MainWindow frame{platform, doc};
};

// The file dialog's filters as it shows them, then Cancel.
QStringList FiltersOf(Frame& f, std::int32_t command) {
  QStringList filters;
  WhenShown<QFileDialog>([&filters](QFileDialog& d) {
    filters = d.nameFilters();
    EXPECT_EQ(d.selectedNameFilter(), filters.value(0));
  });
  f.frame.Dispatch(command);
  return filters;
}

// Accepts the next file dialog with `path`.
void AnswerFileDialog(const std::string& path) {
  WhenShown<QFileDialog>([path](QFileDialog& d) {
    d.selectFile(QString::fromStdString(path));
    static_cast<QDialog&>(d).accept();
  });
}

TEST(OpenDialog, ShowsEveryKindOfPedigreeFileFirst) {
  Frame f;
  const QStringList expected = {"Pedigrees (*.pdg *.csv *.txt *.tsv *.xlsx)",
                                "Pedigree files (*.pdg)",
                                "CSV files (*.csv)",
                                "Text files (*.txt)",
                                "TSV files (*.tsv)",
                                "Excel workbooks (*.xlsx)",
                                "All files (*)"};
  // From the start page, and again with a pedigree open.
  EXPECT_EQ(FiltersOf(f, kCmdFileOpen), expected);
  f.frame.OpenFile(kHerd);
  EXPECT_EQ(FiltersOf(f, kCmdFileOpen), expected);
  // herd.csv is among the files the first filter shows.
  EXPECT_TRUE(QDir(kExamples).entryList(QStringList{"*.pdg", "*.csv", "*.txt", "*.tsv", "*.xlsx"}).contains("herd.csv"));
}

TEST(SaveAsDialog, OffersWhatTheReportIs) {
  struct Row {
    const char* name;
    std::int32_t command;
    QStringList filters;
  };
  const Row rows[] = {
      {"pedigree listing", kCmdViewPedigree,
       {"Pedigree files (*.pdg)", "Text files (*.txt)", "All files (*)"}},
      {"report of two tables", kCmdCompute,
       {"Text files (*.txt)", "Excel workbook, the report's tables (*.xlsx)", "All files (*)"}},
      {"report of one table", kCmdDii,
       {"Text files (*.txt)", "Excel workbook, the report's tables (*.xlsx)",
        "CSV, the report's table (*.csv)", "All files (*)"}},
  };
  for (const Row& row : rows) {
    Frame f;
    f.frame.OpenFile(kHerd);
    if (row.command != kCmdViewPedigree) f.frame.Dispatch(row.command);
    ASSERT_EQ(f.doc.lastCommand(), row.command) << row.name;
    EXPECT_EQ(FiltersOf(f, kCmdFileSaveAs), row.filters) << row.name;
  }
}

TEST(StatusBar, SaysWhatEachWriteWroteWhereOrWhyNot) {
  Frame f;
  f.frame.OpenFile(kHerd);
  f.frame.Dispatch(kCmdCompute);
  const std::string text = f.Folder("inbreeding.txt");
  AnswerFileDialog(text);
  f.frame.Dispatch(kCmdFileSaveAs);
  const std::string written = kinvar::test::ReadWholeFile(text);
  const auto lines = std::count(written.begin(), written.end(), '\n');
  EXPECT_EQ(f.Status().toStdString(), "Written: " + text + " (" + std::to_string(lines) + " lines).");

  // The report's tables as a workbook, through Save As.
  const std::string workbook = f.Folder("inbreeding.xlsx");
  AnswerFileDialog(workbook);
  f.frame.Dispatch(kCmdFileSaveAs);
  const std::size_t rows = f.doc.pedigree().report.tables().tables()[0].rows() +
                           f.doc.pedigree().report.tables().tables()[1].rows();
  EXPECT_EQ(f.Status().toStdString(), "Exported: " + workbook + " (" + std::to_string(rows) + " rows).");
  EXPECT_TRUE(std::filesystem::exists(workbook));

  // A folder that is not there: the box and the status line say why.
  f.platform.messages.clear();
  const std::string nowhere = f.Folder("missing/x.txt");
  AnswerFileDialog(nowhere);
  f.frame.Dispatch(kCmdFileSaveAs);
  EXPECT_EQ(f.Status().toStdString(), "Not written: " + nowhere + ": No such file or directory");
  EXPECT_EQ(f.platform.messages,
            std::vector<std::string>{"Cannot open " + nowhere + " for writing.\nNo such file or directory"});
}

TEST(Export, OneTableGoesToTheFileNamedAndAllOfThemToAFolderAskedFor) {
  Frame f;
  f.frame.OpenFile(kHerd);
  f.frame.Dispatch(kCmdCompute);
  ASSERT_EQ(f.frame.tablePanes().size(), 2u);
  const std::string named = f.Folder("x.csv");
  const auto& tables = f.doc.pedigree().report.tables().tables();

  // The second tab on top; the choice names it and the file named gets it.
  f.frame.tabs()->setCurrentWidget(f.frame.tablePanes()[1]);
  std::string first;
  // The choice comes once the file dialog has closed.
  WhenShown<QFileDialog>([&first, named](QFileDialog& file) {
    WhenShown<TwoChoiceDialog>([&first](TwoChoiceDialog& d) {
      first = d.firstButton()->text().toStdString();
      EXPECT_EQ(d.secondButton()->text().toStdString(), "Export all tables to a folder...");
      d.firstButton()->click();
    });
    file.selectFile(QString::fromStdString(named));
    static_cast<QDialog&>(file).accept();
  });
  f.frame.Dispatch(kCmdFileExport);
  EXPECT_EQ(first, "Export the table \"" + tables[1].name() + "\" to x.csv");
  EXPECT_TRUE(std::filesystem::is_regular_file(named));
  EXPECT_FALSE(std::filesystem::exists(f.Folder("x")));
  const std::string csv = kinvar::test::ReadWholeFile(named);
  EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), tables[1].rows() + 1);
  EXPECT_EQ(f.Status().toStdString(),
            "Exported: " + named + " (" + std::to_string(tables[1].rows()) + " rows).");

  // All of them: the folder is asked for by name.
  const std::string folder = f.Folder("tables");
  std::filesystem::create_directory(folder);
  const std::string y = f.Folder("y.csv");
  std::string title;
  WhenShown<QFileDialog>([&title, folder, y](QFileDialog& file) {
    WhenShown<TwoChoiceDialog>([&title, folder](TwoChoiceDialog& d) {
      WhenShown<QFileDialog>([&title, folder](QFileDialog& dialog) {
        title = dialog.windowTitle().toStdString();
        EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
        dialog.selectFile(QString::fromStdString(folder));
        static_cast<QDialog&>(dialog).accept();
      });
      d.secondButton()->click();
    });
    file.selectFile(QString::fromStdString(y));
    static_cast<QDialog&>(file).accept();
  });
  f.frame.Dispatch(kCmdFileExport);
  EXPECT_EQ(title, "Export all tables to a folder");
  EXPECT_FALSE(std::filesystem::exists(f.Folder("y.csv")));
  EXPECT_FALSE(std::filesystem::exists(f.Folder("y")));
  for (const ResultTable& table : tables)
    EXPECT_TRUE(std::filesystem::exists(folder + "/" + table.name() + ".csv")) << table.name();
  EXPECT_EQ(f.Status().toStdString(),
            "Exported: 2 tables to the folder " + folder + " (" +
                std::to_string(tables[0].rows() + tables[1].rows()) + " rows).");
}

TEST(CloseQuestion, ComesOnlyWhenTheReportIsUnsavedAndDoesWhatItsButtonSays) {
  struct Row {
    const char* name;
    std::int32_t command;  // run before the second Open; 0 none
    bool saveFirst;        // Save As before the second Open
    SaveAnswer answer;
    bool asked;
    bool opened;  // small.pdg is open afterwards
  };
  const Row rows[] = {
      {"nothing but the listing", 0, false, SaveAnswer::kCancel, false, true},
      {"a report saved", kCmdCompute, true, SaveAnswer::kCancel, false, true},
      {"unsaved, Discard", kCmdCompute, false, SaveAnswer::kDiscard, true, true},
      {"unsaved, Cancel", kCmdCompute, false, SaveAnswer::kCancel, true, false},
      {"unsaved, Save", kCmdStructure, false, SaveAnswer::kSave, true, true},
  };
  for (const Row& row : rows) {
    Frame f;
    f.frame.OpenFile(kHerd);
    if (row.command != 0) f.frame.Dispatch(row.command);
    const std::string saved = f.Folder("report.txt");
    if (row.saveFirst) {
      AnswerFileDialog(saved);
      f.frame.Dispatch(kCmdFileSaveAs);
    }
    f.platform.messages.clear();
    f.platform.saveAnswer = row.answer;
    // Save asks for the file as Save As does.
    if (row.answer == SaveAnswer::kSave) AnswerFileDialog(saved);
    f.frame.OpenFile(kSmall);
    const std::vector<std::string> question = {
        "Do you want to save the report of \"herd.pdg\" before closing it?"};
    EXPECT_EQ(f.platform.messages, row.asked ? question : std::vector<std::string>{}) << row.name;
    EXPECT_EQ(f.doc.title(), row.opened ? "small.pdg" : "herd.pdg") << row.name;
    if (!row.opened) {
      EXPECT_EQ(f.doc.lastCommand(), row.command) << row.name;
    }
    if (row.answer == SaveAnswer::kSave) {
      EXPECT_TRUE(std::filesystem::exists(saved)) << row.name;
    }
  }
}

TEST(CloseQuestion, ExitAsksOnlyWithAnUnsavedReport) {
  struct Row {
    const char* name;
    std::int32_t command;
    SaveAnswer answer;
    bool asked;
    bool closed;
  };
  const Row rows[] = {
      {"the listing", 0, SaveAnswer::kCancel, false, true},
      {"unsaved, Cancel", kCmdCompute, SaveAnswer::kCancel, true, false},
      {"unsaved, Discard", kCmdCompute, SaveAnswer::kDiscard, true, true},
  };
  for (const Row& row : rows) {
    Frame f;
    f.frame.OpenFile(kHerd);
    if (row.command != 0) f.frame.Dispatch(row.command);
    f.platform.messages.clear();
    f.platform.saveAnswer = row.answer;
    EXPECT_EQ(f.frame.close(), row.closed) << row.name;
    EXPECT_EQ(f.platform.messages,
              row.asked ? std::vector<std::string>{"Do you want to save the report of \"herd.pdg\" before exiting?"}
                        : std::vector<std::string>{})
        << row.name;
  }
}

TEST(CloseQuestion, TheBoxHasSaveDiscardAndCancel) {
  struct Row {
    QMessageBox::StandardButton button;
    SaveAnswer answer;
  };
  const Row rows[] = {{QMessageBox::Save, SaveAnswer::kSave},
                      {QMessageBox::Discard, SaveAnswer::kDiscard},
                      {QMessageBox::Cancel, SaveAnswer::kCancel}};
  for (const Row& row : rows) {
    QtPlatform platform;
    QStringList buttons;
    WhenShown<QMessageBox>([&buttons, &row](QMessageBox& box) {
      for (QAbstractButton* b : box.buttons()) buttons << b->text();
      box.button(row.button)->click();
    });
    EXPECT_EQ(platform.AskToSave("Do you want to save?"), row.answer);
    EXPECT_EQ(buttons.size(), 3);
  }
}

TEST(Cancel, KeepsTheReportShownBefore) {
  Frame f;
  f.frame.OpenFile(kHerd);
  f.frame.Dispatch(kCmdStructure);
  const std::vector<std::string> before = kinvar::test::ReportLines(f.doc.pedigree());
  const std::size_t tables = f.doc.pedigree().report.tables().tables().size();
  const std::string first = f.Folder("first.txt");
  AnswerFileDialog(first);
  f.frame.Dispatch(kCmdFileSaveAs);
  QApplication::processEvents();
  const QImage shown = f.frame.view()->viewport()->grab().toImage();

  f.platform.cancel = true;
  f.frame.Dispatch(kCmdBetweenAll);
  f.platform.cancel = false;
  EXPECT_EQ(kinvar::test::ReportLines(f.doc.pedigree()), before);
  EXPECT_EQ(f.doc.pedigree().report.tables().tables().size(), tables);
  EXPECT_EQ(f.doc.lastCommand(), kCmdStructure);
  EXPECT_EQ(f.Status().toStdString(), "Cancelled. The report shown before is kept.");
  QApplication::processEvents();
  EXPECT_TRUE(f.frame.view()->viewport()->grab().toImage() == shown);
  // Saved again, it is the same file: its copy file came back with it.
  const std::string again = f.Folder("again.txt");
  AnswerFileDialog(again);
  f.frame.Dispatch(kCmdFileSaveAs);
  const auto body = [](const std::string& text) { return text.substr(text.find('\n')); };
  EXPECT_EQ(body(kinvar::test::ReadWholeFile(again)), body(kinvar::test::ReadWholeFile(first)));
  // And it was saved: nothing to ask on closing.
  f.platform.messages.clear();
  f.frame.OpenFile(kSmall);
  EXPECT_TRUE(f.platform.messages.empty());
}

TEST(MatingsContributionFile, TheDialogSaysWhatItIsAndMakesOneToStartFrom) {
  Frame f;
  f.frame.OpenFile(kHerd);
  const std::string made = f.Folder("start.c");
  std::string note;
  WhenShown<TwoGroupsDialog>([&note, made](TwoGroupsDialog& d) {
    d.listA()->setCurrentIndex(d.listA()->findText("2"));
    d.listB()->setCurrentIndex(d.listB()->findText("3"));
    WhenShown<QFileDialog>([&note, made](QFileDialog& open) {
      EXPECT_EQ(open.windowTitle().toStdString(), "Open the contribution file: each sire's number of dams");
      EXPECT_EQ(open.nameFilters().value(0).toStdString(), "Contribution files (*.c)");
      auto* label = open.findChild<QLabel*>("fileNote");
      ASSERT_NE(label, nullptr);
      note = label->text().toStdString();
      auto* create = open.findChild<QPushButton*>("createFile");
      ASSERT_NE(create, nullptr);
      EXPECT_EQ(create->text().toStdString(), "Create one from the groups...");
      WhenShown<QFileDialog>([made](QFileDialog& save) {
        EXPECT_EQ(save.windowTitle().toStdString(), "Create a contribution file");
        save.selectFile(QString::fromStdString(made));
        static_cast<QDialog&>(save).accept();
      });
      create->click();
    });
    d.button()->click();
  });
  f.frame.Dispatch(kCmdOptimizeMatings);
  EXPECT_EQ(note.substr(0, 59), "A contribution file (.c) is a text file, not a program: one");
  ASSERT_TRUE(std::filesystem::exists(made));
  EXPECT_EQ(f.platform.messages,
            std::vector<std::string>{"The contribution file " + made +
                                     " gives every dam one mating, the sires an even share.\n"
                                     "Change its numbers to give sires more or fewer dams."});
  // The run went on with it: every dam of group 3 has one mating, and the
  // clock seeding of the first run is a line of the report.
  ASSERT_EQ(f.doc.lastCommand(), kCmdOptimizeMatings);
  const ResultTable* matings = f.doc.pedigree().report.tables().Find("matings");
  ASSERT_NE(matings, nullptr);
  std::int64_t dams = 0;
  for (const Description& d : f.doc.pedigree().groups)
    if (d.group == 3) dams = d.count;
  EXPECT_EQ(static_cast<std::int64_t>(matings->rows()), dams);
  EXPECT_EQ(f.doc.pedigree().report.Line(0), "The random number generator is seeded with the current time.");
}

}  // namespace
}  // namespace kinvar::gui
