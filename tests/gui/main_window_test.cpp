#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/commands.h"
#include "gui/main_window.h"
#include "gui_support.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

// A menu as its user sees it: "-" for a separator, ">" and the title for a
// submenu, else the item's text; hidden items left out.
std::vector<std::string> Outline(const QMenu* menu) {
  std::vector<std::string> items;
  for (const QAction* a : menu->actions()) {
    if (!a->isVisible()) continue;
    if (a->isSeparator()) {
      items.push_back("-");
    } else if (a->menu() != nullptr) {
      items.push_back(std::string(">").append(a->text().toStdString()));
    } else {
      items.push_back(a->text().toStdString());
    }
  }
  return items;
}

const QMenu* Submenu(const QWidget* parent, const QString& title) {
  for (const QAction* a : parent->actions())
    if (a->menu() != nullptr && a->text() == title) return a->menu();
  return nullptr;
}

struct Frame : DocumentFixture { MainWindow frame{platform, doc}; };

TEST(MainWindow, MenusFollowTheCommandTableInOrder) {
  Frame f;
  const QMenuBar* bar = f.frame.menuBar();
  std::vector<std::string> titles;
  for (const QAction* a : bar->actions()) titles.push_back(a->text().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&Tools", "&View", "&Help"}));

  const QMenu* tools = Submenu(bar, "&Tools");
  const QMenu* inbreeding = Submenu(tools, "Inbreeding");
  const QMenu* relationship = Submenu(tools, "Relationship");
  ASSERT_NE(inbreeding, nullptr);
  ASSERT_NE(relationship, nullptr);
  const struct { const char* name; const QMenu* menu; std::vector<std::string> items; } cases[] = {
      {"File", Submenu(bar, "&File"),
       {"&Open...\tCtrl+O", "&Save\tCtrl+S", "Save &As...\tCtrl+Shift+S", "&Export...", "-",
        "&Print...\tCtrl+P", "Print Pre&view", "P&rint Setup...", "-", "Recent File", "-",
        "E&xit\tCtrl+Q"}},
      {"Tools", tools,
       {">Inbreeding", ">Relationship", "Inverse of &A\tCtrl+Shift+A", ">Matrices", ">Genomics", "Matrix T",
        "Within Family Segregation Variance (&dii)\tCtrl+D", "Re-&coding\tCtrl+Shift+C",
        "Pedigree S&tructure\tCtrl+T", ">Extract Ancestors", ">Extract Descendants",
        "Probabilities of Gene Origin...", "Optimizing Matings...", "&Planned Mating...",
        "Genetic &Diversity Summary...", ">Population Management", "-",
        "&Options...\tAlt+O"}},
      {"Population Management", Submenu(tools, "Population Management"),
       {"&Mean Kinship...", "Mate &Suitability...", "&Optimum Contributions..."}},
      {"Inbreeding", inbreeding,
       {"&Compute\tCtrl+I", "&Re-compute for All\tCtrl+Shift+R",
        "&An Individual...\tCtrl+Shift+I",
        ">Ancestral Decomposition", ">Path Counting", "P&urging Analysis..."}},
      {"Path Counting", Submenu(inbreeding, "Path Counting"),
       {"An Individual...", "A Group...", "All"}},
      {"Relationship", relationship,
       {"Between &Two Individuals...\tCtrl+Shift+B", "Between Two &Groups...",
        "&Within a Group...",
        "&Average Between Groups", "Between &All Individuals", "Average Relatedness",
        "Ancestral Decomposition of Coancestry for a Group..."}},
      {"Matrices", Submenu(tools, "Matrices"), {"Inverse of A with &Genetic Groups...", "Inverse of A with &Metafounders...",
                                                "&X-Linked Relationships...", "&Dominance Relationships..."}},
      {"Genomics", Submenu(tools, "Genomics"), {"Genomic &Relationships...", "Genomic &Inbreeding...",
                                                  "Single-step &H-inverse...", "&Parentage...",
                                                  "Genotype &Quality Control..."}},
      {"Extract Descendants", Submenu(tools, "Extract Descendants"),
       {"An Individual...", "A Group..."}},
      {"View", Submenu(bar, "&View"),
       {"&Toolbar", "&Status Bar", "&View Pedigree\tCtrl+Shift+V", "Pedigree &Chart...",
        "Pedigree C&ertificate...", ">Pedigree &Drawing", ">C&harts"}},
      {"Help", Submenu(bar, "&Help"), {"&Contents\tF1", "&About Kinvar"}},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.menu, nullptr) << c.name;
    EXPECT_EQ(Outline(c.menu), c.items) << c.name;
  }
}

// The commands of a bar's or menu's actions, 0 for a separator.
std::vector<std::int32_t> Ids(const Frame& f, const QList<QAction*>& actions) {
  std::vector<std::int32_t> ids;
  for (const QAction* a : actions) {
    std::int32_t id = 0;
    for (const Command& c : Commands())
      if (!a->isSeparator() && f.frame.action(c.id) == a) id = c.id;
    ids.push_back(id);
  }
  return ids;
}

TEST(MainWindow, ToolbarAndContextMenuFollowTheirLayouts) {
  Frame f;
  const std::vector<std::int32_t> toolbar = Ids(f, f.frame.toolbar()->actions());
  EXPECT_EQ(toolbar, (std::vector<std::int32_t>{
                         57601, 57604, 0, 57607, 57609, 0, 32776, 32799, 32809, 0, 32841, 32839,
                         32840, 0, 32796, 32805, 32821, 32822, 32824, 0, 32831, 32832, 32833, 0,
                         32842, 0, 32795, 32878, 32784, 0, 32818, 32806, 32820, 0, 32811, 0,
                         32781, 0, 57664}));
  for (std::int32_t id : toolbar) {
    if (id == 0) continue;
    EXPECT_FALSE(f.frame.action(id)->icon().isNull()) << id;
  }
  EXPECT_EQ(f.frame.action(kCmdCompute)->statusTip().toStdString(),
            "Compute inbreeding coefficients");
  EXPECT_EQ(f.frame.action(kCmdStructure)->toolTip().toStdString(), "Pedigree structure");
}

// A menu with its submenus' items indented under their titles.
std::vector<std::string> Tree(const QMenu* menu, const std::string& indent = "") {
  std::vector<std::string> items;
  for (const std::string& item : Outline(menu)) items.push_back(indent + item);
  std::vector<std::string> tree;
  std::size_t i = 0;
  for (const QAction* a : menu->actions()) {
    if (!a->isVisible()) continue;
    tree.push_back(items[i++]);
    if (a->menu() != nullptr) {
      const auto sub = Tree(a->menu(), indent + "  ");
      tree.insert(tree.end(), sub.begin(), sub.end());
    }
  }
  return tree;
}

TEST(MainWindow, ContextMenuHoldsTheToolsMenuAndTheReportCommands) {
  Frame f;
  const QMenu* tools = Submenu(f.frame.menuBar(), "&Tools");
  ASSERT_NE(tools, nullptr);
  std::vector<std::string> expected = {"&Copy\tCtrl+C", "Select &All\tCtrl+A",
                                       "&Find...\tCtrl+F", "-"};
  const auto toolsTree = Tree(tools);
  expected.insert(expected.end(), toolsTree.begin(), toolsTree.end());
  expected.insert(expected.end(), {"-", "&View Pedigree\tCtrl+Shift+V", "-", "&Save\tCtrl+S",
                                   "Save &As...\tCtrl+Shift+S", "&Print...\tCtrl+P"});
  EXPECT_EQ(Tree(f.frame.contextMenu()), expected);
  // The submenus hold the very actions of the Tools menu, so the rules and
  // keys are the same.
  const QMenu* inbreeding = Submenu(f.frame.contextMenu(), "Inbreeding");
  ASSERT_NE(inbreeding, nullptr);
  EXPECT_EQ(inbreeding->actions().front(), f.frame.action(kCmdCompute));
  const QMenu* pathCounting = Submenu(inbreeding, "Path Counting");
  ASSERT_NE(pathCounting, nullptr);
  EXPECT_EQ(Ids(f, pathCounting->actions()),
            (std::vector<std::int32_t>{kCmdPathCountingIndividual, kCmdPathCountingGroup,
                                       kCmdPathCountingAll}));
}

constexpr const char* kOneGroup =
    "progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 1\nD A B 1\n";
constexpr const char* kTwoGroups =
    "progeny sire dam group\nA 0 0 1\nB 0 0 1\nC A B 2\nD A B 2\n";

TEST(MainWindow, ActionsFollowTheDocumentState) {
  const kinvar::test::TempFile oneGroup(kOneGroup);
  const kinvar::test::TempFile twoGroups(kTwoGroups);
  const std::string examples = KINVAR_EXAMPLES_DIR;
  struct Case {
    const char* name;
    std::string file;  // "" none
    bool compute;
    bool saveAs, compute_, viewPedigree, print;
  };
  const Case cases[] = {
      {"no pedigree", "", false, false, false, false, false},
      {"rejected file", examples + "/rejected.pdg", false, true, false, false, true},
      {"loaded, no groups", examples + "/small.pdg", false, true, true, false, true},
      {"after Compute", examples + "/small.pdg", true, true, false, true, true},
      {"one group", oneGroup.path(), false, true, true, false, true},
      {"two groups", twoGroups.path(), false, true, true, false, true},
      {"three groups, computed", examples + "/herd.pdg", true, true, false, true, true},
  };
  for (const Case& c : cases) {
    Frame f;
    if (!c.file.empty()) f.frame.OpenFile(QString::fromStdString(c.file));
    if (c.compute) f.frame.Dispatch(kCmdCompute);
    EXPECT_TRUE(f.platform.messages.empty()) << c.name;
    const DocumentState state = f.doc.State();
    for (const Command& command : Commands()) {
      const QAction* a = f.frame.action(command.id);
      if (a == nullptr) continue;
      const bool expected = command.handler == Handler::kDocument
                                ? f.doc.IsCommandEnabled(command.id)
                                : IsEnabled(command, state);
      EXPECT_EQ(a->isEnabled(), expected) << c.name << ": " << command.id;
    }
    EXPECT_TRUE(f.frame.action(kCmdFileOpen)->isEnabled()) << c.name;
    EXPECT_TRUE(f.frame.action(kCmdOptions)->isEnabled()) << c.name;
    EXPECT_EQ(f.frame.action(kCmdFileSaveAs)->isEnabled(), c.saveAs) << c.name;
    EXPECT_EQ(f.frame.action(kCmdCompute)->isEnabled(), c.compute_) << c.name;
    EXPECT_EQ(f.frame.action(kCmdViewPedigree)->isEnabled(), c.viewPedigree) << c.name;
    EXPECT_EQ(f.frame.action(kCmdPrint)->isEnabled(), c.print) << c.name;
    EXPECT_TRUE(f.frame.action(kCmdHelpContents)->isEnabled()) << c.name;
  }
}

TEST(MainWindow, OpenedFilesLeadTheRecentListAndNameTheWindow) {
  Frame f;
  const std::string examples = KINVAR_EXAMPLES_DIR;
  EXPECT_EQ(f.frame.windowTitle().toStdString(), "[Kinvar]");
  for (const char* name : {"small.pdg", "herd.pdg", "rejected.pdg", "small.pdg"})
    f.frame.OpenFile(QString::fromStdString(examples + "/" + name));
  EXPECT_EQ(f.frame.windowTitle().toStdString(), "small.pdg - [Kinvar]");
  ASSERT_EQ(f.frame.recentFiles().size(), 3);
  EXPECT_TRUE(f.frame.recentFiles()[0].endsWith("small.pdg"));
  EXPECT_TRUE(f.frame.recentFiles()[1].endsWith("rejected.pdg"));
  EXPECT_TRUE(f.frame.recentActions()[0]->text().startsWith("&1 "));
  EXPECT_FALSE(f.frame.recentActions()[3]->isVisible());
  // Listings and an error list lose nothing when closed: nobody was asked.
  EXPECT_TRUE(f.platform.messages.empty());
}

TEST(MainWindow, OpensAFileDroppedOnIt) {
  Frame f;
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString(KINVAR_EXAMPLES_DIR) + "/herd.pdg")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f.frame, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f.frame, &drop);
  EXPECT_EQ(f.doc.lastCommand(), kCmdViewPedigree);
  EXPECT_EQ(f.doc.title(), "herd.pdg");
}

}  // namespace
}  // namespace kinvar::gui
