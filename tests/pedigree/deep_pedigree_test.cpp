// Pedigrees far deeper than the initial generation table: laboratory lines
// of a thousand generations and more load and recode, without recursion.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"
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

}  // namespace
}  // namespace kinvar
