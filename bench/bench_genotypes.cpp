// kinvar-bench-genotypes: seconds of reading a PLINK set of generated
// genotypes (10,000 animals x 50,000 SNPs by default) into the animal-major
// matrix, against `cat` of the same .bed in the same run, both from the page
// cache; and of the whole genotype input (matching and quality control).
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "genomics/genotype_input.h"
#include "genomics/genotype_reader.h"
#include "genotype_generator.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-genotypes [--n N] [--snps M] [--seed S] [--repeat R] [--folder DIR]\n"
    "  Generates a pedigree of N animals (default 10000) and their genotypes at M SNPs\n"
    "  (default 50000) as a PLINK set in DIR (default /tmp), reads the .bed R times\n"
    "  (default 3) and cats it R times; prints the best of each and their ratio.\n";

bool Generate(const Options& args, const std::string& stem, Pedigree& ped) {
  GeneratorOptions generator = GeneratorOf(args, 10000);
  GeneratorSummary summary;
  std::string error;
  if (!GeneratePedigreeFile(generator, stem + ".pdg", summary, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  SilentProgressWindow window;
  Progress progress(window);
  if (LoadPedigree(stem + ".pdg", ped, progress).status != LoadStatus::kLoaded) return false;
  EnsureCodeOrder(ped);
  GenotypeGeneratorOptions options;
  options.snps = args.Int("snps", 50000);
  options.seed = generator.seed;
  const SimulatedGenotypes simulated = SimulateGenotypes(ped, options);
  if (!WritePlinkSet(simulated.genotypes, stem, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return true;
}

// Processor seconds of the waited-for children so far.
double ChildrenCpu() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const std::string stem = args.Get("folder", "/tmp") + "/kinvar-bench-genotypes";
  Pedigree ped;
  if (!Generate(args, stem, ped)) return 1;
  const std::string bed = stem + ".bed";
  WarmPageCache(bed);
  const int repeat = static_cast<int>(args.Int("repeat", 3));
  double read = 1e30, cat = 1e30, input = 1e30, readCpu = 1e30, catCpu = 1e30;
  std::int64_t animals = 0, snps = 0;
  for (int r = 0; r < repeat; ++r) {
    const double childStart = ChildrenCpu();
    cat = std::min(cat, TimeCommand({"cat", bed}, ""));
    catCpu = std::min(catCpu, ChildrenCpu() - childStart);
    SilentProgressWindow window;
    Progress progress(window);
    double start = Now();
    const double cpuStart = CpuNow();
    const GenotypeFile file = ReadPlinkGenotypes(bed, progress);
    readCpu = std::min(readCpu, CpuNow() - cpuStart);
    read = std::min(read, Now() - start);
    if (!file.error.empty()) {
      std::fprintf(stderr, "%s\n", file.error.c_str());
      return 1;
    }
    animals = file.genotypes.AnimalCount();
    snps = file.genotypes.SnpCount();
    start = Now();
    const GenotypeInput whole = ReadGenotypeInput(ped, {bed, "", {}}, progress);
    input = std::min(input, Now() - start);
  }
  const double megabytes = static_cast<double>((animals + 3) / 4 * snps + 3) / 1e6;
  std::printf("%lld animals x %lld SNPs, .bed %.1f MB\n", static_cast<long long>(animals),
              static_cast<long long>(snps), megabytes);
  std::printf("  cat of the .bed          %8.3f s  %8.0f MB/s  processor %.3f s\n", cat, megabytes / cat, catCpu);
  std::printf("  read the .bed            %8.3f s  %8.0f MB/s  processor %.3f s  (%.1f x cat)\n", read,
              megabytes / read, readCpu, read / cat);
  std::printf("  read, match, QC          %8.3f s\n", input);
  for (const char* ext : {".pdg", ".bed", ".bim", ".fam"}) std::remove((stem + ext).c_str());
  return 0;
}
