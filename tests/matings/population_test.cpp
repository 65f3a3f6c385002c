// Population management's computations: mean kinship and the change of gene
// diversity against the tabular coancestry on random pedigrees, rankings and
// their ties, whole matings from contributions, and the breeding-value
// readers.
#include "matings/population.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "analyses/decomposition_report.h"
#include "analyses/relationship_listings.h"
#include "matings/contribution_files.h"
#include "matings/ocs_figures.h"
#include "support/random_pedigree.h"
#include "support/scripted_platform.h"
#include "support/tabular_a.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::Loaded;

std::unique_ptr<Pedigree> RandomWithGroups(std::uint64_t seed) {
  test::RandomPedigreeOptions options = test::VariedOptions(seed, 90);
  options.groupColumn = true;
  return Loaded(test::MakeRandomPedigree(options).text);
}

std::vector<std::size_t> Members(const ReferencePopulation& ref) {
  std::vector<std::size_t> members;
  for (std::size_t code = 1; code < ref.byCode.size(); ++code)
    if (ref.byCode[code] != 0) members.push_back(code - 1);
  return members;
}

TEST(MeanKinship, EqualsTheTabularCoancestryOnRandomPedigrees) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    auto ped = RandomWithGroups(seed);
    const test::DenseMatrix a = test::TabularA(*ped);
    std::vector<int> references = GroupNumbers(*ped);
    references.push_back(kAllIndividuals);
    for (const int group : references) {
      const ReferencePopulation ref = group == kAllIndividuals
                                          ? WholeReference(*ped)
                                          : GroupReference(*ped, GroupIndexOf(*ped, group));
      const MeanKinshipResult result = ComputeMeanKinship(*ped, ref);
      const std::vector<std::size_t> members = Members(ref);
      const std::string where = "seed " + std::to_string(seed) + " group " + std::to_string(group);
      ASSERT_EQ(result.rows.size(), members.size()) << where;
      double total = 0.0;
      for (std::size_t k = 0; k < result.rows.size(); ++k) {
        const MeanKinshipRow& row = result.rows[k];
        const auto i = static_cast<std::size_t>(ped->rec(row.rec).code - 1);
        double sum = 0.0;
        for (const std::size_t j : members) sum += a(i, j) / 2.0;
        const double mk = sum / static_cast<double>(members.size());
        EXPECT_NEAR(row.mk, mk, 1e-6 * (1.0 + mk)) << where;
        total += mk;
        if (k > 0) {  // ascending, ties by code
          const MeanKinshipRow& before = result.rows[k - 1];
          EXPECT_TRUE(before.mk < row.mk ||
                      (before.mk == row.mk && ped->rec(before.rec).code < ped->rec(row.rec).code))
              << where;
        }
      }
      EXPECT_NEAR(result.meanMk, total / static_cast<double>(members.size()), 1e-6) << where;
      EXPECT_DOUBLE_EQ(result.geneDiversity, 1.0 - result.meanMk) << where;
    }
  }
}

TEST(MeanKinship, TiesAreRankedByCode) {
  // Four unrelated founders: every MK is (1/2) / 4, so code order decides.
  auto ped = Loaded("Progeny Sire Dam\nZ 0 0\nY 0 0\nX 0 0\nW 0 0\n");
  const MeanKinshipResult result = ComputeMeanKinship(*ped, WholeReference(*ped));
  ASSERT_EQ(result.rows.size(), 4u);
  std::string order;
  for (const MeanKinshipRow& row : result.rows) {
    EXPECT_EQ(row.mk, 0.125);
    order += ped->rec(row.rec).Id();
  }
  EXPECT_EQ(order, "ZYXW");
  EXPECT_EQ(result.geneDiversity, 0.875);
}

// 1 - mean kinship of the members with one offspring of s and d added,
// minus the same without, from the tabular matrix.
double DirectDeltaGd(const test::DenseMatrix& a, const std::vector<std::size_t>& members,
                     std::size_t s, std::size_t d) {
  const auto n = static_cast<double>(members.size());
  double sum = 0.0, offspring = 0.0;
  for (const std::size_t i : members) {
    for (const std::size_t j : members) sum += a(i, j) / 2.0;
    offspring += (a(s, i) + a(d, i)) / 4.0;
  }
  const double self = (1.0 + a(s, d) / 2.0) / 2.0;
  return sum / (n * n) - (sum + 2.0 * offspring + self) / ((n + 1.0) * (n + 1.0));
}

// Best first: every pair within the F bound before every pair above it,
// whatever their ΔGD; within the bound by ΔGD, above it by offspring F, then
// ΔGD; ties by codes.
TEST(MateSuitability, DeltaGdEqualsTheTabularComputationAndPairsWithinTheBoundComeFirst) {
  int checked = 0, mixed = 0;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    auto ped = RandomWithGroups(seed);
    const std::vector<int> numbers = GroupNumbers(*ped);
    if (numbers.size() < 2) continue;
    EnsureCodeOrder(*ped);
    const test::DenseMatrix a = test::TabularA(*ped);
    MatingGroups groups{numbers[0], numbers[1], GroupMembers(*ped, numbers[0]),
                        GroupMembers(*ped, numbers[1])};
    for (const bool own : {false, true})
      for (const float bound : {kDefaultMaxF, 0.01f, 0.0f}) {
        const ReferencePopulation ref =
            own ? GroupReference(*ped, GroupIndexOf(*ped, numbers.back())) : PairReference(*ped, groups);
        const MateSuitability m = ComputeMateSuitability(*ped, groups, ref, bound);
        const std::vector<std::size_t> members = Members(ref);
        const std::string where = "seed " + std::to_string(seed) + " bound " + std::to_string(bound);
        ASSERT_EQ(m.pairs.size(), groups.sires.size() * groups.dams.size()) << where;
        const auto code = [&](RecIndex r) { return static_cast<std::size_t>(ped->rec(r).code - 1); };
        std::int32_t above = 0;
        for (std::size_t k = 0; k < m.pairs.size(); ++k) {
          const PairSuitability& p = m.pairs[k];
          const std::size_t s = code(groups.sires[static_cast<std::size_t>(p.sire)]);
          const std::size_t d = code(groups.dams[static_cast<std::size_t>(p.dam)]);
          EXPECT_NEAR(p.offspringF, a(s, d) / 2.0, 1e-6) << where;
          EXPECT_NEAR(p.deltaGd, DirectDeltaGd(a, members, s, d), 1e-6) << where;
          EXPECT_EQ(p.exceeds, p.offspringF > bound) << where;
          above += p.exceeds ? 1 : 0;
          if (k == 0) continue;
          const PairSuitability& q = m.pairs[k - 1];
          const std::size_t qs = code(groups.sires[static_cast<std::size_t>(q.sire)]);
          const std::size_t qd = code(groups.dams[static_cast<std::size_t>(q.dam)]);
          EXPECT_TRUE(!q.exceeds || p.exceeds) << where << ": a pair within the bound after one above it";
          if (q.exceeds && p.exceeds) {
            EXPECT_LE(q.offspringF, p.offspringF) << where << ": above the bound, the least inbred first";
            if (q.offspringF != p.offspringF) continue;
          }
          if (q.exceeds == p.exceeds) {
            EXPECT_TRUE(q.deltaGd > p.deltaGd || (q.deltaGd == p.deltaGd && (qs < s || (qs == s && qd < d))))
                << where;
          }
        }
        EXPECT_EQ(m.aboveBound, above) << where;
        mixed += above > 0 && above < static_cast<std::int32_t>(m.pairs.size()) ? 1 : 0;
        ++checked;
      }
  }
  EXPECT_GT(checked, 60);
  EXPECT_GT(mixed, 10);  // the order across the bound was tested
}

struct WholeMatingsCase {
  const char* name;
  std::vector<double> c;
  std::int32_t dams;
  std::vector<std::int32_t> codes;
  std::vector<std::int32_t> expected;
};

TEST(WholeMatings, LargestRemaindersTiesToTheLowerCode) {
  const WholeMatingsCase cases[] = {
      {"exact shares", {0.25, 0.25, 0.0}, 4, {1, 2, 3}, {2, 2, 0}},
      {"one remainder", {0.3, 0.2}, 3, {1, 2}, {2, 1}},
      {"tie to the lower code", {0.25, 0.25}, 3, {7, 4}, {1, 2}},
      {"tiny contributions get nothing", {0.4999999, 1e-7}, 10, {1, 2}, {10, 0}},
      {"three-way tie", {1.0 / 6, 1.0 / 6, 1.0 / 6}, 4, {3, 1, 2}, {1, 2, 1}},
  };
  for (const WholeMatingsCase& c : cases) {
    const auto counts = WholeMatings(c.c, c.dams, c.codes);
    EXPECT_EQ(counts, c.expected) << c.name;
  }
  // Invariant on random shares: the counts sum to the dams and each is
  // within one of its exact share.
  std::uint64_t x = 88172645463325252ull;
  for (int round = 0; round < 200; ++round) {
    std::vector<double> c(1 + round % 9);
    double sum = 0.0;
    for (double& v : c) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      v = static_cast<double>(x % 1000) * (round % 3 == 0 ? 0.0 : 1.0) + 1.0;
      sum += v;
    }
    for (double& v : c) v = 0.5 * v / sum;
    std::vector<std::int32_t> codes(c.size());
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<std::int32_t>(i + 1);
    const std::int32_t dams = 1 + round % 37;
    const auto counts = WholeMatings(c, dams, codes);
    std::int32_t total = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
      total += counts[i];
      EXPECT_LT(std::fabs(counts[i] - 2.0 * dams * c[i]), 1.0 + 1e-9);
    }
    EXPECT_EQ(total, dams);
  }
}

struct EbvCase {
  const char* name;
  std::string text;
  std::vector<std::pair<const char*, double>> values;  // empty: refused with `message`
  std::string message;
};

TEST(BreedingValueFile, ReadsOrRefusesWithTheMessage) {
  auto ped = Loaded("Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\n");
  const EbvCase cases[] = {
      {"a header", "ID EBV\nA 1.5\nb,-2\n", {{"A", 1.5}, {"B", -2.0}}, ""},
      {"no header, comments", "! values\n\nA 1\n C\t2e1 extra\n", {{"A", 1.0}, {"C", 20.0}}, ""},
      {"not in the pedigree", "X 1\n", {}, "Error in line 1.\nIndividual X is not in the pedigree."},
      {"repeated", "A 1\na 2\n", {}, "Error in line 2.\nRepeated ID!"},
      {"a word after the first line", "A 1\nB one\n", {},
       "Error in line 2, column 3.\n\"one\" is not a breeding value."},
      {"one field", "A\n", {}, "Error in line 1.\nA line holds an ID and a breeding value."},
      {"a unit after the number", "ID EBV\nA 1\nB   1.5kg\n", {},
       "Error in line 3, column 5.\n\"1.5kg\" is not a breeding value."},
      {"a unit on the first line is no header", "A 1.5kg\nB 2\n", {},
       "Error in line 1, column 3.\n\"1.5kg\" is not a breeding value."},
      {"letters", "A 1\nB,abc\n", {}, "Error in line 2, column 3.\n\"abc\" is not a breeding value."},
      {"two points", "A 1\nB\t0.2.5\n", {}, "Error in line 2, column 3.\n\"0.2.5\" is not a breeding value."},
      {"a dash for none", "A 1\nB -\n", {}, "Error in line 2, column 3.\n\"-\" is not a breeding value."},
      {"infinity", "A 1\nB inf\n", {}, "Error in line 2, column 3.\n\"inf\" is not a breeding value."},
      {"beyond a double", "A 1\nB 1e999\n", {}, "Error in line 2, column 3.\n\"1e999\" is not a breeding value."},
      {"a control byte", std::string("A 1\nB 1\x01\n"), {}, "Error in line 2, column 3.\n\"1?\" is not a breeding value."},
      {"line ends of two bytes", "ID EBV\r\nA 1\r\nB 2\r\n", {{"A", 1.0}, {"B", 2.0}}, ""},
      {"a last line without its end", "A +1\nC 3", {{"A", 1.0}, {"C", 3.0}}, ""},
      {"a byte order mark", "\xEF\xBB\xBF" "A 7\n", {{"A", 7.0}}, ""},
  };
  for (const EbvCase& c : cases) {
    test::TempFile file(c.text, ".txt");
    test::ScriptedPlatform platform;
    const auto values = ReadBreedingValueFile(file.path(), *ped, platform);
    if (c.values.empty()) {
      EXPECT_FALSE(values) << c.name;
      EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{c.message}) << c.name;
      continue;
    }
    ASSERT_TRUE(values) << c.name;
    int given = 0;
    for (RecIndex r = 1; r <= ped->nTotal; ++r) given += std::isnan((*values)[static_cast<std::size_t>(r)]) ? 0 : 1;
    EXPECT_EQ(given, static_cast<int>(c.values.size())) << c.name;
    for (const auto& [id, value] : c.values)
      for (RecIndex r = 1; r <= ped->nTotal; ++r)
        if (ped->rec(r).Id() == id) {
          EXPECT_EQ((*values)[static_cast<std::size_t>(r)], value) << c.name;
        }
  }
}

// What is no file of values is refused with what is wrong with it, at once
// and without reading more than a line's limit of an endless device.
TEST(BreedingValueFile, RefusesWhatIsNoFileOfValues) {
  auto ped = Loaded("Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\n");
  const test::TempFile empty("", ".txt");
  const test::TempFile headerOnly("ID EBV\n! none yet\n", ".txt");
  const std::string folder = std::filesystem::temp_directory_path().string();
  struct Row {
    const char* name;
    std::string path;
    std::string message;
  };
  const Row rows[] = {
      {"a folder", folder, "Cannot open " + folder + ": it is a folder, not a file."},
      {"no such file", folder + "/kinvar-no-such-file.txt", "Cannot open " + folder + "/kinvar-no-such-file.txt"},
      {"zeros without end", "/dev/zero", "Error in line 1.\nThe line is longer than 65536 bytes."},
      {"a full device", "/dev/full", "Error in line 1.\nThe line is longer than 65536 bytes."},
      {"an empty file", empty.path(), "Error: " + empty.path() + " holds no breeding values."},
      {"a header alone", headerOnly.path(), "Error: " + headerOnly.path() + " holds no breeding values."},
  };
  for (const Row& row : rows) {
    test::ScriptedPlatform platform;
    EXPECT_FALSE(ReadBreedingValueFile(row.path, *ped, platform)) << row.name;
    EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{row.message}) << row.name;
  }
}

// A named pipe is read as it comes: what a writer put in it, and an endless
// writer stopped at the line limit; one without a writer is empty.
TEST(BreedingValueFile, ReadsANamedPipeWithinTheLimits) {
  auto ped = Loaded("Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\n");
  const std::string fifo = std::filesystem::temp_directory_path().string() + "/kinvar-ebv-" +
                           std::to_string(::getpid()) + ".fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A read end held open, so that the writers need not wait for the reader.
  const int held = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_NE(held, -1);
  {
    const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_NE(w, -1);
    const std::string text = "A 4\nB 5\n";
    ASSERT_EQ(::write(w, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(w);
    test::ScriptedPlatform platform;
    const auto values = ReadBreedingValueFile(fifo, *ped, platform);
    ASSERT_TRUE(values) << testing::PrintToString(platform.MessageTexts());
    EXPECT_EQ((*values)[1], 4.0);
    EXPECT_EQ((*values)[2], 5.0);
  }
  {
    std::atomic<bool> stop{false};
    std::thread writer([&] {
      const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      const std::vector<char> zeros(4096, '\0');
      while (!stop && w != -1)
        if (::write(w, zeros.data(), zeros.size()) < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (w != -1) ::close(w);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    test::ScriptedPlatform platform;
    EXPECT_FALSE(ReadBreedingValueFile(fifo, *ped, platform));
    stop = true;
    writer.join();
    EXPECT_EQ(platform.MessageTexts(),
              std::vector<std::string>{"Error in line 1.\nThe line is longer than 65536 bytes."});
  }
  ::close(held);
  {
    test::ScriptedPlatform platform;
    EXPECT_FALSE(ReadBreedingValueFile(fifo, *ped, platform));
    EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{"Error: " + fifo + " holds no breeding values."});
  }
  std::filesystem::remove(fifo);
}

TEST(BreedingValueColumn, ReadsTheNamedColumnInAnyCase) {
  test::TempFile file("! herd\nProgeny,Sire,Dam,Milk\nA,0,0,10\nB,0,0,.\nC,A,B,-3.5\n", ".pdg");
  test::ScriptedPlatform platform;
  auto ped = Loaded("Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\n");
  const auto values = ReadBreedingValueColumn(file.path(), "milk", *ped, platform);
  ASSERT_TRUE(values);
  EXPECT_EQ((*values)[1], 10.0);
  EXPECT_TRUE(std::isnan((*values)[2]));
  EXPECT_EQ((*values)[3], -3.5);
  EXPECT_FALSE(ReadBreedingValueColumn(file.path(), "fat", *ped, platform));
  EXPECT_EQ(platform.MessageTexts().back(), "The pedigree file has no column fat.");
}

}  // namespace
}  // namespace kinvar
