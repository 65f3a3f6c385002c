// kinvar-cli hinverse and parentage on the example herd and its genotypes:
// H inverse keeps A inverse wherever an animal without genotypes stands,
// parentage finds the one wrong sire the example holds, and the refusals.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::Quote;

class CliGenomics : public test::CliFixture {
 protected:
  static std::string Example(const char* name) { return Quote(std::string(KINVAR_EXAMPLES_DIR) + "/" + name); }
  static std::string Herd() { return Example("herd.pdg") + " --genotypes " + Example("herd-snps.txt"); }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // CSV ends its lines with CR LF
    lines.push_back(line);
  }
  return lines;
}

// "row column value" lines by their two codes.
std::map<std::pair<int, int>, std::string> Triplets(const std::string& text) {
  std::map<std::pair<int, int>, std::string> cells;
  for (const std::string& line : Lines(text)) {
    std::istringstream in(line);
    int row = 0, column = 0;
    std::string value;
    in >> row >> column >> value;
    cells[{row, column}] = value;
  }
  return cells;
}

// S2, D3 and D9 have no genotypes: every element in their rows or columns
// is A inverse's, to the last digit; the genotyped animals' block is dense.
TEST_F(CliGenomics, HInverseKeepsAInverseOutsideTheGenotypedBlock) {
  const test::CliRun inverse = Execute("inverse " + Example("herd.pdg") + " --triplets");
  const test::CliRun h = Execute("hinverse " + Herd());
  ASSERT_EQ(inverse.status, 0) << inverse.err;
  ASSERT_EQ(h.status, 0) << h.err;
  const test::CliRun recoding = Execute("recode " + Example("herd.pdg") + " --format csv");
  std::set<int> ungenotyped;
  for (const std::string& line : Lines(recoding.out))
    for (const char* id : {",S2", ",D3", ",D9"})
      if (line.ends_with(id)) ungenotyped.insert(std::stoi(line.substr(0, line.find(','))));
  ASSERT_EQ(ungenotyped.size(), 3U) << recoding.out;
  const auto a = Triplets(inverse.out), hinv = Triplets(h.out);
  for (const auto& [cell, value] : a) {
    if (ungenotyped.count(cell.first) || ungenotyped.count(cell.second)) {
      EXPECT_EQ(hinv.at(cell), value) << cell.first << " " << cell.second;
    }
  }
  std::size_t block = 0;
  for (const auto& [cell, value] : hinv) {
    EXPECT_GE(cell.first, cell.second);
    if (!ungenotyped.count(cell.first) && !ungenotyped.count(cell.second)) ++block;
    else EXPECT_TRUE(a.count(cell)) << cell.first << " " << cell.second;
  }
  EXPECT_EQ(block, 15U * 16U / 2U);
}

TEST_F(CliGenomics, HInverseRefusals) {
  ExpectRefusals({
      {"Metafounders",
       "hinverse " + Example("metafounders.pdg") + " --metafounders " + Example("gamma.txt") + " --genotypes " +
           Example("herd-snps.txt"),
       1,
       "The single-step H-inverse does not support metafounders: with them G must be built on allele "
       "frequencies of 0.5 and Gamma fitted to it, which this command does not do. Open the pedigree "
       "without the metafounders, or with genetic groups for the unknown parents.\n"},
      {"Alpha", "hinverse " + Herd() + " --alpha 0.9x", 1,
       "The weights of G_w = alpha G + beta A22 must be numbers, alpha above 0 and beta 0 or more.\n"},
      {"Omega", "hinverse " + Herd() + " --omega one", 1, "Tau and omega must be numbers.\n"},
      {"Method", "hinverse " + Herd() + " --method gcta", 1,
       "The method of G must be vanraden1, vanraden2 or yang.\n"},
      {"CallRate", "hinverse " + Herd() + " --min-snp-call-rate 90%", 1,
       "The minimum SNP call rate must be a number from 0 to 1.\n"},
      {"Threshold", "parentage " + Herd() + " --exclusion-threshold 2", 1,
       "The exclusion threshold must be a number from 0 to 1.\n"},
  });
}

// The flags ticked by default are unticked by their options: the scaling's
// figures leave the summary, the triplets give way to the listing.
TEST_F(CliGenomics, HInverseOffOptionsUntickTheirDefaults) {
  const test::CliRun scaled = Execute("hinverse " + Herd() + " --format csv --table summary");
  const test::CliRun unscaled = Execute("hinverse " + Herd() + " --no-scaling --format csv --table summary");
  ASSERT_EQ(scaled.status, 0) << scaled.err;
  ASSERT_EQ(unscaled.status, 0) << unscaled.err;
  EXPECT_NE(scaled.out.find("Scaling b,0.84"), std::string::npos) << scaled.out;
  EXPECT_NE(unscaled.out.find("Scaling a,0\r\nScaling b,1\r\n"), std::string::npos) << unscaled.out;
  const test::CliRun triplets = Execute("hinverse " + Herd());
  const test::CliRun listed = Execute("hinverse " + Herd() + " --lower-triangle");
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_TRUE(triplets.out.starts_with("1 1 ")) << triplets.out.substr(0, 40);
  EXPECT_FALSE(listed.out.starts_with("1 1 ")) << listed.out.substr(0, 40);
}

// The five genomic commands take the genotype input's options from one
// declaration: the same names, value names and help on every one.
TEST_F(CliGenomics, EveryGenomicCommandOffersTheSameGenotypeOptions) {
  for (const char* command : {"genomic-relationship", "genomic-inbreeding", "hinverse", "parentage", "genotype-qc"}) {
    const test::CliRun help = Execute(std::string(command) + " --help");
    ASSERT_EQ(help.status, 0) << command;
    for (const char* line :
         {"--genotypes FILE REQUIRED", "--genotype-format FORMAT", "--min-snp-call-rate X",
          "Drop SNPs called in fewer of the animals (default 0.9)", "--min-animal-call-rate X",
          "Drop animals with fewer of the SNPs called (default 0.9)", "--min-maf X",
          "Drop SNPs of a smaller minor allele frequency (default 0.01)"})
      EXPECT_NE(help.out.find(line), std::string::npos) << command << ": " << line << "\n" << help.out;
  }
}

// The table against what the example was made with: C2's true sire is B4.
TEST_F(CliGenomics, ParentageExcludesTheWrongSireAndFindsTheTrueOne) {
  struct Row {
    const char* name;
    const char* options;
    const char* c2Sire;  // its row of the table
    int excluded;
  };
  const Row rows[] = {
      {"Default", "", "C2,16,sire,B1,35,375,0.09333333333333334,excluded,8,B4,0,376,0,C1,0.026737967914438502", 1},
      {"HigherThreshold", " --exclusion-threshold 0.1", "C2,16,sire,B1,35,375,0.09333333333333334,confirmed,0,,,,,,",
       0},
      {"NoSearch", " --no-search", "C2,16,sire,B1,35,375,0.09333333333333334,excluded,0,,,,,,", 1},
  };
  for (const Row& row : rows) {
    const test::CliRun run = Execute("parentage " + Herd() + row.options + " --format csv --table parentage");
    ASSERT_EQ(run.status, 0) << row.name << run.err;
    int excluded = 0;
    bool found = false;
    for (const std::string& line : Lines(run.out)) {
      if (line.find(",excluded,") != std::string::npos) ++excluded;
      if (line.starts_with("C2,16,sire,")) {
        EXPECT_EQ(line, row.c2Sire) << row.name;
        found = true;
      }
      // Every other recorded and genotyped parent is the true one.
      if (!line.starts_with("C2,16,sire,") && line.find(",unknown,") == std::string::npos && !line.starts_with("id,")) {
        EXPECT_NE(line.find(",0,confirmed,"), std::string::npos) << row.name << ": " << line;
      }
    }
    EXPECT_TRUE(found) << row.name;
    EXPECT_EQ(excluded, row.excluded) << row.name;
  }
}

}  // namespace
}  // namespace kinvar
