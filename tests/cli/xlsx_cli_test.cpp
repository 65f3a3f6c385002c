// kinvar-cli on workbooks: the first sheet by default, --sheet for another,
// and the exact refusals of an unknown sheet and of --sheet on a text file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(KINVAR_EXAMPLES_DIR) + "/../tests/data/xlsx/";

using test::CliRun;

// Quiet, so that no progress bar reaches the compared standard error.
class XlsxCli : public test::CliFixture {
 protected:
  CliRun Execute(const std::string& args) const { return CliFixture::Execute(args + " -q"); }
};

// The pedigree file that View Pedigree writes, without its timestamp and
// file name lines.
std::string Body(const std::string& saved) {
  const std::size_t start = saved.find("\nProgeny");
  return start == std::string::npos ? saved : saved.substr(start);
}

// The first sheet by default, another by --sheet, and the exact refusals.
TEST_F(XlsxCli, SheetOption) {
  test::TempFile text("Progeny Sire Dam\nA 0 0\n");
  struct Row { const char* name; std::string args; int status; const char* body; std::string err; };
  const std::string book = kData + "two_sheets.xlsx";
  const Row rows[] = {
      {"first by default", "view " + book, 0,
       "\nProgeny               Sire                  Dam\n\nP1                    0                     0\n"
       "P2                    0                     0\nP3                    P1                    P2\n\n", ""},
      {"the second by name", "view " + book + " --sheet 'Herd B'", 0,
       "\nProgeny               Sire                  Dam                   Group\n\n"
       "Q1                    0                     0                     1\n"
       "Q2                    0                     0                     1\n"
       "Q3                    Q1                    Q2                    2\n"
       "Q4                    Q3                    Q2                    2\n\n", ""},
      {"unknown sheet", "view " + book + " --sheet Herd", 1, "",
       "The workbook " + book + " has no sheet named \"Herd\".\nIts sheets: \"Herd A\", \"Herd B\".\n"},
      {"a sheet of a text file", "view " + text.path() + " --sheet Herd", 1, "",
       "--sheet applies to .xlsx workbooks; " + text.path() + " is not one.\n"},
  };
  for (const Row& r : rows) {
    const CliRun run = Execute(r.args);
    EXPECT_EQ(run.status, r.status) << r.name;
    EXPECT_EQ(Body(run.out), r.body) << r.name;
    EXPECT_EQ(run.err, r.err) << r.name;
  }
}

// A workbook renamed to .pdg is still read as a workbook.
TEST_F(XlsxCli, RecognisedByContent) {
  const fs::path renamed = home_ / "herd.pdg";
  fs::copy_file(kData + "plain.xlsx", renamed);
  const CliRun run = Execute("inbreeding " + renamed.string());
  EXPECT_EQ(run.status, 0) << run.err;
  const CliRun original = Execute("inbreeding " + kData + "plain.xlsx");
  // All but the line that names the file.
  const auto summary = [](const std::string& out) { return out.substr(std::min(out.find("\n\n"), out.size())); };
  EXPECT_EQ(summary(run.out), summary(original.out));
  EXPECT_NE(run.out.find("ELSA                        0.25"), std::string::npos);
}

}  // namespace
}  // namespace kinvar
