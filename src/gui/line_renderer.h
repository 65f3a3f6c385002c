// Drawing of one marked-up report line, shared by the screen and the printer.
//
// A line is laid out into columns first (report/markup.h) and then drawn left
// to right in runs: a run ends after a blank that a non-blank follows, or where
// the attribute changes. Colours: A black, M green, F and I blue, C red,
// X brick red (also the overflow asterisks); any other attribute keeps the
// colour of the run before it, black at the start of a line.
#pragma once

#include <QColor>
#include <QString>
#include <string_view>
#include <vector>

class QPainter;
class QFontMetrics;

namespace kinvar::gui {

struct ColourRun {
  QString text;
  QColor colour;
};

// `colour` false prints every colour code black; overflow asterisks keep
// their brick red either way.
std::vector<ColourRun> ColourRuns(std::string_view line, bool colour = true);

// The text the view shows for a line, in its columns, without the markup
// and without trailing blanks: what a copy of the line gives.
QString PlainText(std::string_view line);

// The laid-out width in characters, as the view sizes its scroll range.
int LaidOutLength(std::string_view line);

// Draws the runs with the painter's font from (x, top), each on the opaque
// `background`, advancing by each run's measured width. Returns the x after
// the last run.
int DrawReportLine(QPainter& painter, std::string_view line, int x, int top, bool colour,
                   const QColor& background);

}  // namespace kinvar::gui
