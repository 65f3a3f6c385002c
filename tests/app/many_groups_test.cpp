// Groups as breeders have them: birth years, herd numbers up to
// 2,147,483,647, and thousands of them. Every command that picks a group
// offers all of them in number order, and every command that has a row per
// group has all the rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyses/diversity.h"
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

// The diversity summary searches for fa in at most so many groups, as the
// command gives them: at the limit every row has fa; one group more, and the
// last row has none, with the line saying so under the table.
TEST(ManyGroups, DiversitySearchesForFaInAtMostTheLimitOfGroups) {
  struct Row {
    const char* name;
    std::int64_t groups;
    const char* lastLine;  // under the table: founders only, so Ne is not estimable
  };
  const Row rows[] = {
      {"one more than the limit", kMaxFaGroups + 1,
       "There are 2001 groups; fa is searched for in at most 2000 groups, and shows - from group 2001 on."},
      {"at the limit", kMaxFaGroups,
       "-: not estimable (no member traced over 1 generation, or no increase in inbreeding)"},
  };
  for (const Row& row : rows) {
    std::string text = "progeny sire dam group\n";
    for (std::int64_t g = 1; g <= row.groups; ++g)
      text += "I" + std::to_string(g) + " 0 0 " + std::to_string(g) + "\n";
    test::DocSession s(text);
    s.platform.groupChoices.push_back(kAllIndividuals);
    s.doc.RunCommand(kCmdDiversity);
    ASSERT_EQ(s.doc.lastCommand(), kCmdDiversity) << row.name;
    EXPECT_EQ(s.Report().back(), row.lastLine) << row.name;
    const ResultTable& table = *s.doc.pedigree().report.tables().Find("groups");
    ASSERT_EQ(static_cast<std::int64_t>(table.rows()), row.groups) << row.name;
    for (std::size_t i = 0; i < table.rows(); ++i) {
      const bool searched = static_cast<std::int64_t>(i) < kMaxFaGroups;
      ASSERT_EQ(table.Find("fa")->Missing(i), !searched) << row.name << " row " << i;
      if (searched) {
        ASSERT_EQ(table.Find("fa")->Real(i), 1.0) << row.name << " row " << i;
      }
    }
  }
}

}  // namespace
}  // namespace kinvar
