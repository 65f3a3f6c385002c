// The ancestral decomposition engine and gene origin: totals against the
// tabular A on random pedigrees, m per ancestor against T and D, founder
// contributions against T, the worked examples to the digit, the exact
// report, and a division by zero.
#include "analyses/decomposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "analyses/decomposition_report.h"
#include "analyses/gene_origin.h"
#include "genetics/inbreeding.h"
#include "report/number_format.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

using test::Loaded;

// t(i, k): the expected share of k's genes in i, by the recursion over
// parents; index = code - 1.
test::DenseMatrix TabularT(const Pedigree& ped) {
  test::DenseMatrix t;
  t.n = static_cast<std::size_t>(ped.nTotal);
  t.cells.assign(t.n * t.n, 0.0);
  for (std::size_t i = 0; i < t.n; ++i) {
    const Rec& r = ped.byCode(static_cast<std::int32_t>(i));
    t(i, i) = 1.0;
    for (const RecIndex p : {r.sire, r.dam}) {
      if (p == kUnknownParent) continue;
      const auto pi = static_cast<std::size_t>(ped.rec(p).code - 1);
      for (std::size_t k = 0; k <= pi; ++k) t(i, k) += 0.5 * t(pi, k);
    }
  }
  return t;
}

bool BothOrNoneKnown(const Pedigree& ped) {
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if ((r.sire == kUnknownParent) != (r.dam == kUnknownParent)) return false;
  }
  return true;
}

bool AnyPredefined(const Pedigree& ped) {
  for (std::int32_t i = 0; i < ped.nTotal; ++i)
    if (ped.byCode(i).fPredefined) return true;
  return false;
}

void ExpectNear(double got, double want, const std::string& what) {
  EXPECT_NEAR(got, want, 2e-5 * (1.0 + std::fabs(want))) << what;
}

TEST(Decomposition, TotalsAndContributionsAgreeWithTheTabularMethod) {
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 70));
    auto ped = Loaded(random.text);
    const test::DenseMatrix a = test::TabularA(*ped);
    const test::DenseMatrix t = TabularT(*ped);
    const bool uvHold = BothOrNoneKnown(*ped) && !AnyPredefined(*ped);
    const std::string where = "seed " + std::to_string(seed);
    for (std::int32_t code = 1; code <= ped->nTotal; ++code) {
      const Rec& x = ped->byCode(code - 1);
      const DecompositionResult r = Decompose(*ped, code, DecompositionMode::kInbreeding);
      ExpectNear(r.mTotal, x.f, where + " F of " + x.id);
      if (uvHold) {
        ExpectNear(r.uTotal, x.f, where + " u of " + x.id);
        ExpectNear(r.vTotal, x.f, where + " v of " + x.id);
      }
      if (x.sire == kUnknownParent || x.dam == kUnknownParent) continue;
      const auto s = static_cast<std::size_t>(ped->rec(x.sire).code - 1);
      const auto d = static_cast<std::size_t>(ped->rec(x.dam).code - 1);
      for (std::size_t k = 0; k + 1 < static_cast<std::size_t>(code); ++k)
        ExpectNear(r.m[k + 1], t(s, k) * t(d, k) * static_cast<double>(ped->d[k + 1]) / 2,
                   where + " m");
    }
    for (std::int16_t g = 0; g < static_cast<std::int16_t>(ped->groups.size()); ++g) {
      double sumF = 0.0, sumA = 0.0, m = 0.0;
      std::vector<std::size_t> members;
      for (std::int32_t i = 0; i < ped->nTotal; ++i) {
        if (ped->byCode(i).group != g) continue;
        members.push_back(static_cast<std::size_t>(i));
        sumF += static_cast<double>(ped->byCode(i).f);
        ++m;
      }
      for (const std::size_t i : members)
        for (const std::size_t j : members) sumA += a(i, j) / 2;
      const DecompositionResult r1 = Decompose(*ped, g, DecompositionMode::kAverageInbreeding);
      const DecompositionResult r2 = Decompose(*ped, g, DecompositionMode::kAverageCoancestry);
      ExpectNear(r1.mTotal, sumF / m, where + " mean F");
      ExpectNear(r2.mTotal, sumA / (m * m), where + " mean coancestry");
      if (uvHold) {
        ExpectNear(r1.vTotal, sumF / m, where + " v1");
        ExpectNear(r2.uTotal, sumA / (m * m), where + " u2");
        ExpectNear(r2.vTotal, sumA / (m * m), where + " v2");
      }
      // Founder contributions: the mean share of each founder in the members.
      const FounderContributions fc = ComputeFounderContributions(*ped, g);
      for (std::int32_t k = 0; k < ped->nTotal; ++k) {
        const Rec& f = ped->byCode(k);
        if (f.sire != kUnknownParent || f.dam != kUnknownParent) continue;
        double share = 0.0;
        for (const std::size_t i : members) share += t(i, static_cast<std::size_t>(k));
        ExpectNear(fc.byCode[static_cast<std::size_t>(k + 1)], share / m, where + " c");
      }
      if (BothOrNoneKnown(*ped)) ExpectNear(fc.sum, 1.0, where + " sum of c");
    }
  }
}

// The worked examples, to the digit in the fraction format: X out of full
// sibs S and D of founders P and Q; Y out of half sibs H1 and H2 through Z,
// the offspring of full sibs Z1 and Z2 of P and Q.
TEST(Decomposition, WorkedExamplesGiveTheirFractions) {
  auto ped = Loaded(
      "progeny sire dam\nP 0 0\nQ 0 0\nS P Q\nD P Q\nX S D\nZ1 P Q\nZ2 P Q\nZ Z1 Z2\n"
      "H1 Z 0\nH2 Z 0\nY H1 H2\n");
  ped->settings.numberFormat = 0;
  struct Row {
    const char* individual;
    std::vector<std::pair<const char*, std::string>> m, u, v;  // non-zero entries
    const char* total;
  };
  const Row rows[] = {
      {"X",
       {{"P", "1/8"}, {"Q", "1/8"}},
       {{"P", "1/8"}, {"Q", "1/8"}},
       {{"P", "1/8"}, {"Q", "1/8"}},
       "1/4"},
      {"Y",
       {{"Z", "1/16"}, {"Z1", "1/64"}, {"Z2", "1/64"}, {"P", "1/32"}, {"Q", "1/32"}},
       {{"Z", "1/8"}, {"P", "1/64"}, {"Q", "1/64"}},
       {{"P", "5/64"}, {"Q", "5/64"}},
       "5/32"},
  };
  const auto text = [&](double value) { return FormatNumber(0, static_cast<float>(value)); };
  for (const Row& row : rows) {
    std::string typed = row.individual;
    const std::int32_t code = ped->rec(FindTypedId(*ped, typed)).code;
    const DecompositionResult r = Decompose(*ped, code, DecompositionMode::kInbreeding);
    for (const auto& [values, want] :
         {std::pair{&r.m, &row.m}, std::pair{&r.u, &row.u}, std::pair{&r.v, &row.v}}) {
      for (std::int32_t k = 1; k <= ped->nTotal; ++k) {
        std::string expected = "0";
        for (const auto& [id, value] : *want)
          if (ped->byCode(k - 1).Id() == id) expected = value;
        EXPECT_EQ(text((*values)[static_cast<std::size_t>(k)]), expected)
            << row.individual << " at " << ped->byCode(k - 1).id;
      }
    }
    for (const double total : {r.mTotal, r.uTotal, r.vTotal}) EXPECT_EQ(text(total), row.total);
  }
}

std::vector<std::string> Report(const std::string& text, std::int32_t command,
                                std::optional<int> group, const char* id = nullptr,
                                int numberFormat = 0) {
  test::DocSession s(text);
  s.doc.settings().numberFormat = numberFormat;
  s.platform.groupChoices.push_back(group);
  if (id != nullptr) s.platform.typedIds.push_back(id);
  s.doc.RunCommand(command);
  EXPECT_EQ(s.doc.lastCommand(), command);
  return s.Report();
}

constexpr const char* kFamily =
    "progeny sire dam group\nP 0 0 1\nQ 0 0 1\nS P Q 2\nD P Q 2\nX S D 3\nW S D 3\n";

TEST(Decomposition, GroupReportLinesExactly) {
  const std::vector<std::string> want = {
      "|XDecomposition of the average coancestry into ancestral components",
      "",
      "Group|T3|I3",
      "Average coancestry for the group|T3|I1/2",
      "No. of individuals in total|T3|I6",
      "No. of founders in total|T3|I2",
      "No. of individuals in the group|T3|X2",
      "Extracted pedigree:",
      "    No. of individuals|T3|I6",
      "    No. of founders|T3|I2",
      "    No. of individuals with two known parents|T3|I4",
      "    No. of individuals with one known parent|T3|X0",
      "",
      "m = Contributions of Mendelian sampling variances of ancestors",
      "u = Contributions of genes of nodal common ancestors",
      "v = Contributions of genes of founders",
      "",
      "Individual|T1|T5m|T4|T6u|T4|T6v",
      "----------|T1|T5----------|T4|T6----------|T4|T6----------",
      "P|T1|T5|I1/8|T4|T61/16|T4|T61/4",
      "Q|T1|T5|I1/8|T4|T61/16|T4|T61/4",
      "S|T1|T5|I1/16|T4|T61/16|T4|T60",
      "D|T1|T5|I1/16|T4|T61/16|T4|T60",
      "X|T1|T5|I1/16|T4|T61/8|T4|T60",
      "W|T1|T5|I1/16|T4|T61/8|T4|T60",
      "----------|T1|T5----------|T4|T6----------|T4|T6----------",
      "Sum|T1|T5|I1/2|T4|T61/2|T4|T61/2"};
  EXPECT_EQ(Report(kFamily, kCmdDecompositionCoancestry, 3), want);
  const std::vector<std::string> inbreeding = Report(kFamily, kCmdDecompositionGroup, 3);
  EXPECT_EQ(inbreeding[3], "Average inbreeding coefficient for the group|T3|I1/4");
  const std::vector<std::string> one = Report(kFamily, kCmdDecompositionIndividual, 3, "x");
  EXPECT_EQ(one[2], "Individual|T3|IX");
  EXPECT_EQ(one.back(), "Sum|T1|T5|I1/4|T4|T61/4|T4|T61/4");
}

TEST(GeneOrigin, ReportLinesExactlyAndInfinityIsReadable) {
  std::vector<std::string> want = {
      "|XProbabilities of gene origin",
      "",
      "Group|T3|I3",
      "No. of individuals in total|T3|I6",
      "No. of founders in total|T3|I2",
      "No. of individuals in the group|T3|X2",
      "Extracted pedigree:",
      "    No. of individuals|T3|I6",
      "    No. of founders|T3|I2",
      "    No. of individuals with two known parents|T3|I4",
      "    No. of individuals with one known parent|T3|X0",
      "",
      "Founder equivalent|T3|I2",
      "Founder genome equivalent|T3|I1",
      "Effective number of non-founders|T3|I2",
      "Average inbreeding for the group|T3|I1/4",
      "Average coancestry for the group|T3|I1/2",
      "",
      "v1 = Contributions of genes of founders to the average inbreeding coefficient",
      "v2 = Contributions of genes of founders to the average coancestry",
      "",
      "Founder|T1|T5Contribution|T4|T6v1|T4|T6v2",
      "----------|T1|T5----------|T4|T6----------|T4|T6----------",
      "P|T1|T5|I1/2|T4|T61/8|T4|T61/4",
      "Q|T1|T5|I1/2|T4|T61/8|T4|T61/4",
      "----------|T1|T5----------|T4|T6----------|T4|T6----------",
      "Sum|T1|T5|I1|T4|T61/4|T4|T61/2"};
  EXPECT_EQ(Report(kFamily, kCmdGeneOrigin, 3), want);
  // Unrelated founders: f_g equals f_e, nothing was lost by drift, and the
  // non-founders' effective number is no figure, in every number format.
  const std::vector<std::string> founders = Report(kFamily, kCmdGeneOrigin, 1, nullptr, 1);
  EXPECT_EQ(founders[12], "Founder equivalent|T3|I2");
  EXPECT_EQ(founders[13], "Founder genome equivalent|T3|I2");
  EXPECT_EQ(founders[14], "Effective number of non-founders|T3|Inot estimable: fg equals fe, no loss by drift");
  EXPECT_EQ(Report(kFamily, kCmdGeneOrigin, 1, nullptr, 0)[14],
            "Effective number of non-founders|T3|Inot estimable: fg equals fe, no loss by drift");
}

// A predefined F is the individual's own: the m total is the F reported.
TEST(Decomposition, PredefinedFIsTheMTotal) {
  auto ped = Loaded("progeny sire dam F\nP 0 0 0.25\nQ 0 0 .\nS P Q .\nR 0 Q 0.125\n");
  for (const char* id : {"P", "S", "R"}) {
    std::string typed = id;
    const Rec& x = ped->rec(FindTypedId(*ped, typed));
    EXPECT_EQ(Decompose(*ped, x.code, DecompositionMode::kInbreeding).mTotal,
              static_cast<double>(x.f))
        << id;
  }
}

}  // namespace
}  // namespace kinvar
