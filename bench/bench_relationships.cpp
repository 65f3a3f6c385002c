// kinvar-bench-relationships: seconds of the relationship reports on
// generated pedigrees: Average Relatedness, Average Between Groups with 20
// groups, Within a Group of 1000 members (whose cost must follow its ancestor
// subset, not the pedigree), and a listing of 2000000 pairs with its
// formatting and report copy file, and the 10000 pairs of two groups of 100
// latest births (chosen pairs in a herd book).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "analyses/relationship_averages.h"
#include "analyses/relationship_listings.h"
#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "genetics/relationship.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-relationships [--sizes N,N,...] [--seed S] [--generations G]\n"
    "  Defaults: sizes 100000,1000000. --generations G: the generator's wide herd\n"
    "  book of G birth generations.\n";

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

int wideGenerations = 0;

bool MeasureSize(std::int64_t n, std::uint64_t seed, Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  gen.wideGenerations = wideGenerations;
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

    // As kinvar-cli lists them without --format: text, no table rows.
    ped.report.tables().SetRowsWanted(false);
    const std::vector<RecIndex> sires = LatestBorn(ped, 100);
    const std::vector<RecIndex> dams = LatestBorn(ped, 100, 100);
    out["chosen"] =
        CpuSecondsOf([&] { ListBetweenGroups(ped, platform, progress, 1, sires, 2, dams); });
    // In code order: the dams were born before the sires.
    std::vector<RecIndex> both = dams;
    both.insert(both.end(), sires.begin(), sires.end());
    out["chosenSubset"] = BuildAncestorSubset(ped, both).kernel.size();
    ped.report.tables().SetRowsWanted(true);

    RegroupIntoTwenty(ped);
    out["groups"] = CpuSecondsOf([&] { ReportAverageBetweenGroups(ped, progress); });
    return true;
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  wideGenerations = static_cast<int>(args.Int("generations", 0));
  std::printf("\n  %9s %9s %12s %10s %12s %12s %14s %12s %12s\n", "nTotal", "sweeps", "relatedness",
              "20 groups", "within 1000", "subset size", "2000000 pairs", "10000 pairs",
              "their subset");
  if (MeasureEachSize(args, "kinvar-bench-relationships", MeasureSize, [](const Results& r) {
        std::printf("  %9.0f %7.3f s %10.3f s %8.3f s %10.3f s %12.0f %12.3f s %10.3f s %12.0f\n",
                    r.at("nTotal"), r.at("sweeps"), r.at("relatedness"), r.at("groups"),
                    r.at("within"), r.at("subset"), r.at("pairs"), r.at("chosen"),
                    r.at("chosenSubset"));
      }) != 0)
    return 1;
  std::printf(
      "\n  Processor seconds, report and copy file included; sweeps: the two passes\n"
      "  alone. Within a Group lists the 499500 pairs of the 1000 latest births;\n"
      "  its cost follows the subset, not the pedigree. Targets for 1000000\n"
      "  individuals: Average Relatedness below 0.5 s, 2000000 pairs below 3 s.\n"
      "  10000 pairs: between the 100 latest births and the 100 before them, as\n"
      "  text; target for 10000000 individuals below 5 s (the coefficients are\n"
      "  computed before the clock starts).\n");
  return 0;
}
