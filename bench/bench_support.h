// Helpers shared by the benchmark programs: running a measurement in a
// forked child so that its peak memory is its own, timing external
// commands, and a small option parser.
//
// Conventions of this header:
// - Sizes are bytes, times are seconds of wall-clock (steady) time.
// - A child reports its results as "key value" lines through a pipe.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "pedigree_generator.h"
#include "pedigree/pedigree.h"
#include "report/platform.h"
#include "report/progress.h"

namespace kinvar::bench {

using Results = std::map<std::string, double>;

struct ChildOutcome {
  bool ok = false;            // exited with status 0
  Results results;
  std::int64_t peakBytes = 0; // the child's maximum resident set size
};

// Forks; the child runs `body`, which fills `results`, and exits.
ChildOutcome RunInChild(const std::function<bool(Results&)>& body);

// Wall time of running `argv` with standard output sent to /dev/null; a
// negative value when it could not run or failed. `peakBytes`, when given,
// receives the command's maximum resident set size.
double TimeCommand(const std::vector<std::string>& argv, const std::string& env,
                   std::int64_t* peakBytes = nullptr);

// Peak and current resident set size of this process, from /proc.
std::int64_t PeakResidentBytes();
std::int64_t ResidentBytes();
// Restarts the peak from the current resident size (Linux clear_refs).
bool ResetPeakResident();

// Reads the file once so that every timed run finds it in the page cache.
void WarmPageCache(const std::string& path);

double Now();
// Processor seconds of this process, all its threads: steadier than wall
// time while other work shares the machine.
double CpuNow();
// Processor seconds that f() takes.
template <class F>
double CpuSecondsOf(F f) {
  const double start = CpuNow();
  f();
  return CpuNow() - start;
}

// --name value options; flags take no value.
class Options {
 public:
  Options(int argc, char** argv, const std::vector<std::string>& flags);
  std::string Get(const std::string& name, const std::string& fallback) const;
  std::int64_t Int(const std::string& name, std::int64_t fallback) const;
  // A comma-separated list of sizes, such as --sizes 100000,1000000.
  std::vector<std::int64_t> Sizes(const std::string& name, const std::string& fallback) const;
  bool Flag(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }
  const std::string& error() const { return error_; }

 private:
  std::map<std::string, std::string> values_;
  std::set<std::string> flagsSeen_;
  std::vector<std::string> positional_;
  std::string error_;
};

// The generator's options from --n (default `n`) and --seed (default 1).
GeneratorOptions GeneratorOf(const Options& args, std::int64_t n);

// For each size of --sizes (default 100000,1000000) with --seed: `measure`,
// then `print` of its results at once. 1 after telling that a size failed
// (`program` naming the benchmark), else 0.
int MeasureEachSize(const Options& args, const char* program,
                    const std::function<bool(std::int64_t n, std::uint64_t seed, Results&)>& measure,
                    const std::function<void(const Results&)>& print);

// --help prints `usage` and gives 0; an unknown option or a positional
// argument prints it on standard error and gives 2; otherwise -1: go on.
int UsageStatus(const Options& args, const char* usage);

// Nobody to ask: a benchmark sets the remembered inputs of a command itself,
// and never reaches a message or a picker.
class NullPlatform final : public Platform {
 public:
  Answer ShowMessage(const std::string&, MessageIcon) override { return Answer::kOk; }
  std::optional<std::string> AskFileName(const FileRequest&) override { return std::nullopt; }
  int ChooseSaveOption(const std::string&, const std::string&) override { return -1; }
  std::optional<std::string> PickIndividual(const IndividualPicker&) override {
    return std::nullopt;
  }
  std::optional<int> PickGroup(const GroupPicker&) override { return std::nullopt; }
  std::optional<std::pair<int, int>> PickTwoGroups(const GroupPicker&) override {
    return std::nullopt;
  }
  void ShowQueryDialog(const QueryDialog&) override {}
  std::unique_ptr<ProgressWindow> OpenProgress() override {
    return std::make_unique<SilentProgressWindow>();
  }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
};

// A progress window that only listens to the stage labels, for a benchmark
// that times the stages a command goes through.
class LabelWatcher : public ProgressWindow {
 public:
  void SetPosition(int) override {}
  bool PollCancel() override { return false; }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}
};

// Generates in a child process, so that the generator's memory never adds
// to a later measurement; exits the program on failure.
GeneratorSummary GenerateOrExit(const GeneratorOptions& options, const std::string& path);

std::string TempPath(const std::string& stem);

// The `count` individuals born latest (highest codes) but for the last
// `skip`, in code order.
std::vector<RecIndex> LatestBorn(const Pedigree& ped, std::int32_t count, std::int32_t skip = 0);

// The preamble of most benchmarks: generates `gen` into a temporary file,
// then in a child loads it, opens the report copy file, puts the records in
// code order, computes the inbreeding coefficients and runs body; removes
// the file. False when any step failed; the child's results otherwise.
bool MeasureOnGenerated(const GeneratorOptions& gen, const std::string& stem,
                        const std::function<bool(Pedigree&, Progress&, Results&)>& body,
                        Results& results);

}  // namespace kinvar::bench
