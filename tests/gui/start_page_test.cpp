// The start page: shown while no pedigree is open, and each of its links does
// what it says.
#include <QFile>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "gui/help_window.h"
#include "gui/main_window.h"
#include "gui/start_page.h"
#include "gui_support.h"
#include "support/test_files.h"

namespace kinvar::gui {
namespace {

using test::DocumentFixture;

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Window : DocumentFixture {
  Window() { frame.show(); }
  MainWindow frame{platform, doc};
};

TEST(StartPage, StandsInForTheReportUntilThereIsOne) {
  struct Row {
    const char* name;
    const char* file;  // "" opens nothing
    bool startPage;
  };
  const Row rows[] = {
      {"nothing open", "", true},
      {"a pedigree", "herd.pdg", false},
      {"a file with mistakes shows them", "rejected.pdg", false},
      {"a missing file leaves the start page", "no-such-file.pdg", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Window w;
    if (*row.file) w.frame.OpenFile(QString(KINVAR_EXAMPLES_DIR) + "/" + row.file);
    EXPECT_EQ(w.frame.StartPageShown(), row.startPage);
  }
}

TEST(StartPage, OpensEachExampleFromACopyOfItsOwn) {
  for (const QString& name : ExampleNames()) {
    SCOPED_TRACE(name.toStdString());
    Window w;
    w.frame.startPage()->Follow(QUrl(QStringLiteral("example:") + name));
    EXPECT_FALSE(w.frame.StartPageShown());
    const QString copy = w.folder.path() + "/examples/" + name;
    EXPECT_EQ(Bytes(copy), Bytes(QString(KINVAR_EXAMPLES_DIR) + "/" + name));
    EXPECT_NE(w.frame.windowTitle().indexOf(name.section('.', 0, 0)), -1) << w.frame.windowTitle().toStdString();
    EXPECT_TRUE(w.platform.messages.empty());
  }
}

TEST(StartPage, NeverOverwritesACopyTheUserChanged) {
  QTemporaryDir folder;
  QFile changed(folder.filePath("small.pdg"));
  ASSERT_TRUE(changed.open(QIODevice::WriteOnly));
  changed.write("progeny sire dam\nX 0 0\n");
  changed.close();
  EXPECT_EQ(ExampleCopy("small.pdg", folder.path()), folder.filePath("small.pdg"));
  EXPECT_EQ(Bytes(folder.filePath("small.pdg")), QByteArray("progeny sire dam\nX 0 0\n"));
  EXPECT_EQ(ExampleCopy("../secret", folder.path()), QString());
  EXPECT_FALSE(QFile::exists(folder.filePath("herd.pdg.part")));
}

TEST(StartPage, LinksOpenAFileARecentFileAndTheManual) {
  QStringList opened, examples, pages;
  int openDialogs = 0;
  StartPage page({[&] { ++openDialogs; }, [&](const QString& p) { opened << p; },
                   [&](const QString& e) { examples << e; }, [&](const QString& p) { pages << p; }});
  page.SetRecent({"/data/a <b>.pdg", "/data/c.pdg"});
  EXPECT_NE(page.toHtml().indexOf("a &lt;b&gt;.pdg"), -1);
  EXPECT_NE(page.toPlainText().indexOf("/data/c.pdg"), -1);
  for (const char* link : {"open:", "recent:1", "recent:7", "example:small.pdg", "help:getting-started"})
    page.Follow(QUrl(QLatin1String(link)));
  EXPECT_EQ(openDialogs, 1);
  EXPECT_EQ(opened, QStringList{"/data/c.pdg"});
  EXPECT_EQ(examples, QStringList{"small.pdg"});
  EXPECT_EQ(pages, QStringList{"getting-started"});
}

TEST(StartPage, GettingStartedOpensThatPageOfTheManual) {
  Window w;
  w.frame.startPage()->Follow(QUrl(QStringLiteral("help:getting-started")));
  ASSERT_NE(w.frame.helpWindow(), nullptr);
  EXPECT_EQ(w.frame.helpWindow()->currentPage(), "getting-started");
  w.frame.helpWindow()->close();
}

}  // namespace
}  // namespace kinvar::gui
