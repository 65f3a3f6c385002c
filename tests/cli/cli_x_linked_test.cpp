// kinvar-cli x-linked: S and its inverse as files and triplets, byte for
// byte on a pedigree worked by hand, and the refusals.
#include <gtest/gtest.h>

#include <charconv>
#include <sstream>
#include <string>

#include "genetics/x_linked.h"
#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliXLinked : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    // M and F full sibs; H, their daughter, has s(H, H) = 1/2 (1 + s(M, F))
    // = 1/2 (1 + 1/4).
    test::WriteWholeFile(Out("x.pdg"),
                         "Progeny Sire Dam Sex\nS1 0 0 M\nD1 0 0 F\nM S1 D1 M\nF S1 D1 F\nG M F M\n"
                         "H M F F\n");
  }
  std::string Pedigree() const { return Quote(Out("x.pdg")); }
};

TEST_F(CliXLinked, MatrixAndInverse) {
  const CliRun s = Execute("-q x-linked " + Pedigree());
  EXPECT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(s.out,
            "14:07  Saturday, December 5, 2026\nPedigree file name: " + Out("x.pdg") + "\n\n"
            "X-linked relationship matrix (Lower triangular):\n"
            "Individual ID         Individual Code\n"
            "S1,                   1,          1:1, \n"
            "D1,                   2,          2:0.5, \n"
            "M,                    3,          2:0.5, 3:1, \n"
            "F,                    4,          1:0.5, 2:0.25, 3:0.25, 4:0.5, \n"
            "G,                    5,          1:0.5, 2:0.25, 3:0.25, 4:0.5, 5:1, \n"
            "H,                    6,          1:0.25, 2:0.375, 3:0.625, 4:0.375, 5:0.375, 6:0.625, \n"
            "No. of non-zero elements in total:   32\n"
            "No. of zero elements in total:       4\n");
  // F: d = 1/2 - 1/4 - 1/4 s(D1, D1) = 1/8; G: d = 1 - s(F, F) = 1/2;
  // M: d = 1 - 1/2; H: d = 1/4 - 1/4 s(F, F) = 1/8.
  const CliRun inverse = Execute("-q x-linked " + Pedigree() + " --inverse --triplets");
  EXPECT_EQ(inverse.status, 0) << inverse.err;
  EXPECT_EQ(inverse.out,
            "1 1 3\n2 1 2\n2 2 6\n3 2 -2\n3 3 4\n4 1 -4\n4 2 -4\n4 3 2\n4 4 12\n5 4 -2\n5 5 2\n"
            "6 3 -4\n6 4 -4\n6 6 8\n");
  const CliRun table = Execute("-q x-linked " + Pedigree() + " --inverse --format csv --table xlinked_inverse");
  EXPECT_EQ(table.out.substr(0, 29), "row,col,value\r\n1,1,3\r\n2,1,2\r\n");
}

// --precision double: every triplet of S inverse reads back as the double
// the library computes in process, and some of them are no float.
TEST_F(CliXLinked, DoubleTripletsRestoreTheDoubles) {
  // Three generations of a small line bred brother to sister, so that the
  // variances are no powers of two.
  std::string text = "Progeny Sire Dam Sex\nS 0 0 M\nD 0 0 F\n";
  std::string sire = "S", dam = "D";
  for (int g = 1; g <= 5; ++g) {
    const std::string m = "M" + std::to_string(g), f = "F" + std::to_string(g);
    text += m + " " + sire + " " + dam + " M\n" + f + " " + sire + " " + dam + " F\n";
    sire = m;
    dam = f;
  }
  test::WriteWholeFile(Out("line.pdg"), text);
  const CliRun run = Execute("-q x-linked " + Quote(Out("line.pdg")) + " --inverse --triplets --precision double");
  ASSERT_EQ(run.status, 0) << run.err;

  kinvar::Pedigree ped;
  ASSERT_EQ(test::LoadText(text, ped).status, LoadStatus::kLoaded);
  SilentProgressWindow window;
  Progress progress(window);
  const auto build = BuildXLinkedInverse<double>(ped, SexesForXLinked(ped).sex, progress);
  ASSERT_EQ(build.status, BuildStatus::kDone);
  std::istringstream lines(run.out);
  std::int64_t count = 0, notFloat = 0;
  for (std::string row, column, value; lines >> row >> column >> value; ++count) {
    double parsed = 0.0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    ASSERT_EQ(error, std::errc());
    EXPECT_EQ(parsed, build.matrix.At(std::stoi(row) - 1, std::stoi(column) - 1)) << row << " " << column;
    if (static_cast<double>(static_cast<float>(parsed)) != parsed) ++notFloat;
  }
  EXPECT_EQ(count, build.matrix.Stored());
  EXPECT_GT(notFloat, 0);
  // The table of --format holds the same doubles, with the same digits.
  const CliRun table = Execute("-q x-linked " + Quote(Out("line.pdg")) +
                               " --inverse --precision double --format tsv --table xlinked_inverse");
  ASSERT_EQ(table.status, 0) << table.err;
  std::string tsv = run.out;
  for (char& c : tsv) c = c == ' ' ? '\t' : c;
  EXPECT_EQ(table.out, "row\tcol\tvalue\n" + tsv);
}

TEST_F(CliXLinked, AnUnknownSexIsRefused) {
  test::WriteWholeFile(Out("nosex.pdg"), "Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\n");
  const CliRun run = Execute("-q x-linked " + Quote(Out("nosex.pdg")) + " --inverse");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "The sex of C is unknown: X-linked relationships need the sex of every individual (a Sex "
            "column, or its role as a parent).\n");
}

}  // namespace
}  // namespace kinvar
