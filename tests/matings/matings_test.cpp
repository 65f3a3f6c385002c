// The Optimizing Matings command end to end: every report's invariants on
// random pedigrees against the tabular method, the exact optimum against
// brute force over every assignment, the seed file's continuity, the exact
// lines of a small report, and the flow of inputs, failures and re-runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "genetics/inbreeding.h"
#include "analyses/relationship_listings.h"
#include "matings/exact_matings.h"
#include "matings/matings_command.h"
#include "analyses/seed_file.h"
#include "support/doc_session.h"
#include "support/random_pedigree.h"
#include "support/tabular_a.h"

namespace kinvar {
namespace {

using test::RandomIndividual;

std::string SeedPath() {
  return (std::filesystem::temp_directory_path() /
          ("kinvar-matings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + std::to_string(reinterpret_cast<std::uintptr_t>(&SeedPath))))
      .string();
}

// A seed file holding the state of init_genrand(seed).
void WriteSeedFile(const std::string& path, std::uint32_t seed) {
  Mt19937 g;
  InitGenerator(g, seed);
  test::ScriptedPlatform quiet;
  SaveSeedFile(g, path, quiet);
  std::filesystem::remove(path + ".bak");
}

struct Harness {
  explicit Harness(const std::string& text) {
    EXPECT_EQ(test::LoadText(text, ped).status, LoadStatus::kLoaded) << text;
    EXPECT_TRUE(ped.copyFile.Create());
    ped.settings.numberFormat = 7;  // six decimals
  }
  ~Harness() {
    std::filesystem::remove(seedPath);
    std::filesystem::remove(seedPath + ".bak");
  }
  // Runs the command with the groups and files given, as the user chooses them.
  void Run(int sires, int dams, const std::string& contributions,
           std::optional<std::string> forbidden = std::nullopt) {
    platform.groupPairs.push_back(std::pair{sires, dams});
    platform.fileNames.push_back(contributions);
    if (forbidden) platform.fileNames.push_back(*forbidden);
    ped.settings.allowForbidden = forbidden ? 1 : 0;
    CommandContext ctx{ped, platform, lastCommand, askInputs, remembered, path, seedPath};
    OnOptimizingMatings(ctx);
  }
  std::vector<std::string> Report() const { return test::ReportLines(ped); }
  Pedigree ped;
  test::ScriptedPlatform platform;
  std::int32_t lastCommand = 0;
  bool askInputs = true;
  RememberedInputs remembered;
  std::string path = "x.pdg";
  std::string seedPath = SeedPath();
};

struct Listed {
  double average = 0, minimum = 0;
  std::vector<std::pair<std::string, std::string>> pairs;
  std::vector<double> values;
};

double After(const std::string& line, const std::string& marker) {
  return std::stod(line.substr(line.find(marker) + marker.size()));
}

Listed Parse(const std::vector<std::string>& report) {
  Listed l;
  // After the note of a clock seeding, when there is one.
  const auto title = std::find(report.begin(), report.end(), "|XOptimized Matings:");
  l.average = After(*(title + 1), "|X");
  const auto heading = std::find(report.begin(), report.end(), "Sire|T1Dam|T1Coancestry");
  for (std::size_t i = static_cast<std::size_t>(heading - report.begin()) + 1; i + 1 < report.size(); ++i) {
    const std::string& line = report[i];
    const std::size_t t1 = line.find("|T1|F"), t2 = line.rfind("|T1");
    l.pairs.emplace_back(line.substr(2, t1 - 2), line.substr(t1 + 5, t2 - t1 - 5));
    l.values.push_back(std::stod(line.substr(t2 + 3)));
  }
  l.minimum = After(report.back(), "|X");
  return l;
}

// The least sum over every assignment of the dams to sires with capacity
// left, or nothing when the forbidden pairs leave none.
std::optional<double> BruteForce(int nD, std::vector<int> capacity,
                                 const std::function<std::optional<double>(int, int)>& cost) {
  std::optional<double> best;
  std::function<void(int, double)> assign = [&](int d, double sum) {
    if (d == nD) {
      if (!best || sum < *best) best = sum;
      return;
    }
    for (std::size_t s = 0; s < capacity.size(); ++s) {
      const auto c = cost(static_cast<int>(s), d);
      if (capacity[s] == 0 || !c) continue;
      --capacity[s];
      assign(d + 1, sum + *c);
      ++capacity[s];
    }
  };
  assign(0, 0.0);
  return best;
}

struct RandomCase {
  test::RandomPedigree rp;
  int sireGroup = 0, damGroup = 0;
  std::vector<std::string> sires, dams;  // in the order of the group's members
  std::map<std::string, int> contribution;
  std::set<std::pair<std::string, std::string>> forbidden;
};

// Two groups of a random pedigree, the smaller as sires, random
// contributions, and sometimes a few forbidden pairs.
std::optional<RandomCase> MakeCase(std::uint64_t seed, int maxSize) {
  RandomCase c;
  test::RandomPedigreeOptions o = test::VariedOptions(seed, maxSize);
  o.groupColumn = true;
  c.rp = test::MakeRandomPedigree(o);
  std::map<int, std::vector<std::string>> members;
  for (const RandomIndividual& r : c.rp.individuals)
    if (r.group >= 0) members[r.group].push_back(r.id);
  if (members.size() < 2) return std::nullopt;
  auto a = members.begin(), b = std::next(a);
  if (a->second.size() > b->second.size()) std::swap(a, b);
  c.sireGroup = a->first, c.damGroup = b->first, c.sires = a->second, c.dams = b->second;
  std::mt19937 draw(static_cast<std::uint32_t>(seed));
  for (const std::string& s : c.sires) c.contribution[s] = 1;
  for (std::size_t k = c.sires.size(); k < c.dams.size(); ++k) ++c.contribution[c.sires[draw() % c.sires.size()]];
  if (draw() % 2 == 0)
    for (const std::string& s : c.sires)
      for (const std::string& d : c.dams)
        if (draw() % 8 == 0) c.forbidden.insert({s, d});
  return c;
}

constexpr const char* kSeedLine = "Random seed = |X";

// The warning lines of a report, taken off it: they follow its first three
// lines, whether those give the matings' summary or say there are none, and
// the seed line of an annealing.
std::vector<std::string> TakeWarnings(std::vector<std::string>& report) {
  const auto isWarning = [](const std::string& line) { return line.starts_with("|XWarning: "); };
  const auto first = std::find_if(report.begin(), report.end(), isWarning);
  const auto end = std::find_if_not(first, report.end(), isWarning);
  std::vector<std::string> warnings(first, end);
  if (!warnings.empty()) {
    EXPECT_EQ(first - report.begin(), report.size() > 3 && report[3].starts_with(kSeedLine) ? 4 : 3);
  }
  report.erase(first, end);
  EXPECT_EQ(std::find_if(report.begin(), report.end(), isWarning), report.end());
  return warnings;
}

// The warnings name exactly the sires that are some individual's dam and the
// dams that are some individual's sire, or count them when there are many.
bool CheckRoleWarnings(const RandomCase& c, const std::vector<std::string>& warnings,
                       const std::string& where) {
  std::set<std::string> asSire, asDam;
  for (const RandomIndividual& r : c.rp.individuals) {
    asSire.insert(r.sire);
    asDam.insert(r.dam);
  }
  struct Side {
    std::string group;
    std::set<std::string> expected;
    std::set<std::string> named;
    std::size_t counted = 0;
  };
  Side sides[2] = {{"sire", {}, {}, 0}, {"dam", {}, {}, 0}};
  for (const std::string& s : c.sires)
    if (asDam.count(s)) sides[0].expected.insert(s);
  for (const std::string& d : c.dams)
    if (asSire.count(d)) sides[1].expected.insert(d);
  for (const std::string& w : warnings) {
    EXPECT_LE(w.size(), ReportStore::kMaxLineLength) << where;
    const std::string body = w.substr(11);
    for (Side& side : sides) {
      const std::string one = " of the " + side.group + " group is recorded as ";
      const std::string many = " members of the " + side.group + " group are recorded as ";
      if (const auto at = body.find(one); at != std::string::npos) {
        side.named.insert(body.substr(0, at));
        ++side.counted;
      } else if (body.find(many) != std::string::npos) {
        side.counted = std::stoul(body);
        std::istringstream ids(body.substr(body.find(':') + 1));
        for (std::string id; ids >> id && id != "...";) {
          if (id.back() == ',') id.pop_back();
          EXPECT_TRUE(side.expected.count(id)) << where << " " << w;
        }
      }
    }
  }
  for (const Side& side : sides) {
    EXPECT_EQ(side.counted, side.expected.size()) << where << " " << side.group;
    if (side.expected.size() <= kRoleWarningLines) {
      EXPECT_EQ(side.named, side.expected) << where << " " << side.group;
    }
  }
  return !warnings.empty();
}

TEST(OptimizingMatings, ReportsAdmissibleMatingsWithTheirCoancestriesAndTheProvenMinimum) {
  int bruteForced = 0, refused = 0, warned = 0;
  for (std::uint64_t seed = 1; seed <= 120; ++seed) {
    const auto c = MakeCase(seed, seed % 3 == 0 ? 150 : 30);
    if (!c) continue;
    const std::string where = "seed " + std::to_string(seed);
    std::string contributions, forbidden;
    for (const auto& [s, n] : c->contribution) contributions += s + " " + std::to_string(n) + "\n";
    for (const auto& [s, d] : c->forbidden) forbidden += d + "," + s + "\n";
    test::TempFile cFile(contributions, ".c"), fFile(forbidden, ".fm");
    Harness h(c->rp.text);
    h.Run(c->sireGroup, c->damGroup, cFile.path(),
          c->forbidden.empty() ? std::nullopt : std::optional(fFile.path()));
    // Half of A by the tabular method, by ID.
    EnsureCodeOrder(h.ped);
    const test::DenseMatrix tabular = test::TabularA(h.ped);
    std::map<std::string, std::size_t> index;
    for (std::int32_t k = 0; k < h.ped.nTotal; ++k) index[std::string(h.ped.byCode(k).Id())] = static_cast<std::size_t>(k);
    const auto coancestryOf = [&](const std::string& s, const std::string& d) { return tabular(index.at(s), index.at(d)) / 2; };
    const auto coancestry = [&](int s, int d) -> std::optional<double> {
      const std::string& sire = c->sires[static_cast<std::size_t>(s)];
      const std::string& dam = c->dams[static_cast<std::size_t>(d)];
      if (c->forbidden.count({sire, dam})) return std::nullopt;
      return coancestryOf(sire, dam);
    };
    std::vector<int> capacity;
    for (const std::string& s : c->sires) capacity.push_back(c->contribution.at(s));
    const std::size_t m = c->dams.size();
    const auto best = m <= 8 ? BruteForce(static_cast<int>(m), capacity, coancestry) : std::nullopt;
    std::vector<std::string> report = h.Report();
    // The first run starts the seed file, which its report's first line says.
    if (!report.empty() && report[0] == kClockSeedMessage) report.erase(report.begin());
    ASSERT_EQ(h.lastCommand, kCmdOptimizeMatings) << where;
    warned += CheckRoleWarnings(*c, TakeWarnings(report), where) ? 1 : 0;
    if (report.size() == 3) {  // refused: no assignment exists
      EXPECT_EQ(report[2], "Matings are too restricted.") << where;
      EXPECT_TRUE(h.ped.report.tables().empty()) << where;
      EXPECT_TRUE(m <= 8 && !best) << where;
      ++refused;
      continue;
    }
    ASSERT_EQ(report.size(), m + 6) << where;
    EXPECT_EQ(report[2], "No. of matings = |X" + std::to_string(m)) << where;
    ASSERT_TRUE(report[3].starts_with(kSeedLine)) << where;
    const Listed l = Parse(report);
    std::map<std::string, int> uses;
    std::multiset<std::string> dams;
    double sum = 0;
    for (std::size_t i = 0; i < m; ++i) {
      const auto& [s, d] = l.pairs[i];
      ++uses[s];
      dams.insert(d);
      EXPECT_FALSE(c->forbidden.count({s, d})) << where;
      EXPECT_NEAR(l.values[i], coancestryOf(s, d), 2e-6) << where << " " << s << " " << d;
      sum += coancestryOf(s, d);
    }
    EXPECT_EQ(uses, c->contribution) << where;
    EXPECT_EQ(dams, std::multiset<std::string>(c->dams.begin(), c->dams.end())) << where;
    EXPECT_NEAR(l.average, sum / static_cast<double>(m), 2e-6) << where;
    // The tables hold the listing's pairs in its order, at full precision.
    const ResultTable* table = h.ped.report.tables().Find("matings");
    ASSERT_NE(table, nullptr) << where;
    ASSERT_EQ(table->rows(), m) << where;
    for (std::size_t i = 0; i < m; ++i) {
      const auto& [s, d] = l.pairs[i];
      EXPECT_EQ(table->column(0).Text(i), s) << where;
      EXPECT_EQ(table->column(1).Text(i), d) << where;
      EXPECT_NEAR(table->column(2).Real(i), coancestryOf(s, d), 2e-7) << where;
    }
    const ResultTable* summary = h.ped.report.tables().Find("summary");
    ASSERT_NE(summary, nullptr) << where;
    ASSERT_EQ(summary->rows(), 4u) << where;
    EXPECT_EQ(summary->column(0).Text(0), "The average inbreeding coefficient of progeny");
    EXPECT_NEAR(summary->column(1).Real(0), sum / static_cast<double>(m), 2e-7) << where;
    EXPECT_EQ(summary->column(0).Text(1), "No. of matings");
    EXPECT_EQ(summary->column(1).Real(1), static_cast<double>(m)) << where;
    EXPECT_EQ(summary->column(0).Text(2), "Random seed");
    EXPECT_EQ(kSeedLine + std::to_string(static_cast<std::uint32_t>(summary->column(1).Real(2))), report[3])
        << where;
    EXPECT_EQ(summary->column(0).Text(3), "The minimum possible average inbreeding of progeny");
    EXPECT_NEAR(summary->column(1).Real(3), l.minimum, 6e-7) << where;
    EXPECT_LE(l.minimum, l.average) << where;
    if (best) {
      EXPECT_NEAR(l.minimum, *best / static_cast<double>(m), 2e-6) << where;
      ++bruteForced;
    }
  }
  EXPECT_GT(bruteForced, 20);
  EXPECT_GT(refused, 0);
  EXPECT_GT(warned, 5);
}

TEST(OptimalMatings, EqualBruteForceOverTheSameCoancestries) {
  std::mt19937 draw(7);
  for (int round = 0; round < 300; ++round) {
    CoancestryMatrix c;
    c.nS = 1 + static_cast<std::int32_t>(draw() % 3);
    c.nD = c.nS + static_cast<std::int32_t>(draw() % 5);
    std::vector<std::int32_t> contributions(static_cast<std::size_t>(c.nS), 1);
    for (std::int32_t k = c.nS; k < c.nD; ++k) ++contributions[draw() % contributions.size()];
    // Values of every magnitude, many of them tied, some exactly 0.
    for (std::int32_t i = 0; i < c.nS * c.nD; ++i)
      c.values.push_back(draw() % 4 == 0 ? 0.0f
                                         : std::ldexp(static_cast<float>(draw() % 9 + 1),
                                                      -static_cast<int>(draw() % 60)));
    std::vector<Mating> forbidden;
    for (std::int32_t s = 0; s < c.nS; ++s)
      for (std::int32_t d = 0; d < c.nD; ++d)
        if (draw() % 5 == 0) forbidden.push_back({s, d});
    const auto cost = [&](int s, int d) -> std::optional<double> {
      for (const Mating& f : forbidden)
        if (f == Mating{s, d}) return std::nullopt;
      return static_cast<double>(c.at(s, d));
    };
    const auto best = BruteForce(c.nD, {contributions.begin(), contributions.end()}, cost);
    const auto optimum = OptimalMatings(c, contributions, forbidden);
    ASSERT_EQ(optimum.has_value(), best.has_value()) << round;
    if (!best) continue;
    double sum = 0;
    for (const Mating& m : *optimum) sum += *cost(m.sire, m.dam);
    EXPECT_EQ(sum, *best) << round;  // exact: the costs were scaled without loss
  }
}

TEST(ExactCostScale, MakesEveryValueAnIntegerWithinTheSolversRange) {
  EXPECT_EQ(ExactCostScale(std::vector<float>{0.0f, 1.0f}, 10), 0);
  EXPECT_EQ(ExactCostScale(std::vector<float>{0.75f, 0.5f}, 10), 2);
  EXPECT_EQ(ExactCostScale(std::vector<float>{0.1f}, 10), 27);  // 0.1f = 13421773 / 2^27
  EXPECT_EQ(ExactCostScale(std::vector<float>{std::ldexp(1.0f, -100), 0.5f}, 1000), 100);
  // Beyond 128 bits the lowest bits are rounded off.
  EXPECT_EQ(ExactCostScale(std::vector<float>{std::ldexp(1.0f, -140), 0.5f}, 1000), 126 - 10);
}

// S1..Sn, D1..Dn unrelated founders in groups 1 and 2, or one family.
const char* kUnrelated = "Progeny Sire Dam Group\nS1 0 0 1\nS2 0 0 1\nD1 0 0 2\nD2 0 0 2\nD3 0 0 2\n";

TEST(OptimizingMatings, UnrelatedMatesKeepTheShuffledAssignmentLineByLine) {
  Harness h(kUnrelated);
  WriteSeedFile(h.seedPath, 5489);
  test::TempFile c("S1 2\nS2 1\n", ".c");
  h.ped.settings.numberFormat = 1;
  h.Run(1, 2, c.path());
  // The run's seed is the seed file's next word; the shuffles are the first
  // draws from it, by the reference engine.
  const std::uint32_t seed = std::mt19937(5489)();
  EXPECT_EQ(seed, 3499211612u);
  std::mt19937 reference(seed);
  std::vector<std::string> sires{"S1", "S2"}, dams{"D1", "D2", "D3"};
  std::vector<int> count{2, 1};
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t r = reference() % 2;
    std::swap(sires[i], sires[r]);
    std::swap(count[i], count[r]);
  }
  for (std::size_t i = 0; i < 3; ++i) std::swap(dams[i], dams[reference() % 3]);
  std::vector<std::string> expected{"|XOptimized Matings:",
                                    "The average inbreeding coefficient of progeny = |X0.000000",
                                    "No. of matings = |X3", "Random seed = |X3499211612",
                                    "Sire|T1Dam|T1Coancestry"};
  std::size_t k = 0;
  for (std::size_t s = 0; s < 2; ++s)
    for (int n = 0; n < count[s]; ++n) expected.push_back("|M" + sires[s] + "|T1|F" + dams[k++] + "|T10");
  expected.push_back("The minimum possible average inbreeding of progeny = |X0.000000");
  EXPECT_EQ(h.Report(), expected);
  EXPECT_TRUE(h.platform.messages.empty());
  EXPECT_EQ(h.platform.pickerCaptions, std::vector<std::string>{"Optimizing matings"});
  const FileRequest& asked = h.platform.fileRequests.at(0);
  EXPECT_EQ(asked.filters[0].description + asked.filters[1].pattern + asked.defaultExtension +
                asked.title,
            "Contribution files (*.c)*.*cOpen the contribution file: each sire's number of dams");
  EXPECT_EQ(asked.note, "A contribution file (.c) is a text file, not a program: one line per sire of group 1, "
                        "its ID and how many of the 3 dams of group 2 it is mated with; the numbers add up to 3.");
  EXPECT_EQ(asked.createLabel, "Create one from the groups...");
}

const char* kFamily =
    "Progeny Sire Dam Group\nA 0 0 .\nB 0 0 .\nS1 A B 1\nS2 A 0 1\nS3 0 0 1\n"
    "D1 A B 2\nD2 0 B 2\nD3 0 0 2\nD4 S1 D1 2\nD5 S3 D3 2\nD6 0 0 2\n";
const char* kContributions = "S1 2\nS2 2\nS3 2\n";

TEST(OptimizingMatings, TheSameSeedFileGivesTheSameReportAndASecondRunContinues) {
  Harness h(kFamily);
  test::TempFile c(kContributions, ".c");
  WriteSeedFile(h.seedPath, 2024);
  const std::string first = test::ReadWholeFile(h.seedPath);
  h.Run(1, 2, c.path());
  const auto one = h.Report();
  const std::string second = test::ReadWholeFile(h.seedPath);
  EXPECT_EQ(test::ReadWholeFile(h.seedPath + ".bak"), first);
  h.Run(1, 2, c.path());
  const auto two = h.Report();
  EXPECT_NE(test::ReadWholeFile(h.seedPath), second);
  for (const auto& [seedText, report] : {std::pair{first, one}, std::pair{second, two}}) {
    std::ofstream(h.seedPath) << seedText;
    h.Run(1, 2, c.path());
    EXPECT_EQ(h.Report(), report);
  }
  EXPECT_NE(one, two);  // the shuffles differ, so does the order of the matings
  EXPECT_TRUE(h.platform.messages.empty());
}

TEST(OptimizingMatings, TooRestrictedMatingsSaySoAndKeepTheSeedFile) {
  Harness h(kFamily);
  test::TempFile c(kContributions, ".c");
  test::TempFile f("S2 D1\nS2 D2\nS2 D3\nD4 S2\nS2 D5\nS2 D6\n", ".fm");
  WriteSeedFile(h.seedPath, 1);
  const std::string before = test::ReadWholeFile(h.seedPath);
  for (const bool exact : {false, true}) {
    h.remembered.values.Set(kCmdOptimizeMatings, "exact", exact ? "1" : "0");
    h.Run(1, 2, c.path(), f.path());
    EXPECT_EQ(h.Report(), (std::vector<std::string>{"", kCouldNotOptimizeLine,
                                                   "Matings are too restricted."}));
    EXPECT_EQ(h.lastCommand, kCmdOptimizeMatings);
    EXPECT_EQ(test::ReadWholeFile(h.seedPath), before);
  }
}

TEST(OptimizingMatings, TheExactModeListsTheOptimumAndDrawsNothing) {
  Harness h(kFamily);
  test::TempFile c(kContributions, ".c");
  test::TempFile f("S1 D3\n", ".fm");
  h.Run(1, 2, c.path(), f.path());  // no seed file yet: seeded from the clock, no warning
  // Said by the report's first line, not by a box.
  EXPECT_TRUE(h.platform.MessageTexts().empty());
  EXPECT_EQ(h.Report().at(0), "The random number generator is seeded with the current time.");
  EXPECT_TRUE(std::filesystem::exists(h.seedPath));
  const Listed annealed = Parse(h.Report());
  std::filesystem::remove(h.seedPath);
  h.remembered.values.Set(kCmdOptimizeMatings, "exact", "1");
  h.Run(1, 2, c.path(), f.path());
  const auto report = h.Report();
  EXPECT_EQ(report.size(), 10u);  // no minimum line after the matings
  const double average = After(report[1], "|X");
  EXPECT_EQ(average, annealed.minimum);
  EXPECT_EQ(report[4].substr(0, 6), "|MS3|T");  // sire by sire, in code order: S3 a founder
  EXPECT_FALSE(std::filesystem::exists(h.seedPath));
  EXPECT_TRUE(h.platform.messages.empty());
}

TEST(OptimizingMatings, ASingleMatingIsReportedAsAssigned) {
  Harness h("Progeny Sire Dam Group\nA 0 0 .\nS A 0 1\nD A 0 2\n");
  test::TempFile c("S 1\n", ".c");
  WriteSeedFile(h.seedPath, 3);
  h.Run(1, 2, c.path());
  EXPECT_EQ(h.Report(), (std::vector<std::string>{
                            "|XOptimized Matings:",
                            "The average inbreeding coefficient of progeny = |X0.125000",
                            "No. of matings = |X1", "Random seed = |X" + std::to_string(std::mt19937(3)()),
                            "Sire|T1Dam|T1Coancestry", "|MS|T1|FD|T10.125000",
                            "The minimum possible average inbreeding of progeny = |X0.125000"}));
}

struct RoleWarningRow {
  const char* name;
  std::string progeny;  // lines after the seven sires and seven dams
  std::vector<std::string> warnings;
};

TEST(OptimizingMatings, WarnsAboutSiresRecordedAsDamsAndDamsRecordedAsSires) {
  const std::string s(19, 'S');
  const RoleWarningRow rows[] = {
      {"each used in its own role", "P1 S1 D1 .\nP2 " + s + "1 D4 .\n", {}},
      {"a sire recorded as a dam",
       "P1 S1 S2 .\n",
       {"|XWarning: S2 of the sire group is recorded as a dam in the pedigree."}},
      {"a dam recorded as a sire",
       "P1 D3 D1 .\n",
       {"|XWarning: D3 of the dam group is recorded as a sire in the pedigree."}},
      {"three each way, in file order",
       "P1 D2 S2 .\nP2 D1 S1 .\nP3 D3 " + s + "1 .\n",
       {"|XWarning: " + s + "1 of the sire group is recorded as a dam in the pedigree.",
        "|XWarning: S1 of the sire group is recorded as a dam in the pedigree.",
        "|XWarning: S2 of the sire group is recorded as a dam in the pedigree.",
        "|XWarning: D1 of the dam group is recorded as a sire in the pedigree.",
        "|XWarning: D2 of the dam group is recorded as a sire in the pedigree.",
        "|XWarning: D3 of the dam group is recorded as a sire in the pedigree."}},
      {"four sires: counted, with the first three",
       "P1 D1 S4 .\nP2 D1 S2 .\nP3 D1 S3 .\nP4 D1 S1 .\n",
       {"|XWarning: 4 members of the sire group are recorded as dams: S1, S2, S3, ...",
        "|XWarning: D1 of the dam group is recorded as a sire in the pedigree."}},
      // Two IDs of 20 characters fill the line to 108 characters.
      {"four sires with long IDs: as many as the line holds",
       "P1 D1 " + s + "1 .\nP2 D1 " + s + "2 .\nP3 D1 " + s + "3 .\nP4 D1 S1 .\n",
       {"|XWarning: 4 members of the sire group are recorded as dams: " + s + "1, " + s + "2, ...",
        "|XWarning: D1 of the dam group is recorded as a sire in the pedigree."}},
  };
  const std::string pedigree = "Progeny Sire Dam Group\n" + s + "1 0 0 1\n" + s + "2 0 0 1\n" +
                               s + "3 0 0 1\nS1 0 0 1\nS2 0 0 1\nS3 0 0 1\nS4 0 0 1\n" +
                               "D1 0 0 2\nD2 0 0 2\nD3 0 0 2\nD4 0 0 2\nD5 0 0 2\nD6 0 0 2\n" +
                               "D7 0 0 2\n";
  test::TempFile c("S1 1\nS2 1\nS3 1\nS4 1\n" + s + "1 1\n" + s + "2 1\n" + s + "3 1\n", ".c");
  test::TempFile none("S1 D1\nS1 D2\nS1 D3\nS1 D4\nS1 D5\nS1 D6\nS1 D7\n", ".fm");
  for (const RoleWarningRow& row : rows) {
    for (const bool refused : {false, true}) {
      Harness h(pedigree + row.progeny);
      h.remembered.values.Set(kCmdOptimizeMatings, "exact", "1");
      h.Run(1, 2, c.path(), refused ? std::optional(none.path()) : std::nullopt);
      const std::vector<std::string> report = h.Report();
      std::vector<std::string> expected =
          refused ? std::vector<std::string>{"", kCouldNotOptimizeLine, "Matings are too restricted."}
                  : std::vector<std::string>(report.begin(), report.begin() + 3);
      expected.insert(expected.end(), row.warnings.begin(), row.warnings.end());
      if (!refused) {
        EXPECT_EQ(report[0], "|XOptimized Matings:") << row.name;
        expected.push_back("Sire|T1Dam|T1Coancestry");
        ASSERT_EQ(report.size(), expected.size() + 7) << row.name;
      }
      EXPECT_EQ(std::vector<std::string>(report.begin(),
                                         report.begin() + static_cast<std::ptrdiff_t>(expected.size())),
                expected)
          << row.name << (refused ? ", refused" : "");
      for (const std::string& line : report) EXPECT_LE(line.size(), ReportStore::kMaxLineLength) << row.name;
      // Save As takes the report from the copy file: the warnings are there too.
      EXPECT_EQ(test::CopyFileLines(h.ped), report) << row.name;
    }
  }
}

TEST(OptimizingMatings, EndsWithoutAReportOnRefusedInputsAndCancels) {
  Harness h(kFamily);
  test::TempFile bad("S1 2\n", ".c");
  h.ped.report.Add("shown before");
  h.Run(1, 2, bad.path());
  EXPECT_EQ(h.Report(), std::vector<std::string>{"shown before"});
  h.platform.groupPairs.push_back(std::nullopt);  // the picker is cancelled
  CommandContext ctx{h.ped, h.platform, h.lastCommand, h.askInputs, h.remembered, h.path, h.seedPath};
  OnOptimizingMatings(ctx);
  h.platform.groupPairs.push_back(std::pair{1, 2});  // the file dialog is cancelled
  OnOptimizingMatings(ctx);
  EXPECT_EQ(h.Report(), std::vector<std::string>{"shown before"});
  test::TempFile c(kContributions, ".c");
  h.platform.cancelAtPoll = 1;  // inbreeding is cancelled
  h.Run(1, 2, c.path());
  EXPECT_EQ(h.Report(), std::vector<std::string>{kCanceledLine});
  EXPECT_EQ(h.lastCommand, 0);
}

// A sire-group member recorded as female, or a dam-group member recorded
// as male, stops the command before any file is asked for; the first in
// the file is named. Recorded sexes that fit change nothing.
TEST(OptimizingMatings, RefusesGroupMembersRecordedWithTheOtherSex) {
  struct Row {
    const char* name;
    std::vector<std::pair<const char*, Sex>> sexes;
    std::string message;  // empty: the matings are made
  };
  const Row rows[] = {
      {"sexes that fit", {{"S1", Sex::kMale}, {"D1", Sex::kFemale}, {"A", Sex::kFemale}}, ""},
      {"unknown sexes", {{"S1", Sex::kUnknown}}, ""},
      {"a female sire", {{"S2", Sex::kFemale}}, "Error: Individual S2 of the sire group is recorded as female."},
      {"the first female sire in the file", {{"S3", Sex::kFemale}, {"S2", Sex::kFemale}},
       "Error: Individual S2 of the sire group is recorded as female."},
      {"a male dam", {{"D5", Sex::kMale}}, "Error: Individual D5 of the dam group is recorded as male."},
      {"the sire group first", {{"D2", Sex::kMale}, {"S1", Sex::kFemale}},
       "Error: Individual S1 of the sire group is recorded as female."},
  };
  test::TempFile c(kContributions, ".c");
  for (const Row& row : rows) {
    Harness h(kFamily);
    h.remembered.values.Set(kCmdOptimizeMatings, "exact", "1");
    h.ped.sexColumn = 4;
    for (const auto& [id, sex] : row.sexes)
      for (RecIndex i = 1; i <= h.ped.nRead; ++i)
        if (h.ped.rec(i).Id() == id) h.ped.rec(i).sex = sex;
    h.Run(1, 2, c.path());
    if (row.message.empty()) {
      EXPECT_TRUE(h.platform.messages.empty()) << row.name;
      EXPECT_EQ(h.lastCommand, kCmdOptimizeMatings) << row.name;
      EXPECT_EQ(h.Report().at(0), "|XOptimized Matings:") << row.name;
      continue;
    }
    ASSERT_EQ(h.platform.messages.size(), 1u) << row.name;
    EXPECT_EQ(h.platform.messages[0].text, row.message) << row.name;
    EXPECT_EQ(h.platform.messages[0].icon, MessageIcon::kError) << row.name;
    EXPECT_TRUE(h.platform.fileRequests.empty()) << row.name;
    EXPECT_EQ(h.lastCommand, 0) << row.name;
    EXPECT_TRUE(h.Report().empty()) << row.name;
  }
}

TEST(OptimizingMatings, OptionsRerunAsksOnlyForTheForbiddenFileNewlyAllowed) {
  test::TempFile c(kContributions, ".c");
  test::TempFile f("S1 D1\n", ".fm");
  test::DocSession s(kFamily);
  Document& doc = s.doc;
  test::ScriptedPlatform& platform = s.platform;
  doc.seedFile = SeedPath();
  WriteSeedFile(doc.seedFile, 9);
  platform.groupPairs.push_back(std::pair{1, 2});
  platform.fileNames = {c.path(), f.path()};
  doc.RunCommand(kCmdOptimizeMatings);
  Settings entries = doc.settings();
  entries.allowForbidden = 1;
  doc.RerunAfterOptions(*doc.ApplyOptions(entries));
  ASSERT_EQ(platform.fileRequests.size(), 2u);
  EXPECT_EQ(platform.fileRequests[1].filters[0].description, "Forbidden matings Files (*.fm)");
  EXPECT_EQ(platform.fileRequests[1].defaultExtension, "fm");
  for (int i = 4; i < doc.pedigree().report.Count() - 1; ++i)
    EXPECT_NE(doc.pedigree().report.Line(i).substr(0, 11), "|MS1|T1|FD1");
  entries.numberFormat = 2;  // a re-run with the same files asks nothing
  doc.RerunAfterOptions(*doc.ApplyOptions(entries));
  EXPECT_EQ(platform.fileRequests.size(), 2u);
  EXPECT_EQ(doc.lastCommand(), kCmdOptimizeMatings);
  EXPECT_EQ(platform.pickerCaptions.size(), 1u);
  std::filesystem::remove(doc.seedFile);
  std::filesystem::remove(doc.seedFile + ".bak");
}

// The pairs of a report in its order, without the coancestries, which an
// Options re-run may show in another number format.
std::vector<std::string> MatingLines(const std::vector<std::string>& report) {
  std::vector<std::string> lines;
  for (const std::string& line : report)
    if (line.starts_with("|M")) lines.push_back(line.substr(0, line.rfind("|T1")));
  return lines;
}

std::string SeedOf(const std::vector<std::string>& report) {
  for (const std::string& line : report)
    if (line.starts_with(kSeedLine)) return line.substr(std::string(kSeedLine).size());
  return "";
}

struct MatingSeedRow {
  const char* name;
  // Between the first run and the second: a re-run by the Options dialog,
  // or a new run from the menu with the seed given ("" for none).
  bool optionsRerun;
  bool giveNamedSeed;
  bool sameMatings;
  bool seedFileAdvances;
};

// The annealing repeats its seed unless a new one is asked for, and the
// report names the seed that repeats it.
TEST(OptimizingMatings, RepeatsItsSeedUnlessANewOneIsAskedFor) {
  const MatingSeedRow rows[] = {
      {"the Options dialog re-runs the same matings", true, false, true, false},
      {"a new run from the menu draws a new seed", false, false, false, true},
      {"the seed the report named, given, repeats the run", false, true, true, false},
  };
  test::TempFile c(kContributions, ".c");
  for (const MatingSeedRow& row : rows) {
    test::DocSession s(kFamily);
    s.doc.seedFile = SeedPath();
    WriteSeedFile(s.doc.seedFile, 2024);
    s.platform.groupPairs.push_back(std::pair{1, 2});
    s.platform.fileNames = {c.path()};
    s.doc.RunCommand(kCmdOptimizeMatings);
    const std::vector<std::string> first = s.Report();
    const std::string seed = SeedOf(first);
    ASSERT_EQ(seed, std::to_string(std::mt19937(2024)())) << row.name;
    const std::string stream = test::ReadWholeFile(s.doc.seedFile);
    if (row.optionsRerun) {
      Settings entries = s.doc.settings();
      entries.numberFormat = entries.numberFormat == 3 ? 4 : 3;
      s.doc.RerunAfterOptions(*s.doc.ApplyOptions(entries));
    } else {
      s.platform.groupPairs.push_back(std::pair{1, 2});
      s.platform.fileNames = {c.path()};
      s.doc.remembered.values.Set(kCmdOptimizeMatings, "seed", row.giveNamedSeed ? seed : "");
      s.doc.RunCommand(kCmdOptimizeMatings);
    }
    ASSERT_EQ(s.doc.lastCommand(), kCmdOptimizeMatings) << row.name;
    const std::vector<std::string> second = s.Report();
    EXPECT_EQ(MatingLines(second) == MatingLines(first), row.sameMatings) << row.name;
    EXPECT_EQ(SeedOf(second) == seed, row.sameMatings) << row.name;
    EXPECT_EQ(test::ReadWholeFile(s.doc.seedFile) != stream, row.seedFileAdvances) << row.name;
    EXPECT_TRUE(s.platform.messages.empty()) << row.name;
    std::filesystem::remove(s.doc.seedFile);
    std::filesystem::remove(s.doc.seedFile + ".bak");
  }
}

// The seed a run used and whether it read a forbidden-matings file are what
// the run leaves for its re-run, not inputs: the seed as given stays empty,
// so that the next run from the menu draws a new one, and opening another
// pedigree forgets them with the files chosen.
TEST(OptimizingMatings, KeepsTheSeedItUsedApartFromTheInputsUntilAnotherPedigreeOpens) {
  test::TempFile c(kContributions, ".c");
  test::TempFile family(kFamily, ".pdg");
  test::DocSession s;
  ASSERT_TRUE(s.OpenPath(family.path()));
  s.doc.seedFile = SeedPath();
  WriteSeedFile(s.doc.seedFile, 2024);
  s.platform.groupPairs.push_back(std::pair{1, 2});
  s.platform.fileNames = {c.path()};
  s.doc.RunCommand(kCmdOptimizeMatings);
  ASSERT_EQ(s.doc.lastCommand(), kCmdOptimizeMatings);
  const CommandDeclaration declaration = OptimizeMatingsDeclaration();
  const CommandValues& values = s.doc.remembered.values;
  EXPECT_EQ(values.State(kCmdOptimizeMatings, "seed"), SeedOf(s.Report()));
  EXPECT_EQ(values.State(kCmdOptimizeMatings, "forbidden-used"), "0");
  EXPECT_EQ(values.Text(declaration, "seed"), "");
  EXPECT_EQ(values.Text(declaration, "contributions"), c.path());
  const test::TempFile other(kFamily, ".pdg");
  ASSERT_TRUE(s.OpenPath(other.path()));
  EXPECT_EQ(s.doc.remembered.values.State(kCmdOptimizeMatings, "seed"), "");
  EXPECT_EQ(s.doc.remembered.values.Text(declaration, "contributions"), "");
  std::filesystem::remove(s.doc.seedFile);
  std::filesystem::remove(s.doc.seedFile + ".bak");
}

// A seed given that is no 32-bit whole number stops the run before anything
// is asked for or changed.
TEST(OptimizingMatings, RefusesAGivenSeedThatIsNoSeed) {
  const std::pair<const char*, const char*> rows[] = {
      {"not a whole number", "1.5"}, {"beyond 32 bits", "4294967296"}, {"negative", "-1"}, {"a word", "seed"}};
  test::TempFile c(kContributions, ".c");
  for (const auto& [name, typed] : rows) {
    Harness h(kFamily);
    WriteSeedFile(h.seedPath, 5);
    const std::string stream = test::ReadWholeFile(h.seedPath);
    h.ped.report.Add("shown before");
    h.remembered.values.Set(kCmdOptimizeMatings, "seed", typed);
    h.Run(1, 2, c.path());
    EXPECT_EQ(h.platform.MessageTexts(),
              (std::vector<std::string>{
                  "The random seed must be a whole number from 0 to 4294967295, or empty for a new one."}))
        << name;
    EXPECT_TRUE(h.platform.pickerCaptions.empty()) << name;
    EXPECT_EQ(h.Report(), std::vector<std::string>{"shown before"}) << name;
    EXPECT_EQ(test::ReadWholeFile(h.seedPath), stream) << name;
  }
}

}  // namespace
}  // namespace kinvar
