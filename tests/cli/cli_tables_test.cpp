// kinvar-cli --format: every command's tables in every format, read back
// with the test's own readers, agree with each other and with the tables the
// document holds after the same command; the refusals say why.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/cli_fixture.h"
#include "support/table_readers.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

using test::CliRun;
using test::Quote;
using test::TextRows;

class CliTables : public test::CliFixture {};

struct FormatCase {
  const char* name;
  std::string args;                 // HERD stands for the example herd
  std::string command;              // the JSON document's "command"
  std::vector<std::string> tables;  // in the document's order
};

std::vector<FormatCase> FormatCases() {
  return {
      {"view", "view HERD", "view", {"pedigree"}},
      {"recode", "recode HERD", "recode", {"recoding"}},
      {"inbreeding", "inbreeding HERD", "inbreeding", {"summary", "inbreeding"}},
      {"inbreeding_of", "inbreeding-of HERD c4", "inbreeding-of", {"inbreeding_of"}},
      {"relationship", "relationship HERD c4 c2", "relationship", {"relationship"}},
      {"inverse", "inverse HERD", "inverse", {"ainverse", "recoding"}},
      {"triplets", "inverse HERD --triplets", "inverse", {"ainverse", "recoding"}},
      {"matrix_t", "matrix-t HERD", "matrix-t", {"matrix_t"}},
      {"dii", "dii HERD", "dii", {"dii"}},
      {"structure", "structure HERD", "structure",
       {"summary", "f_distribution", "longest_path", "groups"}},
      {"pairs_all", "relationships HERD all", "relationships", {"pairs"}},
      {"pairs_within", "relationships HERD within 3", "relationships", {"pairs"}},
      {"pairs_between", "relationships HERD between 1 3", "relationships", {"pairs"}},
      {"group_averages", "average-between-groups HERD", "average-between-groups", {"group_averages"}},
      {"average_relatedness", "average-relatedness HERD", "average-relatedness",
       {"average_relatedness"}},
      {"paths", "path-counting HERD all", "path-counting", {"inbreds", "paths", "ncas"}},
      {"extract", "extract HERD ancestors individual c4", "extract", {"pedigree"}},
      {"gene_origin", "gene-origin HERD 3", "gene-origin", {"summary", "founder_contributions"}},
      {"diversity", "diversity HERD all", "diversity", {"summary", "ancestors", "groups"}},
      {"decompose", "decompose HERD group 3", "decompose", {"summary", "decomposition"}},
  };
}

std::string WithHerd(std::string args, const std::string& herd) {
  args.replace(args.find("HERD"), 4, herd);
  return "-q " + args;
}

// JSON as the document, then CSV, TSV and the workbook read back to the
// same rows; numbers in workbooks compare as doubles (a float's digits
// exactly, a double's to the 16 digits the workbook keeps).
TEST_F(CliTables, EveryFormatGivesTheSameTablesForEveryCommand) {
  for (const FormatCase& c : FormatCases()) {
    SCOPED_TRACE(c.name);
    const std::string args = WithHerd(c.args, Herd());
    const CliRun json = Execute(args + " --format json");
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc.at("command"), c.command);
    std::vector<std::string> names;
    for (const auto& [name, table] : doc.at("tables").items()) names.push_back(name);
    std::vector<std::string> sorted = c.tables;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(names, sorted);  // nlohmann orders an object's keys
    if (names != sorted) continue;

    const std::string folder = Out(std::string(c.name) + "-csv");
    const bool one = c.tables.size() == 1;
    const CliRun csv = Execute(args + " --format csv" + (one ? "" : " -o " + Quote(folder)));
    const CliRun tsv = Execute(args + " --format tsv -o " + Quote(one ? Out("t.tsv") : folder));
    const std::string xlsx = Out(std::string(c.name) + ".xlsx");
    const CliRun workbook = Execute(args + " --format xlsx -o " + Quote(xlsx));
    ASSERT_EQ(csv.status + tsv.status + workbook.status, 0) << csv.err << tsv.err << workbook.err;
    for (const std::string& name : c.tables) {
      SCOPED_TRACE(name);
      const TextRows rows = test::JsonTableRows(json.out, name);
      ASSERT_GE(rows.size(), 1u);
      EXPECT_EQ(test::ParseCsv(one ? csv.out : test::ReadWholeFile(folder + "/" + name + ".csv")), rows);
      EXPECT_EQ(test::ParseTsv(test::ReadWholeFile(one ? Out("t.tsv") : folder + "/" + name + ".tsv")), rows);
      const TextRows sheet = test::XlsxSheetRows(xlsx, name);
      ASSERT_EQ(sheet.size(), rows.size());
      for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t k = 0; k < rows[r].size(); ++k) {
          const std::string got = k < sheet[r].size() ? sheet[r][k] : "";
          const std::string& want = rows[r][k];
          if (want == "true" || want == "false") {
            EXPECT_EQ(got, want == "true" ? "TRUE" : "FALSE");
          } else if (got != want) {
            // The workbook library writes 16 significant digits.
            EXPECT_NEAR(std::stod(got), std::stod(want), 1e-15 * std::fabs(std::stod(want))) << r << "," << k;
          }
        }
    }
  }
}

// The inbreeding table: every individual in the file's order, the added
// parent after them, full-precision F that the inbreds' listing rounds.
TEST_F(CliTables, InbreedingCsvListsEveryIndividualAtFullPrecision) {
  const CliRun run = Execute("-q inbreeding " + Herd() + " --format csv --table inbreeding");
  ASSERT_EQ(run.status, 0) << run.err;
  const TextRows rows = test::ParseCsv(run.out);
  ASSERT_EQ(rows.size(), 1u + 18u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"id", "sire", "dam", "group", "code", "f", "f_predefined",
                                               "ecg", "longest_path"}));
  EXPECT_EQ(rows[1][0], "S1");
  EXPECT_EQ(rows[1][5], "0.0625");
  EXPECT_EQ(rows[1][6], "true");
  EXPECT_EQ(rows[18][0], "D9");  // the parent that validation added
  EXPECT_EQ(rows[18][3], "");    // without a group
  for (std::size_t r = 1; r < rows.size(); ++r)
    EXPECT_EQ(static_cast<double>(std::stof(rows[r][5])), std::stod(rows[r][5])) << "a float's digits";
}

TEST_F(CliTables, RefusalsSayWhatToDoInstead) {
  ExpectRefusals({
      {"several_csv_to_stdout", "-q inbreeding " + Herd() + " --format csv", 1,
       "The result has 2 tables (summary, inbreeding); with --format csv choose one with --table "
       "NAME, or name a folder with -o DIR to write one file per table, or use --format json or "
       "xlsx.\n"},
      {"no_such_table", "-q inbreeding " + Herd() + " --format csv --table paths", 1,
       "The result has no table paths; its tables: summary, inbreeding.\n"},
      {"unknown_format", "-q inbreeding " + Herd() + " --format ods", 2, ""},
      {"with_report", "-q inbreeding " + Herd() + " --format csv --report", 2, ""},
      {"settings", "settings --write x --format csv", 2, ""},
  });
}

}  // namespace
}  // namespace kinvar
