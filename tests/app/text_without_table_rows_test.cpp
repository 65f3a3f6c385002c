// A front end that writes only text tells the report's tables that nobody
// reads their rows. The report, its saved file and the result files must
// not depend on that answer, the tables keep their names and columns, and
// the answer survives opening another pedigree.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/table_cells.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DocSession;

struct Row {
  const char* name;
  std::int32_t command;
  int choice;   // the save-order answer of Save As
  bool file;    // the command writes a file of its own (Save As dialog)
};

constexpr Row kRows[] = {
    {"view pedigree", kCmdViewPedigree, 1, false},
    {"re-coding", kCmdRecoding, 1, false},
    {"re-coding in the file's order", kCmdRecoding, 2, false},
    {"inbreeding", kCmdCompute, 1, false},
    {"dii", kCmdDii, 1, false},
    {"between all individuals", kCmdBetweenAll, 1, false},
    {"gene origin of everybody", kCmdGeneOrigin, 1, false},
    {"inverse of A", kCmdInverseA, 1, true},
};

struct Outcome {
  std::vector<std::string> report;
  std::string saved;
  std::string written;  // the command's own file
  std::string layout;   // every table's name and columns, report's and written
  std::size_t rows = 0;
};

std::size_t Rows(const ResultSet& tables) {
  std::size_t rows = 0;
  for (const ResultTable& t : tables.tables()) rows += t.rows();
  return rows;
}

Outcome RunOnce(const std::string& pedigreePath, const Row& row, bool rowsWanted) {
  DocSession s;
  s.doc.pedigree().report.tables().SetRowsWanted(rowsWanted);
  s.doc.pedigree().writtenTables.SetRowsWanted(rowsWanted);
  EXPECT_TRUE(s.OpenPath(pedigreePath));
  const std::string written = pedigreePath + ".out";
  s.platform.groupChoices = {kAllIndividuals};
  s.platform.saveChoices = {1};
  if (row.file) s.platform.fileNames = {written};
  if (row.command != kCmdViewPedigree) {
    EXPECT_TRUE(s.doc.RunCommand(row.command));
  }
  Outcome outcome;
  outcome.report = s.Report();
  if (!row.file) outcome.saved = s.SaveAs(row.choice);
  outcome.written = row.file ? test::ReadWholeFile(written) : "";
  std::remove(written.c_str());
  const Pedigree& ped = s.doc.pedigree();
  outcome.layout = test::Layout(ped.report.tables()) + "written:\n" + test::Layout(ped.writtenTables);
  outcome.rows = Rows(ped.report.tables()) + Rows(ped.writtenTables);
  return outcome;
}

// Of the random pedigree's individuals' tables, only the small summaries
// may keep rows when none are wanted.
TEST(TextWithoutTableRows, ReportsAndFilesAreTheSameWhetherRowsAreWantedOrNot) {
  // The files' headers carry the time: both runs must see the same minute.
  setenv("SOURCE_DATE_EPOCH", "1796479620", 1);
  for (std::uint64_t seed = 1; seed <= 5; ++seed) {
    const test::TempFile pedigree(test::MakeRandomPedigree(test::VariedOptions(seed, 120)).text);
    for (const Row& row : kRows) {
      SCOPED_TRACE(std::string(row.name) + ", seed " + std::to_string(seed));
      const Outcome wanted = RunOnce(pedigree.path(), row, true);
      const Outcome textOnly = RunOnce(pedigree.path(), row, false);
      EXPECT_EQ(textOnly.report, wanted.report);
      EXPECT_EQ(textOnly.saved, wanted.saved);
      EXPECT_EQ(textOnly.written, wanted.written);
      EXPECT_EQ(textOnly.layout, wanted.layout);
      EXPECT_GT(wanted.rows, 0u);
      EXPECT_LT(textOnly.rows, wanted.rows);
    }
  }
  unsetenv("SOURCE_DATE_EPOCH");
}

// The opened pedigree is a new one; the front end's answer goes with it.
TEST(TextWithoutTableRows, OpeningAnotherPedigreeKeepsTheAnswer) {
  DocSession s;
  s.doc.pedigree().report.tables().SetRowsWanted(false);
  s.doc.pedigree().writtenTables.SetRowsWanted(false);
  for (const char* text : {"progeny sire dam\nA 0 0\nB 0 0\nC A B\n", "progeny sire dam\nX 0 0\n"}) {
    test::TempFile file(text);
    ASSERT_TRUE(s.OpenPath(file.path()));
    EXPECT_FALSE(s.doc.pedigree().report.tables().RowsWanted());
    EXPECT_FALSE(s.doc.pedigree().writtenTables.RowsWanted());
    const ResultTable* listing = s.doc.pedigree().report.tables().Find("pedigree");
    ASSERT_NE(listing, nullptr);
    EXPECT_EQ(listing->rows(), 0u);
  }
}

}  // namespace
}  // namespace kinvar
