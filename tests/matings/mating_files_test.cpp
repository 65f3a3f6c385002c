// The contribution and forbidden-matings readers: what they accept, and
// every message, line numbers and spelling included.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "matings/mating_files.h"
#include "support/scripted_platform.h"
#include "support/side_sources.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

// Sires S1, S2 in group 1, dams D1..Dn in group 2, in code order.
struct Groups {
  explicit Groups(int dams) {
    std::string text = "Progeny Sire Dam Group\nS1 0 0 1\nS2 0 0 1\n";
    for (int d = 1; d <= dams; ++d) text.append("D").append(std::to_string(d)).append(" 0 0 2\n");
    EXPECT_EQ(test::LoadText(text, ped).status, LoadStatus::kLoaded);
    EnsureCodeOrder(ped);
    groups.sireGroup = 1;
    groups.damGroup = 2;
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      const RecIndex r = ped.records[static_cast<std::size_t>(i)];
      (ped.rec(r).Id()[0] == 'S' ? groups.sires : groups.dams).push_back(r);
    }
  }
  Pedigree ped;
  MatingGroups groups;
};

const std::string kLine1 = "Error in line 1.\n";
const std::string kFormat = "The format is not correct.";

// Reads `text` with `read` against sires S1, S2 and `dams` dams, and checks
// what is accepted, or the one message of a refusal; "FILE" in the message
// stands for the file's path.
template <class T, class Read>
void ExpectRead(const char* name, int dams, const char* text, const std::vector<T>& accepted,
                std::string message, Read read) {
  Groups g(dams);
  test::TempFile file(text);
  if (const auto at = message.find("FILE"); at != std::string::npos) message.replace(at, 4, file.path());
  test::ScriptedPlatform platform;
  EXPECT_EQ(read(file.path(), g.ped, g.groups, platform).value_or(std::vector<T>{}), accepted)
      << name;
  EXPECT_EQ(platform.MessageTexts(),
            message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message})
      << name;
}

struct ContributionCase {
  const char* name;
  int dams;
  const char* text;
  std::vector<std::int32_t> accepted;  // empty: refused with `message`
  std::string message;
};
TEST(ContributionFile, AcceptsOrRefusesWithTheExactMessage) {
  const std::string negative = "Contribution cannot be negative.";
  const std::string sum = "Error: Sum of contribution of sires (Group 1) is not equal to the "
                          "number of dams (Group 2).";
  const ContributionCase cases[] = {
      {"blank and comma, lower case", 3, "S1 2\ns2,1\n", {2, 1}, ""},
      {"comments and blank lines count", 3, "! sires\n\n  S2\t,, 1  \r\nS1 2 third <field>\n", {2, 1}, ""},
      {"a plus sign", 3, "S1 2\nS2 +1", {2, 1}, ""},
      {"a unit after the digits", 3, "S1 4.1kg\nS2 1\n", {},
       kLine1 + "The contribution \"4.1kg\" in column 2 of FILE is not a whole number."},
      {"a fraction", 3, "S0 2.9\nS2 1\n", {},
       kLine1 + "The contribution \"2.9\" in column 2 of FILE is not a whole number."},
      {"letters as written, not upper-cased", 3, "S2 1\n\ns1,\t2x third\n", {},
       "Error in line 3.\nThe contribution \"2x\" in column 2 of FILE is not a whole number."},
      {"an exponent", 3, "S1 2e0\nS2 1\n", {},
       kLine1 + "The contribution \"2e0\" in column 2 of FILE is not a whole number."},
      {"two signs", 3, "S1 +-2\nS2 1\n", {},
       kLine1 + "The contribution \"+-2\" in column 2 of FILE is not a whole number."},
      {"sum differs", 4, "S1 2\ns2,1\n", {}, sum},
      {"beyond 16 bits is held, not cut", 3, "S1 40000\nS2 1\n", {}, sum},
      {"beyond 32 bits", 3, "S1 99999999999999999999\nS2 1\n", {}, sum},
      {"a sire left out", 3, "S1 3\n",
       {}, "Error: The number of individuals in the Contribution file is not equal to the number "
           "of individuals in Group 1!"},
      {"zero on line 3: the sire is not used", 3, "! c\n\nS1 0\nS2 3\n", {0, 3}, ""},
      {"every sire zero cannot feed the dams", 3, "S1 0\nS2 0\n", {}, sum},
      {"negative", 3, "S1 -2\n", {}, kLine1 + negative},
      {"minus zero is zero", 3, "S1 -0\nS2 3\n", {0, 3}, ""},
      {"no digits", 3, "S1 two\n", {},
       kLine1 + "The contribution \"two\" in column 2 of FILE is not a whole number."},
      {"one field", 3, "S1\n", {}, kLine1 + kFormat},
      {"not a sire, on line 2", 3, "S1 1\nD1 1\n", {},
       "Error in line 2.\nIndividual D1 does not belong to Group 1."},
      {"repeated", 3, "S1 1\nS2 1\ns1 1\n", {}, "Error in line 3.\nRepeated ID!"},
      {"empty", 3, "", {}, "File is empty."},
      {"comments only", 3, "! nothing\n\n", {}, "File is empty."},
      {"21 characters", 3, "S1 1\nABCDEFGHIJKLMNOPQRSTU 2\n", {},
       "Error in line 2.\nThe length of each field should not be more than 20."},
      {"a pipe", 3, "S|1 1\n", {},
       kLine1 + "These characters   '<'   '>'   '|'   '!'   are not permitted."},
  };
  for (const ContributionCase& c : cases)
    ExpectRead(c.name, c.dams, c.text, c.accepted, c.message, ReadContributionFile);
}

struct ForbiddenCase {
  const char* name;
  const char* text;
  std::vector<Mating> accepted;  // by position; empty: refused with `message`
  std::string message;
};

TEST(ForbiddenFile, AcceptsOrRefusesWithTheExactMessage) {
  const std::string neither = " belongs to neither group 1 nor group 2.";
  const ForbiddenCase cases[] = {
      {"dam first, duplicates kept", "d3 S1\nS2,D1\n!x\nS1 D3 S2\n", {{0, 2}, {1, 0}, {0, 2}}, ""},
      {"two sires", "S1 D1\nS1 s2\n", {},
       "Error: Sex conflict! (Line: 2)\nIndividuals S1 and S2 belong to the same group."},
      {"two dams", "D1 D2\n", {},
       "Error: Sex conflict! (Line: 1)\nIndividuals D1 and D2 belong to the same group."},
      {"the same ID", "S1 s1\n", {}, kLine1 + "The two mates have the same ID!"},
      {"first unknown", "X9 D1\n", {}, kLine1 + "Individual X9" + neither},
      {"second unknown, on line 3", "S1 D1\n! x\nD1 x9\n", {}, "Error in line 3.\nIndividual X9" + neither},
      {"every line's form before any ID", "X9 D1\nS2\n", {}, "Error in line 2.\n" + kFormat},
      {"empty", "\n\n", {}, "File is empty."},
      {"an exclamation mark", "S1 D!\n", {},
       kLine1 + "These characters   '<'   '>'   '|'   '!'   are not permitted."},
  };
  for (const ForbiddenCase& c : cases)
    ExpectRead(c.name, 3, c.text, c.accepted, c.message, ReadForbiddenFile);
}

TEST(MatingFiles, SayWhichFileCannotBeOpened) {
  Groups g(3);
  test::ScriptedPlatform platform;
  EXPECT_FALSE(ReadContributionFile("/no/such.c", g.ped, g.groups, platform));
  EXPECT_FALSE(ReadForbiddenFile("/no/such.fm", g.ped, g.groups, platform));
  EXPECT_EQ(platform.MessageTexts(),
            (std::vector<std::string>{"Cannot open /no/such.c", "Cannot open /no/such.fm"}));
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kError);
}

// What is not a text file is refused with what it is, naming it; a FIFO is
// read as its writer writes it.
TEST(MatingFiles, ReadAFifoAndRefuseAFolderOrADevice) {
  const test::TempFolder folder;
  struct Row {
    const char* name;
    std::string path;  // "": a FIFO with the row's text
    const char* text;
    bool contributions;
    std::string message;  // empty: accepted; "FILE" stands for the path
  };
  const Row rows[] = {
      {"contributions from a folder", folder.path(), "", true, folder.path() + " is a folder, not a file."},
      {"forbidden from a folder", folder.path(), "", false, folder.path() + " is a folder, not a file."},
      {"contributions from /dev/zero", "/dev/zero", "", true,
       "/dev/zero is not a text file: line 1 holds a zero byte."},
      {"forbidden from /dev/full", "/dev/full", "", false,
       "/dev/full is not a text file: line 1 holds a zero byte."},
      {"contributions from a FIFO", "", "S1 2\nS2 1\n", true, ""},
      {"forbidden from a FIFO", "", "S1 D2\n", false, ""},
      {"a FIFO's faulty line", "", "S1 2\nS2 1kg\n", true,
       "Error in line 2.\nThe contribution \"1kg\" in column 2 of FILE is not a whole number."},
  };
  for (const Row& row : rows) {
    Groups g(3);
    test::ScriptedPlatform platform;
    std::optional<test::FifoWithWriter> fifo;
    if (row.path.empty()) fifo.emplace(row.text);
    const std::string path = fifo ? fifo->path() : row.path;
    const bool read = row.contributions ? ReadContributionFile(path, g.ped, g.groups, platform).has_value()
                                        : ReadForbiddenFile(path, g.ped, g.groups, platform).has_value();
    std::string expected = row.message;
    if (const auto at = expected.find("FILE"); at != std::string::npos) expected.replace(at, 4, path);
    EXPECT_EQ(read, expected.empty()) << row.name;
    EXPECT_EQ(platform.MessageTexts(),
              expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{expected})
        << row.name;
  }
}

// Sires S1..Sn in group 7 and dams D1..Dm in group 9, in file order.
struct SizedGroups {
  SizedGroups(int sires, int dams) {
    std::string text = "Progeny Sire Dam Group\n";
    for (int s = 1; s <= sires; ++s) text += "s" + std::to_string(s) + " 0 0 7\n";
    for (int d = 1; d <= dams; ++d) text += "D" + std::to_string(d) + " 0 0 9\n";
    EXPECT_EQ(test::LoadText(text, ped).status, LoadStatus::kLoaded);
    EnsureCodeOrder(ped);
    groups.sireGroup = 7;
    groups.damGroup = 9;
    for (RecIndex r = 1; r <= ped.nTotal; ++r) (ped.rec(r).Id()[0] == 'S' ? groups.sires : groups.dams).push_back(r);
  }
  Pedigree ped;
  MatingGroups groups;
};

TEST(StartingContributions, TheWrittenFileIsReadBackWithEveryDamMatedOnce) {
  struct Row {
    const char* name;
    int sires;
    int dams;
    std::vector<std::int32_t> shares;
  };
  const Row rows[] = {
      {"as many sires as dams", 3, 3, {1, 1, 1}},
      {"dams shared evenly", 2, 4, {2, 2}},
      {"the first sires one more", 4, 10, {3, 3, 2, 2}},
      {"one sire for all", 1, 5, {5}},
      {"more sires than dams", 3, 1, {1, 0, 0}},
  };
  for (const Row& row : rows) {
    SizedGroups g(row.sires, row.dams);
    test::TempFile file("", ".c");
    test::ScriptedPlatform platform;
    ASSERT_TRUE(WriteStartingContributions(file.path(), g.ped, g.groups, platform)) << row.name;
    EXPECT_EQ(platform.statusLines,
              std::vector<std::string>{"Written: " + file.path() + " (" + std::to_string(4 + row.sires) + " lines)."})
        << row.name;
    EXPECT_EQ(ReadContributionFile(file.path(), g.ped, g.groups, platform), row.shares) << row.name;
    EXPECT_TRUE(platform.messages.empty()) << row.name;
  }
}

TEST(StartingContributions, SaysWhatTheFileIsInItsComment) {
  SizedGroups g(2, 3);
  EXPECT_EQ(StartingContributions(g.ped, g.groups),
            "! Contribution file of Optimizing Matings: one line per sire of group 7,\n"
            "! its ID and the number of dams of group 9 it is mated with (0: none).\n"
            "! The numbers add up to 3, the dams of group 9, so that every dam has one mating.\n"
            "! Lines that start with ! are comments.\n"
            "S1 2\nS2 1\n");
}

}  // namespace
}  // namespace kinvar
