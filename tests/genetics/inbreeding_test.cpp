#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "genetics/inbreeding.h"
#include "genetics/parallel.h"
#include "support/cancel_window.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::RandomIndividual;
using test::RandomPedigree;

// How a predefined F enters A: as the individual's own diagonal 1 + F, or
// (the variant kept for comparison) only through its progeny's D.
enum class Model { kDiagonal, kProgenyD };

InbreedingOptions OptionsFor(Model model, bool fullPasses = false) {
  InbreedingOptions o;
  o.fullPasses = fullPasses;
  o.predefinedOnlyInProgenyD = model == Model::kProgenyD;
  return o;
}

struct Expected {
  std::map<std::string, double> f;
  int nInbreds = 0;
  int nEvaluated = 0;
  int nInbredsEvaluated = 0;
};

// The tabular method over the whole numerator relationship matrix, in
// double precision, individuals in a parents-first order of their own.
Expected TabularInbreeding(const std::vector<RandomIndividual>& people, Model model) {
  const std::vector<int> order = test::ParentsFirstOrder(people);
  const std::size_t n = order.size();
  std::map<std::string, int> at;
  for (std::size_t p = 0; p < n; ++p) at[people[static_cast<std::size_t>(order[p])].id] = static_cast<int>(p);
  std::vector<double> a(n * n, 0.0);
  std::vector<double> f(n, 0.0);
  const auto A = [&](int i, int j) {
    return i < 0 || j < 0 ? 0.0 : a[static_cast<std::size_t>(i) * n + static_cast<std::size_t>(j)];
  };
  const auto F = [&](int i) { return i < 0 ? -1.0 : f[static_cast<std::size_t>(i)]; };
  Expected e;
  for (std::size_t p = 0; p < n; ++p) {
    const RandomIndividual& r = people[static_cast<std::size_t>(order[p])];
    const int s = r.sire.empty() ? -1 : at.at(r.sire);
    const int d = r.dam.empty() ? -1 : at.at(r.dam);
    for (std::size_t q = 0; q < p; ++q) {
      const int qi = static_cast<int>(q);
      a[p * n + q] = a[q * n + p] = 0.5 * (A(qi, s) + A(qi, d));
    }
    f[p] = r.fPredefined ? static_cast<double>(*r.fPredefined) : 0.5 * A(s, d);
    a[p * n + p] = model == Model::kDiagonal
                       ? 1.0 + f[p]
                       : 0.5 - 0.25 * (F(s) + F(d)) + 0.25 * (A(s, s) + A(d, d)) + 0.5 * A(s, d);
    e.f[r.id] = f[p];
    if (!r.fPredefined) ++e.nEvaluated;
    if (f[p] > 0.0) {
      ++e.nInbreds;
      if (!r.fPredefined) ++e.nInbredsEvaluated;
    }
  }
  return e;
}

std::unique_ptr<Pedigree> Load(const std::string& text) {
  auto ped = std::make_unique<Pedigree>();
  const LoadOutcome outcome = test::LoadText(text, *ped);
  EXPECT_EQ(outcome.status, LoadStatus::kLoaded) << outcome.message << "\n" << text;
  return ped;
}

bool Compute(Pedigree& ped, const InbreedingOptions& options = {}) {
  SilentProgressWindow window;
  Progress progress(window);
  return ComputeInbreeding(ped, progress, options);
}

testing::AssertionResult MatchesTabular(const Pedigree& ped, const Expected& e) {
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    const double want = e.f.at(std::string(r.Id()));
    const bool ok = r.fPredefined ? r.f == static_cast<float>(want)
                                  : std::abs(static_cast<double>(r.f) - want) <= 1e-6;
    if (!ok) {
      return testing::AssertionFailure() << r.Id() << ": F " << r.f << ", tabular " << want
                                         << (r.fPredefined ? " (predefined)" : "");
    }
  }
  if (ped.nInbreds != e.nInbreds || ped.nEvaluated != e.nEvaluated ||
      ped.nInbredsEvaluated != e.nInbredsEvaluated) {
    return testing::AssertionFailure()
           << "counters " << ped.nInbreds << "/" << ped.nEvaluated << "/" << ped.nInbredsEvaluated
           << ", tabular " << e.nInbreds << "/" << e.nEvaluated << "/" << e.nInbredsEvaluated;
  }
  return testing::AssertionSuccess();
}

// Everything a run must leave as it found it, apart from F and counters.
testing::AssertionResult LeftIdle(const Pedigree& ped) {
  if (ped.recs[0].f != -1.0f || ped.recs[0].mark != 0) {
    return testing::AssertionFailure() << "unknown parent changed";
  }
  for (const Rec& r : ped.recs) {
    if (r.mark != 0 || r.scratch != 0.0f) return testing::AssertionFailure() << r.Id() << " left marked";
  }
  if (ped.generationFill != ped.generationCount) {
    return testing::AssertionFailure() << "generation buckets not restored";
  }
  return testing::AssertionSuccess();
}

std::vector<std::uint32_t> FBits(const Pedigree& ped) {
  std::vector<std::uint32_t> bits;
  for (const Rec& r : ped.recs) bits.push_back(std::bit_cast<std::uint32_t>(r.f));
  for (const float d : ped.d) bits.push_back(std::bit_cast<std::uint32_t>(d));  // D, where it is kept
  return bits;
}

// The counters a run leaves.
std::tuple<int, int, int> Counters(const Pedigree& ped) {
  return {ped.nInbreds, ped.nEvaluated, ped.nInbredsEvaluated};
}

// ---------------------------------------------------------------------------
// Against the tabular method on random pedigrees.

// The families' sex of grouping, from the structure the text was made
// from: the sex with fewer individuals reached from those whose F or D is
// computed (evaluated ones, and predefined ones with two known parents).
std::pair<std::size_t, std::size_t> SiresAndDamsReached(const RandomPedigree& rp) {
  std::map<std::string, const RandomIndividual*> byId;
  for (const RandomIndividual& r : rp.individuals) byId[r.id] = &r;
  std::set<std::string> sires, dams, seen;
  std::vector<std::string> todo;
  for (const RandomIndividual& r : rp.individuals) {
    if (!r.fPredefined || (!r.sire.empty() && !r.dam.empty())) todo.push_back(r.id);
  }
  while (!todo.empty()) {
    const RandomIndividual& r = *byId.at(todo.back());
    todo.pop_back();
    for (const std::string* parent : {&r.sire, &r.dam}) {
      if (parent->empty() || !seen.insert(*parent).second) continue;
      (parent == &r.sire ? sires : dams).insert(*parent);
      todo.push_back(*parent);
    }
  }
  return {sires.size(), dams.size()};
}

TEST(ComputeInbreeding, MatchesTabularMethodGroupsBySexAndRepeatsOnRandomPedigrees) {
  std::map<std::string, int> discriminating;
  for (std::uint64_t seed = 1; seed <= 400; ++seed) {
    const RandomPedigree rp = test::MakeRandomPedigree(test::VariedOptions(seed));
    const auto ped = Load(rp.text);
    ASSERT_TRUE(Compute(*ped));
    EXPECT_TRUE(ped->inbreedingComputed);
    EXPECT_TRUE(MatchesTabular(*ped, TabularInbreeding(rp.individuals, Model::kDiagonal))) << "seed " << seed;
    EXPECT_TRUE(LeftIdle(*ped)) << "seed " << seed;

    const auto [sires, dams] = SiresAndDamsReached(rp);
    const bool bySire = dams > sires;
    const auto sortedBy = [&](bool sire) {
      return std::is_sorted(ped->familyOrder.begin(), ped->familyOrder.end(), [&](RecIndex a, RecIndex b) {
        const Rec& ra = ped->rec(a);
        const Rec& rb = ped->rec(b);
        return ped->rec(sire ? ra.sire : ra.dam).code < ped->rec(sire ? rb.sire : rb.dam).code;
      });
    };
    EXPECT_TRUE(sortedBy(bySire)) << "family order, seed " << seed << ", sires " << sires << ", dams " << dams;
    if (!sortedBy(!bySire)) ++discriminating[dams == sires ? "tie" : bySire ? "sire" : "dam"];

    const auto first = FBits(*ped);
    const auto counters = Counters(*ped);
    ASSERT_TRUE(Compute(*ped));
    EXPECT_EQ(FBits(*ped), first) << "run twice, seed " << seed;
    EXPECT_EQ(Counters(*ped), counters) << "run twice, seed " << seed;
  }
  // The family order check could not tell the two orders apart unless they differ.
  EXPECT_GE(discriminating["sire"], 5);
  EXPECT_GE(discriminating["dam"], 5);
  EXPECT_GE(discriminating["tie"], 1);
}

// The full passes over one column at a time against every faster way: the
// restricted passes, which decide per family whether to find the mates'
// ancestors or to step through the whole range (the dense rows reach each
// way), and columns side by side in blocks on one or more threads. The same
// F and D bits whatever the way.
struct Layout {
  const char* name;
  int width, threads, denseShare, denseRecheck;
  std::int64_t chainedWave = InbreedingOptions{}.chainedWave;
};

constexpr std::int64_t kEveryWave = 1 << 30;

TEST(ComputeInbreeding, RestrictedPassesBlocksAndThreadsGiveTheFullPassesBitForBit) {
  const int share = InbreedingOptions{}.denseShare, recheck = InbreedingOptions{}.denseRecheck;
  const Layout layouts[] = {
      {"one column, restricted", 1, 1, share, recheck},
      {"default", InbreedingOptions{}.blockWidth, 0, share, recheck},
      {"never dense", 4, 0, 0, 1},
      {"mostly dense", 4, 0, 2, 3},
      {"dense when more than a quarter", 4, 0, 4, 1},
      {"2 lanes, 1 thread", 2, 1, share, recheck},
      {"4 lanes, 2 threads, never dense", 4, 2, 0, recheck},
      {"8 lanes, 8 threads", 8, 8, share, recheck},
      {"16 lanes, 1 thread, mostly dense", 16, 1, 2, recheck},
      {"16 lanes, 2 threads", 16, 2, share, recheck},
      {"16 lanes, 8 threads, never dense", 16, 8, 0, recheck},
      {"no wave chained", 4, 0, share, recheck, 0},
      {"every wave chained", 4, 0, share, recheck, kEveryWave},
      {"waves of up to 3 chained, 2 threads", 4, 2, share, recheck, 3},
  };
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed, seed % 10 == 0 ? 3000 : 400);
    if (seed % 5 == 0) {  // deep: few founders, a narrow window, close matings
      o.size = std::max(o.size, 300);
      o.founders = 4;
      o.window = 6;
      o.closeMatingChance = 0.8;
    }
    const RandomPedigree rp = test::MakeRandomPedigree(o);
    for (const Model model : {Model::kDiagonal, Model::kProgenyD}) {
      const auto reference = Load(rp.text);
      ASSERT_TRUE(Compute(*reference, OptionsFor(model, true)));
      for (const Layout& layout : layouts) {
        const std::string where = "seed " + std::to_string(seed) + ", " + layout.name;
        InbreedingOptions options = OptionsFor(model);
        options.blockWidth = layout.width;
        options.threads = layout.threads;
        options.individualsPerWorker = 1;
        options.denseShare = layout.denseShare;
        options.denseRecheck = layout.denseRecheck;
        options.chainedWave = layout.chainedWave;
        const auto ped = Load(rp.text);
        ASSERT_TRUE(Compute(*ped, options));
        EXPECT_EQ(FBits(*ped), FBits(*reference)) << where;
        EXPECT_EQ(Counters(*ped), Counters(*reference)) << where;
        EXPECT_TRUE(LeftIdle(*ped)) << where;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Known values.

struct KnownCase {
  const char* name;
  const char* text;
  std::vector<std::pair<const char*, float>> diagonal;  // F with 1 + F on A's diagonal
  std::vector<std::pair<const char*, float>> progenyD;  // F counted only in the progeny's D
};

TEST(ComputeInbreeding, GivesTheTextbookCoefficients) {
  const KnownCase cases[] = {
      {"FullSibsOfUnrelatedFounders", "Progeny Sire Dam\nS 0 0\nD 0 0\nA S D\nB S D\n",
       {{"S", 0.0f}, {"D", 0.0f}, {"A", 0.0f}, {"B", 0.0f}}, {}},
      {"ProgenyOfFullSibs", "Progeny Sire Dam\nA S D\nB S D\nC A B\n", {{"C", 0.25f}}, {}},
      {"ProgenyOfHalfSibs", "Progeny Sire Dam\nA S D1\nB S D2\nC A B\n", {{"C", 0.125f}}, {}},
      {"ProgenyOfParentAndOffspring", "Progeny Sire Dam\nB S D\nC S B\n", {{"C", 0.25f}}, {}},
      {"ProgenyOfFullSibsListedFirst", "Progeny Sire Dam\nC A B\nB S D\nA S D\n", {{"C", 0.25f}}, {}},
      {"OneUnknownParentWhateverTheOther",
       "Progeny Sire Dam\nA S D\nB S D\nC A B\nE C 0\nG 0 B\n",
       {{"C", 0.25f}, {"E", 0.0f}, {"G", 0.0f}}, {}},
      {"ThreeGenerationsOfFullSibMatings",
       "Progeny Sire Dam\nA S D\nB S D\nC A B\nE A B\nG C E\nH C E\nI G H\n",
       {{"C", 0.25f}, {"G", 0.375f}, {"I", 0.5f}}, {}},
      // A predefined founder F raises the relationship of its half-sib
      // progeny; counted only in the progeny's D it would change nothing.
      {"PredefinedFounderRaisesHalfSibRelationship",
       "Progeny Sire Dam F\nS 0 0 0.5\nA S D1 .\nB S D2 .\nC A B .\n",
       {{"S", 0.5f}, {"A", 0.0f}, {"C", 0.1875f}}, {{"S", 0.5f}, {"C", 0.125f}}},
      // S fully inbred, A and B its full-sib progeny, C their progeny, E a
      // backcross of C to A. Without the F column E has 0.375; counted only
      // in the progeny's D the inbred founder would lower it.
      {"InbredFounderRaisesBackcross",
       "Progeny Sire Dam F\nS 0 0 1\nU 0 0 .\nA S U .\nB S U .\nC A B .\nE A C .\n",
       {{"A", 0.0f}, {"C", 0.375f}, {"E", 0.4375f}}, {{"C", 0.25f}, {"E", 0.3125f}}},
      {"InbredFounderWithoutFColumn", "Progeny Sire Dam\nS 0 0\nU 0 0\nA S U\nB S U\nC A B\nE A C\n",
       {{"C", 0.25f}, {"E", 0.375f}}, {}},
      // P's parents are unrelated but its F is given as 0.5; its full-sib
      // progeny R1 and R2 are related through P's diagonal 1.5.
      {"PredefinedNonFounderEntersThroughItsDiagonal",
       "Progeny Sire Dam F\nP S D 0.5\nR1 P Q .\nR2 P Q .\nX R1 R2 .\n",
       {{"P", 0.5f}, {"R1", 0.0f}, {"X", 0.3125f}}, {{"X", 0.25f}}},
      // A predefined F copied to a full sib by loading counts like its own.
      {"PredefinedFOfAFullSibFamily",
       "Progeny Sire Dam F\nP S D 0.5\nP2 S D .\nR P2 Q1 .\nT P2 Q2 .\nX R T .\n",
       {{"P2", 0.5f}, {"X", 0.1875f}}, {{"X", 0.125f}}},
  };
  for (const KnownCase& c : cases) {
    for (const Model model : {Model::kDiagonal, Model::kProgenyD}) {
      const auto ped = Load(c.text);
      ASSERT_TRUE(Compute(*ped, OptionsFor(model)));
      std::map<std::string, float> want;
      for (const auto& [id, f] : c.diagonal) want[id] = f;
      if (model == Model::kProgenyD) {
        for (const auto& [id, f] : c.progenyD) want[id] = f;
      }
      for (RecIndex i = 1; i <= ped->nTotal; ++i) {
        const Rec& r = ped->rec(i);
        const auto it = want.find(std::string(r.Id()));
        if (it != want.end()) {
          EXPECT_EQ(r.f, it->second) << c.name << " " << r.Id() << " model " << static_cast<int>(model);
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Small and degenerate pedigrees, counters.

TEST(ComputeInbreeding, CountsEvaluatedAndInbredIndividuals) {
  struct Row { const char* name; const char* text; int nInbreds, nEvaluated, nInbredsEvaluated; };
  const Row rows[] = {
      {"single individual", "Progeny Sire Dam\nA 0 0\n", 0, 1, 0},
      {"single individual with predefined F", "Progeny Sire Dam F\nA 0 0 0.5\n", 1, 0, 0},
      {"single individual with predefined zero", "Progeny Sire Dam F\nA 0 0 0\n", 0, 0, 0},
      {"founders only", "Progeny Sire Dam\nA 0 0\nB 0 0\nC 0 0\n", 0, 3, 0},
      {"only added parents and one progeny", "Progeny Sire Dam\nC A B\n", 0, 3, 0},
      {"every F predefined",
       "Progeny Sire Dam F\nS 0 0 0.25\nD 0 0 0\nA S D 0.5\nB S D 0.5\nC A B 0.125\n", 4, 0, 0},
      {"inbreds predefined and computed",
       "Progeny Sire Dam F\nS 0 0 0.25\nD 0 0 .\nA S D .\nB S D .\nC A B .\nE A D 0.1\n", 3, 4, 1},
  };
  for (const Row& row : rows) {
    const auto ped = Load(row.text);
    ASSERT_TRUE(Compute(*ped));
    EXPECT_EQ(Counters(*ped), std::tuple(row.nInbreds, row.nEvaluated, row.nInbredsEvaluated)) << row.name;
    EXPECT_TRUE(ped->inbreedingComputed) << row.name;
    EXPECT_TRUE(LeftIdle(*ped)) << row.name;
    for (RecIndex i = 1; i <= ped->nTotal; ++i) {
      const Rec& r = ped->rec(i);
      if (r.fPredefined) continue;
      const bool founder = r.sire == kUnknownParent && r.dam == kUnknownParent;
      EXPECT_TRUE(founder ? r.f == 0.0f : r.f >= 0.0f) << row.name << " " << r.Id() << " " << r.f;
    }
  }
}

// ---------------------------------------------------------------------------
// Cancel, discard.

TEST(ComputeInbreeding, CancelThenRecomputeGivesTheUninterruptedResults) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed, 600);
    o.size = std::max(o.size, 150);
    const RandomPedigree rp = test::MakeRandomPedigree(o);
    const auto reference = Load(rp.text);
    ASSERT_TRUE(Compute(*reference));
    for (const int poll : {1, 2, 7, 40, 99}) {
      for (const int threads : {1, 2, 8}) {
        const auto ped = Load(rp.text);
        InbreedingOptions options;
        options.threads = threads;
        options.individualsPerWorker = 1;
        test::CancelAtPoll window(poll);
        Progress progress(window);
        const bool done = ComputeInbreeding(*ped, progress, options);
        EXPECT_FALSE(window.foreignPolls);
        if (window.polls < poll) {
          EXPECT_TRUE(done);
          continue;
        }
        ASSERT_FALSE(done) << "seed " << seed << " poll " << poll;
        EXPECT_FALSE(ped->inbreedingComputed);
        EXPECT_EQ(Counters(*ped), std::tuple(0, 0, 0));
        EXPECT_TRUE(LeftIdle(*ped));
        ASSERT_TRUE(Compute(*ped));
        EXPECT_EQ(FBits(*ped), FBits(*reference)) << "seed " << seed << " poll " << poll;
        EXPECT_EQ(Counters(*ped), Counters(*reference));
      }
    }
  }
}

// Much predefined F: counted only in the progeny's D, then discarded.
TEST(ComputeInbreeding, MatchesTabularMethodWithPredefinedFOnlyInProgenyDAndOnceItIsDiscarded) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed);
    o.fColumn = true;
    o.predefinedChance = 0.5;
    RandomPedigree rp = test::MakeRandomPedigree(o);
    const auto ped = Load(rp.text);
    ASSERT_TRUE(Compute(*ped, OptionsFor(Model::kProgenyD)));
    EXPECT_TRUE(MatchesTabular(*ped, TabularInbreeding(rp.individuals, Model::kProgenyD))) << "seed " << seed;
    DiscardPredefinedF(*ped);
    EXPECT_FALSE(ped->inbreedingComputed);
    EXPECT_FALSE(ped->HasFColumn());
    ASSERT_TRUE(Compute(*ped));
    for (RandomIndividual& r : rp.individuals) r.fPredefined.reset();
    const Expected e = TabularInbreeding(rp.individuals, Model::kDiagonal);
    EXPECT_TRUE(MatchesTabular(*ped, e)) << "discarded, seed " << seed;
    EXPECT_EQ(ped->nEvaluated, ped->nTotal);
    for (RecIndex i = 1; i <= ped->nTotal; ++i) EXPECT_FALSE(ped->rec(i).fPredefined);
  }
}

// ---------------------------------------------------------------------------
// Depth.

std::string LineId(char sex, int generation) {
  std::string id(1, sex);
  return id.append(std::to_string(generation));
}

// Full-sib matings for many generations: F follows
// F(t) = (1 + 2 F(t-1) + F(t-2)) / 4 towards 1, deeper than the generation
// table's first size.
TEST(ComputeInbreeding, FollowsALongLineOfFullSibMatings) {
  constexpr int kGenerations = 450;
  std::string text = "Progeny Sire Dam\n";
  std::vector<RandomIndividual> people;
  const auto add = [&](const std::string& id, const std::string& sire, const std::string& dam) {
    for (const std::string* field : {&id, &sire, &dam}) {
      text.append(field->empty() ? "0" : *field).append(field == &dam ? "\n" : " ");
    }
    RandomIndividual r;
    r.id = id;
    r.sire = sire;
    r.dam = dam;
    people.push_back(r);
  };
  add("M0", "", "");
  add("F0", "", "");
  for (int t = 1; t <= kGenerations; ++t) {
    add(LineId('M', t), LineId('M', t - 1), LineId('F', t - 1));
    add(LineId('F', t), LineId('M', t - 1), LineId('F', t - 1));
  }
  const auto ped = Load(text);
  ASSERT_TRUE(Compute(*ped));
  const Expected e = TabularInbreeding(people, Model::kDiagonal);
  EXPECT_TRUE(MatchesTabular(*ped, e));
  double previous = 0.0, fT = 0.0;
  for (int t = 2; t <= kGenerations; ++t) {
    const double next = (1.0 + 2.0 * fT + previous) / 4.0;
    previous = fT;
    fT = next;
  }
  EXPECT_NEAR(e.f.at(LineId('M', kGenerations)), fT, 1e-12);
}

// Deep lines, where each column is computed from the one before: the same
// bits as the full passes over one column at a time, whatever the thread
// count, in either precision, and whether the narrow waves are chained or
// not.
TEST(ComputeInbreeding, ChainedColumnsGiveTheFullPassesBitForBitOnDeepLines) {
  struct Row {
    const char* name;
    std::string text;
  };
  const auto random = [](std::uint64_t seed, int size, int founders, int window, bool f) {
    return test::MakeRandomPedigree({.seed = seed, .size = size, .founders = founders, .window = window,
                                     .closeMatingChance = 0.9, .fColumn = f})
        .text;
  };
  const Row rows[] = {
      {"full-sib line of 3000 generations", test::FullSibLine("Progeny Sire Dam\nS0 0 0\nD0 0 0\n", 3000)},
      {"full-sib line with a predefined F every 7th generation",
       [] {
         std::string text = "Progeny Sire Dam F\nS0 0 0 0.25\nD0 0 0 .\n";
         for (int t = 1; t <= 700; ++t) {
           const std::string f = t % 7 == 0 ? " 0.5\n" : " .\n";
           const std::string parents = " S" + std::to_string(t - 1) + " D" + std::to_string(t - 1);
           text += "S" + std::to_string(t) + parents + f + "D" + std::to_string(t) + parents + f;
         }
         return text;
       }()},
      {"two founders, window of 2", random(3, 2000, 2, 2, false)},
      {"three founders, window of 3, F column", random(4, 2000, 3, 3, true)},
      {"four founders, window of 5", random(5, 3000, 4, 5, false)},
  };
  const auto doubleBits = [](const Pedigree& ped) {
    std::vector<std::uint64_t> bits;
    for (const double f : ped.fDouble) bits.push_back(std::bit_cast<std::uint64_t>(f));
    for (const double d : ped.dDouble) bits.push_back(std::bit_cast<std::uint64_t>(d));
    return bits;
  };
  for (const Row& row : rows) {
    for (const bool inDouble : {false, true}) {
      InbreedingOptions full = OptionsFor(Model::kDiagonal, true);
      full.doublePrecision = inDouble;
      const auto reference = Load(row.text);
      ASSERT_TRUE(Compute(*reference, full)) << row.name;
      for (const int threads : {1, 2, 8}) {
        for (const std::int64_t chained : {std::int64_t{0}, InbreedingOptions{}.chainedWave, kEveryWave}) {
          InbreedingOptions options;
          options.threads = threads;
          options.individualsPerWorker = 1;
          options.chainedWave = chained;
          options.doublePrecision = inDouble;
          const auto ped = Load(row.text);
          ASSERT_TRUE(Compute(*ped, options));
          const std::string where = std::string(row.name) + (inDouble ? ", double, " : ", single, ") +
                                    std::to_string(threads) + " threads, waves chained up to " +
                                    std::to_string(chained);
          EXPECT_EQ(doubleBits(*ped), doubleBits(*reference)) << where;
          EXPECT_EQ(FBits(*ped), FBits(*reference)) << where;
          EXPECT_EQ(Counters(*ped), Counters(*reference)) << where;
          EXPECT_TRUE(LeftIdle(*ped)) << where;
        }
      }
    }
  }
}

// Wide herds: many founders and parents drawn from a long window, so that
// a block's mates reach most of the range and its forward pass goes dense
// one block and sparse the next, on the same worker. Every row the forward
// pass reads must be the block's own, whichever way the block before went.
TEST(ComputeInbreeding, BlocksGiveTheFullPassesBitForBitOnWideHerdsInBothPrecisions) {
  struct Row {
    const char* name;
    int width, threads, denseShare, denseRecheck;
  };
  const int share = InbreedingOptions{}.denseShare, recheck = InbreedingOptions{}.denseRecheck;
  const Row rows[] = {
      {"default, 1 thread", InbreedingOptions{}.blockWidth, 1, share, recheck},
      {"default, 2 threads", InbreedingOptions{}.blockWidth, 2, share, recheck},
      {"dense and sparse in turn, 2 threads", 4, 2, 2, 1},
      {"8 lanes, 2 threads, never dense", 8, 2, 0, 1},
      {"16 lanes, 1 thread, mostly dense", 16, 1, 2, recheck},
  };
  const auto doubleBits = [](const Pedigree& ped) {
    std::vector<std::uint64_t> bits;
    for (const double f : ped.fDouble) bits.push_back(std::bit_cast<std::uint64_t>(f));
    for (const double d : ped.dDouble) bits.push_back(std::bit_cast<std::uint64_t>(d));
    return bits;
  };
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    const RandomPedigree rp = test::MakeRandomPedigree(
        {.seed = seed, .size = 2500, .founders = 150, .window = 800, .closeMatingChance = 0.02,
         .maxFamilySize = 4, .fColumn = seed % 3 == 0});
    for (const bool inDouble : {false, true}) {
      InbreedingOptions full = OptionsFor(Model::kDiagonal, true);
      full.doublePrecision = inDouble;
      const auto reference = Load(rp.text);
      ASSERT_TRUE(Compute(*reference, full));
      if (!inDouble) {
        EXPECT_TRUE(MatchesTabular(*reference, TabularInbreeding(rp.individuals, Model::kDiagonal)))
            << "seed " << seed;
      }
      for (const Row& row : rows) {
        InbreedingOptions options;
        options.blockWidth = row.width;
        options.threads = row.threads;
        options.individualsPerWorker = 1;
        options.denseShare = row.denseShare;
        options.denseRecheck = row.denseRecheck;
        options.doublePrecision = inDouble;
        const auto ped = Load(rp.text);
        ASSERT_TRUE(Compute(*ped, options));
        const std::string where =
            "seed " + std::to_string(seed) + (inDouble ? ", double, " : ", single, ") + row.name;
        EXPECT_EQ(doubleBits(*ped), doubleBits(*reference)) << where;
        EXPECT_EQ(FBits(*ped), FBits(*reference)) << where;
        EXPECT_EQ(Counters(*ped), Counters(*reference)) << where;
        EXPECT_TRUE(LeftIdle(*ped)) << where;
      }
    }
  }
}

TEST(ComputeInbreeding, HandlesDeepRandomPedigreesWithRepeatedCloseMatings) {
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    const RandomPedigree rp = test::MakeRandomPedigree(
        {.seed = seed, .size = 1500, .founders = 4, .window = 6, .closeMatingChance = 0.8, .fColumn = seed % 2 == 0});
    ASSERT_GE(rp.maxGeneration, 30);
    const auto ped = Load(rp.text);
    ASSERT_TRUE(Compute(*ped));
    EXPECT_TRUE(MatchesTabular(*ped, TabularInbreeding(rp.individuals, Model::kDiagonal))) << "seed " << seed;
  }
}


// Threads never make a run slower: below the size where a worker pays for
// itself the run stays on the calling thread, whatever the setting asks.
TEST(WorkerCountFor, RunsSmallJobsOnOneThread) {
  const int cores = WorkerCount(0);
  const std::int64_t per = kIndividualsPerInbreedingWorker;
  struct Row {
    const char* name;
    int setting;
    std::int64_t items;
    int expected;
  };
  const Row rows[] = {
      {"empty", 0, 0, 1},
      {"100,000 individuals, all cores", 0, 100'000, 1},
      {"100,000 individuals, 8 threads asked", 8, 100'000, 1},
      {"just below two workers' worth", 0, 2 * per - 1, 1},
      {"two workers' worth, all cores", 0, 2 * per, std::min(2, cores)},
      {"two workers' worth, one thread asked", 1, 2 * per, 1},
      {"a herd book of 10 million, all cores", 0, 10'000'000, cores},
      {"a herd book of 10 million, 2 threads asked", 2, 10'000'000, std::min(2, cores)},
  };
  for (const Row& row : rows)
    EXPECT_EQ(WorkerCountFor(row.setting, row.items, per), row.expected) << row.name;
}

}  // namespace
}  // namespace kinvar
