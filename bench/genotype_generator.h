// Genotypes for a generated pedigree: founder alleles drawn from
// frequencies of a chosen spread and dropped through the pedigree, with
// linkage between neighbouring SNPs as an option, and a share of recorded
// parents that are not the true ones (the genes come from another animal;
// the truth file lists them).
//
// Conventions of this header:
// - The same options and pedigree always give the same genotypes: the
//   generator has its own random stream and compares integers only.
// - The count is of the second allele, as Genotypes holds it; every record
//   of the pedigree (added parents included) is genotyped, in file order.
// - Memory: two haplotypes of one bit per SNP for every record, and a byte
//   per genotype.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "genomics/genotypes.h"
#include "pedigree/pedigree.h"

namespace kinvar::bench {

class Options;

struct GenotypeGeneratorOptions {
  std::int64_t snps = 1000;
  std::uint64_t seed = 1;
  // Founder allele frequencies are uniform on [0.5 - spread, 0.5 + spread].
  double mafSpread = 0.45;
  // Chance of a crossover between two neighbouring SNPs in one meiosis;
  // 0.5 leaves them unlinked.
  double linkage = 0.5;
  // Chance that a known sire or dam is not the true parent.
  double wrongParents = 0.0;
  double missing = 0.0;  // chance that a genotype is written as missing
};

struct WrongParent {
  std::string animal;
  std::string role;  // "sire" or "dam"
  std::string recorded;
  std::string truth;
};

struct SimulatedGenotypes {
  Genotypes genotypes;
  std::vector<WrongParent> wrong;
};

// `ped` loaded and recoded.
SimulatedGenotypes SimulateGenotypes(const Pedigree& ped, const GenotypeGeneratorOptions& options);

// The text form (an ID, a blank, a digit per SNP, 5 for missing), a PLINK
// set at PREFIX.bed/.bim/.fam, and the truth file ("animal role recorded
// true" lines under a header). False with `error` when a file cannot be
// written.
bool WriteTextGenotypes(const Genotypes& g, const std::string& path, std::string& error);
bool WritePlinkSet(const Genotypes& g, const std::string& prefix, std::string& error);
bool WriteWrongParents(const std::vector<WrongParent>& wrong, const std::string& path, std::string& error);

// kinvar-generate's --genotypes M and its options, for the pedigree just
// written at `pedigreePath`: the exit status.
int GenerateGenotypesFor(const Options& args, const std::string& pedigreePath);

// The options kinvar-generate's usage lists for the genotypes.
extern const char* const kGenotypeUsage;

}  // namespace kinvar::bench
