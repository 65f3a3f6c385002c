// kinvar-bench-side-files: seconds of reading the side files at their
// largest: a genetic groups file of 200000 groups, and a Gamma of 300
// metafounders (the most a file may name), full and positive definite.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/metafounders.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-side-files [--groups 200000] [--metafounders 300]\n"
    "  Times reading a genetic groups file and a metafounders file of that size.\n";

double TimeGroups(std::int64_t count) {
  const std::string path = TempPath("kinvar-bench-groups");
  {
    std::ofstream out(path);
    for (std::int64_t k = 0; k < count; ++k) out << 'G' << k << '\n';
  }
  std::vector<std::string> ids;
  const double start = Now();
  const std::string error = ReadGroupIds(path, ids);
  const double seconds = Now() - start;
  std::remove(path.c_str());
  return error.empty() ? seconds : -1.0;
}

// 0.3 I plus 0.02 everywhere: positive definite, every pair given.
double TimeGamma(std::int64_t g) {
  const std::string path = TempPath("kinvar-bench-gamma");
  {
    std::ofstream out(path);
    for (std::int64_t i = 0; i < g; ++i)
      for (std::int64_t j = i; j < g; ++j) out << 'M' << i << " M" << j << ' ' << (i == j ? 0.32 : 0.02) << '\n';
  }
  GeneticGroups groups;
  const double start = Now();
  const std::string error = ReadMetafounders(path, groups);
  const double seconds = Now() - start;
  std::remove(path.c_str());
  return error.empty() ? seconds : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const std::int64_t groups = args.Int("groups", 200000), metafounders = args.Int("metafounders", 300);
  const double groupSeconds = TimeGroups(groups), gammaSeconds = TimeGamma(metafounders);
  if (groupSeconds < 0 || gammaSeconds < 0) {
    std::fputs("kinvar-bench-side-files: failed\n", stderr);
    return 1;
  }
  std::printf("\n  %-28s %9s\n  %-28s %9.3f\n  %-28s %9.3f\n", "", "read, s",
              (std::to_string(groups) + " genetic groups").c_str(), groupSeconds,
              (std::to_string(metafounders) + " metafounders").c_str(), gammaSeconds);
  return 0;
}
