#include "pictures/charts.h"

#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "genomics/genomic_inbreeding.h"
#include "matings/ocs_solver.h"

namespace kinvar::pictures {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> Column(const ResultTable* table, std::string_view name) {
  std::vector<double> values;
  const TableColumn* column = table == nullptr ? nullptr : table->Find(name);
  if (column == nullptr) return values;
  for (std::size_t row = 0; row < column->size(); ++row) {
    if (column->Missing(row))
      values.push_back(kNaN);
    else if (column->type() == ColumnType::kReal)
      values.push_back(column->Real(row));
    else
      values.push_back(static_cast<double>(column->Integer(row)));
  }
  return values;
}

// A figure of a summary table by its label; NaN when absent.
double Figure(const ResultSet& tables, std::string_view label) {
  const ResultTable* summary = tables.Find("summary");
  if (summary == nullptr) return kNaN;
  const TableColumn* figure = summary->Find("figure");
  const std::vector<double> values = Column(summary, "value");
  for (std::size_t row = 0; figure != nullptr && row < figure->size(); ++row)
    if (figure->Text(row) == label) return values[row];
  return kNaN;
}

QString Number(double value, int digits = 4) {
  if (std::isnan(value)) return QStringLiteral("–");
  return QString::number(value, 'g', digits);
}

PlotPanel LinePanel(QString title, const std::vector<double>& x, QString yTitle,
                    std::vector<PlotSeries> series, AxisKind kind = AxisKind::kValue) {
  for (PlotSeries& s : series) s.line = true;
  return PlotPanel{std::move(title), QStringLiteral("Group"), std::move(yTitle), {}, {}, x,
                   std::move(series), kind};
}

// What the founders' panel shows: all of them, or the largest of more.
QString FoundersTitle(std::size_t shown, std::size_t total) {
  if (shown == total)
    return total == 1 ? QStringLiteral("The one founder's contribution")
                      : QStringLiteral("All %1 founders' contributions").arg(total);
  return QStringLiteral("The %1 largest of %2 contributions").arg(shown).arg(total);
}

}  // namespace

Plot TrendsPlot(const ResultSet& diversity, bool reference) {
  const ResultTable* groups = diversity.Find("groups");
  const std::vector<double> x = Column(groups, "group");
  Plot plot{QStringLiteral("Trends by group"), {}, {}};
  plot.panels.push_back(LinePanel(QStringLiteral("Inbreeding"), x, QStringLiteral("F"),
                                  {{QStringLiteral("Mean F"), Column(groups, "mean_f")},
                                   {QStringLiteral("ΔF from the group before"), Column(groups, "delta_f")}}));
  plot.panels.push_back(LinePanel(QStringLiteral("Pedigree depth"), x, QStringLiteral("Generations"),
                                  {{QStringLiteral("Mean equivalent complete generations"),
                                    Column(groups, "mean_ecg")}}));
  plot.panels.push_back(LinePanel(QStringLiteral("Pedigree completeness (4 generations)"), x,
                                  QStringLiteral("Completeness index"),
                                  {{QStringLiteral("Mean completeness"), Column(groups, "completeness")}},
                                  AxisKind::kShare));
  plot.panels.push_back(LinePanel(QStringLiteral("Founders and ancestors"), x, QStringLiteral("Number"),
                                  {{QStringLiteral("Founder equivalent (fe)"), Column(groups, "fe")},
                                   // fa is at most fe, and often just as large
                                   {QStringLiteral("Effective number of ancestors (fa)"), Column(groups, "fa"), true,
                                    false, true}}));
  plot.panels.push_back(LinePanel(QStringLiteral("Effective population size"), x, QStringLiteral("Ne"),
                                  {{QStringLiteral("Ne"), Column(groups, "ne")}}));
  // Where the ancestor search stopped at its limit, the fa drawn is the
  // largest the unexplained genes allow, which the chart must say.
  const std::vector<double> fa = Column(groups, "fa"), faLower = Column(groups, "fa_lower");
  QStringList bounded;
  for (std::size_t row = 0; row < fa.size() && row < faLower.size(); ++row)
    if (static_cast<float>(fa[row]) != static_cast<float>(faLower[row]) && !std::isnan(fa[row]))
      bounded << QString::number(static_cast<long long>(x[row]));
  if (!bounded.isEmpty())
    plot.notes << QStringLiteral("fa is an upper bound for group(s) %1: the search stopped before every gene was explained")
                      .arg(bounded.join(QStringLiteral(", ")));
  if (!reference) return plot;
  const double population = Figure(diversity, "Reference population");
  plot.notes << (std::isnan(population) ? QStringLiteral("All individuals")
                                        : QStringLiteral("Group %1").arg(population));
  const std::pair<const char*, const char*> figures[] = {
      {"Mean inbreeding", "Mean F"},
      {"Mean equivalent complete generations", "Mean equivalent complete generations"},
      {"Pedigree completeness index (4 generations)", "Completeness"},
      {"Founder equivalent (fe)", "fe"},
      {"Effective number of ancestors (fa)", "fa"},
      {"Effective population size (Ne)", "Ne"}};
  for (const auto& [label, words] : figures)
    plot.notes << QStringLiteral("%1: %2").arg(QString::fromUtf8(words)).arg(Number(Figure(diversity, label)));
  return plot;
}

Plot PurgingPlot(const ResultSet& purging) {
  const ResultTable* groups = purging.Find("purging_groups");
  const std::vector<double> x = Column(groups, "group");
  Plot plot{QStringLiteral("Purging by group"), {}, {}};
  plot.panels.push_back(LinePanel(QStringLiteral("Inbreeding"), x, QStringLiteral("Mean coefficient"),
                                  {{QStringLiteral("F"), Column(groups, "f")},
                                   {QStringLiteral("Ancestral inbreeding, Ballou (Fa)"), Column(groups, "fa_ballou")},
                                   // g is F less what purging removed, often on F
                                   {QStringLiteral("Purged inbreeding (g)"), Column(groups, "g"), true, false, true}}));
  if (groups != nullptr && groups->Find("fa_gene_drop") != nullptr)
    plot.panels.push_back(LinePanel(QStringLiteral("Gene dropping"), x, QStringLiteral("Mean coefficient"),
                                    {{QStringLiteral("Ancestral inbreeding"), Column(groups, "fa_gene_drop")},
                                     {QStringLiteral("F new"), Column(groups, "f_new")},
                                     {QStringLiteral("F old"), Column(groups, "f_old")}}));
  plot.notes << QStringLiteral("Purging coefficient d: %1").arg(Number(Figure(purging, "Purging coefficient (d)")))
             << QStringLiteral("Gene-dropping replicates: %1")
                    .arg(Number(Figure(purging, "Gene-dropping replicates")));
  // Random figures name the seed that repeats them.
  if (const double seed = Figure(purging, "Random seed"); !std::isnan(seed))
    plot.notes << QStringLiteral("Random seed: %1").arg(static_cast<qulonglong>(seed));
  return plot;
}

Plot FDistributionPlot(const ResultSet& structure) {
  const ResultTable* classes = structure.Find("f_distribution");
  const std::vector<double> above = Column(classes, "above"), upTo = Column(classes, "up_to");
  const std::vector<double> counts = Column(classes, "individuals");
  const double total = Figure(structure, "Individuals in total");
  const double inbreds = Figure(structure, "Inbreds in total");
  PlotPanel all{QStringLiteral("All individuals"), QStringLiteral("Inbreeding coefficient (F)"),
                QStringLiteral("Individuals"), {}, {QStringLiteral("0")}, {},
                {{QStringLiteral("All individuals"), {total - (std::isnan(inbreds) ? 0.0 : inbreds)}}},
                AxisKind::kCount};
  PlotPanel inbred{QStringLiteral("Inbreds"), all.xTitle, all.yTitle, {}, {}, {},
                   {{QStringLiteral("Inbreds"), {}}}, AxisKind::kCount};
  for (std::size_t k = 0; k < counts.size(); ++k) {
    const QString label = QStringLiteral("%1–%2").arg(above[k], 0, 'f', 2).arg(upTo[k], 0, 'f', 2);
    all.categories << label;
    all.series[0].values.push_back(counts[k]);
    inbred.categories << label;
    inbred.series[0].values.push_back(counts[k]);
  }
  Plot plot{QStringLiteral("Distribution of inbreeding coefficients"), {std::move(all)}, {}};
  if (!counts.empty()) plot.panels.push_back(std::move(inbred));
  return plot;
}

Plot FoundersPlot(const ResultSet& geneOrigin, int group, int count) {
  const ResultTable* founders = geneOrigin.Find("founder_contributions");
  const TableColumn* ids = founders == nullptr ? nullptr : founders->Find("id");
  const std::vector<double> contributions = Column(founders, "contribution");
  const std::size_t shown = std::min(contributions.size(), static_cast<std::size_t>(std::max(0, count)));
  PlotPanel panel{FoundersTitle(shown, contributions.size()), QStringLiteral("Founder"),
                  QStringLiteral("Contribution"), QStringLiteral("Cumulative share"), {}, {},
                  {{QStringLiteral("Contribution"), {}},
                   {QStringLiteral("Cumulative share"), {}, true, true}},
                  AxisKind::kShare, AxisKind::kShare};
  double sum = 0;
  for (std::size_t k = 0; k < shown; ++k) {
    sum += contributions[k];
    panel.categories << QString::fromUtf8(ids->Text(k).data(), static_cast<qsizetype>(ids->Text(k).size()));
    panel.series[0].values.push_back(contributions[k]);
    panel.series[1].values.push_back(sum);
  }
  Plot plot{QStringLiteral("Founder contributions to group %1").arg(group), {std::move(panel)}, {}};
  plot.notes << QStringLiteral("Group %1").arg(group)
             << QStringLiteral("Founders contributing: %1").arg(contributions.size())
             << QStringLiteral("Founder equivalent (fe): %1").arg(Number(Figure(geneOrigin, "Founder equivalent")))
             << QStringLiteral("Share of the %1 shown: %2").arg(shown).arg(Number(sum));
  return plot;
}

Plot ContributionsPlot(const ResultSet& result) {
  const ResultTable* table = result.Find("contributions");
  const TableColumn* ids = table == nullptr ? nullptr : table->Find("id");
  const TableColumn* sexes = table == nullptr ? nullptr : table->Find("sex");
  const std::vector<double> c = Column(table, "contribution");
  std::vector<std::size_t> rows;
  for (std::size_t r = 0; r < c.size(); ++r)
    if (c[r] > kSelectedContribution) rows.push_back(r);
  // Sires first, then dams, each from the largest share down.
  const auto isSire = [&](std::size_t r) { return sexes->Text(r) == "M"; };
  std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
    if (isSire(a) != isSire(b)) return isSire(a);
    return c[a] > c[b];
  });
  PlotPanel panel{QStringLiteral("Selected candidates"), QStringLiteral("Candidate"),
                  QStringLiteral("Contribution"), {}, {}, {},
                  {{QStringLiteral("Sires"), {}}, {QStringLiteral("Dams"), {}}}, AxisKind::kShare};
  for (const std::size_t r : rows) {
    panel.categories << QString::fromUtf8(ids->Text(r).data(), static_cast<qsizetype>(ids->Text(r).size()));
    panel.series[0].values.push_back(isSire(r) ? c[r] : kNaN);
    panel.series[1].values.push_back(isSire(r) ? kNaN : c[r]);
  }
  Plot plot{QStringLiteral("Optimum contributions"), {std::move(panel)}, {}};
  plot.notes << QStringLiteral("Candidates: %1, selected: %2").arg(c.size()).arg(rows.size())
             << QStringLiteral("Kinship of the offspring: %1").arg(Number(Figure(result, "Kinship of the offspring")))
             << QStringLiteral("Delta F: %1").arg(Number(Figure(result, "Delta F")));
  const double gain = Figure(result, "Genetic gain");
  if (!std::isnan(gain)) plot.notes << QStringLiteral("Genetic gain: %1").arg(Number(gain));
  return plot;
}

HeatMap GroupHeatMap(const ResultSet& averages) {
  const ResultTable* table = averages.Find("group_averages");
  const std::vector<double> g1 = Column(table, "group1"), g2 = Column(table, "group2");
  const std::vector<double> value = Column(table, "value");
  std::map<int, std::size_t> index;
  for (const double g : g1) index.emplace(static_cast<int>(g), 0);
  for (const double g : g2) index.emplace(static_cast<int>(g), 0);
  HeatMap map{QStringLiteral("Average relationships between groups"),
              QStringLiteral("Average numerator relationship"), {}, {}};
  for (auto& [group, i] : index) {
    i = map.groups.size();
    map.groups.push_back(group);
  }
  const std::size_t n = map.groups.size();
  map.values.assign(n * n, kNaN);
  for (std::size_t r = 0; r < value.size(); ++r) {
    const std::size_t a = index[static_cast<int>(g1[r])], b = index[static_cast<int>(g2[r])];
    map.values[a * n + b] = value[r];
    map.values[b * n + a] = value[r];
  }
  return map;
}

namespace {

std::vector<double> ProgenyF(const ResultSet& run) {
  return Column(run.Find("matings"), "coancestry");
}

// The narrowest of a few round widths that puts every value in 12 classes
// or fewer.
double ClassWidth(double largest) {
  for (const double width : {0.005, 0.01, 0.0125, 0.025, 0.05, 0.1, 0.25})
    if (largest < width * 12) return width;
  return std::ceil(largest / 12);
}

double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (const double v : values) sum += v;
  return values.empty() ? kNaN : sum / static_cast<double>(values.size());
}

}  // namespace

Plot MatingsPlot(const ResultSet& annealing, const ResultSet& optimum) {
  const std::vector<double> found = ProgenyF(annealing), best = ProgenyF(optimum);
  double largest = 0;
  for (const double v : found) largest = std::max(largest, v);
  for (const double v : best) largest = std::max(largest, v);
  const double width = ClassWidth(largest);
  // A value on a class edge (0.15 with classes of 0.025) belongs to the
  // class it begins, whatever the division's last bit says.
  const auto classOf = [width](double v) { return static_cast<std::size_t>(std::floor(v / width + 1e-9)); };
  const std::size_t classes = classOf(largest) + 1;
  PlotPanel panel{QStringLiteral("Progeny F"), QStringLiteral("Progeny F, from (classes of %1)").arg(width),
                  QStringLiteral("Matings"), {}, {}, {},
                  {{QStringLiteral("Simulated annealing"), std::vector<double>(classes, 0.0)},
                   {QStringLiteral("Proven optimum"), std::vector<double>(classes, 0.0)}},
                  AxisKind::kCount};
  const int decimals = width == 0.0125 ? 4 : width < 0.01 || width == 0.025 ? 3 : 2;
  for (std::size_t k = 0; k < classes; ++k)
    panel.categories << QString::number(static_cast<double>(k) * width, 'f', decimals);
  const auto count = [&](const std::vector<double>& values, std::vector<double>& into) {
    for (const double v : values)
      ++into[std::min(classes - 1, classOf(v))];
  };
  count(found, panel.series[0].values);
  count(best, panel.series[1].values);
  PlotPanel annealed = panel, proven = panel;
  annealed.title = QStringLiteral("Simulated annealing");
  annealed.series.erase(annealed.series.begin() + 1);
  proven.title = QStringLiteral("Proven optimum");
  proven.series.erase(proven.series.begin());
  Plot plot{QStringLiteral("Progeny inbreeding of the matings"), {std::move(annealed), std::move(proven)}, {}};
  plot.notes << QStringLiteral("Average progeny F")
             << QStringLiteral("Simulated annealing: %1").arg(Number(Mean(found), 6))
             << QStringLiteral("Proven optimum: %1").arg(Number(Mean(best), 6));
  return plot;
}

QString MeasureName(GenomicMeasure measure) {
  switch (measure) {
    case GenomicMeasure::kDiagonal: return QStringLiteral("F from G's diagonal (F_G)");
    case GenomicMeasure::kHomozygosity: return QStringLiteral("F from homozygosity (F_hom)");
    case GenomicMeasure::kRuns: return QStringLiteral("F from runs of homozygosity (F_ROH)");
  }
  return {};
}

std::optional<GenomicMeasure> MeasureOfWord(const std::string& word) {
  if (word == "fg") return GenomicMeasure::kDiagonal;
  if (word == "fhom") return GenomicMeasure::kHomozygosity;
  if (word == "froh") return GenomicMeasure::kRuns;
  return std::nullopt;
}

std::size_t NamedCount(std::size_t points) {
  if (points == 0) return 0;
  return std::min(kMostNamed, std::max<std::size_t>(1, points / 3));
}

namespace {

const char* ColumnOf(GenomicMeasure measure) {
  switch (measure) {
    case GenomicMeasure::kDiagonal: return "f_g";
    case GenomicMeasure::kHomozygosity: return "f_hom";
    case GenomicMeasure::kRuns: return "f_roh";
  }
  return "";
}

double Correlation(const std::vector<ScatterPoint>& points) {
  const auto n = static_cast<double>(points.size());
  double mx = 0, my = 0;
  for (const ScatterPoint& p : points) mx += p.x / n, my += p.y / n;
  double sxx = 0, syy = 0, sxy = 0;
  for (const ScatterPoint& p : points) {
    sxx += (p.x - mx) * (p.x - mx);
    syy += (p.y - my) * (p.y - my);
    sxy += (p.x - mx) * (p.y - my);
  }
  return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : kNaN;
}

}  // namespace

Scatter GenomicInbreedingScatter(const ResultSet& tables, GenomicMeasure measure) {
  const ResultTable* table = tables.Find("genomic_inbreeding");
  const TableColumn* ids = table == nullptr ? nullptr : table->Find("id");
  const std::vector<double> pedigree = Column(table, "f_pedigree"), genomic = Column(table, ColumnOf(measure));
  Scatter scatter{QStringLiteral("%1 against pedigree F").arg(MeasureName(measure)), QStringLiteral("Pedigree F"),
                  MeasureName(measure), {}, kNaN, kNaN, {}, {}};
  std::vector<double> x, y;
  std::size_t leftOut = 0;
  for (std::size_t row = 0; row < pedigree.size() && row < genomic.size(); ++row) {
    if (!std::isfinite(pedigree[row]) || !std::isfinite(genomic[row])) {
      ++leftOut;
      continue;
    }
    const std::string_view id = ids->Text(row);
    scatter.points.push_back({QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())), pedigree[row],
                              genomic[row]});
    x.push_back(pedigree[row]);
    y.push_back(genomic[row]);
  }
  scatter.notes << MeasureName(measure) << QStringLiteral("Animals: %1").arg(scatter.points.size());
  if (leftOut > 0) scatter.notes << QStringLiteral("Left out, without this coefficient: %1").arg(leftOut);
  if (scatter.points.empty()) return scatter;
  const std::size_t named = NamedCount(scatter.points.size());
  const LineFit fit = FitAndFurthest(x, y, static_cast<std::int32_t>(named));
  scatter.slope = fit.slope;
  scatter.intercept = fit.intercept;
  for (const std::int64_t k : fit.furthest) scatter.named.push_back(static_cast<std::size_t>(k));
  const QString slope = fit.slope < 0 ? QStringLiteral("- %1").arg(Number(-fit.slope)) : QStringLiteral("+ %1").arg(Number(fit.slope));
  scatter.notes << QStringLiteral("Least-squares line: y = %1 %2 x").arg(Number(fit.intercept), slope)
                << QStringLiteral("Correlation: %1").arg(Number(Correlation(scatter.points)))
                << QStringLiteral("Named: the %1 furthest from the least-squares line").arg(scatter.named.size());
  return scatter;
}

}  // namespace kinvar::pictures
