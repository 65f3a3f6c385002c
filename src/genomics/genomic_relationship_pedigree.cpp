#include "genomics/genomic_relationship_pedigree.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kinvar {
namespace {

// D by code in doubles: the double coefficients' when they were computed,
// else the single ones widened, so A22 has the inbreeding's D either way.
std::vector<double> VariancesByCode(const Pedigree& ped) {
  const auto size = static_cast<std::size_t>(ped.nTotal) + 1;
  if (ped.dDouble.size() == size) return ped.dDouble;
  return std::vector<double>(ped.d.begin(), ped.d.end());
}

double Dot(const std::vector<double>& x, const std::vector<double>& y) {
  double sum = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) sum += x[i] * y[i];
  return sum;
}

// A22^-1 1 by conjugate gradients; A22 is positive definite, its smallest
// eigenvalue at least the smallest d, so the iterations are few.
std::vector<double> SolveForOnes(A22Kernel& kernel, Progress& progress, bool& cancelled) {
  const std::size_t n = kernel.local.size();
  std::vector<double> x(n, 0.0), r(n, 1.0), p(n, 1.0), q;
  double rr = Dot(r, r);
  const double stop = rr * 1e-24;
  const std::int64_t maxIterations = std::max<std::int64_t>(100, 4 * static_cast<std::int64_t>(n));
  progress.SetStage(0, 50, maxIterations, "Base allele frequencies");
  for (std::int64_t it = 0; it < maxIterations && rr > stop; ++it) {
    if (progress.Step(it)) {
      cancelled = true;
      return {};
    }
    A22Times(kernel, p, q);
    const double alpha = rr / Dot(p, q);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] += alpha * p[i];
      r[i] -= alpha * q[i];
    }
    const double next = Dot(r, r);
    for (std::size_t i = 0; i < n; ++i) p[i] = r[i] + (next / rr) * p[i];
    rr = next;
  }
  return x;
}

struct ByDifference {
  bool operator()(const PairDifference& x, const PairDifference& y) const {
    const double dx = std::abs(x.g - x.a), dy = std::abs(y.g - y.a);
    if (dx != dy) return dx > dy;
    return x.i != y.i ? x.i < y.i : x.j < y.j;
  }
};

// Keeps the `top` largest differences seen, as a heap whose first is the
// smallest kept.
void Offer(std::vector<PairDifference>& heap, std::int32_t top, const PairDifference& pair) {
  if (top <= 0) return;
  if (static_cast<std::int32_t>(heap.size()) < top) {
    heap.push_back(pair);
    std::push_heap(heap.begin(), heap.end(), ByDifference{});
  } else if (ByDifference{}(pair, heap.front())) {
    std::pop_heap(heap.begin(), heap.end(), ByDifference{});
    heap.back() = pair;
    std::push_heap(heap.begin(), heap.end(), ByDifference{});
  }
}

}  // namespace

A22Kernel MakeA22Kernel(Pedigree& ped, const std::vector<RecIndex>& recOf) {
  A22Kernel kernel;
  kernel.subset = BuildAncestorSubset<double>(ped, recOf, VariancesByCode(ped));
  kernel.local.reserve(recOf.size());
  for (const RecIndex r : recOf) kernel.local.push_back(kernel.subset.LocalOf(ped.rec(r)));
  return kernel;
}

void A22Column(A22Kernel& kernel, std::int64_t j, std::vector<double>& out) {
  BasicKernelPedigree<double>& kp = kernel.subset.kernel;
  const std::int32_t m = kp.size();
  ComputeColumn(kp, kernel.local[static_cast<std::size_t>(j)], m);
  out.resize(kernel.local.size());
  for (std::size_t i = 0; i < kernel.local.size(); ++i) out[i] = kp.at(kernel.local[i]);
  ClearWork(kp, m);
}

void A22Times(A22Kernel& kernel, const std::vector<double>& v, std::vector<double>& out) {
  BasicKernelPedigree<double>& kp = kernel.subset.kernel;
  const std::int32_t m = kp.size();
  for (std::size_t i = 0; i < kernel.local.size(); ++i) kp.at(kernel.local[i]) += v[i];
  BackwardPass(kp, m);
  ForwardPass(kp, m);
  out.resize(kernel.local.size());
  for (std::size_t i = 0; i < kernel.local.size(); ++i) out[i] = kp.at(kernel.local[i]);
  ClearWork(kp, m);
}

std::vector<double> FounderFrequencies(A22Kernel& kernel, const Genotypes& g, Progress& progress) {
  bool cancelled = false;
  const std::vector<double> weight = SolveForOnes(kernel, progress, cancelled);
  if (cancelled) return {};
  const std::int64_t m = g.SnpCount();
  std::vector<double> sum(static_cast<std::size_t>(m), 0.0), called(static_cast<std::size_t>(m), 0.0);
  progress.SetStage(50, 100, g.AnimalCount(), "Base allele frequencies");
  for (std::int64_t a = 0; a < g.AnimalCount(); ++a) {
    if (progress.Step(a)) return {};
    const double w = weight[static_cast<std::size_t>(a)];
    const std::uint8_t* row = g.Row(a);
    for (std::int64_t k = 0; k < m; ++k) {
      if (row[k] == kMissingGenotype) continue;
      sum[static_cast<std::size_t>(k)] += w * row[k];
      called[static_cast<std::size_t>(k)] += w;
    }
  }
  std::vector<double> p(static_cast<std::size_t>(m), 0.0);
  for (std::size_t k = 0; k < p.size(); ++k) {
    if (called[k] > 0.0) p[k] = std::clamp(sum[k] / (2.0 * called[k]), 0.0, 1.0);
  }
  return p;
}

// A variance per element below this is rounding (A's values are single
// precision), not a spread a line could be fitted to.
constexpr double kFlat = 1e-9;

double PairSums::Slope() const {
  const double c = static_cast<double>(count);
  const double sxx = aa - a * a / c;
  if (!(sxx > kFlat * c)) return std::numeric_limits<double>::quiet_NaN();
  return (ag - a * g / c) / sxx;
}

double PairSums::Correlation() const {
  const double c = static_cast<double>(count);
  const double sxx = aa - a * a / c, syy = gg - g * g / c;
  if (!(sxx > kFlat * c) || !(syy > kFlat * c)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return (ag - a * g / c) / std::sqrt(sxx * syy);
}

void CompareRow(A22Kernel& kernel, std::int64_t i, const double* gRow, std::int32_t topPairs,
                GenomicPedigreeComparison& out) {
  std::vector<double>& column = kernel.column;
  A22Column(kernel, i, column);
  for (std::int64_t j = 0; j < i; ++j) {
    const double a = column[static_cast<std::size_t>(j)];
    out.offDiagonal.Add(a, gRow[j]);
    out.all.Add(a, gRow[j]);
    Offer(out.largest, topPairs, {i, j, gRow[j], a});
  }
  out.diagonal.Add(column[static_cast<std::size_t>(i)], gRow[i]);
  out.all.Add(column[static_cast<std::size_t>(i)], gRow[i]);
}

void FinishComparison(GenomicPedigreeComparison& out) {
  std::sort_heap(out.largest.begin(), out.largest.end(), ByDifference{});
}

GenomicPedigreeComparison CompareWithPedigree(A22Kernel& kernel, const DenseSymmetric& G,
                                              std::int32_t topPairs, Progress& progress) {
  GenomicPedigreeComparison out;
  progress.SetStage(0, 100, G.n, "Genomic against pedigree relationships");
  for (std::int64_t i = 0; i < G.n; ++i) {
    if (progress.Step(i)) return {{}, {}, {}, {}, true};
    CompareRow(kernel, i, G.values.data() + i * G.n, topPairs, out);
  }
  FinishComparison(out);
  return out;
}

}  // namespace kinvar
