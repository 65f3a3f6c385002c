// Generation intervals: a small pedigree worked by hand (every pathway, the
// exact lines of the structure report and the diversity summary), and random
// pedigrees with random sexes and dates against a one-pass computation from
// the IDs alone.
#include "analyses/generation_interval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analyses/decomposition_report.h"
#include "analyses/diversity.h"
#include "analyses/structure.h"
#include "genetics/inbreeding.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"
#include "support/written_columns.h"

namespace kinvar {
namespace {

using test::DayNumber;

struct Known {
  Sex sex = Sex::kUnknown;
  std::int32_t birth = kUnknownBirth;
};

// Gives the records their sex and date as a file with both columns would.
void Record(Pedigree& ped, const std::map<std::string, Known>& known) {
  ped.sexColumn = 3;
  ped.birthColumn = 4;
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const auto it = known.find(std::string(ped.rec(i).Id()));
    if (it == known.end()) continue;
    ped.rec(i).sex = it->second.sex;
    ped.rec(i).birth = it->second.birth;
  }
}

// S and D have sons and daughters; A and B have a daughter and a progeny of
// unknown sex; G has no date; group 2 holds C and E.
constexpr const char* kFamily =
    "progeny sire dam group\nS 0 0 1\nD 0 0 1\nA S D 1\nB S D 1\nC A B 2\nE A B 2\nG S 0 .\n";

std::map<std::string, Known> FamilyDates() {
  return {{"S", {Sex::kMale, DayNumber(2000, 1, 1)}},   {"D", {Sex::kFemale, DayNumber(2002, 1, 1)}},
          {"A", {Sex::kMale, DayNumber(2005, 1, 1)}},   {"B", {Sex::kFemale, DayNumber(2006, 1, 1)}},
          {"C", {Sex::kFemale, DayNumber(2010, 1, 1)}}, {"E", {Sex::kUnknown, DayNumber(2011, 7, 2)}},
          {"G", {Sex::kMale, kUnknownBirth}}};
}

// The ages in days, worked out on a calendar: S-A 1827, D-A 1096, S-B 2192,
// D-B 1461, A-C 1826, B-C 1461, A-E 2373, B-E 2008.
const std::vector<std::string> kFamilyBlock = {
    "Mean age of parents at the birth of their progeny:",
    "|T3Years|T4Pairs|T4SD",
    "Generation interval sire-son|T3|I5.00205|T41|T4-",
    "Generation interval sire-daughter|T3|I5.50034|T42|T40.708559",
    "Generation interval dam-son|T3|I3.00068|T41|T4-",
    "Generation interval dam-daughter|T3|I4|T42|T40",
    "Generation interval overall|T3|I4.87474|T48|T41.15653",
};

TEST(GenerationIntervals, OfAFamilyWorkedByHand) {
  auto ped = test::Loaded(kFamily);
  Record(*ped, FamilyDates());
  EXPECT_EQ(GenerationIntervalLines(*ped, ComputeGenerationIntervals(*ped)), kFamilyBlock);
  // Group 2 as progeny: C and E only; the overall ages 1826, 1461, 2373 and
  // 2008 days have the mean 1917 and the squared deviations 432434.
  EnsureCodeOrder(*ped);
  const ReferencePopulation ref = GroupReference(*ped, GroupIndexOf(*ped, 2));
  EXPECT_EQ(GenerationIntervalLines(*ped, ComputeGenerationIntervals(*ped, &ref.byCode)),
            (std::vector<std::string>{
                kFamilyBlock[0], kFamilyBlock[1], "Generation interval sire-son|T3|I-|T40|T4-",
                "Generation interval sire-daughter|T3|I4.99932|T41|T4-",
                "Generation interval dam-son|T3|I-|T40|T4-",
                "Generation interval dam-daughter|T3|I4|T41|T4-",
                "Generation interval overall|T3|I5.24846|T44|T41.03946"}));
}

std::vector<std::string> StructureLines(Pedigree& ped) {
  SilentProgressWindow window;
  Progress progress(window);
  EnsureCodeOrder(ped);
  StructureCensus census;
  EXPECT_TRUE(ComputeStructure(ped, progress, census));
  WriteStructureReport(ped, census);
  return test::ReportLines(ped);
}

std::vector<std::string> DiversityLines(Pedigree& ped) {
  SilentProgressWindow window;
  Progress progress(window);
  progress.SetStage(0, 100, kMaxAncestorRounds, "");
  EnsureCodeOrder(ped);
  const ReferencePopulation ref = WholeReference(ped);
  DiversitySummary s;
  EXPECT_TRUE(ComputeDiversity(ped, ref, TraceGenerations(ped), progress, s));
  WriteDiversityReport(ped, s, {});
  return test::ReportLines(ped);
}

// The block is the only difference a Birth date column makes, and stands
// where each report says: before the list of founders without progeny, and
// after the figures of Ne.
TEST(GenerationIntervals, AddOneBlockToTheReportsAndChangeNoOtherLine) {
  struct Row {
    const char* name;
    bool structure;
    std::string before;  // the line the block follows, after an empty line
  };
  const Row rows[] = {{"structure", true, std::string(83, '-')},
                      {"diversity", false, "Individuals left out of Ne|T3|I5"}};
  for (const Row& row : rows) {
    auto ped = test::Loaded(kFamily);
    ped->settings.listFounders = 1;
    const auto lines = [&] { return row.structure ? StructureLines(*ped) : DiversityLines(*ped); };
    const std::vector<std::string> without = lines();
    Record(*ped, FamilyDates());
    std::vector<std::string> with = lines();
    const auto at = std::find(with.begin(), with.end(), kFamilyBlock[0]);
    ASSERT_NE(at, with.end()) << row.name;
    ASSERT_GE(at - with.begin(), 2) << row.name;
    EXPECT_EQ(*(at - 1), "") << row.name;
    EXPECT_EQ(*(at - 2), row.before) << row.name;
    EXPECT_EQ(std::vector<std::string>(at, at + 7), kFamilyBlock) << row.name;
    with.erase(at - 1, at + 7);
    EXPECT_EQ(with, without) << row.name;
  }
}

// Mean and standard deviation per pathway from the IDs of the random
// pedigree, by the sums of the ages and of their squares.
struct Sums { std::int64_t n = 0; long double sum = 0, squares = 0; };

TEST(GenerationIntervals, AgreeWithSumsOverTheIdsOnRandomPedigrees) {
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 200);
    options.groupColumn = true;
    const test::RandomPedigree rp = test::MakeRandomPedigree(options);
    auto ped = test::Loaded(rp.text);
    // Dates that put parents before progeny most of the time, and unknown
    // sexes and dates now and then.
    std::mt19937 g(static_cast<std::uint32_t>(seed));
    std::map<std::string, Known> known;
    for (const int i : test::ParentsFirstOrder(rp.individuals)) {
      const test::RandomIndividual& r = rp.individuals[static_cast<std::size_t>(i)];
      Known k;
      k.sex = static_cast<Sex>(g() % 3);
      if (r.listed && g() % 8 != 0) k.birth = DayNumber(1950, 1, 1) + static_cast<std::int32_t>(g() % 20000);
      known[r.id] = k;
    }
    Record(*ped, known);
    const int group = rp.individuals.front().group;
    EnsureCodeOrder(*ped);
    const ReferencePopulation ref = GroupReference(*ped, GroupIndexOf(*ped, group));
    for (const bool all : {true, false}) {
      std::array<Sums, kPathways> sums{};
      for (const test::RandomIndividual& r : rp.individuals) {
        const Known& k = known[r.id];
        if (k.birth == kUnknownBirth || (!all && r.group != group)) continue;
        for (const auto& [parent, dam] : {std::pair{r.sire, 0}, std::pair{r.dam, 1}}) {
          if (parent.empty() || known[parent].birth == kUnknownBirth) continue;
          const long double age = k.birth - known[parent].birth;
          std::vector<int> paths{kOverall};
          if (k.sex != Sex::kUnknown) paths.push_back(2 * dam + (k.sex == Sex::kFemale ? 1 : 0));
          for (const int p : paths) {
            Sums& s = sums[static_cast<std::size_t>(p)];
            ++s.n;
            s.sum += age;
            s.squares += age * age;
          }
        }
      }
      const GenerationIntervals got = ComputeGenerationIntervals(*ped, all ? nullptr : &ref.byCode);
      const std::string where = "seed " + std::to_string(seed) + (all ? " all" : " group");
      for (std::size_t p = 0; p < kPathways; ++p) {
        const Sums& s = sums[p];
        ASSERT_EQ(got[p].pairs, s.n) << where << " pathway " << p;
        if (s.n == 0) continue;
        const long double mean = s.sum / s.n;
        EXPECT_NEAR(got[p].years, static_cast<double>(mean / 365.25L), 1e-9) << where;
        if (s.n < 2) continue;
        const long double variance = (s.squares - s.sum * mean) / (s.n - 1);
        EXPECT_NEAR(got[p].sd, static_cast<double>(std::sqrt(std::max(variance, 0.0L)) / 365.25L),
                    1e-6)
            << where << " pathway " << p;
      }
    }
  }
}

// Ages over thousands of years and a million pairs stay exact in the
// 64-bit day sums.
TEST(GenerationIntervals, SumLargeAgesWithoutOverflow) {
  std::string text = "progeny sire dam\nS 0 0\n";
  const int n = 200000;
  for (int i = 0; i < n; ++i) text += "P" + std::to_string(i) + " S 0\n";
  auto ped = test::Loaded(text);
  ped->sexColumn = 3;
  ped->birthColumn = 4;
  ped->rec(1).birth = DayNumber(-9000, 1, 1);
  for (RecIndex i = 2; i <= ped->nTotal; ++i) {
    ped->rec(i).birth = DayNumber(9000, 1, 1) + (i % 2);
    ped->rec(i).sex = Sex::kMale;
  }
  const GenerationIntervals got = ComputeGenerationIntervals(*ped);
  const double meanDays = static_cast<double>(DayNumber(9000, 1, 1) - DayNumber(-9000, 1, 1)) + 0.5;
  EXPECT_EQ(got[kSireSon].pairs, n);
  EXPECT_DOUBLE_EQ(got[kSireSon].years, meanDays / 365.25);
  EXPECT_NEAR(got[kSireSon].sd * 365.25, std::sqrt(0.25 * n / (n - 1)), 1e-9);
}

}  // namespace
}  // namespace kinvar
