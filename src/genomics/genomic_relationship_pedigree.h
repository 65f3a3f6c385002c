// The pedigree's side of the genomic relationships: A22, the block of A of
// the genotyped animals, through the same D as the inbreeding coefficients
// (so a22(i, i) = 1 + F(i), predefined F included); base allele frequencies
// estimated from the genotyped animals through A22; and G set against A22.
//
// Conventions of this header:
// - Genotyped animals are given by their records (recOf[i] for row i of
//   the genotypes and of G); the records must be in code order with the
//   coefficients computed (EnsureInbreeding).
// - A22 is never formed: its columns and its products with a vector come
//   from the ancestor subset of the genotyped animals by one backward and
//   one forward pass each, in doubles, so memory follows the pedigree.
#pragma once

#include <cstdint>
#include <vector>

#include "genetics/relationship.h"
#include "genomics/genomic_relationship.h"
#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

struct A22Kernel {
  BasicAncestorSubset<double> subset;
  std::vector<std::int32_t> local;  // per genotyped animal, its local number
  std::vector<double> column;       // work space of the comparison
};

A22Kernel MakeA22Kernel(Pedigree& ped, const std::vector<RecIndex>& recOf);
// Column j of A22: out[i] = a(i, j) for every genotyped i.
void A22Column(A22Kernel& kernel, std::int64_t j, std::vector<double>& out);
// out = A22 v.
void A22Times(A22Kernel& kernel, const std::vector<double>& v, std::vector<double>& out);

// Base allele frequencies by gene content: the generalised least-squares
// mean of the genotypes under covariance A22 (the best linear unbiased
// estimate of the founders' frequency), 2p = 1'A22^-1 x / 1'A22^-1 1, its
// weights A22^-1 1 / 1'A22^-1 1 found by conjugate gradients. At a SNP the
// weights of the animals not called are left out and the rest scaled to sum
// to 1; a result outside 0..1 is clamped. Empty when cancelled.
std::vector<double> FounderFrequencies(A22Kernel& kernel, const Genotypes& g, Progress& progress);

// Sums of one set of (A22, G) elements, for means, regression and correlation.
struct PairSums {
  std::int64_t count = 0;
  double a = 0, g = 0, aa = 0, gg = 0, ag = 0;

  void Add(double x, double y) {
    ++count;
    a += x;
    g += y;
    aa += x * x;
    gg += y * y;
    ag += x * y;
  }
  double MeanA() const { return a / static_cast<double>(count); }
  double MeanG() const { return g / static_cast<double>(count); }
  // Regression of G on A22; NaN when A22 does not vary.
  double Slope() const;
  double Intercept() const { return MeanG() - Slope() * MeanA(); }
  double Correlation() const;
};

struct PairDifference {
  std::int64_t i = 0;  // i > j, rows of G
  std::int64_t j = 0;
  double g = 0;
  double a = 0;
};

struct GenomicPedigreeComparison {
  PairSums diagonal;
  PairSums offDiagonal;
  PairSums all;  // the lower triangle with the diagonal
  // The pairs of different animals whose |G - A22| is largest, largest
  // first (ties by row, then column).
  std::vector<PairDifference> largest;
  bool cancelled = false;
};

GenomicPedigreeComparison CompareWithPedigree(A22Kernel& kernel, const DenseSymmetric& G,
                                              std::int32_t topPairs, Progress& progress);
// The same a row at a time, for G computed by blocks of rows: row i of G
// over columns 0..i, then, after the last row, FinishComparison.
void CompareRow(A22Kernel& kernel, std::int64_t i, const double* gRow, std::int32_t topPairs,
                GenomicPedigreeComparison& out);
void FinishComparison(GenomicPedigreeComparison& out);

}  // namespace kinvar
