// Numbers as files and forms write them, read strictly: a cell is a number
// only when all of it is one. "0.5xyz", "0.2.5", "abc" and "4.1kg" are not
// numbers, where strtod would quietly take the digits it could and drop the
// rest, turning a typing mistake into a figure.
//
// Conventions: the text is taken as it is (callers trim the blanks their
// format allows); a leading '+' is allowed, as spreadsheets write it; the
// decimal mark is '.', whatever the locale (from_chars never reads the
// locale); infinities, NaN and values beyond a double are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kinvar {

// The number written in `text`, or nothing if any byte of it is not part of
// one finite decimal number.
std::optional<double> WholeNumber(std::string_view text);

// A whole number (no fraction, no exponent) within [low, high], or nothing.
std::optional<std::int64_t> WholeInteger(std::string_view text, std::int64_t low, std::int64_t high);

// For messages: the text as the user wrote it, quoted, cut to a readable
// length and with control bytes shown as "?", so a binary cell never
// garbles the terminal.
std::string QuotedCell(std::string_view text);

}  // namespace kinvar
