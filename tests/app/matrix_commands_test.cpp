// The desktop's Dominance Relationships and X-Linked Relationships: the
// group or all and the form, or S or its inverse; the file and its tables.
// A refused form or a cancelled picker writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/document.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPedigree =
    "Progeny Sire Dam Group\nA 0 0 1\nB 0 0 1\nS A B 2\nD A B 2\nX S D 3\n";

// S's variance is 1 (a male founder), O's 1/2 - 1/4 - 1/4 s(D, D) = 1/8:
// S inverse (1, 1) is 1 + 1/4 * 8.
constexpr const char* kSexed = "Progeny Sire Dam Sex\nS 0 0 M\nD 0 0 F\nO S D F\n";

// Dominance asks for the group or all and its form; X-linked asks for S
// or its inverse. The report on screen stays as it was.
TEST(MatrixCommands, WriteTheChosenMatrix) {
  struct Row {
    const char* name;
    const char* pedigree;
    std::int32_t command;
    std::optional<int> group;  // and the dominance form; nothing: X-linked
    std::vector<std::string> form;  // inverse, triplets, full, smallest value
    int choice;                     // X-linked: 1 S, 2 its inverse
    const char* table;
    std::vector<std::string> parts;  // of the file
    const char* message;  // the information shown, "" for none
  };
  const Row rows[] = {
      {"DominanceAllTriplets", kPedigree, kCmdDominance, kAllIndividuals, {"0", "1", "0", "0"}, 0, "dominance",
       {"3 3 1\n4 3 0.25\n4 4 1\n5 3 0.125\n5 4 0.125\n5 5 1\n"}, ""},
      {"DominanceGroupFile", kPedigree, kCmdDominance, 2, {"0", "0", "0", "0"}, 0, "dominance",
       {"Dominance relationship matrix for group 2 (Lower triangular):\n"}, ""},
      {"DominanceGroupInverseFull", kPedigree, kCmdDominance, 2, {"1", "0", "1", "0"}, 0, "dominance_inverse",
       {"Inverse of the dominance relationship matrix for group 2:\n"},
       "The dominance relationship matrix of 2 individuals has 4 non-zero elements; computing its inverse."},
      {"XLinkedS", kSexed, kCmdXLinked, std::nullopt, {}, 1, "xlinked",
       {"X-linked relationship matrix (Lower triangular):\n", "S,                    1,          1:1, \n"}, ""},
      {"XLinkedInverse", kSexed, kCmdXLinked, std::nullopt, {}, 2, "xlinked_inverse",
       {"Inverse of the X-linked relationship matrix (Lower triangular):\n",
        "S,                    1,          1:3, \n"},
       ""},
  };
  const std::string out = (fs::temp_directory_path() / ("kinvar-matrix-" + std::to_string(::getpid()))).string();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::DocSession session(row.pedigree);
    test::ScriptedPlatform& platform = session.platform;
    Document& doc = session.doc;
    if (row.group) {
      platform.groupChoices = {row.group};
      platform.forms = {row.form};
    } else {
      platform.saveChoices = {row.choice};
    }
    platform.fileNames = {out};
    doc.RunCommand(row.command);
    const std::string written = test::ReadWholeFile(out);
    for (const std::string& part : row.parts) EXPECT_NE(written.find(part), std::string::npos) << written;
    EXPECT_NE(doc.pedigree().writtenTables.Find(row.table), nullptr);
    EXPECT_NE(doc.pedigree().writtenTables.Find("recoding"), nullptr);
    EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree);
    EXPECT_EQ(platform.JoinedTexts(MessageIcon::kInformation), row.message);
    if (row.group) {
      ASSERT_EQ(platform.pickerAllEntries.size(), 1u);
      EXPECT_EQ(platform.pickerAllEntries[0], "All individuals");
      EXPECT_EQ(platform.formCaptions, std::vector<std::string>{"Dominance relationships"});
    }
    fs::remove(out);
  }
}

TEST(DominanceCommand, NothingIsWrittenWithoutAnAnswer) {
  struct Row {
    const char* name;
    std::optional<int> group;
    std::optional<std::vector<std::string>> form;
    const char* error;  // "" for none
  };
  const Row rows[] = {
      {"PickerCancelled", std::nullopt, std::vector<std::string>{"0", "1", "0", "0"}, ""},
      {"FormCancelled", 2, std::nullopt, ""},
      {"BothOutputs", 2, std::vector<std::string>{"0", "1", "1", "0"}, "Choose triplets or the entire matrix, not both."},
      {"NotANumber", 2, std::vector<std::string>{"0", "1", "0", "x"}, "The smallest value must be a number of 0 or more."},
  };
  for (const Row& row : rows) {
    test::DocSession session(kPedigree);
    test::ScriptedPlatform& platform = session.platform;
    Document& doc = session.doc;
    platform.groupChoices = {row.group};
    platform.forms = {row.form};
    doc.RunCommand(kCmdDominance);
    EXPECT_TRUE(platform.fileRequests.empty()) << row.name;
    EXPECT_EQ(platform.JoinedTexts(MessageIcon::kError), row.error) << row.name;
  }
}

// A cancel while D is computed or while the inverse is: the cancel line, no
// file, no tables.
TEST(DominanceCommand, ACancelLeavesNoFile) {
  struct Row {
    const char* name;
    std::vector<std::string> form;
    int poll;
  };
  const Row rows[] = {{"WhileComputing", {"0", "1", "0", "0"}, 1}, {"WhileInverting", {"1", "1", "0", "0"}, 2}};
  const std::string out = (fs::temp_directory_path() / ("kinvar-dom-c-" + std::to_string(::getpid()))).string();
  for (const Row& row : rows) {
    test::DocSession session(kPedigree);
    test::ScriptedPlatform& platform = session.platform;
    Document& doc = session.doc;
    platform.groupChoices = {kAllIndividuals};
    platform.forms = {row.form};
    platform.fileNames = {out};
    doc.RunCommand(kCmdCompute);  // so that every poll below is the command's own
    platform.cancelAtPoll = platform.polls + row.poll;
    doc.RunCommand(kCmdDominance);
    EXPECT_EQ(platform.polls, platform.cancelAtPoll) << row.name;
    EXPECT_FALSE(fs::exists(out)) << row.name;
    EXPECT_EQ(doc.pedigree().writtenTables.Find("dominance"), nullptr) << row.name;
    EXPECT_EQ(doc.pedigree().writtenTables.Find("dominance_inverse"), nullptr) << row.name;
    ASSERT_GT(doc.pedigree().report.Count(), 0) << row.name;
    EXPECT_EQ(doc.pedigree().report.Line(0), kCanceledLine) << row.name;
    EXPECT_EQ(doc.lastCommand(), 0) << row.name;
    fs::remove(out);
  }
}

}  // namespace
}  // namespace kinvar
