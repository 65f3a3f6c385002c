// kinvar-bench-groups: processor seconds of the per-group work on a
// generated pedigree split into many groups: the structure census (its K, L
// and unique ancestors per group), the diversity summary's table of groups
// (fa searched for in its first groups only), and the refusal of averages
// between groups above their limit.
#include <cstdio>
#include <string>
#include <vector>

#include "analyses/diversity.h"
#include "analyses/structure.h"
#include "bench_support.h"
#include "genetics/relationship_averages.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-groups [--n 300000] [--seed S] [--groups G,G,...]\n"
    "  Defaults: n 300000; groups 1000,30000,300000 (a group per individual\n"
    "  at n). Individual i (by code) is in group i mod G: every group spans\n"
    "  the whole pedigree, the costliest case for a group's ancestors.\n";

void Regroup(Pedigree& ped, std::int64_t count) {
  ped.groups.assign(static_cast<std::size_t>(count), Description{});
  ped.groupOrder.clear();
  for (std::int64_t g = 0; g < count; ++g) {
    ped.groups[static_cast<std::size_t>(g)].group = static_cast<std::int32_t>(g + 1);
    ped.groupOrder.push_back(static_cast<std::int32_t>(g));
  }
  ped.nGroups = static_cast<std::int32_t>(count);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const auto g = static_cast<std::int32_t>(i % count);
    ped.byCode(i).group = g;
    ++ped.groups[static_cast<std::size_t>(g)].count;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  GeneratorOptions gen;
  gen.individuals = args.Int("n", 300000);
  gen.seed = static_cast<std::uint64_t>(args.Int("seed", 1));
  const std::vector<std::int64_t> counts = args.Sizes("groups", "1000,30000,300000");
  Results r;
  const bool ok = MeasureOnGenerated(gen, "kinvar-bench-groups", [&](Pedigree& ped, Progress& progress, Results& out) {
    out["n"] = ped.nTotal;
    for (const std::int64_t count : counts) {
      const std::string k = std::to_string(count);
      Regroup(ped, std::min<std::int64_t>(count, ped.nTotal));
      StructureCensus census;
      out["structure" + k] = CpuSecondsOf([&] { ComputeStructure(ped, progress, census); });
      std::vector<GroupTrend> rows;
      out["trends" + k] = CpuSecondsOf([&] {
        const GenerationDepths depths = TraceGenerations(ped);
        ComputeGroupTrends(ped, depths, progress, 0, 100, rows);
      });
      out["refused" + k] = AverageBetweenGroupsRefusal(ped).empty() ? 0 : 1;
    }
    return true;
  }, r);
  if (!ok) {
    std::fputs("kinvar-bench-groups: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f, individual i in group i mod G\n\n", r.at("n"));
  std::printf("%10s %14s %18s %26s\n", "groups", "structure s", "diversity table s",
              "averages between groups");
  for (const std::int64_t count : counts) {
    const std::string k = std::to_string(count);
    std::printf("%10lld %14.3f %18.3f %26s\n", static_cast<long long>(count), r.at("structure" + k),
                r.at("trends" + k), r.at("refused" + k) != 0 ? "refused at once" : "computed");
  }
  std::printf("\n  Processor seconds.\n");
  return 0;
}
