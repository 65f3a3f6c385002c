// Quality control of a genotype file, before any figure: animals' call
// rate, then SNPs' call rate, monomorphic SNPs and minor allele frequency,
// in that order (see genotype_input.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "genomics/genotype_input.h"
#include "genomics/genotypes.h"
#include "report/result_table.h"

namespace kinvar {

struct GenotypeQcStep {
  std::string reason;  // "animal call rate", "SNP call rate", "monomorphic", "minor allele frequency"
  std::string kind;    // "animals" or "SNPs"
  double threshold = 0.0;  // NaN for monomorphic
  std::int64_t dropped = 0;
  std::int64_t left = 0;
};

struct GenotypeQcResult {
  std::vector<std::int64_t> keptAnimals;         // rows of the file, in the order given
  std::vector<std::int64_t> keptAnimalOrdinals;  // their positions in the rows given
  std::vector<std::int64_t> keptSnps;            // columns of the file, in file order
  std::vector<GenotypeQcStep> steps;
  ResultTable table{"qc"};
  ResultTable dropped{"qc_dropped"};
};

// Quality control of the animals `rows` of `g` (the others are left out
// before it starts).
GenotypeQcResult RunGenotypeQc(const Genotypes& g, const std::vector<std::int64_t>& rows,
                               const GenotypeQcOptions& options);

// The genotypes of `rows` at `snps`, in those orders.
Genotypes KeepGenotypes(const Genotypes& g, const std::vector<std::int64_t>& rows,
                        const std::vector<std::int64_t>& snps);

// What is wrong with the thresholds, or "" when they are sound.
std::string CheckGenotypeQcOptions(const GenotypeQcOptions& options);

}  // namespace kinvar
