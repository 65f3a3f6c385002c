#include "genomics/genomic_relationship.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "pedigree/number_text.h"

#include "genomics/blas_kernels.h"

#include "genetics/parallel.h"

namespace kinvar {
namespace {

// SNPs per product call: wide enough that BLAS runs at full speed and G is
// swept few times, narrow enough that the block of genotypes stays far below
// G's own size.
std::int64_t SnpBlockWidth(std::int64_t animals, std::int64_t bytesPerCell = 8) {
  const std::int64_t budget = std::int64_t{128} << 20;  // bytes of the block
  const std::int64_t width = budget / (bytesPerCell * std::max<std::int64_t>(animals, 1));
  return std::clamp<std::int64_t>(width, 64, 8192);
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

// The BLAS products in either precision.
void Syrk(int n, int k, double alpha, const double* a, double* c, int ldc) {
  cblas_dsyrk(CblasRowMajor, CblasLower, CblasNoTrans, n, k, alpha, a, k, 1.0, c, ldc);
}
void Syrk(int n, int k, float alpha, const float* a, float* c, int ldc) {
  cblas_ssyrk(CblasRowMajor, CblasLower, CblasNoTrans, n, k, alpha, a, k, 1.0f, c, ldc);
}
void Gemm(int rows, int columns, int k, double alpha, const double* a, const double* b, double* c, int ldc) {
  cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, rows, columns, k, alpha, a, k, b, k, 1.0, c, ldc);
}
void Gemm(int rows, int columns, int k, float alpha, const float* a, const float* b, float* c, int ldc) {
  cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasTrans, rows, columns, k, alpha, a, k, b, k, 1.0f, c, ldc);
}

// out (rows x columns, row-major) += alpha * A B' over one block of SNPs,
// A being rows [first, end) and B rows [0, columns) of the same block: the
// columns before `first` and after `end` by gemm, the square of the rows
// themselves by syrk (its lower triangle, half the work of a product).
template <class T>
void AddBlockProduct(const std::vector<T>& block, std::int64_t width, std::int64_t first, std::int64_t end,
                     std::int64_t columns, T alpha, T* out) {
  const int rows = static_cast<int>(end - first), w = static_cast<int>(width), ldc = static_cast<int>(columns);
  const T* a = block.data() + first * width;
  if (first > 0) Gemm(rows, static_cast<int>(first), w, alpha, a, block.data(), out, ldc);
  Syrk(rows, w, alpha, a, out + first, ldc);
  if (columns > end) Gemm(rows, static_cast<int>(columns - end), w, alpha, a, block.data() + end * width, out + end, ldc);
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

// VanRaden's first G without a missing call needs no centred genotypes: the
// products of the 0/1/2 codes are whole numbers, exact in single precision
// while every sum stays below 2^24 (4 a SNP), so ssyrk gives them at twice
// dsyrk's speed, and centring afterwards by the rank-one corrections
//   sum (x_i - 2p)(x_j - 2p) = x_i.x_j - s_i - s_j + c,
//   s_i = sum 2p x_i,  c = sum 4p^2  (over the informative SNPs)
// leaves only the rounding of those corrections in doubles.
constexpr std::int64_t kExactFloatSum = std::int64_t{1} << 24;

struct Centring {
  std::vector<double> rowSums;  // s_i by animal
  double square = 0.0;          // c
  double divisor = 0.0;
};

std::vector<std::uint8_t> InformativeMask(const std::vector<double>& p) {
  std::vector<std::uint8_t> mask(p.size());
  for (std::size_t k = 0; k < p.size(); ++k) mask[k] = Informative(p[k]) ? 1 : 0;
  return mask;
}

bool IntegerProductExact(const Genotypes& g, const std::vector<double>& p, GenomicMethod method) {
  if (method != GenomicMethod::kVanRaden1 || 4 * SnpsUsed(p) >= kExactFloatSum) return false;
  const std::vector<std::uint8_t> mask = InformativeMask(p);
  const std::int64_t m = g.SnpCount();
  for (std::int64_t a = 0; a < g.AnimalCount(); ++a) {
    const std::uint8_t* row = g.Row(a);
    std::uint8_t uncalled = 0;  // a code other than 0/1/2 at a SNP that counts
    for (std::int64_t k = 0; k < m; ++k) uncalled |= static_cast<std::uint8_t>((row[k] > 2) & mask[static_cast<std::size_t>(k)]);
    if (uncalled != 0) return false;
  }
  return true;
}

Centring CentringOf(const Genotypes& g, const std::vector<double>& p, double divisor) {
  Centring c;
  c.divisor = divisor;
  std::vector<double> twiceP(p.size(), 0.0);
  for (std::size_t k = 0; k < p.size(); ++k) {
    if (!Informative(p[k])) continue;
    twiceP[k] = 2.0 * p[k];
    c.square += twiceP[k] * twiceP[k];
  }
  c.rowSums.assign(static_cast<std::size_t>(g.AnimalCount()), 0.0);
  for (std::int64_t a = 0; a < g.AnimalCount(); ++a) {
    const std::uint8_t* row = g.Row(a);
    double sum = 0.0;
    for (std::size_t k = 0; k < p.size(); ++k) sum += twiceP[k] * row[k];
    c.rowSums[static_cast<std::size_t>(a)] = sum;
  }
  return c;
}

// Row-major rows x width block of the codes from SNP `first` on, as floats,
// 0 at the SNPs that do not count.
void FillCodes(const Genotypes& g, const std::vector<std::uint8_t>& mask, std::int64_t first, std::int64_t width,
               std::int64_t rows, std::vector<float>& block) {
  block.resize(static_cast<std::size_t>(rows * width));
  for (std::int64_t a = 0; a < rows; ++a) {
    const std::uint8_t* row = g.Row(a) + first;
    const std::uint8_t* counts = mask.data() + first;
    float* out = block.data() + a * width;
    for (std::int64_t k = 0; k < width; ++k) out[k] = static_cast<float>(row[k] * counts[k]);
  }
}

// The products were accumulated as floats in the first half of `values`'
// storage, rows x columns from row `first` on; each becomes its element of G
// in place, from the last cell back: the double written at cell t covers
// the floats 2t and 2t + 1, both read already. The upper triangle of the
// rows' own square is left (it mirrors the lower one).
void CentreProducts(std::vector<double>& values, std::int64_t first, std::int64_t rows, std::int64_t columns,
                    const Centring& c) {
  auto* bytes = reinterpret_cast<unsigned char*>(values.data());
  const auto centre = [&](std::int64_t t, double rowPart, std::int64_t j) {
    float product = 0.0f;
    std::memcpy(&product, bytes + 4 * t, sizeof product);
    const double value = (static_cast<double>(product) - rowPart - c.rowSums[static_cast<std::size_t>(j)]) / c.divisor;
    std::memcpy(bytes + 8 * t, &value, sizeof value);
  };
  const std::int64_t end = first + rows;
  for (std::int64_t r = rows - 1; r >= 0; --r) {
    const std::int64_t i = first + r;
    const double rowPart = c.rowSums[static_cast<std::size_t>(i)] - c.square;
    for (std::int64_t j = columns - 1; j >= end; --j) centre(r * columns + j, rowPart, j);
    for (std::int64_t j = std::min(i, columns - 1); j >= 0; --j) centre(r * columns + j, rowPart, j);
  }
}

float* FloatCells(std::vector<double>& values) { return reinterpret_cast<float*>(values.data()); }

// How the products behind G are taken: exactly in single precision from the
// codes, or from the centred and scaled genotypes in doubles; with the
// block of SNPs each call multiplies, kept from call to call.
struct ProductPlan {
  bool exact = false;
  std::vector<std::uint8_t> mask;  // exact: the SNPs that count
  Centring centring;               // exact
  std::vector<double> scale;       // otherwise
  std::int64_t width = 0;          // SNPs a product call
  std::int64_t chunks = 0;         // product calls a block of rows
  std::vector<float> codes;        // exact: the block of SNPs
  std::vector<double> centred;     // otherwise

  ProductPlan(const Genotypes& g, const std::vector<double>& p, GenomicMethod method, double divisor)
      : exact(divisor > 0.0 && IntegerProductExact(g, p, method)),
        width(SnpBlockWidth(g.AnimalCount(), exact ? 4 : 8)),
        chunks(std::max<std::int64_t>(1, (g.SnpCount() + width - 1) / width)) {
    if (exact) {
      mask = InformativeMask(p);
      centring = CentringOf(g, p, divisor);
    } else {
      scale = SnpScales(p, method);
    }
  }
};

// G's elements of the block of rows into `values` (its lower square
// triangle and every other column); false when progress says cancel.
bool AddRowProducts(const Genotypes& g, const std::vector<double>& p, double divisor, ProductPlan& plan,
                    const GenomicRowBlock& block, std::int64_t step, std::vector<double>& values,
                    Progress& progress) {
  const std::int64_t m = g.SnpCount();
  for (std::int64_t first = 0; divisor > 0.0 && first < m; first += plan.width) {
    if (progress.Step(step + first / plan.width)) return false;
    const std::int64_t w = std::min(plan.width, m - first);
    if (plan.exact) {
      FillCodes(g, plan.mask, first, w, block.columns, plan.codes);
      AddBlockProduct(plan.codes, w, block.first, block.end, block.columns, 1.0f, FloatCells(values));
    } else {
      FillBlock(g, p, plan.scale, first, w, plan.centred, block.columns);
      AddBlockProduct(plan.centred, w, block.first, block.end, block.columns, 1.0 / divisor, values.data());
    }
  }
  if (plan.exact) CentreProducts(values, block.first, block.end - block.first, block.columns, plan.centring);
  return true;
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
  const double divisor = Divisor(p, method);
  PrepareBlas();
  DenseSymmetric out;
  out.n = n;
  out.values.assign(static_cast<std::size_t>(n * n), 0.0);
  if (n == 0 || divisor <= 0.0) return out;

  ProductPlan plan(g, p, method, divisor);
  progress.SetStage(0, 100, plan.chunks, "Genomic relationships");
  if (!AddRowProducts(g, p, divisor, plan, GenomicRowBlock{0, n, n}, 0, out.values, progress))
    return DenseSymmetric{0, {}, true};
  MirrorTriangle(out.values, n, true);
  for (std::int64_t i = 0; method == GenomicMethod::kYang && i < n; ++i) {
    out.values[static_cast<std::size_t>(i * n + i)] = YangDiagonal(g, p, i, divisor);
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
  PrepareBlas();
  ProductPlan plan(g, p, method, divisor);
  // Without a missing call every pair shares every informative SNP.
  const bool countCalls = options.counts && !plan.exact && AnyMissing(g);
  const double used = static_cast<double>(SnpsUsed(p));
  const std::int64_t rowsPerBlock = std::clamp<std::int64_t>(
      options.blockBytes / (8 * n * (options.counts ? 2 : 1)), 1, n);
  const std::int64_t blocks = (n + rowsPerBlock - 1) / rowsPerBlock;
  progress.SetStage(0, 100, blocks * plan.chunks, "Genomic relationships");
  std::vector<double> values, called, snpBlock;
  for (std::int64_t b = 0; b < blocks; ++b) {
    GenomicRowBlock block;
    block.first = b * rowsPerBlock;
    block.end = std::min(n, block.first + rowsPerBlock);
    block.columns = options.fullRows ? n : block.end;
    const auto cells = static_cast<std::size_t>((block.end - block.first) * block.columns);
    values.assign(cells, 0.0);
    called.assign(options.counts ? cells : 0, countCalls ? 0.0 : used);
    if (!AddRowProducts(g, p, divisor, plan, block, b * plan.chunks, values, progress)) return false;
    for (std::int64_t first = 0; countCalls && first < m; first += plan.width) {
      const std::int64_t w = std::min(plan.width, m - first);
      FillCalled(g, plan.scale, block.columns, first, w, snpBlock);
      AddBlockProduct(snpBlock, w, block.first, block.end, block.columns, 1.0, called.data());
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

void MirrorTriangle(std::vector<double>& m, std::int64_t n, bool fromLower) {
  constexpr std::int64_t kTile = 64;
  for (std::int64_t ib = 0; ib < n; ib += kTile) {
    for (std::int64_t jb = 0; jb <= ib; jb += kTile) {
      for (std::int64_t i = ib; i < std::min(n, ib + kTile); ++i) {
        double* lower = m.data() + i * n;
        for (std::int64_t j = jb; j < std::min(i, jb + kTile); ++j) {
          double& upper = m[static_cast<std::size_t>(j * n + i)];
          if (fromLower) {
            upper = lower[j];
          } else {
            lower[j] = upper;
          }
        }
      }
    }
  }
}

void SetGenomicThreads(int setting) {
  PrepareBlas();
  openblas_set_num_threads(WorkerCount(setting));
}

std::string BlasCore() {
  const char* core = openblas_get_corename();
  return core != nullptr ? std::string(core) : std::string();
}

}  // namespace kinvar
