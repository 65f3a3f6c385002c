// Genotypes of animals at biallelic SNPs, as every genomic analysis reads
// them, whatever file they came from.
//
// Conventions of this header:
// - A genotype is the count of the second allele (0, 1 or 2), or
//   kMissingGenotype. For a PLINK set the second allele is the .bim's sixth
//   column (A2), for a VCF the ALT allele, for the 0/1/2 text form whatever
//   allele that file counted.
// - `codes` is animal-major: the genotypes of animal a are
//   codes[a * SnpCount() .. (a + 1) * SnpCount()). One byte per genotype
//   keeps the kernels simple; 10,000 animals x 50,000 SNPs is 500 MB.
// - `ids` are the animals in file order, spelled as the file spells them;
//   matching to the pedigree applies the pedigree's ID rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kinvar {

inline constexpr std::uint8_t kMissingGenotype = 9;

struct SnpInfo {
  std::string chromosome;  // as written: "1", "X", "chr5"
  std::string name;
  std::int64_t position = 0;  // base pair; 0 when unknown
  std::string allele1;        // the allele not counted
  std::string allele2;        // the counted allele
};

struct Genotypes {
  std::vector<std::string> ids;
  std::vector<SnpInfo> snps;
  std::vector<std::uint8_t> codes;

  std::int64_t AnimalCount() const { return static_cast<std::int64_t>(ids.size()); }
  std::int64_t SnpCount() const { return static_cast<std::int64_t>(snps.size()); }
  std::uint8_t At(std::int64_t animal, std::int64_t snp) const {
    return codes[static_cast<std::size_t>(animal * SnpCount() + snp)];
  }
  const std::uint8_t* Row(std::int64_t animal) const {
    return codes.data() + animal * SnpCount();
  }
};

}  // namespace kinvar
