// The genetic diversity summary: fa on pedigrees worked by hand (fa above fe
// among them, as the definitions give it) and against a brute-force search
// that recomputes every contribution each round; fe, fg
// and mean coancestry equal to gene origin's and the tabular A's; generation
// depths, Ne and completeness against direct computations; the exact report
// through the document, its re-run in a new number format, and a cancel.
#include "analyses/diversity.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include "pedigree/load.h"
#include "pedigree_generator.h"
#include "support/cancel_window.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/report_figures.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

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

// fe the long way: each member's genes followed up every path to the
// founders, in doubles.
double FeTheLongWay(const Pedigree& ped, const ReferencePopulation& ref) {
  std::vector<double> c(static_cast<std::size_t>(ped.nTotal) + 1, 0.0);
  const std::function<void(RecIndex, double)> up = [&](RecIndex r, double share) {
    const Rec& x = ped.rec(r);
    if (x.sire == kUnknownParent && x.dam == kUnknownParent) c[static_cast<std::size_t>(x.code)] += share;
    for (const RecIndex parent : {x.sire, x.dam})
      if (parent != kUnknownParent) up(parent, share / 2);
  };
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (ref.byCode[static_cast<std::size_t>(code)] != 0)
      up(ped.records[static_cast<std::size_t>(code - 1)], 1.0 / ref.members);
  double sumOfSquares = 0.0;
  for (const double x : c) sumOfSquares += x * x;
  return 1.0 / sumOfSquares;
}

// Where an ancestor chosen carries only part of a founder's genes, the rest
// reaching the members around it, the founder's share is split between
// several marginal contributions and their squares may sum to less than
// the founders': fa above fe is then what the definition gives. No shape
// of reference rules it out: members among the ancestors, relatives mated
// and neither, worked here by hand (fe from 32-bit contributions, so to
// their precision); generated herd books give it in early birth years.
struct FaAboveFeCase {
  const char* name;
  const char* text;  // the reference is group 1
  const char* chosen;
  double fe, fa;
};

class FaAboveFe : public testing::TestWithParam<FaAboveFeCase> {};

TEST_P(FaAboveFe, IsWhatTheDefinitionGivesByHand) {
  auto ped = Loaded(GetParam().text);
  const DiversitySummary s = Summarize(*ped, 1);
  EXPECT_EQ(Chosen(*ped, s.ancestors), GetParam().chosen);
  EXPECT_NEAR(s.founders.fe, GetParam().fe, 1e-6 * GetParam().fe);
  EXPECT_NEAR(s.ancestors.fa, GetParam().fa, 1e-12 * GetParam().fa);
  EXPECT_DOUBLE_EQ(s.ancestors.explained, 1.0);
  EXPECT_GT(s.ancestors.fa, s.founders.fe);
  // And both the long way, from the definitions.
  const ReferencePopulation ref = Reference(*ped, 1);
  double sumOfSquares = 0.0;
  for (const auto& [code, q] : BruteForceAncestors(*ped, ref)) sumOfSquares += q * q;
  EXPECT_NEAR(1 / sumOfSquares, GetParam().fa, 1e-12 * GetParam().fa);
  EXPECT_NEAR(FeTheLongWay(*ped, ref), GetParam().fe, 1e-12 * GetParam().fe);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FaAboveFe,
    testing::Values(
        // The fewest animals with fa above fe: a member that is a parent of
        // the other two. Genes of X, Y, Z from P: 1/2, 3/4, 3/8; from Q:
        // 1/2, 1/4, 5/8. c = 13/24 and 11/24, fe = 288/145. p: X 7/12
        // (its own third and 3/4 of Y's), P 13/24, Q 11/24, Y 1/2, Z 1/3.
        // X first; then P (as Y's sire: half of Y, a quarter of Z), Y
        // (p 1/2, half explained) and Z (3/4 of its third unexplained) tie
        // at 1/4, P by its code; then Q and Z (half of its third) at 1/6,
        // Q by its code. fa = 144 / (49 + 9 + 4) = 72/31.
        FaAboveFeCase{"AMemberIsTheParentOfOthers",
                      "progeny sire dam group\nP 0 0 0\nQ 0 0 0\nX P Q 1\nY P X 1\nZ Y Q 1\n",
                      "X 0.583333; P 0.250000; Q 0.166667; ", 288.0 / 145.0, 72.0 / 31.0},
        // No member is an ancestor of the other, but A is mated to her sire
        // and to her son. X has 5/8 of its genes from P, Y 1/2: c = 9/16
        // and 7/16, fe = 128/65. A carries 3/4 of X and 1/2 of Y, p =
        // 5/8, above P's 9/16; then P (around A, through C and B) 1/4 and Q
        // (through B) 1/8. fa = 64 / (25 + 4 + 1) = 32/15.
        FaAboveFeCase{"AnAncestorMatedToItsDescendants",
                      "progeny sire dam group\nP 0 0 0\nQ 0 0 0\nA P Q 0\nB P Q 0\nC P A 0\n"
                      "X C A 1\nY B A 1\n",
                      "A 0.625000; P 0.250000; Q 0.125000; ", 128.0 / 65.0, 32.0 / 15.0},
        // No animal is mated to its ancestor, but M is mated to her
        // brothers: X3's sire is unknown, so S and D have 7/16 each, fe =
        // 256/98. M carries half of every member, p = 1/2; then B1, sire
        // of two, 1/4 (above S's and D's 3/16); then B2 and X3's unknown
        // half, 1/8 each. fa = 64 / (16 + 4 + 1 + 1) = 32/11.
        FaAboveFeCase{"SibsMated",
                      "progeny sire dam group\nS 0 0 0\nD 0 0 0\nB1 S D 0\nB2 S D 0\nM S D 0\n"
                      "X1 B1 M 1\nX2 B2 M 1\nX3 0 M 1\nX4 B1 M 1\n",
                      "M 0.500000; B1 0.250000; B2 0.125000; X3 0.125000; ", 256.0 / 98.0,
                      32.0 / 11.0},
        // A birth group with no member among the ancestors and no
        // relatives mated. Y (full sib of B1 and B2) is chosen for the
        // genes of S and D it carries, which reach X and Z through B2 and
        // B1 as well. S and D have 7/24 each (Z's unknown grandparent
        // 1/12), T 1/3: fe = 576/162. T, X, Y, Z tie at 1/3, T by its
        // code; then Y 1/3 (X and Z half explained, 1/6); then B2, C, X
        // and Z at 1/6, B2 and then C by their codes. fa = 36 / 10.
        FaAboveFeCase{"NoMemberAmongTheAncestorsNorRelativesMated",
                      "progeny sire dam group\nS 0 0 0\nD 0 0 0\nT 0 0 0\nB1 S D 0\nB2 S D 0\n"
                      "C B1 0 0\nX B2 T 1\nY S D 1\nZ C T 1\n",
                      "T 0.333333; Y 0.333333; B2 0.166667; C 0.166667; ", 576.0 / 162.0,
                      36.0 / 10.0}),
    [](const testing::TestParamInfo<FaAboveFeCase>& row) { return row.param.name; });

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

// The quick route against the plain one on the same search: the same
// ancestors with the same bits, the same fa and bounds, whole searches and
// searches stopped early (whose bounds come from the candidates left).
void ExpectTheBitsOfThePlainRoute(const Pedigree& ped, const AncestorSubset& subset,
                                  const ReferencePopulation& ref, int rounds,
                                  const std::string& what) {
  const auto BitsOf = [](double x) { return std::bit_cast<std::uint64_t>(x); };
  EffectiveAncestors quick, plain;
  ASSERT_TRUE(FindEffectiveAncestors(ped, subset, ref, nullptr, quick, rounds));
  ASSERT_TRUE(FindEffectiveAncestors(ped, subset, ref, nullptr, plain, rounds, true));
  ASSERT_EQ(quick.chosen.size(), plain.chosen.size()) << what;
  for (std::size_t i = 0; i < plain.chosen.size(); ++i) {
    EXPECT_EQ(quick.chosen[i].rec, plain.chosen[i].rec) << what << " " << i;
    EXPECT_EQ(BitsOf(quick.chosen[i].contribution), BitsOf(plain.chosen[i].contribution))
        << what << " " << i;
  }
  EXPECT_EQ(BitsOf(quick.fa), BitsOf(plain.fa)) << what;
  EXPECT_EQ(BitsOf(quick.faLower), BitsOf(plain.faLower)) << what;
  EXPECT_EQ(BitsOf(quick.explained), BitsOf(plain.explained)) << what;
  EXPECT_EQ(quick.halfExplainedBy, plain.halfExplainedBy) << what;
  EXPECT_EQ(quick.stoppedAtLimit, plain.stoppedAtLimit) << what;
}

std::vector<RecIndex> MembersOf(const Pedigree& ped, const ReferencePopulation& ref) {
  std::vector<RecIndex> members;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (ref.byCode[static_cast<std::size_t>(code)] != 0)
      members.push_back(ped.records[static_cast<std::size_t>(code - 1)]);
  return members;
}

// The quick route remembers the explained shares between rounds, passes
// choices up late and stops once no gene is left unexplained; the plain
// route traces every share and every choice afresh and looks at every
// candidate left. On shallow pedigrees (the quick route throughout), on
// deep ones (where it traces as the plain one does) and in between, for
// every group and for all individuals.
TEST(EffectiveNumberOfAncestors, TheQuickRouteGivesTheBitsOfThePlainRoute) {
  int deep = 0, compared = 0;
  for (std::uint64_t seed = 1; seed <= 120; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 400);
    options.groupColumn = true;
    const test::RandomPedigree made = test::MakeRandomPedigree(options);
    auto ped = Loaded(made.text);
    deep += made.maxGeneration > 52;
    std::vector<int> references = GroupNumbers(*ped);
    references.push_back(kAllIndividuals);
    for (const int group : references) {
      const ReferencePopulation ref = Reference(*ped, group);
      const AncestorSubset subset = BuildAncestorSubset(*ped, MembersOf(*ped, ref));
      for (const int rounds : {kMaxAncestorRounds, 3, 40}) {
        ExpectTheBitsOfThePlainRoute(*ped, subset, ref, rounds,
                                     "seed " + std::to_string(seed) + " group " +
                                         std::to_string(group) + " rounds " + std::to_string(rounds));
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 600);
  EXPECT_GT(deep, 0);
}

// A herd book from the benchmarks' generator, birth years as groups, with
// its inbreeding computed.
std::unique_ptr<Pedigree> HerdBook(std::int64_t individuals, std::uint64_t seed) {
  bench::GeneratorOptions options;
  options.individuals = individuals;
  options.seed = seed;
  const test::TempFile file("");
  bench::GeneratorSummary summary;
  std::string error;
  EXPECT_TRUE(bench::GeneratePedigreeFile(options, file.path(), summary, error)) << error;
  auto ped = std::make_unique<Pedigree>();
  SilentProgressWindow window;
  Progress progress(window);
  EXPECT_EQ(LoadPedigree(file.path(), *ped, progress).status, LoadStatus::kLoaded);
  EXPECT_TRUE(ComputeInbreeding(*ped, progress));
  return ped;
}

// A herd book's shape: thousands of young animals with an unknown parent,
// whose choices pass up through the same sires, chosen one after another.
TEST(EffectiveNumberOfAncestors, TheQuickRouteGivesTheBitsOfThePlainRouteInAHerdBook) {
  const auto ped = HerdBook(12000, 5);
  std::vector<int> references = GroupNumbers(*ped);
  ASSERT_GT(references.size(), 3u);
  references.erase(references.begin() + 1, references.end() - 2);  // the oldest and the latest
  references.push_back(kAllIndividuals);
  for (const int group : references) {
    const ReferencePopulation ref = Reference(*ped, group);
    const AncestorSubset subset = BuildAncestorSubset(*ped, MembersOf(*ped, ref));
    for (const int rounds : {kMaxAncestorRounds, 700})
      ExpectTheBitsOfThePlainRoute(*ped, subset, ref, rounds,
                                   "group " + std::to_string(group) + " rounds " + std::to_string(rounds));
  }
}

// Every figure of two summaries, bit for bit; the first that differs.
std::string FirstDifference(const DiversitySummary& a, const DiversitySummary& b) {
  const auto BitsOf = [](double x) { return std::bit_cast<std::uint64_t>(x); };
  const std::tuple<const char*, double, double> figures[] = {
      {"members", a.members, b.members},
      {"mean equivalent", a.meanEquivalent, b.meanEquivalent},
      {"mean fully traced", a.meanFullyTraced, b.meanFullyTraced},
      {"mean maximum", a.meanMaximum, b.meanMaximum},
      {"completeness", a.completeness, b.completeness},
      {"fe", a.founders.fe, b.founders.fe},
      {"founders contributing", a.founders.contributing, b.founders.contributing},
      {"fa", a.ancestors.fa, b.ancestors.fa},
      {"fa lower", a.ancestors.faLower, b.ancestors.faLower},
      {"explained", a.ancestors.explained, b.ancestors.explained},
      {"half explained by", a.ancestors.halfExplainedBy, b.ancestors.halfExplainedBy},
      {"chosen", static_cast<double>(a.ancestors.chosen.size()),
       static_cast<double>(b.ancestors.chosen.size())},
      {"fg", a.fg, b.fg},
      {"mean F", a.meanF, b.meanF},
      {"mean coancestry", a.meanCoancestry, b.meanCoancestry},
      {"Ne", a.ne.ne, b.ne.ne},
      {"standard error of Ne", a.ne.standardError, b.ne.standardError},
      {"left out of Ne", a.ne.leftOut, b.ne.leftOut},
      {"interval pairs", static_cast<double>(a.intervals[kOverall].pairs),
       static_cast<double>(b.intervals[kOverall].pairs)},
      {"interval", a.intervals[kOverall].years, b.intervals[kOverall].years},
      {"interval sd", a.intervals[kOverall].sd, b.intervals[kOverall].sd}};
  for (const auto& [name, x, y] : figures)
    if (BitsOf(x) != BitsOf(y)) return std::string(name) + ": " + std::to_string(x) + " against " + std::to_string(y);
  return "";
}

// Random pedigrees of up to `maxSize` individuals with a Group column, the
// first `seeds` of them that load with groups, each handed to `check` with
// the seed that made it.
void ForEachPedigreeWithGroups(std::uint64_t seeds, int maxSize,
                               const std::function<void(Pedigree&, std::uint64_t)>& check) {
  for (std::uint64_t seed = 1; seed <= seeds; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, maxSize);
    options.groupColumn = true;
    const auto ped = Loaded(test::MakeRandomPedigree(options).text);
    if (!ped->groups.empty()) check(*ped, seed);
  }
}

// The reference's search and its other figures beside the groups'
// searches, on one worker or two, against the two computations one after
// the other: the same bits, also in the row of the reference's own group,
// which takes its fa from the reference's search.
TEST(DiversityGroupTable, TheReferenceSearchedBesideTheGroupsGivesTheSameBits) {
  const auto BitsOf = [](double x) { return std::bit_cast<std::uint64_t>(x); };
  int compared = 0;
  ForEachPedigreeWithGroups(40, 300, [&](Pedigree& ped, std::uint64_t seed) {
    const GenerationDepths depths = TraceGenerations(ped);
    std::vector<int> references = GroupNumbers(ped);
    references.push_back(kAllIndividuals);
    for (const int group : references) {
      SilentProgressWindow window;
      Progress progress(window);
      const ReferencePopulation ref = Reference(ped, group);
      DiversitySummary apart;
      std::vector<GroupTrend> apartRows;
      ASSERT_TRUE(ComputeDiversity(ped, ref, depths, progress, apart));
      ASSERT_TRUE(ComputeGroupTrends(ped, depths, progress, 50, 100, apartRows));
      for (const int threads : {1, 2}) {
        ped.settings.threads = threads;
        const std::string what =
            "seed " + std::to_string(seed) + " group " + std::to_string(group) + " threads " +
            std::to_string(threads);
        DiversitySummary together;
        std::vector<GroupTrend> rows;
        ASSERT_TRUE(ComputeDiversityAndTrends(ped, ref, depths, progress, together, rows));
        EXPECT_EQ(FirstDifference(together, apart), "") << what;
        EXPECT_EQ(together.groupNumber, apart.groupNumber) << what;
        ASSERT_EQ(rows.size(), apartRows.size()) << what;
        for (std::size_t i = 0; i < rows.size(); ++i) {
          EXPECT_EQ(rows[i].group, apartRows[i].group) << what;
          EXPECT_EQ(BitsOf(rows[i].fa), BitsOf(apartRows[i].fa)) << what << " row " << i;
          EXPECT_EQ(BitsOf(rows[i].faLower), BitsOf(apartRows[i].faLower)) << what << " row " << i;
          EXPECT_EQ(rows[i].faSearched, apartRows[i].faSearched) << what << " row " << i;
          EXPECT_EQ(BitsOf(rows[i].fe), BitsOf(apartRows[i].fe)) << what << " row " << i;
          EXPECT_EQ(BitsOf(rows[i].meanF), BitsOf(apartRows[i].meanF)) << what << " row " << i;
          EXPECT_EQ(BitsOf(rows[i].completeness), BitsOf(apartRows[i].completeness)) << what << " row " << i;
          EXPECT_EQ(BitsOf(rows[i].meanEquivalent), BitsOf(apartRows[i].meanEquivalent)) << what << " row " << i;
          EXPECT_EQ(BitsOf(rows[i].ne), BitsOf(apartRows[i].ne)) << what << " row " << i;
        }
        ++compared;
      }
      ped.settings.threads = 0;
    }
  });
  EXPECT_GT(compared, 40);
}

// What the greedy choice promises whatever the shape of the reference: the
// marginal contributions come out largest first (choosing an ancestor only
// lowers the others'), each above 0, and, with q1 the first and n the
// number chosen, 1/q1 <= fa <= n, both bounds of a sum of squares of shares
// adding up to 1. Deep pedigrees too, where no bits are compared with the
// search done the long way.
TEST(EffectiveNumberOfAncestors, ChoosesTheLargestContributionsFirst) {
  int searched = 0;
  for (std::uint64_t seed = 1; seed <= 120; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 400);
    options.groupColumn = true;
    const auto ped = Loaded(test::MakeRandomPedigree(options).text);
    std::vector<int> references = GroupNumbers(*ped);
    references.push_back(kAllIndividuals);
    for (const int group : references) {
      const std::string what = "seed " + std::to_string(seed) + " group " + std::to_string(group);
      const EffectiveAncestors a = Summarize(*ped, group).ancestors;
      ASSERT_FALSE(a.chosen.empty()) << what;
      ASSERT_FALSE(a.stoppedAtLimit) << what;
      for (std::size_t i = 0; i < a.chosen.size(); ++i) {
        EXPECT_GT(a.chosen[i].contribution, 0.0) << what << " " << i;
        if (i > 0) {
          EXPECT_LE(a.chosen[i].contribution, a.chosen[i - 1].contribution * (1 + 1e-12))
              << what << " " << i;
        }
      }
      const double first = a.chosen.front().contribution;
      EXPECT_LE(1 / first, a.fa * (1 + 1e-12)) << what;
      EXPECT_LE(a.fa, static_cast<double>(a.chosen.size()) * (1 + 1e-12)) << what;
      EXPECT_NEAR(a.explained, 1.0, 1e-9) << what;
      ++searched;
    }
  }
  EXPECT_GT(searched, 300);
}

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
    test::SpreadGroups(*ped, seed);
    const GenerationDepths depths = TraceGenerations(*ped);
    SilentProgressWindow window;
    Progress progress(window);
    std::vector<GroupTrend> rows;
    ASSERT_TRUE(ComputeGroupTrends(*ped, depths, progress, 0, 100, rows));
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

EffectiveAncestors Search(Pedigree& ped, const ReferencePopulation& ref, int maxRounds) {
  const std::vector<RecIndex> members = [&] {
    std::vector<RecIndex> m;
    for (std::int32_t code = 1; code <= ped.nTotal; ++code)
      if (ref.byCode[static_cast<std::size_t>(code)] != 0) m.push_back(ped.records[static_cast<std::size_t>(code - 1)]);
    return m;
  }();
  EffectiveAncestors a;
  EXPECT_TRUE(FindEffectiveAncestors(ped, BuildAncestorSubset(ped, members), ref, nullptr, a, maxRounds));
  return a;
}

// A search stopped after a few rounds brackets the fa of the search carried
// to the end, on many random pedigrees and every reference of theirs.
TEST(EffectiveNumberOfAncestors, AStoppedSearchBracketsTheFullSearch) {
  int stopped = 0, exact = 0;
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 80);
    options.groupColumn = true;
    auto ped = Loaded(test::MakeRandomPedigree(options).text);
    std::vector<int> references = GroupNumbers(*ped);
    references.push_back(kAllIndividuals);
    for (const int group : references) {
      const ReferencePopulation ref = Reference(*ped, group);
      const EffectiveAncestors full = Search(*ped, ref, kMaxAncestorRounds);
      ASSERT_FALSE(full.stoppedAtLimit);
      EXPECT_EQ(full.fa, full.faLower);
      for (const int limit : {1, 2, 3, 5, 8}) {
        const EffectiveAncestors a = Search(*ped, ref, limit);
        const std::string what = "seed " + std::to_string(seed) + " group " + std::to_string(group) +
                                 " limit " + std::to_string(limit);
        if (!a.stoppedAtLimit) continue;
        ++stopped;
        EXPECT_LE(a.faLower, a.fa) << what;
        EXPECT_LE(a.faLower, full.fa * (1 + 1e-12)) << what;
        EXPECT_GE(a.fa, full.fa * (1 - 1e-12)) << what;
        if (FaIsExact(a)) {
          ++exact;
          EXPECT_NEAR(a.fa, full.fa, 1e-6 * full.fa) << what;
        }
      }
    }
  }
  EXPECT_GT(stopped, 200);
  EXPECT_GT(exact, 0);
}

struct StoppedSearchRow {
  const char* name;
  std::string text;
  int limit;
  double faLower, fa;  // the bounds worked by hand
};

// Unrelated members: once the first ancestors are chosen every bound left
// is 1/m, so the bounds meet at m. Two sires: after the first the other's
// 1/2 is left on one bound of 1/2 or spread over its progeny.
TEST(EffectiveNumberOfAncestors, StoppedSearchesGiveTheBoundsWorkedByHand) {
  std::string unrelated = "progeny sire dam group\n";
  for (int i = 0; i < 1500; ++i) unrelated.append("A").append(std::to_string(10000 + i)).append(" 0 0 1\n");
  const StoppedSearchRow rows[] = {
      {"1500 unrelated members stopped after 1000", unrelated, 1000, 1500.0, 1500.0},
      // S and T each sire two of the four members; the dams are unknown.
      // Round 1 takes S (q = 1/4, squares 1/16); 3/4 is left over T and
      // the four members, each bounded by 1/4: at least 5 (3/20)^2 = 9/80
      // spread evenly, at most 3 (1/4)^2 = 3/16 on three of them. The full
      // search gives 16/3 between.
      {"Two sires", "progeny sire dam group\nS 0 0 0\nT 0 0 0\nX1 S 0 1\nX2 S 0 1\nY1 T 0 1\nY2 T 0 1\n", 1,
       4.0, 80.0 / 14.0},
  };
  for (const StoppedSearchRow& row : rows) {
    auto ped = Loaded(row.text);
    const EffectiveAncestors a = Search(*ped, Reference(*ped, 1), row.limit);
    EXPECT_TRUE(a.stoppedAtLimit) << row.name;
    EXPECT_EQ(a.chosen.size(), static_cast<std::size_t>(row.limit)) << row.name;
    EXPECT_NEAR(a.faLower, row.faLower, 1e-9 * row.fa) << row.name;
    EXPECT_NEAR(a.fa, row.fa, 1e-9 * row.fa) << row.name;
  }
}

// The report marks a bound and gives the lower one; bounds that meet are
// shown as the figure.
TEST(EffectiveNumberOfAncestors, TheReportShowsABoundAsABound) {
  auto ped = Loaded("progeny sire dam group\nS 0 0 0\nT 0 0 0\nX1 S 0 1\nX2 S 0 1\nY1 T 0 1\nY2 T 0 1\n");
  ped->settings.numberFormat = 4;
  DiversitySummary s = Summarize(*ped, 1);
  s.ancestors = Search(*ped, Reference(*ped, 1), 1);
  ASSERT_TRUE(ped->copyFile.Create());
  WriteDiversityReport(*ped, s, {});
  const std::vector<std::string> lines = test::ReportLines(*ped);
  const std::vector<std::string> want = {
      "Founder equivalent (fe)|T3|I8.000", "Effective number of ancestors (fa)|T3|I<=5.714",
      "Founder genome equivalent (fg)|T3|I3.200", "fa / fe|T3|I<=0.714",
      "Ancestors explaining 50 % of the genes|T3|I>100000",
      "Stopped after 100000 rounds, genes unexplained|T3|I0.750",
      "Effective number of ancestors (fa), lower bound|T3|I4.000"};
  ASSERT_GE(lines.size(), 17u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 10, lines.begin() + 17), want);
  const ResultTable& summary = *ped->report.tables().Find("summary");
  test::ExpectSummaryMatchesReport(lines, summary);
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
  Document& doc = s.doc;
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
      std::string(106, '-'), "1|T5|I2|T40|T40|T42|T42|T4-", "2|T5|I2|T40|T41|T42|T42|T4-",
      "3|T5|I2|T41/4|T42|T42|T42|T42", std::string(106, '-'),
      "-: not estimable (no member traced over 1 generation, or no increase in inbreeding)"};
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

namespace kinvar {
namespace {

struct NotEstimableRow {
  const char* name;
  const char* text;
  int group;
  const char* ne;
  const char* standardError;
};

double SummaryValue(const ResultTable& summary, const std::string& label) {
  for (std::size_t i = 0; i < summary.rows(); ++i)
    if (summary.column(0).Text(i) == label) return summary.column(1).Real(i);
  ADD_FAILURE() << "no figure " << label;
  return 0.0;
}

// A figure the data cannot give says why in words, and its table value is
// missing.
TEST(DiversityCommand, SaysInWordsWhyNeCannotBeEstimated) {
  const NotEstimableRow rows[] = {
      {"a group of founders", "progeny sire dam group\nA 0 0 1\nB 0 0 1\n", 1,
       "not estimable: no individual traced over 1 generation",
       "not estimable: no individual traced over 1 generation"},
      {"two generations known, no inbreeding",
       "progeny sire dam group\nA 0 0 0\nB 0 0 0\nC 0 0 0\nE 0 0 0\nS A B 0\nD C E 0\nX S D 1\n", 1,
       "not estimable: no increase in inbreeding", "not estimable: no increase in inbreeding"},
      {"one individual with a rate", "progeny sire dam group\nP 0 0 0\nQ 0 0 0\nS P Q 0\nD P Q 0\nX S D 1\n", 1,
       "2", "not estimable: 1 individual traced over 1 generation"},
  };
  for (const NotEstimableRow& row : rows) {
    test::DocSession s(row.text);
    s.doc.settings().numberFormat = 1;
    s.platform.groupChoices.push_back(row.group);
    ASSERT_TRUE(s.doc.RunCommand(kCmdDiversity)) << row.name;
    const std::vector<std::string> lines = s.Report();
    const auto at = std::find(lines.begin(), lines.end(), std::string("Effective population size (Ne)|T3|I") + row.ne);
    ASSERT_NE(at, lines.end()) << row.name;
    EXPECT_EQ(*(at + 1), std::string("Standard error of Ne|T3|I") + row.standardError) << row.name;
    const ResultTable& summary = *s.doc.pedigree().report.tables().Find("summary");
    EXPECT_TRUE(std::isnan(SummaryValue(summary, "Standard error of Ne"))) << row.name;
    EXPECT_EQ(std::isnan(SummaryValue(summary, "Effective population size (Ne)")), row.ne[0] == 'n') << row.name;
    test::ExpectSummaryMatchesReport(lines, summary);
    for (const std::string& line : lines) EXPECT_EQ(line.find("nan"), std::string::npos) << row.name << ": " << line;
  }
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

struct FaGroupsRow {
  const char* name;
  std::int64_t faGroups;
  std::vector<std::string> trendLines;  // the table's rows and what follows them
};

std::vector<std::string> TrendLines(const std::vector<std::string>& report) {
  const auto rule = std::find(report.begin(), report.end(), std::string(106, '-'));
  return rule == report.end() ? std::vector<std::string>{} : std::vector<std::string>(rule + 1, report.end());
}

std::vector<GroupTrend> TrendsOf(Pedigree& ped, std::int64_t faGroups) {
  SilentProgressWindow window;
  Progress progress(window);
  std::vector<GroupTrend> rows;
  EXPECT_TRUE(ComputeGroupTrends(ped, TraceGenerations(ped), progress, 0, 100, rows, faGroups));
  return rows;
}

// The table searches for fa in at most so many groups, the first ones:
// beyond them fa is "-" and missing from the table, a line under the table
// names the limit, the number of groups and where fa stops, and every other
// figure is the one of a table searched throughout; at the limit nothing is
// left out.
TEST(DiversityGroupTable, SearchesForFaInAtMostTheGroupsOfTheLimit) {
  const std::string rule(106, '-');
  const std::string neLegend =
      "-: not estimable (no member traced over 1 generation, or no increase in inbreeding)";
  const FaGroupsRow rows[] = {
      {"one group more than the limit", 2,
       {"1|T5|I2|T40|T40|T42|T42|T4-", "2|T5|I2|T40|T41|T42|T42|T4-", "3|T5|I2|T41/4|T42|T42|T4-|T42", rule,
        neLegend, "There are 3 groups; fa is searched for in at most 2 groups, and shows - from group 3 on."}},
      {"no group searched", 0,
       {"1|T5|I2|T40|T40|T42|T4-|T4-", "2|T5|I2|T40|T41|T42|T4-|T4-", "3|T5|I2|T41/4|T42|T42|T4-|T42", rule,
        neLegend, "There are 3 groups; fa is searched for in at most 0 groups, and shows - from group 1 on."}},
      {"as many groups as the limit", 3,
       {"1|T5|I2|T40|T40|T42|T42|T4-", "2|T5|I2|T40|T41|T42|T42|T4-", "3|T5|I2|T41/4|T42|T42|T42|T42", rule,
        neLegend}},
      {"fewer groups than the limit", kMaxFaGroups,
       {"1|T5|I2|T40|T40|T42|T42|T4-", "2|T5|I2|T40|T41|T42|T42|T4-", "3|T5|I2|T41/4|T42|T42|T42|T42", rule,
        neLegend}},
  };
  const auto ped = Loaded(kFamily);
  ped->settings.numberFormat = 0;
  const std::vector<GroupTrend> full = TrendsOf(*ped, 1000);
  for (const FaGroupsRow& row : rows) {
    const std::vector<GroupTrend> trends = TrendsOf(*ped, row.faGroups);
    WriteDiversityReport(*ped, Summarize(*ped, kAllIndividuals), trends);
    EXPECT_EQ(TrendLines(test::ReportLines(*ped)), row.trendLines) << row.name;
    const ResultTable& table = *ped->report.tables().Find("groups");
    ASSERT_EQ(trends.size(), full.size()) << row.name;
    ASSERT_EQ(table.rows(), full.size()) << row.name;
    for (std::size_t i = 0; i < full.size(); ++i) {
      const bool searched = static_cast<std::int64_t>(i) < row.faGroups;
      const GroupTrend& got = trends[i];
      const GroupTrend& want = full[i];
      EXPECT_EQ(got.faSearched, searched) << row.name << " row " << i;
      EXPECT_EQ(table.Find("fa")->Missing(i), !searched) << row.name << " row " << i;
      EXPECT_EQ(table.Find("fa_lower")->Missing(i), !searched) << row.name << " row " << i;
      if (searched) {
        EXPECT_EQ(Bits(got.fa), Bits(want.fa)) << row.name << " row " << i;
      }
      for (const auto& [name, a, b] : {std::tuple{"mean F", got.meanF, want.meanF},
                                       {"equivalent generations", got.meanEquivalent, want.meanEquivalent},
                                       {"completeness", got.completeness, want.completeness},
                                       {"fe", got.fe, want.fe},
                                       {"Ne", got.ne, want.ne},
                                       {"delta F", got.deltaF, want.deltaF}})
        EXPECT_EQ(Bits(a), Bits(b)) << row.name << " row " << i << ", " << name;
    }
  }
}

// The rows without a search still poll for a cancel, so that a table of very
// many groups stops when the user asks.
// A cancel seen by the calling thread stops the searches on every worker,
// the reference's among them.
TEST(DiversityGroupTable, ACancelStopsTheSearchesOnEveryWorker) {
  const auto ped = Loaded(test::MakeRandomPedigree([] {
                            test::RandomPedigreeOptions o = test::VariedOptions(3, 300);
                            o.groupColumn = true;
                            return o;
                          }()).text);
  ASSERT_FALSE(ped->groups.empty());
  for (const int threads : {1, 2}) {
    ped->settings.threads = threads;
    test::CancelAtPoll window;
    Progress progress(window);
    DiversitySummary summary;
    std::vector<GroupTrend> rows;
    EXPECT_FALSE(ComputeDiversityAndTrends(*ped, WholeReference(*ped), TraceGenerations(*ped),
                                           progress, summary, rows))
        << threads << " threads";
  }
}

TEST(DiversityGroupTable, TheRowsWithoutASearchStopOnACancel) {
  const auto ped = Loaded(kFamily);
  for (const std::int64_t faGroups : {std::int64_t{0}, std::int64_t{2}, kMaxFaGroups}) {
    test::CancelAtPoll window;
    Progress progress(window);
    std::vector<GroupTrend> rows;
    EXPECT_FALSE(ComputeGroupTrends(*ped, TraceGenerations(*ped), progress, 0, 100, rows, faGroups))
        << faGroups << " groups searched";
  }
}

// fa done the long way (every round recomputes every p and every explained
// share): with sums that are exact, the same q bit for bit, and fa summed as
// the search sums it.
double FaTheLongWay(const Pedigree& ped, const ReferencePopulation& ref) {
  double sumOfSquares = 0.0;
  for (const auto& [code, q] : BruteForceAncestors(ped, ref)) sumOfSquares += q * q;
  return 1.0 / sumOfSquares;
}

// The table's rows and the summary of a reference beside them, on one
// worker or two, against each group (and the reference) computed on its
// own over the whole pedigree: fa the long way, fe by gene origin's pass
// over every individual. Random pedigrees, then a herd book's shape: birth
// years of a few hundred animals, a few sires, a trickle of unknown parents.
void ExpectRowsOfTheLongWay(Pedigree& ped, const std::string& where) {
  const auto BitsOf = [](double x) { return std::bit_cast<std::uint64_t>(x); };
  const GenerationDepths depths = TraceGenerations(ped);
  std::vector<double> fa, fe;
  for (const std::int32_t group : ped.groupOrder) {
    const ReferencePopulation ref = GroupReference(ped, group);
    fa.push_back(FaTheLongWay(ped, ref));
    fe.push_back(SummarizeFounders(ped, ref).fe);
  }
  std::vector<int> references = {kAllIndividuals, ped.groups[static_cast<std::size_t>(ped.groupOrder.back())].group};
  for (const int reference : references) {
    const ReferencePopulation ref = Reference(ped, reference);
    const double referenceFa = FaTheLongWay(ped, ref);
    for (const int threads : {1, 2}) {
      ped.settings.threads = threads;
      const std::string what = where + " reference " + std::to_string(reference) + " threads " +
                               std::to_string(threads);
      SilentProgressWindow window;
      Progress progress(window);
      DiversitySummary summary;
      std::vector<GroupTrend> rows;
      ASSERT_TRUE(ComputeDiversityAndTrends(ped, ref, depths, progress, summary, rows)) << what;
      EXPECT_EQ(BitsOf(summary.ancestors.fa), BitsOf(referenceFa)) << what;
      EXPECT_EQ(BitsOf(summary.founders.fe), BitsOf(SummarizeFounders(ped, ref).fe)) << what;
      ASSERT_EQ(rows.size(), fa.size()) << what;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(BitsOf(rows[i].fa), BitsOf(fa[i])) << what << " row " << i;
        EXPECT_EQ(BitsOf(rows[i].fe), BitsOf(fe[i])) << what << " row " << i;
      }
    }
  }
  ped.settings.threads = 0;
}

std::int32_t LongestAncestralPath(const Pedigree& ped) {
  std::int32_t longest = 0;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    longest = std::max(longest, ped.byCode(code - 1).generation);
  return longest;
}

TEST(DiversityGroupTable, RowsAndSummaryAreThoseDoneTheLongWay) {
  int compared = 0;
  ForEachPedigreeWithGroups(30, 200, [&](Pedigree& ped, std::uint64_t seed) {
    // Deeper, the sums are no longer exact: no bits to compare.
    if (LongestAncestralPath(ped) > 52) return;
    ExpectRowsOfTheLongWay(ped, "seed " + std::to_string(seed));
    ++compared;
  });
  EXPECT_GT(compared, 15);
}

TEST(DiversityGroupTable, RowsAndSummaryAreThoseDoneTheLongWayInAHerdBook) {
  const auto ped = HerdBook(3000, 7);
  ASSERT_GT(ped->groups.size(), 10u);
  ExpectRowsOfTheLongWay(*ped, "herd book");
}

}  // namespace
}  // namespace kinvar
