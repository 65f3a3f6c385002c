// What the report view explains on screen only: the meaning of the
// abbreviations in report headings, shown as tooltips. The report's lines,
// its saved files and kinvar-cli's output stay as they are, byte for byte.
#pragma once

#include <QString>

namespace kinvar::gui {

// The meaning of the abbreviation that covers character `column` of the
// report line `line`, or "" when the pointer rests on none.
QString AbbreviationAt(const QString& line, int column);

// The word that covers character `column`, cut at blanks and at the marks
// that stand between IDs in reports (, < > ( ) :); "" on none.
QString WordAt(const QString& line, int column);

}  // namespace kinvar::gui
