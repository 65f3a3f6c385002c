// kinvar-bench-load: seconds and peak memory of loading a generated pedigree
// (read, validate, recode), against `LC_ALL=C sort -k1,1` of the same file.
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pedigree/load.h"
#include "pedigree/memory.h"
#include "pedigree/sort.h"
#include "stage_timer.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-load [--n N] [--seed S] [--order random|parents-first] [--f]\n"
    "                         [--repeat R] [--file PATH] [--keep] [--stages] [--threads T]\n"
    "                         [--input PATH] [--faults]\n"
    "  Generates PATH (default a temporary file) and loads it R times (default 3),\n"
    "  each time in a fresh child process, then times sort R times.\n"
    "  --stages prints the time of every loading stage of the first run.\n"
    "  --threads T loads on T threads (default 0: one per core).\n"
    "  --input PATH loads a pedigree file made elsewhere, instead of generating one.\n"
    "  --faults also times, in fresh children, the first writes to as many bytes\n"
    "  as the load's and sort's peaks: what the machine charges for the memory alone.\n";

constexpr double kTargetRatio = 1.0;
constexpr double kTargetBytesPerIndividual = 200.0;

ChildOutcome MeasureLoad(const std::string& path, bool printStages, int threads) {
  return RunInChild([&](Results& r) {
    StageTimer timer;
    Progress progress(timer);
    Pedigree ped;
    ped.settings.threads = threads;
    r["baseline"] = static_cast<double>(PeakResidentBytes());
    const double start = Now();
    const double cpuStart = CpuNow();
    const LoadOutcome outcome = LoadPedigree(path, ped, progress);
    r["cpu"] = CpuNow() - cpuStart;
    const double end = Now();
    r["seconds"] = end - start;
    r["nTotal"] = ped.nTotal;
    r["nRead"] = ped.nRead;
    r["maxGeneration"] = 0;
    for (const Rec& rec : ped.recs) r["maxGeneration"] = std::max<double>(r["maxGeneration"], rec.generation);
    if (printStages) {
      for (const auto& [label, seconds] : timer.Stages(end)) {
        std::printf("    %-62s %8.3f s\n", label.c_str(), seconds);
      }
    }
    if (outcome.status != LoadStatus::kLoaded) {
      std::fprintf(stderr, "load did not succeed: %s\n", outcome.message.c_str());
      return false;
    }
    return true;
  });
}

// Seconds a fresh process takes to fault in `bytes` of new memory: as the
// loader does (large pages, faulted on every thread at once) or as a plain
// program does (one write per 4 KiB page, one thread). No work is done on
// the memory, so what a load or a sort takes beyond this is their own.
double FaultSeconds(std::int64_t bytes, bool asTheLoader, int threads) {
  const ChildOutcome child = RunInChild([&](Results& r) {
    std::vector<unsigned char> memory;
    const auto n = static_cast<std::size_t>(bytes);
    const double start = Now();
    if (asTheLoader) {
      ReserveLarge(memory, n);
      FaultInLarge(memory, n, WorkerCount(threads));
    } else {
      memory.reserve(n);
    }
    // The writes that fault what is left (all of it for a plain program).
    volatile unsigned char* p = memory.data();
    for (std::size_t at = 0; at < n; at += 4096) p[at] = 1;
    r["seconds"] = Now() - start;
    return true;
  });
  return child.ok ? child.results.at("seconds") : -1.0;
}

// Processor seconds of the waited-for children so far.
double ChildrenCpu() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The one-minute load average of the machine, -1 when unknown: the ratio
// to sort means little on a machine that other work keeps busy.
double LoadAverage() {
  double load[1] = {-1.0};
  return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The memory's own cost beside the load's and sort's: the medians of
// `repeat` fresh children faulting in each peak.
void PrintFaults(double load, double sort, std::int64_t loadBytes, std::int64_t sortBytes, int threads,
                 int repeat) {
  std::vector<double> asLoader, asPlain, sortPlain;
  for (int i = 0; i < repeat; ++i) {
    asLoader.push_back(FaultSeconds(loadBytes, true, threads));
    asPlain.push_back(FaultSeconds(loadBytes, false, threads));
    sortPlain.push_back(FaultSeconds(sortBytes, false, threads));
  }
  const double loaderFaults = Median(asLoader), sortFaults = Median(sortPlain);
  std::printf("\n  first writes to fresh memory (medians of %d children)\n", repeat);
  std::printf("  %-34s %12.3f\n", "load's peak, as the loader, s", loaderFaults);
  std::printf("  %-34s %12.3f\n", "load's peak, 4 KiB pages, s", Median(asPlain));
  std::printf("  %-34s %12.3f\n", "sort's peak, 4 KiB pages, s", sortFaults);
  std::printf("  %-34s %12.3f\n", "load less its memory, s", load - loaderFaults);
  std::printf("  %-34s %12.3f\n", "sort less its memory, s", sort - sortFaults);
  std::printf("  %-34s %12.3f\n", "ratio of these", (load - loaderFaults) / (sort - sortFaults));
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"f", "keep", "stages", "faults", "help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  GeneratorOptions gen = GeneratorOf(args, 1000000);
  gen.order = args.Get("order", "random") == "parents-first" ? Order::kParentsFirst : Order::kRandom;
  gen.fColumn = args.Flag("f");
  const int repeat = static_cast<int>(std::max<std::int64_t>(1, args.Int("repeat", 3)));
  const std::string input = args.Get("input", "");
  const std::string path = input.empty() ? args.Get("file", TempPath("kinvar-bench-load")) : input;

  GeneratorSummary summary;
  if (input.empty()) {
    const double genStart = Now();
    summary = GenerateOrExit(gen, path);
    std::printf("Generated %s: %lld lines, %lld parents only, %.1f MB, %d birth generations (%.2f s)\n",
                path.c_str(), static_cast<long long>(summary.lines),
                static_cast<long long>(summary.parentsOnly), static_cast<double>(summary.bytes) / 1e6,
                summary.generations, Now() - genStart);
  }
  WarmPageCache(path);
  const double loadBefore = LoadAverage();

  std::vector<double> loads, sorts, loadCpus, sortCpus;
  std::int64_t peak = 0, baseline = 0, nTotal = 0, maxGeneration = 0, sortPeak = 0;
  for (int i = 0; i < repeat; ++i) {
    if (i == 0 && args.Flag("stages")) std::printf("  Stages of the first load:\n");
    const ChildOutcome load =
        MeasureLoad(path, i == 0 && args.Flag("stages"), static_cast<int>(args.Int("threads", 0)));
    if (!load.ok) {
      std::fprintf(stderr, "kinvar-bench-load: the load failed\n");
      return 1;
    }
    loads.push_back(load.results.at("seconds"));
    loadCpus.push_back(load.results.at("cpu"));
    peak = std::max(peak, load.peakBytes);
    baseline = static_cast<std::int64_t>(load.results.at("baseline"));
    nTotal = static_cast<std::int64_t>(load.results.at("nTotal"));
    if (!input.empty()) summary.lines = static_cast<std::int64_t>(load.results.at("nRead"));
    maxGeneration = static_cast<std::int64_t>(load.results.at("maxGeneration"));
  }
  for (int i = 0; i < repeat; ++i) {
    const double cpuBefore = ChildrenCpu();
    std::int64_t sortBytes = 0;
    const double s = TimeCommand({"sort", "-k1,1", path}, "LC_ALL=C", &sortBytes);
    sortPeak = std::max(sortPeak, sortBytes);
    sortCpus.push_back(ChildrenCpu() - cpuBefore);
    if (s < 0) {
      std::fprintf(stderr, "kinvar-bench-load: sort failed\n");
      return 1;
    }
    sorts.push_back(s);
  }
  if (input.empty() && !args.Flag("keep")) std::remove(path.c_str());

  const double load = Median(loads);
  const double sort = Median(sorts);
  const double ratio = load / sort;
  const auto n = static_cast<double>(summary.lines);
  const double perIndividual = static_cast<double>(peak) / n;
  std::printf("\n%lld individuals read, %lld after adding parents, longest path %lld generations\n",
              static_cast<long long>(summary.lines), static_cast<long long>(nTotal),
              static_cast<long long>(maxGeneration));
  std::printf("median of %d runs (min load %.3f s, min sort %.3f s), load average %.2f before, %.2f after\n\n",
              repeat, *std::min_element(loads.begin(), loads.end()), *std::min_element(sorts.begin(), sorts.end()),
              loadBefore, LoadAverage());
  std::printf("  %-34s %12s %12s\n", "measure", "value", "target");
  std::printf("  %-34s %12.3f\n", "load (read+validate+recode), s", load);
  std::printf("  %-34s %12.3f\n", "LC_ALL=C sort -k1,1, s", sort);
  std::printf("  %-34s %12.3f\n", "load, processor s", Median(loadCpus));
  std::printf("  %-34s %12.3f\n", "sort, processor s", Median(sortCpus));
  std::printf("  %-34s %12.3f %12s  %s\n", "ratio load / sort", ratio, "<= 1.00",
              ratio <= kTargetRatio ? "met" : "MISSED");
  std::printf("  %-34s %12.1f\n", "peak resident, MB", static_cast<double>(peak) / 1e6);
  std::printf("  %-34s %12.1f\n", "  of which before loading, MB", static_cast<double>(baseline) / 1e6);
  std::printf("  %-34s %12.1f %12s  %s\n", "peak bytes per individual", perIndividual, "<= 200",
              perIndividual <= kTargetBytesPerIndividual ? "met" : "MISSED");
  std::printf("  %-34s %12.1f\n", "sort's peak resident, MB", static_cast<double>(sortPeak) / 1e6);
  if (args.Flag("faults")) {
    PrintFaults(load, sort, peak - baseline, sortPeak, static_cast<int>(args.Int("threads", 0)), repeat);
  }
  return 0;
}
