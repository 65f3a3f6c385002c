// The genomic relationship matrix G of genotyped animals, built from their
// 0/1/2 genotypes and the allele frequencies they are centred on.
//
// Conventions of this header:
// - Frequencies are of the counted allele (the genotype's 0/1/2 counts it),
//   one per SNP in the order of Genotypes::snps.
// - A missing genotype stands at its SNP's mean (2p): it adds nothing to any
//   product, so an animal with few calls is pulled towards the base, not away.
// - SNPs with p(1 - p) = 0 carry no information and add nothing; the methods
//   that scale by SNP count count only the others (SnpsUsed).
// - G is computed through BLAS (syrk over blocks of SNPs), on the threads
//   set by SetGenomicThreads, so its cost is that of one matrix product.
//   VanRaden's first G without missing calls multiplies the 0/1/2 codes in
//   single precision, where their sums are exact, and centres afterwards in
//   doubles: it differs from the centred product in doubles by rounding
//   alone (below 1e-12 at any size a chip gives).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "genomics/genotypes.h"
#include "report/progress.h"

namespace kinvar {

enum class GenomicMethod {
  kVanRaden1,  // ZZ' / 2 sum p(1 - p)
  kVanRaden2,  // each SNP standardised: (1/M) sum z z / 2p(1 - p)
  kYang,       // as VanRaden2 off the diagonal; its own diagonal
};

struct DenseSymmetric {
  std::int64_t n = 0;
  std::vector<double> values;  // row-major n*n, both triangles filled
  bool cancelled = false;      // the computation was stopped: n is 0

  double At(std::int64_t i, std::int64_t j) const {
    return values[static_cast<std::size_t>(i * n + j)];
  }
};

// Frequencies of the counted allele over the non-missing genotypes; 0 for
// a SNP no animal was called at.
std::vector<double> AlleleFrequencies(const Genotypes& g);

// Frequencies from a file of one line per SNP: its name, blanks, the
// frequency of the counted allele (0..1). Lines for SNPs not in g are
// ignored (a file may cover a larger panel); blank lines and lines starting
// with '!' or '#' are skipped. Every SNP of g needs a line. Empty when read;
// otherwise the message naming the file, the line and the cell.
std::string ReadFrequencyFile(const std::string& path, const Genotypes& g, std::vector<double>& p);

// SNPs that carry information for frequencies p (0 < p < 1).
std::int64_t SnpsUsed(const std::vector<double>& p);

// G for all animals of g, in their order. Cancelled (n = 0) when progress
// says so. p must have one entry per SNP.
DenseSymmetric GenomicRelationship(const Genotypes& g, const std::vector<double>& p,
                                   GenomicMethod method, Progress& progress);

// G a block of rows at a time, for matrices too large to hold twice (or at
// all): each block holds rows [first, end) over columns [0, columns), row
// by row, where columns is end (the lower triangle and a little more) or,
// with fullRows, every animal. With counts, the block's pairs also get the
// number of informative SNPs called in both animals. Blocks come in order
// of rows and take at most about blockBytes each.
struct GenomicRowBlock {
  std::int64_t first = 0;
  std::int64_t end = 0;
  std::int64_t columns = 0;
  const double* values = nullptr;
  const double* counts = nullptr;  // null unless asked for

  double At(std::int64_t row, std::int64_t column) const {
    return values[(row - first) * columns + column];
  }
};
struct GenomicRowOptions {
  bool fullRows = false;
  bool counts = false;
  std::int64_t blockBytes = std::int64_t{256} << 20;
};
// The sink returns false to stop (a failed write); ForEachGenomicRowBlock
// then returns false, as it does when progress says cancel.
using GenomicRowSink = std::function<bool(const GenomicRowBlock&)>;
bool ForEachGenomicRowBlock(const Genotypes& g, const std::vector<double>& p, GenomicMethod method,
                            const GenomicRowOptions& options, const GenomicRowSink& sink,
                            Progress& progress);

// The diagonal of G alone, in time linear in the genotypes.
std::vector<double> GenomicDiagonal(const Genotypes& g, const std::vector<double>& p,
                                    GenomicMethod method);

// Fills one triangle of the row-major n x n matrix m from the other: the
// upper from the lower (fromLower) or the lower from the upper. By tiles, so
// that a matrix larger than the caches is not read a column at a time.
void MirrorTriangle(std::vector<double>& m, std::int64_t n, bool fromLower);

// The threads OpenBLAS uses, from the same setting as the rest of Kinvar
// (0 = one per core).
void SetGenomicThreads(int setting);

// The kernels OpenBLAS runs ("SkylakeX", "Haswell", ...). A library older
// than the processor does not know it and starts on its generic "Prescott"
// ones, several times slower; the first genomic call (SetGenomicThreads
// among them) moves it to the processor's own unless the environment
// variable OPENBLAS_CORETYPE names the kernels to take (blas_kernels.h).
std::string BlasCore();

}  // namespace kinvar
