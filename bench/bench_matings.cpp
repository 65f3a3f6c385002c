// kinvar-bench-matings: seconds of the mating optimization's three stages
// for a sire group and a dam group inside a large generated pedigree: the
// coancestry matrix, the annealing and the exact optimum, and how far the
// annealing's average lies above the proven minimum.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "matings/exact_matings.h"
#include "matings/mating_search.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-matings [--n 1000000] [--seed 1] [--sires 200] [--dams 2000]\n"
    "  The sires and dams are the youngest individuals of the generated pedigree\n"
    "  (sires first); every sire gets dams / sires dams.\n";

constexpr double kTargetSeconds = 10.0;
constexpr double kTargetExactSeconds = 1.0;

// The last sires + dams individuals in code order: the youngest, related
// through the many shared ancestors of a breeding population.
MatingGroups YoungestGroups(const Pedigree& ped, std::int32_t sires, std::int32_t dams) {
  MatingGroups groups{1, 2, {}, {}};
  for (std::int32_t i = ped.nTotal - sires - dams; i < ped.nTotal; ++i) {
    auto& members = i < ped.nTotal - dams ? groups.sires : groups.dams;
    members.push_back(ped.records[static_cast<std::size_t>(i)]);
  }
  return groups;
}

void Line(const char* what, double seconds, double target) {
  std::printf("  %-24s %9.3f s   (target < %.0f s)%s\n", what, seconds, target,
              seconds < target ? "" : "  ABOVE TARGET");
}

}  // namespace

int main(int argc, char** argv) {
  const Options options(argc, argv, {});
  if (!options.error().empty() || !options.positional().empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  GeneratorOptions gen;
  gen.individuals = options.Int("n", 1000000);
  gen.seed = static_cast<std::uint64_t>(options.Int("seed", 1));
  const auto nS = static_cast<std::int32_t>(options.Int("sires", 200));
  const auto nD = static_cast<std::int32_t>(options.Int("dams", 2000));
  if (nS < 1 || nD < nS || nD % nS != 0) {
    std::fputs("The dams must be a multiple of the sires.\n", stderr);
    return 2;
  }
  const std::string path = TempPath("kinvar-bench-matings");
  GenerateOrExit(gen, path);
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree ped;
  const bool loaded = LoadPedigree(path, ped, progress).status == LoadStatus::kLoaded;
  std::remove(path.c_str());
  if (!loaded) return 1;
  EnsureCodeOrder(ped);
  if (!ComputeInbreeding(ped, progress)) return 1;

  const MatingGroups groups = YoungestGroups(ped, nS, nD);
  const std::vector<std::int32_t> contributions(static_cast<std::size_t>(nS), nD / nS);
  double start = Now();
  const CoancestryMatrix c = ComputeCoancestryMatrix(ped, groups);
  const double matrixSeconds = Now() - start;
  Mt19937 g;
  InitGenerator(g, 5489);
  start = Now();
  const auto annealed = Anneal(c, contributions, nullptr, g);
  const double annealSeconds = Now() - start;
  start = Now();
  const auto optimum = OptimalMatings(c, contributions, {});
  const double exactSeconds = Now() - start;
  if (!annealed || !optimum) return 1;

  const double annealedMean = MeanCoancestry(c, *annealed);
  const double optimumMean = MeanCoancestry(c, *optimum);
  std::printf("\n  %d sires x %d dams in %d individuals\n", nS, nD, ped.nTotal);
  Line("coancestry matrix", matrixSeconds, kTargetSeconds);
  Line("annealing", annealSeconds, kTargetSeconds);
  Line("exact optimum", exactSeconds, kTargetExactSeconds);
  std::printf("  average coancestry: annealing %.7f, proven minimum %.7f, ratio %.4f\n",
              annealedMean, optimumMean, optimumMean > 0 ? annealedMean / optimumMean : 1.0);
  return 0;
}
