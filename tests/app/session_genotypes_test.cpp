// The genotype input through the session, as R and Python call it: the
// keyword arguments fill the same boxes as kinvar-cli's options, the tables
// are genotype-qc's, and a refused input leaves the session usable.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/session.h"
#include "support/table_cells.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

const std::string kExamples = KINVAR_EXAMPLES_DIR;

TEST(SessionGenotypes, QualityControlTablesFromKeywordArguments) {
  const auto session = Session::Read(kExamples + "/herd.pdg");
  const ResultSet tables = session->GenotypeQc({kExamples + "/herd-genotypes.txt", "", {}, {}, {}});
  const ResultTable* qc = tables.Find("qc");
  ASSERT_NE(qc, nullptr);
  EXPECT_EQ(test::IntegerCells(*qc, "dropped"), (std::vector<std::int64_t>{1, 1, 3, 0}));
  EXPECT_EQ(test::TextCells(*tables.Find("not_in_pedigree"), "id"), std::vector<std::string>{"X1"});
  // A looser animal call rate keeps C4, whose calls then drop no SNP 20.
  const ResultSet loose = session->GenotypeQc({kExamples + "/herd-genotypes.txt", "text", 0.5, 0.8, 0.0});
  EXPECT_EQ(test::IntegerCells(*loose.Find("qc"), "dropped"), (std::vector<std::int64_t>{0, 0, 3, 0}));
}

TEST(SessionGenotypes, RefusalsLeaveTheSessionUsable) {
  const auto session = Session::Read(kExamples + "/herd.pdg");
  struct Row {
    const char* name;
    GenotypeRequest request;
    std::string message;
  };
  const Row rows[] = {
      {"no file", {"", "", {}, {}, {}}, "Name the genotype file."},
      {"a missing file", {"/nonexistent/g.txt", "", {}, {}, {}}, "Cannot open /nonexistent/g.txt"},
      {"an unknown format", {kExamples + "/herd-genotypes.txt", "csv", {}, {}, {}},
       "The genotype format is plink, vcf or text, or empty to go by the file's extension."},
      {"a NaN threshold", {kExamples + "/herd-genotypes.txt", "", std::nan(""), {}, {}},
       "The minimum SNP call rate must be a number from 0 to 1."},
      {"a MAF above one half", {kExamples + "/herd-genotypes.txt", "", {}, {}, 0.7},
       "The minimum minor allele frequency must be a number from 0 to 0.5."},
  };
  for (const Row& row : rows) {
    try {
      session->GenotypeQc(row.request);
      ADD_FAILURE() << row.name << ": not refused";
    } catch (const Refused& refused) {
      EXPECT_EQ(std::string(refused.what()), row.message) << row.name;
    }
  }
  EXPECT_NO_THROW(session->GenotypeQc({kExamples + "/herd-genotypes.txt", "", {}, {}, {}}));
}

}  // namespace
}  // namespace kinvar
