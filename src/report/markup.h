// Report markup: "|" followed by one character is a code. Tab codes "|T1".."|T7"
// advance a cumulative tab stop by 22, 12, 52, 16, 10, 6 and 17 columns;
// "|T" consumes the character after it whatever it is, and any other digit
// moves nothing. Colour codes: |A black, |M green, |F and |I blue, |C red,
// |X brick red. Any other code letter is consumed and becomes the attribute
// of the text after it, with no colour of its own (the renderer keeps the
// colour of the previous run).
//
// A run of codes that follow each other directly acts at once: the widths of
// its tab codes are summed before the field is measured. A field that leaves
// at least one blank before its stop is padded with blanks; one that reaches
// or passes its stop is replaced by asterisks and two blanks. Text after the
// last tab code is never cut. Columns are not limited.
#pragma once

#include <string>
#include <string_view>

namespace kinvar {

// The laid-out text with one attribute letter per character: 'A' for padding
// blanks, 'X' for overflow asterisks, else the code letter in force.
struct LaidOutLine {
  std::string text;
  std::string attributes;
};

// `colour` false gives every colour code attribute A (black-and-white
// printing); overflow asterisks keep attribute X either way.
LaidOutLine LayOutLine(std::string_view line, bool colour = true);

// Plain text in columns, ending with "\n": what files receive.
std::string ExpandMarkup(std::string_view line);
// Appends ExpandMarkup's text without its "\n" to `out`: a file of a
// million lines is laid out without a string or an attribute per line.
void AppendExpandedMarkup(std::string& out, std::string_view line);

}  // namespace kinvar
