// The genotype input as declared parameters: the file, its format and the
// three quality-control thresholds, which every genomic command declares
// first. Their names are kinvar-cli's options and the form's keys; the
// desktop shows them as one box (the file with Browse..., the formats as a
// list), R and Python take them as keywords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "analyses/command_declaration.h"
#include "genomics/genotype_input.h"
#include "report/platform.h"

namespace kinvar {

inline constexpr const char* kGenotypesKey = "genotypes";
inline constexpr const char* kGenotypeFormatKey = "genotype-format";
inline constexpr const char* kMinSnpCallRateKey = "min-snp-call-rate";
inline constexpr const char* kMinAnimalCallRateKey = "min-animal-call-rate";
inline constexpr const char* kMinMafKey = "min-maf";
inline constexpr std::size_t kGenotypeFieldCount = 5;

// The five parameters, in the order of the keys above.
std::vector<Parameter> GenotypeParameters();

// The genotype input the command's accepted values name.
GenotypeInputOptions GenotypeOptionsOf(const CommandDeclaration& command, const CommandValues& values);

// Asks for a genomic command's form, or for a re-run with the remembered
// inputs accepts them as they are; false when the user cancelled or a text
// was refused, which the user has been told. The genotype file and its
// format are checked first, then the declared ranges, then `check` (what
// the handler reads on its own, from the stored values). The genotype texts
// accepted open every genomic command's next form: the file is named once.
bool AskGenomicForm(CommandContext& ctx, const CommandDeclaration& command, const std::string& caption,
                    const std::function<bool()>& check = {});

}  // namespace kinvar
