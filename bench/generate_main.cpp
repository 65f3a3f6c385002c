// kinvar-generate: writes a seeded, realistic pedigree file.
#include <cstdio>
#include <string>

#include "bench_support.h"
#include "genotype_generator.h"
#include "pedigree_generator.h"

namespace {

const char* const kUsage =
    "usage: kinvar-generate [--n N] [--seed S] [--order random|parents-first]\n"
    "                       [--deep G | --generations G] [--f] OUTPUT.pdg\n"
    "  --n N       data lines (default 1000000)\n"
    "  --seed S    random seed (default 1); the same options give the same file\n"
    "  --order O   random (default) or parents-first\n"
    "  --deep G    G discrete generations from few parents: long, looped paths\n"
    "  --generations G\n"
    "              a wide herd book: the default shape with N/G births per\n"
    "              generation (no cap), sires and dams growing with the herd\n"
    "  --f         add an F column (predefined F for some founders)\n"
    "Genotypes (see genotype_generator.h):\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace kinvar::bench;
  const Options args(argc, argv, {"f", "help"});
  if (args.Flag("help") || !args.error().empty() || args.positional().size() != 1) {
    if (!args.error().empty()) std::fprintf(stderr, "kinvar-generate: %s\n", args.error().c_str());
    std::fputs(kUsage, args.Flag("help") ? stdout : stderr);
    std::fputs(kGenotypeUsage, args.Flag("help") ? stdout : stderr);
    return args.Flag("help") ? 0 : 2;
  }
  GeneratorOptions options;
  options.individuals = args.Int("n", options.individuals);
  options.seed = static_cast<std::uint64_t>(args.Int("seed", 1));
  options.deepGenerations = static_cast<int>(args.Int("deep", 0));
  options.wideGenerations = static_cast<int>(args.Int("generations", 0));
  options.fColumn = args.Flag("f");
  const std::string order = args.Get("order", "random");
  if (order == "parents-first") {
    options.order = Order::kParentsFirst;
  } else if (order != "random") {
    std::fprintf(stderr, "kinvar-generate: unknown order '%s'\n%s", order.c_str(), kUsage);
    return 2;
  }
  if (options.individuals < 1 || options.individuals > 100000000 || options.deepGenerations < 0 ||
      options.wideGenerations < 0 || (options.deepGenerations > 0 && options.wideGenerations > 0)) {
    std::fprintf(stderr,
                 "kinvar-generate: --n must be 1..100000000, --deep and --generations at least 0, "
                 "and not both\n");
    return 2;
  }
  GeneratorSummary summary;
  std::string error;
  if (!GeneratePedigreeFile(options, args.positional()[0], summary, error)) {
    std::fprintf(stderr, "kinvar-generate: %s\n", error.c_str());
    return 1;
  }
  std::printf("%lld lines, %lld parents listed only as sire or dam, %d birth generations, %lld bytes\n",
              static_cast<long long>(summary.lines), static_cast<long long>(summary.parentsOnly),
              summary.generations, static_cast<long long>(summary.bytes));
  if (args.Int("genotypes", 0) != 0) return GenerateGenotypesFor(args, args.positional()[0]);
  return 0;
}
