#include "genomics/genomic_relationship.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>

#include "genetics/parallel.h"

namespace kinvar {
namespace {

// SNPs per dsyrk call: wide enough that BLAS runs at full speed, narrow
// enough that the block of centred genotypes stays far below G's own size.
std::int64_t SnpBlockWidth(std::int64_t animals) {
  const std::int64_t budget = std::int64_t{64} << 20;  // bytes of the block
  const std::int64_t width = budget / (8 * std::max<std::int64_t>(animals, 1));
  return std::clamp<std::int64_t>(width, 64, 4096);
}

bool Informative(double p) { return p > 0.0 && p < 1.0; }

// The scale each centred genotype is multiplied by before the product.
std::vector<double> SnpScales(const std::vector<double>& p, GenomicMethod method) {
  std::vector<double> scale(p.size(), 0.0);
  for (std::size_t k = 0; k < p.size(); ++k) {
    if (!Informative(p[k])) continue;
    scale[k] = method == GenomicMethod::kVanRaden1 ? 1.0 : 1.0 / std::sqrt(2.0 * p[k] * (1.0 - p[k]));
  }
  return scale;
}

// Row-major animals x width block of scaled, centred genotypes from SNP
// `first` on; missing genotypes stand at the mean, i.e. 0.
void FillBlock(const Genotypes& g, const std::vector<double>& p, const std::vector<double>& scale,
               std::int64_t first, std::int64_t width, std::vector<double>& block) {
  const std::int64_t n = g.AnimalCount();
  block.assign(static_cast<std::size_t>(n * width), 0.0);
  for (std::int64_t a = 0; a < n; ++a) {
    const std::uint8_t* row = g.Row(a) + first;
    double* out = block.data() + a * width;
    for (std::int64_t k = 0; k < width; ++k) {
      const std::size_t s = static_cast<std::size_t>(first + k);
      if (row[k] == kMissingGenotype || scale[s] == 0.0) continue;
      out[k] = (row[k] - 2.0 * p[s]) * scale[s];
    }
  }
}

// Yang's diagonal: 1 + (1/M) sum (x^2 - (1 + 2p)x + 2p^2) / 2p(1 - p) over
// the called informative SNPs; a missing genotype's expected term is 0.
double YangDiagonal(const Genotypes& g, const std::vector<double>& p, std::int64_t animal,
                    double used) {
  const std::uint8_t* row = g.Row(animal);
  double sum = 0.0;
  for (std::int64_t k = 0; k < g.SnpCount(); ++k) {
    const double q = p[static_cast<std::size_t>(k)];
    if (row[k] == kMissingGenotype || !Informative(q)) continue;
    const double x = row[k];
    sum += (x * x - (1.0 + 2.0 * q) * x + 2.0 * q * q) / (2.0 * q * (1.0 - q));
  }
  return 1.0 + sum / used;
}

double Divisor(const std::vector<double>& p, GenomicMethod method) {
  if (method != GenomicMethod::kVanRaden1) return static_cast<double>(SnpsUsed(p));
  double sum = 0.0;
  for (const double q : p) sum += Informative(q) ? 2.0 * q * (1.0 - q) : 0.0;
  return sum;
}

}  // namespace

std::vector<double> AlleleFrequencies(const Genotypes& g) {
  const std::int64_t m = g.SnpCount();
  std::vector<std::int64_t> sum(static_cast<std::size_t>(m), 0);
  std::vector<std::int64_t> called(static_cast<std::size_t>(m), 0);
  for (std::int64_t a = 0; a < g.AnimalCount(); ++a) {
    const std::uint8_t* row = g.Row(a);
    for (std::int64_t k = 0; k < m; ++k) {
      if (row[k] == kMissingGenotype) continue;
      sum[static_cast<std::size_t>(k)] += row[k];
      ++called[static_cast<std::size_t>(k)];
    }
  }
  std::vector<double> p(static_cast<std::size_t>(m), 0.0);
  for (std::size_t k = 0; k < p.size(); ++k) {
    if (called[k] > 0) p[k] = static_cast<double>(sum[k]) / (2.0 * static_cast<double>(called[k]));
  }
  return p;
}

std::int64_t SnpsUsed(const std::vector<double>& p) {
  return std::count_if(p.begin(), p.end(), Informative);
}

DenseSymmetric GenomicRelationship(const Genotypes& g, const std::vector<double>& p,
                                   GenomicMethod method, Progress& progress) {
  const std::int64_t n = g.AnimalCount();
  const std::int64_t m = g.SnpCount();
  const double divisor = Divisor(p, method);
  DenseSymmetric out;
  out.n = n;
  out.values.assign(static_cast<std::size_t>(n * n), 0.0);
  if (n == 0 || divisor <= 0.0) return out;

  const std::vector<double> scale = SnpScales(p, method);
  const std::int64_t width = SnpBlockWidth(n);
  const std::int64_t blocks = (m + width - 1) / width;
  progress.SetStage(0, 100, blocks, "Genomic relationships");
  std::vector<double> block;
  for (std::int64_t b = 0; b < blocks; ++b) {
    if (progress.Step(b)) return DenseSymmetric{0, {}, true};
    const std::int64_t first = b * width;
    const std::int64_t w = std::min(width, m - first);
    FillBlock(g, p, scale, first, w, block);
    cblas_dsyrk(CblasRowMajor, CblasLower, CblasNoTrans, static_cast<int>(n), static_cast<int>(w),
                1.0 / divisor, block.data(), static_cast<int>(w), 1.0, out.values.data(),
                static_cast<int>(n));
  }
  for (std::int64_t i = 0; i < n; ++i) {
    for (std::int64_t j = 0; j < i; ++j) {
      out.values[static_cast<std::size_t>(j * n + i)] = out.values[static_cast<std::size_t>(i * n + j)];
    }
    if (method == GenomicMethod::kYang) {
      out.values[static_cast<std::size_t>(i * n + i)] = YangDiagonal(g, p, i, divisor);
    }
  }
  return out;
}

void SetGenomicThreads(int setting) { openblas_set_num_threads(WorkerCount(setting)); }

}  // namespace kinvar
