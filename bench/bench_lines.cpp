// kinvar-bench-lines: seconds of ComputeInbreeding on lines of full-sib
// matings of growing depth, the narrow waves chained (the default) and in
// blocks, and whether every thread count gives the same bits.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-lines [--generations G,G,...] [--blocks-up-to G] [--threads T,T,...]\n"
    "  Defaults: generations 10000,20000,100000; the blocks path (no wave\n"
    "  chained) only up to 20000 generations, being quadratic; threads 1,2.\n"
    "  Target: 100000 generations under 2 s, near linear in the depth.\n";

constexpr double kTargetSeconds = 2.0;

void WriteLine(const std::string& path, std::int64_t generations) {
  std::ofstream out(path);
  out << "Progeny Sire Dam\nS0 0 0\nD0 0 0\n";
  for (std::int64_t g = 1; g <= generations; ++g) {
    const std::string parents = " S" + std::to_string(g - 1) + " D" + std::to_string(g - 1) + "\n";
    out << 'S' << g << parents << 'D' << g << parents;
  }
}

// A digest of every F and D bit, to compare the runs.
double Digest(const Pedigree& ped) {
  std::uint64_t h = 1469598103934665603ULL;
  const auto mix = [&](float x) { h = (h ^ std::bit_cast<std::uint32_t>(x)) * 1099511628211ULL; };
  for (const Rec& r : ped.recs) mix(r.f);
  for (const float d : ped.d) mix(d);
  return static_cast<double>(h >> 12);
}

bool Measure(std::int64_t generations, bool blocksToo, const std::vector<std::int64_t>& threads,
             Results& results) {
  const std::string path = TempPath("kinvar-bench-lines");
  WriteLine(path, generations);
  const ChildOutcome child = RunInChild([&](Results& r) {
    SilentProgressWindow window;
    Progress progress(window);
    Pedigree ped;
    const double loadStart = Now();
    if (LoadPedigree(path, ped, progress).status != LoadStatus::kLoaded) return false;
    EnsureCodeOrder(ped);
    r["load"] = Now() - loadStart;
    for (const bool chained : {true, false}) {
      if (!chained && !blocksToo) continue;
      for (const std::int64_t t : threads) {
        InbreedingOptions options;
        options.threads = static_cast<int>(t);
        if (!chained) options.chainedWave = 0;
        ped.inbreedingComputed = false;
        const double start = Now();
        if (!ComputeInbreeding(ped, progress, options)) return false;
        const std::string key = (chained ? "chained" : "blocks") + std::to_string(t);
        r[key] = Now() - start;
        r[key + ".digest"] = Digest(ped);
      }
    }
    return true;
  });
  std::remove(path.c_str());
  results = child.results;
  results["peak"] = static_cast<double>(child.peakBytes);
  return child.ok;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const std::vector<std::int64_t> threads = args.Sizes("threads", "1,2");
  const std::int64_t blocksUpTo = args.Int("blocks-up-to", 20000);
  std::printf("%12s %8s %10s %12s %12s %12s %10s %10s\n", "generations", "threads", "load s",
              "chained s", "load+F s", "blocks s", "same bits", "peak MB");
  for (const std::int64_t g : args.Sizes("generations", "10000,20000,100000")) {
    Results r;
    if (!Measure(g, g <= blocksUpTo, threads, r)) {
      std::fprintf(stderr, "kinvar-bench-lines: %lld generations failed\n", static_cast<long long>(g));
      return 1;
    }
    const double digest = r.at("chained" + std::to_string(threads.front()) + ".digest");
    for (const std::int64_t t : threads) {
      const std::string k = std::to_string(t);
      const bool blocks = r.count("blocks" + k) != 0;
      const bool same = r.at("chained" + k + ".digest") == digest &&
                        (!blocks || r.at("blocks" + k + ".digest") == digest);
      char blockSeconds[32] = "-";
      if (blocks) std::snprintf(blockSeconds, sizeof blockSeconds, "%.3f", r.at("blocks" + k));
      std::printf("%12lld %8lld %10.3f %12.3f %12.3f %12s %10s %10.1f\n", static_cast<long long>(g),
                  static_cast<long long>(t), r.at("load"), r.at("chained" + k),
                  r.at("load") + r.at("chained" + k), blockSeconds, same ? "yes" : "NO",
                  r.at("peak") / 1e6);
    }
  }
  std::printf("\n  target: %.0f s at 100000 generations, loading included (load: read, validate,\n"
              "  recode and number the generations; chained: the inbreeding computation)\n",
              kTargetSeconds);
  return 0;
}
