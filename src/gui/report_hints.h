// What the report view explains on screen only: the meaning of the
// abbreviations in report headings, shown as tooltips. The report's lines,
// its saved files and kinvar-cli's output stay as they are, byte for byte.
#pragma once

#include <QString>

class QTextBrowser;

namespace kinvar::gui {

// The meaning of the abbreviation that covers character `column` of the
// report line `line`, or "" when the pointer rests on none.
QString AbbreviationAt(const QString& line, int column);

// The abbreviation itself ("MK", "No. of dis. gen. equiv.") under
// character `column`, or "" where AbbreviationAt finds none.
QString AbbreviationTextAt(const QString& line, int column);

// Puts the glossary's entry for `term` at the top of `browser`, which shows
// the glossary: the paragraph that begins with the term, else the first
// that holds it as a word; nothing found leaves the page at its top.
void ShowGlossaryEntry(QTextBrowser& browser, const QString& term);

// The letter under character `column` of a heading of lettered columns
// ("Group     A     B     C"), whose legend lines ("A: Number of
// individuals") stand above it in the report; 0 elsewhere.
QChar LegendLetterAt(const QString& line, int column);

// The word that covers character `column`, cut at blanks and at the marks
// that stand between IDs in reports (, < > ( ) :); "" on none.
QString WordAt(const QString& line, int column);

}  // namespace kinvar::gui
