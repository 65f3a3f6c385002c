// kinvar-bench-purging: wall seconds of the purging analysis on a generated
// pedigree of 1000000 individuals: Ballou's ancestral inbreeding of everyone,
// and, for the 10000 latest births with their ancestors, purged inbreeding,
// partial inbreeding for the 20 largest founders and 1000 gene-dropping
// replicates on two threads.
#include <cstdio>
#include <string>

#include "analyses/purging.h"
#include "bench_support.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-purging [--n N] [--seed S] [--members M] [--drops R]\n"
    "  Defaults: n 1000000, members 10000, drops 1000.\n";

AncestorSubset SubsetOfLatest(Pedigree& ped, std::int32_t latest, std::vector<std::int32_t>& reference) {
  std::vector<RecIndex> seeds;
  for (std::int32_t i = std::max(0, ped.nTotal - latest); i < ped.nTotal; ++i)
    seeds.push_back(ped.records[static_cast<std::size_t>(i)]);
  AncestorSubset subset = BuildAncestorSubset(ped, seeds);
  for (const RecIndex s : seeds) reference.push_back(subset.LocalOf(ped.rec(s)));
  return subset;
}

bool Measure(const Options& args, Results& r) {
  const GeneratorOptions gen = GeneratorOf(args, 1000000);
  const auto members = static_cast<std::int32_t>(args.Int("members", 10000));
  const auto drops = static_cast<std::size_t>(args.Int("drops", 1000));
  return MeasureOnGenerated(gen, "kinvar-bench-purging", [&](Pedigree& ped, Progress& progress, Results& out) {
    std::vector<RecIndex> everyone(ped.records.begin(), ped.records.begin() + ped.nTotal);
    const AncestorSubset whole = BuildAncestorSubset(ped, everyone);
    double start = Now();
    const std::vector<float> fa = BallouAncestralInbreeding(ped, whole);
    out["ballou"] = Now() - start;
    std::vector<std::int32_t> reference;
    start = Now();
    const AncestorSubset subset = SubsetOfLatest(ped, members, reference);
    out["subset"] = Now() - start;
    out["subsetSize"] = static_cast<double>(subset.recOf.size() - 1);
    start = Now();
    const bool purged = PurgedInbreeding(ped, subset, 0.2f, 2, progress).has_value();
    out["purged"] = Now() - start;
    start = Now();
    const std::vector<FounderOrigin> founders = FounderOrigins(subset, reference, 20);
    const bool partial = PartialInbreeding(ped, subset, founders, 2, progress).has_value();
    out["partial"] = Now() - start;
    std::vector<std::uint32_t> seeds(drops);
    for (std::size_t i = 0; i < drops; ++i) seeds[i] = static_cast<std::uint32_t>(i + 1);
    start = Now();
    const bool dropped = DropGenes(ped, subset, reference, seeds, 2, progress).has_value();
    out["drops"] = Now() - start;
    return purged && partial && dropped && !fa.empty();
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  Results r;
  if (!Measure(args, r)) {
    std::fputs("kinvar-bench-purging: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  Ballou's Fa of every individual              %8.3f s\n", r.at("ballou"));
  std::printf("  the latest %lld with their ancestors: %.0f individuals (%.3f s)\n",
              static_cast<long long>(args.Int("members", 10000)), r.at("subsetSize"), r.at("subset"));
  std::printf("  purged inbreeding g, d = 0.2                 %8.3f s\n", r.at("purged"));
  std::printf("  partial inbreeding, 20 founders              %8.3f s\n", r.at("partial"));
  std::printf("  gene dropping, %lld replicates, 2 threads     %8.3f s\n",
              static_cast<long long>(args.Int("drops", 1000)), r.at("drops"));
  std::printf("\n  Wall seconds. Targets: Fa below 0.5 s, g below 5 s, gene dropping below 60 s.\n");
  return 0;
}
