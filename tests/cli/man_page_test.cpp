// The man pages: the manual's Markdown in roff, every command a subsection,
// and nothing of the Markdown that roff would misread left over.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "app/manual.h"
#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

TEST(ManRoff, ConvertsEachKindOfLine) {
  struct Row {
    const char* name;
    const char* markdown;
    bool topLevel;
    const char* roff;
  };
  const Row rows[] = {
      {"title as section", "# Options\n", true, ".SH Options\n"},
      {"title as subsection", "# view — View Pedigree\n", false, ".SS view — View Pedigree\n"},
      {"subheading", "## Exit status\n", true, ".SS Exit status\n"},
      {"paragraph break", "a\n\nb\n", true, "a\n.PP\nb\n"},
      {"marks and links", "**F** of `x`, see [inbreeding](inbreeding.md)\n", true, "F of x, see inbreeding\n"},
      {"list item", "- one\n", true, ".IP \\(bu 2\none\n"},
      {"table", "| a | b |\n| --- | --- |\n| `x` | y |\n", true,
       ".IP \\(bu 2\na \\(em b\n.IP \\(bu 2\nx \\(em y\n"},
      {"fence kept as it is", "```console\n$ kinvar-cli **x**\n.5\n```\n", true,
       ".RS 4\n.nf\n$ kinvar-cli **x**\n\\&.5\n.fi\n.RE\n"},
      {"backslash and leading dot", "a\\b\n.hidden\n'quote\n", true, "a\\eb\n\\&.hidden\n\\&'quote\n"},
      {"indent trimmed", "   text\n", true, "text\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ManualAsRoff(row.markdown, row.topLevel), row.roff);
  }
}

TEST(ManPage, HasEveryCommandAndOnlyKnownRequests) {
  const std::set<std::string> requests = {".\\\"", ".TH", ".SH", ".SS", ".PP", ".IP", ".RS", ".RE",
                                          ".nf", ".fi", ".B", ".I", ".BR", ".br"};
  for (const char* program : {"kinvar-cli", "kinvar"}) {
    SCOPED_TRACE(program);
    const std::string page = ManPage(program, "1.2.3", "2026-01-02");
    EXPECT_EQ(page.rfind(".\\\" -*- coding: UTF-8 -*-\n.TH ", 0), 0u);
    EXPECT_NE(page.find(" 1 \"2026-01-02\" \"Kinvar 1.2.3\""), std::string::npos);
    std::istringstream lines(page);
    std::set<std::string> subsections;
    bool fenced = false;
    for (std::string line; std::getline(lines, line);) {
      if (line == ".nf") fenced = true;
      if (line == ".fi") fenced = false;
      if (!fenced) {
        EXPECT_EQ(line.find("```"), std::string::npos) << line;
        EXPECT_EQ(line.find("**"), std::string::npos) << line;
      }
      if (line.empty() || (line[0] != '.' && line[0] != '\'')) continue;
      EXPECT_TRUE(requests.count(line.substr(0, line.find(' ')))) << line;
      if (line.starts_with(".SS ")) subsections.insert(line.substr(4));
    }
    if (std::string(program) != "kinvar-cli") continue;
    for (const ManualPage& manual : ManualPages()) {
      if (manual.name.starts_with("commands/")) {
        EXPECT_TRUE(subsections.count(std::string(ManualTitle(manual)))) << manual.name;
      }
    }
  }
}

// The build's writer of the pages puts a page in place only once it is
// written whole, and says so when it cannot: a failed run leaves the page
// that was there.
TEST(ManPageWriter, ReplacesThePageOnlyWhenWrittenWhole) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("kinvar-man-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string page = ManPage("kinvar-cli", "1.2.3", "2026-01-02");
  const std::string older = (folder / "older.1").string(), readOnly = (folder / "read-only.1").string();
  test::WriteWholeFile(older, "an older page, longer than the new one\n" + std::string(page.size(), 'x'));
  test::WriteWholeFile(readOnly, "a page kept read-only\n");
  ::chmod(readOnly.c_str(), 0444);
  struct Row {
    const char* name;
    std::string target;
    int status;
    const char* kept;  // what a refused target still holds; nullptr: nothing to check
  };
  const Row rows[] = {
      {"a new page", (folder / "new.1").string(), 0, nullptr},
      {"an older page replaced whole", older, 0, nullptr},
      {"a read-only page left alone", readOnly, 1, "a page kept read-only\n"},
      {"a folder that is not there", (folder / "missing" / "kinvar-cli.1").string(), 1, nullptr},
      {"a full disk", "/dev/full", 1, nullptr},
  };
  const std::string err = (folder / "stderr").string();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string command = test::Quote(KINVAR_MAKE_MAN_PATH) + " kinvar-cli 1.2.3 2026-01-02 " +
                                test::Quote(row.target) + " 2>" + test::Quote(err);
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, row.status);
    if (row.status == 0) {
      EXPECT_EQ(test::ReadWholeFile(row.target), page);
    } else {
      EXPECT_EQ(test::ReadWholeFile(err).rfind("kinvar-make-man: cannot write " + row.target + "\n", 0), 0u)
          << test::ReadWholeFile(err);
    }
    if (row.kept) {
      EXPECT_EQ(test::ReadWholeFile(row.target), row.kept);
    }
    EXPECT_FALSE(test::HasTemporaryBeside((folder / "x").string()));
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace kinvar
