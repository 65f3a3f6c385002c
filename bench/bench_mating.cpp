// kinvar-bench-mating: seconds of a planned mating on a generated pedigree
// whose coefficients are computed: the offspring of a young sire and a
// young dam with its common ancestors' parts of F, and the best sires for
// the dam among all males, with their mean kinship with every individual.
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "matings/planned_mating.h"
#include "matings/population.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-mating [--n N] [--seed S] [--top T]\n"
    "  Defaults: n 1000000, top 20.\n";

// The youngest individual known to be of `sex`: a young parent.
RecIndex Youngest(const Pedigree& ped, const std::vector<Sex>& sexes, Sex sex) {
  for (std::int32_t code = ped.nTotal; code >= 1; --code) {
    const RecIndex r = ped.records[static_cast<std::size_t>(code - 1)];
    if (sexes[static_cast<std::size_t>(r)] == sex) return r;
  }
  return kUnknownParent;
}

bool Measure(std::int64_t n, std::uint64_t seed, std::size_t top, Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  return MeasureOnGenerated(gen, "kinvar-bench-mating", [&](Pedigree& ped, Progress&, Results& out) {
    const std::vector<Sex> sexes = KnownSexes(ped);
    const RecIndex s = Youngest(ped, sexes, Sex::kMale), d = Youngest(ped, sexes, Sex::kFemale);
    if (s == kUnknownParent || d == kUnknownParent || s == d) return false;
    const PlannedParent sire{PlannedParent::Kind::kKnown, s, kUnknownParent, kUnknownParent, "S"};
    const PlannedParent dam{PlannedParent::Kind::kKnown, d, kUnknownParent, kUnknownParent, "D"};
    double start = Now();
    const PlannedMating m = ComputePlannedMating(ped, sire, dam);
    out["mating"] = Now() - start;
    out["f"] = m.offspringF;
    out["common"] = static_cast<double>(m.common.size());
    start = Now();
    const BestSires best = RankSires(ped, dam, CandidateSires(ped, -1, dam), WholeReference(ped), top);
    out["bestSires"] = Now() - start;
    out["candidates"] = best.candidates;
    return !best.rows.empty();
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const auto top = static_cast<std::size_t>(args.Int("top", 20));
  Results r;
  if (!Measure(args.Int("n", 1000000), static_cast<std::uint64_t>(args.Int("seed", 1)), top, r)) {
    std::fputs("kinvar-bench-mating: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f\n\n", r.at("nTotal"));
  std::printf("  offspring F %.6f and its %.0f common ancestors' parts      %8.3f s\n", r.at("f"),
              r.at("common"), r.at("mating"));
  std::printf("  the %zu best sires for the dam among %.0f males              %8.3f s\n", top,
              r.at("candidates"), r.at("bestSires"));
  std::printf("\n  Wall seconds, the coefficients computed before. Targets: 1 s and 1 s.\n");
  return 0;
}
