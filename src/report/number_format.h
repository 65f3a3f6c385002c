// Number formatting for reports and files, by the number-format setting:
// 0 fraction approximation, 1 "%g", 2..7 fixed with 1..6 decimals; any other
// setting formats like 1. Values are 32-bit floats widened to double.
#pragma once

#include <optional>
#include <string>

namespace kinvar {

std::string FormatNumber(int setting, float value);

// The continued-fraction approximation; nothing when the search gives up.
std::optional<std::string> ApproximateFraction(double x);

}  // namespace kinvar
