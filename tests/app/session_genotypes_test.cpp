// The genomic commands through the session, as R and Python call them: the
// keywords their declarations name fill the same boxes as kinvar-cli's
// options, a keyword left out takes its default (not the last call's text),
// the genotype file is refused as every front end refuses it, and a refused
// input leaves the session usable.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/command_declarations.h"
#include "app/session.h"
#include "support/table_cells.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

const std::string kExamples = KINVAR_EXAMPLES_DIR;
using Keywords = std::map<std::string, std::string>;

TEST(SessionGenotypes, QualityControlTablesFromKeywordArguments) {
  const auto session = Session::Read(kExamples + "/herd.pdg");
  const std::string file = kExamples + "/herd-genotypes.txt";
  const ResultSet tables = session->RunDeclared("genotype-qc", {{"genotypes", file}});
  const ResultTable* qc = tables.Find("qc");
  ASSERT_NE(qc, nullptr);
  EXPECT_EQ(test::IntegerCells(*qc, "dropped"), (std::vector<std::int64_t>{1, 1, 3, 0}));
  EXPECT_EQ(test::TextCells(*tables.Find("not_in_pedigree"), "id"), std::vector<std::string>{"X1"});
  // A looser animal call rate keeps C4, whose calls then drop no SNP 20.
  const ResultSet loose = session->RunDeclared(
      "genotype-qc", {{"genotypes", file}, {"genotype_format", "text"}, {"min_snp_call_rate", "0.5"},
                      {"min_animal_call_rate", "0.8"}, {"min_maf", "0"}});
  EXPECT_EQ(test::IntegerCells(*loose.Find("qc"), "dropped"), (std::vector<std::int64_t>{0, 0, 3, 0}));
  // Left out, the thresholds are the defaults again, not the loose ones.
  const ResultSet again = session->RunDeclared("genotype-qc", {{"genotypes", file}});
  EXPECT_EQ(test::IntegerCells(*again.Find("qc"), "dropped"), (std::vector<std::int64_t>{1, 1, 3, 0}));
}

TEST(SessionGenotypes, RefusalsLeaveTheSessionUsable) {
  const auto session = Session::Read(kExamples + "/herd.pdg");
  const std::string file = kExamples + "/herd-genotypes.txt";
  struct Row {
    const char* name;
    std::string command;
    Keywords keywords;
    std::string message;
  };
  const Row rows[] = {
      {"no file", "genotype-qc", {}, "Name the genotype file."},
      {"a missing file", "genotype-qc", {{"genotypes", "/nonexistent/g.txt"}}, "Cannot open /nonexistent/g.txt"},
      {"an unknown format", "parentage", {{"genotypes", file}, {"genotype_format", "csv"}},
       "The genotype format is plink, vcf or text, or empty to go by the file's extension."},
      {"a NaN threshold", "genomic-inbreeding", {{"genotypes", file}, {"min_snp_call_rate", "nan"}},
       "The minimum SNP call rate must be a number from 0 to 1."},
      {"a percentage", "genomic-relationship", {{"genotypes", file}, {"min_animal_call_rate", "90%"}},
       "The minimum animal call rate must be a number from 0 to 1."},
      {"a MAF above one half", "genotype-qc", {{"genotypes", file}, {"min_maf", "0.7"}},
       "The minimum minor allele frequency must be a number from 0 to 0.5."},
      {"no frequency file", "genomic-relationship", {{"genotypes", file}, {"frequencies", ""}},
       "Name the allele frequencies file."},
      {"a method unknown", "genomic-relationship", {{"genotypes", file}, {"method", "gcta"}},
       "The method must be vanraden1, vanraden2 or yang."},
      {"a window of no SNP", "genomic-inbreeding", {{"genotypes", file}, {"roh_window_snps", "0"}},
       "Runs: SNPs in a window must be a whole number from 1 to 100000."},
      {"a share of none", "genomic-inbreeding", {{"genotypes", file}, {"roh_min_share", "0"}},
       "Runs: the share of homozygous windows must be a number above 0 and at most 1."},
      {"an exclusion threshold of two", "parentage", {{"genotypes", file}, {"exclusion_threshold", "2"}},
       "The exclusion threshold must be a number from 0 to 1."},
  };
  for (const Row& row : rows) {
    try {
      session->RunDeclared(row.command, row.keywords);
      ADD_FAILURE() << row.name << ": not refused";
    } catch (const Refused& refused) {
      EXPECT_EQ(std::string(refused.what()), row.message) << row.name;
    }
  }
  EXPECT_NO_THROW(session->RunDeclared("genotype-qc", {{"genotypes", file}}));
  EXPECT_THROW(session->RunDeclared("hinverse", {{"genotypes", file}, {"triplets", "0"}}), std::invalid_argument);
}

TEST(SessionGenotypes, HInverseWeightsAreRefusedAsTheFormRefusesThem) {
  const auto session = Session::Read(kExamples + "/herd.pdg");
  const std::string file = kExamples + "/herd-snps.txt";
  struct Row {
    const char* name;
    Keywords keywords;
    std::string message;
  };
  const std::string weights =
      "The weights of G_w = alpha G + beta A22 must be numbers, alpha above 0 and beta 0 or more.";
  const Row rows[] = {
      {"alpha zero", {{"alpha", "0"}}, weights},
      {"beta below zero", {{"beta", "-0.1"}}, weights},
      {"tau a word", {{"tau", "one"}}, "Tau and omega must be numbers."},
      {"omega infinite", {{"omega", "inf"}}, "Tau and omega must be numbers."},
      {"a method unknown", {{"method", "gcta"}}, "The method of G must be vanraden1, vanraden2 or yang."},
  };
  for (const Row& row : rows) {
    Keywords keywords = row.keywords;
    keywords["genotypes"] = file;
    try {
      session->HInverse(keywords);
      ADD_FAILURE() << row.name << ": not refused";
    } catch (const Refused& refused) {
      EXPECT_EQ(std::string(refused.what()), row.message) << row.name;
    }
  }
  // Unscaled, the genomic block differs; outside it H inverse is A inverse.
  const LowerTriplets scaled = session->HInverse({{"genotypes", file}});
  const LowerTriplets unscaled = session->HInverse({{"genotypes", file}, {"scale", "0"}});
  EXPECT_EQ(scaled.n, unscaled.n);
  EXPECT_NE(scaled.value, unscaled.value);
}

// Every genomic command's keywords are its declaration's, the genotype
// input's five first, with kinvar-cli's defaults.
TEST(SessionGenotypes, EveryGenomicCommandTakesTheGenotypeKeywordsFirst) {
  const std::vector<std::pair<std::string, std::string>> genotype{{"genotypes", ""},
                                                                  {"genotype_format", ""},
                                                                  {"min_snp_call_rate", "0.9"},
                                                                  {"min_animal_call_rate", "0.9"},
                                                                  {"min_maf", "0.01"}};
  for (const char* command : {"genomic-relationship", "genomic-inbreeding", "hinverse", "parentage", "genotype-qc"}) {
    SCOPED_TRACE(command);
    const auto keywords = Session::Keywords(command);
    ASSERT_GE(keywords.size(), genotype.size());
    EXPECT_EQ(std::vector(keywords.begin(), keywords.begin() + 5), genotype);
  }
  EXPECT_EQ(Session::Keywords("parentage").back(), (std::pair<std::string, std::string>{"search", "1"}));
}

}  // namespace
}  // namespace kinvar
