// The quick reading of lines split at runs against the general split and
// row reading on many random lines, and the group table against a count
// of first appearances done here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/line_splitter.h"

namespace kinvar::line_splitter {
namespace {

struct Read { bool ok = false; Rec r; ParentLink link; RowValues values; };

void ExpectSame(const Read& quick, const Read& general, const std::string& what) {
  EXPECT_STREQ(quick.r.id, general.r.id) << what;
  EXPECT_STREQ(quick.link.sire, general.link.sire) << what;
  EXPECT_STREQ(quick.link.dam, general.link.dam) << what;
  EXPECT_EQ(quick.r.fPredefined, general.r.fPredefined) << what;
  EXPECT_EQ(std::memcmp(&quick.r.f, &general.r.f, sizeof(float)), 0) << what;
  EXPECT_EQ(quick.r.sex, general.r.sex) << what;
  EXPECT_EQ(quick.r.birth, general.r.birth) << what;
  EXPECT_EQ(quick.values.groupNumber, general.values.groupNumber) << what;
  EXPECT_EQ(quick.values.naParent, general.values.naParent) << what;
}

// Cells that are sound, faulty, missing, quoted or long, so that random
// lines meet every way out of the quick reading.
std::string RandomCell(std::mt19937& random) {
  static const char* const kCells[] = {
      "a1", "B22", "0", "000", "unknown", ".", "NA", "na", "0.25", "1e-1", "1.5", "nan", "7", "2021",
      "2147483647", "2147483648", "65535", "65536", "M", "female", "2", "x", "2021-04-17", "2021-02-29",
      "1999", "\"q\"", "\"a b\"", "\"\"", "l<t", "p|p", "e!", "abcdefghijklmnopqrstu", "abcdefghijklmnopqrst",
      "00000000000000000000007", "x\"y", "\v", "\r", ";", "0;5",
      // Around the eight bytes the field's end is looked for at a time.
      "abcdefg", "abcdefgh", "abcdefghi", "\xC3\x84" "bcdefghijklmno", "12345678901234567"};
  std::string cell = kCells[random() % std::size(kCells)];
  if (random() % 40 == 0) cell[0] = '\0';
  return cell;
}

std::string RandomLine(std::mt19937& random, std::size_t columns) {
  static const char* const kSeparators[] = {" ", ",", "\t", "  ", ", ", ",,", " \t ", "\t\t"};
  std::string line;
  // Now and then one cell more than the header names, which is refused.
  const std::size_t cells = columns - 2 + random() % 4;
  for (std::size_t i = 0; i < cells; ++i) {
    if (i > 0) line += kSeparators[random() % std::size(kSeparators)];
    line += RandomCell(random);
  }
  if (random() % 4 == 0) line += kSeparators[random() % std::size(kSeparators)];
  return line;
}

bool HasQuoteOrFault(std::string_view line) {
  return line.find_first_of(std::string("\"<|!\0", 5)) != std::string_view::npos;
}

TEST(PlainRows, ReadAsTheGeneralSplitOnRandomLines) {
  struct Row { const char* name; const char* header; };
  const Row rows[] = {
      {"blanks", "Progeny Sire Dam Group F"},
      {"reordered, no group", "F Dam Sire Progeny"},
      {"comma header with ignored columns", "Colour,Progeny,Notes,Sire,Dam,Year"},
      {"tab header with sex and birth", "Progeny\tSire\tDam\tSex\tBirth date\tF\tHerd"},
      {"synonyms at a comma: every line split at it", "ID,Father,Mother,Sex"},
      {"blank header with sex and birth", "Animal Sire Dam Sex DOB"},
      {"more columns than the quick reading holds",
       "c1 c2 c3 c4 c5 c6 c7 c8 c9 c10 c11 c12 c13 c14 c15 c16 Progeny Sire Dam"},
  };
  std::mt19937 random(20260417);
  for (const Row& row : rows) {
    Header header;
    std::string message;
    ASSERT_EQ(ParseHeaderLine(row.header, header, message), HeaderFault::kNone) << row.name;
    const bool quickable = !header.strict && header.needed <= 16;
    int quick = 0;
    for (int n = 0; n < 4000; ++n) {
      const std::string text = RandomLine(random, static_cast<std::size_t>(header.columns));
      const std::string_view line = TrimLeading(text);
      if (line.empty()) continue;
      Read fast;
      fast.ok = ReadPlainRow(line, header, fast.r, fast.link, fast.values);
      Read general;
      LineCells a;
      LineCells b;
      const LineCells& cells = SplitDataLine(line, header, a, b);
      general.ok = ReadRow(cells.cells, header, false, general.r, general.link, general.values).fault == Fault::kNone;
      const std::string what = std::string(row.name) + ": \"" + text + "\"";
      if (fast.ok) {
        ++quick;
        ASSERT_TRUE(general.ok) << what;
        ExpectSame(fast, general, what);
      } else if (general.ok && !HasQuoteOrFault(line) && cells.cells.size() >= static_cast<std::size_t>(header.columns) &&
                 &cells == &a && quickable) {
        ADD_FAILURE() << "a plain line left to the general reading: " << what;
      }
    }
    if (quickable) {
      // Random F and group cells are seldom all numbers, so few lines pass.
      EXPECT_GT(quick, 10) << row.name;
    } else {
      EXPECT_EQ(quick, 0) << row.name;
    }
  }
}

TEST(PlainRows, GroupIndexesInOrderOfFirstAppearance) {
  std::mt19937 random(7);
  const std::int64_t kNumbers[] = {0, 1, 1000, 2021, 65535, 65536, 65537, 1 << 20, 2147483647};
  Pedigree ped;
  GroupTable table;
  std::map<std::int64_t, std::int32_t> first;
  std::map<std::int64_t, std::int32_t> count;
  for (int n = 0; n < 20000; ++n) {
    // Runs of one number, as files list a generation together.
    const std::int64_t number = random() % 3 == 0 ? kNumbers[random() % std::size(kNumbers)]
                                                  : static_cast<std::int64_t>(random() % 70000);
    for (int k = 0; k < static_cast<int>(random() % 3); ++k) {
      Rec r;
      ASSERT_TRUE(table.Add(ped, number, r));
      first.try_emplace(number, static_cast<std::int32_t>(first.size()));
      ++count[number];
      ASSERT_EQ(r.group, first[number]) << number;
    }
  }
  ASSERT_EQ(ped.nGroups, static_cast<std::int32_t>(first.size()));
  for (const auto& [number, index] : first) {
    EXPECT_EQ(ped.groups[static_cast<std::size_t>(index)].group, number);
    EXPECT_EQ(ped.groups[static_cast<std::size_t>(index)].count, count[number]);
  }
  GroupTable::BuildOrder(ped);
  auto expected = first.begin();
  for (const std::int32_t index : ped.groupOrder) EXPECT_EQ(index, (expected++)->second);
}

}  // namespace
}  // namespace kinvar::line_splitter
