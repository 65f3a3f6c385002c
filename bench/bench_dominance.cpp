// kinvar-bench-dominance: seconds of the dominance relationships of the
// 2000 latest births of a generated pedigree: D as the triplets are written
// (the blocked columns of A over the group's ancestors, then every pair),
// and the inverse of D for the 1000 latest.
#include <cstdio>
#include <vector>

#include "analyses/lower_matrix_file.h"
#include "bench_support.h"
#include "genetics/dominance.h"
#include "genetics/relationship.h"
#include "report/output_file.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-dominance [--sizes N,N,...] [--seed S]\n"
    "  Defaults: sizes 100000,1000000.\n";

bool MeasureSize(std::int64_t n, std::uint64_t seed, Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  return MeasureOnGenerated(gen, "kinvar-bench-dominance", [&](Pedigree& ped, Progress& progress, Results& out) {
    out["nTotal"] = ped.nTotal;
    const DominanceRequest group{LatestBorn(ped, 2000), false, 0.0};
    out["subset"] = BuildAncestorSubset(ped, group.members).kernel.size();
    bool ok = false;
    std::int64_t stored = 0;
    out["triplets"] = CpuSecondsOf([&] {
      const DominanceBuild<float> d = BuildDominance(ped, ped.d, group, {}, progress);
      std::FILE* sink = std::fopen("/dev/null", "wb");
      if (sink == nullptr) return;
      {
        const auto file = OutputFile::OnStream(sink, "/dev/null");
        ok = d.status == DominanceStatus::kDone && WriteTriplets(d.matrix, *file, progress) && file->Commit();
      }
      std::fclose(sink);
      stored = d.matrix.Stored();
    });
    out["stored"] = static_cast<double>(stored);
    const DominanceRequest inverse{LatestBorn(ped, 1000), true, 0.0};
    out["inverse"] = CpuSecondsOf([&] {
      ok = ok && BuildDominance(ped, ped.d, inverse, {}, progress).status == DominanceStatus::kDone;
    });
    return ok;
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  std::printf("\n  %9s %12s %14s %12s %14s\n", "nTotal", "subset size", "D of 2000", "elements",
              "D inv of 1000");
  if (MeasureEachSize(args, "kinvar-bench-dominance", MeasureSize, [](const Results& r) {
        std::printf("  %9.0f %12.0f %12.3f s %12.0f %12.3f s\n", r.at("nTotal"), r.at("subset"),
                    r.at("triplets"), r.at("stored"), r.at("inverse"));
      }) != 0)
    return 1;
  std::printf(
      "\n  Processor seconds. D of the 2000 latest births, written as triplets;\n"
      "  the inverse of D of the 1000 latest. Target for 1000000 individuals:\n"
      "  D triplets of a group of 2000 below 5 s.\n");
  return 0;
}
