#include "genomics/genotype_input_form.h"

#include "genomics/genotype_qc.h"
#include "pedigree/number_text.h"

namespace kinvar {

namespace {

// A threshold as typed; NaN (refused by the range check) when the box does
// not hold a number and only a number.
double Threshold(const std::string& text) {
  const std::optional<double> value = WholeNumber(text);
  return value ? *value : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

std::vector<ValueForm::Field> GenotypeFormFields(const GenotypeFormTexts& texts) {
  std::vector<ValueForm::Field> fields{
      {kGenotypesKey, "Genotype file", texts.path},
      {kGenotypeFormatKey, "Format (plink, vcf, text; empty: by the extension)", texts.format},
      {kMinSnpCallRateKey, "Smallest call rate of a SNP", texts.minSnpCallRate},
      {kMinAnimalCallRateKey, "Smallest call rate of an animal", texts.minAnimalCallRate},
      {kMinMafKey, "Smallest minor allele frequency", texts.minMaf},
  };
  fields[0].file = ValueForm::Field::File::kRead;
  return fields;
}

GenotypeFormTexts GenotypeTextsOf(const std::vector<std::string>& texts, std::size_t first) {
  return {texts.at(first), texts.at(first + 1), texts.at(first + 2), texts.at(first + 3), texts.at(first + 4)};
}

std::optional<GenotypeInputOptions> GenotypeOptionsFromForm(const std::vector<std::string>& texts,
                                                            std::size_t first, Platform& platform) {
  const GenotypeFormTexts typed = GenotypeTextsOf(texts, first);
  const auto refuse = [&](const std::string& message) {
    platform.ShowMessage(message, MessageIcon::kError);
    return std::nullopt;
  };
  if (typed.path.empty()) return refuse("Name the genotype file.");
  if (!typed.format.empty() && typed.format != "plink" && typed.format != "vcf" && typed.format != "text")
    return refuse("The genotype format is plink, vcf or text, or empty to go by the file's extension.");
  GenotypeInputOptions options{typed.path, typed.format,
                               {Threshold(typed.minSnpCallRate), Threshold(typed.minAnimalCallRate),
                                Threshold(typed.minMaf)}};
  if (const std::string wrong = CheckGenotypeQcOptions(options.qc); !wrong.empty()) return refuse(wrong);
  return options;
}

}  // namespace kinvar
