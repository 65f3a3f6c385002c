#include "genomics/genomic_relationship_pedigree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/random_pedigree.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DenseMatrix;

// Every third-or-so individual by code, as genotyped animals are picked.
std::vector<RecIndex> SomeRecords(const Pedigree& ped, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<RecIndex> picked;
  for (std::int32_t c = 0; c < ped.nTotal; ++c) {
    if (rng() % 3 == 0) picked.push_back(ped.records[static_cast<std::size_t>(c)]);
  }
  if (picked.empty()) picked.push_back(ped.records.back());
  return picked;
}

DenseMatrix Block(const Pedigree& ped, const DenseMatrix& a, const std::vector<RecIndex>& recs) {
  DenseMatrix b{recs.size(), std::vector<double>(recs.size() * recs.size())};
  for (std::size_t i = 0; i < recs.size(); ++i) {
    for (std::size_t j = 0; j < recs.size(); ++j) {
      b(i, j) = a(static_cast<std::size_t>(ped.rec(recs[i]).code - 1),
                  static_cast<std::size_t>(ped.rec(recs[j]).code - 1));
    }
  }
  return b;
}

Genotypes RandomCalls(std::size_t animals, int snps, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Genotypes g;
  for (std::size_t a = 0; a < animals; ++a) g.ids.push_back("A" + std::to_string(a));
  for (int k = 0; k < snps; ++k) g.snps.push_back({"1", "S" + std::to_string(k), k + 1, "A", "B"});
  for (std::size_t i = 0; i < animals * static_cast<std::size_t>(snps); ++i) {
    const unsigned r = rng() % 10;
    g.codes.push_back(r == 9 ? kMissingGenotype : static_cast<std::uint8_t>(r % 3));
  }
  return g;
}

TEST(A22, ColumnsAndProductsMatchTheTabularMethod) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 150));
    const auto ped = test::Loaded(random.text);
    const std::vector<RecIndex> recs = SomeRecords(*ped, static_cast<std::uint32_t>(seed));
    const DenseMatrix a22 = Block(*ped, test::TabularA(*ped), recs);
    A22Kernel kernel = MakeA22Kernel(*ped, recs);
    std::vector<double> column, product, v(recs.size());
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::sin(static_cast<double>(i) + 0.5);
    A22Times(kernel, v, product);
    for (std::size_t j = 0; j < recs.size(); ++j) {
      A22Column(kernel, static_cast<std::int64_t>(j), column);
      double expected = 0.0;
      for (std::size_t i = 0; i < recs.size(); ++i) {
        EXPECT_NEAR(column[i], a22(i, j), 2e-6) << "seed " << seed << " at " << i << "," << j;
        expected += a22(j, i) * v[i];
      }
      EXPECT_NEAR(product[j], expected, 1e-5) << "seed " << seed << " row " << j;
    }
  }
}

TEST(A22, FounderFrequenciesAreTheGeneralisedLeastSquaresMean) {
  SilentProgressWindow window;
  for (std::uint64_t seed = 1; seed <= 15; ++seed) {
    const auto ped = test::Loaded(test::MakeRandomPedigree(test::VariedOptions(seed, 120)).text);
    const std::vector<RecIndex> recs = SomeRecords(*ped, static_cast<std::uint32_t>(seed) + 100);
    const DenseMatrix inverse = test::DenseInverse(Block(*ped, test::TabularA(*ped), recs));
    std::vector<double> weight(recs.size(), 0.0);
    for (std::size_t i = 0; i < recs.size(); ++i) {
      for (std::size_t j = 0; j < recs.size(); ++j) weight[i] += inverse(i, j);
    }
    const Genotypes g = RandomCalls(recs.size(), 30, static_cast<std::uint32_t>(seed));
    A22Kernel kernel = MakeA22Kernel(*ped, recs);
    Progress progress(window);
    const std::vector<double> p = FounderFrequencies(kernel, g, progress);
    ASSERT_EQ(p.size(), 30U);
    for (int k = 0; k < 30; ++k) {
      double sum = 0.0, called = 0.0;
      for (std::size_t i = 0; i < recs.size(); ++i) {
        if (g.At(static_cast<std::int64_t>(i), k) == kMissingGenotype) continue;
        sum += weight[i] * g.At(static_cast<std::int64_t>(i), k);
        called += weight[i];
      }
      const double expected = called > 0.0 ? std::clamp(sum / (2.0 * called), 0.0, 1.0) : 0.0;
      EXPECT_NEAR(p[static_cast<std::size_t>(k)], expected, 1e-5) << "seed " << seed << " SNP " << k;
    }
  }
}

TEST(A22, FounderFrequenciesOfUnrelatedAnimalsAreThePlainMean) {
  const auto ped = test::Loaded("Progeny Sire Dam\nA 0 0\nB 0 0\nC 0 0\n");
  const std::vector<RecIndex> recs = {ped->records[0], ped->records[1], ped->records[2]};
  Genotypes g;
  g.ids = {"A", "B", "C"};
  g.snps = {{"1", "S1", 1, "A", "B"}};
  g.codes = {2, 1, 0};
  A22Kernel kernel = MakeA22Kernel(*ped, recs);
  SilentProgressWindow window;
  Progress progress(window);
  EXPECT_NEAR(FounderFrequencies(kernel, g, progress)[0], 0.5, 1e-12);
}

// The statistics over an explicit list of pairs, in two passes.
struct Plain {
  double meanA = 0, meanG = 0, slope = 0, correlation = 0;
  bool aVaries = false;  // beyond rounding: else no line can be fitted
};
Plain PlainStatistics(const std::vector<std::pair<double, double>>& pairs) {
  Plain s;
  for (const auto& [a, g] : pairs) {
    s.meanA += a / static_cast<double>(pairs.size());
    s.meanG += g / static_cast<double>(pairs.size());
  }
  double saa = 0, sgg = 0, sag = 0;
  for (const auto& [a, g] : pairs) {
    saa += (a - s.meanA) * (a - s.meanA);
    sgg += (g - s.meanG) * (g - s.meanG);
    sag += (a - s.meanA) * (g - s.meanG);
  }
  s.aVaries = saa > 1e-9 * static_cast<double>(pairs.size());
  s.slope = sag / saa;
  s.correlation = sag / std::sqrt(saa * sgg);
  return s;
}

TEST(GenomicAgainstPedigree, StatisticsAndLargestPairsMatchAPlainCount) {
  SilentProgressWindow window;
  for (std::uint64_t seed = 1; seed <= 10; ++seed) {
    const auto ped = test::Loaded(test::MakeRandomPedigree(test::VariedOptions(seed, 150)).text);
    const std::vector<RecIndex> recs = SomeRecords(*ped, static_cast<std::uint32_t>(seed) + 7);
    if (recs.size() < 4) continue;
    const DenseMatrix a22 = Block(*ped, test::TabularA(*ped), recs);
    const Genotypes g = RandomCalls(recs.size(), 200, static_cast<std::uint32_t>(seed));
    Progress progress(window);
    const DenseSymmetric G = GenomicRelationship(g, AlleleFrequencies(g), GenomicMethod::kVanRaden1, progress);
    A22Kernel kernel = MakeA22Kernel(*ped, recs);
    const GenomicPedigreeComparison c = CompareWithPedigree(kernel, G, 20, progress);

    struct Row {
      std::string name;
      const PairSums& sums;
      std::vector<std::pair<double, double>> pairs;
    };
    std::vector<Row> rows = {{"diagonal", c.diagonal, {}}, {"off-diagonal", c.offDiagonal, {}}, {"all", c.all, {}}};
    std::vector<PairDifference> every;
    for (std::size_t i = 0; i < recs.size(); ++i) {
      for (std::size_t j = 0; j <= i; ++j) {
        const auto ii = static_cast<std::int64_t>(i), jj = static_cast<std::int64_t>(j);
        (i == j ? rows[0] : rows[1]).pairs.emplace_back(a22(i, j), G.At(ii, jj));
        rows[2].pairs.emplace_back(a22(i, j), G.At(ii, jj));
        if (i != j) every.push_back({ii, jj, G.At(ii, jj), a22(i, j)});
      }
    }
    for (const Row& row : rows) {
      const Plain plain = PlainStatistics(row.pairs);
      ASSERT_EQ(row.sums.count, static_cast<std::int64_t>(row.pairs.size())) << row.name;
      EXPECT_NEAR(row.sums.MeanA(), plain.meanA, 1e-6) << row.name << " seed " << seed;
      EXPECT_NEAR(row.sums.MeanG(), plain.meanG, 1e-9) << row.name << " seed " << seed;
      if (plain.aVaries) {
        EXPECT_NEAR(row.sums.Slope(), plain.slope, 1e-5) << row.name << " seed " << seed;
        EXPECT_NEAR(row.sums.Intercept(), plain.meanG - plain.slope * plain.meanA, 1e-5) << row.name;
        EXPECT_NEAR(row.sums.Correlation(), plain.correlation, 1e-5) << row.name << " seed " << seed;
      } else {
        EXPECT_TRUE(std::isnan(row.sums.Slope())) << row.name << " seed " << seed;
      }
    }
    std::stable_sort(every.begin(), every.end(), [](const PairDifference& x, const PairDifference& y) {
      return std::abs(x.g - x.a) > std::abs(y.g - y.a);
    });
    ASSERT_EQ(c.largest.size(), std::min<std::size_t>(20, every.size())) << seed;
    for (std::size_t k = 0; k < c.largest.size(); ++k) {
      EXPECT_NEAR(std::abs(c.largest[k].g - c.largest[k].a), std::abs(every[k].g - every[k].a), 1e-6)
          << "seed " << seed << " rank " << k;
      EXPECT_NEAR(c.largest[k].a, a22(static_cast<std::size_t>(c.largest[k].i), static_cast<std::size_t>(c.largest[k].j)), 1e-6);
    }
  }
}

}  // namespace
}  // namespace kinvar
