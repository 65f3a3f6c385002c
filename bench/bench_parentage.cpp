// kinvar-bench-parentage: parentage by opposing homozygotes on a generated
// pedigree whose youngest animals and their parents are genotyped, the
// genotypes dropped from parent to offspring so that recorded parents are
// true: the check of the recorded parents alone, and the search of the
// likeliest parents over every genotyped animal of the right sex.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "genomics/parentage.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-parentage [--n 200000] [--seed S] [--offspring 50000] [--snps 10000]\n"
    "                              [--searched 500] [--threads 0]\n"
    "  Genotypes the last --offspring animals by code and their parents at --snps SNPs, and\n"
    "  times the check of their recorded parents (target: 50000 in 10 s), then the search of\n"
    "  the likeliest parents for --searched of them whose sire is made unknown, reported\n"
    "  per animal and per 5000 candidates (target: 5000 candidates per animal in 10 minutes\n"
    "  for every searched animal of a 50000 run).\n";

struct Herd {
  Genotypes genotypes;
  std::vector<RecIndex> recOf;
};

// One allele of a genotype: a heterozygote gives either at random.
int Allele(std::uint8_t genotype, std::mt19937_64& random) {
  return genotype == 1 ? static_cast<int>(random() & 1U) : genotype / 2;
}

Herd Genotype(const Pedigree& ped, std::int64_t offspring, std::int64_t snps) {
  std::vector<std::int64_t> rowOf(ped.recs.size(), -1);
  std::vector<RecIndex> chosen;
  const auto take = [&](RecIndex r) {
    if (r == kUnknownParent || rowOf[static_cast<std::size_t>(r)] >= 0) return;
    rowOf[static_cast<std::size_t>(r)] = 0;
    chosen.push_back(r);
  };
  for (std::int64_t i = std::max<std::int64_t>(0, ped.nTotal - offspring); i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(static_cast<std::int32_t>(i));
    take(ped.records[static_cast<std::size_t>(i)]);
    take(r.sire);
    take(r.dam);
  }
  std::sort(chosen.begin(), chosen.end(), [&](RecIndex a, RecIndex b) { return ped.rec(a).code < ped.rec(b).code; });
  Herd h;
  h.recOf = chosen;
  h.genotypes.ids.resize(chosen.size());
  h.genotypes.snps.resize(static_cast<std::size_t>(snps));
  h.genotypes.codes.resize(chosen.size() * static_cast<std::size_t>(snps));
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> p(static_cast<std::size_t>(snps));
  for (double& x : p) x = 0.05 + 0.45 * unit(random);
  for (std::size_t row = 0; row < chosen.size(); ++row) {
    rowOf[static_cast<std::size_t>(chosen[row])] = static_cast<std::int64_t>(row);
    const Rec& r = ped.rec(chosen[row]);
    const std::int64_t s = r.sire == kUnknownParent ? -1 : rowOf[static_cast<std::size_t>(r.sire)];
    const std::int64_t d = r.dam == kUnknownParent ? -1 : rowOf[static_cast<std::size_t>(r.dam)];
    std::uint8_t* out = h.genotypes.codes.data() + row * static_cast<std::size_t>(snps);
    for (std::int64_t k = 0; k < snps; ++k) {
      const double q = p[static_cast<std::size_t>(k)];
      const int a = s >= 0 ? Allele(h.genotypes.At(s, k), random) : unit(random) < q;
      const int b = d >= 0 ? Allele(h.genotypes.At(d, k), random) : unit(random) < q;
      out[k] = static_cast<std::uint8_t>(a + b);
    }
  }
  return h;
}

bool Measure(Pedigree& ped, const Options& args, Results& r) {
  EnsureCodeOrder(ped);
  const Herd herd = Genotype(ped, args.Int("offspring", 50000), args.Int("snps", 10000));
  SilentProgressWindow window;
  Progress progress(window);
  ParentageOptions options;
  options.threads = static_cast<int>(args.Int("threads", 0));
  options.searchCandidates = false;
  progress.SetStage(0, 100, herd.genotypes.AnimalCount(), "");
  double start = Now();
  double cpu = CpuNow();
  const ParentageResult checked = CheckParentage(ped, herd.genotypes, herd.recOf, options, progress);
  r["check"] = Now() - start;
  r["check.cpu"] = CpuNow() - cpu;
  std::int64_t excluded = 0;
  for (const ParentCall& c : checked.calls) excluded += c.verdict == ParentVerdict::kExcluded;
  r["calls"] = static_cast<double>(checked.calls.size());
  r["excluded"] = static_cast<double>(excluded);
  r["animals"] = static_cast<double>(herd.genotypes.AnimalCount());
  // The search: the sires of the youngest animals made unknown.
  const std::int64_t searched = args.Int("searched", 500);
  for (std::int64_t i = 0; i < searched && i < ped.nTotal; ++i) ped.byCode(ped.nTotal - 1 - static_cast<std::int32_t>(i)).sire = kUnknownParent;
  options.searchCandidates = true;
  start = Now();
  cpu = CpuNow();
  const ParentageResult found = CheckParentage(ped, herd.genotypes, herd.recOf, options, progress);
  r["search"] = Now() - start - r["check"];
  r["search.cpu"] = CpuNow() - cpu - r["check.cpu"];
  std::int64_t candidates = 0, searches = 0;
  for (const ParentCall& c : found.calls)
    if (c.verdict == ParentVerdict::kUnknown) {
      candidates += c.candidates;
      ++searches;
    }
  r["searches"] = static_cast<double>(searches);
  r["candidates"] = static_cast<double>(candidates);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const GeneratorOptions gen = GeneratorOf(args, 200000);
  Results r;
  const bool ok = MeasureOnGenerated(
      gen, "kinvar-bench-parentage-ped",
      [&](Pedigree& ped, Progress&, Results& out) { return Measure(ped, args, out); }, r);
  if (!ok) {
    std::fputs("kinvar-bench-parentage: failed\n", stderr);
    return 1;
  }
  const double perPair = r.at("search.cpu") / std::max(1.0, r.at("candidates"));
  std::printf("\n  %.0f individuals, %.0f genotyped\n\n", r.at("nTotal"), r.at("animals"));
  std::printf("  Recorded parents checked: %.0f in %.3f s, processor %.3f s (%.0f excluded);\n"
              "  target 50000 animals in 10 s\n",
              r.at("calls"), r.at("check"), r.at("check.cpu"), r.at("excluded"));
  std::printf("  Search: %.0f unknown parents, %.0f candidates compared in %.3f s, processor %.3f s:\n"
              "  %.3f us of processor a pair, %.4f s per animal at 5000 candidates\n",
              r.at("searches"), r.at("candidates"), r.at("search"), r.at("search.cpu"), perPair * 1e6,
              perPair * 5000);
  return 0;
}
