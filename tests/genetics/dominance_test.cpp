// Dominance relationships against the formula applied to the tabular A
// built in the test, their inverse against the identity, the filter of
// small values and the refusal of a D that is not positive definite.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "analyses/relationship_listings.h"
#include "genetics/dominance.h"
#include "genetics/inbreeding.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DenseMatrix;

struct Built {
  DominanceBuild<float> build;
  std::int64_t reportedNonZero = -1;
};

Built Build(Pedigree& ped, std::vector<RecIndex> members, bool inverse, double minValue = 0.0) {
  SilentProgressWindow window;
  Progress progress(window);
  Built out;
  const DominanceRequest request{std::move(members), inverse, minValue};
  out.build = BuildDominance(ped, ped.d, request, [&](std::int64_t n, std::int32_t) { out.reportedNonZero = n; },
                             progress);
  return out;
}

std::vector<RecIndex> Everybody(const Pedigree& ped) {
  return {ped.records.begin(), ped.records.begin() + ped.nTotal};
}

// d(i, j) by the formula over the tabular A, codes 0-based.
double Expected(const Pedigree& ped, const DenseMatrix& a, std::int32_t i, std::int32_t j) {
  if (i == j) return 1.0;
  const auto parent = [&](std::int32_t k, bool sire) {
    const Rec& r = ped.byCode(k);
    return ped.rec(sire ? r.sire : r.dam).code - 1;
  };
  const auto rel = [&](std::int32_t x, std::int32_t y) {
    return x < 0 || y < 0 ? 0.0 : a(static_cast<std::size_t>(x), static_cast<std::size_t>(y));
  };
  const std::int32_t si = parent(i, true), di = parent(i, false), sj = parent(j, true), dj = parent(j, false);
  return 0.25 * (rel(si, sj) * rel(di, dj) + rel(si, dj) * rel(di, sj));
}

std::int32_t Code(Pedigree& ped, const char* id) {
  std::string typed = id;
  const RecIndex r = FindTypedId(ped, typed);
  EXPECT_NE(r, kUnknownParent) << id;
  return ped.rec(r).code - 1;
}

float At(const BasicSparseLower<float>& m, std::int32_t i, std::int32_t j) {
  return i >= j ? m.At(i, j) : m.At(j, i);
}

TEST(Dominance, KinshipsWorkedByHand) {
  struct Row {
    const char* name;
    const char* x;
    const char* y;
    float expected;
  };
  // A and B's progeny S1, D1 (full sibs) and H (half sib by A and G); C and
  // E's progeny S2, D2, D3. X = S1 x D2 and Y = S2 x D1 are double first
  // cousins; Z = S1 x D3 is X's half sib whose other parents are full sibs.
  const char* text =
      "Progeny Sire Dam\nA 0 0\nB 0 0\nC 0 0\nE 0 0\nG 0 0\nS1 A B\nD1 A B\nH A G\nS2 C E\nD2 C E\n"
      "D3 C E\nX S1 D2\nY S2 D1\nZ S1 D3\n";
  const Row rows[] = {
      {"FullSibs", "S1", "D1", 0.25f},     {"DoubleFirstCousins", "X", "Y", 0.0625f},
      {"HalfSibs", "S1", "H", 0.0f},       {"ParentOffspring", "S1", "X", 0.0f},
      {"Founders", "A", "B", 0.0f},        {"Diagonal", "X", "X", 1.0f},
      {"AuntAndNephew", "D1", "X", 0.0f},  {"HalfSibsOfFullSibDams", "X", "Z", 0.125f},
  };
  const auto ped = test::Loaded(text);
  const Built built = Build(*ped, Everybody(*ped), false);
  ASSERT_EQ(built.build.status, DominanceStatus::kDone);
  for (const Row& row : rows)
    EXPECT_EQ(At(built.build.matrix, Code(*ped, row.x), Code(*ped, row.y)), row.expected) << row.name;
}

// Every element of D, over all individuals and over one group, against the
// formula on the tabular A: deep and shallow pedigrees, some inbred, some
// with predefined F.
TEST(Dominance, AgreesWithTheFormulaOnTheTabularA) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 120);
    options.groupColumn = seed % 2 == 0;
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    const auto ped = test::Loaded(random.text);
    const DenseMatrix a = test::TabularA(*ped);
    std::vector<std::vector<RecIndex>> sets = {Everybody(*ped)};
    if (!ped->groups.empty()) sets.push_back(GroupMembers(*ped, ped->groups.front().group));
    for (const auto& members : sets) {
      const Built built = Build(*ped, members, false);
      ASSERT_EQ(built.build.status, DominanceStatus::kDone) << seed;
      const BasicSparseLower<float>& d = built.build.matrix;
      std::vector<char> chosen(static_cast<std::size_t>(ped->nTotal), 0);
      for (const RecIndex r : members) chosen[static_cast<std::size_t>(ped->rec(r).code - 1)] = 1;
      double worst = 0.0;
      for (std::int32_t i = 0; i < ped->nTotal; ++i) {
        if (chosen[static_cast<std::size_t>(i)] == 0) {
          EXPECT_TRUE(d.Row(i).empty()) << "seed " << seed << " row " << i;
          continue;
        }
        for (const auto& e : d.Row(i)) EXPECT_EQ(chosen[static_cast<std::size_t>(e.column)], 1) << seed;
        for (std::int32_t j = 0; j <= i; ++j)
          if (chosen[static_cast<std::size_t>(j)] != 0)
            worst = std::max(worst, std::fabs(static_cast<double>(d.At(i, j)) - Expected(*ped, a, i, j)));
      }
      EXPECT_LE(worst, 2e-6) << "seed " << seed << " members " << members.size();
    }
  }
}

// Small non-inbred and mildly inbred pedigrees: D^-1 D = I, D from the
// formula in the test.
TEST(Dominance, InverseTimesDIsTheIdentity) {
  for (std::uint64_t seed = 1; seed <= 15; ++seed) {
    test::RandomPedigreeOptions options;
    options.seed = seed;
    options.size = 20 + static_cast<int>(seed) * 4;
    options.founders = 8;
    options.window = seed % 3 == 0 ? 15 : 60;
    options.closeMatingChance = seed % 3 == 0 ? 0.1 : 0.0;
    const auto ped = test::Loaded(test::MakeRandomPedigree(options).text);
    const DenseMatrix a = test::TabularA(*ped);
    const Built built = Build(*ped, Everybody(*ped), true);
    ASSERT_EQ(built.build.status, DominanceStatus::kDone) << seed;
    const std::int32_t n = ped->nTotal;
    std::int64_t nonZero = 0;
    double worst = 0.0;
    for (std::int32_t i = 0; i < n; ++i)
      for (std::int32_t j = 0; j < n; ++j) {
        if (Expected(*ped, a, i, j) != 0.0) ++nonZero;
        double sum = 0.0;
        for (std::int32_t k = 0; k < n; ++k)
          sum += static_cast<double>(At(built.build.matrix, i, k)) * Expected(*ped, a, k, j);
        worst = std::max(worst, std::fabs(sum - (i == j ? 1.0 : 0.0)));
      }
    EXPECT_LE(worst, 1e-4) << seed;
    EXPECT_EQ(built.reportedNonZero, nonZero) << seed;
  }
}

TEST(Dominance, SmallValuesAreLeftOut) {
  struct Row {
    const char* name;
    double minValue;
  };
  const Row rows[] = {{"Everything", 0.0}, {"Tiny", 1e-3}, {"Sixteenth", 0.0625}, {"Quarter", 0.25},
                      {"AboveDiagonal", 1.5}};
  const test::RandomPedigree random = test::MakeRandomPedigree({.seed = 7, .size = 150, .window = 12});
  const auto ped = test::Loaded(random.text);
  const Built all = Build(*ped, Everybody(*ped), false);
  for (const Row& row : rows) {
    const Built filtered = Build(*ped, Everybody(*ped), false, row.minValue);
    std::int64_t kept = 0;
    for (const auto& e : all.build.matrix.elements)
      if (std::fabs(static_cast<double>(e.value)) >= row.minValue) ++kept;
    EXPECT_EQ(filtered.build.matrix.Stored(), kept) << row.name;
    for (std::int32_t i = 0; i < ped->nTotal; ++i)
      for (const auto& e : filtered.build.matrix.Row(i))
        EXPECT_EQ(e.value, all.build.matrix.At(i, e.column)) << row.name;
  }
}

// In double precision D goes through the double-precision A: on a deep
// full-sib line with predefined F on its founders, well within what floats
// could hold.
TEST(Dominance, DoublePrecisionFollowsTheDoubleModel) {
  const auto ped = test::Loaded(test::FullSibLine("Progeny Sire Dam F\nS0 0 0 0.3\nD0 0 0 0.1\n", 30, " ."));
  ped->settings.precision = 1;
  SilentProgressWindow window;
  Progress progress(window);
  ASSERT_TRUE(ComputeInbreeding(*ped, progress));
  ASSERT_TRUE(ped->InDouble());
  const DenseMatrix a = test::TabularA(*ped);
  const DominanceRequest request{Everybody(*ped), false, 0.0};
  const DominanceBuild<double> d = BuildDominance(*ped, ped->dDouble, request, {}, progress);
  ASSERT_EQ(d.status, DominanceStatus::kDone);
  double worst = 0.0;
  for (std::int32_t i = 0; i < ped->nTotal; ++i)
    for (std::int32_t j = 0; j <= i; ++j)
      worst = std::max(worst, std::fabs(d.matrix.At(i, j) - Expected(*ped, a, i, j)));
  EXPECT_LE(worst, 1e-12);
  EXPECT_GT(d.matrix.At(Code(*ped, "D30"), Code(*ped, "S30")), 1.0);
}

// Generations of full-sib mating: full sibs of the last generation have
// d = 1/4 (a_ss^2 + a_sd^2) > 1, and the approximation is no covariance.
TEST(Dominance, AnInbredDThatIsNotPositiveDefiniteHasNoInverse) {
  const auto ped = test::Loaded(test::FullSibLine("Progeny Sire Dam\nS0 0 0\nD0 0 0\n", 12));
  const Built d = Build(*ped, Everybody(*ped), false);
  ASSERT_EQ(d.build.status, DominanceStatus::kDone);
  EXPECT_GT(d.build.matrix.At(Code(*ped, "D12"), Code(*ped, "S12")), 1.0f);
  EXPECT_EQ(Build(*ped, Everybody(*ped), true).build.status, DominanceStatus::kNotPositiveDefinite);
}

}  // namespace
}  // namespace kinvar
