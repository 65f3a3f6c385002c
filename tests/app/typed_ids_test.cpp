// IDs typed into the dialogs, the pickers and the session are matched
// whole: a text longer than any ID can be names nobody, never the animal
// whose ID it begins with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/commands.h"
#include "app/session.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

constexpr const char* kPedigree =
    "Progeny Sire Dam\nABCDEFGHIJKLMNOPQRST 0 0\nB 0 0\nC ABCDEFGHIJKLMNOPQRST B\n";

TEST(TypedIds, QueryDialogsFindOnlyTheWholeText) {
  struct Row {
    const char* name;
    std::int32_t command;
    std::vector<std::string> typed;
    std::optional<std::string> value;  // nothing: not found
    std::string message;
  };
  const Row rows[] = {
      {"inbreeding, three bytes too many", kCmdInbreedingOfIndividual, {"ABCDEFGHIJKLMNOPQRSTXYZ"}, std::nullopt,
       "Cannot find \"ABCDEFGHIJKLMNOPQRSTXYZ\" in the pedigree."},
      {"inbreeding, twenty bytes", kCmdInbreedingOfIndividual, {"abcdefghijklmnopqrst"}, "0", ""},
      {"relationship, first too long", kCmdBetweenTwoIndividuals, {"ABCDEFGHIJKLMNOPQRST-WRONG", "C"},
       std::nullopt, "Cannot find individual \"ABCDEFGHIJKLMNOPQRST-WRONG\" in the pedigree."},
      {"relationship, second too long", kCmdBetweenTwoIndividuals, {"C", "abcdefghijklmnopqrstu"}, std::nullopt,
       "Cannot find individual \"ABCDEFGHIJKLMNOPQRSTU\" in the pedigree."},
      {"relationship, twenty bytes", kCmdBetweenTwoIndividuals, {"ABCDEFGHIJKLMNOPQRST", "C"}, "0.5", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::DocSession s(kPedigree);
    s.platform.queries.push_back(row.typed);
    s.doc.RunCommand(row.command);
    ASSERT_EQ(s.platform.queryAnswers.size(), 1u);
    EXPECT_EQ(s.platform.queryAnswers[0].value, row.value);
    EXPECT_EQ(s.platform.JoinedTexts(MessageIcon::kError), row.message);
  }
}

TEST(TypedIds, TheIndividualPickerFindsOnlyTheWholeText) {
  test::DocSession s(kPedigree);
  s.platform.typedIds = {"ABCDEFGHIJKLMNOPQRSTXYZ"};
  s.doc.RunCommand(kCmdDecompositionIndividual);
  EXPECT_EQ(s.platform.JoinedTexts(MessageIcon::kError),
            "Cannot find individual \"ABCDEFGHIJKLMNOPQRSTXYZ\" in the pedigree.");
  EXPECT_EQ(s.doc.lastCommand(), kCmdViewPedigree);
}

TEST(TypedIds, TheSessionFindsOnlyTheWholeText) {
  const auto session = Session::FromColumns(
      {{"Progeny", "Sire", "Dam"},
       {{"ABCDEFGHIJKLMNOPQRST", "B", "C"}, {"0", "0", "ABCDEFGHIJKLMNOPQRST"}, {"0", "0", "B"}}});
  try {
    session->Relationship("ABCDEFGHIJKLMNOPQRST-WRONG", "B", RelationshipKind::kNumerator);
    ADD_FAILURE() << "found";
  } catch (const Refused& e) {
    EXPECT_STREQ(e.what(), "Cannot find individual \"ABCDEFGHIJKLMNOPQRST-WRONG\" in the pedigree.");
  }
  EXPECT_THROW(session->RelationshipMatrix({"C", "abcdefghijklmnopqrstxyz"}, RelationshipKind::kNumerator),
               Refused);
  EXPECT_DOUBLE_EQ(session->Relationship("abcdefghijklmnopqrst", "C", RelationshipKind::kNumerator), 0.5);
}

}  // namespace
}  // namespace kinvar
