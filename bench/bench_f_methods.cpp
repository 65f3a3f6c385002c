// kinvar-bench-f-methods: the library's columns against the ancestor-list
// methods of f_methods.h on the same generated herds, in processor seconds
// and in the work each method steps through, with the growth per size and
// its extrapolation to 10 million.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "bench_support.h"
#include "f_methods.h"
#include "genetics/inbreeding.h"
#include "pedigree/load.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const char* const kUsage =
    "usage: kinvar-bench-f-methods [--sizes N,N,...] [--generations G] [--seed S]\n"
    "                              [--methods kernel,families,sires,animals]\n"
    "                              [--limit SECONDS] [--sample K] [--full-up-to N]\n"
    "  Defaults: sizes 100000,300000,1000000; generations 25 (the wide herd);\n"
    "  every method; 1 thread throughout. --limit stops a list method after\n"
    "  that many seconds (default 600; its figures are then lower bounds).\n"
    "  Above --full-up-to individuals (default 300000) the list methods run\n"
    "  every K-th unit only (--sample, default 10), their d's from the\n"
    "  columns' F, and the figures are scaled to the whole herd.\n";

constexpr double kTenMillion = 1e7;

struct Method {
  std::string name;
  ListMethod list;
};

const Method kListMethods[] = {
    {"families", ListMethod::kFamilies},
    {"sires", ListMethod::kSires},
    {"animals", ListMethod::kAnimals},
};

ListPedigree NumberedByCode(const Pedigree& ped) {
  ListPedigree p;
  for (std::int32_t c = 0; c < ped.nTotal; ++c) {
    const Rec& r = ped.byCode(c);
    p.sire.push_back(ped.rec(r.sire).code);
    p.dam.push_back(ped.rec(r.dam).code);
    p.predefinedF.push_back(r.fPredefined ? static_cast<double>(r.f)
                                          : std::numeric_limits<double>::quiet_NaN());
  }
  return p;
}

bool RunKernel(Pedigree& ped, Progress& progress, Results& r) {
  InbreedingOptions options;
  options.threads = 1;
  InbreedingWork work;
  options.work = &work;
  ped.inbreedingComputed = false;
  const double start = Now(), cpuStart = CpuNow();
  if (!ComputeInbreeding(ped, progress, options)) return false;
  r["kernel.cpu"] = CpuNow() - cpuStart;
  r["kernel.wall"] = Now() - start;
  r["kernel.work"] = static_cast<double>(work.backwardRows + work.forwardRows);
  r["kernel.units"] = r["kernel.total"] = static_cast<double>(work.columns);
  return true;
}

// One list method, with its largest difference from the columns' F and the
// mean F of the individuals it computed, by it and by the columns.
void RunLists(const Method& m, const ListPedigree& p, const std::vector<double>& given,
              const ListOptions& base, Results& r) {
  ListOptions o = base;
  o.method = m.list;
  const double start = Now(), cpuStart = CpuNow();
  const ListResult result = InbreedingByLists(p, o);
  const std::string k = m.name + ".";
  r[k + "cpu"] = CpuNow() - cpuStart;
  r[k + "wall"] = Now() - start;
  r[k + "work"] = static_cast<double>(result.entries);
  r[k + "units"] = static_cast<double>(result.units);
  r[k + "total"] = static_cast<double>(result.totalUnits);
  r[k + "stopped"] = result.stopped ? 1 : 0;
  double maxDiff = 0, sum = 0, sumGiven = 0;
  std::int64_t count = 0;
  for (std::size_t i = 1; i < result.f.size(); ++i) {
    if (std::isnan(result.f[i])) continue;
    maxDiff = std::max(maxDiff, std::abs(result.f[i] - given[i]));
    sum += result.f[i];
    sumGiven += given[i];
    ++count;
  }
  r[k + "maxDiff"] = maxDiff;
  r[k + "meanF"] = count > 0 ? sum / static_cast<double>(count) : 0;
  r[k + "meanGiven"] = count > 0 ? sumGiven / static_cast<double>(count) : 0;
}

bool Measure(const GeneratorOptions& gen, const std::vector<std::string>& methods,
             const ListOptions& listBase, Results& results) {
  const std::string path = TempPath("kinvar-bench-f-methods");
  GenerateOrExit(gen, path);
  const ChildOutcome child = RunInChild([&](Results& r) {
    SilentProgressWindow window;
    Progress progress(window);
    Pedigree ped;
    if (LoadPedigree(path, ped, progress).status != LoadStatus::kLoaded) return false;
    EnsureCodeOrder(ped);
    if (!RunKernel(ped, progress, r)) return false;
    const ListPedigree p = NumberedByCode(ped);
    std::vector<double> given(p.sire.size(), -1.0);
    for (std::int32_t c = 0; c < ped.nTotal; ++c) {
      given[static_cast<std::size_t>(c + 1)] = static_cast<double>(ped.byCode(c).f);
    }
    r["nTotal"] = ped.nTotal;
    for (const Method& m : kListMethods) {
      if (std::find(methods.begin(), methods.end(), m.name) == methods.end()) continue;
      ListOptions o = listBase;
      if (o.sample > 1) o.givenF = &given;
      std::printf("  %s...\n", m.name.c_str());
      std::fflush(stdout);
      RunLists(m, p, given, o, r);
    }
    return true;
  });
  std::remove(path.c_str());
  results = child.results;
  return child.ok;
}

struct Row {
  std::string method;
  double n = 0;
  double cpu = 0, wall = 0, work = 0;  // scaled to the whole herd
  double units = 0, total = 0;
  bool stopped = false;
  double maxDiff = 0, meanF = 0, meanGiven = 0;
};

Row RowOf(const std::string& method, double n, const Results& r) {
  const auto at = [&](const char* key) {
    const auto it = r.find(method + "." + key);
    return it == r.end() ? 0.0 : it->second;
  };
  Row row{method, n};
  row.units = at("units");
  row.total = at("total");
  const double scale = row.units > 0 ? row.total / row.units : 1;
  row.cpu = at("cpu") * scale;
  row.wall = at("wall") * scale;
  row.work = at("work") * scale;
  row.stopped = at("stopped") > 0;
  row.maxDiff = at("maxDiff");
  row.meanF = at("meanF");
  row.meanGiven = at("meanGiven");
  return row;
}

void PrintRows(const std::vector<Row>& rows) {
  std::printf("\n  %-9s %9s %11s %8s %9s %9s %10s %7s %9s %9s %9s\n", "method", "n", "units",
              "computed", "cpu, s", "wall, s", "work", "ns/unit", "max |dF|", "mean F", "mean F(c)");
  for (const Row& r : rows) {
    std::printf("  %-9s %9.0f %11.0f %7.1f%% %s%8.3f %9.3f %10.3e %7.2f %9.2e %9.6f %9.6f\n",
                r.method.c_str(), r.n, r.total, r.total > 0 ? 100 * r.units / r.total : 0,
                r.stopped ? ">" : " ", r.cpu, r.wall, r.work,
                r.work > 0 ? r.cpu * 1e9 / r.work : 0, r.maxDiff, r.meanF, r.meanGiven);
  }
}

// Growth between consecutive sizes of each method, and the 10-million
// figure the last two sizes' exponent gives.
void PrintGrowth(const std::vector<Row>& rows) {
  std::printf("\n  %-9s %21s %8s %8s %9s %16s %16s\n", "method", "sizes", "cpu x", "work x",
              "exponent", "10 M cpu, s", "10 M work");
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const Row& b = rows[k];
    const Row* a = nullptr;
    for (std::size_t j = 0; j < k; ++j) {
      if (rows[j].method == b.method && rows[j].n < b.n) a = &rows[j];
    }
    if (a == nullptr || a->cpu <= 0 || a->work <= 0) continue;
    const double sizes = std::log(b.n / a->n);
    const double e = std::log(b.work / a->work) / sizes;
    const double eCpu = std::log(b.cpu / a->cpu) / sizes;
    const double toTen = kTenMillion / b.n;
    std::printf("  %-9s %9.0f -> %9.0f %8.2f %8.2f %4.2f/%4.2f %16.0f %16.3e%s\n", b.method.c_str(),
                a->n, b.n, b.cpu / a->cpu, b.work / a->work, eCpu, e, b.cpu * std::pow(toTen, eCpu),
                b.work * std::pow(toTen, e), a->stopped || b.stopped ? " (bounds)" : "");
  }
  std::printf("\n  units: columns for the kernel (its work: rows of the backward and\n"
              "  forward passes, four lanes each); full-sib families, sires within a\n"
              "  generation, or animals for the lists (their work: ancestors taken out of a\n"
              "  list). Sampled runs are scaled to every unit; '>' marks a run the time\n"
              "  limit stopped (a lower bound). max |dF|: against the columns' F; mean F(c):\n"
              "  the columns' mean over the same individuals. exponent: cpu/work growth as\n"
              "  n^e between the two sizes, which the 10 M figures extrapolate.\n");
}

}  // namespace

int main(int argc, char** argv) {
  const Options args(argc, argv, {"help"});
  if (const int status = UsageStatus(args, kUsage); status >= 0) return status;
  GeneratorOptions gen;
  gen.seed = static_cast<std::uint64_t>(args.Int("seed", 1));
  gen.wideGenerations = static_cast<int>(args.Int("generations", 25));
  std::vector<std::string> methods;
  {
    const std::string list = args.Get("methods", "kernel,families,sires,animals") + ",";
    for (std::size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
      methods.push_back(list.substr(at, comma - at));
    }
  }
  const std::int64_t fullUpTo = args.Int("full-up-to", 300000);
  ListOptions base;
  base.secondsLimit = static_cast<double>(args.Int("limit", 600));
  std::vector<Row> rows;
  for (const std::int64_t n : args.Sizes("sizes", "100000,300000,1000000")) {
    gen.individuals = n;
    ListOptions o = base;
    o.sample = n > fullUpTo ? std::max<std::int64_t>(1, args.Int("sample", 10)) : 1;
    std::printf("wide %d, %lld individuals, lists %s...\n", gen.wideGenerations,
                static_cast<long long>(n),
                o.sample > 1 ? ("every " + std::to_string(o.sample) + "th unit").c_str() : "whole");
    std::fflush(stdout);
    Results r;
    if (!Measure(gen, methods, o, r)) {
      std::fprintf(stderr, "kinvar-bench-f-methods: %lld failed\n", static_cast<long long>(n));
      return 1;
    }
    const double nTotal = r.at("nTotal");
    std::vector<Row> these;
    if (std::find(methods.begin(), methods.end(), "kernel") != methods.end()) {
      these.push_back(RowOf("kernel", nTotal, r));
    }
    for (const Method& m : kListMethods) {
      if (r.count(m.name + ".cpu") > 0) these.push_back(RowOf(m.name, nTotal, r));
    }
    PrintRows(these);
    std::fflush(stdout);
    rows.insert(rows.end(), these.begin(), these.end());
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.method < b.method; });
  PrintRows(rows);
  PrintGrowth(rows);
  return 0;
}
