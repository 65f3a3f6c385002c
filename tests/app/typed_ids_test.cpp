// IDs given to the session are matched whole: a text longer than any ID can
// be names nobody, never the animal whose ID it begins with. (The commands'
// own dialogs and pickers run the handlers that kinvar-cli's typed IDs
// test.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/session.h"

namespace kinvar {
namespace {

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
