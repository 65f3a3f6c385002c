// The Population Management commands: Mean Kinship (one group or every
// individual), Mate Suitability and Optimum Contributions (a sire group and
// a dam group, as the matings take them, and a few options in a form).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analyses/command_context.h"
#include "matings/mating_files.h"

namespace kinvar {

void OnMeanKinship(CommandContext& ctx);
// Its parameter: the group, or all.
CommandDeclaration MeanKinshipDeclaration();
void OnMateSuitability(CommandContext& ctx);
// Its parameters: the two groups and the form's options.
CommandDeclaration MateSuitabilityDeclaration();
void OnOptimumContributions(CommandContext& ctx);
// Its parameters: the two groups and the form's options, checked by the
// handler with its own messages.
CommandDeclaration OptimumContributionsDeclaration();

// "%.6f", every figure of the population reports, F included: a column of
// small kinships and changes reads in one format, never in exponents beside
// decimals. "-0.000000" is written "0.000000".
std::string SixDecimals(double value);
// A number typed in an option box: nothing when empty; false after telling
// the user that `what` is not a number.
bool ReadTypedNumber(CommandContext& ctx, const std::string& text, const std::string& what,
                     std::optional<double>& value);
// The values an option can mean, and how a message says them.
struct TypedRange {
  const char* what;   // "The target delta F", as the messages name the option
  double low;
  bool lowOpen;       // low itself excluded
  double high;
  bool highOpen;
  const char* words;  // "at least 0 and below 1"
};
inline constexpr TypedRange kMaxFRange{"The largest offspring F", 0.0, false, 1.0, true,
                                       "at least 0 and below 1"};
inline constexpr TypedRange kTargetDeltaFRange{"The target delta F", 0.0, false, 1.0, true,
                                               "at least 0 and below 1"};
inline constexpr TypedRange kTargetKinshipRange{"The target kinship", 0.0, false, 1.0, false,
                                                "from 0 to 1"};
// Each sex's contributions make 1/2, so no one contribution can be more.
inline constexpr TypedRange kMaxContributionRange{"The largest contribution", 0.0, true, 0.5, false,
                                                  "above 0 and at most 0.5"};
// False after telling the user that `text`, read as `value`, is outside
// `range`; true when there is no value.
bool WithinRange(CommandContext& ctx, const std::optional<double>& value, const TypedRange& range,
                 const std::string& text);

}  // namespace kinvar
