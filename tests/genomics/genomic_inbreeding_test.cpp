#include "genomics/genomic_inbreeding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "genomics/genomic_relationship.h"

namespace kinvar {
namespace {

// Animals with long homozygous stretches on three autosomes, an X and a
// chromosome listed out of order, with some missing calls.
Genotypes Stretches(std::uint32_t seed, int animals) {
  std::mt19937 rng(seed);
  Genotypes g;
  const std::vector<std::string> chromosomes = {"1", "chr2", "X", "3"};
  for (const std::string& c : chromosomes) {
    for (int k = 0; k < 120; ++k) {
      // Positions out of file order on "3": the map must sort them.
      const std::int64_t position = c == "3" ? (k * 37 % 120) * 25000 + 1000 : k * 20000 + 500;
      g.snps.push_back({c, c + "_" + std::to_string(k), position, "A", "B"});
    }
  }
  for (int a = 0; a < animals; ++a) {
    g.ids.push_back("A" + std::to_string(a));
    bool homozygous = false;
    for (std::size_t k = 0; k < g.snps.size(); ++k) {
      if (rng() % 25 == 0) homozygous = !homozygous;
      std::uint8_t x = static_cast<std::uint8_t>(rng() % 3);
      if (homozygous && x == 1 && rng() % 20 != 0) x = 2;
      if (rng() % 40 == 0) x = kMissingGenotype;
      g.codes.push_back(x);
    }
  }
  return g;
}

// The rule as stated, by brute force: every window containing each SNP
// counted afresh, runs measured along positions sorted by the test.
RohSummary PlainRoh(const Genotypes& g, std::int64_t animal, const RohOptions& o) {
  RohSummary out;
  std::int64_t covered = 0;
  std::vector<std::string> names;
  for (const SnpInfo& s : g.snps) {
    if (IsAutosome(s.chromosome) && std::find(names.begin(), names.end(), s.chromosome) == names.end()) {
      names.push_back(s.chromosome);
    }
  }
  for (const std::string& name : names) {
    std::vector<std::pair<std::int64_t, std::int64_t>> order;  // position, SNP
    for (std::size_t k = 0; k < g.snps.size(); ++k) {
      if (g.snps[k].chromosome == name) order.emplace_back(g.snps[k].position, static_cast<std::int64_t>(k));
    }
    std::sort(order.begin(), order.end());
    covered += order.back().first - order.front().first;
    const int n = static_cast<int>(order.size());
    std::vector<bool> in(static_cast<std::size_t>(n), false);
    for (int k = 0; k < n; ++k) {
      int total = 0, hom = 0;
      for (int s = k - o.windowSnps + 1; s <= k; ++s) {
        if (s < 0 || s + o.windowSnps > n) continue;
        int het = 0, miss = 0;
        for (int t = s; t < s + o.windowSnps; ++t) {
          const std::uint8_t x = g.At(animal, order[static_cast<std::size_t>(t)].second);
          het += x == 1;
          miss += x == kMissingGenotype;
        }
        ++total;
        hom += het <= o.maxHet && miss <= o.maxMissing;
      }
      in[static_cast<std::size_t>(k)] = hom > 0 && hom >= o.minHomozygousShare * total;
    }
    for (int k = 0; k < n;) {
      if (!in[static_cast<std::size_t>(k)]) {
        ++k;
        continue;
      }
      int end = k;
      while (end < n && in[static_cast<std::size_t>(end)]) ++end;
      const std::int64_t length = order[static_cast<std::size_t>(end - 1)].first - order[static_cast<std::size_t>(k)].first;
      if (end - k >= o.minRunSnps && length >= o.minRunLength) {
        ++out.runs;
        out.length += length;
      }
      k = end;
    }
  }
  out.f = static_cast<double>(out.length) / static_cast<double>(covered);
  return out;
}

TEST(RunsOfHomozygosity, FollowTheWindowRuleOnEveryAnimal) {
  struct Row {
    std::string name;
    RohOptions options;
    bool runs;  // whether the herd has any
  };
  const std::vector<Row> rows = {
      {"small windows", {10, 1, 2, 0.05, 10, 100000}, true},
      {"every window must be homozygous", {8, 0, 0, 1.0, 5, 50000}, true},
      {"half the windows", {12, 1, 1, 0.5, 15, 200000}, true},
      {"windows wider than an autosome", {150, 1, 5, 0.05, 50, 1000000}, false},
  };
  const Genotypes g = Stretches(3, 25);
  const AutosomeMap map = MapAutosomes(g);
  ASSERT_EQ(map.snpsOf.size(), 3U);
  for (const Row& row : rows) {
    std::int64_t runs = 0;
    for (std::int64_t a = 0; a < g.AnimalCount(); ++a) {
      runs += RunsOfHomozygosity(g, map, a, row.options).runs;
      const RohSummary plain = PlainRoh(g, a, row.options);
      const RohSummary got = RunsOfHomozygosity(g, map, a, row.options);
      EXPECT_EQ(got.runs, plain.runs) << row.name << " animal " << a;
      EXPECT_EQ(got.length, plain.length) << row.name << " animal " << a;
      EXPECT_DOUBLE_EQ(got.f, plain.f) << row.name << " animal " << a;
      EXPECT_GE(got.f, 0.0);
      EXPECT_LE(got.f, 1.0);
    }
    EXPECT_EQ(runs > 0, row.runs) << row.name << ": " << runs << " runs";
  }
}

TEST(RunsOfHomozygosity, AutosomesAreWholeNumbers) {
  struct Row {
    std::string chromosome;
    bool autosome;
  };
  for (const Row& row : std::vector<Row>{{"1", true}, {"29", true}, {"chr5", true}, {"Chr12", true},
                                         {"X", false}, {"chrX", false}, {"MT", false}, {"0", false},
                                         {"", false}, {"1a", false}, {"chr", false}}) {
    EXPECT_EQ(IsAutosome(row.chromosome), row.autosome) << row.chromosome;
  }
}

TEST(GenomicInbreeding, DiagonalAndHomozygosityFollowTheirFormulas) {
  const Genotypes g = Stretches(5, 15);
  const std::vector<double> p = AlleleFrequencies(g);
  SilentProgressWindow window;
  Progress progress(window);
  const DenseSymmetric G = GenomicRelationship(g, p, GenomicMethod::kVanRaden1, progress);
  const RohOptions roh;
  const GenomicInbreedingResult result = GenomicInbreeding(g, p, roh, progress);
  ASSERT_EQ(result.animals.size(), 15U);
  for (std::int64_t a = 0; a < 15; ++a) {
    const GenomicF& f = result.animals[static_cast<std::size_t>(a)];
    EXPECT_NEAR(f.fG, G.At(a, a) - 1.0, 1e-12) << a;
    double observed = 0, expected = 0, called = 0;
    for (std::int64_t k = 0; k < g.SnpCount(); ++k) {
      const double q = p[static_cast<std::size_t>(k)];
      if (g.At(a, k) == kMissingGenotype || q <= 0 || q >= 1) continue;
      called += 1;
      observed += g.At(a, k) == 0 || g.At(a, k) == 2;
      expected += q * q + (1 - q) * (1 - q);
    }
    EXPECT_NEAR(f.fHom, (observed - expected) / (called - expected), 1e-12) << a;
    EXPECT_EQ(f.roh.length, PlainRoh(g, a, roh).length) << a;
  }
}

TEST(GenomicInbreeding, TheLineAndTheFurthestPointsMatchAPlainFit) {
  std::mt19937 rng(9);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<double> x, y;
  for (int i = 0; i < 60; ++i) {
    x.push_back(0.005 * i);
    y.push_back(i == 17 ? std::nan("") : 0.01 + 0.8 * x.back() + noise(rng));
  }
  const LineFit fit = FitAndFurthest(x, y, 10);
  double mx = 0, my = 0, n = 0;
  for (int i = 0; i < 60; ++i) {
    if (i == 17) continue;
    mx += x[i];
    my += y[i];
    n += 1;
  }
  mx /= n;
  my /= n;
  double sxx = 0, sxy = 0;
  for (int i = 0; i < 60; ++i) {
    if (i == 17) continue;
    sxx += (x[i] - mx) * (x[i] - mx);
    sxy += (x[i] - mx) * (y[i] - my);
  }
  EXPECT_NEAR(fit.slope, sxy / sxx, 1e-12);
  EXPECT_NEAR(fit.intercept, my - sxy / sxx * mx, 1e-12);
  std::vector<std::pair<double, int>> residuals;
  for (int i = 0; i < 60; ++i) {
    if (i != 17) residuals.emplace_back(-std::abs(y[i] - fit.intercept - fit.slope * x[i]), i);
  }
  std::sort(residuals.begin(), residuals.end());
  ASSERT_EQ(fit.furthest.size(), 10U);
  for (std::size_t k = 0; k < 10; ++k) EXPECT_EQ(fit.furthest[k], residuals[k].second) << k;
  EXPECT_TRUE(FitAndFurthest({0.1, 0.1}, {0.2, 0.4}, 5).slope == 0.0);
}

}  // namespace
}  // namespace kinvar
