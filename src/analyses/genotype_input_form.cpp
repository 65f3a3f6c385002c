#include "analyses/genotype_input_form.h"

#include "analyses/command_ids.h"
#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/parentage_report.h"

namespace kinvar {

namespace {

// The commands whose forms begin with the genotype parameters.
constexpr std::int32_t kGenomicCommands[] = {kCmdGenomicRelationship, kCmdGenomicInbreeding, kCmdHInverse,
                                             kCmdParentage, kCmdGenotypeQc};

const std::string* TextOf(const std::vector<std::string>& keys, const std::vector<std::string>& texts,
                          const char* key) {
  for (std::size_t k = 0; k < keys.size() && k < texts.size(); ++k)
    if (keys[k] == key) return &texts[k];
  return nullptr;
}

// What the declaration leaves to the handler: a file must be named, and an
// unknown format would otherwise go by the extension unnoticed.
bool GenotypeTextsSound(const std::vector<std::string>& keys, const std::vector<std::string>& texts,
                        Platform& platform) {
  const auto refuse = [&](const char* message) {
    platform.ShowMessage(message, MessageIcon::kError);
    return false;
  };
  const std::string* path = TextOf(keys, texts, kGenotypesKey);
  if (path == nullptr || path->empty()) return refuse("Name the genotype file.");
  const std::string* format = TextOf(keys, texts, kGenotypeFormatKey);
  if (format != nullptr && !format->empty() && *format != "plink" && *format != "vcf" && *format != "text")
    return refuse("The genotype format is plink, vcf or text, or empty to go by the file's extension.");
  return true;
}

void ShareGenotypeTexts(const CommandDeclaration& command, CommandValues& values) {
  for (const Parameter& p : GenotypeParameters()) {
    const std::string text = values.Text(command, p.name);
    for (const std::int32_t other : kGenomicCommands) values.Set(other, p.name, text);
  }
}

}  // namespace

std::vector<Parameter> GenotypeParameters() {
  using T = ParameterType;
  return {
      Declare(kGenotypesKey, T::kFile).Required().ValueName("FILE").Label("Genotype file").Shown(Control::kReadFile)
          .Help("The genotype file: a PLINK .bed (with .bim and .fam beside it), a VCF or BCF, or text"),
      Declare(kGenotypeFormatKey, T::kChoice).Choices({"plink", "vcf", "text"}).EmptyMeansNone()
          .ValueName("FORMAT").Label("Format").Help("plink, vcf or text (default: by the file's extension)"),
      Declare(kMinSnpCallRateKey, T::kNumber).Default("0.9").Range(0.0, 1.0).ValueName("X")
          .Label("Smallest call rate of a SNP").Help("Drop SNPs called in fewer of the animals (default 0.9)")
          .Refusal("The minimum SNP call rate must be a number from 0 to 1."),
      Declare(kMinAnimalCallRateKey, T::kNumber).Default("0.9").Range(0.0, 1.0).ValueName("X")
          .Label("Smallest call rate of an animal").Help("Drop animals with fewer of the SNPs called (default 0.9)")
          .Refusal("The minimum animal call rate must be a number from 0 to 1."),
      Declare(kMinMafKey, T::kNumber).Default("0.01").Range(0.0, 0.5).ValueName("X")
          .Label("Smallest minor allele frequency")
          .Help("Drop SNPs of a smaller minor allele frequency (default 0.01)")
          .Refusal("The minimum minor allele frequency must be a number from 0 to 0.5."),
  };
}

GenotypeInputOptions GenotypeOptionsOf(const CommandDeclaration& command, const CommandValues& values) {
  GenotypeInputOptions options;
  options.path = values.Text(command, kGenotypesKey);
  options.format = values.Text(command, kGenotypeFormatKey);
  options.qc.minSnpCallRate = values.Number(command, kMinSnpCallRateKey);
  options.qc.minAnimalCallRate = values.Number(command, kMinAnimalCallRateKey);
  options.qc.minMaf = values.Number(command, kMinMafKey);
  return options;
}

bool AskGenomicForm(CommandContext& ctx, const CommandDeclaration& command, const std::string& caption,
                    const std::function<bool()>& check) {
  CommandValues& values = ctx.remembered.values;
  ValueForm form = DeclaredForm(command, caption, values, ctx.platform);
  std::vector<std::string> keys;
  for (const ValueForm::Field& field : form.fields) keys.push_back(field.key);
  form.accept = [&ctx, &command, &values, &check, keys, declared = form.accept](const std::vector<std::string>& texts) {
    if (!GenotypeTextsSound(keys, texts, ctx.platform) || !declared(texts)) return false;
    if (check && !check()) return false;
    ShareGenotypeTexts(command, values);
    return true;
  };
  const bool ask = ctx.askInputs;
  ctx.askInputs = true;
  if (ask) return ctx.platform.AskValues(form);
  std::vector<std::string> texts;
  for (const ValueForm::Field& field : form.fields) texts.push_back(field.text);
  return form.accept(texts);
}

}  // namespace kinvar
