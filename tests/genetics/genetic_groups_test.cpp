// The inverse of A with genetic groups against Quaas's augmented matrix
// built in the test from a tabular A, and the refusals of the groups files.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "genetics/group_inverse.h"
#include "genetics/inbreeding.h"
#include "pedigree/genetic_groups.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::DenseMatrix;

// A pedigree text whose unknown parents are often a group ("G1".."Gg"),
// sometimes plain unknown ("0"), and the fractions file that spreads some of
// the plain unknown ones over several groups.
struct GroupedPedigree {
  std::string text;
  std::string fractions;
  std::vector<std::string> groups;
};

GroupedPedigree MakeGrouped(std::uint32_t seed, int size, int groups, bool fuzzy) {
  std::mt19937 random(seed);
  GroupedPedigree out;
  for (int g = 1; g <= groups; ++g) out.groups.push_back("G" + std::to_string(g));
  out.text = "Progeny Sire Dam\n";
  const auto parent = [&](int i, const char* role) -> std::string {
    std::uniform_int_distribution<int> pick(0, 9);
    const int kind = pick(random);
    if (i > 3 && kind < 6) return "I" + std::to_string(std::uniform_int_distribution<int>(std::max(1, i - 12), i - 1)(random)) + role;
    if (kind < 9 || !fuzzy) return kind == 8 ? "0" : out.groups[random() % out.groups.size()];
    // Fuzzy: two groups (or one twice) sharing the parent.
    const std::string a = out.groups[random() % out.groups.size()];
    const std::string b = out.groups[random() % out.groups.size()];
    const float share = static_cast<float>(random() % 9 + 1) / 10.0f;
    out.fractions += "I" + std::to_string(i) + " " + (role[0] == 'S' ? "sire" : "dam") + " " + a + " " +
                     std::to_string(share) + "\n";
    out.fractions += "I" + std::to_string(i) + " " + (role[0] == 'S' ? "sire" : "dam") + " " + b + " " +
                     std::to_string(1.0f - share) + "\n";
    return "0";
  };
  // Individuals are "I<k>"; a sire is an earlier odd one, a dam an even one.
  for (int i = 1; i <= size; ++i) {
    std::string sire = parent(i, "S"), dam = parent(i, "D");
    const auto fix = [&](std::string& p, int parity) {
      if (p[0] != 'I') return;
      int k = std::stoi(p.substr(1));
      if (k % 2 != parity) k = k > 1 ? k - 1 : k + 1;
      if (k >= i) p = "0";
      else p = "I" + std::to_string(k);
    };
    fix(sire, 1);
    fix(dam, 0);
    out.text += "I" + std::to_string(i) + " " + sire + " " + dam + "\n";
  }
  return out;
}

std::unique_ptr<Pedigree> LoadGrouped(const GroupedPedigree& g) {
  auto ped = std::make_unique<Pedigree>();
  ped->geneticGroups.ids = g.groups;
  const LoadOutcome outcome = test::LoadText(g.text, *ped);
  EXPECT_EQ(outcome.status, LoadStatus::kLoaded) << outcome.message;
  if (!g.fractions.empty()) {
    test::TempFile file(g.fractions, ".txt");
    EXPECT_EQ(ReadGroupFractions(file.path(), *ped), "");
  }
  SilentProgressWindow window;
  Progress progress(window);
  EXPECT_TRUE(ComputeInbreeding(*ped, progress));
  return ped;
}

SparseLower BuildGrouped(const Pedigree& ped) {
  SilentProgressWindow window;
  Progress progress(window);
  InverseBuild build = BuildInverseWithGroups(ped, ped.d, progress);
  EXPECT_EQ(build.status, BuildStatus::kDone);
  return std::move(build.matrix);
}

// Quaas's Q: each individual's expected share of each group's genes, half
// its sire's and half its dam's, an unknown parent bringing its groups.
std::vector<std::vector<double>> QuaasQ(const Pedigree& ped) {
  const auto n = static_cast<std::size_t>(ped.nTotal);
  const auto g = static_cast<std::size_t>(ped.geneticGroups.Count());
  std::vector<std::vector<double>> q(n, std::vector<double>(g, 0.0));
  std::vector<std::pair<std::int32_t, float>> shares;
  for (std::size_t i = 0; i < n; ++i) {
    const RecIndex index = ped.records[i];
    const Rec& r = ped.rec(index);
    for (const ParentRole role : {ParentRole::kSire, ParentRole::kDam}) {
      const RecIndex p = role == ParentRole::kSire ? r.sire : r.dam;
      if (p != kUnknownParent) {
        for (std::size_t k = 0; k < g; ++k) q[i][k] += 0.5 * q[static_cast<std::size_t>(ped.rec(p).code - 1)][k];
        continue;
      }
      ParentGroups(ped, index, role, shares);
      for (const auto& [group, fraction] : shares) q[i][static_cast<std::size_t>(group)] += 0.5 * static_cast<double>(fraction);
    }
  }
  return q;
}

// [A^-1, -A^-1 Q; -Q'A^-1, Q'A^-1 Q]: the equations of explicit group
// effects absorbed into the animals', which give the same solutions.
DenseMatrix Augmented(const Pedigree& ped) {
  const DenseMatrix ai = test::DenseInverse(test::TabularA(ped));
  const auto q = QuaasQ(ped);
  const std::size_t n = ai.n, g = static_cast<std::size_t>(ped.geneticGroups.Count());
  DenseMatrix out{n + g, std::vector<double>((n + g) * (n + g), 0.0)};
  std::vector<std::vector<double>> aiq(n, std::vector<double>(g, 0.0));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t k = 0; k < g; ++k)
      for (std::size_t j = 0; j < n; ++j) aiq[i][k] += ai(i, j) * q[j][k];
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) out(i, j) = ai(i, j);
    for (std::size_t k = 0; k < g; ++k) out(i, n + k) = out(n + k, i) = -aiq[i][k];
  }
  for (std::size_t k = 0; k < g; ++k)
    for (std::size_t l = 0; l < g; ++l)
      for (std::size_t j = 0; j < n; ++j) out(n + k, n + l) += q[j][k] * aiq[j][l];
  return out;
}

void ExpectAugmented(const std::string& name, const Pedigree& ped) {
  const SparseLower built = BuildGrouped(ped);
  const DenseMatrix expected = Augmented(ped);
  ASSERT_EQ(static_cast<std::size_t>(built.n), expected.n) << name;
  for (std::int32_t i = 0; i < built.n; ++i)
    for (std::int32_t j = 0; j <= i; ++j) {
      const double want = expected(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
      ASSERT_NEAR(built.At(i, j), want, 2e-4 * std::max(1.0, std::fabs(want)))
          << name << " at " << i + 1 << ", " << j + 1;
    }
}

TEST(GeneticGroups, InverseEqualsQuaasAugmentedMatrix) {
  struct Row {
    const char* name;
    int size;
    int groups;
    bool fuzzy;
  };
  const Row rows[] = {
      {"OneGroup", 30, 1, false},
      {"ThreeGroups", 60, 3, false},
      {"ManyGroupsFewAnimals", 12, 6, false},
      {"FuzzyGroups", 60, 3, true},
      {"FuzzyOneGroup", 40, 1, true},
  };
  for (const Row& row : rows)
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
      const GroupedPedigree g = MakeGrouped(seed, row.size, row.groups, row.fuzzy);
      const auto ped = LoadGrouped(g);
      ExpectAugmented(std::string(row.name) + " seed " + std::to_string(seed), *ped);
    }
}

// The text with every group written as an unknown parent.
std::string WithoutGroups(const GroupedPedigree& g) {
  std::string plain = g.text;
  for (const std::string& id : g.groups)
    for (std::size_t at; (at = plain.find(" " + id + " ")) != std::string::npos ||
                         (at = plain.find(" " + id + "\n")) != std::string::npos;)
      plain.replace(at + 1, id.size(), "0");
  return plain;
}

// The groups stand for unknown parents: F is that of the pedigree with
// them written as "0", and a group is no individual.
TEST(GeneticGroups, LeaveInbreedingAsWithUnknownParents) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    const GroupedPedigree g = MakeGrouped(seed, 80, 2, false);
    const std::string plain = WithoutGroups(g);
    const auto grouped = LoadGrouped(g);
    const auto unknown = test::Loaded(plain);
    ASSERT_EQ(grouped->nTotal, unknown->nTotal) << seed;
    for (std::int32_t i = 0; i < grouped->nTotal; ++i) {
      EXPECT_EQ(grouped->byCode(i).Id(), unknown->byCode(i).Id()) << seed;
      EXPECT_EQ(grouped->byCode(i).f, unknown->byCode(i).f) << seed;
    }
  }
}

// A groups file whose groups no parent names leaves A^-1 as it is, bit for
// bit, with empty rows for the groups.
TEST(GeneticGroups, UnusedGroupsLeaveTheInverseOfA) {
  const GroupedPedigree g = MakeGrouped(3, 50, 2, false);
  const std::string plain = WithoutGroups(g);
  GroupedPedigree unused{plain, "", {"G1", "G2"}};
  const auto grouped = LoadGrouped(unused);
  const auto alone = test::Loaded(plain);
  SilentProgressWindow window;
  Progress progress(window);
  const SparseLower a = BuildInverseOfA(*alone, progress).matrix;
  const SparseLower b = BuildGrouped(*grouped);
  ASSERT_EQ(b.n, a.n + 2);
  ASSERT_GT(a.Stored(), a.n);
  for (std::int32_t i = 0; i < a.n; ++i) {
    ASSERT_EQ(a.Row(i).size(), b.Row(i).size()) << i;
    for (std::size_t k = 0; k < a.Row(i).size(); ++k) {
      EXPECT_EQ(a.Row(i)[k].column, b.Row(i)[k].column);
      EXPECT_EQ(a.Row(i)[k].value, b.Row(i)[k].value);
    }
  }
  EXPECT_TRUE(b.Row(a.n).empty());
  EXPECT_TRUE(b.Row(a.n + 1).empty());
}

// Fractions of 1 are the plain groups, bit for bit.
TEST(GeneticGroups, FuzzyGroupsWithFractionsOfOneArePlainGroups) {
  const GroupedPedigree g = MakeGrouped(5, 60, 3, false);
  GroupedPedigree fuzzy{"Progeny Sire Dam\n", "", g.groups};
  std::istringstream lines(g.text);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string id, sire, dam;
    words >> id >> sire >> dam;
    for (auto [parent, role] : {std::pair{&sire, "sire"}, std::pair{&dam, "dam"}})
      if ((*parent)[0] == 'G') {
        fuzzy.fractions += id + " " + role + " " + *parent + " 1\n";
        *parent = "0";
      }
    fuzzy.text += id + " " + sire + " " + dam + "\n";
  }
  const SparseLower plain = BuildGrouped(*LoadGrouped(g));
  const SparseLower spread = BuildGrouped(*LoadGrouped(fuzzy));
  ASSERT_EQ(plain.n, spread.n);
  ASSERT_EQ(plain.elements.size(), spread.elements.size());
  EXPECT_EQ(plain.rowStart, spread.rowStart);
  for (std::size_t k = 0; k < plain.elements.size(); ++k) {
    EXPECT_EQ(plain.elements[k].column, spread.elements[k].column) << k;
    EXPECT_EQ(plain.elements[k].value, spread.elements[k].value) << k;
  }
}

TEST(GeneticGroups, FilesAreRefusedWithTheirReason) {
  const std::string pedigree = "Progeny Sire Dam\nA G1 G2\nB G1 0\nC A B\n";
  struct Row {
    const char* name;
    const char* groups;
    const char* fractions;  // nullptr: none
    const char* message;
  };
  const Row rows[] = {
      {"GroupTwice", "G1\nG2\ng1\n", nullptr, "Line 3 of the genetic groups file: G1 is listed twice."},
      {"TwoWordsALine", "G1 G2\n", nullptr, "Line 1 of the genetic groups file: one group ID a line."},
      {"UnknownMark", "G1\n0\n", nullptr, "Line 2 of the genetic groups file: 0 is the mark of an unknown parent."},
      {"NoGroup", "\n\n", nullptr, "The genetic groups file lists no group."},
      {"GroupWithALine", "G1\nG2\nA\n", nullptr, "A is a genetic group and has a line of its own."},
      {"KnownParent", "G1\nG2\n", "C sire G1 1\n", "Line 1 of the group fractions file: the sire of C is known."},
      {"NotAGroup", "G1\nG2\n", "B dam G3 1\n", "Line 1 of the group fractions file: G3 is not a genetic group."},
      {"NotInPedigree", "G1\nG2\n", "X dam G1 1\n", "Line 1 of the group fractions file: X is not in the pedigree."},
      {"BadRole", "G1\nG2\n", "B mother G1 1\n", "Line 1 of the group fractions file: the second field is sire or dam."},
      {"BadFraction", "G1\nG2\n", "B dam G1 1.5\n", "Line 1 of the group fractions file: the fraction is a number above 0 and at most 1."},
      {"SumBelowOne", "G1\nG2\n", "B dam G1 0.5\nB dam G2 0.4\n", "The fractions of the dam of B do not sum to 1."},
  };
  for (const Row& row : rows) {
    test::TempFile groups(row.groups, ".txt");
    Pedigree ped;
    std::string error = ReadGroupIds(groups.path(), ped.geneticGroups.ids);
    if (error.empty()) {
      const LoadOutcome outcome = test::LoadText(pedigree, ped);
      error = outcome.message;
      if (error.empty() && row.fractions != nullptr) {
        test::TempFile fractions(row.fractions, ".txt");
        error = ReadGroupFractions(fractions.path(), ped);
        EXPECT_TRUE(ped.geneticGroups.shares.empty()) << row.name;
      }
    }
    EXPECT_EQ(error, row.message) << row.name;
  }
}

}  // namespace
}  // namespace kinvar
