// The shared genotype input: animals matched to the pedigree by its ID
// rules and put in code order, quality control in its stated order checked
// against a direct count, the report, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "genomics/genotype_input.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Founders F1, F2 and M1 (given as a parent only), progeny P1 and P2 listed
// before their parents, so file order and code order differ.
constexpr const char* kPedigree =
    "Progeny Sire Dam\n"
    "P2 F1 M1\n"
    "P1 F1 F2\n"
    "F1 0 0\n"
    "F2 0 0\n";

GenotypeInput Read(const Pedigree& ped, const std::string& text, GenotypeQcOptions qc = {}) {
  const test::TempFile file(text, ".txt");
  SilentProgressWindow window;
  Progress progress(window);
  GenotypeInputOptions options{file.path(), "", qc};
  return ReadGenotypeInput(ped, options, progress);
}

std::vector<std::string> IdsOfRecords(const Pedigree& ped, const std::vector<RecIndex>& recs) {
  std::vector<std::string> ids;
  for (const RecIndex r : recs) ids.emplace_back(ped.rec(r).Id());
  return ids;
}

TEST(GenotypeInput, MatchesByPedigreeIdRulesInCodeOrder) {
  const auto ped = test::Loaded(kPedigree);
  const GenotypeInput input = Read(*ped, "p2 0121\nX9 1111\nf1 2101\nM1 0011\n");
  ASSERT_EQ(input.error, "");
  ASSERT_EQ(input.genotypes.AnimalCount(), 3);
  // Rows in code order, each row the genotypes of its own record.
  for (std::size_t k = 0; k + 1 < input.recOf.size(); ++k)
    EXPECT_LT(ped->rec(input.recOf[k]).code, ped->rec(input.recOf[k + 1]).code);
  std::vector<std::string> ids = IdsOfRecords(*ped, input.recOf);
  std::vector<std::string> sorted = ids;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"F1", "M1", "P2"}));
  for (std::size_t k = 0; k < ids.size(); ++k) {
    const std::string codes = ids[k] == "P2" ? "0121" : ids[k] == "F1" ? "2101" : "0011";
    for (std::size_t j = 0; j < 4; ++j)
      EXPECT_EQ(input.genotypes.At(static_cast<std::int64_t>(k), static_cast<std::int64_t>(j)), codes[j] - '0')
          << ids[k];
  }
  EXPECT_EQ(input.notInPedigree, std::vector<std::string>{"X9"});
  EXPECT_EQ(input.pedigreeWithoutGenotypes, 2);
  std::vector<std::string> without = IdsOfRecords(*ped, input.withoutGenotypes);
  std::sort(without.begin(), without.end());
  EXPECT_EQ(without, (std::vector<std::string>{"F2", "P1"}));
}

TEST(GenotypeInput, AnIdBeyondTheLengthLimitIsNotInThePedigree) {
  const auto ped = test::Loaded(kPedigree);
  const GenotypeInput input = Read(*ped, "F1 01\nF1XXXXXXXXXXXXXXXXXXXXXXXX 01\nF2 10\n");
  EXPECT_EQ(input.error, "");
  EXPECT_EQ(input.notInPedigree, std::vector<std::string>{"F1XXXXXXXXXXXXXXXXXXXXXXXX"});
}

// The rules written out once more, plainly: which animals and SNPs survive.
struct Expected {
  std::vector<std::int64_t> animals;
  std::vector<std::int64_t> snps;
  std::int64_t dropped[4] = {0, 0, 0, 0};
};

Expected DirectQc(const std::vector<std::vector<int>>& g, const GenotypeQcOptions& qc) {
  Expected e;
  const std::size_t m = g.empty() ? 0 : g[0].size();
  for (std::size_t a = 0; a < g.size(); ++a) {
    const auto called = std::count_if(g[a].begin(), g[a].end(), [](int c) { return c != 9; });
    if (static_cast<double>(called) / static_cast<double>(m) >= qc.minAnimalCallRate)
      e.animals.push_back(static_cast<std::int64_t>(a));
    else
      ++e.dropped[0];
  }
  for (std::size_t j = 0; j < m; ++j) {
    int called = 0, copies = 0;
    for (const std::int64_t a : e.animals) {
      const int c = g[static_cast<std::size_t>(a)][j];
      if (c != 9) ++called, copies += c;
    }
    const double rate = e.animals.empty() ? 0.0 : double(called) / double(e.animals.size());
    const double p = called == 0 ? 0.0 : copies / (2.0 * called);
    if (rate < qc.minSnpCallRate) ++e.dropped[1];
    else if (copies == 0 || copies == 2 * called) ++e.dropped[2];
    else if (std::min(p, 1 - p) < qc.minMaf) ++e.dropped[3];
    else e.snps.push_back(static_cast<std::int64_t>(j));
  }
  return e;
}

TEST(GenotypeInput, QualityControlAgreesWithADirectCountOnRandomFiles) {
  std::string pedigree = "Progeny Sire Dam\n";
  for (int a = 0; a < 40; ++a) pedigree += "A" + std::to_string(a) + " 0 0\n";
  const auto ped = test::Loaded(pedigree);
  for (std::uint32_t seed = 1; seed <= 30; ++seed) {
    std::mt19937 random(seed);
    const int n = 5 + static_cast<int>(random() % 30), m = 1 + static_cast<int>(random() % 60);
    const double missing = (random() % 30) / 100.0, rare = (random() % 10) / 100.0;
    std::vector<std::vector<int>> g(static_cast<std::size_t>(n), std::vector<int>(static_cast<std::size_t>(m)));
    std::string text;
    for (int a = 0; a < n; ++a) {
      text += "A" + std::to_string(a) + " ";
      for (int j = 0; j < m; ++j) {
        int c = std::uniform_real_distribution<>(0, 1)(random) < rare + j % 3 * 0.2 ? 1 + (j % 2) : 0;
        if (std::uniform_real_distribution<>(0, 1)(random) < missing * (a % 3)) c = 9;
        g[static_cast<std::size_t>(a)][static_cast<std::size_t>(j)] = c;
        text += static_cast<char>('0' + (c == 9 && j % 2 ? 5 : c));
      }
      text += "\n";
    }
    const GenotypeQcOptions qc{0.5 + (random() % 50) / 100.0, 0.5 + (random() % 50) / 100.0,
                               (random() % 20) / 100.0};
    const Expected e = DirectQc(g, qc);
    const GenotypeInput input = Read(*ped, text, qc);
    const std::string name = "seed " + std::to_string(seed);
    ASSERT_EQ(input.genotypes.AnimalCount(), static_cast<std::int64_t>(e.animals.size())) << name;
    ASSERT_EQ(input.genotypes.SnpCount(), static_cast<std::int64_t>(e.snps.size())) << name;
    const TableColumn& dropped = input.qcTable.column(4);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(dropped.Integer(k), e.dropped[k]) << name << " step " << k + 1;
    EXPECT_EQ(input.droppedTable.rows(),
              static_cast<std::size_t>(e.dropped[0] + e.dropped[1] + e.dropped[2] + e.dropped[3])) << name;
    for (std::size_t k = 0; k < e.animals.size(); ++k) {
      // Rows come in code order, not file order: find the animal by its ID.
      const auto a = static_cast<std::size_t>(std::stoi(std::string(ped->rec(input.recOf[k]).Id().substr(1))));
      ASSERT_TRUE(std::count(e.animals.begin(), e.animals.end(), static_cast<std::int64_t>(a)) == 1) << name;
      for (std::size_t j = 0; j < e.snps.size(); ++j)
        ASSERT_EQ(input.genotypes.At(static_cast<std::int64_t>(k), static_cast<std::int64_t>(j)),
                  g[a][static_cast<std::size_t>(e.snps[j])]) << name;
    }
    if (e.animals.empty() || e.snps.empty()) {
      EXPECT_NE(input.error, "") << name;
    }
  }
}

TEST(GenotypeInput, ThresholdsKeepWhatReachesThem) {
  std::string pedigree = "Progeny Sire Dam\n";
  for (int a = 0; a < 10; ++a) pedigree += "A" + std::to_string(a) + " 0 0\n";
  const auto ped = test::Loaded(pedigree);
  // SNP 1 called in 9 of 10 animals; SNP 2 with one copy of an allele in
  // twenty (MAF 0.05); SNP 3 all heterozygous (p = 0.5, not monomorphic).
  std::string text;
  for (int a = 0; a < 10; ++a)
    text += "A" + std::to_string(a) + " " + (a == 0 ? "9" : a % 2 ? "1" : "0") + (a == 3 ? "1" : "0") + "1\n";
  const GenotypeInput kept = Read(*ped, text, {0.9, 0.5, 0.05});
  EXPECT_EQ(kept.genotypes.SnpCount(), 3);
  const GenotypeInput dropped = Read(*ped, text, {0.91, 0.5, 0.051});
  EXPECT_EQ(dropped.genotypes.SnpCount(), 1);
}

TEST(GenotypeInput, ReportsCountsAndStepsInOrder) {
  const auto ped = test::Loaded(kPedigree);
  const GenotypeInput input = Read(*ped, "P2 0121001210\nX9 1111011110\nF1 2101021019\nM1 9901999999\n");
  ASSERT_EQ(input.error, "");
  const std::vector<std::string> lines(input.reportLines.begin() + 1, input.reportLines.end());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Animals in the file: 4",
                       "  in the pedigree: 3",
                       "  not in the pedigree: 1",
                       "  not in the pedigree: X9",
                       "Pedigree animals without genotypes: 2",
                       "SNPs in the file: 10",
                       "Quality control, in this order:",
                       "  1. Animals with call rate below 0.9: 1 dropped, 2 left",
                       "  2. SNPs with call rate below 0.9: 1 dropped, 9 left",
                       "  3. Monomorphic SNPs: 1 dropped, 8 left",
                       "  4. SNPs with minor allele frequency below 0.01: 0 dropped, 8 left",
                       "Kept: 2 animals, 8 SNPs",
                   }));
  EXPECT_EQ(input.droppedTable.rows(), 3u);
  EXPECT_EQ(input.droppedTable.column(1).Text(0), "M1");
  EXPECT_EQ(input.droppedTable.column(1).Text(1), "SNP5");
  EXPECT_EQ(input.droppedTable.column(2).Text(1), "monomorphic");
  EXPECT_EQ(input.droppedTable.column(1).Text(2), "SNP10");
  EXPECT_EQ(input.droppedTable.column(2).Text(2), "SNP call rate");
}

TEST(GenotypeInput, RefusesWhatCannotGiveFigures) {
  const auto ped = test::Loaded(kPedigree);
  struct Row {
    const char* name;
    std::string text;
    GenotypeQcOptions qc;
    std::string start;  // of the message
  };
  const Row rows[] = {
      {"nobody in the pedigree", "X1 012\nX2 210\n", {}, "Error: No genotyped animal of "},
      {"every SNP monomorphic", "F1 000\nF2 000\n", {}, "Error: No SNP of "},
      {"every animal below its call rate", "F1 909\nF2 099\n", {}, "Error: No genotyped animal of "},
      {"a call rate above 1", "F1 012\n", {1.5, 0.9, 0.01}, "Error: The minimum SNP call rate must be"},
      {"a negative call rate", "F1 012\n", {0.9, -0.1, 0.01}, "Error: The minimum animal call rate must be"},
      {"a MAF above one half", "F1 012\n", {0.9, 0.9, 0.6}, "Error: The minimum minor allele frequency must be"},
      {"a NaN threshold", "F1 012\n", {std::nan(""), 0.9, 0.01}, "Error: The minimum SNP call rate must be"},
  };
  for (const Row& row : rows) {
    const GenotypeInput input = Read(*ped, row.text, row.qc);
    EXPECT_EQ(input.error.substr(0, row.start.size()), row.start) << row.name << ": " << input.error;
  }
}

TEST(GenotypeInput, UnknownFormatIsRefused) {
  const auto ped = test::Loaded(kPedigree);
  SilentProgressWindow window;
  Progress progress(window);
  const GenotypeInput input = ReadGenotypeInput(*ped, {"g.txt", "csv", {}}, progress);
  EXPECT_EQ(input.error, "Error: \"csv\" is not a genotype format; the formats are plink, vcf and text.");
}

TEST(GenotypeInput, FormatFollowsTheExtension) {
  struct Row {
    const char* path;
    const char* format;
  };
  const Row rows[] = {{"a.bed", "plink"}, {"A.BED", "plink"}, {"a.vcf", "vcf"}, {"a.vcf.gz", "vcf"},
                      {"a.bcf", "vcf"},   {"a.txt", "text"},  {"a.dat", "text"}, {"bed", "text"}};
  for (const Row& row : rows) EXPECT_EQ(GenotypeFormatOf({row.path, "", {}}), row.format) << row.path;
  EXPECT_EQ(GenotypeFormatOf({"a.bed", "text", {}}), "text");
}

}  // namespace
}  // namespace kinvar
