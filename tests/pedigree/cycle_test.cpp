// The loop that validation names after a cycling individual: every step goes
// from an individual to one of its parents, the line closes on its first
// individual, and long loops wrap within the report's width.
#include "pedigree/cycle.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace kinvar {
namespace {

std::string Id(int i) { return std::string("X").append(std::to_string(i)); }

// X0 .. X(n-1), each with X(i+1) as a parent (the last with X0), sire and dam
// in turn, listed from X0; a founder W is the other parent of every second.
std::string Ring(int n) {
  std::string text = "progeny sire dam\n";
  for (int i = 0; i < n; ++i) {
    const std::string parent = Id((i + 1) % n);
    text += Id(i) + (i % 2 == 0 ? " " + parent + " W\n" : " 0 " + parent + "\n");
  }
  return text;
}

std::string RingLine(int n) {
  std::string line = "Cycle: X0 (line 2)";
  for (int i = 1; i < n; ++i) line += " > " + Id(i) + " (line " + std::to_string(i + 2) + ")";
  line += " > X0";
  return line;
}

struct CycleCase {
  const char* name;
  std::string text;
  std::string named;  // the ID of the line before
  std::string cycle;  // the cycle's lines joined
};

class CycleLine : public testing::TestWithParam<CycleCase> {};

TEST_P(CycleLine, FollowsTheNamedIndividualAndFitsTheReport) {
  Pedigree ped;
  ASSERT_EQ(test::LoadText(GetParam().text, ped).status, LoadStatus::kRejected);
  const std::vector<std::string> lines = test::ReportLines(ped);
  ASSERT_GE(lines.size(), 5u);
  // Every named individual here is on the first line after the header.
  EXPECT_EQ(lines[1], "|C" + GetParam().named + " |Aappearing in its ancestors list (Cycling pedigree), line 2.");
  EXPECT_EQ(test::JoinCycleLines(lines, 2), GetParam().cycle);
  for (const std::string& line : lines) EXPECT_LE(line.size(), ReportStore::kMaxLineLength) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CycleLine,
    testing::Values(
        CycleCase{"LengthTwo", Ring(2), "X0", RingLine(2)},
        CycleCase{"LengthThree", Ring(3), "X0", RingLine(3)},
        CycleCase{"LengthOneThousand", Ring(1000), "X0", RingLine(1000)},
        // A is in a loop of three through its sire and of two through its
        // dam: the shorter one is named.
        CycleCase{"ShortestLoopThroughTheNamed",
                  "progeny sire dam\nA S D\nS T 0\nT 0 A\nD 0 A\n", "A", "Cycle: A (line 2) > D (line 5) > A"},
        // Z is below the loop, which is named from where Z's line meets it.
        CycleCase{"NamedBelowTheLoop", "progeny sire dam\nZ P 0\nP Q 0\nQ R 0\nR Q 0\n", "Z",
                  "Cycle: Q (line 4) > R (line 5) > Q"}),
    [](const testing::TestParamInfo<CycleCase>& row) { return row.param.name; });

TEST(FindCycle, IsEmptyWithoutALoopAbove) {
  Pedigree ped;
  ASSERT_EQ(test::LoadText("progeny sire dam\nA 0 0\nB A 0\n", ped).status, LoadStatus::kLoaded);
  EXPECT_TRUE(FindCycle(ped, ped.nTotal).empty());
  EXPECT_TRUE(CycleLines(ped, {}).empty());
}

}  // namespace
}  // namespace kinvar
