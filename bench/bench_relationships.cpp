// kinvar-bench-relationships: seconds of the relationship reports on
// generated pedigrees: Average Relatedness, Average Between Groups with 20
// groups, Within a Group of 1000 members (whose cost must follow its ancestor
// subset, not the pedigree), and a listing of 2000000 pairs with its
// formatting and report copy file.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "genetics/relationship.h"
#include "genetics/relationship_averages.h"
#include "genetics/relationship_listings.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-relationships [--sizes N,N,...] [--seed S]\n"
    "  Defaults: sizes 100000,1000000.\n";

// Twenty groups of the individuals that have one, by code.
void RegroupIntoTwenty(Pedigree& ped) {
  ped.groups.assign(20, {});
  for (std::int16_t g = 0; g < 20; ++g) ped.groups[static_cast<std::size_t>(g)].group = g + 1;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    Rec& r = ped.byCode(i);
    if (r.group < 0) continue;
    r.group = static_cast<std::int16_t>(i % 20);
    ++ped.groups[static_cast<std::size_t>(r.group)].count;
  }
  ped.nGroups = 20;
}

bool MeasureSize(std::int64_t n, std::uint64_t seed, Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  return MeasureOnGenerated(
      gen, "kinvar-bench-relationships", [&](Pedigree& ped, Progress& progress, Results& out) {
    NullPlatform platform;
    // The floor: the two sweeps of the arrays, without the report.
    KernelPedigree kp = WholePedigreeKernel(ped, ped.d, ped.nTotal);
    out["sweeps"] = CpuSecondsOf([&] {
      std::fill(kp.w.begin() + 1, kp.w.end(), 1.0f);
      DenseBackwardPass(kp);
      ForwardPass(kp, ped.nTotal);
    });
    out["relatedness"] = CpuSecondsOf([&] { ReportAverageRelatedness(ped); });

    const std::vector<RecIndex> group = LatestBorn(ped, 1000);
    out["within"] = CpuSecondsOf([&] { ListWithinGroup(ped, platform, progress, 1, group); });
    out["subset"] = BuildAncestorSubset(ped, group).kernel.size();

    const std::vector<RecIndex> x = LatestBorn(ped, 1000, 3000);
    const std::vector<RecIndex> y = LatestBorn(ped, 2000, 1000);
    out["pairs"] = CpuSecondsOf([&] { ListBetweenGroups(ped, platform, progress, 1, x, 2, y); });

    RegroupIntoTwenty(ped);
    out["groups"] = CpuSecondsOf([&] { ReportAverageBetweenGroups(ped, progress); });
    return true;
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  std::printf("\n  %9s %9s %12s %10s %12s %12s %14s\n", "nTotal", "sweeps", "relatedness",
              "20 groups", "within 1000", "subset size", "2000000 pairs");
  if (MeasureEachSize(args, "kinvar-bench-relationships", MeasureSize, [](const Results& r) {
        std::printf("  %9.0f %7.3f s %10.3f s %8.3f s %10.3f s %12.0f %12.3f s\n", r.at("nTotal"),
                    r.at("sweeps"), r.at("relatedness"), r.at("groups"), r.at("within"), r.at("subset"),
                    r.at("pairs"));
      }) != 0)
    return 1;
  std::printf(
      "\n  Processor seconds, report and copy file included; sweeps: the two passes\n"
      "  alone. Within a Group lists the 499500 pairs of the 1000 latest births;\n"
      "  its cost follows the subset, not the pedigree. Targets for 1000000\n"
      "  individuals: Average Relatedness below 0.5 s, 2000000 pairs below 3 s.\n");
  return 0;
}
