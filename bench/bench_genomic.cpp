// kinvar-bench-genomic: wall seconds and peak memory of G, the genomic
// relationship matrix, for random genotypes of N animals at M SNPs, with a
// few missing calls (centred genotypes in doubles) and with none (the
// codes' whole-number products in singles): the whole of G at once through
// syrk, and G a block of rows at a time written as GCTA's binary GRM to
// /dev/null, as a matrix too large for memory is written.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "genomics/genomic_relationship.h"
#include "genomics/genomic_relationship_files.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-genomic [--animals N,N,...] [--snps M] [--threads T] [--blocks-only | --whole-only]\n"
    "                            [--calls both|missing|complete]\n"
    "  Defaults: animals 2000,10000; SNPs 50000; threads 0 (one per core); calls both.\n";

// Who chose the kernels the program prints: read before the first genomic
// call, which sets the variable itself when it moves the library off its
// generic kernels.
std::string BlasChoice() {
  const char* user = std::getenv("OPENBLAS_CORETYPE");
  return user != nullptr ? std::string(" (OPENBLAS_CORETYPE=") + user + ")" : " (OPENBLAS_CORETYPE not set)";
}

// About one call in 1024 missing, or none.
Genotypes RandomGenotypes(std::int64_t animals, std::int64_t snps, std::uint64_t seed, bool missing) {
  std::mt19937_64 rng(seed);
  Genotypes g;
  g.ids.reserve(static_cast<std::size_t>(animals));
  for (std::int64_t a = 0; a < animals; ++a) g.ids.push_back("A" + std::to_string(a));
  for (std::int64_t k = 0; k < snps; ++k) g.snps.push_back({"1", "S" + std::to_string(k), k + 1, "A", "B"});
  g.codes.resize(static_cast<std::size_t>(animals * snps));
  std::vector<std::uint32_t> threshold(static_cast<std::size_t>(snps));
  for (auto& t : threshold) t = static_cast<std::uint32_t>(rng() >> 33) % 0x7fffffffU;
  for (std::int64_t a = 0; a < animals; ++a) {
    for (std::int64_t k = 0; k < snps; ++k) {
      const std::uint64_t r = rng();
      const std::uint32_t t = threshold[static_cast<std::size_t>(k)];
      const int x = ((r & 0x7fffffffU) < t) + (((r >> 31) & 0x7fffffffU) < t);
      g.codes[static_cast<std::size_t>(a * snps + k)] = missing && (r >> 62) == 3 && (r & 0xff) == 0
                                                            ? kMissingGenotype
                                                            : static_cast<std::uint8_t>(x);
    }
  }
  return g;
}

struct Timing {
  double wall = 0.0, cpu = 0.0;
  std::int64_t peak = 0;
};

// G whole, or nothing when only the blocks are asked for.
bool TimeWhole(const Genotypes& g, const std::vector<double>& p, Timing& t) {
  SilentProgressWindow window;
  Progress progress(window);
  ResetPeakResident();
  const double start = Now(), cpu = CpuNow();
  const DenseSymmetric G = GenomicRelationship(g, p, GenomicMethod::kVanRaden1, progress);
  t = {Now() - start, CpuNow() - cpu, PeakResidentBytes()};
  return G.n == g.AnimalCount();
}

bool TimeRows(const Genotypes& g, const std::vector<double>& p, Timing& t) {
  SilentProgressWindow window;
  Progress progress(window);
  ResetPeakResident();
  const double start = Now(), cpu = CpuNow();
  std::string error;
  const auto writer = BeginGenomicMatrix(GenomicMatrixForm::kGcta, "/dev/null",
                                         std::vector<std::int32_t>(g.ids.size(), 1), g.ids, error);
  if (!writer) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  GenomicRowOptions options;
  options.counts = true;
  const bool done = ForEachGenomicRowBlock(g, p, GenomicMethod::kVanRaden1, options, [&](const GenomicRowBlock& b) {
    WriteGenomicRows(*writer, b);
    return true;
  }, progress);
  t = {Now() - start, CpuNow() - cpu, PeakResidentBytes()};
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help", "blocks-only", "whole-only"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const std::int64_t snps = args.Int("snps", 50000);
  const std::string calls = args.Get("calls", "both");
  const std::string chosen = BlasChoice();
  SetGenomicThreads(static_cast<int>(args.Int("threads", 0)));
  std::printf("\n  OpenBLAS kernels: %s%s\n", BlasCore().c_str(), chosen.c_str());
  std::printf("\n  %8s %8s %9s %10s %10s %10s %12s %10s %10s\n", "animals", "SNPs", "calls", "whole G", "(cpu)",
              "peak", "rows to GRM", "(cpu)", "peak");
  for (const std::int64_t n : args.Sizes("animals", "2000,10000")) {
    for (const bool missing : {true, false}) {
      if (calls != "both" && (calls == "missing") != missing) continue;
      const Genotypes g = RandomGenotypes(n, snps, 1, missing);
      const std::vector<double> p = AlleleFrequencies(g);
      Timing whole, rows;
      if (!args.Flag("blocks-only") && !TimeWhole(g, p, whole)) return 1;
      if (!args.Flag("whole-only") && !TimeRows(g, p, rows)) return 1;
      std::printf("  %8lld %8lld %9s %8.1f s %8.1f s %7.0f MB %10.1f s %8.1f s %7.0f MB\n", static_cast<long long>(n),
                  static_cast<long long>(snps), missing ? "missing" : "complete", whole.wall, whole.cpu,
                  static_cast<double>(whole.peak) / 1e6, rows.wall, rows.cpu, static_cast<double>(rows.peak) / 1e6);
    }
  }
  std::printf(
      "\n  Wall seconds, processor seconds of all threads, and the process's peak resident memory (the genotypes, one\n"
      "  byte each, included). missing: about one call in 1024 missing, G from the centred genotypes in doubles;\n"
      "  complete: no missing call, G from the codes' whole-number products in singles, centred afterwards.\n"
      "  whole G: all of G in memory (8 n^2 bytes, the singles held in its own storage); rows to GRM: blocks of\n"
      "  about 256 MB of rows with the SNP counts of each pair, written as GCTA's binary GRM to /dev/null.\n"
      "  Target: G of 10000 x 50000 below 60 s on 2 cores.\n");
  return 0;
}
