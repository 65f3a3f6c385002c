#include "genomics/single_step.h"


#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

#include "genetics/group_inverse.h"
#include "genetics/parallel.h"
#include "genetics/relationship.h"
#include "genomics/blas_kernels.h"
#include "genomics/genomic_relationship.h"
#include "genomics/lapack.h"

namespace kinvar {

namespace {

// Columns of A computed side by side: wide enough for the vector unit, few
// enough that a worker's block of the ancestors stays in cache.
constexpr int kLanes = 8;

std::size_t Cell(std::int64_t row, std::int64_t column, std::int64_t n) {
  return static_cast<std::size_t>(row * n + column);
}

}  // namespace

template <class T>
std::vector<double> PedigreeBlock(Pedigree& ped, const std::vector<T>& d,
                                  std::span<const RecIndex> genotyped, int threads, Progress& progress) {
  // The passes run in doubles on the same D: a float D widened keeps every
  // value it had.
  const std::vector<double> wide(d.begin(), d.end());
  const BasicAncestorSubset<double> subset = BuildAncestorSubset(ped, genotyped, wide);
  const auto n = static_cast<std::int64_t>(genotyped.size());
  const std::int32_t m = subset.kernel.size();
  std::vector<std::int32_t> local(genotyped.size());
  for (std::size_t k = 0; k < genotyped.size(); ++k) local[k] = subset.LocalOf(ped.rec(genotyped[k]));
  std::vector<double> a22(static_cast<std::size_t>(n * n));
  const auto blocks = static_cast<std::int32_t>((n + kLanes - 1) / kLanes);
  const int workers = WorkerCountFor(threads, n, 4 * kLanes);
  std::vector<std::vector<double>> work(static_cast<std::size_t>(workers));
  std::atomic<std::int64_t> done{0};
  const bool finished = RunBlocks(
      workers, blocks,
      [&](std::int32_t b, int worker) {
        std::vector<double>& block = work[static_cast<std::size_t>(worker)];
        block.assign((static_cast<std::size_t>(m) + 1) * kLanes, 0.0);
        const std::int64_t first = std::int64_t{b} * kLanes;
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kLanes, n - first));
        ComputeColumns<kLanes>(subset.kernel, std::span(local).subspan(static_cast<std::size_t>(first), count),
                               m, block.data());
        for (std::size_t l = 0; l < count; ++l)
          for (std::int64_t j = 0; j < n; ++j)
            a22[Cell(first + static_cast<std::int64_t>(l), j, n)] =
                block[static_cast<std::size_t>(local[static_cast<std::size_t>(j)]) * kLanes + l];
        done += static_cast<std::int64_t>(count);
      },
      [&] { return progress.Step(done.load()); });
  if (!finished) return {};
  return a22;
}

template std::vector<double> PedigreeBlock(Pedigree&, const std::vector<float>&, std::span<const RecIndex>,
                                           int, Progress&);
template std::vector<double> PedigreeBlock(Pedigree&, const std::vector<double>&, std::span<const RecIndex>,
                                           int, Progress&);

bool InvertPositiveDefinite(std::vector<double>& m, std::int64_t n) {
  if (n == 0) return true;
  const int order = static_cast<int>(n);
  int info = 0;
  PrepareBlas();
  // Row-major lower is column-major upper: the same triangle for a symmetric matrix.
  dpotrf_("L", &order, m.data(), &order, &info, 1);
  if (info != 0) return false;
  dpotri_("L", &order, m.data(), &order, &info, 1);
  if (info != 0) return false;
  MirrorTriangle(m, n, false);
  return true;
}

GenomicScaling ScaleToPedigree(std::vector<double>& g, const std::vector<double>& a22, std::int64_t n) {
  GenomicScaling s;
  if (n < 2) return s;
  double dA = 0, oA = 0, dG = 0, oG = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    dA += a22[Cell(i, i, n)];
    dG += g[Cell(i, i, n)];
    for (std::int64_t j = 0; j < i; ++j) {
      oA += a22[Cell(i, j, n)];
      oG += g[Cell(i, j, n)];
    }
  }
  const double pairs = static_cast<double>(n) * static_cast<double>(n - 1) / 2.0;
  s.diagonalA22 = dA / static_cast<double>(n);
  s.diagonalG = dG / static_cast<double>(n);
  s.offDiagonalA22 = oA / pairs;
  s.offDiagonalG = oG / pairs;
  const double spread = s.diagonalG - s.offDiagonalG;
  if (!(std::abs(spread) > 0.0) || !std::isfinite(spread)) return s;
  s.b = (s.diagonalA22 - s.offDiagonalA22) / spread;
  s.a = s.offDiagonalA22 - s.b * s.offDiagonalG;
  for (double& v : g) v = s.a + s.b * v;
  s.applied = true;
  return s;
}

namespace {

// A^-1 with the dense block added to the rows and columns `rows` (code - 1,
// ascending): each row's elements merged by column, a value of both summed
// in doubles and rounded once.
template <class T>
BasicSparseLower<T> AddGenomicBlock(const BasicSparseLower<T>& ainv, std::span<const std::int32_t> rows,
                                    const std::vector<double>& block, Progress& progress) {
  const auto n = static_cast<std::int64_t>(rows.size());
  std::vector<std::int32_t> blockRow(static_cast<std::size_t>(ainv.n), -1);
  for (std::size_t k = 0; k < rows.size(); ++k) blockRow[static_cast<std::size_t>(rows[k])] = static_cast<std::int32_t>(k);
  BasicSparseLower<T> h;
  h.n = ainv.n;
  h.rowStart.assign(static_cast<std::size_t>(h.n) + 1, 0);
  h.elements.reserve(static_cast<std::size_t>(ainv.Stored() + n * (n + 1) / 2));
  for (std::int32_t i = 0; i < h.n; ++i) {
    h.rowStart[static_cast<std::size_t>(i)] = static_cast<std::int64_t>(h.elements.size());
    const auto cells = ainv.Row(i);
    const std::int32_t k = blockRow[static_cast<std::size_t>(i)];
    if (k < 0) {
      h.elements.insert(h.elements.end(), cells.begin(), cells.end());
    } else {
      auto cell = cells.begin();
      const auto added = [&](std::int64_t j) { return block[Cell(k, j, n)]; };
      std::int64_t j = 0;
      while (cell != cells.end() || j <= k) {
        const std::int32_t blockColumn = j <= k ? rows[static_cast<std::size_t>(j)] : ainv.n;
        if (cell != cells.end() && cell->column < blockColumn) {
          h.elements.push_back(*cell++);
        } else if (cell != cells.end() && cell->column == blockColumn) {
          h.elements.push_back({blockColumn, static_cast<T>(static_cast<double>(cell->value) + added(j))});
          ++cell;
          ++j;
        } else {
          if (const auto value = static_cast<T>(added(j)); value != T(0))
            h.elements.push_back({blockColumn, value});
          ++j;
        }
      }
    }
    if (progress.Step(i)) return {};
  }
  h.rowStart[static_cast<std::size_t>(h.n)] = static_cast<std::int64_t>(h.elements.size());
  return h;
}

template <class T>
BasicInverseBuild<T> InverseOfPedigree(const Pedigree& ped, const std::vector<T>& d, Progress& progress) {
  return ped.geneticGroups.Active() ? BuildInverseWithGroups(ped, d, progress)
                                    : BuildInverseOfA(ped, d, progress);
}

int Between(int first, int last, int part, int parts) { return first + (last - first) * part / parts; }

}  // namespace

template <class T>
HInverseBuild<T> BuildHInverse(Pedigree& ped, const std::vector<T>& d,
                               std::span<const RecIndex> genotyped, std::vector<double> g,
                               const SingleStepOptions& options, Progress& progress, int lastPercent) {
  HInverseBuild<T> build;
  const auto n = static_cast<std::int64_t>(genotyped.size());
  try {
    progress.SetStage(0, Between(0, lastPercent, 1, 10), ped.nTotal - 1, "Computing the inverse of A");
    BasicInverseBuild<T> ainv = InverseOfPedigree(ped, d, progress);
    if (ainv.status == BuildStatus::kCanceled) return {SingleStepStatus::kCanceled, {}, {}};
    if (ainv.status != BuildStatus::kDone) return {SingleStepStatus::kNoMemory, {}, {}};
    progress.SetStage(Between(0, lastPercent, 1, 10), Between(0, lastPercent, 5, 10), n,
                      "Computing the pedigree relationships of the genotyped animals");
    std::vector<double> a22 = PedigreeBlock(ped, d, genotyped, options.threads, progress);
    if (a22.size() != g.size()) return {SingleStepStatus::kCanceled, {}, {}};
    progress.SetStage(Between(0, lastPercent, 5, 10), Between(0, lastPercent, 9, 10), 2,
                      "Inverting G and A22");
    if (options.scaleToA22) {
      build.scaling = ScaleToPedigree(g, a22, n);
      if (!build.scaling.applied) return {SingleStepStatus::kCannotScale, {}, build.scaling};
    }
    for (std::size_t c = 0; c < g.size(); ++c) g[c] = options.alpha * g[c] + options.beta * a22[c];
    SetGenomicThreads(options.threads);
    if (!InvertPositiveDefinite(g, n)) return {SingleStepStatus::kGNotPositiveDefinite, {}, build.scaling};
    if (progress.Step(1)) return {SingleStepStatus::kCanceled, {}, {}};
    if (!InvertPositiveDefinite(a22, n)) return {SingleStepStatus::kA22NotPositiveDefinite, {}, build.scaling};
    if (progress.Step(2)) return {SingleStepStatus::kCanceled, {}, {}};
    for (std::size_t c = 0; c < g.size(); ++c) g[c] = options.tau * g[c] - options.omega * a22[c];
    a22 = {};
    std::vector<std::int32_t> rows;
    rows.reserve(genotyped.size());
    for (const RecIndex ri : genotyped) rows.push_back(ped.rec(ri).code - 1);
    progress.SetStage(Between(0, lastPercent, 9, 10), lastPercent, ainv.matrix.n, "Adding the genomic block");
    build.matrix = AddGenomicBlock(ainv.matrix, rows, g, progress);
    if (build.matrix.n == 0 && ainv.matrix.n != 0) return {SingleStepStatus::kCanceled, {}, {}};
  } catch (const std::bad_alloc&) {
    return {SingleStepStatus::kNoMemory, {}, {}};
  }
  return build;
}

template HInverseBuild<float> BuildHInverse(Pedigree&, const std::vector<float>&, std::span<const RecIndex>,
                                            std::vector<double>, const SingleStepOptions&, Progress&, int);
template HInverseBuild<double> BuildHInverse(Pedigree&, const std::vector<double>&, std::span<const RecIndex>,
                                             std::vector<double>, const SingleStepOptions&, Progress&, int);

}  // namespace kinvar
