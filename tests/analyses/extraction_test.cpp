// Extraction: the exact file of a small case, and round trips on random
// pedigrees (extract, open again, same relationships among the extracted).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/document.h"
#include "genetics/relationship.h"
#include "support/random_pedigree.h"
#include "support/scripted_platform.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

struct Extracted {
  std::string text;
  std::vector<std::string> report;
};

Extracted Extract(CKinvarDoc& doc, test::ScriptedPlatform& platform, std::int32_t command,
                  const std::string& input) {
  const std::string out =
      fs::temp_directory_path() / ("kinvar-extract-" + std::to_string(getpid()) + ".pdg");
  if (command == kCmdExtractAncestorsGroup || command == kCmdExtractDescendantsGroup)
    platform.groupChoices.push_back(std::atoi(input.c_str()));
  else
    platform.typedIds.push_back(input);
  platform.fileNames.push_back(out);
  doc.RunCommand(command);
  Extracted e{test::ReadWholeFile(out), {}};
  for (int i = 0; i < doc.pedigree().report.Count(); ++i)
    e.report.emplace_back(doc.pedigree().report.Line(i));
  fs::remove(out);
  return e;
}

TEST(Extraction, WritesTheFileExactly) {
  setenv("SOURCE_DATE_EPOCH", "1796479620", 1);
  setenv("TZ", "UTC", 1);
  test::TempFile file("progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 2\nD A 0 .\nE C D 2\n");
  test::ScriptedPlatform platform;
  CKinvarDoc doc(platform, "");
  ASSERT_TRUE(doc.Initialize());
  ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
  const std::string head =
      "!14:7  Saturday, December 5, 2026\n!Pedigree file name: " + doc.path() + "\n\n";
  const auto row = [](std::string a, std::string b, std::string c, std::string g) {
    return a.append(22 - a.size(), ' ') + b.append(22 - b.size(), ' ') +
           c.append(22 - c.size(), ' ') + g + "\n";
  };
  const std::string columns = row("Progeny", "Sire", "Dam", "Group") + "\n";
  const Extracted up = Extract(doc, platform, kCmdExtractAncestorsIndividual, "c");
  EXPECT_EQ(up.text, head +
                         "! This file contains the ancestors of individual C, including "
                         "individual itself.\n! Number of individuals:  3\n!" +
                         std::string(66, '-') + "\n\n" + columns + row("A", "0", "0", "1") +
                         row("B", "0", "0", "1") + row("C", "A", "B", "2"));
  EXPECT_EQ(up.report, std::vector<std::string>{"Ancestors of individual C are saved."});
  EXPECT_EQ(doc.lastCommand(), kCmdExtractAncestorsIndividual);
  const Extracted down = Extract(doc, platform, kCmdExtractDescendantsGroup, "1");
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
    test::TempFile file(random.text);
    test::ScriptedPlatform platform;
    CKinvarDoc doc(platform, "");
    ASSERT_TRUE(doc.Initialize());
    ASSERT_TRUE(doc.OpenPedigreeFile(file.path()));
    const Pedigree& ped = doc.pedigree();
    const Rec& last = ped.rec(ped.records[static_cast<std::size_t>(ped.nTotal - 1)]);
    const int group = ped.groups.empty() ? -1 : ped.groups[0].group;
    struct Case {
      std::int32_t command;
      std::string input;
    };
    std::vector<Case> cases = {{kCmdExtractAncestorsIndividual, last.id}};
    if (group >= 0) cases.push_back({kCmdExtractAncestorsGroup, std::to_string(group)});
    for (const Case& c : cases) {
      // Relationships of every pair of the extracted, in the whole pedigree.
      test::ScriptedPlatform p2;
      CKinvarDoc whole(p2, "");
      ASSERT_TRUE(whole.Initialize());
      ASSERT_TRUE(whole.OpenPedigreeFile(file.path()));
      whole.RunCommand(kCmdCompute);
      const Extracted e = Extract(whole, p2, c.command, c.input);
      test::TempFile part(e.text);
      test::ScriptedPlatform p3;
      CKinvarDoc reopened(p3, "");
      ASSERT_TRUE(reopened.Initialize());
      ASSERT_TRUE(reopened.OpenPedigreeFile(part.path())) << e.text;
      reopened.RunCommand(kCmdCompute);
      Pedigree& a = whole.pedigree();
      Pedigree& b = reopened.pedigree();
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
