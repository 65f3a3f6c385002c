// kinvar-bench-metafounders: inbreeding and the triplets of the inverse of A
// on a generated pedigree of 1000000 individuals, plain, with 20 genetic
// groups standing for every unknown parent (A* inverse), and with 20
// metafounders in their place (A^Gamma and its inverse).
#include <cstdio>
#include <memory>
#include <string>

#include "analyses/lower_matrix_file.h"
#include "bench_support.h"
#include "genetics/group_inverse.h"
#include "genetics/inbreeding.h"
#include "genetics/inverse_a.h"
#include "report/output_file.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-metafounders [--n 1000000] [--seed S] [--metafounders 20]\n"
    "  Times F and the triplets of the inverse of A, plain, with as many genetic\n"
    "  groups and with metafounders standing for the unknown parents of a\n"
    "  generated pedigree.\n";

// Group k + 1 for the unknown parents of every g-th record, as a groups
// file read before the pedigree would give them. With `gamma` the groups
// are metafounders whose Gamma is 0.3 I plus 0.02 everywhere, positive
// definite.
void AssignGroups(Pedigree& ped, int g, bool gamma) {
  GeneticGroups& groups = ped.geneticGroups;
  ForgetGroups(groups);
  for (int k = 1; k <= g; ++k) groups.ids.push_back("G" + std::to_string(k));
  if (gamma) {
    groups.gamma.assign(static_cast<std::size_t>(g * g), 0.02);
    for (int k = 0; k < g; ++k) groups.gamma[static_cast<std::size_t>(k * g + k)] = 0.32;
    groups.gammaSource = "bench";
  }
  groups.sireGroup.assign(ped.recs.size(), -1);
  groups.damGroup.assign(ped.recs.size(), -1);
  for (RecIndex i = 1; i < static_cast<RecIndex>(ped.recs.size()); ++i) {
    const Rec& r = ped.rec(i);
    if (r.sire == kUnknownParent) groups.sireGroup[static_cast<std::size_t>(i)] = i % g;
    if (r.dam == kUnknownParent) groups.damGroup[static_cast<std::size_t>(i)] = (i / g) % g;
  }
}

// Seconds of F, and of building and writing the triplets.
void TimeRun(Pedigree& ped, Progress& progress, const std::string& key, Results& r) {
  double start = Now();
  if (!ComputeInbreeding(ped, progress)) return;
  r[key + ".f"] = Now() - start;
  start = Now();
  InverseBuild build = ped.geneticGroups.Active() ? BuildInverseWithGroups(ped, ped.d, progress)
                                                  : BuildInverseOfA(ped, ped.d, progress);
  r[key + ".build"] = Now() - start;
  const std::string path = TempPath("kinvar-bench-metafounders");
  std::string error;
  std::unique_ptr<OutputFile> file = OutputFile::Begin(path, error);
  start = Now();
  if (file && WriteTriplets(build.matrix, *file, progress) && file->Commit())
    r[key + ".write"] = Now() - start;
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  const GeneratorOptions gen = GeneratorOf(args, 1000000);
  const int g = static_cast<int>(args.Int("metafounders", 20));
  Results r;
  const bool ok = MeasureOnGenerated(
      gen, "kinvar-bench-metafounders-ped", [&](Pedigree& ped, Progress& progress, Results& out) {
        TimeRun(ped, progress, "plain", out);
        AssignGroups(ped, g, false);
        TimeRun(ped, progress, "groups", out);
        AssignGroups(ped, g, true);
        TimeRun(ped, progress, "metafounders", out);
        return true;
      }, r);
  if (!ok || r.count("metafounders.write") == 0) {
    std::fputs("kinvar-bench-metafounders: failed\n", stderr);
    return 1;
  }
  std::printf("\n  %lld individuals, %d groups or metafounders\n\n  %-14s %9s %9s %9s\n",
              static_cast<long long>(r.at("nTotal")), g, "", "F, s", "build, s", "write, s");
  for (const char* key : {"plain", "groups", "metafounders"}) {
    const std::string k = key;
    std::printf("  %-14s %9.3f %9.3f %9.3f\n", key, r.at(k + ".f"), r.at(k + ".build"),
                r.at(k + ".write"));
  }
  return 0;
}
