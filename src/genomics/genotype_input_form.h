// The genotype input as boxes of a command's form: the file, its format and
// the three quality-control thresholds. Every genomic command puts these
// boxes first in its form; kinvar-cli fills them from its options and the
// R and Python session from keyword arguments, by the keys below.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "genomics/genotype_input.h"
#include "report/platform.h"

namespace kinvar {

inline constexpr const char* kGenotypesKey = "genotypes";
inline constexpr const char* kGenotypeFormatKey = "genotype-format";
inline constexpr const char* kMinSnpCallRateKey = "min-snp-call-rate";
inline constexpr const char* kMinAnimalCallRateKey = "min-animal-call-rate";
inline constexpr const char* kMinMafKey = "min-maf";
inline constexpr std::size_t kGenotypeFieldCount = 5;

// The boxes' texts as typed, kept between runs.
struct GenotypeFormTexts {
  std::string path;
  std::string format;  // "" (by the extension), "plink", "vcf" or "text"
  std::string minSnpCallRate = "0.9";
  std::string minAnimalCallRate = "0.9";
  std::string minMaf = "0.01";
};

// The five boxes, in the order of the keys above, showing `texts`.
std::vector<ValueForm::Field> GenotypeFormFields(const GenotypeFormTexts& texts);

// The texts of the five boxes from `texts[first]` on, checked; nothing
// when one is refused, which `platform` is told.
std::optional<GenotypeInputOptions> GenotypeOptionsFromForm(const std::vector<std::string>& texts,
                                                            std::size_t first, Platform& platform);

// The texts of the five boxes from `texts[first]` on.
GenotypeFormTexts GenotypeTextsOf(const std::vector<std::string>& texts, std::size_t first);

}  // namespace kinvar
