// Genomic inbreeding of each genotyped animal, three ways:
// - F_G = G_ii - 1, G by VanRaden's first method on the frequencies given;
// - F_hom = (O - E) / (M - E) over the animal's called SNPs with 0 < p < 1:
//   O homozygous calls observed, E = sum of 1 - 2p(1 - p) expected under
//   Hardy-Weinberg, M calls;
// - F_ROH from runs of homozygosity (roh.h).
// and, for setting them beside pedigree F, the straight line of genomic on
// pedigree F and the animals furthest from it.
#pragma once

#include <cstdint>
#include <vector>

#include "genomics/genotypes.h"
#include "genomics/roh.h"
#include "report/progress.h"

namespace kinvar {

struct GenomicF {
  double fG = 0.0;
  double fHom = 0.0;  // NaN when no SNP is called or M = E
  RohSummary roh;
  std::int64_t called = 0;  // informative SNPs called
};

// One entry per animal; `cancelled` when progress said so (then empty).
struct GenomicInbreedingResult {
  std::vector<GenomicF> animals;
  bool cancelled = false;
};

GenomicInbreedingResult GenomicInbreeding(const Genotypes& g, const std::vector<double>& p,
                                          const RohOptions& roh, Progress& progress);

// The least-squares line of y on x and the `count` points with the largest
// |residual|, largest first (ties by index). Points where either is NaN are
// left out; without two distinct x the line is flat at the mean of y.
struct LineFit {
  double slope = 0.0;
  double intercept = 0.0;
  std::vector<std::int64_t> furthest;
};
LineFit FitAndFurthest(const std::vector<double>& x, const std::vector<double>& y, std::int32_t count);

}  // namespace kinvar
