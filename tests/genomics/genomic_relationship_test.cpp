#include "genomics/genomic_relationship.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/cancel_window.h"
#include "support/test_files.h"

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

TEST(GenomicRelationship, FrequencyFileIsReadStrictly) {
  Genotypes g;
  g.snps = {{"1", "S1", 1, "A", "B"}, {"1", "S2", 2, "A", "B"}};
  struct Row {
    std::string name;
    std::string text;
    std::string error;  // with FILE for the path; empty: read
    std::vector<double> p;
  };
  const std::vector<Row> rows = {
      {"both SNPs, extra ones and comments", "# frequencies\nS2 0.25\nX9 0.5\n\nS1\t1\r\n", "", {1.0, 0.25}},
      {"a cell that is not wholly a number", "S1 0.5\nS2 0.5x\n",
       "Line 2 of the allele frequencies file: \"0.5x\" in column 2 of FILE is not a number.", {}},
      {"a frequency above 1", "S1 1.5\nS2 0.5\n",
       "Line 1 of the allele frequencies file: \"1.5\" in column 2 of FILE is not a frequency between 0 and 1.", {}},
      {"a SNP twice", "S1 0.1\nS2 0.2\nS1 0.3\n",
       "Line 3 of the allele frequencies file: the SNP \"S1\" in column 1 of FILE was given already in line 1.", {}},
      {"a missing SNP", "S1 0.1\n", "The allele frequencies file FILE has no line for the SNP \"S2\".", {}},
      {"three columns", "S1 0.1 7\nS2 0.2\n",
       "Line 1 of the allele frequencies file: it has 3 columns in FILE; write the SNP's name and its frequency.", {}},
  };
  for (const Row& row : rows) {
    const test::TempFile file(row.text, ".txt");
    std::vector<double> p;
    std::string expected = row.error;
    if (const auto at = expected.find("FILE"); at != std::string::npos) expected.replace(at, 4, file.path());
    EXPECT_EQ(ReadFrequencyFile(file.path(), g, p), expected) << row.name;
    if (row.error.empty()) {
      EXPECT_EQ(p, row.p) << row.name;
    }
  }
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

// Blocks of rows, however small, give G's own elements; counts are the SNPs
// called in both animals, counted plainly.
TEST(GenomicRelationship, RowBlocksGiveTheMatrixAndTheCallCounts) {
  struct Row {
    std::string name;
    GenomicMethod method;
    double missing;
    GenomicRowOptions options;
  };
  const std::vector<Row> rows = {
      {"lower rows, one row a block", GenomicMethod::kVanRaden1, 0.1, {false, true, 8 * 19 * 2}},
      {"full rows, three rows a block", GenomicMethod::kVanRaden2, 0.1, {true, true, 8 * 19 * 2 * 3}},
      {"Yang, one block", GenomicMethod::kYang, 0.1, {true, false, std::int64_t{1} << 30}},
      {"no missing calls", GenomicMethod::kVanRaden1, 0.0, {false, true, 8 * 19 * 2 * 5}},
  };
  SilentProgressWindow window;
  for (const Row& row : rows) {
    const Genotypes g = RandomGenotypes(11, 19, 130, row.missing);
    const std::vector<double> p = AlleleFrequencies(g);
    Progress progress(window);
    const DenseSymmetric G = GenomicRelationship(g, p, row.method, progress);
    const std::vector<double> diagonal = GenomicDiagonal(g, p, row.method);
    std::int64_t next = 0;
    const bool done = ForEachGenomicRowBlock(g, p, row.method, row.options, [&](const GenomicRowBlock& b) {
      EXPECT_EQ(b.first, next) << row.name;
      next = b.end;
      EXPECT_EQ(b.columns, row.options.fullRows ? 19 : b.end) << row.name;
      EXPECT_EQ(b.counts != nullptr, row.options.counts) << row.name;
      for (std::int64_t i = b.first; i < b.end; ++i) {
        EXPECT_NEAR(diagonal[static_cast<std::size_t>(i)], G.At(i, i), 1e-10) << row.name;
        for (std::int64_t j = 0; j < b.columns; ++j) {
          EXPECT_NEAR(b.At(i, j), G.At(i, j), 1e-10) << row.name << " at " << i << "," << j;
          if (b.counts == nullptr) continue;
          int both = 0;
          for (int k = 0; k < 130; ++k) {
            const double q = p[static_cast<std::size_t>(k)];
            both += q > 0 && q < 1 && g.At(i, k) != kMissingGenotype && g.At(j, k) != kMissingGenotype;
          }
          EXPECT_EQ(b.counts[(i - b.first) * b.columns + j], both) << row.name << " at " << i << "," << j;
        }
      }
      return true;
    }, progress);
    EXPECT_TRUE(done) << row.name;
    EXPECT_EQ(next, 19) << row.name;
  }
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

TEST(GenomicRelationship, ACancelStopsEveryComputationWithNothing) {
  const Genotypes g = RandomGenotypes(5, 60, 30000, 0.01);
  const std::vector<double> p = AlleleFrequencies(g);
  test::CancelAtPoll counting(0);
  Progress whole(counting);
  ASSERT_EQ(GenomicRelationship(g, p, GenomicMethod::kVanRaden1, whole).n, 60);
  ASSERT_GE(counting.polls, 2);
  for (int at = 1; at <= counting.polls; ++at) {
    test::CancelAtPoll window(at);
    Progress progress(window);
    const DenseSymmetric G = GenomicRelationship(g, p, GenomicMethod::kVanRaden1, progress);
    EXPECT_TRUE(G.cancelled) << at;
    EXPECT_EQ(G.n, 0) << at;
    test::CancelAtPoll rowsWindow(at);
    Progress rows(rowsWindow);
    int blocks = 0;
    const bool done = ForEachGenomicRowBlock(g, p, GenomicMethod::kVanRaden1, {false, false, 8 * 60 * 10},
                                             [&](const GenomicRowBlock&) { return ++blocks > 0; }, rows);
    if (at <= rowsWindow.polls) {
      EXPECT_FALSE(done) << at;
    }
  }
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

// Without missing calls VanRaden's first G comes from the codes' whole-number
// products and centring afterwards; it must be the centred product's G to
// the last few bits (1e-12), whatever frequencies it is centred on: the
// data's, a file's that fit the data badly, or ones that leave SNPs out
// (0 and 1, a missing call there counting for nothing).
TEST(GenomicRelationship, WholeNumberProductsGiveTheCentredProduct) {
  struct Row {
    std::string name;
    int animals;
    int snps;
    int frequencies;  // 0 the data's, 1 arbitrary, 2 arbitrary with SNPs left out
  };
  const std::vector<Row> rows = {
      {"the data's frequencies", 23, 400, 0},
      {"frequencies of another population", 17, 350, 1},
      {"SNPs left out, missing calls at them", 15, 300, 2},
      {"several product calls", 3, 20000, 0},
  };
  constexpr double kTolerance = 1e-12;
  SilentProgressWindow window;
  for (const Row& row : rows) {
    Genotypes g = RandomGenotypes(31, row.animals, row.snps, 0.0);
    std::vector<double> p = AlleleFrequencies(g);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (row.frequencies > 0) {
      for (double& q : p) q = unit(rng);
    }
    if (row.frequencies == 2) {
      for (int k = 0; k < row.snps; k += 5) {
        p[static_cast<std::size_t>(k)] = k % 10 == 0 ? 0.0 : 1.0;
        g.codes[static_cast<std::size_t>((k % row.animals) * row.snps + k)] = kMissingGenotype;
      }
    }
    Progress progress(window);
    const DenseSymmetric G = GenomicRelationship(g, p, GenomicMethod::kVanRaden1, progress);
    ASSERT_EQ(G.n, row.animals) << row.name;
    std::vector<double> fromBlocks(static_cast<std::size_t>(row.animals * row.animals), 0.0);
    const GenomicRowOptions twoRows{true, true, 8 * row.animals * 2 * 2};
    ForEachGenomicRowBlock(g, p, GenomicMethod::kVanRaden1, twoRows, [&](const GenomicRowBlock& b) {
      for (std::int64_t i = b.first; i < b.end; ++i)
        for (std::int64_t j = 0; j < b.columns; ++j) fromBlocks[static_cast<std::size_t>(i * row.animals + j)] = b.At(i, j);
      return true;
    }, progress);
    for (int i = 0; i < row.animals; ++i) {
      for (int j = 0; j < row.animals; ++j) {
        const double plain = PlainG(g, p, GenomicMethod::kVanRaden1, i, j);
        EXPECT_NEAR(G.At(i, j), plain, kTolerance) << row.name << " at " << i << "," << j;
        EXPECT_NEAR(fromBlocks[static_cast<std::size_t>(i * row.animals + j)], plain, kTolerance)
            << row.name << " at " << i << "," << j;
        EXPECT_EQ(G.At(i, j), G.At(j, i)) << row.name << " at " << i << "," << j;
      }
    }
  }
}

}  // namespace
}  // namespace kinvar
