// Parentage by opposing homozygotes: the counts against brute force, and
// the calls against the truth of a simulated herd whose recorded pedigree
// has wrong and missing parents.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "genomics/parentage.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

Genotypes RandomGenotypes(std::int64_t animals, std::int64_t snps, double missing, std::mt19937& random) {
  Genotypes g;
  for (std::int64_t a = 0; a < animals; ++a) g.ids.push_back("A" + std::to_string(a));
  g.snps.resize(static_cast<std::size_t>(snps));
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::int64_t c = 0; c < animals * snps; ++c)
    g.codes.push_back(unit(random) < missing ? kMissingGenotype : static_cast<std::uint8_t>(random() % 3));
  return g;
}

TEST(Parentage, OpposingHomozygotesCountAsBruteForce) {
  struct Row {
    const char* name;
    std::int64_t snps;
    double missing;
  };
  const Row rows[] = {{"OneSnp", 1, 0.0},          {"OneWordLessOne", 63, 0.1}, {"OneWord", 64, 0.0},
                      {"OneWordAndOne", 65, 0.2},  {"Chip", 1000, 0.05},        {"AllMissing", 70, 1.0}};
  std::mt19937 random(3);
  for (const Row& row : rows) {
    const Genotypes g = RandomGenotypes(12, row.snps, row.missing, random);
    const PackedGenotypes packed = PackGenotypes(g);
    for (std::int64_t a = 0; a < g.AnimalCount(); ++a)
      for (std::int64_t b = 0; b < g.AnimalCount(); ++b) {
        std::int64_t opposing = 0, typed = 0;
        for (std::int64_t s = 0; s < row.snps; ++s) {
          const int x = g.At(a, s), y = g.At(b, s);
          if (x == kMissingGenotype || y == kMissingGenotype) continue;
          ++typed;
          if ((x == 0 && y == 2) || (x == 2 && y == 0)) ++opposing;
        }
        const OpposingHomozygotes count = CountOpposing(packed, a, b);
        ASSERT_EQ(count.opposing, opposing) << row.name << " " << a << " " << b;
        ASSERT_EQ(count.typedInBoth, typed) << row.name << " " << a << " " << b;
        if (typed == 0) ASSERT_TRUE(std::isnan(count.Rate())) << row.name;
        else ASSERT_DOUBLE_EQ(count.Rate(), static_cast<double>(opposing) / static_cast<double>(typed)) << row.name;
      }
  }
}

// A herd simulated generation by generation with unlinked SNPs, the true
// parents known; its recorded pedigree has some sires replaced by another
// male and some dams left unknown.
struct Herd {
  struct Animal {
    std::string id;
    int trueSire = -1, trueDam = -1;  // indexes, -1 founder
    int sire = -1, dam = -1;          // as recorded
    bool male = false;
    int year = 2000;
    bool genotyped = true;
  };
  std::vector<Animal> animals;
  std::vector<std::vector<std::uint8_t>> genotypes;

  std::string Text(bool dates) const {
    std::string text = dates ? "ID Sire Dam Sex Birth_date\n" : "ID Sire Dam Sex\n";
    for (const Animal& a : animals)
      text += a.id + " " + (a.sire < 0 ? "0" : animals[static_cast<std::size_t>(a.sire)].id) + " " +
              (a.dam < 0 ? "0" : animals[static_cast<std::size_t>(a.dam)].id) + " " + (a.male ? "M" : "F") +
              (dates ? " " + std::to_string(a.year) + "-03-01\n" : "\n");
    return text;
  }
};

Herd SimulateHerd(std::uint32_t seed, int snps, double errorRate) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> p(static_cast<std::size_t>(snps));
  for (double& x : p) x = 0.2 + 0.3 * unit(random);
  Herd herd;
  std::vector<std::vector<std::uint8_t>> haplotypes;  // two per animal
  const auto add = [&](int sire, int dam, int year) {
    Herd::Animal a;
    a.id = "X" + std::to_string(herd.animals.size());
    a.trueSire = a.sire = sire;
    a.trueDam = a.dam = dam;
    a.male = random() % 2 == 0;
    a.year = year;
    for (const int parent : {sire, dam}) {
      std::vector<std::uint8_t> h(static_cast<std::size_t>(snps));
      for (std::size_t s = 0; s < h.size(); ++s)
        h[s] = parent < 0 ? (unit(random) < p[s] ? 1 : 0)
                          : haplotypes[static_cast<std::size_t>(2 * parent) + random() % 2][s];
      haplotypes.push_back(std::move(h));
    }
    herd.animals.push_back(a);
  };
  for (int i = 0; i < 24; ++i) add(-1, -1, 2000);
  for (int generation = 1; generation <= 4; ++generation) {
    std::vector<int> males, females;
    for (std::size_t i = 0; i < herd.animals.size(); ++i) (herd.animals[i].male ? males : females).push_back(static_cast<int>(i));
    for (int i = 0; i < 30; ++i)
      add(males[random() % males.size()], females[random() % females.size()], 2000 + 2 * generation);
  }
  for (std::size_t i = 0; i < herd.animals.size(); ++i) {
    std::vector<std::uint8_t> g(static_cast<std::size_t>(snps));
    for (std::size_t s = 0; s < g.size(); ++s) {
      g[s] = static_cast<std::uint8_t>(haplotypes[2 * i][s] + haplotypes[2 * i + 1][s]);
      if (unit(random) < errorRate) g[s] = static_cast<std::uint8_t>(random() % 3);
      if (unit(random) < 0.01) g[s] = kMissingGenotype;
    }
    herd.genotypes.push_back(std::move(g));
  }
  // The recording's faults: another older male as sire, an unknown dam,
  // and animals never genotyped.
  for (Herd::Animal& a : herd.animals) {
    if (a.trueSire < 0) continue;
    const int fault = static_cast<int>(random() % 10);
    if (fault == 0) {
      for (int tries = 0; tries < 100; ++tries) {
        const int other = static_cast<int>(random() % herd.animals.size());
        const Herd::Animal& o = herd.animals[static_cast<std::size_t>(other)];
        if (o.male && o.year < a.year && other != a.trueSire) {
          a.sire = other;
          break;
        }
      }
    } else if (fault == 1) {
      a.dam = -1;
    }
    if (random() % 15 == 0) a.genotyped = false;
  }
  return herd;
}

struct Loaded {
  std::unique_ptr<Pedigree> ped;
  Genotypes genotypes;
  std::vector<RecIndex> recOf;
  std::vector<int> animalOf;  // genotype row -> herd index
};

Loaded LoadHerd(const Herd& herd, int snps, bool dates = true) {
  Loaded out;
  out.ped = test::Loaded(herd.Text(dates));
  out.genotypes.snps.resize(static_cast<std::size_t>(snps));
  for (std::size_t i = 0; i < herd.animals.size(); ++i) {
    if (!herd.animals[i].genotyped) continue;
    out.genotypes.ids.push_back(herd.animals[i].id);
    out.genotypes.codes.insert(out.genotypes.codes.end(), herd.genotypes[i].begin(), herd.genotypes[i].end());
    out.recOf.push_back(test::RecordOfId(*out.ped, herd.animals[i].id));
    out.animalOf.push_back(static_cast<int>(i));
  }
  return out;
}

bool IsAncestor(const Herd& herd, int ancestor, int of) {
  const Herd::Animal& a = herd.animals[static_cast<std::size_t>(of)];
  for (const int p : {a.sire, a.dam})
    if (p >= 0 && (p == ancestor || IsAncestor(herd, ancestor, p))) return true;
  return false;
}

// Every recorded parent is confirmed when true and excluded when not; the
// best candidate for an excluded or unknown parent is the true one when it
// was genotyped, and never the animal's descendant, of the other sex or born
// after it.
TEST(Parentage, CallsMatchTheTruthOfASimulatedHerd) {
  struct Row {
    const char* name;
    std::uint32_t seed;
    int snps;
    double errorRate;
    int threads;
    bool dates;
  };
  const Row rows[] = {{"NoErrors", 1, 800, 0.0, 1, true},
                      {"ChipErrors", 2, 1500, 0.002, 1, true},
                      {"TwoThreads", 3, 1500, 0.002, 2, true},
                      {"ManySnps", 4, 5000, 0.003, 2, true},
                      {"NoBirthDates", 6, 1500, 0.002, 1, false},
                      {"NoBirthDatesTwoThreads", 7, 1500, 0.002, 2, false}};
  for (const Row& row : rows) {
    const Herd herd = SimulateHerd(row.seed, row.snps, row.errorRate);
    const Loaded loaded = LoadHerd(herd, row.snps, row.dates);
    SilentProgressWindow window;
    Progress progress(window);
    progress.SetStage(0, 100, loaded.genotypes.AnimalCount(), "");
    ParentageOptions options;
    options.threads = row.threads;
    const ParentageResult result = CheckParentage(*loaded.ped, loaded.genotypes, loaded.recOf, options, progress);
    ASSERT_FALSE(result.canceled) << row.name;
    std::int64_t notGenotyped = 0;
    std::set<std::pair<int, int>> seen;
    int excluded = 0, searched = 0;
    for (const ParentCall& call : result.calls) {
      const int child = loaded.animalOf[static_cast<std::size_t>(call.offspring)];
      const Herd::Animal& a = herd.animals[static_cast<std::size_t>(child)];
      const bool sire = call.role == ParentRole::kSire;
      seen.insert({child, sire ? 0 : 1});
      const int recorded = sire ? a.sire : a.dam;
      const int truth = sire ? a.trueSire : a.trueDam;
      const std::string where = std::string(row.name) + " " + a.id + (sire ? " sire" : " dam");
      if (recorded < 0) {
        ASSERT_EQ(call.verdict, ParentVerdict::kUnknown) << where;
      } else {
        ASSERT_EQ(herd.animals[static_cast<std::size_t>(recorded)].id, loaded.ped->rec(call.recorded).Id()) << where;
        ASSERT_EQ(call.verdict, recorded == truth ? ParentVerdict::kConfirmed : ParentVerdict::kExcluded)
            << where << " rate " << call.recordedCount.Rate();
        excluded += call.verdict == ParentVerdict::kExcluded;
      }
      if (call.verdict == ParentVerdict::kConfirmed) {
        ASSERT_LT(call.best, 0) << where;
        continue;
      }
      ++searched;
      if (call.best < 0) continue;
      const int best = loaded.animalOf[static_cast<std::size_t>(call.best)];
      const Herd::Animal& b = herd.animals[static_cast<std::size_t>(best)];
      ASSERT_EQ(b.male, sire) << where;
      if (row.dates) {
        ASSERT_LT(b.year, a.year) << where;
      }
      ASSERT_FALSE(IsAncestor(herd, child, best)) << where << " proposes its descendant " << b.id;
      // Without dates a true offspring whose record names another parent
      // is as close as the true parent: opposing homozygotes have no
      // direction.
      const bool trueProgeny = b.trueSire == child || b.trueDam == child;
      if (truth >= 0 && herd.animals[static_cast<std::size_t>(truth)].genotyped && !(trueProgeny && !row.dates)) {
        ASSERT_EQ(b.id, herd.animals[static_cast<std::size_t>(truth)].id) << where;
        ASSERT_LE(call.bestCount.Rate(), options.exclusionThreshold) << where;
        ASSERT_GE(call.runnerUp, 0) << where;
        const Herd::Animal& second = herd.animals[static_cast<std::size_t>(loaded.animalOf[static_cast<std::size_t>(call.runnerUp)])];
        if (row.dates || (second.trueSire != child && second.trueDam != child)) {
          ASSERT_GT(call.runnerUpCount.Rate(), options.exclusionThreshold) << where;
        }
      }
    }
    // Every genotyped animal's genotyped or unknown parent has its call.
    for (std::size_t row2 = 0; row2 < loaded.animalOf.size(); ++row2) {
      const Herd::Animal& a = herd.animals[static_cast<std::size_t>(loaded.animalOf[row2])];
      for (const int role : {0, 1}) {
        const int recorded = role == 0 ? a.sire : a.dam;
        const bool expected = recorded < 0 || herd.animals[static_cast<std::size_t>(recorded)].genotyped;
        if (!expected) ++notGenotyped;
        ASSERT_EQ(seen.count({loaded.animalOf[row2], role}), expected ? 1U : 0U) << row.name << " " << a.id;
      }
    }
    EXPECT_EQ(result.parentsNotGenotyped, notGenotyped) << row.name;
    EXPECT_GT(excluded, 0) << row.name;
    EXPECT_GT(searched, excluded) << row.name;
  }
}

// With the search turned off nothing is proposed.
TEST(Parentage, SearchCanBeTurnedOff) {
  const Herd herd = SimulateHerd(5, 1000, 0.001);
  const Loaded loaded = LoadHerd(herd, 1000);
  SilentProgressWindow window;
  Progress progress(window);
  ParentageOptions options;
  options.searchCandidates = false;
  const ParentageResult result = CheckParentage(*loaded.ped, loaded.genotypes, loaded.recOf, options, progress);
  for (const ParentCall& call : result.calls) {
    EXPECT_LT(call.best, 0);
    EXPECT_EQ(call.candidates, 0);
  }
}

}  // namespace
}  // namespace kinvar
