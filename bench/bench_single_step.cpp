// kinvar-bench-single-step: the single-step H inverse on a generated
// pedigree with the youngest animals genotyped, its stages timed apart:
// A inverse, A22 from the relationship passes, G, the two Cholesky
// inversions and the merge into A inverse.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "genomics/genomic_relationship.h"
#include "genomics/single_step.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-single-step [--n 1000000] [--seed S] [--genotyped 20000] [--snps 50000]\n"
    "                                [--threads 0] [--h-only]\n"
    "  Times H inverse for a generated pedigree whose last --genotyped animals by code\n"
    "  (the youngest) are genotyped at --snps random SNPs: A22, G, the two inversions\n"
    "  and the whole build, against the target of 5 minutes for 20000 genotyped in a\n"
    "  million. --h-only leaves out A22 and its inversion timed apart.\n";

constexpr double kTarget = 300.0;

// Who chose the kernels the program prints: read before the first genomic
// call, which sets the variable itself when it moves the library off its
// generic kernels.
std::string BlasChoice() {
  const char* user = std::getenv("OPENBLAS_CORETYPE");
  return user != nullptr ? std::string(" (OPENBLAS_CORETYPE=") + user + ")" : " (OPENBLAS_CORETYPE not set)";
}

// The youngest animals, by code; their genotypes drawn at frequencies spread
// from 0.05 to 0.5 as a chip's are after quality control.
Genotypes RandomGenotypes(std::int64_t animals, std::int64_t snps, std::uint64_t seed) {
  Genotypes g;
  g.ids.resize(static_cast<std::size_t>(animals));
  g.snps.resize(static_cast<std::size_t>(snps));
  g.codes.resize(static_cast<std::size_t>(animals * snps));
  std::mt19937_64 random(seed);
  std::vector<double> p(static_cast<std::size_t>(snps));
  std::uniform_real_distribution<double> spread(0.05, 0.5);
  for (double& x : p) x = spread(random);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::int64_t a = 0; a < animals; ++a)
    for (std::int64_t s = 0; s < snps; ++s) {
      const double q = p[static_cast<std::size_t>(s)];
      g.codes[static_cast<std::size_t>(a * snps + s)] =
          static_cast<std::uint8_t>((unit(random) < q ? 1 : 0) + (unit(random) < q ? 1 : 0));
    }
  return g;
}

// The stages of BuildHInverse, by the labels it gives the progress bar,
// and the keys their seconds go under.
const std::pair<const char*, const char*> kHStages[] = {
    {"Computing the inverse of A", "hAinverse"},
    {"Computing the pedigree relationships of the genotyped animals", "hA22"},
    {"Inverting G and A22", "hInversions"},
    {"Adding the genomic block", "hMerge"},
};

// A progress window that times each stage from its label to the next.
class StageClock final : public LabelWatcher {
 public:
  explicit StageClock(Results& r) : r_(r) {
    for (const auto& [label, key] : kHStages) r_[key] = r_[std::string(key) + "Cpu"] = 0.0;
  }
  void SetLabel(const std::string& label) override {
    if (label == label_) return;
    Close();
    label_ = label;
    wall_ = Now();
    cpu_ = CpuNow();
  }
  // Ends the stage running: called at each new label and once at the end.
  void Close() {
    for (const auto& [label, key] : kHStages) {
      if (label_ != label) continue;
      r_[key] += Now() - wall_;
      r_[std::string(key) + "Cpu"] += CpuNow() - cpu_;
    }
    label_.clear();
  }

 private:
  Results& r_;
  std::string label_;
  double wall_ = 0.0, cpu_ = 0.0;
};

// One stage: its wall seconds into r[name], its processor seconds (all
// threads) into r[name + "Cpu"].
template <class F>
auto Timed(Results& r, const std::string& name, F&& stage) {
  const double wall = Now(), cpu = CpuNow();
  auto result = stage();
  r[name] = Now() - wall;
  r[name + "Cpu"] = CpuNow() - cpu;
  return result;
}

bool Measure(Pedigree& ped, const Options& args, Results& r) {
  const std::int64_t count = std::min<std::int64_t>(args.Int("genotyped", 20000), ped.nTotal);
  const std::int64_t snps = args.Int("snps", 50000);
  const int threads = static_cast<int>(args.Int("threads", 0));
  EnsureCodeOrder(ped);
  r["loaded"] = static_cast<double>(ResidentBytes());
  std::vector<RecIndex> genotyped;
  for (std::int64_t i = ped.nTotal - count; i < ped.nTotal; ++i)
    genotyped.push_back(ped.records[static_cast<std::size_t>(i)]);
  Genotypes g = RandomGenotypes(count, snps, 7);
  SilentProgressWindow window;
  Progress progress(window);
  SetGenomicThreads(threads);
  DenseSymmetric gm = Timed(r, "g", [&] {
    return GenomicRelationship(g, AlleleFrequencies(g), GenomicMethod::kVanRaden1, progress);
  });
  g = Genotypes{};
  progress.SetStage(0, 100, count, "");
  r["a22"] = r["a22Cpu"] = r["a22inverse"] = r["a22inverseCpu"] = 0.0;
  if (!args.Flag("h-only")) {
    std::vector<double> a22 = Timed(r, "a22", [&] { return PedigreeBlock(ped, ped.d, genotyped, threads, progress); });
    if (!Timed(r, "a22inverse", [&] { return InvertPositiveDefinite(a22, count); })) return false;
  }
  SingleStepOptions options;
  options.threads = threads;
  StageClock clock(r);
  Progress stages(clock);
  const HInverseBuild<float> h = Timed(r, "h", [&] {
    return BuildHInverse(ped, ped.d, genotyped, std::move(gm.values), options, stages);
  });
  clock.Close();
  r["peak"] = static_cast<double>(PeakResidentBytes());
  r["elements"] = static_cast<double>(h.matrix.Stored());
  r["genotyped"] = static_cast<double>(count);
  r["snps"] = static_cast<double>(snps);
  return h.status == SingleStepStatus::kDone;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help", "h-only"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const GeneratorOptions gen = GeneratorOf(args, 1000000);
  const std::string chosen = BlasChoice();
  Results r;
  const bool ok = MeasureOnGenerated(
      gen, "kinvar-bench-single-step-ped",
      [&](Pedigree& ped, Progress&, Results& out) { return Measure(ped, args, out); }, r);
  if (!ok) {
    std::fputs("kinvar-bench-single-step: failed\n", stderr);
    return 1;
  }
  // The products ran in a child process; the same choice here names its kernels.
  SetGenomicThreads(static_cast<int>(args.Int("threads", 0)));
  const double total = r.at("g") + r.at("h");
  std::printf("\n  %.0f individuals, %.0f genotyped at %.0f SNPs; OpenBLAS kernels: %s%s\n\n", r.at("nTotal"),
              r.at("genotyped"), r.at("snps"), BlasCore().c_str(), chosen.c_str());
  std::printf("  wall seconds, processor seconds of all threads\n");
  std::printf("  G (VanRaden 1)                 %9.3f s %9.1f s\n", r.at("g"), r.at("gCpu"));
  std::printf("  A22 by relationship passes     %9.3f s %9.1f s\n", r.at("a22"), r.at("a22Cpu"));
  std::printf("  A22 inverse by Cholesky        %9.3f s %9.1f s\n", r.at("a22inverse"), r.at("a22inverseCpu"));
  std::printf("  H inverse (A inverse, A22, both inversions, merge) %9.3f s %9.1f s, %.0f elements\n", r.at("h"),
              r.at("hCpu"), r.at("elements"));
  for (const auto& [label, key] : kHStages)
    std::printf("    %-62s %9.3f s %9.1f s\n", label, r.at(key), r.at(std::string(key) + "Cpu"));
  std::printf("  Peak resident memory %.0f MB, %.0f MB of it the loaded pedigree\n", r.at("peak") / 1e6,
              r.at("loaded") / 1e6);
  std::printf("\n  G and H inverse: %.3f s; target below %.0f s for 20000 genotyped in 1000000: %s\n", total,
              kTarget, total < kTarget ? "met" : "MISSED");
  return 0;
}
