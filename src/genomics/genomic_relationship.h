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
// - G is computed through BLAS (dsyrk over blocks of SNPs), on the threads
//   set by SetGenomicThreads, so its cost is that of one matrix product.
#pragma once

#include <cstdint>
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

// SNPs that carry information for frequencies p (0 < p < 1).
std::int64_t SnpsUsed(const std::vector<double>& p);

// G for all animals of g, in their order. Cancelled (n = 0) when progress
// says so. p must have one entry per SNP.
DenseSymmetric GenomicRelationship(const Genotypes& g, const std::vector<double>& p,
                                   GenomicMethod method, Progress& progress);

// The threads OpenBLAS uses, from the same setting as the rest of Kinvar
// (0 = one per core).
void SetGenomicThreads(int setting);

}  // namespace kinvar
