// The population commands' forms: each box for a file's name has a Browse...
// button beside it, and only those; the other boxes stay plain.
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "app/document.h"
#include "gui/dialogs.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;
using test::WhenShown;

// The label of each box that has a Browse... button, top to bottom.
std::vector<std::string> BrowsedBoxes(const ValueFormDialog& form) {
  std::vector<std::string> labels;
  for (QWidget* field : form.fields()) {
    QWidget* holder = field->parentWidget();
    const auto buttons = holder->findChildren<QPushButton*>(QStringLiteral("browse"), Qt::FindDirectChildrenOnly);
    if (buttons.isEmpty()) continue;
    EXPECT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "Browse...");
    EXPECT_FALSE(buttons[0]->autoDefault());  // Enter still means OK
    auto* layout = form.findChild<QFormLayout*>();
    auto* label = qobject_cast<QLabel*>(layout->labelForField(holder));
    labels.push_back(label != nullptr ? label->text().toStdString() : "?");
  }
  return labels;
}

TEST(PopulationDialogs, FileBoxesHaveABrowseButton) {
  struct Row {
    const char* name;
    std::int32_t command;
    std::vector<std::string> browsed;
  };
  const Row rows[] = {
      {"optimum contributions",
       kCmdOptimumContributions,
       {"Breeding values: file of ID and value", "Matings file to write (every dam one progeny)"}},
      // Its boxes are a group and a bound: no file to browse for.
      {"mate suitability", kCmdMateSuitability, {}},
  };
  for (const Row& row : rows) {
    DocumentFixture f;
    f.doc.OpenPedigreeFile(KINVAR_EXAMPLES_DIR "/herd.pdg");
    bool seen = false;
    WhenShown<TwoGroupsDialog>([&](TwoGroupsDialog& d) {
      d.listA()->setCurrentIndex(1);
      d.listB()->setCurrentIndex(2);
      WhenShown<ValueFormDialog>([&](ValueFormDialog& form) {
        seen = true;
        form.adjustSize();
        EXPECT_EQ(BrowsedBoxes(form), row.browsed) << row.name;
        // The boxes still hand their texts to the command.
        for (QWidget* field : form.fields()) EXPECT_NE(qobject_cast<QLineEdit*>(field), nullptr) << row.name;
        form.reject();
      });
      d.button()->click();
    });
    f.doc.RunCommand(row.command);
    EXPECT_TRUE(seen) << row.name;
  }
}

}  // namespace
}  // namespace kinvar::gui
