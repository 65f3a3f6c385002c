#include "app/document.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/program_folder.h"
#include "app/settings_file.h"
#include "report/markup.h"
#include "report/number_format.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

using test::ScriptedPlatform;
using test::TempFile;

// The fixed clock's time, read in UTC.
constexpr const char* kStamp = "14:07  Saturday, December 5, 2026";

// The small pedigree of the examples: E and F are 1/4 inbred, J 9/32.
constexpr const char* kSmall =
    "! Two founder lines that meet.\n"
    "progeny sire dam\n"
    "A 0 0\nB 0 0\nC A B\nD A B\nE C D\nF A E\nG 0 0\nH G F\nI G F\nJ H I\n";

// `text` padded with blanks to `width` columns, as a column of a laid-out line.
std::string Col(const std::string& text, std::size_t width) {
  return text + std::string(width - text.size(), ' ');
}

using test::SavedFile;

class DocumentTest : public test::FixedClockTest {
 protected:
  void SetUp() override {
    FixedClockTest::SetUp();
    ASSERT_TRUE(doc.Initialize());
  }

  std::string OutputHeader(const TempFile& f) const {
    return std::string(kStamp) + "\nPedigree file name: " + Full(f) + "\n\n";
  }
  std::string PedigreeHeader(const TempFile& f) const {
    std::string header = "!";
    header += kStamp;
    return header + "\n!Pedigree file name: " + Full(f) + "\n\n";
  }
  std::vector<std::string> Report() const { return test::ReportLines(doc.pedigree()); }
  static std::string Full(const TempFile& f) {
    return std::filesystem::absolute(f.path()).lexically_normal().string();
  }

  ScriptedPlatform platform;
  Document doc{platform, ""};
};

TEST_F(DocumentTest, OpeningListsThePedigreeWithAddedParentsUnderlined) {
  TempFile file("progeny sire dam\nC A B\nA 0 0\n");
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree);
  EXPECT_EQ(doc.title(), std::filesystem::path(file.path()).filename().string());
  EXPECT_EQ(Report(), (std::vector<std::string>{
                                  "Progeny|T1Sire|T1Dam", "----------|T1----------|T1----------",
                                  "C|T1|MA|T1|FB", "A|T1|M0|T1|F0",
                                  "----------|T1----------|T1----------", "B|T1|M0|T1|F0"}));
  EXPECT_EQ(platform.recentFiles.size(), 1u);
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdViewPedigree));
  EXPECT_TRUE(doc.IsCommandEnabled(kCmdCompute));

  EXPECT_EQ(SavedFile(doc), PedigreeHeader(file) + Col("Progeny", 22) + Col("Sire", 22) +
                                "Dam\n\n" + Col("C", 22) + Col("A", 22) + "B\n" + Col("A", 22) +
                                Col("0", 22) + "0\n\n" + Col("B", 22) + Col("0", 22) + "0\n");
}

TEST_F(DocumentTest, ComputeReportsCountsAndEvaluatedInbreds) {
  TempFile file(kSmall);
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  ASSERT_TRUE(doc.RunCommand(kCmdCompute));
  EXPECT_EQ(doc.lastCommand(), kCmdCompute);
  EXPECT_EQ(Report(),
            (std::vector<std::string>{
                "No. of individuals in total|T7|T7|I10", "No. of inbreds|T7|T7|X3",
                "No. of evaluated individuals|T7|T7|I10", "No. of inbreds in evaluated|T7|T7|X3",
                "----------------------- List of inbreds in evaluated individuals ------------------------",
                "|T1|T6|T4|T6No. of dis. gen.|T4|T6Longest ancestral",
                "Individual|T1|T6F|T4|T6equiv.|T4|T6path",
                "----------|T1|T6----------|T4|T6----------|T4|T6----------",
                "E|T1|T6|I0.25|T4|T62|T4|T62", "F|T1|T6|I0.25|T4|T62|T4|T63",
                "J|T1|T6|I0.28125|T4|T63|T4|T65"}));
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdCompute));
  EXPECT_TRUE(doc.IsCommandEnabled(kCmdViewPedigree));
  for (const Rec& r : doc.pedigree().recs) EXPECT_EQ(r.scratch, 0.0f) << r.id;

  const std::string body =
      Col("No. of individuals in total", 34) + "10\n" + Col("No. of inbreds", 34) + "3\n" +
      Col("No. of evaluated individuals", 34) + "10\n" + Col("No. of inbreds in evaluated", 34) +
      "3\n" +
      "----------------------- List of inbreds in evaluated individuals ------------------------\n" +
      std::string(50, ' ') + Col("No. of dis. gen.", 22) + "Longest ancestral\n" +
      Col("Individual", 28) + Col("F", 22) + Col("equiv.", 22) + "path\n\n" + Col("E", 28) +
      Col("0.25", 22) + Col("2", 22) + "2\n" + Col("F", 28) + Col("0.25", 22) + Col("2", 22) +
      "3\n" + Col("J", 28) + Col("0.28125", 22) + Col("3", 22) + "5\n";
  EXPECT_EQ(SavedFile(doc), OutputHeader(file) + body);
}

TEST_F(DocumentTest, InbredsFileSaysSoWhenNoEvaluatedIndividualIsInbred) {
  TempFile file("progeny sire dam f\nA 0 0 .\nB 0 0 0.5\nC A B .\n");
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  doc.RunCommand(kCmdCompute);
  EXPECT_EQ(Report().back(), "|XThere is no inbred in evaluated individuals.");
  const std::string saved = SavedFile(doc);
  EXPECT_TRUE(saved.ends_with(
      "------------------------\nThere is no inbred in evaluated individuals.\n"))
      << saved;
  EXPECT_NE(saved.find(Col("No. of inbreds", 34) + "1\n"), std::string::npos) << saved;
}

TEST_F(DocumentTest, CancelShowsTheCancelLineAndALaterRunCountsTheSame) {
  TempFile file(kSmall);
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  platform.cancelAtPoll = platform.polls + 1;
  doc.RunCommand(kCmdCompute);
  EXPECT_EQ(doc.lastCommand(), kCmdNone);
  EXPECT_EQ(Report(), std::vector<std::string>{"|XProcess has been canceled by the user."});
  EXPECT_FALSE(doc.pedigree().inbreedingComputed);
  EXPECT_EQ(SavedFile(doc), OutputHeader(file) + "Process has been canceled by the user.\n");
  EXPECT_TRUE(doc.IsCommandEnabled(kCmdCompute));

  doc.RunCommand(kCmdCompute);
  EXPECT_EQ(doc.lastCommand(), kCmdCompute);
  EXPECT_EQ(doc.pedigree().nInbreds, 3);
  EXPECT_EQ(doc.pedigree().nEvaluated, 10);
  EXPECT_EQ(doc.pedigree().nInbredsEvaluated, 3);
}

// The unchanged file is refused; once touched, it reloads after the close
// question.
TEST_F(DocumentTest, ReopeningAFileReloadsItOnlyWhenTouched) {
  TempFile file(kSmall);
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  doc.RunCommand(kCmdCompute);
  EXPECT_FALSE(doc.OpenPedigreeFile(file.path()));
  EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{"This file is already open."});
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kInformation);
  std::filesystem::last_write_time(
      file.path(), std::filesystem::last_write_time(file.path()) + std::chrono::seconds(5));

  platform.saveAnswers = {SaveAnswer::kCancel};
  EXPECT_FALSE(doc.OpenPedigreeFile(file.path()));
  EXPECT_EQ(doc.lastCommand(), kCmdCompute);  // refused and Cancel keep everything

  platform.saveAnswers = {SaveAnswer::kDiscard};
  EXPECT_TRUE(doc.OpenPedigreeFile(file.path()));
  const std::string question = "Do you want to save the report of \"" + doc.title() + "\" before closing it?";
  EXPECT_EQ(platform.MessageTexts(),
            (std::vector<std::string>{"This file is already open.", question, question}));
  EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree);
  EXPECT_FALSE(doc.pedigree().inbreedingComputed);
}

TEST_F(DocumentTest, ARejectedFileShowsItsErrorsAndDisablesAnalyses) {
  TempFile file("progeny sire dam\nA B 0\nB A 0\n");
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  EXPECT_EQ(doc.lastCommand(), kRejectedPedigree);
  ASSERT_GT(doc.pedigree().report.Count(), 0);
  EXPECT_TRUE(doc.IsCommandEnabled(kCmdFileSaveAs));
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdCompute));
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdViewPedigree));

  std::string expected = OutputHeader(file);
  for (const std::string& line : Report()) expected += ExpandMarkup(line);
  EXPECT_EQ(SavedFile(doc), expected);

  // Opening another file asks nothing: the error list is the file's own.
  TempFile other(kSmall);
  platform.messages.clear();
  EXPECT_TRUE(doc.OpenPedigreeFile(other.path()));
  EXPECT_TRUE(platform.messages.empty());
}

// A file that cannot be read, and a load cancelled.
TEST_F(DocumentTest, AFailedOrCancelledLoadLeavesNoPedigree) {
  TempFile file("progeny sire\nA 0\n");
  EXPECT_FALSE(doc.OpenPedigreeFile(file.path()));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(platform.messages[0].text.rfind("Error: The header row format is not correct.", 0), 0u);
  EXPECT_FALSE(doc.OpenPedigreeFile("/nonexistent/x.pdg"));
  EXPECT_EQ(platform.messages.back().text, "Cannot open /nonexistent/x.pdg");
  TempFile good(kSmall);
  platform.cancelAtPoll = platform.polls + 1;
  EXPECT_FALSE(doc.OpenPedigreeFile(good.path()));
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(doc.lastCommand(), kNoPedigree);
  EXPECT_EQ(doc.title(), "");
  EXPECT_EQ(doc.pedigree().nTotal, 0);
}

TEST_F(DocumentTest, RecodedFileInBothOrders) {
  TempFile file("progeny sire dam\nC A B\nA 0 0\n");
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  doc.RunCommand(kCmdRecoding);
  EXPECT_EQ(doc.lastCommand(), kCmdRecoding);
  const auto& ped = doc.pedigree();
  const int a = ped.recs[2].code, b = ped.recs[3].code, c = ped.recs[1].code;
  EXPECT_EQ(c, 3);  // parents first
  EXPECT_EQ(Report()[2], "3|T7|M" + std::to_string(a) + "|T7|F" + std::to_string(b) + "|T7|AC");

  platform.saveChoices = {2};
  EXPECT_EQ(doc.AskSaveChoice(), 2);
  EXPECT_EQ(platform.choiceTexts.back(),
            std::make_pair(std::string("Save in ascending order"), std::string("Save in original order")));
  const std::string preamble =
      "! The individuals have been consecutively numbered from 1 to 3 so that parents precede "
      "their progeny.\n! Number of individuals:  3\n"
      "!------------------------------------------------------------------\n\n" +
      Col("Progeny", 17) + Col("Sire", 17) + Col("Dam", 17) + "Original ID\n\n";
  auto row = [](int code, int sire, int dam, const char* id) {
    return Col(std::to_string(code), 17) + Col(std::to_string(sire), 17) +
           Col(std::to_string(dam), 17) + id + "\n";
  };
  EXPECT_EQ(SavedFile(doc, 2), PedigreeHeader(file) + preamble + row(3, a, b, "C") +
                                   row(a, 0, 0, "A") + "\n" + row(b, 0, 0, "B"));
  EXPECT_EQ(SavedFile(doc, 1), PedigreeHeader(file) + preamble + row(1, 0, 0, a == 1 ? "A" : "B") +
                                   row(2, 0, 0, a == 1 ? "B" : "A") + row(3, a, b, "C"));
}

TEST_F(DocumentTest, ViewAfterComputeShowsFAndTheFileKeepsItExactUnderFractions) {
  TempFile file("progeny sire dam group f\nA 0 0 1 0.5\nB 0 0 . .\nC A B 2 .\nD C B 2 .\n");
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  EXPECT_EQ(Report()[0], "Progeny|T1Sire|T1Dam|T1Group|T5F");
  EXPECT_EQ(Report()[2], "A|T1|M0|T1|F0|T1|A1|T5|A0.5 |X*");
  EXPECT_EQ(Report()[3], "B|T1|M0|T1|F0|T1|A.|T5|A.");
  doc.RunCommand(kCmdCompute);
  doc.RunCommand(kCmdViewPedigree);
  // D = C x B with C = A x B: F_D = a(C,B)/2 = 1/4; A's predefined F only
  // changes C's within-family variance.
  EXPECT_EQ(doc.pedigree().recs[4].f, 0.25f);
  EXPECT_EQ(Report()[5], "D|T1|MC|T1|FB|T1|A2|T5|A0.25");

  Settings entries = doc.settings();
  entries.numberFormat = 0;
  const auto changes = doc.ApplyOptions(entries);
  ASSERT_TRUE(changes.has_value());
  doc.RerunAfterOptions(*changes);
  EXPECT_EQ(Report()[3], "B|T1|M0|T1|F0|T1|A.|T5|A" + FormatNumber(0, 0.0f));
  // The file is read again: F stays "F" and exact, not a fraction.
  EXPECT_EQ(SavedFile(doc),
            PedigreeHeader(file) + Col("Progeny", 22) + Col("Sire", 22) + Col("Dam", 22) +
                Col("Group", 10) + "F\n\n" + Col("A", 22) + Col("0", 22) + Col("0", 22) +
                Col("1", 10) + "0.5\n" + Col("B", 22) + Col("0", 22) + Col("0", 22) +
                Col(".", 10) + "0\n" + Col("C", 22) + Col("A", 22) + Col("B", 22) +
                Col("2", 10) + "0\n" + Col("D", 22) + Col("C", 22) + Col("B", 22) +
                Col("2", 10) + "0.25\n\n");
}

TEST_F(DocumentTest, RecomputeReplacesPredefinedCoefficients) {
  TempFile file("progeny sire dam f\nA 0 0 0.5\nB 0 0 .\nC A B .\nD C B .\n");
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  EXPECT_TRUE(doc.IsCommandEnabled(kCmdRecompute));
  doc.RunCommand(kCmdCompute);
  const float withPredefined = doc.pedigree().recs[4].f;
  doc.RunCommand(kCmdRecompute);
  EXPECT_EQ(doc.lastCommand(), kCmdCompute);
  EXPECT_EQ(doc.pedigree().recs[1].f, 0.0f);
  EXPECT_FALSE(doc.pedigree().recs[1].fPredefined);
  EXPECT_EQ(doc.pedigree().fColumn, -1);
  EXPECT_FALSE(doc.IsCommandEnabled(kCmdRecompute));
  // D = C x B with C = A x B: F_D = a(C,B)/2 = 1/4, whatever A's F was.
  EXPECT_EQ(doc.pedigree().recs[4].f, 0.25f);
  EXPECT_EQ(withPredefined, 0.25f);
}

TEST_F(DocumentTest, InbreedingOfUpperCasesAndReportsUnknownIdsAndCancels) {
  TempFile file(kSmall);
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  platform.cancelAtPoll = platform.polls + 1;
  std::string typed = "j";
  EXPECT_EQ(doc.InbreedingOf(typed), std::nullopt);
  EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{"Process has been canceled by the user."});
  EXPECT_EQ(doc.InbreedingOf(typed), "0.28125");
  EXPECT_EQ(typed, "J");
  EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree);  // a dialog writes no report

  std::string unknown = "zz";
  EXPECT_EQ(doc.InbreedingOf(unknown), std::nullopt);
  EXPECT_EQ(platform.messages.back().text, "Cannot find \"ZZ\" in the pedigree.");
  std::string blank = " J";
  EXPECT_EQ(doc.InbreedingOf(blank), std::nullopt);
  std::string empty;
  const auto before = platform.messages.size();
  EXPECT_EQ(doc.InbreedingOf(empty), std::nullopt);
  EXPECT_EQ(platform.messages.size(), before);
}

TEST_F(DocumentTest, RelationshipDialogFollowsItsRulesBoxByBox) {
  TempFile file(kSmall);
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  struct Row {
    const char* name;
    std::vector<std::string> typed;
    std::optional<std::string> value;
    int focus;
    const char* message;  // "" none
  };
  const Row rows[] = {
      {"first box empty", {"", "c"}, std::nullopt, 0, ""},
      {"second box empty", {"e", ""}, std::nullopt, 1, ""},
      {"first unknown", {"zz", "c"}, std::nullopt, 0, "Cannot find individual \"ZZ\" in the pedigree."},
      {"second unknown", {"e", "yy"}, std::nullopt, 1, "Cannot find individual \"YY\" in the pedigree."},
      {"inbred offspring and its sire", {"e", "c"}, "0.75", 0, ""},
      {"either order", {"C", "e"}, "0.75", 0, ""},
      {"the same individual twice", {"e", "E"}, "1.25", 0, ""},
  };
  for (const Row& row : rows) platform.queries.push_back(row.typed);
  ASSERT_TRUE(doc.RunCommand(kCmdBetweenTwoIndividuals));
  ASSERT_EQ(platform.queryDialogs.size(), 1u);
  EXPECT_EQ(platform.queryDialogs[0].caption, "Numerator relationship");
  ASSERT_EQ(platform.queryAnswers.size(), std::size(rows));
  std::size_t messages = 0;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(platform.queryAnswers[i].value, rows[i].value) << rows[i].name;
    EXPECT_EQ(platform.queryAnswers[i].focus, rows[i].focus) << rows[i].name;
    if (*rows[i].message != '\0') {
      ASSERT_LT(messages, platform.messages.size());
      EXPECT_EQ(platform.messages[messages++].text, rows[i].message) << rows[i].name;
    }
  }
  EXPECT_EQ(messages, platform.messages.size());
  EXPECT_EQ(platform.queryTexts.back(), (std::vector<std::string>{"E", "E"}));
  EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree);  // a dialog writes no report

  // The remembered IDs open the next dialog, which now shows coefficients.
  doc.settings().relationshipType = 0;
  platform.queries.push_back({"e", "c"});
  ASSERT_TRUE(doc.RunCommand(kCmdBetweenTwoIndividuals));
  EXPECT_EQ(platform.queryDialogs[1].caption, "Relationship coefficient");
  EXPECT_EQ(platform.queryDialogs[1].texts, (std::vector<std::string>{"E", "E"}));
  EXPECT_EQ(platform.queryAnswers.back().value, "0.67082");
}

TEST_F(DocumentTest, RejectedOptionsChangeNothing) {
  Settings entries = doc.settings();
  entries.relationshipType = 0;
  entries.relationshipUpper = 1.5f;
  EXPECT_FALSE(doc.ApplyOptions(entries).has_value());
  EXPECT_EQ(platform.messages.back().icon, MessageIcon::kError);
  EXPECT_EQ(doc.settings().relationshipType, 1);
}

// Unsaved: a report an analysis made that no save or export wrote since.
TEST_F(DocumentTest, ExitAsksOnlyWithAnUnsavedReport) {
  EXPECT_TRUE(doc.CanExit());
  TempFile file(kSmall);
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  EXPECT_TRUE(doc.CanExit());  // the listing loses nothing
  EXPECT_TRUE(platform.messages.empty());
  doc.RunCommand(kCmdCompute);
  EXPECT_TRUE(doc.HasUnsavedReport());
  platform.saveAnswers = {SaveAnswer::kCancel, SaveAnswer::kDiscard};
  EXPECT_FALSE(doc.CanExit());
  EXPECT_TRUE(doc.CanExit());
  const std::string question = "Do you want to save the report of \"" + doc.title() + "\" before exiting?";
  EXPECT_EQ(platform.MessageTexts(), (std::vector<std::string>{question, question}));
  // Save: Save As's dialog; cancelled, the window stays.
  platform.saveAnswers = {SaveAnswer::kSave, SaveAnswer::kSave};
  platform.fileNames = {std::nullopt};
  EXPECT_FALSE(doc.CanExit());
  TempFile target("", ".txt");
  platform.fileNames = {target.path()};
  EXPECT_TRUE(doc.CanExit());
  EXPECT_FALSE(doc.HasUnsavedReport());
  EXPECT_EQ(test::ReadWholeFile(target.path()), SavedFile(doc));
}

TEST_F(DocumentTest, SaveAsAsksForTheFileAndReportsFailures) {
  TempFile file(kSmall);
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  doc.RunCommand(kCmdCompute);
  TempFile target("", ".out");
  platform.fileNames = {target.path()};
  doc.OnFileSaveAs();
  ASSERT_EQ(platform.fileRequests.size(), 1u);
  EXPECT_EQ(platform.fileRequests[0].defaultExtension, "txt");
  EXPECT_EQ(platform.fileRequests[0].title, "Save As");
  EXPECT_EQ(test::ReadWholeFile(target.path()), SavedFile(doc));

  platform.fileNames = {std::string("/nonexistent/x.out")};
  doc.OnFileSaveAs();
  EXPECT_EQ(platform.messages.back().text, "Cannot open /nonexistent/x.out for writing.\nNo such file or directory");

  doc.RunCommand(kCmdViewPedigree);
  platform.fileNames = {std::nullopt};
  doc.OnFileSaveAs();
  EXPECT_EQ(platform.fileRequests.back().defaultExtension, "pdg");
  EXPECT_EQ(platform.fileRequests.back().filters.size(), 3u);
  EXPECT_EQ(platform.fileRequests.back().filters[1].description, "Text files (*.txt)");
}

TEST_F(DocumentTest, OpenAsksForAPedigreeFileAndLoadsIt) {
  TempFile file(kSmall);
  platform.fileNames = {std::nullopt, file.path()};
  doc.OnFileOpen();  // cancelled
  EXPECT_EQ(doc.lastCommand(), kNoPedigree);
  doc.OnFileOpen();
  ASSERT_EQ(platform.fileRequests.size(), 2u);
  const FileRequest& request = platform.fileRequests[1];
  EXPECT_TRUE(request.open);
  EXPECT_EQ(request.title, "Open");
  EXPECT_EQ(request.defaultExtension, "pdg");
  std::vector<std::string> filters;
  for (const FileFilter& f : request.filters) filters.push_back(f.description + " " + f.pattern);
  EXPECT_EQ(filters, (std::vector<std::string>{
                         "Pedigrees (*.pdg *.csv *.txt *.tsv *.xlsx) *.pdg *.csv *.txt *.tsv *.xlsx",
                         "Pedigree files (*.pdg) *.pdg", "CSV files (*.csv) *.csv",
                         "Text files (*.txt) *.txt", "TSV files (*.tsv) *.tsv",
                         "Excel workbooks (*.xlsx) *.xlsx", "All files (*.*) *.*"}));
  EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree);
  EXPECT_EQ(doc.pedigree().nTotal, 10);
}

TEST(ProgramFolder, FollowsKinvarHomeThenXdgConfigHome) {
  const auto base = std::filesystem::temp_directory_path() /
                    ("kinvar-folder-" + std::to_string(::getpid()));
  setenv("KINVAR_HOME", (base / "home").c_str(), 1);
  EXPECT_EQ(ProgramFolder(), (base / "home").string() + "/");
  EXPECT_TRUE(std::filesystem::is_directory(base / "home"));
  unsetenv("KINVAR_HOME");
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string savedXdg = xdg ? xdg : "";
  setenv("XDG_CONFIG_HOME", (base / "config").c_str(), 1);
  EXPECT_EQ(ProgramFolder(), (base / "config" / "kinvar").string() + "/");
  if (xdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(base);
}

TEST(DocumentSettings, ReadFromAndSavedToTheProgramFolder) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("kinvar-doc-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string prefix = folder.string() + "/";
  Settings stored;
  stored.numberFormat = 4;
  ASSERT_TRUE(WriteSettingsFile(prefix + "Kinvar.ini", stored));
  ScriptedPlatform platform;
  Document doc(platform, prefix);
  EXPECT_EQ(doc.settings().numberFormat, 4);
  Settings entries = doc.settings();
  entries.listFounders = 1;
  EXPECT_TRUE(doc.SaveOptions(entries));
  EXPECT_EQ(ReadSettingsFile(prefix + "Kinvar.ini").listFounders, 1);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kinvar
