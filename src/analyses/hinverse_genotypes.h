// The genotype boxes the single-step and parentage forms begin with (the
// file, its format, the three quality-control thresholds) and the reading
// they lead to. The keys are kinvar-cli's option names, which the command
// line and the R and Python sessions fill the form with.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "genomics/genotype_input.h"
#include "report/platform.h"

namespace kinvar {

inline constexpr std::size_t kSharedGenotypeFieldCount = 5;

// The five boxes, with the texts of `typed` (the form's last texts by key)
// or the defaults.
std::vector<ValueForm::Field> SharedGenotypeFields(const std::map<std::string, std::string>& typed);

// The options the first five texts give, or nothing after telling the user
// which box is wrong.
std::optional<GenotypeInputOptions> GenotypeOptionsFrom(const std::vector<std::string>& texts,
                                                        Platform& platform);

// Keeps every text of the form by its key, for a re-run with the same inputs.
void RememberTexts(const ValueForm& form, const std::vector<std::string>& texts,
                   std::map<std::string, std::string>& typed);

// Asks for the form, or, for a re-run with the remembered inputs, accepts
// the texts it was filled with; false when the user cancelled or a text was
// refused.
bool AskOrRepeat(CommandContext& ctx, const ValueForm& form);

// Reads the genotypes on a progress window; nothing after showing the
// reader's error or the cancel state.
std::optional<GenotypeInput> ReadGenotypesOf(CommandContext& ctx, const GenotypeInputOptions& options);

}  // namespace kinvar
