// The generator's genotypes: Mendelian inheritance through the true
// pedigree, the wrong parents it lists and only those, founder frequencies
// within the spread asked for, the same genotypes for the same seed, and
// its files read back by the readers as they were.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "genomics/genotype_reader.h"
#include "genotype_generator.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using bench::GenotypeGeneratorOptions;
using bench::SimulatedGenotypes;

// SNPs where parent and offspring are opposing homozygotes, which no
// parent and its offspring can be.
int Opposing(const Genotypes& g, std::int64_t a, std::int64_t b) {
  int count = 0;
  for (std::int64_t j = 0; j < g.SnpCount(); ++j) {
    const int x = g.At(a, j), y = g.At(b, j);
    count += (x == 0 && y == 2) || (x == 2 && y == 0);
  }
  return count;
}

std::unique_ptr<Pedigree> RandomHerd(std::uint64_t seed) {
  test::RandomPedigreeOptions options;
  options.seed = seed;
  options.size = 150;
  options.founders = 20;
  auto ped = test::Loaded(test::MakeRandomPedigree(options).text);
  EnsureCodeOrder(*ped);
  return ped;
}

TEST(GenotypeGenerator, OffspringInheritFromTheirTrueParentsOnly) {
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    const auto ped = RandomHerd(seed);
    GenotypeGeneratorOptions options;
    options.snps = 3000;
    options.seed = seed;
    options.wrongParents = seed == 1 ? 0.0 : 0.2;
    options.linkage = seed == 3 ? 0.01 : 0.5;
    const SimulatedGenotypes s = bench::SimulateGenotypes(*ped, options);
    ASSERT_EQ(s.genotypes.AnimalCount(), ped->nTotal);
    std::set<std::pair<std::string, std::string>> wrong;
    for (const bench::WrongParent& w : s.wrong) wrong.insert({w.animal, w.role});
    if (seed == 1) EXPECT_TRUE(s.wrong.empty());
    else EXPECT_FALSE(s.wrong.empty());
    int wrongSeen = 0;
    for (RecIndex r = 1; r <= ped->nTotal; ++r) {
      for (const std::string role : {"sire", "dam"}) {
        const RecIndex parent = role == "sire" ? ped->rec(r).sire : ped->rec(r).dam;
        if (parent == kUnknownParent) continue;
        const int opposing = Opposing(s.genotypes, r - 1, parent - 1);
        const std::string name = "seed " + std::to_string(seed) + " " + ped->rec(r).id + " " + role;
        if (wrong.count({ped->rec(r).id, role}) == 0) EXPECT_EQ(opposing, 0) << name;
        else wrongSeen += opposing > 0;
      }
    }
    // A wrong parent may be a close relative of the true one, but hardly
    // ever so close that 3000 SNPs show no conflict.
    EXPECT_GE(wrongSeen * 10, static_cast<int>(s.wrong.size()) * 9) << seed;
  }
}

TEST(GenotypeGenerator, FounderFrequenciesStayWithinTheSpread) {
  test::RandomPedigreeOptions herd;
  herd.size = 600;
  herd.founders = 600;
  const auto ped = test::Loaded(test::MakeRandomPedigree(herd).text);
  EnsureCodeOrder(*ped);
  GenotypeGeneratorOptions options;
  options.snps = 200;
  options.mafSpread = 0.1;
  const Genotypes g = bench::SimulateGenotypes(*ped, options).genotypes;
  for (std::int64_t j = 0; j < g.SnpCount(); ++j) {
    double sum = 0;
    for (std::int64_t a = 0; a < g.AnimalCount(); ++a) sum += g.At(a, j);
    const double p = sum / (2.0 * static_cast<double>(g.AnimalCount()));
    // 1200 alleles: a standard error of at most 0.015 around [0.4, 0.6].
    EXPECT_GT(p, 0.33) << j;
    EXPECT_LT(p, 0.67) << j;
  }
}

TEST(GenotypeGenerator, TheSameSeedGivesTheSameGenotypes) {
  const auto ped = RandomHerd(7);
  GenotypeGeneratorOptions options;
  options.snps = 100;
  options.missing = 0.1;
  options.wrongParents = 0.1;
  const SimulatedGenotypes a = bench::SimulateGenotypes(*ped, options);
  const SimulatedGenotypes b = bench::SimulateGenotypes(*ped, options);
  EXPECT_EQ(a.genotypes.codes, b.genotypes.codes);
  EXPECT_EQ(a.wrong.size(), b.wrong.size());
  options.seed = 2;
  EXPECT_NE(bench::SimulateGenotypes(*ped, options).genotypes.codes, a.genotypes.codes);
  const auto missing = std::count(a.genotypes.codes.begin(), a.genotypes.codes.end(), kMissingGenotype);
  EXPECT_NEAR(static_cast<double>(missing) / static_cast<double>(a.genotypes.codes.size()), 0.1, 0.02);
}

TEST(GenotypeGenerator, ItsFilesReadBackAsWritten) {
  const auto ped = RandomHerd(3);
  GenotypeGeneratorOptions options;
  options.snps = 77;  // a last byte of the .bed half full
  options.missing = 0.05;
  const Genotypes g = bench::SimulateGenotypes(*ped, options).genotypes;
  const std::string prefix = ::testing::TempDir() + "generated";
  std::string error;
  ASSERT_TRUE(bench::WriteTextGenotypes(g, prefix + ".txt", error)) << error;
  ASSERT_TRUE(bench::WritePlinkSet(g, prefix, error)) << error;
  SilentProgressWindow window;
  Progress progress(window);
  for (const GenotypeFile& read : {ReadTextGenotypes(prefix + ".txt", progress),
                                   ReadPlinkGenotypes(prefix + ".bed", progress)}) {
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(read.genotypes.ids, g.ids);
    EXPECT_EQ(read.genotypes.codes, g.codes);
  }
  for (const char* ext : {".txt", ".bed", ".bim", ".fam"}) std::remove((prefix + ext).c_str());
}

}  // namespace
}  // namespace kinvar
