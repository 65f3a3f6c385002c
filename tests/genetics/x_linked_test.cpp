// X-linked relationships against S built in the test by the tabular rules,
// their inverse against the identity, and the refusal of an unknown sex.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "genetics/x_linked.h"
#include "support/cancel_window.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Sexed random pedigrees: "I<k>" with a Sex column, sires male and dams
// female, drawn from the last `window` individuals so that many are inbred;
// some parents unknown.
std::string SexedPedigree(std::uint32_t seed, int size, int window) {
  std::mt19937 random(seed);
  std::vector<char> sex;
  std::string text = "Progeny Sire Dam Sex\n";
  const auto pick = [&](int i, char wanted) -> std::string {
    if (i < 4 || random() % 8 == 0) return "0";
    for (int tries = 0; tries < 20; ++tries) {
      const int k = std::max(1, i - window) + static_cast<int>(random() % static_cast<unsigned>(std::min(window, i - 1)));
      if (k < i && sex[static_cast<std::size_t>(k - 1)] == wanted) return "I" + std::to_string(k);
    }
    return "0";
  };
  for (int i = 1; i <= size; ++i) {
    const std::string sire = pick(i, 'M'), dam = pick(i, 'F');
    sex.push_back(random() % 2 == 0 ? 'M' : 'F');
    text += "I" + std::to_string(i) + " " + sire + " " + dam + " " + sex.back() + "\n";
  }
  return text;
}

// S by the tabular rules, in code order, in the precision of R.
template <class R = double>
std::vector<std::vector<R>> TabularS(const Pedigree& ped) {
  const auto n = static_cast<std::size_t>(ped.nTotal);
  std::vector<std::vector<R>> s(n, std::vector<R>(n, R(0)));
  const auto code = [&](RecIndex r) { return ped.rec(r).code - 1; };
  for (std::size_t y = 0; y < n; ++y) {
    const Rec& r = ped.byCode(static_cast<std::int32_t>(y));
    const int sire = code(r.sire), dam = code(r.dam);
    const auto rel = [&](std::size_t x, int p) { return p < 0 ? R(0) : s[x][static_cast<std::size_t>(p)]; };
    for (std::size_t x = 0; x < y; ++x)
      s[x][y] = s[y][x] = r.sex == Sex::kMale ? rel(x, dam) : R(0.5) * (rel(x, sire) + rel(x, dam));
    s[y][y] = r.sex == Sex::kMale ? R(1) : R(0.5) * (R(1) + (sire < 0 ? R(0) : rel(static_cast<std::size_t>(sire), dam)));
  }
  return s;
}

TEST(XLinked, MatrixAndInverseAgreeWithTheTabularRules) {
  struct Row {
    const char* name;
    int size;
    int window;
  };
  const Row rows[] = {{"Shallow", 120, 100}, {"Deep", 150, 8}, {"VeryInbred", 80, 4}};
  for (const Row& row : rows)
    for (std::uint32_t seed = 1; seed <= 5; ++seed) {
      const std::string where = std::string(row.name) + " seed " + std::to_string(seed);
      Pedigree ped;
      ASSERT_EQ(test::LoadText(SexedPedigree(seed, row.size, row.window), ped).status, LoadStatus::kLoaded) << where;
      const XLinkedSexes sexes = SexesForXLinked(ped);
      ASSERT_FALSE(sexes.sex.empty()) << where;
      SilentProgressWindow window;
      Progress progress(window);
      const InverseBuild s = BuildXLinkedMatrix(ped, sexes.sex, progress);
      const InverseBuild inverse = BuildXLinkedInverse(ped, sexes.sex, progress);
      ASSERT_EQ(s.status, BuildStatus::kDone);
      ASSERT_EQ(inverse.status, BuildStatus::kDone);
      const auto expected = TabularS(ped);
      const std::int32_t n = ped.nTotal;
      double worstS = 0.0, worstI = 0.0;
      for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j <= i; ++j)
          worstS = std::max(worstS, std::fabs(static_cast<double>(s.matrix.At(i, j)) - expected[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]));
      for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j < n; ++j) {
          double sum = 0.0;
          for (const auto& e : inverse.matrix.Row(i)) sum += static_cast<double>(e.value) * expected[static_cast<std::size_t>(e.column)][static_cast<std::size_t>(j)];
          for (std::int32_t k = i + 1; k < n; ++k) {
            const double v = inverse.matrix.At(k, i);
            if (v != 0.0) sum += v * expected[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)];
          }
          worstI = std::max(worstI, std::fabs(sum - (i == j ? 1.0 : 0.0)));
        }
      EXPECT_LE(worstS, 1e-6) << where;
      EXPECT_LE(worstI, 2e-3) << where;
    }
}

// The largest |(M S)_ij - I_ij| over the whole matrix, M given by its lower
// triangle and S in long double.
template <class T>
long double WorstFromIdentity(const BasicSparseLower<T>& m, const std::vector<std::vector<long double>>& s) {
  const std::int32_t n = m.n;
  long double worst = 0;
  for (std::int32_t i = 0; i < n; ++i)
    for (std::int32_t j = 0; j < n; ++j) {
      long double sum = 0;
      for (const auto& e : m.Row(i)) sum += static_cast<long double>(e.value) * s[static_cast<std::size_t>(e.column)][static_cast<std::size_t>(j)];
      for (std::int32_t k = i + 1; k < n; ++k)
        sum += static_cast<long double>(m.At(k, i)) * s[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)];
      worst = std::max(worst, std::fabs(sum - (i == j ? 1.0L : 0.0L)));
    }
  return worst;
}

// The blocks, threads and the dense forward pass only change the speed:
// every option gives the same inverse bit for bit, and it inverts S.
TEST(XLinked, InverseIsTheSameWhateverTheBlocksAndThreads) {
  struct Row {
    const char* name;
    XLinkedOptions options;
  };
  const Row rows[] = {{"Pairs", {2, 1, 16}}, {"Wide", {16, 2, 16}}, {"AlwaysDense", {4, 2, 100000}},
                      {"NeverDense", {8, 2, 0}}, {"ThreeThreads", {4, 3, 1}}};
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    const int size = 60 + static_cast<int>(seed) * 17, window = 3 + static_cast<int>(seed % 5) * 9;
    Pedigree ped;
    ASSERT_EQ(test::LoadText(SexedPedigree(seed, size, window), ped).status, LoadStatus::kLoaded);
    const XLinkedSexes sexes = SexesForXLinked(ped);
    ASSERT_FALSE(sexes.sex.empty());
    SilentProgressWindow window_;
    Progress progress(window_);
    XLinkedOptions reference;
    reference.threads = 1;
    const InverseBuild expected = BuildXLinkedInverse(ped, sexes.sex, reference, progress);
    ASSERT_EQ(expected.status, BuildStatus::kDone);
    EXPECT_LE(WorstFromIdentity(expected.matrix, TabularS<long double>(ped)), 2e-3L) << "seed " << seed;
    for (const Row& row : rows) {
      const InverseBuild got = BuildXLinkedInverse(ped, sexes.sex, row.options, progress);
      ASSERT_EQ(got.status, BuildStatus::kDone) << row.name;
      ASSERT_EQ(got.matrix.rowStart, expected.matrix.rowStart) << row.name << " seed " << seed;
      for (std::size_t e = 0; e < got.matrix.elements.size(); ++e) {
        ASSERT_EQ(got.matrix.elements[e].column, expected.matrix.elements[e].column) << row.name;
        ASSERT_EQ(got.matrix.elements[e].value, expected.matrix.elements[e].value)
            << row.name << " seed " << seed << " element " << e;
      }
    }
  }
}

// In double precision S and its inverse hold what long double arithmetic
// gives far more closely than single precision can.
TEST(XLinked, DoublePrecisionAgreesWithExactS) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    Pedigree ped;
    ASSERT_EQ(test::LoadText(SexedPedigree(seed, 90, seed % 2 == 0 ? 4 : 30), ped).status, LoadStatus::kLoaded);
    const XLinkedSexes sexes = SexesForXLinked(ped);
    SilentProgressWindow window;
    Progress progress(window);
    const auto exact = TabularS<long double>(ped);
    const BasicInverseBuild<double> s = BuildXLinkedMatrix<double>(ped, sexes.sex, progress);
    const BasicInverseBuild<double> inverse = BuildXLinkedInverse<double>(ped, sexes.sex, progress);
    const InverseBuild single = BuildXLinkedInverse(ped, sexes.sex, progress);
    long double worstS = 0;
    for (std::int32_t i = 0; i < ped.nTotal; ++i)
      for (std::int32_t j = 0; j <= i; ++j)
        worstS = std::max(worstS, std::fabs(static_cast<long double>(s.matrix.At(i, j)) -
                                            exact[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]));
    const long double worstDouble = WorstFromIdentity(inverse.matrix, exact);
    EXPECT_LE(worstS, 1e-14L) << "seed " << seed;
    EXPECT_LE(worstDouble, 1e-9L) << "seed " << seed;
    EXPECT_LT(worstDouble, WorstFromIdentity(single.matrix, exact)) << "seed " << seed;
  }
}

// A cancel during the walk over the sires stops the inverse in either
// precision, with nothing built.
TEST(XLinked, ACancelStopsTheInverse) {
  Pedigree ped;
  ASSERT_EQ(test::LoadText(SexedPedigree(3, 200, 10), ped).status, LoadStatus::kLoaded);
  const XLinkedSexes sexes = SexesForXLinked(ped);
  test::CancelAtPoll window;
  Progress progress(window);
  progress.SetStage(0, 50, ped.nTotal - 1, "");
  const InverseBuild single = BuildXLinkedInverse(ped, sexes.sex, progress);
  EXPECT_EQ(single.status, BuildStatus::kCanceled);
  EXPECT_EQ(single.matrix.Stored(), 0);
  progress.SetStage(0, 50, ped.nTotal - 1, "");
  EXPECT_EQ(BuildXLinkedInverse<double>(ped, sexes.sex, progress).status, BuildStatus::kCanceled);
}

// Sexes come from the roles when the file has no Sex column; an animal that
// is neither a parent nor sexed is refused by name.
TEST(XLinked, SexesFromTheColumnOrTheRoles) {
  struct Row {
    const char* name;
    const char* text;
    const char* unknown;  // "" when every sex is known
  };
  const Row rows[] = {
      {"ProgenyWithoutRole", "Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\nD A B\n", "C"},
      {"LastGenerationUnknown", "Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\nD C B\n", "D"},
      {"SexColumnFills", "Progeny Sire Dam Sex\nA 0 0 .\nB 0 0 .\nC A B F\nD A C M\n", ""},
      {"SexColumnDot", "Progeny Sire Dam Sex\nA 0 0 M\nB 0 0 F\nC A B F\nD A C .\n", "D"},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    ASSERT_EQ(test::LoadText(row.text, ped).status, LoadStatus::kLoaded) << row.name;
    const XLinkedSexes sexes = SexesForXLinked(ped);
    EXPECT_EQ(sexes.unknownId, row.unknown) << row.name;
    EXPECT_EQ(sexes.sex.empty(), *row.unknown != '\0') << row.name;
  }
}

}  // namespace
}  // namespace kinvar
