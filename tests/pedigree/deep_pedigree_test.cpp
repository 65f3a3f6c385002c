// Pedigrees far deeper than the initial generation table: laboratory lines
// of a thousand generations and more load and recode, without recursion,
// and a cycle deep inside one is found and named.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

std::string Name(char sex, int generation) {
  std::string id(1, sex);
  id.append(std::to_string(generation));
  return id;
}

// A full-sib line: one male and one female per generation, both from the
// pair before; generation 0 are founders. Lines in a shuffled order.
std::string FullSibLine(int generations, std::uint32_t seed) {
  std::vector<std::string> lines;
  for (int g = 0; g <= generations; ++g) {
    for (const char sex : {'M', 'F'}) {
      std::string line = Name(sex, g);
      if (g == 0) {
        line.append(" 0 0\n");
      } else {
        line.append(" ").append(Name('M', g - 1)).append(" ").append(Name('F', g - 1)).append("\n");
      }
      lines.push_back(line);
    }
  }
  std::mt19937 random(seed);
  std::shuffle(lines.begin(), lines.end(), random);
  std::string text = "Progeny Sire Dam\n";
  for (const std::string& line : lines) text.append(line);
  return text;
}

TEST(DeepPedigree, AThousandGenerationLineRecodesParentsFirst) {
  constexpr int kGenerations = 1000;
  Pedigree ped;
  ASSERT_EQ(test::LoadText(FullSibLine(kGenerations, 1), ped).status, LoadStatus::kLoaded);
  ASSERT_EQ(ped.nTotal, 2 * (kGenerations + 1));
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    const int g = std::stoi(std::string(r.Id().substr(1)));
    EXPECT_EQ(r.generation, g) << r.id;
    // Each generation is one full-sib pair and takes the next two codes.
    EXPECT_EQ((r.code - 1) / 2, g) << r.id;
    if (g > 0) {
      EXPECT_LT(ped.rec(r.sire).code, r.code);
      EXPECT_LT(ped.rec(r.dam).code, r.code);
    }
  }
}

TEST(DeepPedigree, AChainOfThreeThousandGenerationsListedProgenyFirst) {
  constexpr int kGenerations = 3000;
  std::string text = "Progeny Sire Dam\n";
  for (int g = kGenerations; g >= 1; --g) {
    text.append(Name('C', g)).append(" ").append(Name('C', g - 1)).append(" 0\n");
  }
  Pedigree ped;
  ASSERT_EQ(test::LoadText(text, ped).status, LoadStatus::kLoaded);
  ASSERT_EQ(ped.nTotal, kGenerations + 1);  // C0 is added as a founder
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    EXPECT_EQ(r.generation, i) << r.id;
    EXPECT_EQ(r.Id(), Name('C', i));
  }
}

// A chain of 1000 generations whose generation 400 has generation 600 as its
// sire: generations 400 to 600 form the cycle and those above descend from
// it. Whatever the listing order, the first of those read is named, and the
// loop is named from it when it is a member, else from where its line meets
// the loop (generation 600).
struct CycleCase {
  const char* name;
  int order;  // 0 parents first, 1 progeny first, else shuffled with this seed
};

class DeepCycle : public testing::TestWithParam<CycleCase> {};

TEST_P(DeepCycle, NamesTheFirstIndividualReadAboveIt) {
  constexpr int kGenerations = 1000, kClosedAt = 400, kClosedBy = 600;
  std::vector<int> listing;
  for (int g = 0; g <= kGenerations; ++g) listing.push_back(g);
  if (GetParam().order == 1) std::reverse(listing.begin(), listing.end());
  if (GetParam().order > 1) {
    std::mt19937 random(static_cast<std::uint32_t>(GetParam().order));
    std::shuffle(listing.begin(), listing.end(), random);
  }
  std::string text = "Progeny Sire Dam\n";
  int named = -1;
  for (const int g : listing) {
    const int sire = g == kClosedAt ? kClosedBy : g - 1;
    text.append(Name('C', g)).append(" ").append(g == 0 ? "0" : Name('C', sire)).append(" 0\n");
    if (named == -1 && g >= kClosedAt) named = g;
  }
  Pedigree ped;
  ASSERT_EQ(test::LoadText(text, ped).status, LoadStatus::kRejected);
  const int entry = std::min(named, kClosedBy);
  std::string loop = "Cycle: " + Name('C', entry);
  for (int g = entry - 1; g >= kClosedAt; --g) loop.append(" > ").append(Name('C', g));
  for (int g = kClosedBy; g >= entry; --g) loop.append(" > ").append(Name('C', g));
  std::vector<std::string> got;
  for (int i = 0; i < ped.report.Count(); ++i) got.emplace_back(ped.report.Line(i));
  ASSERT_GE(got.size(), 5u);
  EXPECT_EQ(got[0], "|XError(s) list:");
  EXPECT_EQ(got[1], "|C" + Name('C', named) + " |Aappearing in its ancestors list (Cycling pedigree).");
  EXPECT_EQ(test::JoinCycleLines(got, 2), loop);
  EXPECT_EQ(got[got.size() - 2], "");
  EXPECT_EQ(got.back(), "Correct the pedigree file.");
}

INSTANTIATE_TEST_SUITE_P(Rows, DeepCycle,
                         testing::Values(CycleCase{"ParentsFirst", 0}, CycleCase{"ProgenyFirst", 1},
                                         CycleCase{"ShuffledOne", 2}, CycleCase{"ShuffledTwo", 3},
                                         CycleCase{"ShuffledThree", 4}),
                         [](const testing::TestParamInfo<CycleCase>& row) { return row.param.name; });

// Parents drawn from the last few individuals, sometimes unknown, listed in
// a shuffled order: generations vary from individual to individual and
// reach far beyond 400. Generations and the per-generation table are
// computed here in a parents-first order of the generator's structure.
TEST(DeepPedigree, GenerationsAndTheirTableOnARandomDeepPedigree) {
  test::RandomPedigreeOptions options;
  options.seed = 17;
  options.size = 3000;
  options.founders = 2;
  options.window = 4;
  const test::RandomPedigree random = test::MakeRandomPedigree(options);
  struct Made {
    std::string id;
    int generation = 0;
  };
  std::vector<Made> made;
  std::map<std::string, int> generationOf;
  for (const int k : test::ParentsFirstOrder(random.individuals)) {
    const test::RandomIndividual& r = random.individuals[static_cast<std::size_t>(k)];
    int g = 0;
    for (const std::string* parent : {&r.sire, &r.dam}) {
      if (!parent->empty()) g = std::max(g, generationOf.at(*parent) + 1);
    }
    generationOf[r.id] = g;
    made.push_back({r.id, g});
  }
  const std::string& text = random.text;

  Pedigree ped;
  ASSERT_EQ(test::LoadText(text, ped).status, LoadStatus::kLoaded);
  ASSERT_EQ(ped.nTotal, static_cast<int>(made.size()));
  std::map<std::string, const Rec*> byId;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    byId[r.id] = &r;
    EXPECT_EQ(r.code, i + 1);
    EXPECT_LT(ped.rec(r.sire).code, r.code) << r.id;
    EXPECT_LT(ped.rec(r.dam).code, r.code) << r.id;
  }
  int maxGeneration = 0;
  for (const Made& m : made) {
    ASSERT_EQ(byId.count(m.id), 1u) << m.id;
    EXPECT_EQ(byId[m.id]->generation, m.generation) << m.id;
    maxGeneration = std::max(maxGeneration, m.generation);
  }
  ASSERT_GT(maxGeneration, 400);
  // Entry k: individuals whose generation exceeds k, for every k an
  // individual can stand above.
  ASSERT_GE(ped.generationCount.size(), static_cast<std::size_t>(maxGeneration));
  for (std::size_t k = 0; k < ped.generationCount.size(); ++k) {
    const auto above = std::count_if(made.begin(), made.end(), [&](const Made& m) {
      return static_cast<std::size_t>(m.generation) > k;
    });
    ASSERT_EQ(ped.generationCount[k], above) << "k " << k;
  }
  EXPECT_EQ(ped.generationFill, ped.generationCount);
}

}  // namespace
}  // namespace kinvar
