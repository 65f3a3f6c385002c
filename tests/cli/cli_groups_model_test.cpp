// One model of A for every command: with --genetic-groups a group stands for
// an unknown parent, so each command's figures are those of the same
// pedigree with the group parents written as 0; without the option the
// group IDs are founders their progeny share, and the figures differ.
// Commands outside the metafounder model refuse --metafounders.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/cli_fixture.h"
#include "support/random_pedigree.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

// The two group IDs; no random individual takes them (checked below).
constexpr const char* kGroups[] = {"GROUPONE", "GROUPTWO"};

struct Texts {
  std::string withGroups;  // unknown parents named by a group
  std::string withZeros;   // the same parents written as 0
  std::string someId;      // the last individual listed
  std::string otherId;     // and the one before it
};

// The listed individuals of a random pedigree, every unknown parent given a
// group in one text and 0 in the other; members of groups 1 and 2.
Texts GroupedTexts(std::uint64_t seed) {
  test::RandomPedigreeOptions o;
  o.seed = seed;
  o.size = 40;
  o.founders = 6;
  o.window = 12;
  o.unknownParentChance = 0.3;
  o.decorate = false;
  const test::RandomPedigree p = test::MakeRandomPedigree(o);
  std::mt19937 draw(static_cast<std::uint32_t>(seed));
  Texts t{"Progeny Sire Dam Group\n", "Progeny Sire Dam Group\n", "", ""};
  int k = 0;
  for (const test::RandomIndividual& r : p.individuals) {
    EXPECT_NE(r.id, kGroups[0]);
    EXPECT_NE(r.id, kGroups[1]);
    if (!r.listed) continue;
    const auto parent = [&](const std::string& id, std::string& grouped, std::string& zero) {
      grouped = id.empty() ? kGroups[draw() % 2] : id;
      zero = id.empty() ? "0" : id;
    };
    std::string gs, zs, gd, zd;
    parent(r.sire, gs, zs);
    parent(r.dam, gd, zd);
    const std::string group = std::to_string(1 + k++ % 2);
    t.withGroups += r.id + " " + gs + " " + gd + " " + group + "\n";
    t.withZeros += r.id + " " + zs + " " + zd + " " + group + "\n";
    t.otherId = t.someId;
    t.someId = r.id;
  }
  return t;
}

struct Row {
  const char* name;
  std::string args;         // PED stands for the pedigree, ID and OTHER for two IDs
  bool sharedGroupsChange;  // the run without the option differs on every seed
};

class CliGroupsModel : public test::CliFixture {
 protected:
  std::string Run(std::string args, const std::string& pedigree, const Texts& t, const std::string& options) {
    for (const auto& [word, value] : {std::pair<std::string, std::string>{"PED", Quote(pedigree)},
                                      {"OTHER", t.otherId}, {"ID", t.someId}}) {
      for (std::size_t at; (at = args.find(word)) != std::string::npos;) args.replace(at, word.size(), value);
    }
    const CliRun run = Execute("-q " + args + options);
    std::string out = std::to_string(run.status) + "\n" + run.out + run.err;
    // The file's name is the one difference the two pedigrees may show.
    for (std::size_t at; (at = out.find(pedigree)) != std::string::npos;) out.replace(at, pedigree.size(), "PED");
    return out;
  }
};

TEST_F(CliGroupsModel, EveryCommandTakesTheGroupsAsUnknownParents) {
  const Row rows[] = {
      {"inbreeding", "inbreeding PED", true},
      {"inbreeding report", "inbreeding PED --report", true},
      {"structure", "structure PED --report", false},
      {"inbreeding-of", "inbreeding-of PED ID", false},
      {"relationship", "relationship PED ID OTHER", false},
      {"relationships all", "relationships PED all", true},
      {"relationships within", "relationships PED within 1", true},
      {"relationships between", "relationships PED between 1 2 --matrix", true},
      {"average between groups", "average-between-groups PED", true},
      {"average relatedness", "average-relatedness PED", true},
      {"dii", "dii PED", true},
      {"decompose individual", "decompose PED individual ID", false},
      {"decompose group", "decompose PED group 1", false},
      {"decompose coancestry", "decompose PED coancestry 2", false},
      {"gene origin", "gene-origin PED 1", false},
      {"path counting", "path-counting PED all", false},
      {"mean kinship", "mean-kinship PED all", true},
      {"diversity", "diversity PED all", false},
      {"purging", "purging PED all", false},
      {"dominance", "dominance PED --group 1", false},
  };
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    const Texts t = GroupedTexts(seed);
    const std::string grouped = Out("grouped.pdg"), zeros = Out("zeros.pdg"), groups = Out("groups.txt");
    test::WriteWholeFile(grouped, t.withGroups);
    test::WriteWholeFile(zeros, t.withZeros);
    test::WriteWholeFile(groups, std::string(kGroups[0]) + "\n" + kGroups[1] + "\n");
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + ", seed " + std::to_string(seed));
      const std::string withOption = Run(row.args, grouped, t, " --genetic-groups " + Quote(groups));
      EXPECT_EQ(withOption, Run(row.args, zeros, t, ""));
      EXPECT_EQ(withOption.rfind("0\n", 0), 0u) << withOption;
      if (row.sharedGroupsChange) {
        EXPECT_NE(withOption, Run(row.args, grouped, t, ""));
      }
    }
  }
}

// The smallest case: the progeny of two founders whose parents are
// the same two groups is inbred only when the groups are founders.
TEST_F(CliGroupsModel, SharedGroupsAreNoCommonAncestors) {
  test::WriteWholeFile(Out("g.pdg"), "Progeny Sire Dam\nA G1 G2\nB G1 G2\nC A B\n");
  test::WriteWholeFile(Out("groups.txt"), "G1\nG2\n");
  struct Case {
    const char* name;
    std::string options;
    const char* f;
  };
  const Case cases[] = {{"groups as unknown parents", " --genetic-groups " + Quote(Out("groups.txt")), "0\n"},
                        {"groups as founders", "", "0.25\n"}};
  for (const Case& c : cases) {
    const CliRun run = Execute("-q inbreeding-of " + Quote(Out("g.pdg")) + " C" + c.options);
    EXPECT_EQ(run.status, 0) << c.name << ": " << run.err;
    EXPECT_EQ(run.out, c.f) << c.name;
  }
}

TEST_F(CliGroupsModel, CommandsOutsideTheMetafounderModelRefuseThem) {
  test::WriteWholeFile(Out("m.pdg"), "Progeny Sire Dam Group\nA M1 M2 1\nB M1 M2 1\nC A B 2\n");
  test::WriteWholeFile(Out("gamma.txt"), "M1 M1 0.2\nM2 M2 0.1\nM1 M2 0.05\n");
  const std::string ped = Quote(Out("m.pdg")), gamma = " --metafounders " + Quote(Out("gamma.txt"));
  const std::string refusal =
      "This command does not take metafounders into account. Open the pedigree again to use it "
      "without them.\n";
  ExpectRefusals({
      {"matrix-t", "-q matrix-t " + ped + gamma, 1, refusal},
      {"x-linked", "-q x-linked " + ped + gamma, 1, refusal},
      {"dominance", "-q dominance " + ped + gamma, 1, refusal},
      {"path-counting", "-q path-counting " + ped + " all" + gamma, 1, refusal},
      {"gene-origin", "-q gene-origin " + ped + " 2" + gamma, 1, refusal},
      {"decompose", "-q decompose " + ped + " individual C" + gamma, 1, refusal},
      {"average-relatedness", "-q average-relatedness " + ped + gamma, 1, refusal},
  });
  const CliRun dii = Execute("-q dii " + ped + gamma);
  EXPECT_EQ(dii.status, 0) << dii.err;
}

}  // namespace
}  // namespace kinvar
