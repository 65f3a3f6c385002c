// Groups as breeders have them: birth years, herd numbers up to
// 2,147,483,647, and thousands of them. Every command that picks a group
// offers all of them in number order, and every command that has a row per
// group has all the rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

constexpr int kGroups = 2000;
constexpr int kTop = 2147483647;

// Group g (0-based) has number kTop - 2 * (kGroups - 1 - g): the last one is
// the largest number a group can have. Groups come in threes, the last of
// each three the last group: founders, their full-sib progeny, and the
// progeny of those full sibs, inbred 0.25.
int Number(int g) { return kTop - 2 * (kGroups - 1 - g); }

std::string ManyGroups() {
  std::string text = "Animal Sire Dam Group\n";
  for (int g = 0; g < kGroups; ++g) {
    const int phase = (kGroups - 1 - g) % 3;
    const bool founders = phase == 2 || g == 0;
    const std::string p = std::to_string(g - 1);
    const std::string parents = founders ? " 0 0 " : " S" + p + " D" + p + " ";
    const std::string n = std::to_string(Number(g));
    text += "S" + std::to_string(g) + parents + n + "\n";
    text += "D" + std::to_string(g) + parents + n + "\n";
  }
  return text;
}

std::vector<int> AllNumbers() {
  std::vector<int> numbers;
  for (int g = 0; g < kGroups; ++g) numbers.push_back(Number(g));
  return numbers;
}

struct GroupCommand { const char* name; std::int32_t command; bool twoGroups; };

const GroupCommand kPickers[] = {
    {"within a group", kCmdWithinGroup, false},
    {"between two groups", kCmdBetweenTwoGroups, true},
    {"path counting of a group", kCmdPathCountingGroup, false},
    {"decomposition of a group", kCmdDecompositionGroup, false},
    {"coancestry of a group", kCmdDecompositionCoancestry, false},
    {"gene origin", kCmdGeneOrigin, false},
    {"diversity", kCmdDiversity, false},
};

TEST(ManyGroups, EveryPickerOffersEveryGroupAndTheLastOneRuns) {
  test::DocSession s(ManyGroups());
  ASSERT_EQ(s.doc.pedigree().nGroups, kGroups);
  for (const GroupCommand& c : kPickers) {
    s.platform.pickerGroups.clear();
    if (c.twoGroups) {
      s.platform.groupPairs.push_back(std::pair{Number(kGroups - 2), kTop});
    } else {
      s.platform.groupChoices.push_back(kTop);
    }
    s.doc.RunCommand(c.command);
    ASSERT_EQ(s.platform.pickerGroups.size(), 1u) << c.name;
    EXPECT_EQ(s.platform.pickerGroups[0], AllNumbers()) << c.name;
    EXPECT_EQ(s.doc.lastCommand(), c.command) << c.name;
    const std::string saved = s.SaveAs();
    EXPECT_NE(saved.find(std::to_string(kTop)), std::string::npos) << c.name;
  }
}

// The reports with a row per group have every row, in number order; the
// diversity summary's rows begin with the number.
TEST(ManyGroups, TablesHaveARowPerGroup) {
  test::DocSession s(ManyGroups());
  s.platform.groupChoices.push_back(kAllIndividuals);
  for (const std::int32_t command : {kCmdStructure, kCmdAverageBetweenGroups, kCmdDiversity}) {
    s.doc.RunCommand(command);
    ASSERT_EQ(s.doc.lastCommand(), command);
    const std::string saved = s.SaveAs();
    const bool rowStart = command == kCmdDiversity;
    std::size_t at = rowStart ? saved.find(std::to_string(Number(0)) + " ") : 0;
    ASSERT_NE(at, std::string::npos);
    for (const int number : AllNumbers()) {
      const std::string n = std::to_string(number);
      const std::size_t found = rowStart ? saved.find("\n" + n + " ", at - 1) : saved.find(n, at);
      ASSERT_NE(found, std::string::npos) << command << " group " << number;
      at = found + (rowStart ? 1 : 0);
    }
  }
}

}  // namespace
}  // namespace kinvar
