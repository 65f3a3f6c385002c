#include "cli/genotype_options.h"

#include "genomics/genotype_input_form.h"

namespace kinvar::cli {

void AddGenotypeOptions(CLI::App& sub, GenotypeArguments& args) {
  sub.add_option("--genotypes", args.path,
                 "The genotype file: a PLINK .bed (with .bim and .fam beside it), a VCF or BCF, or text")
      ->type_name("FILE")
      ->required();
  sub.add_option("--genotype-format", args.format, "plink, vcf or text (default: by the file's extension)")
      ->check(CLI::IsMember({"plink", "vcf", "text"}));
  sub.add_option("--min-snp-call-rate", args.minSnpCallRate,
                 "Drop SNPs called in fewer of the animals (default 0.9)")
      ->type_name("X");
  sub.add_option("--min-animal-call-rate", args.minAnimalCallRate,
                 "Drop animals with fewer of the SNPs called (default 0.9)")
      ->type_name("X");
  sub.add_option("--min-maf", args.minMaf, "Drop SNPs of a smaller minor allele frequency (default 0.01)")
      ->type_name("X");
}

std::map<std::string, std::string> GenotypeFormValues(const GenotypeArguments& args) {
  std::map<std::string, std::string> values{{kGenotypesKey, args.path}};
  values[kGenotypeFormatKey] = args.format.value_or("");
  if (args.minSnpCallRate) values[kMinSnpCallRateKey] = *args.minSnpCallRate;
  if (args.minAnimalCallRate) values[kMinAnimalCallRateKey] = *args.minAnimalCallRate;
  if (args.minMaf) values[kMinMafKey] = *args.minMaf;
  return values;
}

}  // namespace kinvar::cli
