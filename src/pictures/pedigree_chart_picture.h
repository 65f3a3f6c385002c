// The pedigree chart of an individual as a picture: the individual on the
// left, its parents, grandparents and so on to the right.
#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <vector>

#include "analyses/pedigree_chart.h"
#include "pedigree/pedigree.h"
#include "pictures/picture.h"

namespace kinvar::pictures {

// Where everything of a chart goes, in the picture's logical units.
struct ChartLayout {
  QSizeF size;
  QRectF title;
  std::vector<QRectF> boxes;  // by PedigreeChart::Place; null where nothing is drawn
  std::vector<QFont> fonts;   // by generation: the box texts' font (IDs in bold)
  std::vector<bool> twoLines;  // by generation: the ID, then sex, group or year and F
  QRectF legend;
  std::vector<QRectF> legendRows;  // one per line of the legend, below its heading
};

ChartLayout LayOutPedigreeChart(const PedigreeChart& chart);

Picture PedigreeChartPicture(const PedigreeChart& chart);

// The chart of `individual`, `generations` back (parents are generation 1,
// at most kMaxChartGenerations). The pedigree has its coefficients computed;
// its records are put in code order.
Picture PedigreeChartPicture(Pedigree& ped, RecIndex individual, int generations);

}  // namespace kinvar::pictures
