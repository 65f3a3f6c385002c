// kinvar-cli dominance: D and its inverse as triplets and files, byte for
// byte on a pedigree worked by hand, a group's members only, the smallest
// value, and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliDominance : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    // S and D full sibs (d = 1/4), H their half sib (0); X = S x D has
    // d(X, S) = 1/4 (a(S, A) a(D, B) + a(S, B) a(D, A)) = 1/8, its parents
    // being full sibs.
    test::WriteWholeFile(Out("d.pdg"),
                         "Progeny Sire Dam Group\nA 0 0 1\nB 0 0 1\nC 0 0 1\nS A B 2\nD A B 2\nH A C 2\n"
                         "X S D 3\n");
  }
  std::string Pedigree() const { return Quote(Out("d.pdg")); }
};

TEST_F(CliDominance, TripletsAndTheInverse) {
  struct Row {
    const char* name;
    const char* args;
    const char* out;
    const char* err;
  };
  // The inverse of [[1, 1/4], [1/4, 1]] is 16/15 on the diagonal and -4/15:
  // the float nearest, and in double precision the factorization's
  // roundings within a few units of the last place.
  const Row rows[] = {
      {"D", "--triplets", "1 1 1\n2 2 1\n3 3 1\n4 4 1\n5 4 0.25\n5 5 1\n6 6 1\n7 4 0.125\n7 5 0.125\n7 7 1\n", ""},
      {"MinValue", "--triplets --min-value 0.5", "1 1 1\n2 2 1\n3 3 1\n4 4 1\n5 5 1\n6 6 1\n7 7 1\n", ""},
      {"Group", "--triplets --group 2", "4 4 1\n5 4 0.25\n5 5 1\n6 6 1\n", ""},
      {"Inverse", "--inverse --triplets --group 2", "4 4 1.0666667\n5 4 -0.26666668\n5 5 1.0666667\n6 6 1\n",
       "The dominance relationship matrix of 3 individuals has 5 non-zero elements; computing its inverse.\n"},
      {"InverseInDouble", "--inverse --triplets --group 2 --precision double",
       "4 4 1.0666666666666667\n5 4 -0.2666666666666666\n5 5 1.0666666666666664\n6 6 1\n",
       "The dominance relationship matrix of 3 individuals has 5 non-zero elements; computing its inverse.\n"},
  };
  for (const Row& row : rows) {
    const CliRun run = Execute("-q dominance " + Pedigree() + " " + row.args);
    EXPECT_EQ(run.status, 0) << row.name << run.err;
    EXPECT_EQ(run.out, row.out) << row.name;
    EXPECT_EQ(run.err, row.err) << row.name;
  }
}

TEST_F(CliDominance, TheMatrixFiles) {
  const CliRun lower = Execute("-q dominance " + Pedigree() + " --group 2");
  EXPECT_EQ(lower.status, 0) << lower.err;
  EXPECT_EQ(lower.out,
            "14:07  Saturday, December 5, 2026\nPedigree file name: " + Out("d.pdg") + "\n\n"
            "Dominance relationship matrix for group 2 (Lower triangular):\n"
            "Individual ID         Individual Code\n"
            "S,                    4,          4:1, \n"
            "D,                    5,          4:0.25, 5:1, \n"
            "H,                    6,          6:1, \n"
            "No. of non-zero elements in total:   5\n"
            "No. of zero elements in total:       4\n");
  const CliRun full = Execute("-q dominance " + Pedigree() + " --group 2 --full");
  EXPECT_EQ(full.status, 0) << full.err;
  EXPECT_NE(full.out.find("Dominance relationship matrix for group 2:\n"), std::string::npos) << full.out;
  EXPECT_NE(full.out.find("D,                    5,          0.25, 1, 0, \n"), std::string::npos) << full.out;
  const CliRun table = Execute("-q dominance " + Pedigree() + " --format csv --table dominance");
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.out.substr(0, 36), "row,col,value\r\n1,1,1\r\n2,2,1\r\n3,3,1\r\n");
}

TEST_F(CliDominance, Refusals) {
  std::string big = "Progeny Sire Dam\n";
  for (int i = 1; i <= 10001; ++i) {
    big += "I" + std::to_string(i) + " 0 0\n";
    if (i == 5001) test::WriteWholeFile(Out("big.pdg"), big);
  }
  test::WriteWholeFile(Out("huge.pdg"), big);
  const auto on = [&](const char* file) { return "-q dominance " + Quote(Out(file)); };
  ExpectRefusals({
      {"InverseAboveTheLimit", on("big.pdg") + " --inverse --triplets", 1,
       "The inverse of the dominance relationship matrix is computed for at most 5000 individuals; this "
       "choice has 5001. Choose a group.\n"},
      {"AboveTheLimit", on("huge.pdg") + " --triplets", 1,
       "The dominance relationship matrix is written for at most 10000 individuals; this choice has 10001. "
       "Choose a group.\n"},
      {"NoSuchGroup", on("d.pdg") + " --triplets --group 9", 1, "Group \"9\" is not in the pedigree.\n"},
      {"FullAboveTheCells", on("big.pdg") + " --full", 1, "The matrix has more than 250000 cells.\n"},
      {"NegativeMinValue", on("d.pdg") + " --triplets --min-value -1", 1,
       "The smallest value must be a number of 0 or more.\n"},
  });
}

}  // namespace
}  // namespace kinvar
