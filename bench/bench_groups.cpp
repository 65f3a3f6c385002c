// kinvar-bench-groups: the per-group analyses of a national herd book, each
// run as the desktop runs it (the document's command, report and tables
// included): a generated pedigree of 1,000,000 individuals whose groups are
// 30 birth years, with birth dates and sexes, and for each analysis its
// wall and processor seconds beside the target of 5 s. With --groups, the
// per-group work of the structure census and the diversity table on the
// same pedigree split into many groups that each span the whole of it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "analyses/diversity.h"
#include "analyses/generation_interval.h"
#include "analyses/relationship_averages.h"
#include "analyses/structure.h"
#include "app/document.h"
#include "bench_support.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-groups [--n 1000000] [--seed S] [--years 30] [--only KEY,KEY,...]\n"
    "                           [--repeat R] [--groups G,G,...]\n"
    "  Times structure, averages between groups, the diversity summary of the\n"
    "  latest year (with the trends table), the trends of all individuals,\n"
    "  mean kinship of the latest year and generation intervals through the\n"
    "  document, the groups being --years birth years by birth order. With\n"
    "  --groups instead: individual i (by code) in group i mod G, the census\n"
    "  and the trends table alone for each G. --only runs the analyses of those\n"
    "  keys (structure, averages, summary, trends, kinship, intervals), each\n"
    "  --repeat times, giving the least seconds of the repeats.\n";

constexpr double kTargetSeconds = 5.0;

void SetGroups(Pedigree& ped, std::int64_t count, bool byBirthOrder) {
  ped.groups.assign(static_cast<std::size_t>(count), Description{});
  ped.groupOrder.clear();
  for (std::int64_t g = 0; g < count; ++g) {
    ped.groups[static_cast<std::size_t>(g)].group = static_cast<std::int32_t>(g + 1);
    ped.groupOrder.push_back(static_cast<std::int32_t>(g));
  }
  ped.nGroups = static_cast<std::int32_t>(count);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const auto g = static_cast<std::int32_t>(
        byBirthOrder ? static_cast<std::int64_t>(i) * count / ped.nTotal : i % count);
    ped.byCode(i).group = g;
    ++ped.groups[static_cast<std::size_t>(g)].count;
  }
}

// Codes follow birth: year g of the groups, a day in it spread by code;
// sires male, dams female, the others alternately.
void DateAndSex(Pedigree& ped, std::int64_t years) {
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    Rec& r = ped.byCode(i);
    const std::int64_t year = static_cast<std::int64_t>(i) * years / ped.nTotal;
    r.birth = static_cast<std::int32_t>((1990 - 1970 + year) * 36525 / 100 + (i * 7919) % 365);
    r.sex = i % 2 == 0 ? Sex::kMale : Sex::kFemale;
  }
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (r.sire != kUnknownParent) ped.rec(r.sire).sex = Sex::kMale;
    if (r.dam != kUnknownParent) ped.rec(r.dam).sex = Sex::kFemale;
  }
  ped.sexColumn = 4;
  ped.birthColumn = 5;
}

struct Analysis {
  const char* key;
  const char* label;
};
const Analysis kAnalyses[] = {
    {"structure", "structure (census with the tables by group)"},
    {"averages", "average relationships between groups"},
    {"summary", "diversity summary of the latest year, trends table"},
    {"trends", "trends chart's analysis, all individuals"},
    {"kinship", "mean kinship of the latest year"},
    {"intervals", "generation intervals"},
};

// Wall and processor seconds of f() under `key`.
// Wall and processor seconds of f() under `key`; run again, the least of
// the runs.
template <class F>
void Time(Results& out, const std::string& key, F f) {
  const double wall = Now(), cpu = CpuNow();
  f();
  const double cpuSeconds = CpuNow() - cpu, wallSeconds = Now() - wall;
  const bool first = out.find(key + ".cpu") == out.end();
  out[key + ".cpu"] = first ? cpuSeconds : std::min(out[key + ".cpu"], cpuSeconds);
  out[key + ".wall"] = first ? wallSeconds : std::min(out[key + ".wall"], wallSeconds);
}

struct Selection {
  std::vector<std::string> keys;  // empty: every analysis
  std::int64_t repeat = 1;
  bool Wants(const std::string& key) const {
    return keys.empty() || std::find(keys.begin(), keys.end(), key) != keys.end();
  }
};

std::vector<std::string> SplitKeys(const std::string& text) {
  std::vector<std::string> keys;
  std::size_t from = 0;
  while (from <= text.size() && !text.empty()) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    keys.push_back(text.substr(from, comma - from));
    from = comma + 1;
  }
  return keys;
}

bool MeasureYears(std::int64_t n, std::uint64_t seed, std::int64_t years, const Selection& only,
                  Results& r) {
  GeneratorOptions gen;
  gen.individuals = n;
  gen.seed = seed;
  const std::string path = TempPath("kinvar-bench-groups");
  GenerateOrExit(gen, path);
  const ChildOutcome child = RunInChild([&](Results& out) {
    NullPlatform platform;
    Document doc(platform, "");
    if (!doc.Initialize()) return false;
    Time(out, "load", [&] { doc.OpenPedigreeFile(path); });
    Pedigree& ped = doc.pedigree();
    if (ped.nTotal == 0) return false;
    EnsureCodeOrder(ped);
    SetGroups(ped, years, true);
    DateAndSex(ped, years);
    Time(out, "inbreeding", [&] { doc.RunCommand(kCmdCompute); });
    const int latest = static_cast<int>(years);
    out["n"] = ped.nTotal;
    const auto run = [&](const std::string& key, std::int32_t id) {
      if (!only.Wants(key)) return;
      for (std::int64_t i = 0; i < only.repeat; ++i) {
        doc.askInputs = false;
        Time(out, key, [&] { doc.RunCommand(id); });
        out[key + ".done"] = doc.lastCommand() == id ? 1 : 0;
      }
    };
    run("structure", kCmdStructure);
    run("averages", kCmdAverageBetweenGroups);
    doc.remembered.values.Set(kCmdDiversity, "group", std::to_string(latest));
    run("summary", kCmdDiversity);
    doc.remembered.values.Set(kCmdDiversity, "group", "all");
    run("trends", kCmdDiversity);
    doc.remembered.values.Set(kCmdMeanKinship, "group", std::to_string(latest));
    run("kinship", kCmdMeanKinship);
    if (only.Wants("intervals")) {
      for (std::int64_t i = 0; i < only.repeat; ++i)
        Time(out, "intervals", [&] { ComputeGenerationIntervals(ped); });
      out["intervals.done"] = 1;
    }
    return true;
  });
  std::remove(path.c_str());
  if (child.ok) r = child.results;
  return child.ok;
}

void PrintYears(const Results& r, std::int64_t years) {
  std::printf("\n  individuals %.0f in %lld birth years; load %.2f s, inbreeding %.2f s "
              "(wall)\n\n",
              r.at("n"), static_cast<long long>(years), r.at("load.wall"),
              r.at("inbreeding.wall"));
  std::printf("  %-52s %8s %8s %8s\n", "analysis", "wall s", "cpu s", "target");
  for (const Analysis& a : kAnalyses) {
    const std::string k = a.key;
    if (r.find(k + ".done") == r.end()) continue;
    const char* mark = r.at(k + ".done") != 1                  ? "failed"
                       : r.at(k + ".wall") < kTargetSeconds ? "met"
                                                             : "missed";
    std::printf("  %-52s %8.2f %8.2f   < %.0f s %s\n", a.label, r.at(k + ".wall"),
                r.at(k + ".cpu"), kTargetSeconds, mark);
  }
  std::printf("\n  Processor seconds count every thread.\n");
}

bool MeasureSpread(const Options& args, const std::vector<std::int64_t>& counts, Results& r) {
  GeneratorOptions gen = GeneratorOf(args, 300000);
  return MeasureOnGenerated(gen, "kinvar-bench-groups", [&](Pedigree& ped, Progress& progress, Results& out) {
    out["n"] = ped.nTotal;
    for (const std::int64_t count : counts) {
      const std::string k = std::to_string(count);
      SetGroups(ped, std::min<std::int64_t>(count, ped.nTotal), false);
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
}

void PrintSpread(const Results& r, const std::vector<std::int64_t>& counts) {
  std::printf("\n  individuals %.0f, individual i in group i mod G\n\n", r.at("n"));
  std::printf("%10s %14s %18s %26s\n", "groups", "structure s", "diversity table s",
              "averages between groups");
  for (const std::int64_t count : counts) {
    const std::string k = std::to_string(count);
    std::printf("%10lld %14.3f %18.3f %26s\n", static_cast<long long>(count), r.at("structure" + k),
                r.at("trends" + k), r.at("refused" + k) != 0 ? "refused at once" : "computed");
  }
  std::printf("\n  Processor seconds.\n");
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  Results r;
  if (!args.Get("groups", "").empty()) {
    const std::vector<std::int64_t> counts = args.Sizes("groups", "");
    if (!MeasureSpread(args, counts, r)) {
      std::fputs("kinvar-bench-groups: the measurement failed\n", stderr);
      return 1;
    }
    PrintSpread(r, counts);
    return 0;
  }
  const std::int64_t years = std::clamp<std::int64_t>(args.Int("years", 30), 2, 1000);
  const Selection only{SplitKeys(args.Get("only", "")), std::max<std::int64_t>(1, args.Int("repeat", 1))};
  if (!MeasureYears(args.Int("n", 1000000), static_cast<std::uint64_t>(args.Int("seed", 1)), years,
                    only, r)) {
    std::fputs("kinvar-bench-groups: the measurement failed\n", stderr);
    return 1;
  }
  PrintYears(r, years);
  return 0;
}
