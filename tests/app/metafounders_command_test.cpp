// The desktop's Inverse of A with Metafounders: the Gamma file asked for, the
// pedigree read again with the metafounders as unknown parents, the inverse
// written; while they are loaded inbreeding and relationships follow them,
// the reports say so, the commands of another model refuse, and opening
// another pedigree drops them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/document.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

class InverseWithMetafounders : public test::OpenDocFixture {
 protected:
  InverseWithMetafounders() : OpenDocFixture("Progeny Sire Dam\nA MF1 MF2\nB MF1 MF2\nC A B\n") {}
  void LoadMetafounders() {
    platform.fileNames = {gamma.path(), out};
    platform.saveChoices = {1};
    doc.RunCommand(kCmdInverseWithMetafounders);
  }

  test::TempFile gamma{"MF1 MF1 0.4\nMF1 MF2 0.1\nMF2 MF2 0.6\n", ".txt"};
};

// By hand: D of A and B 1 - (0.4 + 0.6) / 4 = 0.75, of C 1/2 - (0.05 +
// 0.05) / 4 = 0.475; Gamma inverse [0.6 -0.1; -0.1 0.4] / 0.23 added to the
// metafounders' block.
TEST_F(InverseWithMetafounders, ReadsThePedigreeAgainAndWritesTheInverse) {
  LoadMetafounders();
  EXPECT_EQ(platform.fileRequests.front().title, "Metafounders");
  EXPECT_EQ(doc.pedigree().nTotal, 3);
  EXPECT_EQ(test::ReadWholeFile(out),
            Header() +
                "Inverse of the numerator relationship matrix with metafounders (Lower triangular):\n"
                "Individual ID         Individual Code\n"
                "A,                    1,          1:1.85965, \n"
                "B,                    2,          1:0.526316, 2:1.85965, \n"
                "C,                    3,          1:-1.05263, 2:-1.05263, 3:2.10526, \n"
                "MF1,                  4,          1:-0.666667, 2:-0.666667, 4:3.27536, \n"
                "MF2,                  5,          1:-0.666667, 2:-0.666667, 4:0.231884, 5:2.4058, \n"
                "No. of non-zero elements in total:   21\n"
                "No. of zero elements in total:       4\n");
  ASSERT_NE(doc.pedigree().writtenTables.Find("groups"), nullptr);
  EXPECT_EQ(doc.pedigree().writtenTables.Find("groups")->rows(), 2u);
}

TEST_F(InverseWithMetafounders, OtherCommandsFollowThemUntilAnotherPedigree) {
  LoadMetafounders();
  doc.RunCommand(kCmdCompute);
  const std::vector<std::string> lines = test::ReportLines(doc.pedigree());
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Metafounders: 2 (from " + fs::path(gamma.path()).filename().string() + ")"),
            lines.end());
  EXPECT_FLOAT_EQ(doc.pedigree().rec(1).f, 0.05f);  // A: Gamma(MF1, MF2) / 2
  EXPECT_FLOAT_EQ(doc.pedigree().rec(2).f, 0.05f);
  EXPECT_FLOAT_EQ(doc.pedigree().rec(3).f, 0.15f);  // C: a(A, B) / 2 = 0.3 / 2
  platform.messages.clear();
  doc.RunCommand(kCmdAverageRelatedness);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages.front().text,
            "This command does not take metafounders into account. Open the pedigree again to use "
            "it without them.");
  test::TempFile other("Progeny Sire Dam\nX MF1 0\n");
  platform.fileNames = {other.path()};
  doc.RunCommand(kCmdFileOpen);
  EXPECT_FALSE(doc.pedigree().geneticGroups.Metafounders());
  EXPECT_EQ(doc.pedigree().nTotal, 2);
}

TEST_F(InverseWithMetafounders, ARefusedFileLeavesThePedigree) {
  test::TempFile bad("MF1 MF1 0.4\nMF1 MF2 0.1\n", ".txt");
  platform.fileNames = {bad.path(), out};
  doc.RunCommand(kCmdInverseWithMetafounders);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages.front().text, "The metafounders file gives no value of MF2 with itself.");
  EXPECT_EQ(doc.pedigree().nTotal, 5);
  EXPECT_FALSE(doc.pedigree().geneticGroups.Active());
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace kinvar
