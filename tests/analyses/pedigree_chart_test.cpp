// The pedigree chart's model: every place against a walk of the generated
// parents, the colours of the repeated ancestors, the parts of F adding up
// to F, and hand cases to the digit.
#include "analyses/pedigree_chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::Loaded;

// The chart's places as "ID" or "-" for unknown, generation by generation.
std::string PlaceIds(const PedigreeChart& chart) {
  std::string text;
  for (const ChartBox& box : chart.boxes) text += (text.empty() ? "" : " ") + (box.rec ? box.id : "-");
  return text;
}

std::string Legend(const PedigreeChart& chart) {
  std::string text;
  for (const ChartCommonAncestor& a : chart.common)
    text += a.id + ":" + std::to_string(a.colour) + "x" + std::to_string(a.places) + "=" +
            std::to_string(a.part) + " ";
  return text + "other=" + std::to_string(chart.otherPart) + " own=" + std::to_string(chart.ownPart);
}

TEST(PedigreeChart, HandCasesHoldTheirPlacesAndParts) {
  // Y out of half sibs H1 and H2 of A; X a full-sib mating of P and Q's
  // progeny, with a predefined F that its parents do not give.
  const std::string halfSibs = "progeny sire dam\nA 0 0\nB 0 0\nC 0 0\nH1 A B\nH2 A C\nY H1 H2\n";
  const std::string predefined =
      "progeny sire dam F\nP 0 0 .\nQ 0 0 .\nS P Q .\nD P Q .\nX S D 0.5\nZ 0 D .\n";
  struct Row {
    const char* name;
    std::string text;
    const char* individual;
    int generations;
    const char* places;
    const char* legend;
  };
  const Row rows[] = {
      {"half sibs", halfSibs, "Y", 2, "Y H1 H2 A B A C", "A:0x2=0.125000 other=0.000000 own=0.000000"},
      {"the common ancestor beyond the chart", halfSibs, "Y", 1, "Y H1 H2",
       "other=0.125000 own=0.000000"},
      {"unknown places beyond an unknown parent", halfSibs, "H1", 3,
       "H1 A B - - - - - - - - - - - -", "other=0.000000 own=0.000000"},
      {"a predefined F beyond the parents'", predefined, "X", 2, "X S D P Q P Q",
       "P:0x2=0.125000 Q:1x2=0.125000 other=0.000000 own=0.250000"},
      {"an unknown sire", predefined, "Z", 2, "Z - D - - P Q", "other=0.000000 own=0.000000"},
  };
  for (const Row& row : rows) {
    auto ped = Loaded(row.text);
    const PedigreeChart chart = BuildPedigreeChart(*ped, test::RecordOfId(*ped, row.individual), row.generations);
    EXPECT_EQ(PlaceIds(chart), row.places) << row.name;
    EXPECT_EQ(Legend(chart), row.legend) << row.name;
  }
}

TEST(PedigreeChart, RefusesMoreThanEightGenerations) {
  const struct {
    int generations;
    const char* problem;
  } rows[] = {
      {0, "A pedigree chart shows at least 1 generation."},
      {1, ""},
      {8, ""},
      {9, "A pedigree chart shows at most 8 generations."},
      {100, "A pedigree chart shows at most 8 generations."},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ChartGenerationsProblem(row.generations), row.problem) << row.generations;
}

TEST(PedigreeChart, BoxDetailNamesWhatIsKnown) {
  ChartBox male;
  male.sex = Sex::kMale;
  male.group = 3;
  male.birthYear = 2020;
  male.f = 0.125f;
  ChartBox born;
  born.sex = Sex::kFemale;
  born.birthYear = 2021;
  ChartBox bare;
  bare.f = 0.375f;
  const struct {
    const char* name;
    ChartBox box;
    int format;
    const char* detail;
  } rows[] = {
      {"group and birth year", male, 1, "male \xC2\xB7 group 3 \xC2\xB7 born 2020 \xC2\xB7 F 0.125"},
      {"birth year without a group", born, 1, "female \xC2\xB7 born 2021 \xC2\xB7 F 0"},
      {"only F, as a fraction", bare, 0, "F 3/8"},
  };
  for (const auto& row : rows) EXPECT_EQ(ChartBoxDetail(row.box, row.format), row.detail) << row.name;
}

// The ancestors of `id` by the generated parents, itself included.
std::set<std::string> AncestorsOf(const std::map<std::string, const test::RandomIndividual*>& byId,
                                  const std::string& id) {
  std::set<std::string> seen;
  std::vector<std::string> stack{id};
  while (!stack.empty()) {
    const std::string next = stack.back();
    stack.pop_back();
    if (next.empty() || !seen.insert(next).second) continue;
    stack.push_back(byId.at(next)->sire);
    stack.push_back(byId.at(next)->dam);
  }
  return seen;
}

void CheckChart(const Pedigree& ped, const PedigreeChart& chart,
                const std::map<std::string, const test::RandomIndividual*>& byId,
                const std::string& id, const std::string& where) {
  // Each place by its own walk: slot k's bits from the top say sire or dam.
  std::map<RecIndex, int> places;
  for (int g = 0; g <= chart.generations; ++g) {
    for (int k = 0; k < (1 << g); ++k) {
      std::string walked = id;
      for (int bit = g - 1; bit >= 0 && !walked.empty(); --bit)
        walked = (k >> bit) & 1 ? byId.at(walked)->dam : byId.at(walked)->sire;
      const ChartBox& box = chart.At(g, k);
      ASSERT_EQ(box.rec == kUnknownParent ? "" : box.id, walked) << where << " g" << g << " k" << k;
      if (box.rec == kUnknownParent) continue;
      EXPECT_EQ(box.added, !byId.at(walked)->listed) << where;
      EXPECT_EQ(box.f, ped.rec(box.rec).f) << where;
      if (g > 0) ++places[box.rec];
    }
  }
  // One colour per repeated ancestor, shared by all its boxes and listed.
  std::map<RecIndex, int> colours;
  for (std::size_t p = 1; p < chart.boxes.size(); ++p) {
    const ChartBox& box = chart.boxes[p];
    if (box.rec == kUnknownParent) continue;
    EXPECT_EQ(box.colour >= 0, places[box.rec] >= 2) << where << " " << box.id;
    if (box.colour < 0) continue;
    const auto [it, added] = colours.emplace(box.rec, box.colour);
    EXPECT_EQ(it->second, box.colour) << where << " " << box.id;
  }
  ASSERT_EQ(chart.common.size(), colours.size()) << where;
  std::set<int> distinct;
  double sum = chart.otherPart + chart.ownPart;
  const std::string sire = byId.at(id)->sire, dam = byId.at(id)->dam;
  const std::set<std::string> sireSide = sire.empty() ? std::set<std::string>{} : AncestorsOf(byId, sire);
  const std::set<std::string> damSide = dam.empty() ? std::set<std::string>{} : AncestorsOf(byId, dam);
  for (const ChartCommonAncestor& a : chart.common) {
    EXPECT_EQ(colours.at(a.rec), a.colour) << where;
    EXPECT_EQ(places.at(a.rec), a.places) << where;
    EXPECT_TRUE(distinct.insert(a.colour).second) << where;
    // Only an ancestor of both parents passes on the same genes twice.
    if (!sireSide.contains(a.id) || !damSide.contains(a.id)) {
      EXPECT_EQ(a.part, 0.0) << where;
    }
    sum += a.part;
  }
  const double f = ped.rec(chart.Individual().rec).f;
  EXPECT_NEAR(sum, f, 2e-6 * (1.0 + f)) << where;
}

TEST(PedigreeChart, RandomPedigreesHoldEveryPlaceColourAndPart) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const test::RandomPedigree random = test::MakeRandomPedigree(test::VariedOptions(seed, 150));
    std::map<std::string, const test::RandomIndividual*> byId;
    for (const test::RandomIndividual& i : random.individuals) byId[i.id] = &i;
    auto ped = Loaded(random.text);
    for (std::size_t i = 0; i < random.individuals.size(); i += 7) {
      const std::string& id = random.individuals[i].id;
      const int generations = 1 + static_cast<int>((seed + i) % kMaxChartGenerations);
      const PedigreeChart chart = BuildPedigreeChart(*ped, test::RecordOfId(*ped, id), generations);
      ASSERT_EQ(chart.boxes.size(), (std::size_t{2} << generations) - 1);
      CheckChart(*ped, chart, byId, id, "seed " + std::to_string(seed) + " " + id);
    }
  }
}

}  // namespace
}  // namespace kinvar
