#include "genomics/blas_kernels.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "genomics/genomic_relationship.h"
#include "genomics/single_step.h"

namespace kinvar {
namespace {

TEST(BlasKernels, TheProcessorsOwnKernelsReplaceOnlyTheGenericOnes) {
  struct Row {
    std::string name;
    BlasSituation situation;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"AVX-512 under the generic kernels", {false, "Prescott", true, true, true}, "SkylakeX"},
      {"AVX2 and FMA under the generic kernels", {false, "Prescott", false, true, true}, "Haswell"},
      {"neither instruction set", {false, "Prescott", false, false, true}, ""},
      {"the user's variable", {true, "Prescott", true, true, true}, ""},
      {"a processor the library knew", {false, "Haswell", true, true, true}, ""},
      {"a build without re-initialisation", {false, "Prescott", true, true, false}, ""},
      {"not OpenBLAS", {false, "", true, true, false}, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(KernelsToChoose(row.situation), row.expected) << row.name;
}

bool ProcessorHasAvx2Fma() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool ProcessorHasAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512cd");
}

// Genotypes at frequencies spread over 0.05..0.95, about one call in `missingIn`
// missing (none at 0).
Genotypes RandomGenotypes(std::uint32_t seed, int animals, int snps, int missingIn) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Genotypes g;
  for (int a = 0; a < animals; ++a) g.ids.push_back("A" + std::to_string(a));
  for (int k = 0; k < snps; ++k) g.snps.push_back({"1", "S" + std::to_string(k), k + 1, "A", "B"});
  std::vector<double> q(static_cast<std::size_t>(snps));
  for (double& x : q) x = 0.05 + 0.9 * unit(rng);
  for (int a = 0; a < animals; ++a) {
    for (int k = 0; k < snps; ++k) {
      const double f = q[static_cast<std::size_t>(k)];
      auto x = static_cast<std::uint8_t>((unit(rng) < f) + (unit(rng) < f));
      if (missingIn > 0 && rng() % static_cast<unsigned>(missingIn) == 0) x = kMissingGenotype;
      g.codes.push_back(x);
    }
  }
  return g;
}

// VanRaden's first G over the explicit genotypes: the centred products
// summed one SNP at a time, a missing call at its mean.
std::vector<double> PlainG(const Genotypes& g, const std::vector<double>& p) {
  const std::int64_t n = g.AnimalCount();
  std::vector<double> centred(static_cast<std::size_t>(n * g.SnpCount()));
  double scale = 0.0;
  for (std::int64_t k = 0; k < g.SnpCount(); ++k) {
    const double q = p[static_cast<std::size_t>(k)];
    scale += 2.0 * q * (1.0 - q);
    for (std::int64_t a = 0; a < n; ++a) {
      const std::uint8_t x = g.At(a, k);
      centred[static_cast<std::size_t>(a * g.SnpCount() + k)] = x == kMissingGenotype ? 0.0 : x - 2.0 * q;
    }
  }
  std::vector<double> out(static_cast<std::size_t>(n * n));
  for (std::int64_t i = 0; i < n; ++i) {
    for (std::int64_t j = 0; j < n; ++j) {
      double sum = 0.0;
      for (std::int64_t k = 0; k < g.SnpCount(); ++k)
        sum += centred[static_cast<std::size_t>(i * g.SnpCount() + k)] * centred[static_cast<std::size_t>(j * g.SnpCount() + k)];
      out[static_cast<std::size_t>(i * n + j)] = sum / scale;
    }
  }
  return out;
}

double LargestDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double largest = a.size() == b.size() ? 0.0 : std::numeric_limits<double>::infinity();
  for (std::size_t c = 0; c < a.size() && c < b.size(); ++c) largest = std::max(largest, std::abs(a[c] - b[c]));
  return largest;
}

// Under whatever kernels the library runs (the child processes below force
// each in turn): G whole and by blocks of rows (syrk, gemm, in singles and
// doubles) is the formula's, and the Cholesky inverse single-step takes is
// an inverse. It prints the kernels for the parent to read.
TEST(BlasKernels, GIsTheFormulasUnderTheKernelsInUse) {
  struct Row {
    std::string name;
    int missingIn;
  };
  const std::vector<Row> rows = {{"no missing call (singles)", 0}, {"missing calls (doubles)", 50}};
  SilentProgressWindow window;
  for (const Row& row : rows) {
    const Genotypes g = RandomGenotypes(3, 150, 3000, row.missingIn);
    const std::vector<double> p = AlleleFrequencies(g);
    const std::vector<double> expected = PlainG(g, p);
    Progress progress(window);
    const DenseSymmetric whole = GenomicRelationship(g, p, GenomicMethod::kVanRaden1, progress);
    EXPECT_LT(LargestDifference(whole.values, expected), 1e-12) << row.name;

    std::vector<double> byRows(expected.size(), std::numeric_limits<double>::quiet_NaN());
    const GenomicRowOptions options{true, false, 8 * 150 * 40};
    ForEachGenomicRowBlock(g, p, GenomicMethod::kVanRaden1, options, [&](const GenomicRowBlock& b) {
      for (std::int64_t i = b.first; i < b.end; ++i)
        for (std::int64_t j = 0; j < b.columns; ++j) byRows[static_cast<std::size_t>(i * 150 + j)] = b.At(i, j);
      return true;
    }, progress);
    EXPECT_LT(LargestDifference(byRows, expected), 1e-12) << row.name;

    std::vector<double> inverse = whole.values;
    for (int i = 0; i < 150; ++i) inverse[static_cast<std::size_t>(i * 150 + i)] += 0.05;
    ASSERT_TRUE(InvertPositiveDefinite(inverse, 150)) << row.name;
    double offIdentity = 0.0;
    for (int i = 0; i < 150; ++i) {
      for (int j = 0; j < 150; ++j) {
        double sum = 0.0;
        for (int k = 0; k < 150; ++k)
          sum += (whole.At(i, k) + (i == k ? 0.05 : 0.0)) * inverse[static_cast<std::size_t>(k * 150 + j)];
        offIdentity = std::max(offIdentity, std::abs(sum - (i == j ? 1.0 : 0.0)));
      }
    }
    EXPECT_LT(offIdentity, 1e-9) << row.name;
  }
  std::printf("OpenBLAS kernels: %s.\n", BlasCore().c_str());
}

struct ChildRun {
  int status = -1;
  std::string out;
};

// This test program again, running the test above alone in a fresh
// process: with OPENBLAS_CORETYPE set before the library loads, as a user
// sets it, or (kernels empty) with the variable removed.
ChildRun RunUnderKernels(const std::string& kernels) {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  const std::string variable = kernels.empty() ? "env -u OPENBLAS_CORETYPE" : "OPENBLAS_CORETYPE=" + kernels;
  const std::string command = variable + " '" + std::string(path.data(), static_cast<std::size_t>(length)) +
                              "' --gtest_filter=BlasKernels.GIsTheFormulasUnderTheKernelsInUse 2>&1";
  ChildRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) run.out.append(buffer.data(), got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string KernelsPrinted(const std::string& out) {
  const std::string mark = "OpenBLAS kernels: ";
  const std::size_t at = out.find(mark);
  if (at == std::string::npos) return {};
  const std::size_t end = out.find('.', at);
  return out.substr(at + mark.size(), end - at - mark.size());
}

// Without the variable the library starts on whatever it recognised; the
// first genomic call must leave its generic kernels on a processor that has
// better ones, and take the newest it has.
TEST(BlasKernels, TheFirstGenomicCallLeavesTheGenericKernels) {
  if (!ProcessorHasAvx2Fma()) GTEST_SKIP() << "the processor has neither AVX2 nor AVX-512";
  const ChildRun run = RunUnderKernels("");
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string kernels = KernelsPrinted(run.out);
  EXPECT_NE(kernels, kGenericBlasCore) << run.out;
  EXPECT_FALSE(kernels.empty()) << run.out;
  if (ProcessorHasAvx512()) {
    EXPECT_NE(kernels, "Haswell") << "the AVX-512 processor got the AVX2 kernels";
  }
}

TEST(BlasKernels, AUsersChoiceOfKernelsWinsAndGivesTheSameG) {
  struct Row {
    std::string kernels;
    bool (*runs)();
  };
  const std::vector<Row> rows = {
      {"Prescott", [] { return true; }},
      {"Haswell", ProcessorHasAvx2Fma},
      {"SkylakeX", ProcessorHasAvx512},
  };
  for (const Row& row : rows) {
    if (!row.runs()) continue;
    const ChildRun run = RunUnderKernels(row.kernels);
    EXPECT_EQ(run.status, 0) << row.kernels << "\n" << run.out;
    EXPECT_EQ(KernelsPrinted(run.out), row.kernels) << run.out;
  }
}

}  // namespace
}  // namespace kinvar
