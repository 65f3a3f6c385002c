// Planned matings against independent computations: the offspring's F is
// half the tabular relationship of the parents (predefined F included), a
// new parent gives what the pedigree with its line added gives, the parts
// of F add up to it, and the best sires are those a brute force over the
// tabular matrix ranks first.
#include "matings/planned_mating.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "matings/population.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using Kind = PlannedParent::Kind;

test::RandomPedigree RandomText(std::uint64_t seed) {
  test::RandomPedigreeOptions options = test::VariedOptions(seed, 120);
  options.decorate = false;
  options.groupColumn = seed % 3 == 0;
  options.fColumn = seed % 2 == 0;  // predefined F on every other pedigree
  return test::MakeRandomPedigree(options);
}

PlannedParent Known(const Pedigree& ped, RecIndex r) {
  return {Kind::kKnown, r, kUnknownParent, kUnknownParent, std::string(ped.rec(r).Id())};
}

std::size_t Index(const Pedigree& ped, RecIndex r) { return static_cast<std::size_t>(ped.rec(r).code - 1); }

RecIndex ById(const Pedigree& ped, std::string id) { return FindTypedId(ped, id); }

// An individual whose known sex is not `wrong`, or the unknown parent.
RecIndex Draw(const Pedigree& ped, const std::vector<Sex>& sexes, Sex wrong, std::mt19937& rng) {
  if (rng() % 8 == 0) return kUnknownParent;
  for (;;) {
    const auto r = static_cast<RecIndex>(1 + rng() % static_cast<unsigned>(ped.nTotal));
    if (sexes[static_cast<std::size_t>(r)] != wrong) return r;
  }
}

// The pedigree's line for a new individual, in the file's columns.
std::string Line(const test::RandomPedigree& random, const std::string& id, const Pedigree& ped,
                 RecIndex sire, RecIndex dam) {
  const auto name = [&](RecIndex r) { return r == kUnknownParent ? std::string("0") : std::string(ped.rec(r).Id()); };
  return id + " " + name(sire) + " " + name(dam) + (random.hasGroupColumn ? " ." : "") +
         (random.hasFColumn ? " ." : "") + "\n";
}

TEST(PlannedMating, OffspringFIsHalfTheTabularRelationshipOfTheParents) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const test::RandomPedigree random = RandomText(seed);
    auto ped = test::Loaded(random.text);
    const test::DenseMatrix a = test::TabularA(*ped);
    std::mt19937 rng(static_cast<unsigned>(seed));
    for (int pair = 0; pair < 20; ++pair) {
      const auto s = static_cast<RecIndex>(1 + rng() % static_cast<unsigned>(ped->nTotal));
      const auto d = static_cast<RecIndex>(1 + rng() % static_cast<unsigned>(ped->nTotal));
      const PlannedMating m = ComputePlannedMating(*ped, Known(*ped, s), Known(*ped, d));
      const double f = a(Index(*ped, s), Index(*ped, d)) / 2.0;
      const std::string where = "seed " + std::to_string(seed) + " " + std::string(ped->rec(s).Id()) +
                                " x " + std::string(ped->rec(d).Id());
      EXPECT_NEAR(m.offspringF, f, 1e-5) << where;
      EXPECT_NEAR(m.partsTotal, f, 1e-5) << where;
    }
  }
}

TEST(PlannedMating, NewParentsGiveWhatThePedigreeWithTheirLinesGives) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const test::RandomPedigree random = RandomText(seed);
    auto ped = test::Loaded(random.text);
    const std::vector<Sex> sexes = KnownSexes(*ped);
    std::mt19937 rng(static_cast<unsigned>(seed) * 7u);
    for (int pair = 0; pair < 6; ++pair) {
      // A new sire, a new dam, or both, each from parents of the right sex.
      const int which = pair % 3;
      PlannedParent sire{Kind::kNew, kUnknownParent, Draw(*ped, sexes, Sex::kFemale, rng),
                         Draw(*ped, sexes, Sex::kMale, rng), "NEWSIRE"};
      PlannedParent dam{Kind::kNew, kUnknownParent, Draw(*ped, sexes, Sex::kFemale, rng),
                        Draw(*ped, sexes, Sex::kMale, rng), "NEWDAM"};
      if (sire.sire == sire.dam) sire.dam = kUnknownParent;
      if (dam.sire == dam.dam) dam.dam = kUnknownParent;
      // Nobody of unknown sex becomes a sire on one line and a dam on the other.
      if (dam.sire == sire.dam) dam.sire = kUnknownParent;
      if (dam.dam == sire.sire) dam.dam = kUnknownParent;
      if (which == 1) sire = Known(*ped, Draw(*ped, sexes, Sex::kFemale, rng));
      if (which == 2) dam = Known(*ped, Draw(*ped, sexes, Sex::kMale, rng));
      if (sire.kind == Kind::kKnown && sire.rec == kUnknownParent) continue;
      if (dam.kind == Kind::kKnown && dam.rec == kUnknownParent) continue;
      std::string text = random.text;
      if (sire.kind == Kind::kNew) text += Line(random, "NEWSIRE", *ped, sire.sire, sire.dam);
      if (dam.kind == Kind::kNew) text += Line(random, "NEWDAM", *ped, dam.sire, dam.dam);
      {
        Pedigree probe;
        const LoadOutcome outcome = test::LoadText(text, probe);
        if (outcome.status != LoadStatus::kLoaded) { ADD_FAILURE() << outcome.message << "\n" << text; return; }
      }
      auto added = test::Loaded(text);
      const test::DenseMatrix a = test::TabularA(*added);
      const RecIndex s = ById(*added, sire.label), d = ById(*added, dam.label);
      const double f = a(Index(*added, s), Index(*added, d)) / 2.0;
      const PlannedMating m = ComputePlannedMating(*ped, sire, dam);
      const std::string where = "seed " + std::to_string(seed) + " pair " + std::to_string(pair);
      EXPECT_NEAR(m.offspringF, f, 1e-5) << where;
      EXPECT_NEAR(m.partsTotal, f, 1e-5) << where;
    }
  }
}

TEST(PlannedMating, AnUnknownParentGivesNoInbreedingAndNoCommonAncestor) {
  auto ped = test::Loaded("Progeny Sire Dam\nS 0 0\nD 0 0\nA S D\nB S D\n");
  const PlannedParent a = Known(*ped, ById(*ped, "A"));
  for (const PlannedParent& other : {PlannedParent{}, PlannedParent{Kind::kNew, kUnknownParent,
                                                                    kUnknownParent, kUnknownParent, "N"}}) {
    const PlannedMating m = ComputePlannedMating(*ped, other, a);
    EXPECT_EQ(m.offspringF, 0.0f);
    EXPECT_TRUE(m.common.empty());
  }
  const PlannedMating sibs = ComputePlannedMating(*ped, a, Known(*ped, ById(*ped, "B")));
  EXPECT_EQ(sibs.offspringF, 0.25f);
  ASSERT_EQ(sibs.common.size(), 2u);
  EXPECT_DOUBLE_EQ(sibs.common[0].part, 0.125);
  EXPECT_DOUBLE_EQ(sibs.partsTotal, 0.25);
}

TEST(BestSires, RankTheCandidatesAsABruteForceOverTheTabularMatrix) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const test::RandomPedigree random = RandomText(seed);
    auto ped = test::Loaded(random.text);
    const test::DenseMatrix a = test::TabularA(*ped);
    const std::vector<Sex> sexes = KnownSexes(*ped);
    std::mt19937 rng(static_cast<unsigned>(seed) * 13u);
    const RecIndex damRec = Draw(*ped, sexes, Sex::kMale, rng);
    if (damRec == kUnknownParent) continue;
    const PlannedParent dam = Known(*ped, damRec);
    const std::int32_t group = ped->groups.empty() || seed % 2 == 0 ? -1 : 0;
    const std::vector<std::uint8_t> candidates = CandidateSires(*ped, group, dam);
    const ReferencePopulation ref = WholeReference(*ped);
    const std::size_t top = 1 + seed % 7;
    const BestSires best = RankSires(*ped, dam, candidates, ref, top);
    // Brute force: every candidate's F with the dam and its mean kinship.
    std::vector<double> fs;
    for (RecIndex r = 1; r <= ped->nTotal; ++r) {
      const Sex sex = sexes[static_cast<std::size_t>(r)];
      const bool taken = group < 0 ? sex == Sex::kMale : ped->rec(r).group == group && sex != Sex::kFemale;
      EXPECT_EQ(candidates[static_cast<std::size_t>(ped->rec(r).code)] != 0, taken && r != damRec);
      if (taken && r != damRec) fs.push_back(a(Index(*ped, r), Index(*ped, damRec)) / 2.0);
    }
    std::sort(fs.begin(), fs.end());
    const std::string where = "seed " + std::to_string(seed);
    ASSERT_EQ(best.candidates, static_cast<std::int32_t>(fs.size())) << where;
    ASSERT_EQ(best.rows.size(), std::min(top, fs.size())) << where;
    for (std::size_t k = 0; k < best.rows.size(); ++k) {
      const SireCandidate& c = best.rows[k];
      const std::size_t i = Index(*ped, c.rec);
      EXPECT_NEAR(c.offspringF, a(i, Index(*ped, damRec)) / 2.0, 1e-5) << where;
      EXPECT_NEAR(c.offspringF, fs[k], 1e-5) << where << " rank " << k + 1;
      double sum = 0.0;
      for (std::size_t j = 0; j < a.n; ++j) sum += a(i, j) / 2.0;
      EXPECT_NEAR(c.mk, sum / static_cast<double>(a.n), 1e-5) << where;
      if (k > 0) {
        EXPECT_LE(best.rows[k - 1].offspringF, c.offspringF) << where;
      }
    }
  }
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

TEST(PlannedChart, ShowsTheOffspringItsParentsAndPartsThatAddUpToItsF) {
  auto ped = test::Loaded("Progeny Sire Dam\nS 0 0\nD 0 0\nA S D\nB S D\nC A B\n");
  const PlannedParent c = Known(*ped, ById(*ped, "C"));
  const PlannedParent fresh{Kind::kNew, kUnknownParent, ById(*ped, "A"), ById(*ped, "B"), "NEW"};
  const PlannedMating m = ComputePlannedMating(*ped, c, fresh);
  const PedigreeChart chart = BuildPlannedChart(*ped, c, fresh, m, 3);
  EXPECT_EQ(chart.Individual().id, "C x NEW");
  EXPECT_TRUE(chart.Individual().planned);
  EXPECT_FLOAT_EQ(chart.Individual().f, m.offspringF);
  EXPECT_EQ(chart.At(1, 0).id, "C");
  EXPECT_EQ(chart.At(1, 1).id, "NEW");
  EXPECT_TRUE(chart.At(1, 1).planned);
  EXPECT_EQ(chart.At(2, 2).id, "A");  // the new dam's sire and dam
  EXPECT_EQ(chart.At(2, 3).id, "B");
  EXPECT_EQ(chart.At(3, 0).id, "S");
  double parts = chart.otherPart;
  for (const ChartCommonAncestor& a : chart.common) parts += a.part;
  EXPECT_NEAR(parts, m.offspringF, 1e-6);
  EXPECT_FALSE(chart.common.empty());
}

}  // namespace
}  // namespace kinvar
