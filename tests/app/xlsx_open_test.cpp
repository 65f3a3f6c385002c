// Opening a workbook in the document: the sheet choice asked of the
// platform when there are several, its cancel, and a refused workbook.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/doc_session.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

const std::string kData = std::string(KINVAR_EXAMPLES_DIR) + "/../tests/data/xlsx/";

std::vector<std::string> Ids(const Pedigree& ped) {
  std::vector<std::string> ids;
  for (std::int32_t i = 1; i <= ped.nRead; ++i) ids.emplace_back(ped.rec(i).id);
  return ids;
}

// Of several sheets the platform is asked for one; one sheet is read
// without asking.
TEST(OpenWorkbook, SheetChoice) {
  using Names = std::vector<std::string>;
  struct Row {
    const char* name;
    const char* file;
    std::optional<std::string> choice;
    bool opened;
    Names ids;
  };
  const Row rows[] = {
      {"the second sheet", "two_sheets.xlsx", "Herd B", true, {"Q1", "Q2", "Q3", "Q4"}},
      {"the first sheet", "two_sheets.xlsx", "Herd A", true, {"P1", "P2", "P3"}},
      {"cancelled", "two_sheets.xlsx", std::nullopt, false, {}},
      {"one sheet", "plain.xlsx", std::nullopt, true, {"BELLA", "BRUNO", "CARLA", "DANTE", "ELSA"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const bool several = std::string(r.file) == "two_sheets.xlsx";
    test::DocSession s;
    if (several) s.platform.sheetChoices.push_back(r.choice);
    EXPECT_EQ(s.OpenPath(kData + r.file), r.opened);
    EXPECT_EQ(s.platform.sheetLists, (several ? std::vector<Names>{{"Herd A", "Herd B"}} : std::vector<Names>{}));
    EXPECT_EQ(Ids(s.doc.pedigree()), r.ids);
    EXPECT_TRUE(s.platform.messages.empty());
    EXPECT_EQ(s.doc.lastCommand(), r.opened ? kCmdViewPedigree : kNoPedigree);
    if (!several) {
      EXPECT_EQ(s.doc.title(), r.file);
    }
  }
}

TEST(OpenWorkbook, ARefusedWorkbookIsTold) {
  test::DocSession s;
  test::TempFile broken("PK\x03\x04 not really a workbook", ".xlsx");
  EXPECT_FALSE(s.OpenPath(broken.path()));
  ASSERT_EQ(s.platform.messages.size(), 1u);
  EXPECT_EQ(s.platform.messages[0].icon, MessageIcon::kError);
  EXPECT_NE(s.platform.messages[0].text.find("is damaged or is not an .xlsx workbook."), std::string::npos);
  EXPECT_EQ(s.doc.lastCommand(), kNoPedigree);
}

}  // namespace
}  // namespace kinvar
