// kinvar-bench-population: seconds of the population management commands'
// computations on a generated pedigree: the mean kinship of the latest
// births, mate suitability of sires by dams among them, and optimum
// contributions of candidates with breeding values under a target delta F
// (the least kinship first, as the command does, then the gain).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "matings/contribution_files.h"
#include "matings/ocs_figures.h"
#include "matings/population.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-population [--n N] [--seed S] [--living L] [--sires S] [--dams D]\n"
    "       [--candidates C]\n"
    "  Defaults: n 1000000, living 10000, sires 200, dams 2000, candidates 2000.\n";

struct Sizes {
  std::int32_t living, sires, dams, candidates;
};

ReferencePopulation ReferenceOf(const Pedigree& ped, const std::vector<RecIndex>& members) {
  ReferencePopulation ref;
  ref.byCode.assign(static_cast<std::size_t>(ped.nTotal) + 1, 0);
  for (const RecIndex r : members) ref.byCode[static_cast<std::size_t>(ped.rec(r).code)] = 1;
  ref.members = static_cast<std::int32_t>(members.size());
  return ref;
}

double Ocs(Pedigree& ped, const Sizes& s, Results& out) {
  const std::int32_t sires = s.candidates / 10;
  MatingGroups g{1, 2, LatestBorn(ped, sires), LatestBorn(ped, s.candidates - sires, sires)};
  OcsProblem p;
  p.nSires = sires;
  p.nDams = s.candidates - sires;
  p.kinship = CandidateKinship(ped, g);
  OcsProblem least = p;
  const OcsSolution lower = SolveOcs(least);
  for (std::int32_t i = 0; i < s.candidates; ++i) p.ebv.push_back(std::sin(i * 0.7) + 0.001 * i);
  const double mean = MeanOfMatrix(p.kinship, static_cast<std::size_t>(s.candidates));
  p.targetKinship = std::max(lower.kinship + 1e-4, mean + 0.01 * (1.0 - mean));
  const OcsSolution best = SolveOcs(p);
  out["ocsSolved"] = best.status == OcsStatus::kSolved ? 1 : 0;
  out["ocsExcess"] = best.kinship - p.targetKinship;
  return best.gain;
}

bool Measure(std::int64_t n, std::uint64_t seed, const Sizes& s, Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  return MeasureOnGenerated(gen, "kinvar-bench-population", [&](Pedigree& ped, Progress&, Results& out) {
    double start = Now();
    const MeanKinshipResult mk = ComputeMeanKinship(ped, ReferenceOf(ped, LatestBorn(ped, s.living)));
    out["meanKinship"] = Now() - start;
    out["gd"] = mk.geneDiversity;
    MatingGroups groups{1, 2, LatestBorn(ped, s.sires), LatestBorn(ped, s.dams, s.sires)};
    start = Now();
    const MateSuitability m = ComputeMateSuitability(ped, groups, PairReference(ped, groups), kDefaultMaxF);
    out["suitability"] = Now() - start;
    out["pairs"] = static_cast<double>(m.pairs.size());
    start = Now();
    out["gain"] = Ocs(ped, s, out);
    out["ocs"] = Now() - start;
    return true;
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const Sizes s{static_cast<std::int32_t>(args.Int("living", 10000)),
                static_cast<std::int32_t>(args.Int("sires", 200)),
                static_cast<std::int32_t>(args.Int("dams", 2000)),
                static_cast<std::int32_t>(args.Int("candidates", 2000))};
  Results r;
  if (!Measure(args.Int("n", 1000000), static_cast<std::uint64_t>(args.Int("seed", 1)), s, r) ||
      r.at("ocsSolved") != 1) {
    std::fputs("kinvar-bench-population: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f\n\n", r.at("nTotal"));
  std::printf("  mean kinship of the %d latest births (GD %.4f)        %8.3f s\n", s.living,
              r.at("gd"), r.at("meanKinship"));
  std::printf("  mate suitability, %d sires x %d dams (%.0f pairs)   %8.3f s\n", s.sires, s.dams,
              r.at("pairs"), r.at("suitability"));
  std::printf("  optimum contributions of %d candidates with EBV     %8.3f s\n", s.candidates,
              r.at("ocs"));
  std::printf("    (kinship above the target by %.2e)\n", r.at("ocsExcess"));
  std::printf("\n  Wall seconds. Targets: 3 s, 3 s and 10 s.\n");
  return 0;
}
