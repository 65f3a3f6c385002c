// The genetic diversity summary: fa on pedigrees worked by hand and against a
// brute-force search that recomputes every contribution each round; fe, fg
// and mean coancestry equal to gene origin's and the tabular A's; generation
// depths, Ne and completeness against direct computations; the exact report
// through the document, its re-run in a new number format, and a cancel.
#include "analyses/diversity.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <tuple>
#include <memory>
#include <string>
#include <vector>

#include "analyses/decomposition.h"
#include "analyses/decomposition_report.h"
#include "analyses/gene_origin.h"
#include "genetics/inbreeding.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

using test::Loaded;

ReferencePopulation Reference(const Pedigree& ped, int group) {
  return group == kAllIndividuals ? WholeReference(ped)
                                  : GroupReference(ped, GroupIndexOf(ped, group));
}

DiversitySummary Summarize(Pedigree& ped, int group) {
  SilentProgressWindow window;
  Progress progress(window);
  progress.SetStage(0, 100, kMaxAncestorRounds, "");
  DiversitySummary s;
  EXPECT_TRUE(ComputeDiversity(ped, Reference(ped, group), TraceGenerations(ped), progress, s));
  return s;
}

std::string Chosen(const Pedigree& ped, const EffectiveAncestors& a) {
  std::string text;
  for (const ChosenAncestor& c : a.chosen)
    text += std::string(ped.rec(c.rec).Id()) + " " + std::to_string(c.contribution) + "; ";
  return text;
}

struct FaCase {
  const char* name;
  const char* text;
  int group;
  const char* chosen;  // IDs with q as std::to_string writes them
  double fa;
};

class EffectiveNumberOfAncestors : public testing::TestWithParam<FaCase> {};

TEST_P(EffectiveNumberOfAncestors, MatchesTheHandWorkedRounds) {
  auto ped = Loaded(GetParam().text);
  const DiversitySummary s = Summarize(*ped, GetParam().group);
  EXPECT_EQ(Chosen(*ped, s.ancestors), GetParam().chosen);
  EXPECT_DOUBLE_EQ(s.ancestors.fa, GetParam().fa);
  EXPECT_DOUBLE_EQ(s.ancestors.explained, 1.0);
  EXPECT_FALSE(s.ancestors.stoppedAtLimit);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EffectiveNumberOfAncestors,
    testing::Values(
        // The sire explains half; each member's unknown dam is its own.
        FaCase{"OneUnknownParent", "progeny sire dam group\nS 0 0 0\nX1 S 0 1\nX2 S 0 1\nX3 S 0 1\n",
               1, "S 0.500000; X1 0.166667; X2 0.166667; X3 0.166667; ", 3.0},
        // S and its son T both carry 2 of the 6 members' genes: S wins the
        // tie by its lower code, then T adds what S did not give it.
        FaCase{"AncestorAndItsDescendant",
               "progeny sire dam group\nS 0 0 0\nT S 0 0\nX1 T 0 1\nX2 T 0 1\nX3 T 0 1\n"
               "X4 T 0 1\nY1 S 0 1\nY2 S 0 1\n",
               1,
               "S 0.333333; T 0.166667; X1 0.083333; X2 0.083333; X3 0.083333; X4 0.083333; "
               "Y1 0.083333; Y2 0.083333; ",
               144.0 / 26.0},
        // Every individual: once P and Q are chosen, X has nothing left.
        FaCase{"EveryIndividual", "progeny sire dam\nP 0 0\nQ 0 0\nX P Q\n", kAllIndividuals,
               "P 0.500000; Q 0.500000; ", 2.0}),
    [](const testing::TestParamInfo<FaCase>& row) { return row.param.name; });

// Boichard's rounds done the long way: every round recomputes p by a
// backward pass and the explained shares by a forward pass over the whole
// pedigree, with the chosen individuals' parents unknown.
std::vector<std::pair<std::int32_t, double>> BruteForceAncestors(const Pedigree& ped,
                                                                 const ReferencePopulation& ref) {
  const auto n = static_cast<std::size_t>(ped.nTotal);
  const auto code = [&](RecIndex r) { return static_cast<std::size_t>(ped.rec(r).code); };
  std::vector<bool> chosen(n + 1, false);
  std::vector<std::pair<std::int32_t, double>> rounds;
  for (int round = 0; round < kMaxAncestorRounds; ++round) {
    std::vector<double> p(n + 1, 0.0), a(n + 1, 0.0);
    for (std::size_t k = n; k >= 1; --k) {
      p[k] += ref.byCode[k];
      const Rec& r = ped.byCode(static_cast<std::int32_t>(k - 1));
      if (chosen[k]) continue;
      if (r.sire != kUnknownParent) p[code(r.sire)] += p[k] / 2;
      if (r.dam != kUnknownParent) p[code(r.dam)] += p[k] / 2;
    }
    for (std::size_t k = 1; k <= n; ++k) {
      const Rec& r = ped.byCode(static_cast<std::int32_t>(k - 1));
      a[k] = chosen[k] ? 1.0 : (a[code(r.sire)] + a[code(r.dam)]) / 2;
    }
    std::size_t best = 0;
    double q = 0.0;
    for (std::size_t k = 1; k <= n; ++k)
      if (p[k] * (1 - a[k]) > q) q = p[k] * (1 - a[k]), best = k;
    if (best == 0) break;
    chosen[best] = true;
    rounds.emplace_back(static_cast<std::int32_t>(best), q / ref.members);
  }
  return rounds;
}

// By code: each known parent adds half of itself and half of its own sum of
// (1/2)^distance over its known ancestors; and the generations in which
// every ancestor is known.
struct Depths { std::vector<double> equivalent; std::vector<int> traced; };

Depths DirectDepths(const Pedigree& ped) {
  Depths d{std::vector<double>(static_cast<std::size_t>(ped.nTotal) + 1, 0.0),
           std::vector<int>(static_cast<std::size_t>(ped.nTotal) + 1, 0)};
  for (std::int32_t k = 1; k <= ped.nTotal; ++k) {
    const Rec& r = ped.byCode(k - 1);
    const auto s = static_cast<std::size_t>(ped.rec(r.sire).code);
    const auto m = static_cast<std::size_t>(ped.rec(r.dam).code);
    double e = 0.0;
    if (s != 0) e += (1 + d.equivalent[s]) / 2;
    if (m != 0) e += (1 + d.equivalent[m]) / 2;
    d.equivalent[static_cast<std::size_t>(k)] = e;
    if (s != 0 && m != 0) d.traced[static_cast<std::size_t>(k)] = 1 + std::min(d.traced[s], d.traced[m]);
  }
  return d;
}

TEST(Diversity, AgreesWithGeneOriginTheTabularMethodAndBruteForce) {
  int searched = 0;
  for (std::uint64_t seed = 1; seed <= 50; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 80);
    options.groupColumn = true;
    auto ped = Loaded(test::MakeRandomPedigree(options).text);
    const test::DenseMatrix a = test::TabularA(*ped);
    const GenerationDepths depths = TraceGenerations(*ped);
    const Depths direct = DirectDepths(*ped);
    const std::string where = "seed " + std::to_string(seed);
    for (std::size_t k = 1; k <= static_cast<std::size_t>(ped->nTotal); ++k) {
      EXPECT_NEAR(depths.equivalent[k], direct.equivalent[k], 1e-5 * direct.equivalent[k]) << where;
      EXPECT_EQ(depths.fullyTraced[k], direct.traced[k]) << where;
    }
    std::vector<int> references = GroupNumbers(*ped);
    references.push_back(kAllIndividuals);
    for (const int group : references) {
      const ReferencePopulation ref = Reference(*ped, group);
      const DiversitySummary s = Summarize(*ped, group);
      const std::string what = where + " group " + std::to_string(group);
      if (group != kAllIndividuals) {
        const std::int16_t g = GroupIndexOf(*ped, group);
        const double coancestry = Decompose(*ped, g, DecompositionMode::kAverageCoancestry).mTotal;
        EXPECT_EQ(s.founders.fe, 1.0 / ComputeFounderContributions(*ped, g).sumOfSquares) << what;
        EXPECT_EQ(s.meanCoancestry, coancestry) << what;
        EXPECT_EQ(s.fg, 1.0 / static_cast<double>(static_cast<float>(2.0 * coancestry))) << what;
      }
      double sumA = 0.0, sumF = 0.0, sumDf = 0.0, sumDf2 = 0.0;
      int used = 0;
      for (std::size_t i = 0; i < a.n; ++i) {
        if (ref.byCode[i + 1] == 0) continue;
        for (std::size_t j = 0; j < a.n; ++j) sumA += ref.byCode[j + 1] * a(i, j) / 2;
        const double f = a(i, i) - 1, t = depths.equivalent[i + 1];
        sumF += f;
        if (t <= 1) continue;
        const double df = 1 - std::pow(1 - f, 1 / (t - 1));
        sumDf += df, sumDf2 += df * df, ++used;
      }
      const double m = ref.members;
      EXPECT_NEAR(s.meanCoancestry, sumA / (m * m), 1e-5) << what;
      EXPECT_NEAR(s.meanF, sumF / m, 1e-5) << what;
      EXPECT_EQ(s.ne.leftOut, ref.members - used) << what;
      if (used > 1 && sumDf > 0) {
        const double mean = sumDf / used, ne = 1 / (2 * mean);
        const double sd = std::sqrt((sumDf2 - used * mean * mean) / (used - 1));
        EXPECT_NEAR(s.ne.ne, ne, 1e-4 * ne) << what;
        EXPECT_NEAR(s.ne.standardError, 2 * ne * ne * sd / std::sqrt(used), 1e-3 * ne * ne) << what;
      }
      const auto brute = BruteForceAncestors(*ped, ref);
      ASSERT_EQ(s.ancestors.chosen.size(), brute.size()) << what;
      double sumQ2 = 0.0;
      for (std::size_t i = 0; i < brute.size(); ++i) {
        EXPECT_EQ(ped->rec(s.ancestors.chosen[i].rec).code, brute[i].first) << what << " " << i;
        EXPECT_NEAR(s.ancestors.chosen[i].contribution, brute[i].second, 1e-12) << what;
        sumQ2 += brute[i].second * brute[i].second;
      }
      EXPECT_NEAR(s.ancestors.fa, 1 / sumQ2, 1e-9 / sumQ2) << what;
      EXPECT_NEAR(s.ancestors.explained, 1.0, 1e-9) << what;
      ++searched;
    }
  }
  EXPECT_GT(searched, 100);
}

// 1500 unrelated members: the search stops at its limit and says how much
// is left unexplained.
// A group's row as a reference population of its own gives it, each figure
// over the whole pedigree: the table's rows, which visit only each group's
// members and their ancestors, must carry the same bits.
GroupTrend TrendOverThePedigree(Pedigree& ped, const GenerationDepths& depths, std::int32_t group) {
  const ReferencePopulation ref = GroupReference(ped, group);
  GroupTrend row{ref.groupNumber, ref.members};
  double f = 0.0, equivalent = 0.0, completeness = 0.0;
  std::vector<RecIndex> members;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    if (ref.byCode[static_cast<std::size_t>(code)] == 0) continue;
    const Rec& r = ped.byCode(code - 1);
    f += static_cast<double>(r.f);
    equivalent += static_cast<double>(depths.equivalent[static_cast<std::size_t>(code)]);
    completeness += CompletenessIndex(ped, r);
    members.push_back(ped.records[static_cast<std::size_t>(code - 1)]);
  }
  const auto mean = [&](double sum) { return ref.members == 0 ? 0.0 : sum / ref.members; };
  row.meanF = mean(f);
  row.meanEquivalent = mean(equivalent);
  row.completeness = mean(completeness);
  row.fe = SummarizeFounders(ped, ref).fe;
  row.ne = EstimateNe(ped, ref, depths).ne;
  EffectiveAncestors ancestors;
  FindEffectiveAncestors(ped, BuildAncestorSubset(ped, members), ref, nullptr, ancestors);
  row.fa = ancestors.fa;
  return row;
}

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST(DiversityGroupTable, RowsAreThoseOfEachGroupOverThePedigree) {
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed, 300);
    o.groupColumn = true;
    const auto ped = Loaded(test::MakeRandomPedigree(o).text);
    if (seed % 2 == 0) {  // a group of its own for every individual, or 13 spread over the ages
      const std::int32_t count = seed % 4 == 0 ? ped->nTotal : 13;
      ped->groups.assign(static_cast<std::size_t>(count), Description{});
      ped->groupOrder.clear();
      for (std::int32_t g = 0; g < count; ++g) {
        ped->groups[static_cast<std::size_t>(g)].group = g + 1;
        ped->groupOrder.push_back(g);
      }
      for (std::int32_t i = 0; i < ped->nTotal; ++i) {
        const std::int32_t g = seed % 4 == 0 ? i : i * 7 % 13;
        ped->byCode(i).group = g;
        ++ped->groups[static_cast<std::size_t>(g)].count;
      }
      ped->nGroups = count;
    }
    const GenerationDepths depths = TraceGenerations(*ped);
    SilentProgressWindow window;
    Progress progress(window);
    std::vector<GroupTrend> rows;
    ASSERT_TRUE(ComputeGroupTrends(*ped, depths, progress, rows));
    ASSERT_EQ(rows.size(), ped->groupOrder.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const GroupTrend want = TrendOverThePedigree(*ped, depths, ped->groupOrder[i]);
      const GroupTrend& got = rows[i];
      const std::string where = "seed " + std::to_string(seed) + " group " + std::to_string(want.group);
      EXPECT_EQ(got.group, want.group) << where;
      EXPECT_EQ(got.members, want.members) << where;
      for (const auto& [name, a, b] : {std::tuple{"mean F", got.meanF, want.meanF},
                                       {"equivalent generations", got.meanEquivalent, want.meanEquivalent},
                                       {"completeness", got.completeness, want.completeness},
                                       {"fe", got.fe, want.fe},
                                       {"Ne", got.ne, want.ne},
                                       {"fa", got.fa, want.fa}})
        EXPECT_EQ(Bits(a), Bits(b)) << where << ", " << name << ": " << a << " against " << b;
    }
  }
}

TEST(EffectiveNumberOfAncestors, StopsAfterAThousandRounds) {
  std::string text = "progeny sire dam group\n";
  for (int i = 0; i < 1500; ++i) text.append("A").append(std::to_string(10000 + i)).append(" 0 0 1\n");
  auto ped = Loaded(text);
  ped->settings.numberFormat = 3;
  const DiversitySummary s = Summarize(*ped, 1);
  EXPECT_TRUE(s.ancestors.stoppedAtLimit);
  EXPECT_EQ(s.ancestors.chosen.size(), 1000u);
  EXPECT_EQ(s.ancestors.halfExplainedBy, 750);
  EXPECT_NEAR(s.ancestors.fa, 2250.0, 1e-6);
  ASSERT_TRUE(ped->copyFile.Create());
  WriteDiversityReport(*ped, s, {});
  EXPECT_EQ(ped->report.Line(15), "Stopped after 1000 rounds, genes unexplained|T3|I0.33");
}

struct CompletenessCase {
  const char* name;
  std::string text;  // the last line is the individual
  double index;
};

class Completeness : public testing::TestWithParam<CompletenessCase> {};

TEST_P(Completeness, IsTheHarmonicMeanOfTheTwoSides) {
  auto ped = Loaded(GetParam().text);
  const RecIndex x = ped->lastRead();
  EXPECT_DOUBLE_EQ(CompletenessIndex(*ped, ped->rec(x)), GetParam().index);
}

// Four complete generations above X: 30 ancestors named by their path, X
// listed last.
std::string FourGenerations() {
  std::vector<std::string> lines;
  std::function<void(const std::string&, int)> add = [&](const std::string& id, int depth) {
    if (depth == 4) return;
    lines.push_back(id + " " + id + "S " + id + "D\n");
    add(id + "S", depth + 1);
    add(id + "D", depth + 1);
  };
  add("X", 0);
  std::string text = "progeny sire dam\n";
  for (std::size_t i = 1; i < lines.size(); ++i) text += lines[i];
  return text + lines[0];
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Completeness,
    testing::Values(
        CompletenessCase{"FourFullGenerations", FourGenerations(), 1.0},
        CompletenessCase{"DamUnknown", "progeny sire dam\nS 0 0\nX S 0\n", 0.0},
        // Sire's side (1 + 2/2) / 4, dam's side 1/4: 2 (1/2)(1/4) / (3/4).
        CompletenessCase{"DamsParentsUnknown", "progeny sire dam\nS A B\nD 0 0\nX S D\n", 1.0 / 3},
        // Each side (1 + 1/2) / 4.
        CompletenessCase{"OneGrandparentPerSide", "progeny sire dam\nS A 0\nD 0 B\nX S D\n", 0.375}),
    [](const testing::TestParamInfo<CompletenessCase>& row) { return row.param.name; });

constexpr const char* kFamily =
    "progeny sire dam group\nP 0 0 1\nQ 0 0 1\nS P Q 2\nD P Q 2\nX S D 3\nW S D 3\n";

TEST(DiversityCommand, ReportsLinesExactlyAndFollowsTheNumberFormat) {
  test::DocSession s(kFamily);
  CKinvarDoc& doc = s.doc;
  test::ScriptedPlatform& platform = s.platform;
  doc.settings().numberFormat = 0;
  platform.groupChoices.push_back(3);
  ASSERT_TRUE(doc.RunCommand(kCmdDiversity));
  EXPECT_EQ(platform.pickerGroups.back(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(platform.pickerAllEntries.back(), "All individuals");
  EXPECT_EQ(doc.lastCommand(), kCmdDiversity);
  const std::vector<std::string> want = {
      "|XGenetic diversity summary", "", "Reference population|T3|IGroup 3",
      "Reference individuals|T3|I2", "Mean equivalent complete generations|T3|I2",
      "Mean fully traced generations|T3|I2", "Mean maximum generations|T3|I2",
      "Pedigree completeness index (4 generations)|T3|I1/2", "", "Founders contributing|T3|I2",
      "Founder equivalent (fe)|T3|I2", "Effective number of ancestors (fa)|T3|I2",
      "Founder genome equivalent (fg)|T3|I1", "fa / fe|T3|I1",
      "Ancestors explaining 50 % of the genes|T3|I1", "", "Mean inbreeding|T3|I1/4",
      "Mean coancestry|T3|I1/2", "Gene diversity|T3|I1/2", "",
      "Effective population size (Ne)|T3|I2", "Standard error of Ne|T3|I0",
      "Individuals left out of Ne|T3|I0", "",
      "Ancestors chosen first for fa, with their marginal contributions:",
      "Rank|T5Individual|T1Contribution", "----|T5----------|T1------------",
      "1|T5P|T1|I1/2", "2|T5Q|T1|I1/2", "", "Trends by group:", "F: Mean inbreeding",
      "G: Mean equivalent complete generations", "", "Group|T5Members|T4F|T4G|T4fe|T4fa|T4Ne",
      std::string(106, '-'), "1|T5|I2|T40|T40|T42|T42|T4nan", "2|T5|I2|T40|T41|T42|T42|T4nan",
      "3|T5|I2|T41/4|T42|T42|T42|T42", std::string(106, '-')};
  EXPECT_EQ(s.Report(), want);

  // A new number format re-runs it for the same group without asking.
  Settings entries = doc.settings();
  entries.numberFormat = 3;
  const auto changes = doc.ApplyOptions(entries);
  ASSERT_TRUE(changes.has_value());
  doc.RerunAfterOptions(*changes);
  EXPECT_EQ(platform.pickerCaptions.size(), 1u);
  EXPECT_EQ(s.Report()[2], "Reference population|T3|IGroup 3");
  EXPECT_EQ(s.Report()[16], "Mean inbreeding|T3|I0.25");

  // Every individual, and a cancel in the search.
  platform.groupChoices.push_back(kAllIndividuals);
  ASSERT_TRUE(doc.RunCommand(kCmdDiversity));
  EXPECT_EQ(s.Report()[2], "Reference population|T3|IAll individuals");
  EXPECT_EQ(s.Report()[3], "Reference individuals|T3|I6");
  platform.groupChoices.push_back(kAllIndividuals);
  platform.cancelAtPoll = platform.polls + 1;
  doc.RunCommand(kCmdDiversity);
  EXPECT_EQ(s.Report(), std::vector<std::string>{kCanceledLine});
  EXPECT_EQ(doc.lastCommand(), kCmdNone);
}

}  // namespace
}  // namespace kinvar
