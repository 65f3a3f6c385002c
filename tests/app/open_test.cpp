// Opening a pedigree over the one shown: a file that is not read leaves the
// document as it was, down to what Save As writes; a file that is read,
// accepted or rejected, replaces it whole. Opening a workbook.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analyses/gene_origin.h"
#include "analyses/relationship_commands.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

using test::DocSession;
using test::TempFile;

constexpr const char* kHeaderError =
    "Error: The header row format is not correct.\nThe pedigree file must have header row "
    "with field names.\n(i.e. Progeny Sire Dam Group F. Group and F are optional).";

// Groups, a predefined F, inbreds and a parent that is not listed.
constexpr const char* kShown =
    "progeny sire dam group f\n"
    "A 0 0 1 0.5\nB 0 0 1 .\nC A B 2 .\nD C B 2 .\nE C B 2 .\nF D E 1 .\nG F X 1 .\n";

constexpr const char* kOther = "progeny sire dam\nP 0 0\nQ 0 0\nR P Q\n";

std::string Full(const std::string& path) {
  return std::filesystem::absolute(path).lexically_normal().string();
}

// What a user sees of the document, and what a later command or Save As
// works with.
struct Snapshot {
  std::int32_t lastCommand = 0;
  std::string title;
  std::string path;
  std::vector<std::string> report;
  std::string saved;
  std::string inbreedingId;
  std::string relationshipA;
  std::string withinGroup;
  bool inbreedingComputed = false;
  std::vector<std::string> ids;
  std::vector<float> f;
  std::vector<float> d;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(DocSession& s) {
  Snapshot shot;
  shot.lastCommand = s.doc.lastCommand();
  shot.title = s.doc.title();
  shot.path = s.doc.path();
  shot.report = s.Report();
  shot.saved = s.SaveAs();
  shot.inbreedingId = s.doc.remembered.values.Text(InbreedingOfDeclaration(), "id");
  shot.relationshipA = s.doc.remembered.values.Text(RelationshipDeclaration(), "id1");
  shot.withinGroup = s.doc.remembered.values.Text(WithinGroupDeclaration(), "group");
  const Pedigree& ped = s.doc.pedigree();
  shot.inbreedingComputed = ped.inbreedingComputed;
  for (const Rec& r : ped.recs) {
    shot.ids.emplace_back(r.id);
    shot.f.push_back(r.f);
  }
  shot.d = ped.d;
  return shot;
}

class Open : public test::FixedClockTest {
 protected:
  // kShown opened, inbreeding computed, inputs typed into both dialogs and
  // a group picked, and a report shown whose Save As comes from the report
  // copy file.
  static void ShowWorkedPedigree(DocSession& s) {
    ASSERT_TRUE(s.doc.OpenPedigreeFile(s.file->path()));
    std::string typed = "g";
    ASSERT_TRUE(s.doc.InbreedingOf(typed).has_value());
    std::string a = "d", b = "e";
    ASSERT_TRUE(s.doc.RelationshipOf(a, b).value.has_value());
    s.platform.groupChoices.push_back(2);
    s.doc.RunCommand(kCmdGeneOrigin);
    ASSERT_EQ(s.doc.lastCommand(), kCmdGeneOrigin);
    ASSERT_TRUE(s.doc.pedigree().inbreedingComputed);
    s.platform.messages.clear();
  }
};

// The polls a load of `text` makes, from the first to the last.
int PollsToLoad(const std::string& text) {
  DocSession s(text);
  return s.platform.polls;
}

TEST_F(Open, AFileThatIsNotReadLeavesTheShownPedigree) {
  struct Row {
    const char* name;
    std::optional<std::string> text;  // nothing: the file does not exist
    Answer answer;                    // to the save question: No cancels the Open
    int cancelAt;                     // poll of the load that cancels, 0 none
    bool rewriteShown;                // the shown file itself, changed on disk
    const char* error;                // "" none; "Cannot open %s" has the path
  };
  const int lastPoll = PollsToLoad(kOther);
  ASSERT_GT(lastPoll, 1);
  const Row rows[] = {
      {"unreadable header", "calf father mother\nP 0 0\n", Answer::kYes, 0, false, kHeaderError},
      {"missing file", std::nullopt, Answer::kYes, 0, false, "Cannot open %s"},
      {"empty file", "", Answer::kYes, 0, false, "File is empty."},
      {"F out of range in line 3", "progeny sire dam f\nP 0 0 .\nQ 0 0 1.5\n", Answer::kYes, 0,
       false, "Error in line 3.\nThe inbreeding coefficient must be in the range of 0 - 1.\nColumn f: \"1.5\""},
      {"cancelled while reading", kOther, Answer::kYes, 1, false, ""},
      {"cancelled at the load's last poll", kOther, Answer::kYes, lastPoll, false, ""},
      {"close question answered No", kOther, Answer::kNo, 0, false, ""},
      {"shown file broken on disk", "progeny sire\nA 0\n", Answer::kYes, 0, true, kHeaderError},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DocSession s;
    s.file = std::make_unique<TempFile>(kShown);
    ShowWorkedPedigree(s);
    const Snapshot before = Take(s);
    // Taking the snapshot saved the report: made again, it is unsaved.
    s.platform.groupChoices.push_back(2);
    s.doc.RunCommand(kCmdGeneOrigin);
    ASSERT_TRUE(s.doc.HasUnsavedReport());

    std::optional<TempFile> other;
    std::string path = s.file->path() + ".missing";
    if (row.rewriteShown) {
      path = s.file->path();
      std::ofstream(path, std::ios::trunc) << *row.text;
      // A later modification time, whatever the clock's resolution.
      std::filesystem::last_write_time(
          path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    } else if (row.text) {
      other.emplace(*row.text);
      path = other->path();
    }
    s.platform.saveAnswers.push_back(row.answer == Answer::kNo ? SaveAnswer::kCancel : SaveAnswer::kDiscard);
    if (row.cancelAt != 0) s.platform.cancelAtPoll = s.platform.polls + row.cancelAt;

    EXPECT_FALSE(s.doc.OpenPedigreeFile(path));
    std::vector<std::string> told = {"Do you want to save the report of \"" + before.title +
                                     "\" before closing it?"};
    std::string error = row.error;
    if (error == "Cannot open %s") error = "Cannot open " + Full(path);
    if (!error.empty()) told.push_back(error);
    EXPECT_EQ(s.platform.MessageTexts(), told);
    EXPECT_EQ(Take(s), before);
    EXPECT_EQ(s.platform.recentFiles.size(), 1u);

    // Still the same file at the same time: opening it again is refused.
    if (!row.rewriteShown) {
      s.platform.messages.clear();
      EXPECT_FALSE(s.doc.OpenPedigreeFile(s.file->path()));
      EXPECT_EQ(s.platform.MessageTexts(),
                std::vector<std::string>{"This file is already open."});
    }
    // And the commands run on it as before.
    s.doc.RunCommand(kCmdViewPedigree);
    EXPECT_EQ(s.doc.lastCommand(), kCmdViewPedigree);
    EXPECT_EQ(s.Report().size(), 11u);
  }
}

TEST_F(Open, AFileThatIsReadReplacesTheShownPedigreeWhole) {
  struct Row {
    const char* name;
    const char* text;
    std::int32_t lastCommand;
    std::vector<std::string> report;
    std::string savedBody;  // after the two header lines and the empty one
  };
  const Row rows[] = {
      {"accepted", kOther, kCmdViewPedigree,
       {"Progeny|T1Sire|T1Dam", "----------|T1----------|T1----------", "P|T1|M0|T1|F0",
        "Q|T1|M0|T1|F0", "R|T1|MP|T1|FQ"},
       "Progeny               Sire                  Dam\n\n"
       "P                     0                     0\n"
       "Q                     0                     0\n"
       "R                     P                     Q\n\n"},
      {"rejected", "progeny sire dam\nP Q Q\nQ 0 0\n", kRejectedPedigree,
       {"|XError(s) list:", "|CQ |Aappearing as both sire and dam (as sire and dam in line 2).", "",
        "Correct the pedigree file."},
       "Error(s) list:\nQ appearing as both sire and dam (as sire and dam in line 2).\n\nCorrect the pedigree file.\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DocSession s;
    s.file = std::make_unique<TempFile>(kShown);
    ShowWorkedPedigree(s);
    s.doc.settings().numberFormat = 4;
    const TempFile other(row.text);

    EXPECT_TRUE(s.doc.OpenPedigreeFile(other.path()));
    EXPECT_EQ(s.doc.lastCommand(), row.lastCommand);
    EXPECT_EQ(s.doc.title(), std::filesystem::path(other.path()).filename().string());
    EXPECT_EQ(s.doc.path(), Full(other.path()));
    EXPECT_EQ(s.Report(), row.report);
    const std::string saved = s.SaveAs();
    EXPECT_TRUE(saved.ends_with("\n\n" + row.savedBody)) << saved;
    // Nothing of the shown pedigree is left but the settings.
    const Pedigree& ped = s.doc.pedigree();
    EXPECT_EQ(ped.nRead, 2 + (row.lastCommand == kCmdViewPedigree));
    EXPECT_FALSE(ped.inbreedingComputed);
    EXPECT_TRUE(ped.d.empty());
    EXPECT_EQ(ped.fColumn, -1);
    EXPECT_EQ(ped.groupColumn, -1);
    EXPECT_EQ(s.doc.remembered.values.Text(InbreedingOfDeclaration(), "id"), "");
    EXPECT_EQ(s.doc.remembered.values.Text(WithinGroupDeclaration(), "group"), "");
    EXPECT_EQ(s.doc.remembered.values.Text(GeneOriginDeclaration(), "group"), "");
    EXPECT_EQ(s.doc.settings().numberFormat, 4);
    EXPECT_EQ(s.platform.recentFiles.size(), 2u);
  }
}

// A workbook: of several sheets the platform is asked for one, and its
// cancel opens nothing; one sheet is read without asking; a damaged
// workbook is told.
TEST(OpenWorkbook, SheetChoiceAndARefusedWorkbook) {
  using Names = std::vector<std::string>;
  const std::string data = std::string(KINVAR_EXAMPLES_DIR) + "/../tests/data/xlsx/";
  struct Row { const char* name; const char* file; std::optional<std::string> choice; bool opened; Names ids; };
  const Row rows[] = {
      {"the second sheet", "two_sheets.xlsx", "Herd B", true, {"Q1", "Q2", "Q3", "Q4"}},
      {"the first sheet", "two_sheets.xlsx", "Herd A", true, {"P1", "P2", "P3"}},
      {"cancelled", "two_sheets.xlsx", std::nullopt, false, {}},
      {"one sheet", "plain.xlsx", std::nullopt, true, {"BELLA", "BRUNO", "CARLA", "DANTE", "ELSA"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const bool several = std::string(r.file) == "two_sheets.xlsx";
    DocSession s;
    if (several) s.platform.sheetChoices.push_back(r.choice);
    EXPECT_EQ(s.OpenPath(data + r.file), r.opened);
    EXPECT_EQ(s.platform.sheetLists, (several ? std::vector<Names>{{"Herd A", "Herd B"}} : std::vector<Names>{}));
    Names ids;
    for (std::int32_t i = 1; i <= s.doc.pedigree().nRead; ++i) ids.emplace_back(s.doc.pedigree().rec(i).id);
    EXPECT_EQ(ids, r.ids);
    EXPECT_TRUE(s.platform.messages.empty());
    EXPECT_EQ(s.doc.lastCommand(), r.opened ? kCmdViewPedigree : kNoPedigree);
    if (!several) {
      EXPECT_EQ(s.doc.title(), r.file);
    }
  }
  DocSession s;
  TempFile broken("PK\x03\x04 not really a workbook", ".xlsx");
  EXPECT_FALSE(s.OpenPath(broken.path()));
  ASSERT_EQ(s.platform.messages.size(), 1u);
  EXPECT_EQ(s.platform.messages[0].icon, MessageIcon::kError);
  EXPECT_NE(s.platform.messages[0].text.find("is damaged or is not an .xlsx workbook."), std::string::npos);
  EXPECT_EQ(s.doc.lastCommand(), kNoPedigree);
}

}  // namespace
}  // namespace kinvar
