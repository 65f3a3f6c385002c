#include "analyses/hinverse_genotypes.h"

#include "pedigree/number_text.h"

namespace kinvar {

namespace {

std::string Typed(const std::map<std::string, std::string>& typed, const std::string& key,
                  const std::string& fallback) {
  const auto it = typed.find(key);
  return it == typed.end() ? fallback : it->second;
}

}  // namespace

std::vector<ValueForm::Field> SharedGenotypeFields(const std::map<std::string, std::string>& typed) {
  ValueForm::Field file{"genotypes", "Genotype file (PLINK .bed, VCF or BCF, or text)", Typed(typed, "genotypes", "")};
  file.file = ValueForm::Field::File::kRead;
  return {file,
          {"genotype-format", "Format: plink, vcf or text (empty: by the file's extension)",
           Typed(typed, "genotype-format", "")},
          {"min-snp-call-rate", "Least call rate of a SNP", Typed(typed, "min-snp-call-rate", "0.90")},
          {"min-animal-call-rate", "Least call rate of an animal", Typed(typed, "min-animal-call-rate", "0.90")},
          {"min-maf", "Least minor allele frequency", Typed(typed, "min-maf", "0.01")}};
}

std::optional<GenotypeInputOptions> GenotypeOptionsFrom(const std::vector<std::string>& texts,
                                                        Platform& platform) {
  GenotypeInputOptions options;
  options.path = texts[0];
  options.format = texts[1];
  if (options.path.empty()) {
    platform.ShowMessage("Name the genotype file.", MessageIcon::kError);
    return std::nullopt;
  }
  if (!options.format.empty() && options.format != "plink" && options.format != "vcf" && options.format != "text") {
    platform.ShowMessage("The genotype format must be plink, vcf or text, or empty to go by the file's extension.",
                         MessageIcon::kError);
    return std::nullopt;
  }
  const char* names[] = {"SNP call rate", "animal call rate", "minor allele frequency"};
  double* values[] = {&options.qc.minSnpCallRate, &options.qc.minAnimalCallRate, &options.qc.minMaf};
  for (std::size_t k = 0; k < 3; ++k) {
    const auto value = WholeNumber(texts[2 + k]);
    if (!value || *value < 0.0 || *value > 1.0) {
      platform.ShowMessage(std::string("The least ") + names[k] + " must be a number from 0 to 1.", MessageIcon::kError);
      return std::nullopt;
    }
    *values[k] = *value;
  }
  return options;
}

void RememberTexts(const ValueForm& form, const std::vector<std::string>& texts,
                   std::map<std::string, std::string>& typed) {
  for (std::size_t k = 0; k < form.fields.size() && k < texts.size(); ++k) typed[form.fields[k].key] = texts[k];
}

bool AskOrRepeat(CommandContext& ctx, const ValueForm& form) {
  const bool ask = ctx.askInputs;
  ctx.askInputs = true;
  if (ask) return ctx.platform.AskValues(form);
  std::vector<std::string> texts;
  for (const ValueForm::Field& field : form.fields) texts.push_back(field.text);
  return form.accept(texts);
}

std::optional<GenotypeInput> ReadGenotypesOf(CommandContext& ctx, const GenotypeInputOptions& options) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  GenotypeInput input = ReadGenotypeInput(ctx.ped, options, progress);
  window.reset();
  if (!input.error.empty()) {
    ctx.platform.ShowMessage(input.error, MessageIcon::kError);
    return std::nullopt;
  }
  return input;
}

}  // namespace kinvar
