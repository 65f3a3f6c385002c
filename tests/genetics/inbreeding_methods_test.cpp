// The ancestor-list methods the benchmarks weigh against the columns
// (bench/f_methods.h) give the library's F, and count the ancestors they
// step through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "f_methods.h"
#include "genetics/inbreeding.h"
#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using bench::ListMethod;
using bench::ListOptions;
using bench::ListPedigree;
using bench::ListResult;
using test::RandomIndividual;

struct Numbered {
  ListPedigree p;
  std::vector<std::string> ids;  // ids[i] of individual i, ids[0] empty
};

// The random pedigree numbered parents first by the test's own order, not
// the library's codes.
Numbered NumberParentsFirst(const std::vector<RandomIndividual>& people) {
  Numbered n;
  n.ids.emplace_back();
  std::map<std::string, std::int32_t> at;
  for (const int k : test::ParentsFirstOrder(people)) {
    const RandomIndividual& r = people[static_cast<std::size_t>(k)];
    at[r.id] = static_cast<std::int32_t>(n.ids.size());
    n.ids.push_back(r.id);
    n.p.sire.push_back(r.sire.empty() ? 0 : at.at(r.sire));
    n.p.dam.push_back(r.dam.empty() ? 0 : at.at(r.dam));
    n.p.predefinedF.push_back(r.fPredefined ? static_cast<double>(*r.fPredefined)
                                            : std::numeric_limits<double>::quiet_NaN());
  }
  return n;
}

std::vector<double> LibraryF(const Pedigree& ped, const Numbered& n) {
  std::vector<double> f(n.ids.size(), -1.0);
  for (std::size_t i = 1; i < n.ids.size(); ++i) {
    f[i] = static_cast<double>(ped.rec(test::RecordOfId(ped, n.ids[i])).f);
  }
  return f;
}

struct Row {
  const char* name;
  ListMethod method;
};

const Row kMethods[] = {
    {"each animal, list by number", ListMethod::kAnimals},
    {"each full-sib family, list by generation", ListMethod::kFamilies},
    {"sire rows dotted with dam rows", ListMethod::kSires},
};

// The library stores floats rounded at each step; the lists add in doubles.
constexpr double kTolerance = 2e-6;

// A whole run gives the library's F; a sampled run (every third unit, from
// the given F of the earlier animals) gives it for the units it computes.
TEST(InbreedingByLists, GivesTheLibrarysFWholeOrSampled) {
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    const test::RandomPedigree rp = test::MakeRandomPedigree(test::VariedOptions(seed, 300));
    const auto ped = test::Loaded(rp.text);
    const Numbered n = NumberParentsFirst(rp.individuals);
    const std::vector<double> want = LibraryF(*ped, n);
    for (const Row& row : kMethods) {
      for (const std::int64_t sample : {1, 3}) {
        if (sample != 1 && seed > 10) continue;
        ListOptions o;
        o.method = row.method;
        o.sample = sample;
        if (sample != 1) o.givenF = &want;
        const ListResult r = bench::InbreedingByLists(n.p, o);
        const std::string what = std::string(row.name) + ", seed " + std::to_string(seed) + ", sample " +
                                 std::to_string(sample);
        EXPECT_FALSE(r.stopped) << what;
        EXPECT_EQ(r.units, (r.totalUnits + sample - 1) / sample) << what;
        for (std::size_t i = 1; i < n.ids.size(); ++i) {
          if (sample != 1 && std::isnan(r.f[i])) continue;
          ASSERT_NEAR(r.f[i], want[i], kTolerance) << what << ", " << n.ids[i];
        }
      }
    }
  }
}

// `start` and every ancestor of it, by brute force.
std::set<std::int32_t> Ancestors(const ListPedigree& p, std::vector<std::int32_t> start) {
  std::set<std::int32_t> seen;
  while (!start.empty()) {
    const std::int32_t j = start.back();
    start.pop_back();
    if (j == 0 || !seen.insert(j).second) continue;
    start.push_back(p.sire[static_cast<std::size_t>(j)]);
    start.push_back(p.dam[static_cast<std::size_t>(j)]);
  }
  return seen;
}

TEST(InbreedingByLists, CountsEachAncestorOncePerRow) {
  for (std::uint64_t seed = 1; seed <= 10; ++seed) {
    const test::RandomPedigree rp = test::MakeRandomPedigree(test::VariedOptions(seed, 200));
    const ListPedigree p = NumberParentsFirst(rp.individuals).p;
    std::int64_t animals = 0, families = 0, sires = 0;
    std::set<std::pair<std::int32_t, std::int32_t>> seen;
    // A row per sire and generation of its progeny, a row per dam and sire.
    std::vector<std::int32_t> gen(static_cast<std::size_t>(p.size()) + 1, 0);
    std::set<std::pair<std::int32_t, std::int32_t>> sireRows;
    for (std::int32_t i = 1; i <= p.size(); ++i) {
      const std::int32_t s = p.sire[static_cast<std::size_t>(i)], d = p.dam[static_cast<std::size_t>(i)];
      std::int32_t& g = gen[static_cast<std::size_t>(i)];
      for (const std::int32_t parent : {s, d}) {
        if (parent != 0) g = std::max(g, gen[static_cast<std::size_t>(parent)] + 1);
      }
      if (s == 0 || d == 0) continue;
      const auto count = static_cast<std::int64_t>(Ancestors(p, {s, d}).size());
      animals += 1 + count;
      if (seen.insert({s, d}).second) {
        families += count;
        sires += static_cast<std::int64_t>(Ancestors(p, {d}).size());
      }
      if (sireRows.insert({g, s}).second) {
        sires += static_cast<std::int64_t>(Ancestors(p, {s}).size());
      }
    }
    ListOptions o;
    o.method = ListMethod::kAnimals;
    EXPECT_EQ(bench::InbreedingByLists(p, o).entries, animals) << "seed " << seed;
    o.method = ListMethod::kFamilies;
    EXPECT_EQ(bench::InbreedingByLists(p, o).entries, families) << "seed " << seed;
    o.method = ListMethod::kSires;
    EXPECT_EQ(bench::InbreedingByLists(p, o).entries, sires) << "seed " << seed;
  }
}

}  // namespace
}  // namespace kinvar
