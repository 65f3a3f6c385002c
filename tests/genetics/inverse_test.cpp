// The inverse of A, matrix T and dii against the tabular A computed in the
// test, and the files and reports of their commands byte for byte.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analyses/inverse_a_command.h"
#include "genetics/inverse_a.h"
#include "genetics/matrix_t.h"
#include "report/markup.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;
using test::DenseMatrix;

SparseLower Build(const Pedigree& ped) {
  SilentProgressWindow window;
  Progress progress(window);
  InverseBuild build = BuildInverseOfA(ped, progress);
  EXPECT_EQ(build.status, BuildStatus::kDone);
  return std::move(build.matrix);
}

// Row i of the inverse, both triangles, in double precision.
std::vector<double> FullRow(const SparseLower& inverse, std::int32_t i) {
  std::vector<double> row(static_cast<std::size_t>(inverse.n), 0.0);
  for (std::int32_t k = 0; k < inverse.n; ++k)
    row[static_cast<std::size_t>(k)] = k <= i ? inverse.At(i, k) : inverse.At(k, i);
  return row;
}

// Henderson's rules as the element-by-element insertion into rows kept in
// column order: the elements the inverse must store, each float sum made in
// the order of insertion.
std::vector<std::map<std::int32_t, float>> InsertedRows(const Pedigree& ped) {
  std::vector<std::map<std::int32_t, float>> rows(static_cast<std::size_t>(ped.nTotal));
  const auto add = [&](std::int32_t r, std::int32_t c, float v) {
    if (v == 0.0f) return;
    auto [it, fresh] = rows[static_cast<std::size_t>(r)].try_emplace(c, v);
    if (!fresh) it->second = it->second + v;
  };
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    const std::int32_t s = ped.rec(r.sire).code - 1, d = ped.rec(r.dam).code - 1;
    const float alpha = 1.0f / ped.d[static_cast<std::size_t>(i) + 1];
    add(i, i, alpha);
    if (s >= 0 && d >= 0) add(std::max(s, d), std::min(s, d), alpha * 0.25f);
    for (const std::int32_t p : {s, d}) {
      if (p < 0) continue;
      add(p, p, alpha * 0.25f);
      add(i, p, alpha * -0.5f);
    }
  }
  return rows;
}

// Random pedigrees of a few hundred individuals, deep enough to be much
// inbred, with predefined F on some of them: the inverse times the tabular A
// is the identity, its elements are Henderson's sums, and T D T' is A.
TEST(InverseOfAAndMatrixT, AgreeWithTheTabularAWithPredefinedF) {
  for (std::uint64_t seed = 1; seed <= 14; ++seed) {
    test::RandomPedigreeOptions o;
    o.seed = seed;
    o.size = 250 + static_cast<int>(seed % 4) * 40;
    o.founders = 12;
    o.window = 30;
    o.closeMatingChance = 0.3;
    o.fColumn = true;
    o.predefinedChance = 0.15;
    const auto ped = test::Loaded(test::MakeRandomPedigree(o).text);
    const auto n = static_cast<std::size_t>(ped->nTotal);
    const std::string where = "seed " + std::to_string(seed) + ", n " + std::to_string(n);
    const DenseMatrix a = test::TabularA(*ped);
    const SparseLower inverse = Build(*ped);
    ASSERT_LE(inverse.Stored(), 4 * std::int64_t{ped->nTotal}) << where;
    double worst = 0.0;
    for (std::int32_t i = 0; i < inverse.n; ++i) {
      const std::vector<double> row = FullRow(inverse, i);
      for (std::size_t j = 0; j < n; ++j) {
        double product = 0.0;
        for (std::size_t k = 0; k < n; ++k) product += row[k] * a(k, j);
        worst = std::max(worst, std::abs(product - (j == static_cast<std::size_t>(i) ? 1.0 : 0.0)));
      }
    }
    EXPECT_LE(worst, 1e-4) << "inverse times A, " << where;

    const auto rows = InsertedRows(*ped);
    for (std::int32_t i = 0; i < ped->nTotal; ++i) {
      std::map<std::int32_t, float> built;
      std::int32_t previous = -1;
      for (const SparseElement& e : inverse.Row(i)) {
        ASSERT_GT(e.column, previous) << "row " << i << ", " << where;
        built[e.column] = e.value;
        previous = e.column;
      }
      ASSERT_LE(previous, i) << where;
      ASSERT_EQ(built, rows[static_cast<std::size_t>(i)]) << "row " << i << ", " << where;
    }

    DenseMatrix t{n, std::vector<double>(n * n, 0.0)};
    std::vector<float> w(n + 1, 0.0f);
    for (std::size_t i = 0; i < n; ++i) {
      MatrixTRow(*ped, static_cast<std::int32_t>(i) + 1, w);
      for (std::size_t k = 0; k < n; ++k) t(i, k) = std::exchange(w[k + 1], 0.0f);
      ASSERT_EQ(t(i, i), 1.0) << where;
    }
    worst = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j <= i; ++j) {
        double tdt = 0.0;
        for (std::size_t k = 0; k <= j; ++k) tdt += t(i, k) * static_cast<double>(ped->d[k + 1]) * t(j, k);
        worst = std::max(worst, std::abs(tdt - a(i, j)));
      }
    }
    EXPECT_LE(worst, 1e-4) << "T D T', " << where;
  }
}

class Commands : public test::OpenDocFixture {
 protected:
  // Runs `command` writing to `out`, choosing `choice` if it asks.
  std::string Run(std::int32_t command, int choice = 1) {
    platform.saveChoices = {choice};
    platform.fileNames = {out};
    doc.RunCommand(command);
    return test::ReadWholeFile(out);
  }
  std::vector<std::string> Report() const { return test::ReportLines(doc.pedigree()); }
};

constexpr const char* kTrio = "progeny sire dam\nS 0 0\nD 0 0\nO S D\n";

TEST_F(Commands, InverseOfAFilesOfTwoFoundersAndTheirOffspring) {
  Open(kTrio);
  const std::string label = "Individual ID         Individual Code\n";
  EXPECT_EQ(Run(kCmdInverseA, 1),
            Header() + "Inverse of the numerator relationship matrix (Lower triangular):\n" + label +
                "S,                    1,          1:1.5, \n"
                "D,                    2,          1:0.5, 2:1.5, \n"
                "O,                    3,          1:-1, 2:-1, 3:2, \n"
                "No. of non-zero elements in total:   9\n"
                "No. of zero elements in total:       0\n");
  EXPECT_EQ(Run(kCmdInverseA, 2),
            Header() + "Inverse of the numerator relationship matrix:\n" + label +
                "S,                    1,          1.5, 0.5, -1, \n"
                "D,                    2,          0.5, 1.5, -1, \n"
                "O,                    3,          -1, -1, 2, \n"
                "No. of non-zero elements in total:   9\n"
                "No. of zero elements in total:       0\n");
  EXPECT_EQ(Run(kCmdMatrixT),
            Header() + "Matrix T or decomposition of the numerator relationship matrix (A=TDT'):\n" +
                label +
                "S,                    1,          1, 0, 0, \n"
                "D,                    2,          0, 1, 0, \n"
                "O,                    3,          0.5, 0.5, 1, \n");
  const std::pair<std::string, std::string> choices{"Save only the non-zero elements",
                                                     "Save the entire inverse matrix"};
  EXPECT_EQ(platform.choiceTexts.back(), choices);
  EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree);  // the report is left alone
  EXPECT_EQ(platform.fileRequests.back().title, "Save As");
  EXPECT_EQ(platform.fileRequests.back().defaultExtension, "out");
}

std::string Shortest(float value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Full single precision, the lower triangle in row and column order, no
// header: a predefined F makes values that the display format would round.
TEST_F(Commands, InverseOfATripletsKeepEveryDigit) {
  Open("progeny sire dam F\nS 0 0 0.1\nD 0 0 .\nO S D .\nP O D .\n");
  platform.fileNames = {out};
  CommandContext ctx = doc.Context();
  WriteInverseOfA(ctx, InverseOutput::kTriplets);
  // d: S 1 + 0.1 (its predefined F), D 1, O 1/2 - (0.1 + 0)/4, P 1/2.
  const float aS = 1.0f / (1.0f + 0.1f), aO = 1.0f / (0.5f - 0.25f * 0.1f), aP = 1.0f / 0.5f;
  const std::map<std::string, std::string> expected = {
      {"S S", Shortest(aS + aO * 0.25f)},
      {"D D", Shortest(1.0f + aO * 0.25f + aP * 0.25f)},
      {"D S", Shortest(aO * 0.25f)},
      {"O S", Shortest(aO * -0.5f)},
      {"D O", Shortest(aO * -0.5f + aP * 0.25f)},
      {"O O", Shortest(aO + aP * 0.25f)},
      {"D P", Shortest(aP * -0.5f)},
      {"O P", Shortest(aP * -0.5f)},
      {"P P", Shortest(aP)}};
  std::map<std::string, std::string> got;
  std::istringstream lines(test::ReadWholeFile(out));
  std::pair<int, int> previous{0, 0};
  for (int row, column; lines >> row >> column;) {
    std::string value;
    lines >> value;
    ASSERT_LE(column, row);
    ASSERT_LT(previous, std::pair(row, column));
    previous = {row, column};
    std::string a = doc.pedigree().byCode(row - 1).id, b = doc.pedigree().byCode(column - 1).id;
    if (b < a) std::swap(a, b);
    got[a + " " + b] = value;
  }
  EXPECT_EQ(got, expected);
}

TEST_F(Commands, InverseOfAOffersTheEntireMatrixUpTo250000Cells) {
  for (const int n : {500, 501}) {
    std::string text = "progeny sire dam\n";
    for (int i = 0; i < n; ++i) text.append("I").append(std::to_string(i)).append(" 0 0\n");
    Open(text);
    const std::size_t asked = platform.choiceTexts.size();
    Run(kCmdInverseA);
    EXPECT_EQ(platform.choiceTexts.size() - asked, n == 500 ? 1u : 0u) << n;
    EXPECT_EQ(doc.IsCommandEnabled(kCmdMatrixT), n == 500) << n;
  }
}

TEST_F(Commands, FileCommandsEndWithoutAFileWhenCancelledOrRefused) {
  struct Case {
    const char* name;
    std::int32_t command;
    int choice;
    std::optional<std::string> fileName;
    const char* message;
  };
  const Case cases[] = {
      {"choice cancelled", kCmdInverseA, -1, "x", nullptr},
      {"Save As cancelled", kCmdInverseA, 1, std::nullopt, nullptr},
      {"Save As cancelled for T", kCmdMatrixT, 1, std::nullopt, nullptr},
      {"not writable", kCmdInverseA, 1, "/nonexistent-dir/a.out", "Cannot open /nonexistent-dir/a.out for writing.\nNo such file or directory"},
      {"not writable for T", kCmdMatrixT, 1, "/nonexistent-dir/t.out", "Cannot open /nonexistent-dir/t.out for writing.\nNo such file or directory"},
  };
  Open(kTrio);
  for (const Case& c : cases) {
    platform.messages.clear();
    platform.saveChoices = {c.choice};
    platform.fileNames = {c.fileName};
    doc.RunCommand(c.command);
    EXPECT_EQ(platform.MessageTexts(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{})
        << c.name;
    EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree) << c.name;
    EXPECT_FALSE(doc.pedigree().inbreedingComputed) << c.name;
  }
}

// A cancel at any poll of the inbreeding, the building or the saving leaves
// the cancel line, no table, an existing file as it was and no new one; past
// the last poll the file is complete, its tables beside the report and the
// report's tables, which it leaves alone.
TEST_F(Commands, CancelAtEveryPollLeavesTheTargetAsItWas) {
  for (const std::int32_t command : {kCmdInverseA, kCmdMatrixT}) {
    for (int poll = 1;; ++poll) {
      platform.cancelAtPoll = 0;
      Open("progeny sire dam\nS 0 0\nD 0 0\nO S D\nP O D\nQ O P\n");
      const std::vector<std::string> before = Report();
      const bool existing = poll % 2 == 1;
      fs::remove(out);
      if (existing) test::WriteWholeFile(out, "the previous file\n");
      platform.polls = 0;
      platform.cancelAtPoll = poll;
      const std::string written = Run(command);
      const ResultSet& tables = doc.pedigree().report.tables();
      const ResultSet& files = doc.pedigree().writtenTables;
      EXPECT_FALSE(test::HasTemporaryBeside(out));
      if (platform.polls < poll) {
        EXPECT_NE(written, "the previous file\n");
        EXPECT_FALSE(written.empty());
        EXPECT_GT(poll, 4) << command;
        EXPECT_EQ(Report(), before);
        EXPECT_EQ(test::TableNames(tables), "pedigree");
        EXPECT_EQ(test::TableNames(files), command == kCmdMatrixT ? "matrix_t" : "ainverse recoding");
        doc.ClosePedigree();
        break;
      }
      EXPECT_EQ(fs::exists(out), existing) << command << " poll " << poll;
      if (existing) {
        EXPECT_EQ(written, "the previous file\n") << command << " poll " << poll;
      }
      EXPECT_EQ(Report(), std::vector<std::string>{"|XProcess has been canceled by the user."});
      EXPECT_EQ(doc.lastCommand(), kCmdNone);
      EXPECT_TRUE(tables.empty() && files.empty()) << command << " poll " << poll;
      doc.ClosePedigree();
    }
  }
  platform.cancelAtPoll = 0;
}

// dii is the D of the coefficients: a predefined F above what the parents
// give raises it; the parents added by validation follow a separator.
TEST_F(Commands, DiiListsTheDOfTheCoefficients) {
  Open("progeny sire dam F\nC A B .\nD A B .\nE C D 0.3\nG E 0 .\n");
  doc.RunCommand(kCmdDii);
  EXPECT_EQ(doc.lastCommand(), kCmdDii);
  const std::vector<std::string> lines = {
      "Individual|T1|T5Within family segregation variance", "----------|T1|T5----------",
      "C|T1|T5|I0.5", "D|T1|T5|I0.5", "E|T1|T5|I0.55", "G|T1|T5|I0.675",
      "----------|T1|T5----------", "B|T1|T5|I1", "A|T1|T5|I1"};
  EXPECT_EQ(Report(), lines);
  std::string body;
  for (const char* line : {"Individual|T1|T5Within family segregation variance", "",
                           "C|T1|T50.5", "D|T1|T50.5", "E|T1|T50.55", "G|T1|T50.675", "",
                           "B|T1|T51", "A|T1|T51"})
    body += ExpandMarkup(line);
  EXPECT_EQ(test::SavedFile(doc, 1), Header() + body);
}

}  // namespace
}  // namespace kinvar
