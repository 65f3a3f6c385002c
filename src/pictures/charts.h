// Charts over the results' tables: the trends by group, the distribution of
// F, the founders' contributions, the average relationships between groups,
// the progeny F of the matings and genomic against pedigree F. Each kind is first a plain description
// of what is plotted (series taken straight from the tables, so a test can
// compare them without pixels), then a picture painted through Qt Charts.
//
// Conventions of this header: a missing value (a NaN in a table, ΔF of the
// first group) stays NaN in a series and is left out of the drawing.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pictures/picture.h"
#include "report/result_table.h"

class QChart;

namespace kinvar::pictures {

struct PlotSeries {
  QString name;  // in the legend
  std::vector<double> values;
  bool line = false;        // a line over the points, else bars
  bool rightAxis = false;   // measured on the panel's right axis
  bool dashed = false;      // a dashed line, for one that may lie on another
};

// What a value axis measures. Every axis runs from 0 (below it only when a
// value is negative); counts tick at whole numbers; shares end at 1 at most.
enum class AxisKind { kValue, kCount, kShare };

// One chart: bars over categories, or lines over numbers along x (the
// groups, ticked at their own numbers).
struct PlotPanel {
  QString title, xTitle, yTitle, rightTitle;
  QStringList categories;  // the x axis of bars (and of lines drawn over them)
  std::vector<double> x;   // the x axis of lines when there are no categories
  std::vector<PlotSeries> series;
  AxisKind yKind = AxisKind::kValue, rightKind = AxisKind::kShare;
};

struct Plot {
  QString title;
  std::vector<PlotPanel> panels;  // side by side, two to a row
  QStringList notes;              // a box of figures beside the panels
};

// Average relationships between groups: `values` row by row, n x n,
// symmetric, NaN where the table has no pair.
struct HeatMap {
  QString title, scaleTitle;
  std::vector<int> groups;
  std::vector<double> values;
  double At(std::size_t row, std::size_t column) const { return values[row * groups.size() + column]; }
};

// The diversity command's tables: mean F with ΔF, mean equivalent complete
// generations, completeness, fe with fa, and Ne over its `groups` table.
// With `reference`, the summary's figures of the reference population
// beside them.
Plot TrendsPlot(const ResultSet& diversity, bool reference);
// The structure census: "All individuals" (F = 0 first, from the summary's
// counts) and "Inbreds" over the classes of `f_distribution`.
Plot FDistributionPlot(const ResultSet& structure);
// Gene origin of `group`: the `count` largest founder contributions as bars
// and their cumulative share as a line.
inline constexpr int kFoundersShown = 20;
Plot FoundersPlot(const ResultSet& geneOrigin, int group, int count = kFoundersShown);
// `group_averages` of average-between-groups.
HeatMap GroupHeatMap(const ResultSet& averages);
// The progeny F (the mates' coancestry) of two runs of the mating
// optimization, as histograms on the same classes: the annealing's
// assignment and the proven optimum.
Plot MatingsPlot(const ResultSet& annealing, const ResultSet& optimum);

// Optimum contributions: the selected candidates' contributions as bars,
// sires and dams as two series, largest first within each sex, with the
// offspring's kinship, delta F and the gain beside them.
Plot ContributionsPlot(const ResultSet& contributions);
// The purging analysis over the groups (`purging_groups`): mean F, Ballou's
// ancestral inbreeding and the purged inbreeding g; with gene dropping, its
// ancestral inbreeding and F new and F old beside them.
Plot PurgingPlot(const ResultSet& purging);
// A chart of the panel; the caller owns it (a scene takes it over). Its
// series take the colours of the palette from `firstColour` on, so that
// the panels of one plot never give two series the same colour.
std::unique_ptr<QChart> PanelChart(const PlotPanel& panel, int firstColour = 0);
// The ticks and label format of a value axis over `values` of that kind.
struct AxisTicks {
  double low = 0, high = 1, step = 0.2;
  int decimals = 1;
};
AxisTicks NiceTicks(const std::vector<double>& values, AxisKind kind);

Picture PlotPicture(const Plot& plot);
Picture HeatMapPicture(const HeatMap& map);

// Genomic against pedigree inbreeding: one point per genotyped animal that
// has both coefficients, the line y = x where the two would agree, the
// least-squares line of the genomic on the pedigree F, and the animals
// furthest from that line (the report's own line) named beside their
// points: more or less inbred than their pedigree says, or pedigree errors.
enum class GenomicMeasure { kDiagonal, kHomozygosity, kRuns };
inline constexpr GenomicMeasure kGenomicMeasures[] = {GenomicMeasure::kDiagonal, GenomicMeasure::kHomozygosity,
                                                      GenomicMeasure::kRuns};
// "F from G's diagonal (F_G)" and the others, as the chart's axis says it.
QString MeasureName(GenomicMeasure measure);
// The command line's word: fg, fhom or froh; nothing for another word.
std::optional<GenomicMeasure> MeasureOfWord(const std::string& word);

struct ScatterPoint {
  QString id;
  double x = 0, y = 0;
};

struct Scatter {
  QString title, xTitle, yTitle;
  std::vector<ScatterPoint> points;
  // The least-squares line y = intercept + slope x; flat at the mean of y
  // without two distinct x, and NaN without a point.
  double slope = 0, intercept = 0;
  // Indexes into `points`, the largest absolute residual first.
  std::vector<std::size_t> named;
  QStringList notes;
};

// At most 10 named, and on a small set no more than a third of the points,
// so that the names stay readable beside them.
inline constexpr std::size_t kMostNamed = 10;
std::size_t NamedCount(std::size_t points);
// From the genomic-inbreeding command's table `genomic_inbreeding`.
Scatter GenomicInbreedingScatter(const ResultSet& genomicInbreeding, GenomicMeasure measure);
// A double click on a point gives its animal (Picture::idAt).
Picture ScatterPicture(const Scatter& scatter);

}  // namespace kinvar::pictures
