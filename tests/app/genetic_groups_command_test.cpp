// The desktop's Inverse of A with Genetic Groups: the groups file asked for,
// the pedigree read again with the groups as unknown parents, the inverse
// written as kinvar-cli writes it; a refused file leaves everything alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "app/document.h"
#include "support/scripted_platform.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

class InverseWithGroups : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SOURCE_DATE_EPOCH", "1796479620", 1);
    setenv("TZ", "UTC", 1);
    ASSERT_TRUE(doc.Initialize());
    out = (fs::temp_directory_path() / ("kinvar-groups-" + std::to_string(::getpid()) + ".out")).string();
    ASSERT_TRUE(doc.OpenPedigreeFile(pedigree.path()));
  }
  void TearDown() override {
    fs::remove(out);
    unsetenv("SOURCE_DATE_EPOCH");
  }
  std::string Header() const {
    return "14:07  Saturday, December 5, 2026\nPedigree file name: " +
           fs::absolute(pedigree.path()).lexically_normal().string() + "\n\n";
  }

  test::TempFile pedigree{"Progeny Sire Dam\nA G1 G2\nB G1 0\nC A B\n"};
  test::ScriptedPlatform platform;
  CKinvarDoc doc{platform, ""};
  std::string out;
};

TEST_F(InverseWithGroups, ReadsThePedigreeAgainAndWritesTheInverse) {
  ASSERT_EQ(doc.pedigree().nTotal, 5);  // G1 and G2 read as founders
  test::TempFile groups("G1\nG2\n", ".txt");
  platform.fileNames = {groups.path(), out};
  platform.saveChoices = {1};
  doc.RunCommand(kCmdInverseWithGroups);
  EXPECT_EQ(platform.fileRequests.front().title, "Genetic Groups");
  EXPECT_EQ(doc.pedigree().nTotal, 3);
  EXPECT_EQ(doc.pedigree().geneticGroups.Count(), 2);
  EXPECT_EQ(test::ReadWholeFile(out),
            Header() +
                "Inverse of the numerator relationship matrix with genetic groups (Lower triangular):\n"
                "Individual ID         Individual Code\n"
                "A,                    1,          1:1.5, \n"
                "B,                    2,          1:0.5, 2:1.5, \n"
                "C,                    3,          1:-1, 2:-1, 3:2, \n"
                "G1,                   4,          1:-0.5, 2:-0.5, 4:0.5, \n"
                "G2,                   5,          1:-0.5, 4:0.25, 5:0.25, \n"
                "No. of non-zero elements in total:   19\n"
                "No. of zero elements in total:       6\n");
  const ResultSet& tables = doc.pedigree().writtenTables;
  ASSERT_NE(tables.Find("groups"), nullptr);
  EXPECT_EQ(tables.Find("groups")->rows(), 2u);
  // The groups stay with the pedigree; another file opened is read without.
  test::TempFile other("Progeny Sire Dam\nX G1 0\n");
  platform.fileNames = {other.path()};
  doc.RunCommand(kCmdFileOpen);
  EXPECT_FALSE(doc.pedigree().geneticGroups.Active());
  EXPECT_EQ(doc.pedigree().nTotal, 2);
}

TEST_F(InverseWithGroups, ARefusedGroupsFileLeavesThePedigree) {
  test::TempFile groups("G1\nA\n", ".txt");
  platform.fileNames = {groups.path(), out};
  doc.RunCommand(kCmdInverseWithGroups);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages.front().text, "A is a genetic group and has a line of its own.");
  EXPECT_EQ(doc.pedigree().nTotal, 5);
  EXPECT_FALSE(doc.pedigree().geneticGroups.Active());
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace kinvar
