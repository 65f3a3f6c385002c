// The summary figures at herd-book size: on pedigrees of 100,000 and
// 300,000 animals from the benchmarks' generator (fixed seeds), every
// figure keeps the relations that hold whatever the data (founder
// contributions adding up to 1, 0 <= F < 1, ancestral and purged inbreeding
// within their ranges, completeness in [0, 1], the mean kinship equal to
// half the average relatedness over the same animals) and fg <= fa <= fe,
// which these herd books keep though the definitions do not promise fa <=
// fe: references without a strong bottleneck, early birth years among
// them, can give fa above fe (diversity_test.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "analyses/decomposition_report.h"
#include "analyses/diversity.h"
#include "analyses/gene_origin.h"
#include "analyses/purging.h"
#include "analyses/relationship_averages.h"
#include "genetics/inbreeding.h"
#include "matings/population.h"
#include "pedigree/load.h"
#include "pedigree_generator.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Figures computed from 32-bit contributions agree with double ones to this.
constexpr double kRounding = 1e-6;

std::unique_ptr<Pedigree> Generated(const bench::GeneratorOptions& options) {
  const test::TempFile file("");
  bench::GeneratorSummary summary;
  std::string error;
  EXPECT_TRUE(bench::GeneratePedigreeFile(options, file.path(), summary, error)) << error;
  auto ped = std::make_unique<Pedigree>();
  SilentProgressWindow window;
  Progress progress(window);
  const LoadOutcome outcome = LoadPedigree(file.path(), *ped, progress);
  EXPECT_EQ(outcome.status, LoadStatus::kLoaded) << outcome.message;
  EXPECT_TRUE(ComputeInbreeding(*ped, progress));
  return ped;
}

DiversitySummary Summarize(Pedigree& ped, const ReferencePopulation& ref, const GenerationDepths& depths) {
  SilentProgressWindow window;
  Progress progress(window);
  progress.SetStage(0, 100, kMaxAncestorRounds, "");
  DiversitySummary s;
  EXPECT_TRUE(ComputeDiversity(ped, ref, depths, progress, s));
  return s;
}

void ExpectDiversityHolds(const DiversitySummary& s, const std::string& what) {
  const EffectiveAncestors& a = s.ancestors;
  EXPECT_GT(s.fg, 0.0) << what;
  EXPECT_LE(a.faLower, a.fa) << what;
  EXPECT_LE(s.fg, a.fa * (1 + kRounding)) << what;
  EXPECT_LE(a.faLower, s.founders.fe * (1 + kRounding)) << what;
  if (!a.stoppedAtLimit) {
    EXPECT_LE(a.fa, s.founders.fe * (1 + kRounding)) << what;
    EXPECT_NEAR(a.explained, 1.0, 1e-9) << what;
  }
  double sumQ = 0.0;
  for (const ChosenAncestor& c : a.chosen) sumQ += c.contribution;
  EXPECT_NEAR(sumQ, a.explained, 1e-9) << what;
  for (const double share : {s.completeness, s.meanF, s.meanCoancestry, 1.0 - s.meanCoancestry}) {
    EXPECT_GE(share, 0.0) << what;
    EXPECT_LE(share, 1.0) << what;
  }
  EXPECT_LT(s.meanF, 1.0) << what;
  EXPECT_LE(s.meanFullyTraced, s.meanEquivalent + kRounding) << what;
  EXPECT_LE(s.meanEquivalent, s.meanMaximum + kRounding) << what;
  EXPECT_TRUE(std::isnan(s.ne.ne) || s.ne.ne > 0.0) << what;
}

// Gene origin's contributions: the founders' and, for an animal with one
// unknown parent, that parent's half add up to 1.
void ExpectContributionsAddUp(const Pedigree& ped, std::int32_t group, const std::string& what) {
  const FounderContributions fc = ComputeFounderContributions(ped, group);
  double unknownHalves = 0.0;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    const Rec& r = ped.byCode(code - 1);
    if ((r.sire == kUnknownParent) != (r.dam == kUnknownParent))
      unknownHalves += static_cast<double>(fc.byCode[static_cast<std::size_t>(code)]) / 2;
  }
  EXPECT_NEAR(fc.sum + unknownHalves, 1.0, 1e-4) << what;
}

void ExpectPurgingHolds(Pedigree& ped, const ReferencePopulation& ref, const std::string& what) {
  std::vector<RecIndex> members;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (ref.byCode[static_cast<std::size_t>(code)] != 0) members.push_back(ped.records[static_cast<std::size_t>(code - 1)]);
  const AncestorSubset subset = BuildAncestorSubset(ped, members);
  std::vector<std::int32_t> reference;
  for (const RecIndex m : members) reference.push_back(subset.LocalOf(ped.rec(m)));
  double contributions = 0.0;
  for (const FounderOrigin& f : FounderOrigins(subset, reference, 0)) contributions += f.contribution;
  EXPECT_NEAR(contributions, 1.0, 1e-9) << what;
  SilentProgressWindow window;
  Progress progress(window);
  const std::vector<float> fa = BallouAncestralInbreeding(ped, subset);
  const auto g = PurgedInbreeding(ped, subset, 0.2f, 2, progress);
  ASSERT_TRUE(g) << what;
  for (std::size_t k = 1; k < subset.recOf.size(); ++k) {
    const float f = ped.rec(subset.recOf[k]).f;
    ASSERT_GE(fa[k], 0.0f) << what << " local " << k;
    ASSERT_LT(fa[k], 1.0f) << what << " local " << k;
    ASSERT_GE((*g)[k], 0.0f) << what << " local " << k;
    ASSERT_LE((*g)[k], f + 1e-6f) << what << " local " << k;
  }
}

struct PedigreeRow {
  const char* name;
  bench::GeneratorOptions options;
  std::vector<int> groups;  // group numbers to take as references
  bool everyone;            // and every individual
};

TEST(SummaryInvariants, HoldOnGeneratedHerdBooks) {
  bench::GeneratorOptions herdBook;
  herdBook.individuals = 300000;
  herdBook.seed = 7;
  bench::GeneratorOptions deep;
  deep.individuals = 100000;
  deep.seed = 3;
  deep.deepGenerations = 12;
  deep.fColumn = true;
  const PedigreeRow rows[] = {
      {"300,000 animals, seed 7", herdBook, {1, 13, 25}, false},
      {"100,000 animals in 12 deep generations", deep, {1, 6, 12}, true},
  };
  for (const PedigreeRow& row : rows) {
    auto ped = Generated(row.options);
    for (std::int32_t code = 1; code <= ped->nTotal; ++code) {
      const float f = ped->byCode(code - 1).f;
      ASSERT_GE(f, 0.0f) << row.name << " code " << code;
      ASSERT_LT(f, 1.0f) << row.name << " code " << code;
    }
    const GenerationDepths depths = TraceGenerations(*ped);
    for (const int number : row.groups) {
      const std::string what = std::string(row.name) + ", group " + std::to_string(number);
      const std::int32_t index = GroupIndexOf(*ped, number);
      ASSERT_GE(index, 0) << what;
      const ReferencePopulation ref = GroupReference(*ped, index);
      const DiversitySummary s = Summarize(*ped, ref, depths);
      ExpectDiversityHolds(s, what);
      ExpectContributionsAddUp(*ped, index, what);
      EXPECT_NEAR(ComputeMeanKinship(*ped, ref).meanMk, s.meanCoancestry, 1e-5) << what;
    }
    ExpectPurgingHolds(*ped, GroupReference(*ped, GroupIndexOf(*ped, row.groups.back())), row.name);
    if (!row.everyone) continue;
    const std::string what = std::string(row.name) + ", every individual";
    const ReferencePopulation all = WholeReference(*ped);
    const DiversitySummary s = Summarize(*ped, all, depths);
    ExpectDiversityHolds(s, what);
    // The mean kinship is half the mean of the average relatedness, over
    // the same animals.
    ASSERT_TRUE(ped->copyFile.Create());
    ReportAverageRelatedness(*ped);
    const ResultTable* ar = ped->report.tables().Find("average_relatedness");
    ASSERT_NE(ar, nullptr);
    double sum = 0.0;
    for (std::size_t i = 0; i < ar->rows(); ++i) sum += ar->column(1).Real(i);
    const double meanAr = sum / static_cast<double>(ar->rows());
    EXPECT_NEAR(ComputeMeanKinship(*ped, all).meanMk, meanAr / 2, 1e-5) << what;
    EXPECT_NEAR(s.meanCoancestry, meanAr / 2, 1e-5) << what;
  }
}

// The herd book's founders of the first year: 6998 unrelated animals, whose
// fa is their number, as fe and fg are.
TEST(SummaryInvariants, AGroupOfFoundersHasFaEqualToFe) {
  bench::GeneratorOptions options;
  options.individuals = 300000;
  options.seed = 7;
  auto ped = Generated(options);
  const ReferencePopulation founders = GroupReference(*ped, GroupIndexOf(*ped, 0));
  ASSERT_EQ(founders.members, 6998);
  const DiversitySummary s = Summarize(*ped, founders, TraceGenerations(*ped));
  EXPECT_FALSE(s.ancestors.stoppedAtLimit);
  EXPECT_NEAR(s.founders.fe, 6998.0, 6998.0 * kRounding);
  EXPECT_NEAR(s.ancestors.fa, 6998.0, 6998.0 * kRounding);
  EXPECT_NEAR(s.fg, 6998.0, 6998.0 * kRounding);
  EXPECT_LE(s.ancestors.fa, s.founders.fe * (1 + kRounding));
}

}  // namespace
}  // namespace kinvar
