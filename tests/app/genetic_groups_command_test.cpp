// The desktop's Inverse of A with Genetic Groups: the groups file asked for,
// the pedigree read again with the groups as unknown parents, the inverse
// written as kinvar-cli writes it; a refused file leaves everything alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/document.h"
#include "support/doc_session.h"
#include "support/written_columns.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

class InverseWithGroups : public test::OpenDocFixture {
 protected:
  InverseWithGroups() : OpenDocFixture("Progeny Sire Dam\nA G1 G2\nB G1 0\nC A B\n") {}
  // The file the inverse writes, `groupRows` the groups' rows; the
  // individuals' rows are the same whatever groups their parents are.
  std::string InverseFile(const std::string& groupRows) const {
    return Header() +
           "Inverse of the numerator relationship matrix with genetic groups (Lower triangular):\n"
           "Individual ID         Individual Code\n"
           "A,                    1,          1:1.5, \n"
           "B,                    2,          1:0.5, 2:1.5, \n"
           "C,                    3,          1:-1, 2:-1, 3:2, \n" +
           groupRows +
           "No. of non-zero elements in total:   19\n"
           "No. of zero elements in total:       6\n";
  }
};

TEST_F(InverseWithGroups, ReadsThePedigreeAgainAndWritesTheInverse) {
  ASSERT_EQ(doc.pedigree().nTotal, 5);  // G1 and G2 read as founders
  test::TempFile groups("G1\nG2\n", ".txt");
  platform.fileNames = {groups.path(), std::nullopt, out};  // no group fractions
  platform.saveChoices = {1};
  doc.RunCommand(kCmdInverseWithGroups);
  EXPECT_EQ(platform.fileRequests.front().title, "Genetic Groups");
  EXPECT_EQ(platform.fileRequests.at(1).title, "Group Fractions (optional)");
  EXPECT_EQ(doc.pedigree().nTotal, 3);
  EXPECT_EQ(doc.pedigree().geneticGroups.Count(), 2);
  EXPECT_EQ(test::ReadWholeFile(out), InverseFile("G1,                   4,          1:-0.5, 2:-0.5, 4:0.5, \n"
                                                   "G2,                   5,          1:-0.5, 4:0.25, 5:0.25, \n"));
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

// An extract names the groups where they stood, so that it reads back with
// the same groups file; an unknown parent without a group stays 0.
TEST_F(InverseWithGroups, ExtractsNameTheGroups) {
  test::TempFile groups("G1\nG2\n", ".txt");
  platform.fileNames = {groups.path(), std::nullopt, out};
  platform.saveChoices = {1};
  doc.RunCommand(kCmdInverseWithGroups);
  ASSERT_EQ(doc.pedigree().geneticGroups.Count(), 2);
  platform.typedIds = {"C"};
  platform.fileNames = {out};
  doc.RunCommand(kCmdExtractAncestorsIndividual);
  const std::string text = test::ReadWholeFile(out);
  const auto row = [](const char* a, const char* b, const char* c) {
    return test::PaddedRow({a, b, c}, {22, 22});
  };
  EXPECT_NE(text.find(row("A", "G1", "G2") + row("B", "G1", "0") + row("C", "A", "B")), std::string::npos)
      << text;
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

// The group fractions asked after the groups: a parent spread over groups
// sends its -1/2 and 1/4 terms to each group by its fraction; fractions of
// 1 write what the plain groups write.
TEST_F(InverseWithGroups, GroupFractionsAfterTheGroups) {
  struct Row {
    const char* name;
    const char* fractions;
    const char* groupRows;
  };
  // A's sire G1 as 0.5 G1 + 0.5 G2 (its dam G2): A's row of the equations
  // is e_A - 0.25 G1 - 0.75 G2; B's e_B - 0.5 G1.
  const Row rows[] = {
      {"Spread", "A sire G1 0.5\nA sire G2 0.5\n",
       "G1,                   4,          1:-0.25, 2:-0.5, 4:0.3125, \n"
       "G2,                   5,          1:-0.75, 4:0.1875, 5:0.5625, \n"},
      {"WholeGroups", "# as the pedigree says\nA sire G1 1\nB sire G1 1\n\nA dam G2 1\n",
       "G1,                   4,          1:-0.5, 2:-0.5, 4:0.5, \n"
       "G2,                   5,          1:-0.5, 4:0.25, 5:0.25, \n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempFile groups("G1\nG2\n", ".txt");
    test::TempFile fractions(row.fractions, ".txt");
    platform.fileNames = {groups.path(), fractions.path(), out};
    platform.saveChoices = {1};
    platform.messages.clear();
    doc.RunCommand(kCmdInverseWithGroups);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(test::ReadWholeFile(out), InverseFile(row.groupRows));
  }
}

// However another pedigree is opened in place of one read with groups (the
// recent files and a drop go to OpenPedigreeFile), it is read without them;
// a file that cannot be read leaves the shown pedigree with its groups.
TEST_F(InverseWithGroups, AnotherPedigreeOpenedDropsTheGroups) {
  test::TempFile groups("G1\nG2\n", ".txt");
  platform.fileNames = {groups.path(), std::nullopt, out};
  platform.saveChoices = {1};
  doc.RunCommand(kCmdInverseWithGroups);
  ASSERT_TRUE(doc.pedigree().geneticGroups.Active());

  EXPECT_FALSE(doc.OpenPedigreeFile(pedigree->path() + ".missing"));
  EXPECT_EQ(doc.pedigree().geneticGroups.Count(), 2);
  EXPECT_EQ(doc.pedigree().nTotal, 3);

  test::TempFile other("Progeny Sire Dam\nX G1 0\n");
  ASSERT_TRUE(doc.OpenPedigreeFile(other.path()));
  EXPECT_FALSE(doc.pedigree().geneticGroups.Active());
  EXPECT_EQ(doc.pedigree().nTotal, 2);  // G1 read as a founder
  // Opening the first file again, as from the recent files, reads it plain.
  ASSERT_TRUE(doc.OpenPedigreeFile(pedigree->path()));
  EXPECT_FALSE(doc.pedigree().geneticGroups.Active());
  EXPECT_EQ(doc.pedigree().nTotal, 5);
}

}  // namespace
}  // namespace kinvar
