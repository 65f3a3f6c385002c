// The single-step H inverse against H built densely in the test from the
// tabular A and inverted by Gauss-Jordan, on small random pedigrees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "genetics/group_inverse.h"
#include "genetics/inbreeding.h"
#include "genomics/single_step.h"
#include "pedigree/genetic_groups.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DenseMatrix;

// `count` records drawn at random, in ascending code order.
std::vector<RecIndex> DrawGenotyped(const Pedigree& ped, int count, std::mt19937& random) {
  std::vector<std::int32_t> codes(static_cast<std::size_t>(ped.nTotal));
  for (std::int32_t i = 0; i < ped.nTotal; ++i) codes[static_cast<std::size_t>(i)] = i;
  std::shuffle(codes.begin(), codes.end(), random);
  codes.resize(static_cast<std::size_t>(std::min(count, ped.nTotal)));
  std::sort(codes.begin(), codes.end());
  std::vector<RecIndex> out;
  for (const std::int32_t c : codes) out.push_back(ped.records[static_cast<std::size_t>(c)]);
  return out;
}

// VanRaden's first G from random genotypes: Z = M - 2p over 6n SNPs.
std::vector<double> RandomG(std::size_t n, std::mt19937& random) {
  const std::size_t m = 6 * n + 10;
  std::vector<double> code(n * m);
  std::uniform_real_distribution<double> unit(0.05, 0.95);
  double scale = 0.0;
  for (std::size_t j = 0; j < m; ++j) {
    const double p = unit(random);
    std::binomial_distribution<int> draw(2, p);
    double mean = 0.0;
    for (std::size_t i = 0; i < n; ++i) mean += code[i * m + j] = draw(random);
    mean /= static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) code[i * m + j] -= mean;
    scale += mean * (1.0 - mean / 2.0);
  }
  std::vector<double> g(n * n, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t k = 0; k < n; ++k) {
      double s = 0.0;
      for (std::size_t j = 0; j < m; ++j) s += code[i * m + j] * code[k * m + j];
      g[i * n + k] = s / scale + (i == k ? 0.01 : 0.0);  // a little on the diagonal keeps it invertible
    }
  return g;
}

DenseMatrix Block(const DenseMatrix& a, const std::vector<std::size_t>& rows) {
  DenseMatrix out{rows.size(), std::vector<double>(rows.size() * rows.size())};
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows.size(); ++j) out(i, j) = a(rows[i], rows[j]);
  return out;
}

DenseMatrix Product(const DenseMatrix& x, const DenseMatrix& y) {
  DenseMatrix out{x.n, std::vector<double>(x.n * x.n, 0.0)};
  for (std::size_t i = 0; i < x.n; ++i)
    for (std::size_t k = 0; k < x.n; ++k)
      for (std::size_t j = 0; j < x.n; ++j) out(i, j) += x(i, k) * y(k, j);
  return out;
}

struct Expected {
  std::vector<double> g;   // scaled, then G_w
  DenseMatrix h;           // H, n x n over the whole pedigree
};

// G scaled in the test's own words: the two means of A22 and of G.
void ScaleLikeA22(std::vector<double>& g, const DenseMatrix& a22) {
  const std::size_t n = a22.n;
  double da = 0, oa = 0, dg = 0, og = 0;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      (i == j ? da : oa) += a22(i, j);
      (i == j ? dg : og) += g[i * n + j];
    }
  const double off = static_cast<double>(n * (n - 1));
  const double b = (da / n - oa / off) / (dg / n - og / off);
  const double a = oa / off - b * og / off;
  for (double& v : g) v = a + b * v;
}

// H = A + A[.,2] A22^-1 (G_w - A22) A22^-1 A[2,.] (Legarra et al. 2009).
DenseMatrix DenseH(const DenseMatrix& a, const std::vector<std::size_t>& rows, const std::vector<double>& gw) {
  const std::size_t n = a.n, k = rows.size();
  const DenseMatrix a22 = Block(a, rows);
  const DenseMatrix inv = test::DenseInverse(a22);
  DenseMatrix diff{k, std::vector<double>(k * k)};
  for (std::size_t c = 0; c < k * k; ++c) diff.cells[c] = gw[c] - a22.cells[c];
  const DenseMatrix middle = Product(Product(inv, diff), inv);
  DenseMatrix h = a;
  // A[., 2] middle A[2, .]
  std::vector<double> left(n * k, 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t q = 0; q < k; ++q)
      for (std::size_t p = 0; p < k; ++p) left[i * k + q] += a(i, rows[p]) * middle(p, q);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      for (std::size_t q = 0; q < k; ++q) h(i, j) += left[i * k + q] * a(rows[q], j);
  return h;
}

template <class T>
HInverseBuild<T> BuildH(Pedigree& ped, const std::vector<T>& d, const std::vector<RecIndex>& genotyped,
                     std::vector<double> g, const SingleStepOptions& options) {
  SilentProgressWindow window;
  Progress progress(window);
  return BuildHInverse(ped, d, genotyped, std::move(g), options, progress);
}

std::vector<std::size_t> Codes(const Pedigree& ped, const std::vector<RecIndex>& genotyped) {
  std::vector<std::size_t> rows;
  for (const RecIndex ri : genotyped) rows.push_back(static_cast<std::size_t>(ped.rec(ri).code - 1));
  return rows;
}

test::RandomPedigreeOptions Options(std::uint64_t seed, int size) {
  test::RandomPedigreeOptions o;
  o.seed = seed;
  o.size = size;
  o.founders = 8;
  o.window = 25;
  o.closeMatingChance = 0.3;
  o.fColumn = seed % 2 == 0;
  o.predefinedChance = 0.1;
  return o;
}

// With tau = omega = 1 the inverse is the inverse of H itself; otherwise it
// is A^-1 plus the block, each inverse taken densely in the test.
TEST(SingleStep, HInverseEqualsTheDenseInverseOfH) {
  struct Row {
    const char* name;
    int size;
    int genotyped;
    SingleStepOptions options;
    bool doublePrecision;
  };
  const Row rows[] = {
      {"Defaults", 60, 15, {}, true},
      {"DefaultsInSinglePrecision", 60, 15, {}, false},
      {"NotScaled", 50, 20, {0.95, 0.05, 1.0, 1.0, false, 0}, true},
      {"OtherWeights", 70, 12, {0.8, 0.2, 1.0, 1.0, true, 0}, true},
      {"TauAndOmega", 50, 18, {0.95, 0.05, 1.5, 0.6, true, 0}, true},
      {"EveryAnimalGenotyped", 30, 30, {}, true},
      {"TwoThreads", 120, 40, {0.95, 0.05, 1.0, 1.0, true, 2}, true},
  };
  for (const Row& row : rows) {
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
      const std::string where = std::string(row.name) + ", seed " + std::to_string(seed);
      const auto ped = test::Loaded(test::MakeRandomPedigree(Options(seed, row.size)).text);
      std::mt19937 random(static_cast<std::uint32_t>(seed));
      const std::vector<RecIndex> genotyped = DrawGenotyped(*ped, row.genotyped, random);
      const std::vector<std::size_t> codes = Codes(*ped, genotyped);
      std::vector<double> g = RandomG(genotyped.size(), random);
      const DenseMatrix a = test::TabularA(*ped);
      const DenseMatrix a22 = Block(a, codes);
      std::vector<double> gw = g;
      if (row.options.scaleToA22) ScaleLikeA22(gw, a22);
      for (std::size_t c = 0; c < gw.size(); ++c)
        gw[c] = row.options.alpha * gw[c] + row.options.beta * a22.cells[c];

      DenseMatrix expected;
      if (row.options.tau == 1.0 && row.options.omega == 1.0) {
        expected = test::DenseInverse(DenseH(a, codes, gw));
      } else {
        expected = test::DenseInverse(a);
        const DenseMatrix gwInv = test::DenseInverse(DenseMatrix{codes.size(), gw});
        const DenseMatrix a22Inv = test::DenseInverse(a22);
        for (std::size_t i = 0; i < codes.size(); ++i)
          for (std::size_t j = 0; j < codes.size(); ++j)
            expected(codes[i], codes[j]) += row.options.tau * gwInv(i, j) - row.options.omega * a22Inv(i, j);
      }
      const double tolerance = row.doublePrecision ? 1e-6 : 2e-3;
      const auto check = [&](const auto& built) {
        ASSERT_EQ(built.status, SingleStepStatus::kDone) << where;
        ASSERT_EQ(static_cast<std::size_t>(built.matrix.n), expected.n) << where;
        for (std::int32_t i = 0; i < built.matrix.n; ++i) {
          std::int32_t previous = -1;
          for (const auto& e : built.matrix.Row(i)) {
            ASSERT_GT(e.column, previous) << where;
            previous = e.column;
          }
          ASSERT_LE(previous, i) << where;
          for (std::int32_t j = 0; j <= i; ++j) {
            const double want = expected(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
            ASSERT_NEAR(built.matrix.At(i, j), want, tolerance * std::max(1.0, std::fabs(want)))
                << where << " at " << i + 1 << ", " << j + 1;
          }
        }
        EXPECT_EQ(built.scaling.applied, row.options.scaleToA22) << where;
      };
      if (row.doublePrecision) {
        const std::vector<double> d(ped->d.begin(), ped->d.end());
        check(BuildH(*ped, d, genotyped, g, row.options));
      } else {
        check(BuildH(*ped, ped->d, genotyped, g, row.options));
      }
    }
  }
}

// A22 from the passes over the genotyped animals' ancestors is the block of
// the tabular A, predefined F on its diagonal included.
TEST(SingleStep, PedigreeBlockIsTheBlockOfTheTabularA) {
  for (std::uint64_t seed = 1; seed <= 10; ++seed) {
    test::RandomPedigreeOptions o = Options(seed, 150 + static_cast<int>(seed) * 20);
    o.fColumn = true;
    o.predefinedChance = 0.2;
    const auto ped = test::Loaded(test::MakeRandomPedigree(o).text);
    std::mt19937 random(static_cast<std::uint32_t>(seed));
    const std::vector<RecIndex> genotyped = DrawGenotyped(*ped, 10 + static_cast<int>(seed) * 7, random);
    const DenseMatrix a22 = Block(test::TabularA(*ped), Codes(*ped, genotyped));
    SilentProgressWindow window;
    Progress progress(window);
    progress.SetStage(0, 100, static_cast<std::int64_t>(genotyped.size()), "");
    const std::vector<double> block = PedigreeBlock(*ped, ped->d, genotyped, static_cast<int>(seed % 3), progress);
    ASSERT_EQ(block.size(), a22.cells.size());
    for (std::size_t c = 0; c < block.size(); ++c)
      ASSERT_NEAR(block[c], a22.cells[c], 1e-5) << "seed " << seed << ", cell " << c;
  }
}

// With genetic groups the genomic block goes onto A*^-1, the groups' rows
// and columns untouched.
TEST(SingleStep, GroupsKeepTheirRowsAndTheAnimalsGainTheBlock) {
  const std::string text =
      "ID SIRE DAM\nA G1 G2\nB G1 G1\nC A B\nD A G2\nE C D\nF C G1\nH E F\nI E B\n";
  auto ped = std::make_unique<Pedigree>();
  ped->geneticGroups.ids = {"G1", "G2"};
  ASSERT_EQ(test::LoadText(text, *ped).status, LoadStatus::kLoaded);
  SilentProgressWindow window;
  Progress progress(window);
  ASSERT_TRUE(ComputeInbreeding(*ped, progress));
  const std::vector<double> d(ped->d.begin(), ped->d.end());
  std::mt19937 random(7);
  const std::vector<RecIndex> genotyped = DrawGenotyped(*ped, 5, random);
  const std::vector<double> g = RandomG(genotyped.size(), random);
  const auto built = BuildH(*ped, d, genotyped, g, SingleStepOptions{});
  ASSERT_EQ(built.status, SingleStepStatus::kDone);
  const auto groups = BuildInverseWithGroups(*ped, d, progress);
  ASSERT_EQ(built.matrix.n, ped->nTotal + 2);

  const std::vector<std::size_t> codes = Codes(*ped, genotyped);
  const DenseMatrix a22 = Block(test::TabularA(*ped), codes);
  std::vector<double> gw = g;
  ScaleLikeA22(gw, a22);
  for (std::size_t c = 0; c < gw.size(); ++c) gw[c] = 0.95 * gw[c] + 0.05 * a22.cells[c];
  const DenseMatrix gwInv = test::DenseInverse(DenseMatrix{codes.size(), gw});
  const DenseMatrix a22Inv = test::DenseInverse(a22);
  std::vector<int> blockOf(static_cast<std::size_t>(built.matrix.n), -1);
  for (std::size_t k = 0; k < codes.size(); ++k) blockOf[codes[k]] = static_cast<int>(k);
  for (std::int32_t i = 0; i < built.matrix.n; ++i)
    for (std::int32_t j = 0; j <= i; ++j) {
      const int bi = blockOf[static_cast<std::size_t>(i)], bj = blockOf[static_cast<std::size_t>(j)];
      const double added = bi >= 0 && bj >= 0 ? gwInv(static_cast<std::size_t>(bi), static_cast<std::size_t>(bj)) -
                                                    a22Inv(static_cast<std::size_t>(bi), static_cast<std::size_t>(bj))
                                              : 0.0;
      ASSERT_NEAR(built.matrix.At(i, j), groups.matrix.At(i, j) + added, 1e-6) << i + 1 << ", " << j + 1;
    }
}

// The refusals: a G_w without a Cholesky factor, and a G that no a + bG can
// scale.
TEST(SingleStep, RefusesWhatCannotBeInverted) {
  struct Row {
    const char* name;
    std::vector<double> g;  // 3 x 3
    SingleStepOptions options;
    SingleStepStatus expected;
  };
  const Row rows[] = {
      {"SingularG", {1, 1, 1, 1, 1, 1, 1, 1, 1}, {1.0, 0.0, 1.0, 1.0, false, 0},
       SingleStepStatus::kGNotPositiveDefinite},
      {"NegativeDiagonal", {-1, 0, 0, 0, 1, 0, 0, 0, 1}, {1.0, 0.0, 1.0, 1.0, false, 0},
       SingleStepStatus::kGNotPositiveDefinite},
      {"EveryCellAlike", {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}, {},
       SingleStepStatus::kCannotScale},
      {"SingularButBlended", {1, 1, 1, 1, 1, 1, 1, 1, 1.0 + 1e-9}, {0.5, 0.5, 1.0, 1.0, false, 0},
       SingleStepStatus::kDone},
  };
  const auto ped = test::Loaded("ID SIRE DAM\nA 0 0\nB 0 0\nC A B\nD A B\nE C D\n");
  const std::vector<RecIndex> genotyped = {ped->records[2], ped->records[3], ped->records[4]};
  for (const Row& row : rows)
    EXPECT_EQ(BuildH(*ped, ped->d, genotyped, row.g, row.options).status, row.expected) << row.name;
}

}  // namespace
}  // namespace kinvar
