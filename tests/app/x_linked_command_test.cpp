// The desktop's X-Linked Relationships: the form's choice of S or its
// inverse, the file, the tables; the report on screen stays as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/document.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

TEST(XLinkedCommand, WritesTheChosenMatrix) {
  struct Row {
    const char* name;
    const char* inverse;  // the form's check box
    const char* title;
    const char* table;
    const char* firstRow;
  };
  const Row rows[] = {
      {"S", "0", "X-linked relationship matrix (Lower triangular):\n", "xlinked", "S,                    1,          1:1, \n"},
      {"Inverse", "1", "Inverse of the X-linked relationship matrix (Lower triangular):\n", "xlinked_inverse",
       "S,                    1,          1:3, \n"},
  };
  // S's variance is 1 (a male founder), O's 1/2 - 1/4 - 1/4 s(D, D) = 1/8:
  // S inverse (1, 1) is 1 + 1/4 * 8.
  const std::string out = (fs::temp_directory_path() / ("kinvar-x-" + std::to_string(::getpid()))).string();
  for (const Row& row : rows) {
    test::DocSession session("Progeny Sire Dam Sex\nS 0 0 M\nD 0 0 F\nO S D F\n");
    test::ScriptedPlatform& platform = session.platform;
    Document& doc = session.doc;
    platform.forms.push_back(std::vector<std::string>{row.inverse, "0"});
    platform.fileNames = {out};
    doc.RunCommand(kCmdXLinked);
    const std::string written = test::ReadWholeFile(out);
    EXPECT_NE(written.find(row.title), std::string::npos) << row.name << written;
    EXPECT_NE(written.find(row.firstRow), std::string::npos) << row.name << written;
    EXPECT_NE(doc.pedigree().writtenTables.Find(row.table), nullptr) << row.name;
    EXPECT_EQ(doc.lastCommand(), kCmdViewPedigree) << row.name;
    fs::remove(out);
  }
}

}  // namespace
}  // namespace kinvar
