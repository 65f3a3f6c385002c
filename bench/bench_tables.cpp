// kinvar-bench-tables: seconds of `kinvar-cli inbreeding` on a generated
// pedigree of N individuals (default 1,000,000) writing today's text output,
// then its tables as CSV and as .xlsx, each the best of --runs runs; the CSV
// must stay within 1.3 times the text output, the workbook under 10 s.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using namespace kinvar::bench;

constexpr const char* kUsage =
    "kinvar-bench-tables [--n N] [--runs R] [--cli PATH]\n"
    "Times kinvar-cli inbreeding with --format text, csv and xlsx.\n";

double Best(const std::vector<std::string>& argv, int runs) {
  double best = -1.0;
  for (int i = 0; i < runs; ++i) {
    const double s = TimeCommand(argv, "KINVAR_HOME=/tmp");
    if (s < 0) return s;
    if (best < 0 || s < best) best = s;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  GeneratorOptions gen;
  gen.individuals = args.Int("n", 1000000);
  const int runs = static_cast<int>(args.Int("runs", 3));
  const std::string cli = args.Get("cli", KINVAR_CLI_PATH);
  const std::string path = TempPath("tables");
  GenerateOrExit(gen, path);
  WarmPageCache(path);
  const std::string out = TempPath("tables-out") + ".out";
  const double text = Best({cli, "inbreeding", path, "-q", "-o", out}, runs);
  const double csv = Best({cli, "inbreeding", path, "-q", "--format", "csv", "--table", "inbreeding", "-o", out + ".csv"}, runs);
  const double xlsx = Best({cli, "inbreeding", path, "-q", "--format", "xlsx", "-o", out + ".xlsx"}, runs);
  std::remove(path.c_str());
  std::remove(out.c_str());
  std::remove((out + ".csv").c_str());
  std::remove((out + ".xlsx").c_str());
  if (text < 0 || csv < 0 || xlsx < 0) {
    std::fprintf(stderr, "kinvar-cli failed\n");
    return 1;
  }
  std::printf("%-34s %10s %10s\n", "inbreeding of N individuals", "seconds", "target");
  std::printf("%-34s %10.2f %10s\n", "text output (today's)", text, "");
  std::printf("%-34s %10.2f %10.2f  (%.2fx text)\n", "--format csv (every individual)", csv, 1.3 * text,
              csv / text);
  std::printf("%-34s %10.2f %10.2f\n", "--format xlsx", xlsx, 10.0);
  return csv <= 1.3 * text && xlsx < 10.0 ? 0 : 1;
}
