// Extraction: the exact file of a small case, and round trips on random
// pedigrees (extract, open again, same relationships among the extracted).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "genetics/relationship.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/written_columns.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

using test::PaddedRow;

// Output files carry a fixed time in their header.
using Extraction = test::FixedClockTest;

struct Extracted { std::string text; std::vector<std::string> report; };

// Runs an extraction on `s` for an ID or a group number and reads the file.
Extracted Extract(test::DocSession& s, std::int32_t command, const std::string& input) {
  const std::string out =
      fs::temp_directory_path() / ("kinvar-extract-" + std::to_string(getpid()) + ".pdg");
  if (command == kCmdExtractAncestorsGroup || command == kCmdExtractDescendantsGroup)
    s.platform.groupChoices.push_back(std::atoi(input.c_str()));
  else
    s.platform.typedIds.push_back(input);
  s.platform.fileNames.push_back(out);
  s.doc.RunCommand(command);
  Extracted e{test::ReadWholeFile(out), s.Report()};
  fs::remove(out);
  return e;
}

TEST_F(Extraction, WritesTheFileExactly) {
  test::DocSession s("progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 2\nD A 0 .\nE C D 2\n");
  const std::string head =
      "!14:07  Saturday, December 5, 2026\n!Pedigree file name: " + s.doc.path() + "\n\n";
  const auto row = [](std::string a, std::string b, std::string c, std::string g) {
    return PaddedRow({a, b, c, g}, {22, 22, 22});
  };
  const std::string columns = row("Progeny", "Sire", "Dam", "Group") + "\n";
  const Extracted up = Extract(s, kCmdExtractAncestorsIndividual, "c");
  EXPECT_EQ(up.text, head +
                         "! This file contains the ancestors of individual C, including "
                         "individual itself.\n! Number of individuals:  3\n!" +
                         std::string(66, '-') + "\n\n" + columns + row("A", "0", "0", "1") +
                         row("B", "0", "0", "1") + row("C", "A", "B", "2"));
  EXPECT_EQ(up.report, std::vector<std::string>{"Ancestors of individual C are saved."});
  EXPECT_EQ(s.doc.lastCommand(), kCmdExtractAncestorsIndividual);
  const Extracted down = Extract(s, kCmdExtractDescendantsGroup, "1");
  EXPECT_EQ(down.text, head +
                           "! This file contains the descendants of the individuals of group 1.\n"
                           "! The individuals of group 1 are included.\n"
                           "! Number of individuals:  5\n!" +
                           std::string(66, '-') + "\n\n" + columns + row("A", "0", "0", "1") +
                           row("B", "0", "0", "1") + row("C", "A", "B", "2") +
                           row("D", "A", "0", ".") + row("E", "C", "D", "2"));
  EXPECT_EQ(down.report,
            std::vector<std::string>{"Descendants of the individuals of group 1 are saved."});

  // With an F column: the predefined F exactly, the computed ones left out.
  test::DocSession f("progeny sire dam F\nA 0 0 0.0644531\nB 0 0 .\nC A B 0.1\nD C B .\n");
  f.doc.RunCommand(kCmdCompute);
  const Extracted withF = Extract(f, kCmdExtractAncestorsIndividual, "d");
  EXPECT_EQ(withF.text.substr(withF.text.find("! This")),
            "! This file contains the ancestors of individual D, including individual itself.\n"
            "! Number of individuals:  4\n!" + std::string(66, '-') + "\n\n" +
                row("Progeny", "Sire", "Dam", "F") + "\n" + row("A", "0", "0", "0.0644531") +
                row("B", "0", "0", ".") + row("C", "A", "B", "0.1") + row("D", "C", "B", "."));
}

// Sex and Birth date follow the other columns as the source has them: an
// added parent with the sex of its role, unknown values as ".".
TEST_F(Extraction, WritesSexAndBirthDateBackExactly) {
  struct Row {
    const char* name;
    const char* text;
    bool sex, birth;
    std::vector<std::size_t> widths;
    std::vector<std::vector<std::string>> lines;  // heading first
  };
  const Row rows[] = {
      {"after the dam", "progeny sire dam\nC A B\nD X C\n", true, true, {22, 22, 22, 10},
       {{"Progeny", "Sire", "Dam", "Sex", "Birth_date"}, {"B", "0", "0", "F", "."},
        {"A", "0", "0", "M", "."}, {"C", "A", "B", "F", "2005-06-15"}}},
      {"after the group", "progeny sire dam group\nC A B 2\nD X C .\n", false, true,
       {22, 22, 22, 10},
       {{"Progeny", "Sire", "Dam", "Group", "Birth_date"}, {"B", "0", "0", ".", "."},
        {"A", "0", "0", ".", "."}, {"C", "A", "B", "2", "2005-06-15"}}},
      {"after F", "progeny sire dam f\nC A B 0.125\nD X C .\n", true, false, {22, 22, 22, 16},
       {{"Progeny", "Sire", "Dam", "F", "Sex"}, {"B", "0", "0", ".", "F"}, {"A", "0", "0", ".", "M"},
        {"C", "A", "B", "0.125", "F"}}},
  };
  for (const Row& row : rows) {
    test::DocSession s(row.text);
    Pedigree& ped = s.doc.pedigree();
    ped.sexColumn = row.sex ? 5 : -1;
    ped.birthColumn = row.birth ? 6 : -1;
    for (RecIndex i = 1; i <= ped.nRead; ++i) {
      if (ped.rec(i).Id() != "C") continue;
      ped.rec(i).sex = Sex::kFemale;
      ped.rec(i).birth = 12949;  // 2005-06-15
    }
    const Extracted e = Extract(s, kCmdExtractAncestorsIndividual, "c");
    std::string expected = PaddedRow(row.lines[0], row.widths) + "\n";
    for (std::size_t k = 1; k < row.lines.size(); ++k) expected += PaddedRow(row.lines[k], row.widths);
    EXPECT_EQ(e.text.substr(e.text.find("Progeny")), expected) << row.name;
  }
}

// Within the rounding of 32-bit floats summed in another order.
void ExpectClose(float reopened, float source, const std::string& what) {
  EXPECT_LE(std::abs(reopened - source), 1e-6f * std::max(1.0f, std::abs(source))) << what;
}

// Extract, open again: every extracted individual keeps its F (predefined
// ones bit for bit) and every relationship among them. A descendants file
// keeps every predefined F it holds; its outside mates become founders, so
// other values may change.
TEST_F(Extraction, ReopenedFilesKeepEveryRelationshipAndF) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 80);
    options.groupColumn = true;
    options.fColumn = seed % 5 != 0;
    options.predefinedChance = 0.3;
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    test::DocSession whole(random.text);
    whole.doc.RunCommand(kCmdCompute);
    Pedigree& a = whole.doc.pedigree();
    const Rec& last = a.rec(a.records[static_cast<std::size_t>(a.nTotal - 1)]);
    const Rec& first = a.rec(a.records[0]);
    std::vector<std::pair<std::int32_t, std::string>> cases = {
        {kCmdExtractAncestorsIndividual, last.id}, {kCmdExtractDescendantsIndividual, first.id}};
    if (!a.groups.empty()) {
      cases.emplace_back(kCmdExtractAncestorsGroup, std::to_string(a.groups[0].group));
      cases.emplace_back(kCmdExtractDescendantsGroup, std::to_string(a.groups[0].group));
    }
    for (const auto& [command, input] : cases) {
      const Extracted e = Extract(whole, command, input);
      test::DocSession reopened(e.text);
      reopened.doc.RunCommand(kCmdCompute);
      Pedigree& b = reopened.doc.pedigree();
      const bool ancestors =
          command == kCmdExtractAncestorsIndividual || command == kCmdExtractAncestorsGroup;
      for (RecIndex i = 1; i <= b.nRead; ++i) {
        std::string x = b.rec(i).id;
        const RecIndex xi = FindTypedId(a, x);
        const std::string where = "seed " + std::to_string(seed) + " " + input + " " + x;
        EXPECT_EQ(b.rec(i).fPredefined, a.rec(xi).fPredefined) << where;
        if (a.rec(xi).fPredefined) {
          EXPECT_EQ(std::bit_cast<std::uint32_t>(b.rec(i).f),
                    std::bit_cast<std::uint32_t>(a.rec(xi).f))
              << where;
        }
        if (!ancestors) continue;
        ExpectClose(b.rec(i).f, a.rec(xi).f, where);
        for (RecIndex j = 1; j <= i; ++j) {
          std::string y = b.rec(j).id;
          const RecIndex yi = FindTypedId(a, y);
          ExpectClose(PairRelationship(b, b.d, i, j), PairRelationship(a, a.d, xi, yi),
                      where + " " + y);
        }
      }
      if (ancestors) {
        EXPECT_EQ(b.nTotal, b.nRead) << "an ancestors file names only listed parents";
      }
    }
  }
}

// Extract, open again: every extracted individual has the sex and the date
// it has in the source (dates by parents-first position, so that parents
// are born first; sexes by role, some unknown).
TEST_F(Extraction, ReopenedFilesKeepSexAndBirthDate) {
  for (std::uint64_t seed = 1; seed <= 10; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 80);
    options.decorate = false;
    options.groupColumn = true;
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    std::map<std::string, const char*> sex;
    for (const test::RandomIndividual& r : random.individuals) {
      if (!r.sire.empty()) sex[r.sire] = "M";
      if (!r.dam.empty()) sex[r.dam] = "F";
    }
    std::map<std::string, std::string> born;
    int position = 0;
    for (const int i : test::ParentsFirstOrder(random.individuals)) {
      const std::string& id = random.individuals[static_cast<std::size_t>(i)].id;
      ++position;
      if (position % 7 != 0) born[id] = std::to_string(1900 + position);
      if (position % 5 == 0) sex[id] = ".";
      sex.try_emplace(id, position % 2 == 0 ? "M" : "F");
    }
    std::string text = "progeny sire dam group sex born\n";
    for (const test::RandomIndividual& r : random.individuals) {
      if (!r.listed) continue;
      text += r.id + " " + (r.sire.empty() ? "0" : r.sire) + " " + (r.dam.empty() ? "0" : r.dam) +
              " " + (r.group < 0 ? "." : std::to_string(r.group)) + " " + sex[r.id] + " " +
              (born.count(r.id) ? born[r.id] : ".") + "\n";
    }
    test::DocSession whole(text);
    const Pedigree& a = whole.doc.pedigree();
    ASSERT_TRUE(a.HasSexColumn() && a.HasBirthColumn());
    const std::vector<std::pair<std::int32_t, std::string>> cases = {
        {kCmdExtractAncestorsIndividual, a.rec(a.records.back()).id},
        {kCmdExtractDescendantsIndividual, a.rec(a.records.front()).id},
        {kCmdExtractAncestorsGroup, std::to_string(a.groups.at(0).group)}};
    for (const auto& [command, input] : cases) {
      const Extracted e = Extract(whole, command, input);
      test::DocSession reopened(e.text);
      const Pedigree& b = reopened.doc.pedigree();
      ASSERT_TRUE(b.HasSexColumn() && b.HasBirthColumn());
      for (RecIndex i = 1; i <= b.nRead; ++i) {
        std::string x = b.rec(i).id;
        const Rec& source = a.rec(FindTypedId(a, x));
        const std::string where = "seed " + std::to_string(seed) + " " + input + " " + x;
        EXPECT_EQ(b.rec(i).sex, source.sex) << where;
        EXPECT_EQ(b.rec(i).birth, source.birth) << where;
      }
    }
  }
}

}  // namespace
}  // namespace kinvar
