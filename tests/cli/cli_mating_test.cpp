// kinvar-cli mating: the exact file of a planned mating on the example
// herd, a new sire given by its parents, the tables, the chart of the
// planned offspring, and the refusals with their messages and status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;

class CliMating : public test::CliFixture {};

const std::string kHerdPath = std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg";

TEST_F(CliMating, WritesTheOffspringItsCommonAncestorsAndTheBestSiresExactly) {
  const CliRun run = Execute("-q mating " + Herd() + " c3 B3 --top 3");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "14:07  Saturday, December 5, 2026\nPedigree file name: " + kHerdPath + "\n\n"
            "Planned mating\n"
            "Sire = C3\n"
            "Dam = B3\n"
            "Relationship of the parents = 0.378906\n"
            "Inbreeding coefficient of the offspring = 0.189453\n"
            "\n"
            "Common ancestors of the sire and the dam, with their parts of the offspring's F\n"
            "ID                    Part of F\n"
            "D2                    0.062500\n"
            "S1                    0.049805\n"
            "A3                    0.031250\n"
            "A2                    0.030273\n"
            "S2                    0.015625\n"
            "Total                 0.189453\n"
            "The parts add up to the offspring's F.\n"
            "\n"
            "Best sires for the dam B3 among all males, lowest offspring F first\n"
            "Candidates = 6\n"
            "Mean kinship (MK) with all individuals\n"
            "Rank                  Sire                  Group                 Offspring F           MK\n"
            "1                     B1                    2                     0.0644531             0.146376\n"
            "2                     B4                    2                     0.0664062             0.110894\n"
            "3                     A1                    1                     0.0664062             0.133030\n");
}

TEST_F(CliMating, TakesANewSireByItsParentsAndTheCandidatesOfAGroup) {
  const CliRun run =
      Execute("-q mating " + Herd() + " NEW B3 --sire-parents B4 C1 --candidates 2 --reference 3 --report");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* line : {"Sire = NEW (new: sire B4, dam C1)\n",
                           "Inbreeding coefficient of the offspring = 0.12793\n",
                           "Best sires for the dam B3 among group 2, lowest offspring F first\n",
                           "Candidates = 2\n", "Mean kinship (MK) with group 3\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
  const CliRun unknown = Execute("-q mating " + Herd() + " NEW B3 --sire-parents 0 0 --top 0 --report");
  ASSERT_EQ(unknown.status, 0) << unknown.err;
  EXPECT_NE(unknown.out.find("Sire = NEW (new: sire unknown, dam unknown)\n"), std::string::npos);
  EXPECT_EQ(unknown.out.find("Best sires"), std::string::npos);
}

TEST_F(CliMating, WritesItsTables) {
  const CliRun run = Execute("-q mating " + Herd() + " C3 B3 --format csv --table best_sires");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\r')), "rank,sire,group,offspring_f,mk");
  const CliRun common = Execute("-q mating " + Herd() + " C3 B3 --format csv --table common_ancestors");
  ASSERT_EQ(common.status, 0) << common.err;
  EXPECT_EQ(common.out.substr(0, common.out.find('\r')), "id,part_of_f");
}

#ifdef KINVAR_CLI_HAS_PICTURES
TEST_F(CliMating, DrawsThePlannedOffspringsChart) {
  const CliRun run = Execute("-q mating " + Herd() + " C3 B3 --chart " + test::Quote(Out("c.svg")));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string svg = test::ReadWholeFile(Out("c.svg"));
  EXPECT_NE(svg.find("Pedigree chart of C3 x B3"), std::string::npos);
  const CliRun refused = Execute("-q mating " + Herd() + " C3 B3 --chart " + test::Quote(Out("c.txt")));
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("cannot tell the format of"), std::string::npos) << refused.err;
}
#endif

TEST_F(CliMating, RefusesWhatNoMatingCanBe) {
  ExpectRefusals({
      {"a dam as the sire", "-q mating " + Herd() + " B2 B3", 1,
       "Error: B2 is a dam in the pedigree and cannot be the sire.\n"},
      {"the same animal", "-q mating " + Herd() + " C1 C1", 1,
       "Error: C1 cannot be both the sire and the dam.\n"},
      {"nobody", "-q mating " + Herd() + " B1 XX", 1, "Cannot find individual \"XX\" in the pedigree.\n"},
      {"one parent", "-q mating " + Herd() + " B1", 2, ""},
  });
}

}  // namespace
}  // namespace kinvar
