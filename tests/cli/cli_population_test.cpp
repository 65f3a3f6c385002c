// The population commands of kinvar-cli: the ranking as a table, mate
// suitability's options, optimum contributions from breeding values to the
// matings file that optimize-matings takes with the same groups, and the
// exit status of what cannot be met.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliPopulation : public test::CliFixture {
 protected:
  static std::string Example(const char* name) {
    return Quote(std::string(KINVAR_EXAMPLES_DIR) + "/" + name);
  }
};

TEST_F(CliPopulation, MeanKinshipWritesTheRankedTable) {
  const CliRun run = Execute("-q mean-kinship " + Herd() + " 3 --format csv --table mean_kinship");
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::string header, first;
  std::getline(lines, header);
  std::getline(lines, first);
  header.pop_back();  // CSV lines end with CR LF
  first.pop_back();
  EXPECT_EQ(header, "id,sex,group,f,mk,progeny,completeness,rank");
  EXPECT_EQ(first.substr(0, 3), "C1,");
  EXPECT_EQ(first.substr(first.size() - 2), ",1");
  EXPECT_EQ(Execute("-q mean-kinship " + Herd() + " 9").status, 1);
}

TEST_F(CliPopulation, MateSuitabilityTakesAReferenceAndABound) {
  const CliRun all = Execute("-q mate-suitability " + Herd() + " 2 3 --format csv --table mate_suitability");
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(all.out.substr(0, all.out.find('\r')),
            "sire,dam,offspring_f,delta_gd,mk_sire,mk_dam,mk_difference,above_max_f");
  EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 17);  // 4 x 4 pairs
  const CliRun bounded =
      Execute("-q mate-suitability " + Herd() + " 2 3 --reference 1 --max-f 0.5 --report");
  ASSERT_EQ(bounded.status, 0) << bounded.err;
  EXPECT_NE(bounded.out.find("Reference = group 1"), std::string::npos);
  // Only the line that explains the mark has one: nothing is above 0.5.
  EXPECT_NE(bounded.out.find("Pairs whose offspring F is above 0.500000 = 0 of 16\n"), std::string::npos);
  const std::size_t mark = bounded.out.find(" *");
  EXPECT_EQ(bounded.out.substr(mark, 8), " * and l");
  EXPECT_EQ(bounded.out.find(" *", mark + 1), std::string::npos);
  const CliRun unknown = Execute("-q mate-suitability " + Herd() + " 2 3 --reference 7");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "Error: There is no group 7.\n");
}

TEST_F(CliPopulation, BreedingValuesThatAreNotWhollyNumbersAreRefusedWhereTheyStand) {
  const std::string ebv = Out("ebv.txt");
  std::ofstream(ebv) << "ID EBV\nB1 120\nB2 35kg\n";
  const CliRun run = Execute("-q optimum-contributions " + Herd() + " 2 3 --ebv " + Quote(ebv) +
                             " --target-delta-f 0.01");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error in line 3, column 4.\n\"35kg\" is not a breeding value.\n");
}

TEST_F(CliPopulation, OptimumContributionsFeedOptimizeMatings) {
  const std::string c = Out("sires.c");
  const CliRun ocs = Execute("-q optimum-contributions " + Herd() + " 2 3 --ebv " +
                             Example("herd-ebv.txt") + " --target-delta-f 0.01 --matings-file " +
                             Quote(c) + " --report");
  ASSERT_EQ(ocs.status, 0) << ocs.err;
  EXPECT_NE(ocs.out.find("Delta F = 0.010000"), std::string::npos) << ocs.out;
  EXPECT_EQ(test::ReadWholeFile(c), "B1 2\nB3 1\nB2 0\nB4 1\n");
  const CliRun matings = Execute("-q optimize-matings " + Herd() + " 2 3 " + Quote(c) + " --exact");
  EXPECT_EQ(matings.status, 0) << matings.err;
}

TEST_F(CliPopulation, WhatCannotBeMetExitsWithOne) {
  const struct {
    const char* name;
    std::string args;
    std::string message;
  } cases[] = {
      {"target below the least kinship", "--ebv " + Example("herd-ebv.txt") + " --target-kinship 0.1",
       "Error: The kinship constraint cannot be met: the target kinship is 0.100000, the least the "
       "candidates can reach is 0.211069.\n"},
      {"values without a target", "--ebv " + Example("herd-ebv.txt"),
       "Error: With breeding values, give a target delta F or a target kinship.\n"},
      {"no such column", "--ebv-column milk --target-delta-f 0.01",
       "The pedigree file has no column milk.\n"},
      {"a largest contribution of 1", "--max-contribution 1",
       "Error: The largest contribution must be above 0 and at most 0.5, not 1.\n"},
      {"values from a folder", "--ebv " + Quote(std::string(KINVAR_EXAMPLES_DIR)) + " --target-delta-f 0.01",
       "Cannot open " + std::string(KINVAR_EXAMPLES_DIR) + ": it is a folder, not a file.\n"},
      {"values from an endless device", "--ebv /dev/zero --target-delta-f 0.01",
       "Error in line 1.\nThe line is longer than 65536 bytes.\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = Execute("-q optimum-contributions " + Herd() + " 2 3 " + c.args);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_EQ(run.err, c.message) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
  }
  EXPECT_EQ(Execute("-q optimum-contributions " + Herd() +
                    " 2 3 --target-delta-f 0.01 --target-kinship 0.2").status,
            2);
}

}  // namespace
}  // namespace kinvar
