// Extraction: the exact file of a small case, and round trips on random
// pedigrees (extract, open again, same relationships among the extracted).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "genetics/relationship.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

struct Extracted {
  std::string text;
  std::vector<std::string> report;
};

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

TEST(Extraction, WritesTheFileExactly) {
  setenv("SOURCE_DATE_EPOCH", "1796479620", 1);
  setenv("TZ", "UTC", 1);
  test::DocSession s("progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 2\nD A 0 .\nE C D 2\n");
  const std::string head =
      "!14:07  Saturday, December 5, 2026\n!Pedigree file name: " + s.doc.path() + "\n\n";
  const auto row = [](std::string a, std::string b, std::string c, std::string g) {
    return a.append(22 - a.size(), ' ') + b.append(22 - b.size(), ' ') +
           c.append(22 - c.size(), ' ') + g + "\n";
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
                           "! This file contains the descendants of individuals belong to the "
                           "group 1.\n! Individuals belong to the group 1 are included.\n"
                           "! Number of individuals:  5\n!" +
                           std::string(66, '-') + "\n\n" + columns + row("A", "0", "0", "1") +
                           row("B", "0", "0", "1") + row("C", "A", "B", "2") +
                           row("D", "A", "0", ".") + row("E", "C", "D", "2"));
  EXPECT_EQ(down.report, std::vector<std::string>{
                             "Descendants of individuals belong to the group 1 are saved."});
  unsetenv("SOURCE_DATE_EPOCH");
}

TEST(Extraction, ReopenedFilesKeepEveryRelationship) {
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 80);
    options.groupColumn = true;
    options.fColumn = false;  // the file carries no F column
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    test::DocSession whole(random.text);
    whole.doc.RunCommand(kCmdCompute);
    Pedigree& a = whole.doc.pedigree();
    const Rec& last = a.rec(a.records[static_cast<std::size_t>(a.nTotal - 1)]);
    std::vector<std::pair<std::int32_t, std::string>> cases = {
        {kCmdExtractAncestorsIndividual, last.id}};
    if (!a.groups.empty())
      cases.emplace_back(kCmdExtractAncestorsGroup, std::to_string(a.groups[0].group));
    for (const auto& [command, input] : cases) {
      // Relationships of every pair of the extracted, in the whole pedigree.
      const Extracted e = Extract(whole, command, input);
      test::DocSession reopened(e.text);
      reopened.doc.RunCommand(kCmdCompute);
      Pedigree& b = reopened.doc.pedigree();
      for (RecIndex i = 1; i <= b.nRead; ++i) {
        for (RecIndex j = 1; j <= i; ++j) {
          std::string x = b.rec(i).id, y = b.rec(j).id;
          const RecIndex xi = FindTypedId(a, x), yi = FindTypedId(a, y);
          EXPECT_EQ(PairRelationship(b, b.d, i, j), PairRelationship(a, a.d, xi, yi))
              << "seed " << seed << " " << x << " " << y;
        }
      }
      EXPECT_EQ(b.nTotal, b.nRead) << "an ancestors file names only listed parents";
    }
  }
}

}  // namespace
}  // namespace kinvar
