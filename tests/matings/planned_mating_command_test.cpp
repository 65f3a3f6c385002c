// Tools > Planned Mating through the document: what the form refuses, with
// the exact messages (the sex a sire or a dam needs, the same animal as
// both, IDs that name nobody), the report of an unknown parent, and the
// report and tables of a mating with common ancestors.
#include "matings/planned_mating_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

// S1 and D1 have a Sex column entry; A1 is a sire and A2 a dam by their
// role only; C1 and C2 are neither.
constexpr const char* kHerd =
    "Progeny Sire Dam Group Sex\n"
    "S1 0 0 1 M\nD1 0 0 1 F\nS2 0 0 1 .\nD2 0 0 1 .\n"
    "A1 S1 D1 2 .\nA2 S1 D2 2 .\nA3 S2 D1 2 M\n"
    "C1 A1 A2 3 .\nC2 A3 A2 3 .\n";

// The fields sire, dam, sire's sire, sire's dam, dam's sire, dam's dam,
// candidates, reference and top, from the first; those not given are
// empty, but top, which is 20.
struct Form {
  Form(std::initializer_list<std::string> given) : fields(given) {
    fields.resize(9);
    if (given.size() < 9) fields[8] = "20";
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts = fields;
    texts.push_back("1");
    return texts;
  }
  std::vector<std::string> fields;
};

struct Refusal {
  const char* name;
  Form form;
  std::string message;
};

TEST(PlannedMatingCommand, RefusesWhatNoMatingCanBe) {
  const Refusal rows[] = {
      {"female sire", {"d1", "A2"}, "Error: D1 is female and cannot be the sire."},
      {"male dam", {"A1", "S1"}, "Error: S1 is male and cannot be the dam."},
      {"a dam as the sire", {"A2", "D2"}, "Error: A2 is a dam in the pedigree and cannot be the sire."},
      {"a sire as the dam", {"S2", "A1"}, "Error: A1 is a sire in the pedigree and cannot be the dam."},
      {"both", {"C1", "c1"}, "Error: C1 cannot be both the sire and the dam."},
      {"unknown sire", {"ZZ", "A2"}, "Cannot find individual \"ZZ\" in the pedigree."},
      {"longer text", {"A1", "A2XXXXXXXXXXXXXXXXXXXXXXX"},
       "Cannot find individual \"A2XXXXXXXXXXXXXXXXXXXXXXX\" in the pedigree."},
      {"new sire named as another", {"C1", "A2", "A3", "D2"},
       "Error: C1 is in the pedigree; the new sire needs a name of its own, or no parents."},
      {"new sire's name too long", {"N23456789012345678901", "A2", "A3", "D2"},
       "Error: N23456789012345678901 cannot name the new sire: a name has at most 20 characters, "
       "and no blank or |."},
      {"new dam's name with markup", {"A1", "N|X", "", "", "A3", "D2"},
       "Error: N|X cannot name the new dam: a name has at most 20 characters, and no blank or |."},
      {"new sire's female sire", {"N", "A2", "D1", "D2"},
       "Error: D1 is female and cannot be the new sire's sire."},
      {"new dam's male dam", {"A1", "N", "", "", "C1", "A3"},
       "Error: A3 is male and cannot be the new dam's dam."},
      {"new dam's unknown parent", {"A1", "N", "", "", "C1", "QQ"},
       "Cannot find individual \"QQ\" in the pedigree."},
      {"new dam with one parent twice", {"A1", "N", "", "", "C1", "C1"},
       "Error: C1 cannot be both the sire and the dam of the new dam."},
      {"no such candidate group", {"A1", "A2", "", "", "", "", "9"}, "Error: There is no group 9."},
      {"no such reference", {"A1", "A2", "", "", "", "", "", "1.5"}, "Error: There is no group 1.5."},
      {"top not a number", {"A1", "A2", "", "", "", "", "", "", "ten"},
       "Error: The number of best sires must be a whole number from 0 to 1000000, not ten."},
      {"top too many", {"A1", "A2", "", "", "", "", "", "", "1000001"},
       "Error: The number of best sires must be a whole number from 0 to 1000000, not 1000001."},
  };
  for (const Refusal& row : rows) {
    test::DocSession s(kHerd);
    s.platform.forms.push_back(row.form.Texts());
    s.doc.RunCommand(kCmdPlannedMating);
    EXPECT_NE(s.doc.lastCommand(), kCmdPlannedMating) << row.name;
    EXPECT_EQ(s.platform.JoinedTexts(MessageIcon::kError), row.message) << row.name;
  }
}

TEST(PlannedMatingCommand, SaysThatAnUnknownParentGivesNoInbreeding) {
  struct Row {
    const char* name;
    Form form;
    std::string line;
  };
  const Row rows[] = {
      {"sire", {"0", "A2"}, "The sire is unknown, so the offspring's F is 0."},
      {"dam", {"A1", ""}, "The dam is unknown, so the offspring's F is 0."},
      {"both", {"", "0"}, "The sire and the dam are unknown, so the offspring's F is 0."},
  };
  for (const Row& row : rows) {
    test::DocSession s(kHerd);
    s.platform.forms.push_back(row.form.Texts());
    s.doc.RunCommand(kCmdPlannedMating);
    ASSERT_EQ(s.doc.lastCommand(), kCmdPlannedMating) << row.name;
    const std::vector<std::string> report = s.Report();
    ASSERT_GE(report.size(), 6u) << row.name;
    EXPECT_EQ(report[4], "Inbreeding coefficient of the offspring = |X0") << row.name;
    EXPECT_EQ(report[5], row.line) << row.name;
  }
}

TEST(PlannedMatingCommand, WritesTheOffspringItsCommonAncestorsAndTheBestSires) {
  test::DocSession s(kHerd);
  s.platform.forms.push_back(Form{"a1", "n", "", "", "a3", "a2", "2", "", "3"}.Texts());
  s.doc.RunCommand(kCmdPlannedMating);
  ASSERT_EQ(s.doc.lastCommand(), kCmdPlannedMating);
  const std::vector<std::string> expected = {
      "|XPlanned mating",
      "Sire = |XA1",
      "Dam = |XN (new: sire A3, dam A2)",
      "Relationship of the parents = |X0.25",
      "Inbreeding coefficient of the offspring = |X0.125",
      "",
      "|XCommon ancestors of the sire and the dam, with their parts of the offspring's F",
      "ID|T1Part of F",
      "|MS1|T10.062500",
      "|MD1|T10.062500",
      "Total|T10.125000",
      "The parts add up to the offspring's F.",
      "",
      "|XBest sires for the dam N among group 2, lowest offspring F first",
      "Candidates = |X2",
      "Mean kinship (MK) with all individuals",
      "Rank|T1Sire|T1Group|T1Offspring F|T1MK",
  };
  const std::vector<std::string> report = s.Report();
  ASSERT_GE(report.size(), expected.size() + 2);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(report[i], expected[i]) << i;
  EXPECT_TRUE(report[expected.size()].starts_with("1|T1|MA1|T12|T10.125|T1")) << report[expected.size()];
  EXPECT_TRUE(report[expected.size() + 1].starts_with("2|T1|MA3|T12|T10.25|T1"));
  const ResultSet& tables = s.doc.pedigree().report.tables();
  ASSERT_NE(tables.Find("common_ancestors"), nullptr);
  ASSERT_NE(tables.Find("best_sires"), nullptr);
  EXPECT_EQ(tables.Find("best_sires")->rows(), 2u);
}

}  // namespace
}  // namespace kinvar
