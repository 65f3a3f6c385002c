// kinvar-cli genomic-relationship and genomic-inbreeding on the example
// herd's genotypes: the tables as CSV, G's files, and the refusals with
// their messages.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <vector>
#include <string>

#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliGenomic : public test::CliFixture {
 protected:
  static std::string Genotypes() { return Quote(std::string(KINVAR_EXAMPLES_DIR) + "/herd-genotypes.vcf"); }
  CliRun Run(const std::string& command, const std::string& options) const {
    return Execute(command + " " + Herd() + " --genotypes " + Genotypes() + " " + options);
  }
};

// The figures are sums over BLAS products, whose last bits follow the
// threads' share of the work: compared to 12 digits.
TEST_F(CliGenomic, GAgainstA22AsCsv) {
  const CliRun run = Run("genomic-relationship", "--format csv --table genomic_pedigree");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::vector<std::string>> expected = {
      {"elements", "count", "mean_g", "mean_a22", "slope", "intercept", "correlation"},
      {"diagonal", "17", "0.89488548215364", "1.0411305147058822", "0.1133356258390505", "0.7768883036893162",
       "0.024456612232983135"},
      {"off-diagonal", "136", "-0.05593034263460257", "0.23981789981617646", "0.8213220434461146",
       "-0.2528980701665802", "0.7664981671086406"},
      {"all", "153", "0.04971586011964663", "0.3288526348039216", "1.0477205777988268", "-0.29482981242778467",
       "0.8978509382713968"}};
  std::istringstream lines(run.out);
  std::string line;
  for (const std::vector<std::string>& row : expected) {
    ASSERT_TRUE(std::getline(lines, line));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream cells(line);
    std::string cell;
    for (const std::string& want : row) {
      ASSERT_TRUE(std::getline(cells, cell, ',')) << line;
      if (std::isalpha(static_cast<unsigned char>(want[0])) || want.find('.') == std::string::npos) {
        EXPECT_EQ(cell, want);
      } else {
        EXPECT_NEAR(std::stod(cell), std::stod(want), 1e-12) << line;
      }
    }
  }
}

TEST_F(CliGenomic, EveryFormOfGIsWritten) {
  struct Row {
    const char* name;
    std::string options;
    std::string file;
    std::uintmax_t size;
  };
  const Row rows[] = {
      {"triplets", "--write-g " + Quote(Out("g.txt")), Out("g.txt"), 0},
      {"dense", "--write-g " + Quote(Out("g.dense")) + " --g-format dense", Out("g.dense"), 0},
      {"GCTA's matrix", "--write-g " + Quote(Out("herd")) + " --g-format gcta", Out("herd.grm.bin"), 153 * 4},
      {"GCTA's counts", "--write-g " + Quote(Out("herd")) + " --g-format gcta", Out("herd.grm.N.bin"), 153 * 4},
  };
  for (const Row& row : rows) {
    const CliRun run = Run("genomic-relationship", row.options + " -o " + Quote(Out("report.txt")));
    ASSERT_EQ(run.status, 0) << row.name << run.err;
    ASSERT_TRUE(std::filesystem::exists(row.file)) << row.name;
    if (row.size > 0) {
      EXPECT_EQ(std::filesystem::file_size(row.file), row.size) << row.name;
    }
  }
  EXPECT_EQ(test::ReadWholeFile(Out("g.txt")).substr(0, 36), "2 2 1.1033018\n3 2 -0.16346225\n3 3 1.");
  EXPECT_EQ(test::ReadWholeFile(Out("g.dense")).substr(0, 15), "S1 1.1033018 -0");
  EXPECT_EQ(test::ReadWholeFile(Out("herd.grm.id")).substr(0, 12), "S1\tS1\nD3\tD3\n");
}

TEST_F(CliGenomic, GenomicInbreedingBesidePedigreeF) {
  const CliRun run = Run("genomic-inbreeding", "--format csv --table genomic_inbreeding");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n', run.out.find('\n') + 1) + 1),
            "id,code,f_pedigree,f_g,f_hom,f_roh,roh_runs,roh_length,snps_called\r\n"
            "S1,2,0.0625,0.10330181,0.048022673,0.1555184,3,18600000,1111\r\n");
}

TEST_F(CliGenomic, RefusalsSayWhy) {
  const std::string herd = Herd() + " --genotypes " + Genotypes();
  ExpectRefusals({
      {"no genotypes", "genomic-relationship " + Herd(), 2, ""},
      {"an unknown method", "genomic-relationship " + herd + " --method vanraden3", 2, ""},
      {"a frequency file missing", "genomic-relationship " + herd + " --frequencies /nonexistent", 1,
       "Cannot open the allele frequencies file /nonexistent.\n"},
      {"a window of no SNP", "genomic-inbreeding " + herd + " --roh-window-snps 0", 1,
       "Runs: SNPs in a window must be a whole number from 1 to 100000.\n"},
      {"a share above 1", "genomic-inbreeding " + herd + " --roh-min-share 1.5", 1,
       "Runs: the share of homozygous windows must be a number above 0 and at most 1.\n"},
      {"G's folder missing", "genomic-relationship " + herd + " --write-g /nonexistent-dir/g.txt", 1,
       "Cannot open /nonexistent-dir/g.txt for writing.\nNo such file or directory\n"},
  });
}

}  // namespace
}  // namespace kinvar
