// Every column of every command's tables has a readable title for the
// desktop's table view: a column added without one fails here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "report/column_titles.h"
#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class ColumnTitles : public test::CliFixture {};

std::string Example(const char* name) { return Quote(std::string(KINVAR_EXAMPLES_DIR) + "/" + name); }

TEST_F(ColumnTitles, EveryColumnOfEveryCommandHasATitle) {
  const std::string herd = Example("herd.pdg"), csv = Example("herd.csv"), xlsx = Example("herd.xlsx");
  const std::vector<std::string> runs = {
      "view " + herd, "view " + xlsx, "recode " + herd, "inbreeding " + herd,
      "recompute-inbreeding " + herd, "inbreeding-of " + herd + " c4",
      "relationship " + herd + " c4 c2", "inverse " + herd, "inverse " + herd + " --triplets",
      "dominance " + herd, "matrix-t " + herd, "dii " + herd,
      "structure " + csv + " --list-founders", "structure " + herd,
      "relationships " + herd + " all", "average-between-groups " + herd,
      "average-relatedness " + herd, "path-counting " + herd + " all",
      "extract " + herd + " ancestors individual c4", "gene-origin " + herd + " 3",
      "diversity " + herd + " all", "decompose " + herd + " group 3",
      "decompose " + herd + " individual c4", "purging " + herd + " all",
      "mean-kinship " + herd + " all", "mate-suitability " + herd + " 2 3",
      "optimum-contributions " + herd + " 2 3",
      "optimize-matings " + herd + " 2 3 " + Example("herd-sires.c"),
      "x-linked " + xlsx, "mating " + herd + " C3 B3",
  };
  int tables = 0;
  for (const std::string& args : runs) {
    SCOPED_TRACE(args);
    const CliRun run = Execute("-q " + args + " --format json");
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    for (const auto& [name, table] : doc.at("tables").items()) {
      ++tables;
      for (const auto& column : table.at("columns")) {
        const std::string machine = column.at("name");
        EXPECT_FALSE(ColumnTitle(name, machine).empty()) << name << "." << machine << " has no title";
      }
    }
  }
  EXPECT_GE(tables, 40);
}

TEST(ColumnTitle, ReadsAsTheReportsDoAndTablesGiveValueTheirMeaning) {
  struct Row {
    const char* name;
    const char* table;
    const char* column;
    const char* title;
  };
  const Row rows[] = {
      {"F", "inbreeding", "f", "F"},
      {"predefined F", "inbreeding", "f_predefined", "Predefined F"},
      {"ECG", "inbreeding", "ecg", "Equivalent complete generations"},
      {"a relationship's value", "pairs", "value", "Relationship"},
      {"an element of T", "matrix_t", "value", "T"},
      {"a summary's value", "summary", "value", "Value"},
      {"unknown", "inbreeding", "no_such_column", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(ColumnTitle(row.table, row.column), row.title) << row.name;
  EXPECT_EQ(BooleanWord(true), "yes");
  EXPECT_EQ(BooleanWord(false), "no");
}

}  // namespace
}  // namespace kinvar
