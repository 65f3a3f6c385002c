// The sheet picker of a workbook with several sheets, through the desktop's
// Open: the list offers the sheets in order with the first selected; OK
// reads the selected one, Cancel nothing.
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>

#include "gui/dialogs.h"
#include "gui_support.h"

namespace kinvar::gui::test {
namespace {

const std::string kTwoSheets = std::string(KINVAR_EXAMPLES_DIR) + "/../tests/data/xlsx/two_sheets.xlsx";

TEST(SheetPicker, OpenAsksForTheSheet) {
  struct Row { const char* name; int row; bool ok; const char* firstId; };
  const Row rows[] = {{"the second sheet", 1, true, "Q1"},
                      {"the first, as selected", 0, true, "P1"},
                      {"cancelled", 0, false, nullptr}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    DocumentFixture f;
    WhenShown<SheetChoiceDialog>([&r](SheetChoiceDialog& d) {
      ASSERT_EQ(d.list()->count(), 2);
      EXPECT_EQ(d.list()->item(0)->text().toStdString(), "Herd A");
      EXPECT_EQ(d.list()->item(1)->text().toStdString(), "Herd B");
      EXPECT_EQ(d.list()->currentRow(), 0);
      d.list()->setCurrentRow(r.row);
      if (r.ok) d.button()->click();
    });
    EXPECT_EQ(f.doc.OpenPedigreeFile(kTwoSheets), r.ok);
    EXPECT_TRUE(f.platform.messages.empty());
    if (r.ok) {
      EXPECT_EQ(f.doc.pedigree().rec(1).Id(), r.firstId);
    } else {
      EXPECT_EQ(f.doc.pedigree().nRead, 0);
    }
  }
}

}  // namespace
}  // namespace kinvar::gui::test
