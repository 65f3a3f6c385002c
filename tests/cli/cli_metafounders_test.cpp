// kinvar-cli with metafounders: the bytes of the triplets of A^Gamma inverse
// and of the recoded file that pairs with them, F and relationships of the
// metafounder model, and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliMetafounders : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    test::WriteWholeFile(Out("m.pdg"), "Progeny Sire Dam\nA MF1 MF1\nB MF1 mf2\nC A B\nD MF2 0\n");
    test::WriteWholeFile(Out("gamma.txt"), "# Gamma\nMF1 MF1 0.4\n\nmf2 MF1 0.1\nMF2 MF2 0.6\n");
  }
  std::string Pedigree() const { return Quote(Out("m.pdg")); }
  std::string Gamma() const { return " --metafounders " + Quote(Out("gamma.txt")); }
};

// Worked by hand: D of A 1 - (0.4 + 0.4)/4 = 0.8, of B 0.75, of D
// 1 - 0.6/4 = 0.85, of C 1/2 - (0.2 + 0.05)/4 = 0.4375; alpha c c' of each,
// and Gamma inverse [0.6 -0.1; -0.1 0.4] / 0.23 on rows 5 and 6.
TEST_F(CliMetafounders, TripletsOfTheInverse) {
  const CliRun run = Execute("-q inverse " + Pedigree() + Gamma() + " --triplets");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "1 1 1.8214285\n2 1 0.5714286\n2 2 1.904762\n3 3 1.1764705\n4 1 -1.1428572\n"
            "4 2 -1.1428572\n4 4 2.2857144\n5 1 -1.25\n5 2 -0.6666667\n5 5 4.192029\n"
            "6 2 -0.6666667\n6 3 -0.58823526\n6 5 -0.10144925\n6 6 2.3665814\n");
}

TEST_F(CliMetafounders, RecodeListsTheMetafoundersWithTheirNumbers) {
  const CliRun run = Execute("-q recode " + Pedigree() + Gamma());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("! Metafounders, after the individuals:  5 to 6\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\n\n5                0                0                MF1\n"
                         "6                0                0                MF2\n"),
            std::string::npos)
      << run.out;
  const CliRun groups = Execute("-q recode " + Pedigree() + Gamma() + " --format csv --table groups");
  EXPECT_EQ(groups.out, "code,id\r\n5,MF1\r\n6,MF2\r\n");
}

// F of A = Gamma(MF1, MF1)/2, of B = Gamma(MF1, MF2)/2, of C = a(A, B)/2
// with a(A, B) = q_A' Gamma q_B = 0.25; a(B, D) = (1/2, 1/2) Gamma (0, 1/2)'
// = 0.175; a(C, B) = (a(A, B) + a(B, B))/2 = (0.25 + 1.05)/2.
TEST_F(CliMetafounders, InbreedingAndRelationshipsFollowGamma) {
  struct Row {
    const char* name;
    std::string args;
    std::string out;
  };
  const Row rows[] = {
      {"FOfA", "inbreeding-of " + Pedigree() + " A" + Gamma(), "0.2\n"},
      {"FOfB", "inbreeding-of " + Pedigree() + " B" + Gamma(), "0.05\n"},
      {"FOfC", "inbreeding-of " + Pedigree() + " C" + Gamma(), "0.125\n"},
      {"FOfD", "inbreeding-of " + Pedigree() + " D" + Gamma(), "0\n"},
      {"AB", "relationship " + Pedigree() + " A B" + Gamma(), "0.25\n"},
      {"AA", "relationship " + Pedigree() + " A A" + Gamma(), "1.2\n"},
      {"BD", "relationship " + Pedigree() + " B D" + Gamma(), "0.175\n"},
  };
  for (const Row& row : rows) {
    const CliRun run = Execute("-q " + row.args);
    EXPECT_EQ(run.status, 0) << row.name << run.err;
    EXPECT_EQ(run.out, row.out) << row.name;
  }
  const CliRun f = Execute("-q inbreeding " + Pedigree() + Gamma());
  EXPECT_NE(f.out.find("Metafounders: 2 (from gamma.txt)\n"), std::string::npos) << f.out;
  const CliRun pairs = Execute("-q relationships " + Pedigree() + " all --range 0.2 2" + Gamma() +
                               " --format csv --table pairs");
  EXPECT_EQ(pairs.out, "id1,id2,value\r\nB,A,0.25\r\nC,A,0.725\r\nC,B,0.65\r\n");
  // The matrix: a(A, D) = (1, 0) Gamma (0, 1/2)' = 0.05, a(C, D) = (0.05 + 0.175)/2.
  const CliRun matrix = Execute("-q relationships " + Pedigree() + " all --matrix" + Gamma());
  EXPECT_EQ(matrix.status, 0) << matrix.err;
  EXPECT_TRUE(matrix.out.ends_with(
      "Numerator relationship matrix:\n"
      "Individual ID         Individual code\n"
      "A,                    1,          1.2, 0.25, 0.05, 0.725, \n"
      "B,                    2,          0.25, 1.05, 0.175, 0.65, \n"
      "D,                    3,          0.05, 0.175, 1, 0.1125, \n"
      "C,                    4,          0.725, 0.65, 0.1125, 1.125, \n"))
      << matrix.out;
}

TEST_F(CliMetafounders, Refusals) {
  test::WriteWholeFile(Out("twice.txt"), "MF1 MF1 0.4\nMF1 MF2 0.1\nMF2 MF1 0.1\nMF2 MF2 0.6\n");
  test::WriteWholeFile(Out("zero.txt"), "MF1 MF1 0\nMF2 MF2 0\n");
  test::WriteWholeFile(Out("groups.txt"), "MF1\nMF2\n");
  ExpectRefusals({
      {"NoFile", "-q inverse " + Pedigree() + " --metafounders " + Quote(Out("none.txt")), 1,
       "Cannot open the metafounders file " + Out("none.txt") + ".\n"},
      {"PairTwice", "-q inverse " + Pedigree() + " --metafounders " + Quote(Out("twice.txt")), 1,
       "Line 3 of the metafounders file: the pair MF2 MF1 is given twice.\n"},
      {"SingularInverse", "-q inverse " + Pedigree() + " --metafounders " + Quote(Out("zero.txt")) + " --triplets",
       1, "The metafounders' relationships are singular: the inverse of A with metafounders needs them "
          "positive definite.\n"},
      {"WithGroups", "-q inverse " + Pedigree() + Gamma() + " --genetic-groups " + Quote(Out("groups.txt")), 2, ""},
  });
  // A singular Gamma still serves F: Gamma = 0 gives the plain pedigree's.
  const CliRun f = Execute("-q inbreeding-of " + Pedigree() + " C --metafounders " + Quote(Out("zero.txt")));
  EXPECT_EQ(f.out, "0\n");
}

}  // namespace
}  // namespace kinvar
