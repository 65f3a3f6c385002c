// kinvar-bench-diversity: seconds of the genetic diversity summary on a
// generated pedigree, for a reference group of the 10000 latest births: the
// summary alone (generation depths, fe, fg, Ne and the fa search), then the
// whole command with the per-group table when the pedigree is split into 20
// groups by birth order, the reference being the last of them.
#include <cstdio>
#include <ctime>
#include <string>

#include "analyses/command_ids.h"
#include "analyses/diversity.h"
#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-diversity [--n N] [--seed S] [--members M]\n"
    "  Defaults: n 1000000, members 10000.\n";

constexpr int kGroupCount = 20;

// `count` groups numbered 1..count by birth order (code); the last holds the
// `latest` latest births, the others share the rest equally. One group: the
// latest births only, nobody else in a group.
void Regroup(Pedigree& ped, int count, std::int32_t latest) {
  const std::int32_t rest = ped.nTotal - latest;
  ped.groups.assign(static_cast<std::size_t>(count), Description{});
  ped.groupOrder.clear();
  for (int g = 0; g < count; ++g) {
    ped.groups[static_cast<std::size_t>(g)].group = g + 1;
    ped.groupOrder.push_back(g);
  }
  ped.nGroups = static_cast<std::int16_t>(count);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    int g = count - 1;
    if (i < rest) g = count == 1 ? -1 : static_cast<int>(static_cast<std::int64_t>(i) * (count - 1) / rest);
    ped.byCode(i).group = static_cast<std::int16_t>(g);
    if (g >= 0) ++ped.groups[static_cast<std::size_t>(g)].count;
  }
}

bool Measure(std::int64_t n, std::uint64_t seed, std::int32_t members, Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  return MeasureOnGenerated(
      gen, "kinvar-bench-diversity", [&](Pedigree& ped, Progress& progress, Results& out) {
    NullPlatform platform;
    Regroup(ped, 1, members);
    DiversitySummary s;
    progress.SetStage(0, 100, kMaxAncestorRounds, "");
    out["summary"] = CpuSecondsOf([&] {
      const GenerationDepths depths = TraceGenerations(ped);
      ComputeDiversity(ped, GroupReference(ped, 0), depths, progress, s);
    });
    out["fa"] = s.ancestors.fa;
    out["fe"] = s.founders.fe;
    out["ne"] = s.ne.ne;
    out["chosen"] = static_cast<double>(s.ancestors.chosen.size());

    Regroup(ped, kGroupCount, members);
    std::int32_t last = 0;
    bool ask = false;
    RememberedInputs remembered;
    remembered.values.Set(kCmdDiversity, "group", std::to_string(kGroupCount));
    const std::string path = "herd.pdg";  // for the report's header only
    CommandContext ctx{ped, platform, last, ask, remembered, path};
    out["command"] = CpuSecondsOf([&] { OnDiversitySummary(ctx); });
    out["done"] = last == kCmdDiversity ? 1 : 0;
    return true;
  }, r);
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  Results r;
  const auto members = static_cast<std::int32_t>(args.Int("members", 10000));
  if (!Measure(args.Int("n", 1000000), static_cast<std::uint64_t>(args.Int("seed", 1)), members,
               r) ||
      r.at("done") != 1) {
    std::fputs("kinvar-bench-diversity: the measurement failed\n", stderr);
    return 1;
  }
  std::printf("\n  individuals %.0f, reference group of the %d latest births\n\n", r.at("nTotal"),
              members);
  std::printf("  summary (fe %.1f, fa %.1f from %.0f ancestors, Ne %.1f) %8.3f s\n", r.at("fe"),
              r.at("fa"), r.at("chosen"), r.at("ne"), r.at("summary"));
  std::printf("  whole command with the table of %d groups      %8.3f s\n", kGroupCount,
              r.at("command"));
  std::printf("\n  Processor seconds. Targets: summary below 3 s, with the table below 10 s.\n");
  return 0;
}
