#include "genomics/genomic_relationship.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace kinvar {
namespace {

// Random genotypes with some missing calls and some monomorphic SNPs.
Genotypes RandomGenotypes(std::uint32_t seed, int animals, int snps, double missing) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Genotypes g;
  for (int a = 0; a < animals; ++a) g.ids.push_back("A" + std::to_string(a));
  for (int k = 0; k < snps; ++k) g.snps.push_back({"1", "S" + std::to_string(k), 1000 * (k + 1), "A", "B"});
  for (int a = 0; a < animals; ++a) {
    for (int k = 0; k < snps; ++k) {
      const double q = k % 7 == 3 ? 0.0 : 0.05 + 0.9 * (k % 11) / 10.0;
      std::uint8_t x = static_cast<std::uint8_t>((unit(rng) < q) + (unit(rng) < q));
      if (unit(rng) < missing) x = kMissingGenotype;
      g.codes.push_back(x);
    }
  }
  return g;
}

// The textbook formulas, one element at a time over the explicit matrix.
double PlainG(const Genotypes& g, const std::vector<double>& p, GenomicMethod method,
              int i, int j) {
  double sum = 0.0, scale = 0.0, used = 0.0;
  for (int k = 0; k < g.SnpCount(); ++k) {
    const double q = p[k];
    if (q <= 0.0 || q >= 1.0) continue;
    used += 1.0;
    scale += 2.0 * q * (1.0 - q);
    const double xi = g.At(i, k) == kMissingGenotype ? 2.0 * q : g.At(i, k);
    const double xj = g.At(j, k) == kMissingGenotype ? 2.0 * q : g.At(j, k);
    if (method == GenomicMethod::kVanRaden1) {
      sum += (xi - 2.0 * q) * (xj - 2.0 * q);
    } else if (method == GenomicMethod::kYang && i == j) {
      sum += g.At(i, k) == kMissingGenotype
                 ? 0.0
                 : (xi * xi - (1.0 + 2.0 * q) * xi + 2.0 * q * q) / (2.0 * q * (1.0 - q));
    } else {
      sum += (xi - 2.0 * q) * (xj - 2.0 * q) / (2.0 * q * (1.0 - q));
    }
  }
  if (method == GenomicMethod::kVanRaden1) return sum / scale;
  if (method == GenomicMethod::kYang && i == j) return 1.0 + sum / used;
  return sum / used;
}

TEST(GenomicRelationship, EveryMethodMatchesTheFormulaElementByElement) {
  struct Row {
    std::string name;
    GenomicMethod method;
    int animals;
    int snps;
    double missing;
  };
  const std::vector<Row> rows = {
      {"VanRaden 1, no missing", GenomicMethod::kVanRaden1, 12, 90, 0.0},
      {"VanRaden 1, missing calls", GenomicMethod::kVanRaden1, 17, 301, 0.1},
      {"VanRaden 1, more SNPs than one block", GenomicMethod::kVanRaden1, 5, 9000, 0.05},
      {"VanRaden 2, missing calls", GenomicMethod::kVanRaden2, 13, 250, 0.1},
      {"Yang, missing calls", GenomicMethod::kYang, 11, 240, 0.1},
      {"one animal", GenomicMethod::kVanRaden1, 1, 40, 0.0},
  };
  SilentProgressWindow window;
  for (const Row& row : rows) {
    const Genotypes g = RandomGenotypes(7, row.animals, row.snps, row.missing);
    const std::vector<double> p = AlleleFrequencies(g);
    Progress progress(window);
    const DenseSymmetric G = GenomicRelationship(g, p, row.method, progress);
    ASSERT_EQ(G.n, row.animals) << row.name;
    for (int i = 0; i < row.animals; ++i) {
      for (int j = 0; j < row.animals; ++j) {
        EXPECT_NEAR(G.At(i, j), PlainG(g, p, row.method, i, j), 1e-10)
            << row.name << " at " << i << "," << j;
      }
    }
  }
}

TEST(GenomicRelationship, FrequenciesCountOnlyCalledGenotypes) {
  Genotypes g;
  g.ids = {"A", "B", "C"};
  g.snps = {{"1", "S1", 1, "A", "B"}, {"1", "S2", 2, "A", "B"}, {"1", "S3", 3, "A", "B"}};
  g.codes = {2, 0, 9,  //
             1, 9, 9,  //
             9, 0, 9};
  const std::vector<double> p = AlleleFrequencies(g);
  EXPECT_DOUBLE_EQ(p[0], 0.75);
  EXPECT_DOUBLE_EQ(p[1], 0.0);
  EXPECT_DOUBLE_EQ(p[2], 0.0);
  EXPECT_EQ(SnpsUsed(p), 1);
}

}  // namespace
}  // namespace kinvar
