// ID boxes complete from the pedigree's IDs: what is typed is a prefix in
// any case, the popup lists the matching IDs in byte order, and picking one
// fills the box.
#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>
#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui_support.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

const std::string kHerd = std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg";

std::vector<std::string> Strings(const std::vector<std::string_view>& views) {
  return {views.begin(), views.end()};
}

TEST(IdCompletion, IndexListsTheIdsThatBeginWithTheTextInAnyCase) {
  const IdIndex index({"B2", "A10", "A1", "B1", "AB", "Ä1", "A2"});
  struct Row {
    const char* name;
    const char* typed;
    std::size_t limit;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {"upper case", "A", 10, {"A1", "A10", "A2", "AB"}},
      {"lower case is matched as upper", "a1", 10, {"A1", "A10"}},
      {"the whole ID", "B2", 10, {"B2"}},
      {"no ID begins so", "C", 10, {}},
      {"longer than any ID", "A10X", 10, {}},
      {"the limit keeps the first", "a", 2, {"A1", "A10"}},
      {"bytes above 127 are kept, not folded", "ä", 10, {}},
      {"bytes above 127 match as stored", "Ä", 10, {"Ä1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Strings(index.Completions(row.typed, row.limit)), row.expected);
  }
}

TEST(IdCompletion, IndexOfAPedigreeHoldsEveryRecordAndIsRebuiltOnlyForOtherIds) {
  DocumentFixture f;
  ASSERT_TRUE(f.doc.OpenPedigreeFile(kHerd));
  IdIndexCache cache;
  const auto first = cache.Get(f.doc.pedigree());
  EXPECT_EQ(first->size(), static_cast<std::size_t>(f.doc.pedigree().nTotal));
  EXPECT_EQ(Strings(first->Completions("d", 10)), (std::vector<std::string>{"D1", "D2", "D3", "D9"}));
  EXPECT_EQ(cache.Get(f.doc.pedigree()), first) << "same IDs, same index";
  ASSERT_TRUE(f.doc.OpenPedigreeFile(std::string(KINVAR_EXAMPLES_DIR) + "/small.pdg"));
  EXPECT_NE(cache.Get(f.doc.pedigree()), first);
}

// A million IDs: the index answers by binary search, so a keystroke copies
// at most the popup's rows whatever the pedigree's size.
TEST(IdCompletion, MillionIdsAnswerWithAtMostThePopupsRows) {
  std::vector<std::string> ids;
  ids.reserve(1'000'000);
  for (int i = 0; i < 1'000'000; ++i) ids.push_back("DE" + std::to_string(100000000 + i));
  const IdIndex index(std::move(ids));
  EXPECT_EQ(index.Completions("de1", kMaxCompletions).size(), kMaxCompletions);
  const auto narrow = index.Completions("de10012345", kMaxCompletions);
  ASSERT_EQ(narrow.size(), 10u);
  EXPECT_EQ(narrow.front(), "DE100123450");
  EXPECT_EQ(narrow.back(), "DE100123459");
}

struct Box {
  QLineEdit box;
  int built = 0;
  QCompleter* completer = AttachIdCompleter(&box, [this] {
    ++built;
    return std::make_shared<const IdIndex>(std::vector<std::string>{"A1", "A2", "A10", "B1"});
  });
  Box() { box.show(); }
  QStringList Listed() const {
    return static_cast<QStringListModel*>(completer->model())->stringList();
  }
};

TEST(IdCompletion, BoxShowsTheMatchesAsTypedAndTakesThePickedOne) {
  Box b;
  ASSERT_NE(b.completer, nullptr);
  QTest::keyClicks(&b.box, "a");
  EXPECT_EQ(b.Listed(), (QStringList{"A1", "A10", "A2"}));
  EXPECT_TRUE(b.completer->popup()->isVisible());
  QTest::keyClicks(&b.box, "1");
  EXPECT_EQ(b.Listed(), (QStringList{"A1", "A10"}));
  EXPECT_EQ(b.built, 1) << "the index is asked for once per box";
  QAbstractItemView* popup = b.completer->popup();
  popup->setCurrentIndex(popup->model()->index(1, 0));
  QTest::keyClick(popup, Qt::Key_Return);
  EXPECT_EQ(b.box.text(), "A10");
  b.box.clear();
  QTest::keyClicks(&b.box, "c");
  EXPECT_TRUE(b.Listed().isEmpty());
  EXPECT_FALSE(b.completer->popup()->isVisible());
  // Enter with the popup open and nothing picked is the box's Enter.
  b.box.clear();
  int entered = 0;
  QObject::connect(&b.box, &QLineEdit::returnPressed, [&] { ++entered; });
  QTest::keyClicks(&b.box, "b");
  ASSERT_TRUE(b.completer->popup()->isVisible());
  QTest::keyClick(b.completer->popup(), Qt::Key_Return);
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(b.box.text(), "b");
  EXPECT_FALSE(b.completer->popup()->isVisible());
}

TEST(IdCompletion, BoxWithoutASourceCompletesNothing) {
  QLineEdit box;
  EXPECT_EQ(AttachIdCompleter(&box, {}), nullptr);
}

}  // namespace
}  // namespace kinvar::gui

namespace kinvar::gui {
namespace {

// The main window's pickers and query dialogs complete from the pedigree
// open, and Enter with the popup open still reaches the dialog.
TEST(IdCompletion, DialogsOfTheWindowCompleteFromThePedigree) {
  DocumentFixture f;
  MainWindow frame{f.platform, f.doc};
  frame.show();
  frame.OpenFile(QString::fromStdString(kHerd));
  QStringList listed;
  QString box;
  test::WhenShown<IdQueryDialog>([&](IdQueryDialog& d) {
    QLineEdit* edit = d.boxes().front();
    edit->clear();
    QTest::keyClicks(edit, "c");
    auto* completer = edit->findChild<QCompleter*>();
    ASSERT_NE(completer, nullptr);
    listed = static_cast<QStringListModel*>(completer->model())->stringList();
    QTest::keyClicks(edit, "4");
    QTest::keyClick(edit, Qt::Key_Return);
    box = d.result()->text();
  });
  frame.Dispatch(kCmdInbreedingOfIndividual);
  EXPECT_EQ(listed, (QStringList{"C1", "C2", "C3", "C4"}));
  EXPECT_FALSE(box.isEmpty()) << "Enter computed C4's F";
}

}  // namespace
}  // namespace kinvar::gui
