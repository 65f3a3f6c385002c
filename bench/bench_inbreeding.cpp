// kinvar-bench-inbreeding: seconds and peak memory of ComputeInbreeding on
// generated pedigrees of growing size and on a deep, looped one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-inbreeding [--sizes N,N,...] [--generations G] [--deep G] [--deep-n N]\n"
    "                               [--seed S] [--order random|parents-first] [--f]\n"
    "                               [--repeat R] [--threads T,T,...] [--width W]\n"
    "                               [--double] [--dense-share S]\n"
    "  Defaults: sizes 100000,300000,1000000; a deep pedigree of G = 40\n"
    "  generations and N = 1000000 individuals (--deep 0 leaves it out);\n"
    "  threads 1,2; width 4 columns per sweep (1: one column at a time).\n"
    "  --repeat R times each computation R times and reports the median.\n"
    "  --double computes in double precision (--precision double).\n"
    "  --generations G: the wide shape of kinvar-generate (G generations\n"
    "  whatever the size); with sizes 1000000 and 4000000 it prints the growth\n"
    "  against its target, with 10000000 the time loading included.\n";

constexpr double kTargetSecondsPerMillion = 1.0;
constexpr double kTargetSecondsFourMillion = 8.0;
// The wide shape: 4 M may cost at most 5 times 1 M, and 10 M, loading
// included, under 10 s of wall time on 2 cores.
constexpr double kTargetWideGrowth = 5.0;
constexpr double kTargetWideTenMillionSeconds = 10.0;

struct Case {
  std::string name;
  GeneratorOptions gen;
  int repeat = 1;  // the median of this many runs on the one loaded pedigree
  std::vector<std::int64_t> threads;
  int width = InbreedingOptions{}.blockWidth;
  bool inDouble = false;
  int denseShare = InbreedingOptions{}.denseShare;
};

struct Row {
  std::string name;
  std::int64_t n = 0;
  std::int64_t nTotal = 0;
  int maxGeneration = 0;
  int threads = 1;
  double seconds = 0;
  double cpuSeconds = 0;
  double loadSeconds = 0;
  std::int64_t extraBytes = 0;  // above the loaded pedigree
  std::int64_t peakBytes = 0;
  double meanF = 0;
  double maxF = 0;
  std::int64_t inbreds = 0;
  InbreedingWork work;
};

// One row per thread count, all on the one loaded pedigree.
bool Measure(const Case& c, std::vector<Row>& rows) {
  const std::string path = TempPath("kinvar-bench-inbreeding");
  const GeneratorSummary summary = GenerateOrExit(c.gen, path);
  const ChildOutcome child = RunInChild([&](Results& r) {
    SilentProgressWindow window;
    Progress progress(window);
    Pedigree ped;
    const double loadStart = Now();
    if (LoadPedigree(path, ped, progress).status != LoadStatus::kLoaded) return false;
    r["load"] = Now() - loadStart;
    EnsureCodeOrder(ped);
    ResetPeakResident();
    const std::int64_t before = ResidentBytes();
    for (const std::int64_t threads : c.threads) {
      const std::string t = std::to_string(threads);
      InbreedingOptions options;
      options.threads = static_cast<int>(threads);
      options.blockWidth = c.width;
      options.denseShare = c.denseShare;
      options.doublePrecision = c.inDouble;
      InbreedingWork work;
      options.work = &work;
      std::vector<std::pair<double, double>> times;
      for (int run = 0; run < c.repeat; ++run) {
        ped.inbreedingComputed = false;
        const double start = Now();
        const double cpuStart = CpuNow();
        if (!ComputeInbreeding(ped, progress, options)) return false;
        times.emplace_back(Now() - start, CpuNow() - cpuStart);
      }
      r["extra" + t] = static_cast<double>(PeakResidentBytes() - before);
      std::sort(times.begin(), times.end());
      r["seconds" + t] = times[times.size() / 2].first;
      r["cpu" + t] = times[times.size() / 2].second;
      // Per thread count: whether a block's forward pass goes dense hangs on
      // the blocks its worker ran before.
      r["ancestors" + t] = static_cast<double>(work.ancestors);
      r["columns" + t] = static_cast<double>(work.columns);
      r["blocks" + t] = static_cast<double>(work.blocks);
      r["backwardRows" + t] = static_cast<double>(work.backwardRows);
      r["forwardRows" + t] = static_cast<double>(work.forwardRows);
    }
    double sum = 0, maxF = 0;
    int maxGeneration = 0;
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      const Rec& rec = ped.byCode(i);
      sum += static_cast<double>(rec.f);
      maxF = std::max(maxF, static_cast<double>(rec.f));
      maxGeneration = std::max(maxGeneration, rec.generation);
    }
    r["nTotal"] = ped.nTotal;
    r["meanF"] = sum / ped.nTotal;
    r["maxF"] = maxF;
    r["inbreds"] = ped.nInbreds;
    r["maxGeneration"] = maxGeneration;
    return true;
  });
  std::remove(path.c_str());
  if (!child.ok) return false;
  for (const std::int64_t threads : c.threads) {
    const std::string t = std::to_string(threads);
    Row row;
    row.name = c.name;
    row.n = summary.lines;
    row.threads = static_cast<int>(threads);
    row.nTotal = static_cast<std::int64_t>(child.results.at("nTotal"));
    row.maxGeneration = static_cast<int>(child.results.at("maxGeneration"));
    row.seconds = child.results.at("seconds" + t);
    row.cpuSeconds = child.results.at("cpu" + t);
    row.loadSeconds = child.results.at("load");
    row.extraBytes = static_cast<std::int64_t>(child.results.at("extra" + t));
    row.peakBytes = child.peakBytes;
    row.meanF = child.results.at("meanF");
    row.maxF = child.results.at("maxF");
    row.inbreds = static_cast<std::int64_t>(child.results.at("inbreds"));
    const auto count = [&](const char* key) {
      return static_cast<std::int64_t>(child.results.at(key + t));
    };
    row.work = {count("ancestors"), count("columns"), count("blocks"), count("backwardRows"),
                count("forwardRows")};
    rows.push_back(row);
  }
  return true;
}

const Row* Find(const std::vector<Row>& rows, std::int64_t n, int threads) {
  for (const Row& r : rows) {
    if (r.name.starts_with("wide") && r.n == n && r.threads == threads) return &r;
  }
  return nullptr;
}

void PrintWideTargets(const std::vector<Row>& rows) {
  for (const Row& r : rows) {
    if (!r.name.starts_with("wide") || r.n != 4000000) continue;
    const Row* one = Find(rows, 1000000, r.threads);
    if (one == nullptr) continue;
    const double wall = r.seconds / one->seconds, cpu = r.cpuSeconds / one->cpuSeconds;
    std::printf("  %-10s 1 M -> 4 M, %d thread(s): %.1f times (processor time %.1f times), "
                "target at most %.0f: %s\n",
                r.name.c_str(), r.threads, wall, cpu, kTargetWideGrowth,
                wall <= kTargetWideGrowth ? "met" : "MISSED");
  }
  for (const Row& r : rows) {
    if (!r.name.starts_with("wide") || r.n != 10000000) continue;
    const double total = r.loadSeconds + r.seconds;
    std::printf("  %-10s 10 M, %d thread(s): load %.1f s + F %.1f s = %.1f s, target under %.0f s: %s\n",
                r.name.c_str(), r.threads, r.loadSeconds, r.seconds, total,
                kTargetWideTenMillionSeconds, total < kTargetWideTenMillionSeconds ? "met" : "MISSED");
  }
}

void PrintTable(const std::vector<Row>& rows) {
  std::printf("\n  %-10s %9s %9s %4s %3s %8s %8s %10s %9s %9s %8s %8s %8s\n", "pedigree", "n",
              "nTotal", "gen", "thr", "F, s", "cpu, s", "ns/(n gen)", "extra MB", "extra B/n",
              "mean F", "max F", "load, s");
  for (const Row& r : rows) {
    const auto n = static_cast<double>(r.nTotal);
    std::printf("  %-10s %9lld %9lld %4d %3d %8.3f %8.3f %10.2f %9.1f %9.1f %8.5f %8.5f %8.3f\n",
                r.name.c_str(), static_cast<long long>(r.n), static_cast<long long>(r.nTotal),
                r.maxGeneration, r.threads, r.seconds, r.cpuSeconds,
                r.seconds * 1e9 / (n * std::max(1, r.maxGeneration)),
                static_cast<double>(r.extraBytes) / 1e6, static_cast<double>(r.extraBytes) / n,
                r.meanF, r.maxF, r.loadSeconds);
  }
  std::printf("\n  %-10s %9s %9s %8s %8s %12s %12s %8s\n", "pedigree", "nTotal", "ancestors",
              "columns", "blocks", "back rows", "fwd rows", "ns/row");
  for (const Row& r : rows) {
    const std::int64_t passRows = r.work.backwardRows + r.work.forwardRows;
    std::printf("  %-10s %9lld %9lld %8lld %8lld %12lld %12lld %8.2f\n", r.name.c_str(),
                static_cast<long long>(r.nTotal), static_cast<long long>(r.work.ancestors),
                static_cast<long long>(r.work.columns), static_cast<long long>(r.work.blocks),
                static_cast<long long>(r.work.backwardRows),
                static_cast<long long>(r.work.forwardRows),
                passRows > 0 ? r.cpuSeconds * 1e9 / static_cast<double>(passRows) : 0.0);
  }
  std::printf("\n  gen: longest ancestral path. thr: threads. extra: peak resident memory of\n"
              "  the computation above the loaded pedigree (the largest thread count's).\n"
              "  ns/(n gen) stays flat for a cost that grows as n times the depth.\n"
              "  ancestors: the reduced pedigree; one column per family, a block of\n"
              "  columns per sweep; rows: those the backward and forward passes went\n"
              "  through (a row holds every lane); ns/row: processor time per row.\n"
              "  Targets: below %.0f s for 1000000 individuals, %.0f s for 4000000.\n",
              kTargetSecondsPerMillion, kTargetSecondsFourMillion);
  PrintWideTargets(rows);
  for (const Row& r : rows) {
    const double target = r.n == 1000000 ? kTargetSecondsPerMillion
                          : r.n == 4000000 ? kTargetSecondsFourMillion : 0;
    if (target > 0 && r.name == "herd") {
      std::printf("  %-10s %lld, %d thread(s): %.3f s: %s\n", r.name.c_str(),
                  static_cast<long long>(r.n), r.threads, r.seconds,
                  r.seconds < target ? "met" : "MISSED");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"f", "double", "help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  GeneratorOptions base;
  base.seed = static_cast<std::uint64_t>(args.Int("seed", 1));
  base.order = args.Get("order", "random") == "parents-first" ? Order::kParentsFirst : Order::kRandom;
  base.fColumn = args.Flag("f");
  base.wideGenerations = static_cast<int>(args.Int("generations", 0));
  const int repeat = static_cast<int>(std::max<std::int64_t>(1, args.Int("repeat", 1)));
  const std::vector<std::int64_t> threads = args.Sizes("threads", "1,2");
  const int width = static_cast<int>(args.Int("width", InbreedingOptions{}.blockWidth));
  std::vector<Case> cases;
  for (const std::int64_t n : args.Sizes("sizes", "100000,300000,1000000")) {
    Case c{base.wideGenerations > 0 ? "wide " + std::to_string(base.wideGenerations) : "herd", base,
           repeat, threads, width, args.Flag("double")};
    c.gen.individuals = n;
    cases.push_back(c);
  }
  const int deep = static_cast<int>(args.Int("deep", 40));
  if (deep > 0) {
    Case c{"deep " + std::to_string(deep), base, repeat, threads, width, args.Flag("double")};
    c.gen.individuals = args.Int("deep-n", 1000000);
    c.gen.deepGenerations = deep;
    cases.push_back(c);
  }
  for (Case& c : cases) c.denseShare = static_cast<int>(args.Int("dense-share", c.denseShare));
  std::vector<Row> rows;
  for (const Case& c : cases) {
    std::printf("%s, %lld individuals...\n", c.name.c_str(), static_cast<long long>(c.gen.individuals));
    std::fflush(stdout);
    if (!Measure(c, rows)) {
      std::fprintf(stderr, "kinvar-bench-inbreeding: %s failed\n", c.name.c_str());
      return 1;
    }
  }
  PrintTable(rows);
  return 0;
}
