#include "bench_support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "genetics/inbreeding.h"
#include "pedigree/load.h"

namespace kinvar::bench {

namespace {

std::int64_t StatusKiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':') {
      return std::atoll(line.c_str() + n + 1);
    }
  }
  return -1;
}

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace

double Now() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::int64_t PeakResidentBytes() { return StatusKiB("VmHWM") * 1024; }
std::int64_t ResidentBytes() { return StatusKiB("VmRSS") * 1024; }

bool ResetPeakResident() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  return static_cast<bool>(out.flush());
}

ChildOutcome RunInChild(const std::function<bool(Results&)>& body) {
  ChildOutcome outcome;
  int fds[2];
  if (pipe(fds) != 0) return outcome;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return outcome;
  if (pid == 0) {
    close(fds[0]);
    Results results;
    const bool ok = body(results);
    std::ostringstream text;
    text.precision(17);
    for (const auto& [key, value] : results) text << key << ' ' << value << '\n';
    WriteAll(fds[1], text.str());
    close(fds[1]);
    std::fflush(nullptr);
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  std::istringstream text(ReadAll(fds[0]));
  close(fds[0]);
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return outcome;
  std::string key;
  double value = 0;
  while (text >> key >> value) outcome.results[key] = value;
  outcome.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  outcome.peakBytes = static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
  return outcome;
}

double TimeCommand(const std::vector<std::string>& argv, const std::string& env, std::int64_t* peakBytes) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(nullptr);
  const double start = Now();
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (!env.empty()) putenv(const_cast<char*>(env.c_str()));
    std::FILE* null = std::freopen("/dev/null", "w", stdout);
    if (null == nullptr) _exit(127);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return -1;
  const double seconds = Now() - start;
  if (peakBytes != nullptr) *peakBytes = static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

void WarmPageCache(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return;
  std::vector<char> buffer(1 << 20);
  while (std::fread(buffer.data(), 1, buffer.size(), f) > 0) {
  }
  std::fclose(f);
}

Options::Options(int argc, char** argv, const std::vector<std::string>& flags) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) {
      positional_.push_back(arg);
      continue;
    }
    const std::string name = argv[i] + 2;
    bool isFlag = false;
    for (const std::string& f : flags) isFlag = isFlag || f == name;
    if (isFlag) {
      flagsSeen_.insert(name);
    } else if (i + 1 < argc) {
      values_[name] = argv[++i];
    } else {
      error_ = "option " + arg + " needs a value";
    }
  }
}

std::string Options::Get(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

std::int64_t Options::Int(const std::string& name, std::int64_t fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : std::atoll(it->second.c_str());
}

bool Options::Flag(const std::string& name) const { return flagsSeen_.count(name) != 0; }

GeneratorSummary GenerateOrExit(const GeneratorOptions& options, const std::string& path) {
  const ChildOutcome child = RunInChild([&](Results& r) {
    GeneratorSummary s;
    std::string error;
    if (!GeneratePedigreeFile(options, path, s, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    r["lines"] = static_cast<double>(s.lines);
    r["parentsOnly"] = static_cast<double>(s.parentsOnly);
    r["bytes"] = static_cast<double>(s.bytes);
    r["generations"] = s.generations;
    return true;
  });
  if (!child.ok) {
    std::fprintf(stderr, "generating %s failed\n", path.c_str());
    std::exit(1);
  }
  GeneratorSummary s;
  s.lines = static_cast<std::int64_t>(child.results.at("lines"));
  s.parentsOnly = static_cast<std::int64_t>(child.results.at("parentsOnly"));
  s.bytes = static_cast<std::int64_t>(child.results.at("bytes"));
  s.generations = static_cast<int>(child.results.at("generations"));
  return s;
}

std::vector<std::int64_t> Options::Sizes(const std::string& name,
                                         const std::string& fallback) const {
  std::vector<std::int64_t> sizes;
  std::stringstream in(Get(name, fallback));
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty()) sizes.push_back(std::atoll(item.c_str()));
  return sizes;
}

int UsageStatus(const Options& args, const char* usage) {
  const bool help = args.Flag("help");
  if (!help && args.error().empty() && args.positional().empty()) return -1;
  std::fputs(usage, help ? stdout : stderr);
  return help ? 0 : 2;
}

GeneratorOptions GeneratorOf(const Options& args, std::int64_t n) {
  GeneratorOptions gen;
  gen.individuals = args.Int("n", n);
  gen.seed = static_cast<std::uint64_t>(args.Int("seed", 1));
  return gen;
}

int MeasureEachSize(const Options& args, const char* program,
                    const std::function<bool(std::int64_t n, std::uint64_t seed, Results&)>& measure,
                    const std::function<void(const Results&)>& print) {
  const auto seed = static_cast<std::uint64_t>(args.Int("seed", 1));
  for (const std::int64_t n : args.Sizes("sizes", "100000,1000000")) {
    Results r;
    if (!measure(n, seed, r)) {
      std::fprintf(stderr, "%s: %lld individuals failed\n", program, static_cast<long long>(n));
      return 1;
    }
    print(r);
    std::fflush(stdout);
  }
  return 0;
}

std::vector<RecIndex> LatestBorn(const Pedigree& ped, std::int32_t count, std::int32_t skip) {
  const auto end = ped.records.begin() + (ped.nTotal - skip);
  return {end - count, end};
}

std::string TempPath(const std::string& stem) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/" + stem + "-" +
         std::to_string(getpid()) + ".pdg";
}

bool MeasureOnGenerated(const GeneratorOptions& gen, const std::string& stem,
                        const std::function<bool(Pedigree&, Progress&, Results&)>& body,
                        Results& results) {
  const std::string path = TempPath(stem);
  GenerateOrExit(gen, path);
  const ChildOutcome child = RunInChild([&](Results& out) {
    SilentProgressWindow window;
    Progress progress(window);
    Pedigree ped;
    if (LoadPedigree(path, ped, progress).status != LoadStatus::kLoaded) return false;
    if (!ped.copyFile.Create()) return false;
    EnsureCodeOrder(ped);
    if (!ComputeInbreeding(ped, progress)) return false;
    out["nTotal"] = ped.nTotal;
    return body(ped, progress, out);
  });
  std::remove(path.c_str());
  if (child.ok) results = child.results;
  return child.ok;
}

}  // namespace kinvar::bench
