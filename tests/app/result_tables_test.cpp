// The typed tables of Compute, View Pedigree and Re-coding: exact rows of a
// hand pedigree, every individual of random pedigrees against the tabular A
// and a count of ancestral paths, and the summary's rows against the
// report's figure lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

using test::DocSession;

// Every cell of a table, a row per line, cells separated by blanks, as CSV
// would write them ("" missing).
std::string Cells(const ResultTable& t) {
  std::string text;
  for (std::size_t r = 0; r < t.rows(); ++r) {
    for (std::size_t c = 0; c < t.columns().size(); ++c) {
      const TableColumn& column = t.column(c);
      text += c == 0 ? "" : " ";
      if (column.Missing(r)) text += "-";
      else if (column.IsText()) text += column.Text(r);
      else if (column.type() == ColumnType::kReal) text += std::to_string(column.Real(r)).substr(0, 6);
      else if (column.type() == ColumnType::kBoolean) text += column.Integer(r) != 0 ? "true" : "false";
      else text += std::to_string(column.Integer(r));
    }
    text += "\n";
  }
  return text;
}

// X has no line of its own: it follows the file's individuals.
constexpr const char* kFamily =
    "progeny sire dam group f\nS 0 0 1 .\nD 0 0 1 0.125\nO S D 2 .\nP O D 2 .\nR X P 1 .\n";

// D's F is predefined (its diagonal 1.125 carries into P); P = O x D with
// a(O, D) = (1.125 + 0) / 2. The tables' names and columns are what
// scripts rely on.
TEST(AppTables, FamilyRowsAndColumnsExactly) {
  DocSession s(kFamily);
  Pedigree& ped = s.doc.pedigree();
  ped.sexColumn = 5;
  ped.birthColumn = 6;
  ped.rec(1).sex = Sex::kMale;
  ped.rec(2).birth = 11;  // 1970-01-12
  ASSERT_TRUE(s.doc.RunCommand(kCmdCompute));
  EXPECT_EQ(test::Layout(ped.report.tables()),
            "summary(figure:text value:real)\n"
            "inbreeding(id:id sire:id dam:id group:integer code:integer f:real f_predefined:boolean "
            "ecg:real[generations] longest_path:integer[generations])\n");
  const ResultTable* summary = ped.report.tables().Find("summary");
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(Cells(*summary),
            "No. of individuals in total 6.0000\n"
            "No. of inbreds 2.0000\n"
            "No. of evaluated individuals 5.0000\n"
            "No. of inbreds in evaluated 1.0000\n");
  const ResultTable* inbreeding = ped.report.tables().Find("inbreeding");
  ASSERT_NE(inbreeding, nullptr);
  std::string expected;
  for (const char* row : {"S - - 1 C 0.0000 false 0.0000 0", "D - - 1 C 0.1250 true 0.0000 0",
                          "O S D 2 C 0.0000 false 1.0000 1", "P O D 2 C 0.2812 false 1.5000 2",
                          "R X P 1 C 0.0000 false 1.7500 3", "X - - - C 0.0000 false 0.0000 0"})
    expected += std::string(row) + "\n";
  // Codes are checked against the recoding below; here they are masked.
  std::string cells = Cells(*inbreeding);
  for (std::size_t at = 0, line = 0; line < 6; ++line) {
    for (int blank = 0; blank < 4; ++blank) at = cells.find(' ', at) + 1;
    cells.replace(at, cells.find(' ', at) - at, "C");
    at = cells.find('\n', at) + 1;
  }
  EXPECT_EQ(cells, expected);
  ASSERT_TRUE(s.doc.RunCommand(kCmdViewPedigree));
  EXPECT_EQ(test::Layout(ped.report.tables()),
            "pedigree(id:id sire:id dam:id group:integer f:real f_predefined:boolean sex:text "
            "birth_date:text)\n");
  EXPECT_EQ(Cells(*ped.report.tables().Find("pedigree")),
            "S - - 1 0.0000 false M -\n"
            "D - - 1 0.1250 true - 1970-01-12\n"
            "O S D 2 0.0000 false - -\n"
            "P O D 2 0.2812 false - -\n"
            "R X P 1 0.0000 false - -\n"
            "X - - - 0.0000 false M -\n");
  ASSERT_TRUE(s.doc.RunCommand(kCmdRecoding));
  EXPECT_EQ(test::Layout(ped.report.tables()), "recoding(code:integer sire_code:integer dam_code:integer id:id)\n");
}

// Paths from individual `code` (0-based) to its ancestors counted by
// length, through the parent adjacency matrix: the equivalent complete
// generations sum (1/2)^length over them, the longest path is the last
// length that reaches one.
std::pair<double, int> PathDepths(const Pedigree& ped, std::size_t code) {
  const auto n = static_cast<std::size_t>(ped.nTotal);
  std::vector<double> reach(n, 0.0), next(n);
  reach[code] = 1.0;
  double equivalent = 0.0, weight = 1.0;
  int longest = 0;
  for (int length = 1;; ++length) {
    std::fill(next.begin(), next.end(), 0.0);
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (reach[i] == 0.0) continue;
      const Rec& r = ped.byCode(static_cast<std::int32_t>(i));
      for (const RecIndex p : {r.sire, r.dam})
        if (p != kUnknownParent) {
          next[static_cast<std::size_t>(ped.rec(p).code - 1)] += reach[i];
          any = true;
        }
    }
    if (!any) return {equivalent, longest};
    weight *= 0.5;
    for (const double count : next) equivalent += weight * count;
    longest = length;
    reach.swap(next);
  }
}

double LineNumber(const std::string& line) {
  const std::size_t at = line.rfind('|');
  return std::stod(line.substr(at + 2));
}

TEST(AppTables, InbreedingCoversEveryIndividualOfRandomPedigrees) {
  for (int seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    test::RandomPedigreeOptions options = test::VariedOptions(static_cast<std::uint64_t>(seed), 60);
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    DocSession s(random.text);
    ASSERT_TRUE(s.doc.RunCommand(kCmdCompute));
    const Pedigree& ped = s.doc.pedigree();
    const test::DenseMatrix a = test::TabularA(ped);
    const ResultTable& t = *ped.report.tables().Find("inbreeding");
    ASSERT_EQ(t.rows(), static_cast<std::size_t>(ped.nTotal));
    const auto ids = test::TextCells(t, "id");
    const auto sires = test::TextCells(t, "sire");
    const auto groups = test::IntegerCells(t, "group");
    const auto codes = test::IntegerCells(t, "code");
    const auto f = test::RealCells(t, "f");
    const auto predefined = test::IntegerCells(t, "f_predefined");
    const auto ecg = test::RealCells(t, "ecg");
    const auto longest = test::IntegerCells(t, "longest_path");
    for (int k = 0; k < random.nListed; ++k) ASSERT_EQ(ids[static_cast<std::size_t>(k)], random.individuals[static_cast<std::size_t>(k)].id);
    for (std::size_t k = 0; k < t.rows(); ++k) {
      const Rec& r = ped.rec(static_cast<RecIndex>(k) + 1);
      ASSERT_EQ(ids[k], r.Id());
      EXPECT_EQ(sires[k], r.sire == kUnknownParent ? "" : ped.rec(r.sire).Id());
      EXPECT_EQ(groups[k], r.group < 0 ? kMissingInteger : ped.GroupNumber(r));
      const auto code = static_cast<std::size_t>(codes[k] - 1);
      EXPECT_EQ(predefined[k] != 0, r.fPredefined);
      EXPECT_NEAR(f[k], a(code, code) - 1.0, 2e-5) << ids[k];
      const auto [equivalent, path] = PathDepths(ped, code);
      EXPECT_NEAR(ecg[k], equivalent, 2e-5 * std::max(1.0, equivalent)) << ids[k];
      EXPECT_EQ(longest[k], path) << ids[k];
    }
    // Each listed inbred's F and equivalent generations are the table's.
    const auto lines = s.Report();
    for (std::size_t l = 8; l < lines.size(); ++l) {
      const std::string id = lines[l].substr(0, lines[l].find('|'));
      const auto k = static_cast<std::size_t>(std::find(ids.begin(), ids.end(), id) - ids.begin());
      const std::size_t fAt = lines[l].find("|I") + 2;
      EXPECT_NEAR(std::stod(lines[l].substr(fAt)), f[k], 6e-6 * f[k]) << lines[l];
      const std::size_t eAt = lines[l].find("|T4|T6") + 6;
      EXPECT_NEAR(std::stod(lines[l].substr(eAt)), ecg[k], 6e-6 * ecg[k] + 1e-30) << lines[l];
    }
    // Every figure line is a summary row under its label.
    const ResultTable& summary = *ped.report.tables().Find("summary");
    ASSERT_EQ(summary.rows(), 4u);
    for (std::size_t l = 0; l < 4; ++l) {
      EXPECT_EQ(summary.column(0).Text(l), lines[l].substr(0, lines[l].find("|T7")));
      EXPECT_EQ(summary.column(1).Real(l), LineNumber(lines[l]));
    }
  }
}

// The recoding table in code order, parents before progeny; the pedigree
// table in the file's order with the parents that validation added last.
TEST(AppTables, RecodingAndPedigreeOfRandomPedigrees) {
  for (int seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    const test::RandomPedigree random =
        test::MakeRandomPedigree(test::VariedOptions(static_cast<std::uint64_t>(seed), 60));
    DocSession s(random.text);
    ASSERT_TRUE(s.doc.RunCommand(kCmdRecoding));
    const Pedigree& ped = s.doc.pedigree();
    const ResultTable& t = *ped.report.tables().Find("recoding");
    ASSERT_EQ(t.rows(), static_cast<std::size_t>(ped.nTotal));
    const auto codes = test::IntegerCells(t, "code");
    const auto sires = test::IntegerCells(t, "sire_code");
    const auto dams = test::IntegerCells(t, "dam_code");
    const auto ids = test::TextCells(t, "id");
    std::vector<std::string> byCode(ids.size());
    for (RecIndex i = 1; i <= ped.nTotal; ++i)
      byCode[static_cast<std::size_t>(ped.rec(i).code - 1)] = ped.rec(i).id;
    EXPECT_EQ(ids, byCode);
    for (std::size_t k = 0; k < t.rows(); ++k) {
      EXPECT_EQ(codes[k], static_cast<std::int64_t>(k) + 1);
      for (const std::int64_t parent : {sires[k], dams[k]})
        EXPECT_TRUE(parent == kMissingInteger || (parent >= 1 && parent < codes[k]));
    }
    ASSERT_TRUE(s.doc.RunCommand(kCmdViewPedigree));
    const ResultTable& p = *ped.report.tables().Find("pedigree");
    ASSERT_EQ(p.rows(), static_cast<std::size_t>(ped.nTotal));
    const auto pIds = test::TextCells(p, "id");
    const auto pDams = test::TextCells(p, "dam");
    for (std::size_t k = 0; k < p.rows(); ++k) {
      const test::RandomIndividual* found = nullptr;
      for (const auto& i : random.individuals) if (i.id == pIds[k]) found = &i;
      ASSERT_NE(found, nullptr) << pIds[k];
      EXPECT_EQ(found->listed, k < static_cast<std::size_t>(random.nListed));
      EXPECT_EQ(pDams[k], found->dam);
      if (found->fPredefined && p.Find("f") != nullptr) {
        EXPECT_EQ(p.Find("f")->Real(k), DecimalOf(*found->fPredefined));
      }
    }
  }
}

// (The listings' cancel is checked with their handlers.)
TEST(AppTables, ACancelledComputeOrDiiLeavesNoTables) {
  for (const std::int32_t command : {kCmdCompute, kCmdDii}) {
    SCOPED_TRACE(command);
    DocSession s(kFamily);
    s.platform.polls = 0;
    s.platform.cancelAtPoll = 1;
    s.doc.RunCommand(command);
    EXPECT_EQ(s.Report(), std::vector<std::string>{"|XProcess has been canceled by the user."});
    EXPECT_TRUE(s.doc.pedigree().report.tables().empty());
  }
}

}  // namespace
}  // namespace kinvar
