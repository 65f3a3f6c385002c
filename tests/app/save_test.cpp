// Saving never loses a file: a cancel at the first, a middle or the last
// poll of Save As or of an extraction leaves an existing target byte for
// byte and creates no new one; an uncancelled run replaces it whole.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOld = "a file the user wants to keep\n";

struct SaveRow {
  const char* name;
  std::int32_t command;  // the report shown before saving
  // Runs the save or the extraction to `target`, scripting what it asks.
  std::function<bool(test::DocSession&, const std::string& target)> save;
};

bool SaveAs(test::DocSession& s, const std::string& target) { return s.doc.SaveTo(target, 1); }

bool ExtractGroup(test::DocSession& s, const std::string& target) {
  s.platform.groupChoices.push_back(1);
  s.platform.fileNames.push_back(target);
  s.doc.RunCommand(kCmdExtractAncestorsGroup);
  return s.doc.lastCommand() == kCmdExtractAncestorsGroup;
}

const SaveRow kRows[] = {
    {"Save As of a long report", kCmdBetweenAll, SaveAs},
    {"Save As of the pedigree", kCmdViewPedigree, SaveAs},
    {"Save As of the inbreds", kCmdCompute, SaveAs},
    {"Save As of dii", kCmdDii, SaveAs},
    {"extraction", kCmdViewPedigree, ExtractGroup},
};

std::string RandomHerd() {
  test::RandomPedigreeOptions options;
  options.seed = 7;
  options.size = 400;
  options.groupColumn = true;
  options.fColumn = true;
  return test::MakeRandomPedigree(options).text;
}

class Saving : public ::testing::TestWithParam<SaveRow> {};

TEST_P(Saving, ACancelLeavesTheTargetAsItWas) {
  const SaveRow& row = GetParam();
  test::DocSession s(RandomHerd());
  if (row.command != kCmdViewPedigree) s.doc.RunCommand(row.command);
  const std::int32_t shown = s.doc.lastCommand();
  // A cancelled save may have left another report; the next save needs this one.
  const auto showAgain = [&] {
    if (s.doc.lastCommand() != shown && row.command != kCmdViewPedigree) s.doc.RunCommand(row.command);
    s.platform.messages.clear();
  };
  const fs::path folder = fs::temp_directory_path() / ("kinvar-save-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string target = (folder / "saved.out").string();

  // The polls of one uncancelled save, and what it writes.
  s.platform.polls = 0;
  ASSERT_TRUE(row.save(s, target)) << row.name;
  const int polls = s.platform.polls;
  const std::string complete = test::ReadWholeFile(target);
  ASSERT_GT(polls, 2) << row.name;

  for (const int poll : {1, polls / 2, polls}) {
    for (const bool existing : {true, false}) {
      fs::remove(target);
      if (existing) test::WriteWholeFile(target, kOld);
      showAgain();
      s.platform.polls = 0;
      s.platform.cancelAtPoll = poll;
      EXPECT_FALSE(row.save(s, target)) << row.name << " poll " << poll;
      s.platform.cancelAtPoll = 0;
      EXPECT_EQ(fs::exists(target), existing) << row.name << " poll " << poll;
      if (existing) {
        EXPECT_EQ(test::ReadWholeFile(target), kOld) << row.name << " poll " << poll;
      }
      EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
                existing ? 1 : 0)
          << row.name << " poll " << poll;
    }
  }
  // Not cancelled, the save replaces the old file whole.
  test::WriteWholeFile(target, kOld);
  showAgain();
  ASSERT_TRUE(row.save(s, target)) << row.name;
  const std::string again = test::ReadWholeFile(target);
  // The header's time may have moved on; the rest is the same.
  EXPECT_EQ(again.substr(again.find('\n')), complete.substr(complete.find('\n'))) << row.name;
  fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(Rows, Saving, ::testing::ValuesIn(kRows), [](const auto& p) {
  std::string name;
  for (const char* c = p.param.name; *c != '\0'; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  return name;
});

// Save writes the report on screen again to the file Save As chose for it,
// without asking; once another report is shown it asks again.
TEST(Save, RewritesTheFileChosenForTheSameReport) {
  test::DocSession s("progeny sire dam\nA 0 0\nB 0 0\nC A B\nD A C\n");
  test::TempFile first("old\n", ".out");
  s.platform.fileNames.push_back(first.path());
  s.doc.RunCommand(kCmdFileSave);  // nothing saved yet: asks
  ASSERT_EQ(s.platform.fileRequests.size(), 1u);
  const std::string listed = test::ReadWholeFile(first.path());
  EXPECT_NE(listed.find("\nD "), std::string::npos);
  test::WriteWholeFile(first.path(), "changed by hand\n");
  s.doc.RunCommand(kCmdFileSave);
  EXPECT_EQ(s.platform.fileRequests.size(), 1u);
  EXPECT_EQ(test::ReadWholeFile(first.path()).substr(listed.find('\n')),
            listed.substr(listed.find('\n')));

  s.doc.RunCommand(kCmdCompute);
  test::TempFile second("", ".out");
  s.platform.fileNames.push_back(second.path());
  s.doc.RunCommand(kCmdFileSave);
  EXPECT_EQ(s.platform.fileRequests.size(), 2u);
  EXPECT_NE(test::ReadWholeFile(second.path()).find("No. of inbreds"), std::string::npos);
  EXPECT_EQ(test::ReadWholeFile(first.path()).substr(listed.find('\n')),
            listed.substr(listed.find('\n')));
}

// A read-only file is replaced only when the user says Yes to the question
// that names it, for Save As and for an extraction alike; No writes nothing
// and says nothing more.
TEST(Save, AReadOnlyFileIsReplacedOnlyWhenTheUserConfirms) {
  for (const SaveRow& row : kRows) {
    test::DocSession s(RandomHerd());
    if (row.command != kCmdViewPedigree) s.doc.RunCommand(row.command);
    const fs::path folder = fs::temp_directory_path() / ("kinvar-read-only-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string target = (folder / "saved.out").string();
    for (const Answer answer : {Answer::kNo, Answer::kYes}) {
      fs::remove(target);
      test::WriteWholeFile(target, kOld);
      fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
      s.platform.messages.clear();
      s.platform.answers = {answer};
      EXPECT_EQ(row.save(s, target), answer == Answer::kYes) << row.name;
      EXPECT_EQ(s.platform.MessageTexts(),
                std::vector<std::string>{target + " is read-only.\nDo you want to replace it?"})
          << row.name;
      EXPECT_EQ(test::ReadWholeFile(target) == kOld, answer == Answer::kNo) << row.name;
      EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << row.name;
    }
    fs::remove_all(folder);
  }
}

}  // namespace
}  // namespace kinvar
