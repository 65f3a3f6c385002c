// Report markup: "|" followed by one letter is a code. Tab codes "|T1".."|T7"
// advance a cumulative tab stop by 22, 12, 52, 16, 10, 6 and 17 columns;
// colour codes |A black, |M green, |F and |I blue, |C red, |X brick red.
// Any other letter (and "|T" with another digit) is consumed silently.
// Laying out a line pads each field to its stop; a field that reaches its
// stop is replaced by asterisks and two blanks.
#pragma once

#include <string>
#include <string_view>

namespace kinvar {

// The laid-out text with one attribute letter per character ('A' for padding,
// 'X' for overflow asterisks, else the colour letter in force).
struct LaidOutLine {
  std::string text;
  std::string attributes;
};

// `colour` false gives every colour code attribute A (black-and-white
// printing); overflow asterisks keep attribute X either way.
LaidOutLine LayOutLine(std::string_view line, bool colour = true);

// Plain text in columns, ending with "\n": what files receive.
std::string ExpandMarkup(std::string_view line);

}  // namespace kinvar
