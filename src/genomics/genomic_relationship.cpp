#include "genomics/genomic_relationship.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <unordered_map>

#include "pedigree/number_text.h"

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

// Row-major rows x width block of scaled, centred genotypes from SNP
// `first` on; missing genotypes stand at the mean, i.e. 0.
void FillBlock(const Genotypes& g, const std::vector<double>& p, const std::vector<double>& scale,
               std::int64_t first, std::int64_t width, std::vector<double>& block,
               std::int64_t rows = -1) {
  const std::int64_t n = rows < 0 ? g.AnimalCount() : rows;
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

// out (rows x columns, row-major) += alpha * A B' over one block of SNPs,
// A being rows [first, end) and B rows [0, columns) of the same block: the
// columns before `first` and after `end` by dgemm, the square of the rows
// themselves by dsyrk (its lower triangle, half the work of a product).
void AddBlockProduct(const std::vector<double>& block, std::int64_t width, std::int64_t first,
                     std::int64_t end, std::int64_t columns, double alpha, std::vector<double>& out) {
  const int rows = static_cast<int>(end - first), w = static_cast<int>(width), ldc = static_cast<int>(columns);
  const double* a = block.data() + first * width;
  if (first > 0) {
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, rows, static_cast<int>(first), w, alpha, a, w,
                block.data(), w, 1.0, out.data(), ldc);
  }
  cblas_dsyrk(CblasRowMajor, CblasLower, CblasNoTrans, rows, w, alpha, a, w, 1.0, out.data() + first, ldc);
  if (columns > end) {
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, rows, static_cast<int>(columns - end), w, alpha, a, w,
                block.data() + end * width, w, 1.0, out.data() + end, ldc);
  }
}

// The square of a block's own rows holds its lower triangle only: its
// upper one mirrors it.
void MirrorSquare(std::int64_t first, std::int64_t end, std::int64_t columns, std::vector<double>& out) {
  for (std::int64_t i = first; i < end; ++i) {
    for (std::int64_t j = i + 1; j < end; ++j) {
      out[static_cast<std::size_t>((i - first) * columns + j)] = out[static_cast<std::size_t>((j - first) * columns + i)];
    }
  }
}

// 1 where an informative SNP is called, over rows [0, rows).
void FillCalled(const Genotypes& g, const std::vector<double>& scale, std::int64_t rows,
                std::int64_t first, std::int64_t width, std::vector<double>& block) {
  block.assign(static_cast<std::size_t>(rows * width), 0.0);
  for (std::int64_t a = 0; a < rows; ++a) {
    const std::uint8_t* row = g.Row(a) + first;
    for (std::int64_t k = 0; k < width; ++k) {
      const bool used = row[k] != kMissingGenotype && scale[static_cast<std::size_t>(first + k)] != 0.0;
      block[static_cast<std::size_t>(a * width + k)] = used ? 1.0 : 0.0;
    }
  }
}

bool AnyMissing(const Genotypes& g) {
  return std::find(g.codes.begin(), g.codes.end(), kMissingGenotype) != g.codes.end();
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

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

std::string ReadFrequencyFile(const std::string& path, const Genotypes& g, std::vector<double>& p) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "Cannot open the allele frequencies file " + path + ".";
  std::unordered_map<std::string, std::size_t> snpOf;
  for (std::size_t k = 0; k < g.snps.size(); ++k) snpOf.emplace(g.snps[k].name, k);
  p.assign(g.snps.size(), 0.0);
  std::vector<std::int64_t> lineOf(g.snps.size(), 0);
  std::string line;
  for (std::int64_t number = 1; std::getline(in, line); ++number) {
    const std::vector<std::string_view> words = Words(line);
    if (words.empty() || words[0][0] == '!' || words[0][0] == '#') continue;
    const std::string where = "Line " + std::to_string(number) + " of the allele frequencies file: ";
    if (words.size() != 2) {
      return where + "it has " + std::to_string(words.size()) + " columns in " + path +
             "; write the SNP's name and its frequency.";
    }
    const std::optional<double> value = WholeNumber(words[1]);
    if (!value) return where + QuotedCell(words[1]) + " in column 2 of " + path + " is not a number.";
    if (*value < 0.0 || *value > 1.0) {
      return where + QuotedCell(words[1]) + " in column 2 of " + path +
             " is not a frequency between 0 and 1.";
    }
    const auto it = snpOf.find(std::string(words[0]));
    if (it == snpOf.end()) continue;
    if (lineOf[it->second] != 0) {
      return where + "the SNP " + QuotedCell(words[0]) + " in column 1 of " + path +
             " was given already in line " + std::to_string(lineOf[it->second]) + ".";
    }
    lineOf[it->second] = number;
    p[it->second] = *value;
  }
  for (std::size_t k = 0; k < lineOf.size(); ++k) {
    if (lineOf[k] == 0) {
      return "The allele frequencies file " + path + " has no line for the SNP " +
             QuotedCell(g.snps[k].name) + ".";
    }
  }
  return {};
}

bool ForEachGenomicRowBlock(const Genotypes& g, const std::vector<double>& p, GenomicMethod method,
                            const GenomicRowOptions& options, const GenomicRowSink& sink,
                            Progress& progress) {
  const std::int64_t n = g.AnimalCount();
  const std::int64_t m = g.SnpCount();
  const double divisor = Divisor(p, method);
  if (n == 0) return true;
  const std::vector<double> scale = SnpScales(p, method);
  // Without a missing call every pair shares every informative SNP.
  const bool countCalls = options.counts && AnyMissing(g);
  const double used = static_cast<double>(SnpsUsed(p));
  const std::int64_t rowsPerBlock = std::clamp<std::int64_t>(
      options.blockBytes / (8 * n * (options.counts ? 2 : 1)), 1, n);
  const std::int64_t width = SnpBlockWidth(n);
  const std::int64_t blocks = (n + rowsPerBlock - 1) / rowsPerBlock;
  const std::int64_t chunks = std::max<std::int64_t>(1, (m + width - 1) / width);
  progress.SetStage(0, 100, blocks * chunks, "Genomic relationships");
  std::vector<double> values, called, snpBlock;
  for (std::int64_t b = 0; b < blocks; ++b) {
    GenomicRowBlock block;
    block.first = b * rowsPerBlock;
    block.end = std::min(n, block.first + rowsPerBlock);
    block.columns = options.fullRows ? n : block.end;
    const auto cells = static_cast<std::size_t>((block.end - block.first) * block.columns);
    values.assign(cells, 0.0);
    called.assign(options.counts ? cells : 0, countCalls ? 0.0 : used);
    for (std::int64_t first = 0; divisor > 0.0 && first < m; first += width) {
      if (progress.Step(b * chunks + first / width)) return false;
      const std::int64_t w = std::min(width, m - first);
      FillBlock(g, p, scale, first, w, snpBlock, block.columns);
      AddBlockProduct(snpBlock, w, block.first, block.end, block.columns, 1.0 / divisor, values);
    }
    for (std::int64_t first = 0; countCalls && first < m; first += width) {
      const std::int64_t w = std::min(width, m - first);
      FillCalled(g, scale, block.columns, first, w, snpBlock);
      AddBlockProduct(snpBlock, w, block.first, block.end, block.columns, 1.0, called);
    }
    MirrorSquare(block.first, block.end, block.columns, values);
    if (countCalls) MirrorSquare(block.first, block.end, block.columns, called);
    if (method == GenomicMethod::kYang && divisor > 0.0) {
      for (std::int64_t i = block.first; i < block.end; ++i) {
        values[static_cast<std::size_t>((i - block.first) * block.columns + i)] = YangDiagonal(g, p, i, divisor);
      }
    }
    block.values = values.data();
    block.counts = options.counts ? called.data() : nullptr;
    if (!sink(block)) return false;
  }
  return true;
}

std::vector<double> GenomicDiagonal(const Genotypes& g, const std::vector<double>& p,
                                    GenomicMethod method) {
  const std::int64_t n = g.AnimalCount();
  const double divisor = Divisor(p, method);
  const std::vector<double> scale = SnpScales(p, method);
  std::vector<double> diagonal(static_cast<std::size_t>(n), 0.0);
  if (divisor <= 0.0) return diagonal;
  for (std::int64_t a = 0; a < n; ++a) {
    if (method == GenomicMethod::kYang) {
      diagonal[static_cast<std::size_t>(a)] = YangDiagonal(g, p, a, divisor);
      continue;
    }
    const std::uint8_t* row = g.Row(a);
    double sum = 0.0;
    for (std::size_t k = 0; k < p.size(); ++k) {
      if (row[k] == kMissingGenotype || scale[k] == 0.0) continue;
      const double z = (row[k] - 2.0 * p[k]) * scale[k];
      sum += z * z;
    }
    diagonal[static_cast<std::size_t>(a)] = sum / divisor;
  }
  return diagonal;
}

void SetGenomicThreads(int setting) { openblas_set_num_threads(WorkerCount(setting)); }

}  // namespace kinvar
