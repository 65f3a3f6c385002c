// kinvar-bench-analyses: seconds of the pedigree analyses on a generated
// pedigree, for a group of the 1000 latest births: the decomposition engine
// in its three modes (whose cost must follow the extracted pedigree, not the
// pedigree), gene origin and the three decomposition reports (one line per
// individual, so at file speed), the extraction of the group's ancestors,
// and path counting of the group's most inbred member into the report.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "analyses/command_ids.h"
#include "analyses/decomposition.h"
#include "analyses/decomposition_report.h"
#include "analyses/extraction.h"
#include "analyses/gene_origin.h"
#include "analyses/path_counting.h"
#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-analyses [--n N] [--seed S]\n  Defaults: n 1000000.\n";

// One group, number 1, of the 1000 latest births; nobody else has a group.
RecIndex MakeLatestGroup(Pedigree& ped) {
  ped.groups.assign(1, Description{1, 1000});
  ped.nGroups = 1;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) ped.byCode(i).group = -1;
  RecIndex inbred = ped.records[static_cast<std::size_t>(ped.nTotal - 1)];
  for (std::int32_t i = ped.nTotal - 1000; i < ped.nTotal; ++i) {
    Rec& r = ped.byCode(i);
    r.group = 0;
    if (r.f > ped.rec(inbred).f) inbred = ped.records[static_cast<std::size_t>(i)];
  }
  return inbred;
}

bool Measure(std::int64_t n, std::uint64_t seed, Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  const std::string path = "herd.pdg";  // a name for the extraction's header only
  return MeasureOnGenerated(
      gen, "kinvar-bench-analyses", [&](Pedigree& ped, Progress&, Results& out) {
    NullPlatform platform;
    const RecIndex inbred = MakeLatestGroup(ped);
    DecompositionResult result;
    out["mode0"] = CpuSecondsOf(
        [&] { result = Decompose(ped, ped.rec(inbred).code, DecompositionMode::kInbreeding); });
    out["mode1"] = CpuSecondsOf([&] { result = Decompose(ped, 0, DecompositionMode::kAverageInbreeding); });
    out["mode2"] = CpuSecondsOf([&] { result = Decompose(ped, 0, DecompositionMode::kAverageCoancestry); });
    out["extracted"] = result.individuals;
    out["geneOrigin"] = CpuSecondsOf([&] { WriteGeneOriginReport(ped, 0); });
    out["report"] = CpuSecondsOf([&] {
      ped.report.Clear();
      ped.copyFile.Reset();
      WriteDecompositionReport(ped, DecompositionMode::kAverageCoancestry, 0, result);
    });
    std::FILE* sink = std::fopen("/dev/null", "w");
    out["extract"] = CpuSecondsOf([&] {
      const auto selection = SelectGroup(ped, Kinship::kAncestors, 0);
      const auto file = OutputFile::OnStream(sink, "/dev/null");
      SilentProgressWindow window;
      Progress progress(window);
      WriteExtractionFile(ped, {Kinship::kAncestors, kUnknownParent, 1, path}, selection, *file,
                          progress);
      file->Commit();
    });
    std::fclose(sink);
    std::int32_t last = 0;
    bool ask = false;
    RememberedInputs remembered;
    remembered.values.Set(kCmdPathCountingIndividual, "id", std::string(ped.rec(inbred).Id()));
    CommandContext ctx{ped, platform, last, ask, remembered, path};
    out["paths"] = CpuSecondsOf([&] { OnPathCountingIndividual(ctx); });
    out["pathLines"] = ped.report.Count();
    out["F"] = ped.rec(inbred).f;
    return true;
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  Results r;
  if (!Measure(args.Int("n", 1000000), static_cast<std::uint64_t>(args.Int("seed", 1)), r)) {
    std::fputs("kinvar-bench-analyses: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f, group of the 1000 latest births, extracted pedigree %.0f\n\n",
              r.at("nTotal"), r.at("extracted"));
  std::printf("  engine, one individual (mode 0)     %8.3f s\n", r.at("mode0"));
  std::printf("  engine, average inbreeding (mode 1) %8.3f s\n", r.at("mode1"));
  std::printf("  engine, average coancestry (mode 2) %8.3f s\n", r.at("mode2"));
  std::printf("  gene origin, report included        %8.3f s\n", r.at("geneOrigin"));
  std::printf("  decomposition report, %.0f lines %8.3f s\n", r.at("nTotal"), r.at("report"));
  std::printf("  extraction of the group's ancestors %8.3f s\n", r.at("extract"));
  std::printf("  path counting, F = %.4f, %.0f lines %8.3f s\n", r.at("F"), r.at("pathLines"),
              r.at("paths"));
  std::printf("\n  Processor seconds. Target: each engine run below 1 s.\n");
  return 0;
}
