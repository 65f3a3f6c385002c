// Pedigrees far deeper than the initial generation table: laboratory lines
// of a thousand generations and more load and recode, without recursion,
// and a cycle deep inside one is found and named.
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

// Lines far deeper than the generation table's first size: each
// generation takes the next codes, and the generation is the one in the ID.
TEST(DeepPedigree, LongLinesRecodeParentsFirst) {
  std::string chain = "Progeny Sire Dam\n";  // listed progeny first, C0 added as a founder
  for (int g = 3000; g >= 1; --g) chain.append(Name('C', g)).append(" ").append(Name('C', g - 1)).append(" 0\n");
  struct Row { const char* name; std::string text; int perGeneration, total; };
  const Row rows[] = {
      {"a thousand generations of full-sib pairs, shuffled", FullSibLine(1000, 1), 2, 2002},
      {"a chain of three thousand generations listed progeny first", chain, 1, 3001},
  };
  for (const Row& row : rows) {
    Pedigree ped;
    ASSERT_EQ(test::LoadText(row.text, ped).status, LoadStatus::kLoaded) << row.name;
    ASSERT_EQ(ped.nTotal, row.total) << row.name;
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      const Rec& r = ped.byCode(i);
      const int g = std::stoi(std::string(r.Id().substr(1)));
      EXPECT_EQ(r.generation, g) << row.name << " " << r.id;
      EXPECT_EQ(i / row.perGeneration, g) << row.name << " " << r.id;
    }
  }
}

// A chain whose generation `closedAt` has generation `closedBy` as its sire:
// the generations between form the cycle and those above descend from it.
// Whatever the listing order, the first of those read is named, and the loop
// is named from it when it is a member, else from where its line meets the
// loop (generation `closedBy`).
TEST(DeepPedigree, NamesTheFirstIndividualReadAboveACycle) {
  struct Row {
    const char* name;
    int generations, closedAt, closedBy;
    int order;  // 0 parents first, 1 progeny first, else shuffled with this seed
  };
  const Row rows[] = {
      {"parents first", 1000, 400, 600, 0},   {"progeny first", 1000, 400, 600, 1},
      {"shuffled one", 1000, 400, 600, 2},    {"shuffled two", 1000, 400, 600, 3},
      {"shuffled three", 1000, 400, 600, 4},  {"bottom of a long line read first", 2000, 0, 1500, 0},
  };
  for (const Row& row : rows) {
    std::vector<int> listing;
    for (int g = 0; g <= row.generations; ++g) listing.push_back(g);
    if (row.order == 1) std::reverse(listing.begin(), listing.end());
    if (row.order > 1) {
      std::mt19937 random(static_cast<std::uint32_t>(row.order));
      std::shuffle(listing.begin(), listing.end(), random);
    }
    std::string text = "Progeny Sire Dam\n";
    int named = -1;
    for (const int g : listing) {
      const std::string sire = g == row.closedAt ? Name('C', row.closedBy) : g == 0 ? "0" : Name('C', g - 1);
      text.append(Name('C', g)).append(" ").append(sire).append(" 0\n");
      if (named == -1 && g >= row.closedAt) named = g;
    }
    Pedigree ped;
    ASSERT_EQ(test::LoadText(text, ped).status, LoadStatus::kRejected) << row.name;
    const int entry = std::min(named, row.closedBy);
    const auto member = [&](int g) {
      const auto at = 2 + (std::find(listing.begin(), listing.end(), g) - listing.begin());
      return Name('C', g) + " (line " + std::to_string(at) + ")";
    };
    std::string loop = "Cycle: " + member(entry);
    for (int g = entry - 1; g >= row.closedAt; --g) loop.append(" > ").append(member(g));
    for (int g = row.closedBy; g > entry; --g) loop.append(" > ").append(member(g));
    loop.append(" > ").append(Name('C', entry));
    const std::vector<std::string> got = test::ReportLines(ped);
    ASSERT_GE(got.size(), 5u) << row.name;
    EXPECT_EQ(got[0], "|XError(s) list:") << row.name;
    const auto line = 2 + (std::find(listing.begin(), listing.end(), named) - listing.begin());
    EXPECT_EQ(got[1], "|C" + Name('C', named) + " |Aappearing in its ancestors list (Cycling pedigree), line " +
                          std::to_string(line) + ".")
        << row.name;
    EXPECT_EQ(test::JoinCycleLines(got, 2), loop) << row.name;
    EXPECT_EQ(got[got.size() - 2], "") << row.name;
    EXPECT_EQ(got.back(), "Correct the pedigree file.") << row.name;
  }
}

}  // namespace
}  // namespace kinvar
