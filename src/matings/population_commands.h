// The Population Management commands: Mean Kinship (one group or every
// individual), Mate Suitability and Optimum Contributions (a sire group and
// a dam group, as the matings take them, and a few options in a form).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "genetics/command_context.h"
#include "matings/mating_files.h"

namespace kinvar {

void OnMeanKinship(CommandContext& ctx);
void OnMateSuitability(CommandContext& ctx);
void OnOptimumContributions(CommandContext& ctx);

// "%.6f", the figures of the population reports.
std::string SixDecimals(double value);
// A number typed in an option box: nothing when empty; false after telling
// the user that `what` is not a number.
bool ReadTypedNumber(CommandContext& ctx, const std::string& text, const std::string& what,
                     std::optional<double>& value);
// One option of a form: its key (the kinvar-cli option's name), its label,
// and where its text is remembered between runs.
struct FormBox {
  const char* key;
  const char* label;
  std::string* text;
};
// Lets the user edit the options (when inputs are asked for); false when
// cancelled. The checks come after, with the command's messages.
bool EditForm(CommandContext& ctx, const char* caption, std::vector<FormBox> boxes);

}  // namespace kinvar
