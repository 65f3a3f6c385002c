// The Population Management commands through the document: the exact
// report of a mean kinship ranking, optimum contributions whose matings
// file Optimizing Matings accepts with the same groups, and the refusals
// (an unreachable target, too small a maximum, a member recorded with the
// other sex).
#include "matings/population_commands.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "support/doc_session.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Founders in group 0, candidate sires in group 1, candidate dams in 2.
constexpr const char* kStudbook =
    "Progeny Sire Dam Group Sex\n"
    "S1 0 0 0 M\nS2 0 0 0 M\nD1 0 0 0 F\nD2 0 0 0 F\nD3 0 0 0 F\n"
    "A1 S1 D1 1 M\nA2 S1 D2 1 M\nA3 S2 D3 1 M\n"
    "B1 S2 D1 2 F\nB2 S1 D3 2 F\nB3 S2 D2 2 F\nB4 S1 D1 2 F\nB5 A1 B2 2 F\n";

TEST(MeanKinshipCommand, WritesTheRankingExactly) {
  test::DocSession s("Progeny Sire Dam Group\nS 0 0 1\nD 0 0 1\nA S D 2\nB S D 2\n");
  s.platform.groupChoices.push_back(2);
  s.doc.RunCommand(kCmdMeanKinship);
  ASSERT_EQ(s.doc.lastCommand(), kCmdMeanKinship);
  // A and B are full sibs: f(A, A) = 1/2, f(A, B) = 1/4, so MK = 3/8 each.
  EXPECT_EQ(s.Report(), (std::vector<std::string>{
                            "|XMean kinship of group 2",
                            "Members = |X2",
                            "Mean kinship = |X0.375000",
                            "Gene diversity = |X0.625000",
                            "",
                            "Rank|T1ID|T2Sex|T1Group|T1F|T1MK|T1Progeny|T1Completeness",
                            "1|T1|MA|T2.|T12|T10.000000|T10.375000|T10|T10.250000",
                            "2|T1|MB|T2.|T12|T10.000000|T10.375000|T10|T10.250000",
                        }));
  EXPECT_EQ(s.platform.pickerAllEntries.back(), "All individuals");
}

// The example herd: every pair of its sires and dams is above the default
// bound, so the least inbred offspring come first, whatever their ΔGD, and
// every figure of a column has one format.
TEST(MateSuitabilityCommand, WritesTheExampleHerdExactly) {
  test::DocSession s;
  ASSERT_TRUE(s.OpenPath(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"));
  s.platform.groupPairs.push_back(std::pair{2, 3});
  s.doc.RunCommand(kCmdMateSuitability);
  ASSERT_EQ(s.doc.lastCommand(), kCmdMateSuitability);
  EXPECT_EQ(s.Report(), (std::vector<std::string>{
      "|XMate suitability",
      "Reference = |Xgroups 2 and 3",
      "Members of the reference = |X8",
      "Gene diversity of the reference = |X0.773376",
      "Pairs whose offspring F is above 0.062500 = |X16 of 16",
      "They are marked * and listed after the pairs within it, the least inbred offspring first.",
      "",
      "Sire|T1Dam|T1Offspring F|T1Delta GD|T1MK sire|T1MK dam|T1MK difference",
      "|MB1|T1|FC1|T10.065430 *|T1-0.000897|T10.185303|T10.238770|T10.053467",
      "|MB4|T1|FC2|T10.066406 *|T10.002291|T10.151855|T10.239868|T10.088013",
      "|MB4|T1|FC4|T10.066406 *|T10.000748|T10.151855|T10.255493|T10.103638",
      "|MB4|T1|FC3|T10.099609 *|T10.002195|T10.151855|T10.238770|T10.086914",
      "|MB1|T1|FC3|T10.157227 *|T1-0.001464|T10.185303|T10.238770|T10.053467",
      "|MB3|T1|FC4|T10.188477 *|T1-0.008300|T10.235840|T10.255493|T10.019653",
      "|MB2|T1|FC2|T10.188477 *|T1-0.009843|T10.267090|T10.239868|T10.027222",
      "|MB3|T1|FC1|T10.189453 *|T1-0.006654|T10.235840|T10.238770|T10.002930",
      "|MB3|T1|FC3|T10.189453 *|T1-0.006654|T10.235840|T10.238770|T10.002930",
      "|MB1|T1|FC2|T10.282227 *|T1-0.002344|T10.185303|T10.239868|T10.054565",
      "|MB1|T1|FC4|T10.282227 *|T1-0.003887|T10.185303|T10.255493|T10.070190",
      "|MB4|T1|FC1|T10.283203 *|T10.001062|T10.151855|T10.238770|T10.086914",
      "|MB3|T1|FC2|T10.313477 *|T1-0.007528|T10.235840|T10.239868|T10.004028",
      "|MB2|T1|FC4|T10.313477 *|T1-0.012158|T10.267090|T10.255493|T10.011597",
      "|MB2|T1|FC1|T10.314453 *|T1-0.010512|T10.267090|T10.238770|T10.028320",
      "|MB2|T1|FC3|T10.314453 *|T1-0.010512|T10.267090|T10.238770|T10.028320",
  }));
}

TEST(OptimumContributionsCommand, ItsMatingsFileFeedsOptimizingMatings) {
  test::DocSession s(kStudbook);
  test::TempFile matings("", ".c");
  s.platform.groupPairs.push_back(std::pair{1, 2});
  s.doc.remembered.values.Set(kCmdOptimumContributions, "matings-file", matings.path());
  s.doc.RunCommand(kCmdOptimumContributions);
  ASSERT_EQ(s.doc.lastCommand(), kCmdOptimumContributions) << testing::PrintToString(s.platform.MessageTexts());
  const ResultTable* table = s.doc.pedigree().report.tables().Find("contributions");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rows(), 8u);
  for (std::size_t row = 3; row < 8; ++row)  // every dam one progeny
    EXPECT_NEAR(table->column(2).Real(row), 0.1, 1e-12);
  // Every sire listed, the counts summing to the five dams.
  std::istringstream lines(test::ReadWholeFile(matings.path()));
  std::string id;
  int count = 0, total = 0, listed = 0;
  std::vector<std::string> ids;
  while (lines >> id >> count) {
    ids.push_back(id);
    total += count;
    ++listed;
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"A1", "A2", "A3"}));
  EXPECT_EQ(total, 5);
  // The same two groups: the exact matings use the file as it is.
  s.platform.groupPairs.push_back(std::pair{1, 2});
  s.platform.fileNames.push_back(matings.path());
  s.doc.remembered.values.Set(kCmdOptimizeMatings, "exact", "1");
  s.doc.RunCommand(kCmdOptimizeMatings);
  EXPECT_EQ(s.doc.lastCommand(), kCmdOptimizeMatings);
  EXPECT_EQ(s.doc.pedigree().report.tables().Find("matings")->rows(), 5u);
  EXPECT_TRUE(s.platform.MessageTexts().empty());
}

struct RefusalCase {
  const char* name;
  const char* pedigree;
  std::string ebvFile;     // file contents; empty: none
  std::string target;      // target kinship
  std::string maximum;     // largest contribution
  std::string message;
};

TEST(OptimumContributionsCommand, RefusesWhatCannotBeMetWithAMessage) {
  const std::string studbook = kStudbook;
  const RefusalCase cases[] = {
      {"unreachable target", kStudbook, "A1 1\nA2 2\nA3 3\nB1 1\nB2 2\nB3 3\nB4 4\nB5 5\n", "0.01", "",
       "Error: The kinship constraint cannot be met: the target kinship is 0.010000, the least the "
       "candidates can reach is 0.141725."},
      {"largest contribution too small", kStudbook, "", "", "0.1",
       "Error: The largest contribution cannot be met: 3 sires with at most 0.100000 each cannot "
       "contribute 1/2."},
      {"a candidate without a value (the first in code order)", kStudbook, "A1 1\nA2 2\nA3 3\nB1 1\n", "0.2", "",
       "Error: Individual B4 has no breeding value."},
      {"a target without values", kStudbook, "", "0.2", "",
       "Error: A target needs breeding values (a column or a file)."},
      {"a sire recorded as female",
       "Progeny Sire Dam Group Sex\nS1 0 0 1 M\nS2 0 0 1 F\nD1 0 0 2 F\n", "", "", "",
       "Error: Individual S2 of the sire group is recorded as female."},
      {"a dam recorded as male",
       "Progeny Sire Dam Group Sex\nS1 0 0 1 M\nD1 0 0 2 F\nD2 0 0 2 M\n", "", "", "",
       "Error: Individual D2 of the dam group is recorded as male."},
  };
  for (const RefusalCase& c : cases) {
    test::DocSession s(c.pedigree);
    test::TempFile ebv(c.ebvFile, ".txt");
    s.platform.groupPairs.push_back(std::pair{1, 2});
    CommandValues& values = s.doc.remembered.values;
    if (!c.ebvFile.empty()) values.Set(kCmdOptimumContributions, "ebv", ebv.path());
    values.Set(kCmdOptimumContributions, "target-kinship", c.target);
    values.Set(kCmdOptimumContributions, "max-contribution", c.maximum);
    s.doc.RunCommand(kCmdOptimumContributions);
    EXPECT_NE(s.doc.lastCommand(), kCmdOptimumContributions) << c.name;
    EXPECT_EQ(s.platform.MessageTexts(), std::vector<std::string>{c.message}) << c.name;
  }
}

TEST(MateSuitabilityCommand, RefusesAMemberRecordedWithTheOtherSex) {
  test::DocSession s("Progeny Sire Dam Group Sex\nS1 0 0 1 M\nS2 0 0 1 F\nD1 0 0 2 F\n");
  s.platform.groupPairs.push_back(std::pair{1, 2});
  s.doc.RunCommand(kCmdMateSuitability);
  EXPECT_NE(s.doc.lastCommand(), kCmdMateSuitability);
  EXPECT_EQ(s.platform.MessageTexts(),
            std::vector<std::string>{"Error: Individual S2 of the sire group is recorded as female."});
}

}  // namespace
}  // namespace kinvar
