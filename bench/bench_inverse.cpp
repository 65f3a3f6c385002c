// kinvar-bench-inverse: the inverse of A in sparse mode (building and writing
// timed apart, through the command's own handler) and the pedigree structure
// census, on a generated pedigree of 1000000 individuals.
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "analyses/inverse_a_command.h"
#include "analyses/structure.h"
#include "bench_support.h"
#include "genetics/inbreeding.h"
#include "genetics/inverse_a.h"
#include "genetics/x_linked.h"
#include "pedigree/load.h"
#include "report/report_copy_file.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-inverse [--n 1000000] [--seed S] [--generations G] [--f] [--double]\n"
    "  Times the inverse of A (non-zero elements and triplets; building and writing\n"
    "  apart), the building of the inverse of the X-linked relationships S and\n"
    "  Pedigree Structure on a generated pedigree; --double: the inverses in double\n"
    "  precision (the coefficients computed so before the clock starts).\n"
    "  --generations G: the generator's wide herd book of G birth generations.\n"
    "  The inverse is written as kinvar-cli writes text: without the table rows\n"
    "  that only --format reads.\n";

constexpr double kInverseTarget = 3.0;
constexpr double kStructureTarget = 2.0;
constexpr double kXLinkedTarget = 3.0;
// Triplets of a 10,000,000-animal herd book, building and writing (the
// coefficients are computed before the clock starts).
constexpr double kTripletsTarget10M = 30.0;
constexpr double kTargetSize = 10'000'000;

// Notes when the saving stage begins; the window goes with the command.
class StageClock final : public LabelWatcher {
 public:
  explicit StageClock(double& saving) : saving_(saving) {}
  void SetLabel(const std::string& label) override {
    if (label == "Saving the inverse of A") saving_ = Now();
  }

 private:
  double& saving_;
};

// Answers the Save As dialog with one path; the handler asks nothing else.
class BenchPlatform final : public Platform {
 public:
  explicit BenchPlatform(std::string path) : path_(std::move(path)) {}
  Answer ShowMessage(const std::string& text, MessageIcon) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return Answer::kOk;
  }
  std::optional<std::string> AskFileName(const FileRequest&) override { return path_; }
  int ChooseSaveOption(const std::string&, const std::string&) override { return 1; }
  std::optional<std::string> PickIndividual(const IndividualPicker&) override { return {}; }
  std::optional<int> PickGroup(const GroupPicker&) override { return {}; }
  std::optional<std::pair<int, int>> PickTwoGroups(const GroupPicker&) override { return {}; }
  void ShowQueryDialog(const QueryDialog&) override {}
  std::unique_ptr<ProgressWindow> OpenProgress() override {
    return std::make_unique<StageClock>(saving);
  }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
  double saving = 0;  // when the file began to be written

 private:
  std::string path_;
};

// Building and writing seconds of one output mode, and the file's size.
void TimeInverse(Pedigree& ped, InverseOutput output, const char* key, Results& r) {
  const std::string path = TempPath("kinvar-bench-inverse");
  BenchPlatform platform(path);
  std::int32_t lastCommand = 0;
  bool askInputs = true;
  RememberedInputs remembered;
  const std::string pedigreePath = "generated.pdg";
  CommandContext ctx{ped, platform, lastCommand, askInputs, remembered, pedigreePath};
  ResetPeakResident();
  const std::int64_t before = ResidentBytes();
  const std::clock_t cpu = std::clock();
  const double start = Now();
  WriteInverseOfA(ctx, output);
  const double end = Now();
  r[std::string(key) + ".cpu"] = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  r[std::string(key) + ".build"] = platform.saving - start;
  r[std::string(key) + ".write"] = end - platform.saving;
  r[std::string(key) + ".extra"] = static_cast<double>(PeakResidentBytes() - before);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) {
    std::fseek(file, 0, SEEK_END);
    r[std::string(key) + ".bytes"] = static_cast<double>(std::ftell(file));
    std::fclose(file);
  }
  std::remove(path.c_str());
}

// The generated file has no Sex column: a parent's sex is its role's, any
// other animal's the letter its ID carries before the serial number.
std::vector<Sex> GeneratedSexes(const Pedigree& ped) {
  std::vector<Sex> sex(static_cast<std::size_t>(ped.nTotal), Sex::kFemale);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const std::string_view id = ped.byCode(i).Id();
    const std::size_t letter = id.find_last_not_of("0123456789");
    if (letter != std::string_view::npos && (id[letter] == 'M' || id[letter] == 'm'))
      sex[static_cast<std::size_t>(i)] = Sex::kMale;
  }
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (r.sire != kUnknownParent) sex[static_cast<std::size_t>(ped.rec(r.sire).code - 1)] = Sex::kMale;
    if (r.dam != kUnknownParent) sex[static_cast<std::size_t>(ped.rec(r.dam).code - 1)] = Sex::kFemale;
  }
  return sex;
}

void TimeXLinkedInverse(Pedigree& ped, Results& r) {
  EnsureCodeOrder(ped);
  const std::vector<Sex> sex = GeneratedSexes(ped);
  SilentProgressWindow window;
  Progress progress(window);
  // Processor time beside the wall clock: the figures stay comparable on a
  // machine shared with other work.
  const std::clock_t cpu = std::clock();
  const double start = Now();
  const std::int64_t stored = ped.settings.precision == 1
                                 ? BuildXLinkedInverse<double>(ped, sex, progress).matrix.Stored()
                                 : BuildXLinkedInverse<float>(ped, sex, progress).matrix.Stored();
  r["xlinked"] = Now() - start;
  r["xlinked.cpu"] = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  r["xlinked.elements"] = static_cast<double>(stored);
}

void TimeStructure(Pedigree& ped, Results& r) {
  SilentProgressWindow window;
  Progress progress(window);
  StructureCensus census;
  const double start = Now();
  if (!ComputeStructure(ped, progress, census)) return;
  WriteStructureReport(ped, census);
  r["structure"] = Now() - start;
  r["groups"] = ped.nGroups;
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"f", "double", "help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  GeneratorOptions gen = GeneratorOf(args, 1000000);
  gen.fColumn = args.Flag("f");
  gen.wideGenerations = static_cast<int>(args.Int("generations", 0));
  Results r;
  const bool ok = MeasureOnGenerated(
      gen, "kinvar-bench-inverse-ped", [&](Pedigree& ped, Progress& progress, Results& out) {
    ped.writtenTables.SetRowsWanted(false);
    if (args.Flag("double")) {
      ped.settings.precision = 1;
      EnsureCodeOrder(ped);
      if (!ComputeInbreeding(ped, progress)) return false;
    }
    TimeInverse(ped, InverseOutput::kNonZero, "sparse", out);
    TimeInverse(ped, InverseOutput::kTriplets, "triplets", out);
    TimeXLinkedInverse(ped, out);
    TimeStructure(ped, out);
    return true;
  }, r);
  if (!ok) {
    std::fputs("kinvar-bench-inverse: failed\n", stderr);
    return 1;
  }
  const double n = r.at("nTotal");
  std::printf("\n  %lld individuals\n\n  %-22s %9s %9s %9s %9s %9s %9s\n", static_cast<long long>(n),
              "inverse of A", "build, s", "write, s", "total, s", "cpu, s", "extra B/n", "file MB");
  for (const char* key : {"sparse", "triplets"}) {
    const std::string k = key;
    const double total = r.at(k + ".build") + r.at(k + ".write");
    std::printf("  %-22s %9.3f %9.3f %9.3f %9.3f %9.1f %9.1f\n", key, r.at(k + ".build"),
                r.at(k + ".write"), total, r.at(k + ".cpu"), r.at(k + ".extra") / n,
                r.at(k + ".bytes") / 1e6);
  }
  std::printf("\n  Inverse of S, building: %.3f s, processor %.3f s (%.0f elements)\n",
              r.at("xlinked"), r.at("xlinked.cpu"), r.at("xlinked.elements"));
  const double sparseTotal = r.at("sparse.build") + r.at("sparse.write");
  std::printf("\n  Pedigree Structure, %d groups: %.3f s\n", static_cast<int>(r.at("groups")),
              r.at("structure"));
  std::printf("\n  Targets: inverse of A (sparse) below %.0f s: %s; structure below %.0f s: %s\n",
              kInverseTarget, sparseTotal < kInverseTarget ? "met" : "MISSED", kStructureTarget,
              r.at("structure") < kStructureTarget ? "met" : "MISSED");
  std::printf("  Target: inverse of S below %.0f s: %s\n", kXLinkedTarget,
              r.at("xlinked") < kXLinkedTarget ? "met" : "MISSED");
  // Below 10,000,000 animals the figure is carried to that size in
  // proportion, and says so: building and writing are linear in n.
  const double triplets = r.at("triplets.build") + r.at("triplets.write");
  const double at10M = triplets * kTargetSize / n;
  std::printf("  Target: triplets of 10,000,000 below %.0f s: %.3f s (processor %.3f s)%s: %s\n",
              kTripletsTarget10M, at10M, r.at("triplets.cpu") * kTargetSize / n,
              n < kTargetSize ? ", carried from this size in proportion" : "",
              at10M < kTripletsTarget10M ? "met" : "MISSED");
  return 0;
}
