#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyses/path_counting.h"
#include "analyses/purging.h"
#include "matings/population_commands.h"
#include "app/commands.h"
#include "analyses/command_context.h"
#include "gui/dialogs.h"
#include "gui/options_dialog.h"
#include "gui/progress_dialog.h"
#include "gui_support.h"
#include "support/doc_session.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;
using test::WhenShown;

const std::string kHerd = std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg";
const std::string kBothRanges = "Entries for the relationship are incorrect!\nPlease enter a ";

struct Options : DocumentFixture {
  explicit Options(const std::string& programFolder = "")
      : dialog(programFolder.empty() ? doc : other, platform) {
    dialog.show();
  }
  void Type(QRadioButton* type, const char* lower, const char* upper) {
    type->setChecked(true);
    dialog.lowerBox()->setText(lower);
    dialog.upperBox()->setText(upper);
  }
  std::pair<std::string, std::string> Range() const {
    return {dialog.lowerBox()->text().toStdString(), dialog.upperBox()->text().toStdString()};
  }
  Document other{platform, "/nonexistent-kinvar-folder/"};
  OptionsDialog dialog;
};

// OK refuses what the rules refuse and stays open; a type button clamps the
// range it shows.
TEST(OptionsDialog, RefusesWhatTheRulesRefuseAndTypeButtonsClamp) {
  const struct {
    const char* name;
    bool coefficient;
    const char* lower;
    const char* upper;
    bool ok;              // OK clicked, else the type button
    std::string message;  // "" accepted
    std::pair<std::string, std::string> shown;
  } cases[] = {
      {"coefficient above 1", true, "0", "1.5", true,
       kBothRanges + "decimal number between 0 and 1.", {"0", "1.5"}},
      {"not a number", false, "x", "1", true, "Please enter a number.", {"x", "1"}},
      {"reversed bounds are swapped", false, "0.5", "0.2", true, "", {"0.2", "0.5"}},
      {"1 to 1 as coefficient", true, "1", "1", false, "", {"0.99", "1"}},
      {"0.3 to 0.3", true, "0.3", "0.3", false, "", {"0.3", "0.31"}},
      {"2 to 2 as numerator", false, "2", "2", false, "", {"1.99", "2"}},
      {"reversed and negative", false, "1.2", "-1", false, "", {"0", "1.2"}},
  };
  for (const auto& c : cases) {
    Options o;
    QRadioButton* type = c.coefficient ? o.dialog.coefficientButton() : o.dialog.numeratorButton();
    o.Type(type, c.lower, c.upper);
    (c.ok ? o.dialog.okButton() : static_cast<QAbstractButton*>(type))->click();
    const std::vector<std::string> expected =
        c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message};
    EXPECT_EQ(o.platform.messages, expected) << c.name;
    EXPECT_EQ(o.dialog.isVisible(), !c.ok || !c.message.empty()) << c.name;
    EXPECT_EQ(o.Range(), c.shown) << c.name;
  }
  EXPECT_EQ(Options().dialog.forbiddenBox()->text().toStdString(), "Allow for forbidden matings");
  Options failing("/nonexistent-kinvar-folder/");
  failing.dialog.saveButton()->click();
  EXPECT_EQ(failing.platform.messages,
            std::vector<std::string>{"Cannot open \"Kinvar.ini\" for writing."});
  EXPECT_TRUE(failing.dialog.isVisible());
}

std::vector<std::string> ReportLines(const Document& doc) {
  return kinvar::test::ReportLines(doc.pedigree());
}

// The limit of paths a saved path counting file takes is the user's: OK
// stores it, and Save As then writes every path or none.
TEST(OptionsDialog, SetsTheMostPathsASavedFileTakes) {
  const struct {
    const char* name;
    int limit;
    bool saved;
  } cases[] = {{"fewer than the paths", 3, false}, {"no limit", 0, true}, {"the default", 1000000, true}};
  for (const auto& c : cases) {
    DocumentFixture f;
    const kinvar::test::TempFile line(kinvar::test::FullSibLine("progeny sire dam\nS0 0 0\nD0 0 0\n", 4));
    ASSERT_TRUE(f.doc.OpenPedigreeFile(line.path()));
    f.doc.RunCommand(kCmdPathCountingAll);
    WhenShown<OptionsDialog>([&c](OptionsDialog& d) {
      EXPECT_EQ(d.maxPathsBox()->value(), 1000000) << c.name;
      d.maxPathsBox()->setValue(c.limit);
      d.okButton()->click();
    });
    RunOptionsDialog(f.doc, f.platform, nullptr);
    EXPECT_EQ(f.doc.settings().maxPaths, c.limit) << c.name;
    const kinvar::test::TempFile out("", ".out");
    f.platform.messages.clear();
    EXPECT_EQ(f.doc.SaveTo(out.path(), 1), c.saved) << c.name;
    EXPECT_EQ(kinvar::test::ReadWholeFile(out.path()).find("<") != std::string::npos, c.saved) << c.name;
    if (!c.saved) {
      EXPECT_EQ(f.platform.messages, std::vector<std::string>{PathLimitMessage(3)}) << c.name;
    }
  }
}

TEST(OptionsDialog, ReRunsTheShownReportOnlyWhenItsSettingsChanged) {
  const struct {
    const char* name;
    std::int32_t shown;
    int format;  // -1 unchanged
    bool founders;
    bool ok;
    bool rerun;
    int threads = 0;
    bool inDouble = false;  // the Compute shown again in double precision
  } cases[] = {
      {"format under Compute", kCmdCompute, 3, false, true, true},
      {"format under View Pedigree", kCmdViewPedigree, 7, false, true, true},
      {"founders list under Compute", kCmdCompute, -1, true, true, false},
      {"format, then Cancel", kCmdCompute, 3, false, false, false},
      {"threads under Compute", kCmdCompute, -1, false, true, false, 2},
      {"double precision under Compute", kCmdCompute, -1, false, true, false, 0, true},
      {"double precision, then Cancel", kCmdCompute, -1, false, false, false, 0, true},
  };
  for (const auto& c : cases) {
    DocumentFixture f;
    ASSERT_TRUE(f.doc.OpenPedigreeFile(kHerd));
    if (c.shown != kCmdViewPedigree) f.doc.RunCommand(c.shown);
    const std::vector<std::string> before = ReportLines(f.doc);
    WhenShown<OptionsDialog>([&c](OptionsDialog& d) {
      if (c.format >= 0) d.formatList()->setCurrentIndex(c.format);
      d.foundersBox()->setChecked(c.founders);
      d.threadsBox()->setValue(c.threads);
      d.precisionBox()->setChecked(c.inDouble);
      (c.ok ? d.okButton() : d.findChildren<QPushButton*>().back())->click();
    });
    RunOptionsDialog(f.doc, f.platform, nullptr);
    EXPECT_EQ(f.doc.lastCommand(), c.shown) << c.name;
    // The herd's coefficients print alike in both precisions.
    if (!c.inDouble) {
      EXPECT_EQ(ReportLines(f.doc) != before, c.rerun) << c.name;
    }
    EXPECT_EQ(f.doc.settings().precision, c.ok && c.inDouble ? 1 : 0) << c.name;
    EXPECT_EQ(f.doc.pedigree().InDouble(), c.ok && c.inDouble) << c.name;
    EXPECT_EQ(f.doc.settings().numberFormat, c.ok && c.format >= 0 ? c.format : 1) << c.name;
    EXPECT_EQ(f.doc.settings().threads, c.ok ? c.threads : 0) << c.name;
  }
}

// A context over a document with the herd loaded, as a command gets it.
struct Picking : DocumentFixture {
  Picking() { doc.OpenPedigreeFile(kHerd); }
  std::int32_t last = kCmdViewPedigree;
  bool ask = true;
  RememberedInputs remembered;
  std::string path;
  CommandContext ctx{doc.pedigree(), platform, last, ask, remembered, path};
};

// The labels a form shows, top to bottom.
std::vector<std::string> Labels(const QWidget& dialog) {
  std::vector<std::string> labels;
  for (const QLabel* label : dialog.findChildren<QLabel*>())
    labels.push_back(label->text().toStdString());
  return labels;
}

TEST(Pickers, AnUnknownIdKeepsTheDialogOpenUntilAKnownOne) {
  Picking p;
  bool stayedOpen = false;
  WhenShown<IdDialog>([&stayedOpen](IdDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "Ancestors");
    EXPECT_EQ(d.button()->text().toStdString(), "Extract");
    EXPECT_EQ(Labels(d), std::vector<std::string>{"Individual ID"});
    // Pasted whole, longer than any ID: not B3, whose ID it begins with.
    d.edit()->setText("b3-and-twenty-more-bytes");
    d.button()->click();
    d.edit()->setText("nobody");
    d.button()->click();
    stayedOpen = d.isVisible() && d.edit()->text() == "NOBODY" && d.focusWidget() == d.edit();
    d.edit()->setText("b3");
    d.button()->click();
  });
  const auto found = AskIndividual(p.ctx, "Ancestors", "Extract");
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(p.platform.messages,
            (std::vector<std::string>{"Cannot find individual \"B3-AND-TWENTY-MORE-BYTES\" in the pedigree.",
                                      "Cannot find individual \"NOBODY\" in the pedigree."}));
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(std::string(p.doc.pedigree().rec(*found).id), "B3");
}

TEST(Pickers, GroupListsOfferEveryGroupAndRefuseTwoEqualOnes) {
  Picking p;
  WhenShown<GroupChoiceDialog>([](GroupChoiceDialog& d) {
    EXPECT_EQ(d.list()->count(), 3);
    EXPECT_EQ(d.list()->currentText().toStdString(), "1");
    d.list()->setCurrentIndex(2);
    d.button()->click();
  });
  EXPECT_EQ(AskGroup(p.ctx, "Within a group", "Compute"), std::optional<int>(3));

  bool stayedOpen = false;
  WhenShown<TwoGroupsDialog>([&stayedOpen](TwoGroupsDialog& d) {
    d.listA()->setCurrentIndex(1);
    d.listB()->setCurrentIndex(1);
    d.button()->click();
    stayedOpen = d.isVisible() && d.focusWidget() == d.listA();
    d.listB()->setCurrentIndex(0);
    d.button()->click();
  });
  const auto pair = AskTwoGroups(p.ctx, "Between two groups");
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(p.platform.messages,
            std::vector<std::string>{"Error: Two groups are the same!\nSelect two different groups."});
  EXPECT_EQ(pair, (std::optional<std::pair<int, int>>{{2, 1}}));
}

TEST(Pickers, TwoGroupListsStartOnTwoDifferentGroupsUnderTheirCommandsLabels) {
  const struct { const char* name; std::int32_t command; std::vector<std::string> labels; } cases[] = {
      {"between two groups", kCmdBetweenTwoGroups, {"Group A", "Group B"}},
      {"optimizing matings", kCmdOptimizeMatings, {"Sire group", "Dam group"}},
  };
  for (const auto& c : cases) {
    Picking p;
    bool shown = false;
    WhenShown<TwoGroupsDialog>([&c, &shown](TwoGroupsDialog& d) {
      shown = true;
      EXPECT_EQ(Labels(d), c.labels) << c.name;
      EXPECT_EQ(d.listA()->currentText().toStdString(), "1") << c.name;
      EXPECT_EQ(d.listB()->currentText().toStdString(), "2") << c.name;
    });
    p.doc.RunCommand(c.command);
    EXPECT_TRUE(shown) << c.name;
    EXPECT_TRUE(p.platform.messages.empty()) << c.name;
  }
  // With a single group both lists can only start on it.
  const GroupPicker one{"One", "Compute", {7}, {}};
  TwoGroupsDialog single(one);
  EXPECT_EQ(single.listA()->currentIndex(), 0);
  EXPECT_EQ(single.listB()->currentIndex(), 0);
}

// The diversity summary's picker: every individual first and preselected,
// then the groups.
TEST(Pickers, TheEntryForEveryIndividualComesFirst) {
  Picking p;
  const GroupPicker picker{"Genetic diversity summary", "Compute", {1, 2, 3}, {}, "All individuals"};
  for (const auto& [row, want] : {std::pair{0, kAllIndividuals}, std::pair{3, 3}}) {
    WhenShown<GroupChoiceDialog>([row](GroupChoiceDialog& d) {
      EXPECT_EQ(d.list()->count(), 4);
      EXPECT_EQ(d.list()->itemText(0).toStdString(), "All individuals");
      EXPECT_EQ(d.list()->currentIndex(), 0);
      d.list()->setCurrentIndex(row);
      d.button()->click();
    });
    EXPECT_EQ(p.platform.PickGroup(picker), std::optional<int>(want));
  }
}

// The purging settings: a refused value keeps the form open with the
// message, OK with good values closes it and the command runs with them.
TEST(ValueForm, KeepsTheFormOpenUntilTheSettingsPass) {
  Picking p;
  bool stayedOpen = false;
  std::vector<std::string> labels;
  const std::function<void(ValueFormDialog&)> fill = [&](ValueFormDialog& d) {
    labels = Labels(d);
    auto* coefficient = qobject_cast<QLineEdit*>(d.fields()[0]);
    auto* drops = qobject_cast<QLineEdit*>(d.fields()[1]);
    auto* all = qobject_cast<QCheckBox*>(d.fields()[2]);
    ASSERT_TRUE(coefficient && drops && all);
    EXPECT_EQ(coefficient->text().toStdString(), "0");
    coefficient->setText("0.9");
    d.button()->click();
    stayedOpen = d.isVisible();
    coefficient->setText(" 0.125 ");
    drops->setText("10");
    all->setChecked(true);
    d.button()->click();
  };
  // The form opens once the group is chosen.
  WhenShown<GroupChoiceDialog>([&fill](GroupChoiceDialog& d) {
    WhenShown<ValueFormDialog>(fill);
    d.button()->click();
  });
  p.doc.RunCommand(kCmdPurging);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(labels, (std::vector<std::string>{"Purging coefficient d (0 to 0.5)",
                                              "Gene-dropping replicates (0 for none)",
                                              "Random seed of gene dropping (empty: a new one)"}));
  // Then the replicates' seed: the program folder has no seed file yet,
  // which the report's first line says; no box to click away.
  EXPECT_EQ(p.platform.messages,
            (std::vector<std::string>{"The purging coefficient must be a number from 0 to 0.5."}));
  EXPECT_EQ(p.doc.pedigree().report.Line(0), "The random number generator is seeded with the current time.");
  EXPECT_EQ(p.doc.lastCommand(), kCmdPurging);
  const CommandDeclaration purging = PurgingDeclaration();
  EXPECT_EQ(p.doc.remembered.values.Text(purging, "purging-coefficient"), "0.125");
  EXPECT_EQ(p.doc.remembered.values.Text(purging, "gene-drop"), "10");
  EXPECT_TRUE(p.doc.remembered.values.Flag(purging, "all-founders"));
}

TEST(ValueForm, ReopensWithTheSettingsOfTheLastRunButANewSeed) {
  Picking p;
  const auto run = [&p](const std::function<void(ValueFormDialog&)>& fill) {
    WhenShown<GroupChoiceDialog>([&fill](GroupChoiceDialog& d) {
      WhenShown<ValueFormDialog>(fill);
      d.button()->click();
    });
    p.doc.RunCommand(kCmdPurging);
  };
  const auto box = [](ValueFormDialog& d, std::size_t i) { return qobject_cast<QLineEdit*>(d.fields()[i]); };
  run([&box](ValueFormDialog& d) {
    box(d, 0)->setText("0.250");
    box(d, 1)->setText("3");
    qobject_cast<QCheckBox*>(d.fields()[2])->setChecked(true);
    box(d, 3)->setText("77");
    d.button()->click();
  });
  ASSERT_EQ(p.doc.lastCommand(), kCmdPurging);
  std::vector<std::string> reopened;
  run([&](ValueFormDialog& d) {
    reopened = {box(d, 0)->text().toStdString(), box(d, 1)->text().toStdString(),
                qobject_cast<QCheckBox*>(d.fields()[2])->isChecked() ? "ticked" : "not ticked",
                box(d, 3)->text().toStdString()};
    d.reject();
  });
  EXPECT_EQ(reopened, (std::vector<std::string>{"0.25", "3", "ticked", ""}));
}

TEST(QueryDialog, ComputesUntilCancelAndClearsTheResultOnEdit) {
  Picking p;
  std::vector<std::string> seen;
  WhenShown<IdQueryDialog>([&seen](IdQueryDialog& d) {
    QLineEdit* first = d.boxes()[0];
    QLineEdit* second = d.boxes()[1];
    first->setText("b3");
    first->setFocus();
    d.OnCompute();  // Enter in the first box goes on to the second
    seen.push_back(d.focusWidget() == second ? "second box" : "no move");
    second->setText("b2");
    d.computeButton()->click();
    seen.push_back(first->text().toStdString() + " " + second->text().toStdString() + " = " +
                   d.result()->text().toStdString());
    QTest::keyClicks(second, "x");
    seen.push_back("after edit: " + d.result()->text().toStdString());
  });
  p.doc.RunCommand(kCmdBetweenTwoIndividuals);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], "second box");
  // The value kinvar-cli relationship gives for the same pair.
  EXPECT_EQ(seen[1], "B3 B2 = 0.625");
  EXPECT_EQ(seen[2], "after edit: ");
}

// Black and white pixels inside the bar, away from its frame.
std::pair<int, int> InkLeftAndRight(ProgressBar& bar) {
  const QImage image = bar.grab().toImage();
  int white = 0;
  int black = 0;
  for (int y = 3; y < image.height() - 3; ++y)
    for (int x = 3; x < image.width() - 3; ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c == QColor(Qt::white) && x < image.width() / 2) ++white;
      if (c == QColor(Qt::black) && x >= image.width() / 2) ++black;
    }
  return {white, black};
}

TEST(ProgressWindow, LabelIsWhiteOverTheBarBlackBeyondAndHiddenAtTheStart) {
  ProgressBar bar;
  bar.resize(360, 20);
  bar.SetLabel("MMMMMMMMMMMMMMMMMMMM");
  bar.SetPosition(0);
  EXPECT_EQ(InkLeftAndRight(bar), std::make_pair(0, 0));
  bar.SetPosition(50);
  const auto [white, black] = InkLeftAndRight(bar);
  EXPECT_GT(white, 20);
  EXPECT_GT(black, 20);
}

TEST(ProgressWindow, EscapeCancelsOnceIntoTheStandardCancelState) {
  DocumentFixture f;
  ASSERT_TRUE(f.doc.OpenPedigreeFile(kHerd));
  bool labelled = false;
  QTimer::singleShot(0, [&labelled] {
    auto* window = qobject_cast<ProgressDialog*>(QApplication::activeModalWidget());
    if (window == nullptr) return;
    labelled = true;
    QTest::keyClick(window, Qt::Key_Escape);
  });
  f.doc.RunCommand(kCmdCompute);
  EXPECT_TRUE(labelled);
  EXPECT_EQ(f.doc.lastCommand(), kCmdNone);
  EXPECT_EQ(ReportLines(f.doc), std::vector<std::string>{kCanceledLine});
  // Not latched: the next run goes through.
  f.doc.RunCommand(kCmdCompute);
  EXPECT_EQ(f.doc.lastCommand(), kCmdCompute);
}

}  // namespace
}  // namespace kinvar::gui

namespace kinvar::gui {
namespace {

// The population commands ask for their options in a form after the two
// groups: what the user types there is what the command uses, and Cancel in
// the form runs nothing.
TEST(PopulationForms, TheTypedOptionsReachTheCommand) {
  Picking p;
  WhenShown<TwoGroupsDialog>([](TwoGroupsDialog& d) {
    EXPECT_EQ(Labels(d), (std::vector<std::string>{"Sire group", "Dam group"}));
    d.listA()->setCurrentIndex(1);
    d.listB()->setCurrentIndex(2);
    WhenShown<ValueFormDialog>([](ValueFormDialog& form) {
      ASSERT_EQ(form.fields().size(), 2u);
      auto* maxF = qobject_cast<QLineEdit*>(form.fields()[1]);
      ASSERT_NE(maxF, nullptr);
      EXPECT_EQ(maxF->text().toStdString(), "0.0625");
      maxF->setText(QStringLiteral(" 0.1 "));
      form.button()->click();
    });
    d.button()->click();
  });
  p.doc.RunCommand(kCmdMateSuitability);
  EXPECT_TRUE(p.platform.messages.empty());
  ASSERT_EQ(p.doc.lastCommand(), kCmdMateSuitability);
  EXPECT_TRUE(p.doc.pedigree().report.Line(4).starts_with("Pairs whose offspring F is above 0.100000 = |X"))
      << p.doc.pedigree().report.Line(4);
  EXPECT_EQ(p.doc.remembered.values.Text(MateSuitabilityDeclaration(), "max-f"), "0.1");

  WhenShown<TwoGroupsDialog>([](TwoGroupsDialog& d) {
    WhenShown<ValueFormDialog>([](ValueFormDialog& form) { EXPECT_EQ(form.fields().size(), 6u); });
    d.button()->click();
  });
  p.doc.RunCommand(kCmdOptimumContributions);
  EXPECT_EQ(p.doc.lastCommand(), kCmdMateSuitability);
}

}  // namespace
}  // namespace kinvar::gui
