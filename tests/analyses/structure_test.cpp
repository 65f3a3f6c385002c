// The pedigree structure census: every line of the report for a pedigree
// whose counters are known, K and L against the mean of the tabular A, the
// unique ancestors against the ancestors found by brute force, and the edge
// cases of the histograms, the groups and the founders list.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "analyses/structure.h"
#include "app/commands.h"
#include "genetics/inbreeding.h"
#include "report/markup.h"
#include "report/number_format.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::Loaded;

StructureCensus Census(const Pedigree& ped) {
  SilentProgressWindow window;
  Progress progress(window);
  StructureCensus census;
  EXPECT_TRUE(ComputeStructure(ped, progress, census));
  return census;
}

// Mean of the tabular A over the individuals with `in(rec)`: self included
// (K), and self excluded (L).
template <class In>
std::pair<double, double> TabularMeans(const Pedigree& ped, In in) {
  const test::DenseMatrix a = test::TabularA(ped);
  double all = 0.0, self = 0.0, m = 0.0;
  for (std::size_t i = 0; i < a.n; ++i) {
    if (!in(ped.byCode(static_cast<std::int32_t>(i)))) continue;
    ++m;
    self += a(i, i);
    for (std::size_t j = 0; j < a.n; ++j)
      if (in(ped.byCode(static_cast<std::int32_t>(j)))) all += a(i, j);
  }
  if (m < 2) return {0.0, 0.0};
  return {all / (m * m), (all - self) / (m * m - m)};
}

std::string N(double value) { return FormatNumber(1, static_cast<float>(value)); }

// Two founder pairs, full sibs C and D, their offspring E (F = 1/4), a sire
// W without a line of its own, one individual with only a sire and one with
// only a dam, three groups and two individuals without group.
constexpr const char* kKnown =
    "progeny sire dam group\n"
    "A 0 0 1\nB 0 0 1\nC A B 2\nD A B 2\nE C D 3\nX 0 0 3\nY X 0 .\nZ 0 D .\nV W E 3\n";

TEST(Structure, ReportsEveryCounterOfAKnownPedigree) {
  test::DocSession s(kKnown);
  s.doc.RunCommand(kCmdStructure);
  ASSERT_EQ(s.doc.lastCommand(), kCmdStructure);
  const Pedigree& ped = s.doc.pedigree();
  const auto group = [&](int number) {
    return [&ped, number](const Rec& r) { return ped.GroupNumber(r) == number; };
  };
  const auto [k, l] = TabularMeans(ped, [](const Rec&) { return true; });
  std::vector<std::string> want = {
      "Brief structure of the pedigree:", "|T3Number",
      "Individuals in total|T3|I10", "Inbreds in total|T3|X1", "Evaluated individuals|T3|I10",
      "Inbreds in evaluated|T3|X1", "",
      "Sires in total|T3|I4", "   -Progeny|T3|I5", "Dams in total|T3|I3", "   -Progeny|T3|I5",
      "Individuals with progeny|T3|I7", "Individuals with no progeny|T3|I3", "",
      "Founders|T3|I4", "   -Progeny|T3|I4", "   -Sires|T3|I3", "       -Progeny|T3|I4",
      "   -Dams|T3|I1", "       -Progeny|T3|I2", "   -With no progeny|T3|I0", "",
      "Non-founders|T3|I6", "   -Sires|T3|I1", "       -Progeny|T3|I1", "   -Dams|T3|I2",
      "       -Progeny|T3|I3", "   -Only with known sire|T3|I1", "   -Only with known dam|T3|I1",
      "   -With known sire and dam|T3|I4", "",
      "Full-sib groups|T3|I1", "   -Average family size|T3|I2", "       -Maximum|T3|I2",
      "       -Minimum|T3|I2", "",
      "Distribution of inbreeding coefficients", std::string(59, '-')};
  for (int c = 0; c < 20; ++c) {
    char line[80];
    std::snprintf(line, sizeof line, "               |X%3.2f |A< F <= |X%3.2f|T3|I%d", 0.05 * c,
                  0.05 * (c + 1), c == 4 ? 1 : 0);
    want.emplace_back(line);
  }
  const std::string dashes(83, '-');
  const auto [k1, l1] = TabularMeans(ped, group(1));
  const auto [k2, l2] = TabularMeans(ped, group(2));
  const auto [k3, l3] = TabularMeans(ped, group(3));
  for (const std::string& line : std::vector<std::string>{
           std::string(59, '-'), "", "Longest ancestral path (LAP):",
           "                     0|T3|I4", "                     1|T3|I3",
           "                     2|T3|I2", "                     3|T3|I1", "",
           "A: Number of individuals", "B: Number of inbreds", "C: Number of founders",
           "D: Number of individuals with both known parents",
           "E: Number of individuals with no progeny", "", "Group|T5A|T4B|T4C|T4D|T4E", dashes,
           "Total|T5|I10|T41|T44|T44|T43", "1|T5|I2|T40|T42|T40|T40", "2|T5|I2|T40|T40|T42|T40",
           "3|T5|I3|T41|T41|T42|T41", dashes, "",
           "F: Number of unique ancestors for the group (excluding ancestors in the group)",
           "G: Average inbreeding coefficients", "H: Average inbreeding coefficients in the inbreds",
           "I: Maximum of inbreeding coefficients", "J: Minimum of inbreeding coefficients", "",
           "Group|T5F|T4G|T4H|T4I|T4J", dashes, "Total|T5|I0|T40.025|T40.25|T40.25|T40.25",
           "1|T5|I0|T40|T40|T40|T40", "2|T5|I2|T40|T40|T40|T40",
           "3|T5|I6|T40.0833333|T40.25|T40.25|T40.25", dashes, "",
           "K: Average numerator relationships (Reciprocals + Self-relationships)",
           "L: Average numerator relationships (Self-relationships are excluded)",
           "M: Average number of discrete generation equivalents (or average of average number of "
           "generations)",
           "N: Maximum number of discrete generation equivalents",
           "O: Minimum number of discrete generation equivalents", "", "Group|T5K|T4L|T4M|T4N|T4O",
           dashes, "Total|T5|I" + N(k) + "|T4" + N(l) + "|T40.75|T42|T40",
           "1|T5|I" + N(k1) + "|T4" + N(l1) + "|T40|T40|T40",
           "2|T5|I" + N(k2) + "|T4" + N(l2) + "|T41|T41|T41",
           "3|T5|I" + N(k3) + "|T4" + N(l3) + "|T41.33333|T42|T40", dashes})
    want.push_back(line);
  EXPECT_EQ(s.Report(), want);
  // Save As writes the report from its copy file.
  const std::string text = s.SaveAs();
  std::string body;
  for (const std::string& line : want) body += ExpandMarkup(line);
  EXPECT_EQ(text.substr(text.find("\n\n") + 2), body);
}

// The distinct ancestors of the members, by walking up from each member.
int UniqueAncestors(const Pedigree& ped, int groupNumber) {
  std::set<RecIndex> seen;
  std::vector<RecIndex> stack;
  for (RecIndex i = 1; i <= ped.nTotal; ++i)
    if (ped.GroupNumber(ped.rec(i)) == groupNumber) stack.push_back(i);
  while (!stack.empty()) {
    const Rec& r = ped.rec(stack.back());
    stack.pop_back();
    for (const RecIndex p : {r.sire, r.dam})
      if (p != kUnknownParent && seen.insert(p).second) stack.push_back(p);
  }
  return static_cast<int>(seen.size());
}

TEST(Structure, AveragesAndAncestorsMatchTheTabularAOnRandomPedigrees) {
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed, 200);
    o.groupColumn = true;
    const auto ped = Loaded(test::MakeRandomPedigree(o).text);
    const StructureCensus c = Census(*ped);
    const auto [k, l] = TabularMeans(*ped, [](const Rec&) { return true; });
    EXPECT_NEAR(c.k, k, 1e-5 * k) << "seed " << seed;
    EXPECT_NEAR(c.l, l, 1e-5 * std::max(l, 1.0)) << "seed " << seed;
    std::int64_t laps = 0;
    for (const std::int32_t count : c.lap) laps += count;
    EXPECT_EQ(laps, ped->nTotal);
    EXPECT_EQ(static_cast<std::int32_t>(c.foundersWithoutProgeny.size()),
              ped->nFounders - c.founderSires - c.founderDams);
    for (std::size_t g = 0; g < ped->groups.size(); ++g) {
      const int number = ped->groups[g].group;
      const auto [kg, lg] =
          TabularMeans(*ped, [&](const Rec& r) { return ped->GroupNumber(r) == number; });
      EXPECT_NEAR(c.groups[g].k, kg, 1e-5 * std::max(kg, 1.0)) << "seed " << seed << " group " << number;
      EXPECT_NEAR(c.groups[g].l, lg, 1e-5 * std::max(lg, 1.0)) << "seed " << seed << " group " << number;
      EXPECT_EQ(c.groups[g].uniqueAncestors, UniqueAncestors(*ped, number)) << "seed " << seed;
    }
  }
}

// K and L of a group by a backward pass over the whole pedigree, from the
// last code down, as the census once made for every group: the members'
// weights start at 1, the sums taken in the same order over the same
// non-zero weights.
struct GroupPass {
  double k = 0.0, l = 0.0;
  int uniqueAncestors = 0;
};

GroupPass WholePedigreePass(const Pedigree& ped, std::int32_t group) {
  std::vector<float> w(static_cast<std::size_t>(ped.nTotal) + 1, 0.0f);
  double sum = 0.0, self = 0.0;
  GroupPass pass;
  std::int64_t m = 0;
  for (std::int32_t i = ped.nTotal; i >= 1; --i) {
    const Rec& r = ped.byCode(i - 1);
    float& wi = w[static_cast<std::size_t>(i)];
    if (r.group == group) {
      wi = wi + 1.0f;
      self += 1.0 + static_cast<double>(r.f);
      ++m;
    }
    if (wi == 0.0f) continue;
    for (const RecIndex p : {r.sire, r.dam}) {
      if (p == kUnknownParent) continue;
      float& wp = w[static_cast<std::size_t>(ped.rec(p).code)];
      if (wp == 0.0f) ++pass.uniqueAncestors;
      wp = wp + wi / 2.0f;
    }
    sum += static_cast<double>(wi) * static_cast<double>(wi) * static_cast<double>(ped.d[static_cast<std::size_t>(i)]);
  }
  if (m > 1) {
    pass.k = sum / static_cast<double>(m * m);
    pass.l = (sum - self) / static_cast<double>(m * m - m);
  }
  return pass;
}

// The census visits only each group's members and their ancestors: the same
// bits as the pass over the whole pedigree, for groups of every size, down
// to a group per individual.
TEST(Structure, GroupAveragesAreThoseOfAPassOverTheWholePedigree) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    test::RandomPedigreeOptions o = test::VariedOptions(seed, 400);
    o.groupColumn = true;
    const auto ped = Loaded(test::MakeRandomPedigree(o).text);
    test::SpreadGroups(*ped, seed);
    const StructureCensus c = Census(*ped);
    for (std::size_t g = 0; g < ped->groups.size(); ++g) {
      const GroupPass want = WholePedigreePass(*ped, static_cast<std::int32_t>(g));
      const std::string where = "seed " + std::to_string(seed) + " group " + std::to_string(ped->groups[g].group);
      EXPECT_EQ(c.groups[g].k, want.k) << where;
      EXPECT_EQ(c.groups[g].l, want.l) << where;
      EXPECT_EQ(c.groups[g].uniqueAncestors, want.uniqueAncestors) << where;
    }
  }
}

TEST(Structure, EdgeCases) {
  // F classes (0.05k, 0.05(k+1)]: exact 0.25, 0.5 and 1 at the top of
  // theirs; the floats nearest 0.05, 0.1 and 0.3 lie above and go one up.
  const auto f = Census(*Loaded("progeny sire dam F\nA 0 0 0.05\nB 0 0 0.1\nC 0 0 0.25\n"
                                "D 0 0 0.3\nE 0 0 0.5\nG 0 0 1\nH 0 0 0\n"));
  std::array<std::int32_t, 20> classes{};
  for (const int k : {1, 2, 4, 6, 9, 19}) classes[static_cast<std::size_t>(k)] = 1;
  EXPECT_EQ(f.fClasses, classes);

  // A group of one and a pedigree of one: K = L = 0. A group of a sire and
  // its progeny has the sire as its one unique ancestor.
  const auto groups = Census(*Loaded("progeny sire dam group\nS 0 0 1\nP S 0 1\nQ 0 0 2\n"));
  EXPECT_EQ(groups.groups[0].uniqueAncestors, 1);
  EXPECT_EQ(groups.groups[1].k, 0.0);
  EXPECT_EQ(groups.groups[1].l, 0.0);
  const auto one = Census(*Loaded("progeny sire dam\nA 0 0\n"));
  EXPECT_EQ(one.k, 0.0);
  EXPECT_EQ(one.l, 0.0);

  // A line bred for 450 generations lists every class of its LAP.
  std::string line = "progeny sire dam\nI0 0 0\n";
  for (int g = 1; g <= 450; ++g) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "I%d I%d 0\n", g, g - 1);
    line += entry;
  }
  EXPECT_EQ(Census(*Loaded(line)).lap, std::vector<std::int32_t>(451, 1));
}

// Four IDs a line, no partial line after a multiple of four; a founder that
// is a parent is never listed.
TEST(Structure, ListsFoundersWithoutProgenyFourALine) {
  struct Case { const char* name; const char* text; std::vector<std::string> list; };
  const Case cases[] = {
      {"eight", "progeny sire dam\nA 0 0\nB 0 0\nC 0 0\nD 0 0\nE 0 0\nF 0 0\nG 0 0\nH 0 0\n",
       {"|XA|T1B|T1C|T1D|T1", "|XE|T1F|T1G|T1H|T1"}},
      {"five and a parent", "progeny sire dam\nA 0 0\nB 0 0\nC 0 0\nD 0 0\nE 0 0\nP Q 0\n",
       {"|XA|T1B|T1C|T1D|T1", "|XE|T1"}},
      {"all parents", "progeny sire dam\nA 0 0\nB 0 0\nC A B\n", {}},
  };
  for (const Case& c : cases) {
    const auto ped = Loaded(c.text);
    ped->settings.listFounders = 1;
    WriteStructureReport(*ped, Census(*ped));
    std::vector<std::string> tail;
    for (int i = 0; i < ped->report.Count(); ++i) {
      const std::string line(ped->report.Line(i));
      if (line.rfind("|X", 0) == 0 && line.find("|T1") != std::string::npos) tail.push_back(line);
    }
    EXPECT_EQ(tail, c.list) << c.name;
    const bool heading = ped->report.Line(ped->report.Count() - 1 - static_cast<int>(c.list.size())) ==
                         std::string_view("List of founders, which have no progeny:");
    EXPECT_EQ(heading, !c.list.empty()) << c.name;
  }
}

TEST(Structure, CancelAtEveryPollShowsOnlyTheCancelLine) {
  test::DocSession s;
  for (int poll = 1;; ++poll) {
    s.platform.cancelAtPoll = 0;
    test::TempFile file(kKnown);
    ASSERT_TRUE(s.OpenPath(file.path()));
    s.platform.polls = 0;
    s.platform.cancelAtPoll = poll;
    s.doc.RunCommand(kCmdStructure);
    if (s.platform.polls < poll) {
      EXPECT_EQ(s.doc.lastCommand(), kCmdStructure);
      EXPECT_GT(poll, 30);
      break;
    }
    EXPECT_EQ(s.Report(), std::vector<std::string>{"|XProcess has been canceled by the user."})
        << "poll " << poll;
    EXPECT_EQ(s.doc.lastCommand(), kCmdNone);
    s.doc.ClosePedigree();
  }
}

}  // namespace
}  // namespace kinvar
