// Microbenchmarks of the loading steps on a generated pedigree of 100000
// individuals, for quick comparisons while tuning; the headline figures come
// from kinvar-bench-load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "pedigree/load.h"
#include "pedigree/reader.h"
#include "pedigree/sort.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

const std::string& PedigreeFile() {
  static const std::string path = [] {
    GeneratorOptions gen;
    gen.individuals = 100000;
    std::string p = TempPath("kinvar-microbench");
    GenerateOrExit(gen, p);
    return p;
  }();
  return path;
}

void BM_Read(benchmark::State& state) {
  SilentProgressWindow window;
  Progress progress(window);
  for (auto _ : state) {
    Pedigree ped;
    benchmark::DoNotOptimize(ReadPedigree(PedigreeFile(), ped, progress).ok);
  }
}
BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State& state) {
  SilentProgressWindow window;
  Progress progress(window);
  for (auto _ : state) {
    Pedigree ped;
    benchmark::DoNotOptimize(LoadPedigree(PedigreeFile(), ped, progress).status);
  }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_SortById(benchmark::State& state) {
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree ped;
  ReadPedigree(PedigreeFile(), ped, progress);
  for (auto _ : state) {
    state.PauseTiming();
    ped.records.resize(static_cast<std::size_t>(ped.nRead));
    for (std::int32_t i = 0; i < ped.nRead; ++i) ped.records[static_cast<std::size_t>(i)] = i + 1;
    state.ResumeTiming();
    SortById(ped, 0, ped.nRead - 1);
  }
}
BENCHMARK(BM_SortById)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(PedigreeFile().c_str());
  return 0;
}
