// kinvar-cli inverse and recode with genetic groups: the bytes of the
// triplets and of the recoded file that pairs with them, the tables, and
// the refusals.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliGeneticGroups : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    test::WriteWholeFile(Out("g.pdg"), "Progeny Sire Dam\nA G1 g2\nB G1 0\nC A B\nD A G2\nE C D\n");
    test::WriteWholeFile(Out("groups.txt"), "G1\n\ng2\n");
  }
  std::string Pedigree() const { return Quote(Out("g.pdg")); }
  std::string Groups() const { return " --genetic-groups " + Quote(Out("groups.txt")); }
};

// A: both parents groups (d = 1); B: a group and an unknown parent; D: a
// known sire and a group. Worked by hand from alpha c c'.
TEST_F(CliGeneticGroups, TripletsNumberTheGroupsAfterTheIndividuals) {
  const CliRun run = Execute("-q inverse " + Pedigree() + Groups() + " --triplets");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
                "1 1 1.8333334\n2 1 0.5\n2 2 1.5\n3 1 -1\n3 2 -1\n3 3 2.5\n4 1 -0.6666667\n"
                "4 3 0.5\n4 4 1.8333334\n5 3 -1\n5 4 -1\n5 5 2\n6 1 -0.5\n6 2 -0.5\n6 6 0.5\n"
                "7 1 -0.16666666\n7 4 -0.6666667\n7 6 0.25\n7 7 0.5833334\n");
}

TEST_F(CliGeneticGroups, RecodeListsTheGroupsWithTheirNumbers) {
  const CliRun run = Execute("-q recode " + Pedigree() + Groups());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "!14:07  Saturday, December 5, 2026\n"
            "!Pedigree file name: " + Out("g.pdg") + "\n\n"
            "! The individuals have been consecutively numbered from 1 to 5 so that parents "
            "precede their progeny.\n"
            "! Number of individuals:  5\n"
            "! Genetic groups, after the individuals:  6 to 7\n"
            "!------------------------------------------------------------------\n\n"
            "Progeny          Sire             Dam              Original ID\n\n"
            "1                0                0                A\n"
            "2                0                0                B\n"
            "3                1                2                C\n"
            "4                1                0                D\n"
            "5                3                4                E\n\n"
            "6                0                0                G1\n"
            "7                0                0                G2\n");
  const CliRun groups = Execute("-q recode " + Pedigree() + Groups() + " --format csv --table groups");
  EXPECT_EQ(groups.out, "code,id\r\n6,G1\r\n7,G2\r\n");
  const CliRun inverse = Execute("-q inverse " + Pedigree() + Groups() + " --format csv --table groups");
  EXPECT_EQ(inverse.out, groups.out);
}

// An unknown parent spread 1/4 : 3/4 over the two groups.
TEST_F(CliGeneticGroups, FractionsSpreadAnUnknownParent) {
  test::WriteWholeFile(Out("f.pdg"), "Progeny Sire Dam\nA 0 G2\nB G1 0\nC A B\nD A G2\nE C D\n");
  test::WriteWholeFile(Out("fractions.txt"), "# individual sire|dam group fraction\n\na sire G1 0.25\nA sire G2 0.75\n");
  const CliRun run = Execute("-q inverse " + Quote(Out("f.pdg")) + Groups() + " --group-fractions " +
                             Quote(Out("fractions.txt")) + " --triplets");
  EXPECT_EQ(run.status, 0) << run.err;
  // A's row of the equations: 1, G1 -1/8, G2 -3/8 - 1/2; with alpha 1,
  // (G2, G1) = 7/64 and (G2, G2) = 49/64 + D's 1/3.
  EXPECT_NE(run.out.find("7 6 0.109375\n7 7 1.0989584\n"), std::string::npos) << run.out;
}

TEST_F(CliGeneticGroups, Refusals) {
  test::WriteWholeFile(Out("bad.txt"), "a sire G1 0.5\n");
  test::WriteWholeFile(Out("a.txt"), "G1\nA\n");
  ExpectRefusals({
      {"NoGroupsFile", "-q inverse " + Pedigree() + " --genetic-groups " + Quote(Out("none.txt")), 1,
       "Cannot open the genetic groups file " + Out("none.txt") + ".\n"},
      {"FractionsWithoutGroups", "-q inverse " + Pedigree() + " --group-fractions " + Quote(Out("bad.txt")), 2, ""},
      {"FractionsShort", "-q inverse " + Pedigree() + Groups() + " --group-fractions " + Quote(Out("bad.txt")),
       1, "The fractions of the sire of A do not sum to 1.\n"},
      {"GroupWithALine", "-q inverse " + Pedigree() + " --genetic-groups " + Quote(Out("a.txt")), 1,
       "A is a genetic group and has a line of its own.\n"},
  });
}

}  // namespace
}  // namespace kinvar
