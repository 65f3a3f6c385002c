// Number formatting for reports and files, by the number-format setting:
// 0 fraction approximation, 1 "%g", 2..7 fixed with 1..6 decimals ("%-0.1f"
// to "%-0.6f"); any other setting formats like 1. Values are 32-bit floats
// widened to double, so the digits are those of the float actually stored.
#pragma once

#include <optional>
#include <string>

namespace kinvar {

// Where the fraction search gives up, the value is written in general
// notation instead, so the text always belongs to the value asked for.
std::string FormatNumber(int setting, float value);
// The same for a value computed in double precision, with its own digits.
std::string FormatNumber(int setting, double value);

// The continued-fraction approximation ("3/8", "-1/2", "2"); nothing when the
// search gives up (a repeated quotient, a numerator beyond the bound given by
// the value's ten-decimal rounding, or 28 terms without coming within 1e-9).
std::optional<std::string> ApproximateFraction(double x);

// The shortest decimal text that reads back as exactly `value` the way the
// pedigree reader reads F (text to double, then float): fixed or exponent
// form, whichever is shorter, such as "0.28125" or "1e-05". For files that
// Kinvar reads again, where a coefficient in the display format would come
// back rounded.
std::string FormatExactF(float value);

}  // namespace kinvar
