// The charts painted: each panel a Qt chart rendered from a scene into the
// painter (so that an SVG keeps its texts as texts), the heat map drawn
// directly.
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "pictures/charts.h"

namespace kinvar::pictures {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kMargin = 24;
constexpr double kTitleHeight = 44;
constexpr double kPanelWidth = 620;
constexpr double kPanelHeight = 420;
constexpr double kNotesWidth = 420;
constexpr double kNoteRow = 24;


QAbstractAxis* AddAxis(QChart& chart, QAbstractAxis* axis, Qt::Alignment where, const QString& title) {
  axis->setTitleText(title);
  axis->setTitleFont(PictureFont(13));
  axis->setLabelsFont(PictureFont(11));
  // A label cut to "…" says nothing; the labels are laid out to fit instead.
  axis->setTruncateLabels(false);
  chart.addAxis(axis, where);
  return axis;
}

// Distinct at a glance, and still told apart when printed in grey.
const QColor kPalette[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
                           QColor(0xd6, 0x27, 0x28), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                           QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
                           QColor(0x17, 0xbe, 0xcf)};
QColor PaletteColour(int k) { return kPalette[k % static_cast<int>(std::size(kPalette))]; }

// The room a panel's plot area has along x: the panel less its axes.
constexpr double kPlotWidth = kPanelWidth - 150;

void SetTicks(QValueAxis* axis, const std::vector<const PlotSeries*>& series, AxisKind kind) {
  std::vector<double> values;
  for (const PlotSeries* s : series) values.insert(values.end(), s->values.begin(), s->values.end());
  const AxisTicks ticks = NiceTicks(values, kind);
  axis->setRange(ticks.low, ticks.high);
  axis->setTickCount(static_cast<int>(std::lround((ticks.high - ticks.low) / ticks.step)) + 1);
  axis->setLabelFormat(QStringLiteral("%.%1f").arg(ticks.decimals));
}

QValueAxis* ValueAxis(const std::vector<const PlotSeries*>& series, AxisKind kind) {
  auto* axis = new QValueAxis;
  SetTicks(axis, series, kind);
  return axis;
}

// Upright labels when they fit side by side, else turned to run upwards;
// on a crowded axis only every so many are labelled.
struct LabelPlan {
  int angle = 0;
  int every = 1;
};
LabelPlan PlanLabels(const QStringList& labels) {
  const QFont font = PictureFont(11);
  double widest = 0;
  for (const QString& label : labels) widest = std::max(widest, TextWidth(font, label));
  const double n = std::max<double>(1, static_cast<double>(labels.size()));
  if ((widest + 8) * n <= kPlotWidth) return {};
  const double tall = TextHeight(font) + 2;
  return {-90, std::max(1, static_cast<int>(std::ceil(tall * n / kPlotWidth)))};
}

QLineSeries* LineOf(const PlotSeries& s, const PlotPanel& panel) {
  auto* line = new QLineSeries;
  line->setName(s.name);
  for (std::size_t k = 0; k < s.values.size(); ++k) {
    const double x = panel.categories.isEmpty() ? panel.x[k] : static_cast<double>(k);
    if (std::isfinite(s.values[k])) line->append(x, s.values[k]);
  }
  line->setPointsVisible(true);
  // Over many groups, big points would merge into a band hiding the line.
  line->setMarkerSize(s.values.size() > 30 ? 3.5 : 5.0);
  return line;
}

void AddSeries(QChart& chart, const PlotPanel& panel, QAbstractAxis* x, int firstColour) {
  std::vector<const PlotSeries*> left, right;
  for (const PlotSeries& s : panel.series) (s.rightAxis ? right : left).push_back(&s);
  QAbstractAxis* y = AddAxis(chart, ValueAxis(left, panel.yKind), Qt::AlignLeft, panel.yTitle);
  QAbstractAxis* y2 =
      right.empty() ? nullptr : AddAxis(chart, ValueAxis(right, panel.rightKind), Qt::AlignRight, panel.rightTitle);
  QBarSeries* barSeries = nullptr;
  int colour = firstColour;
  for (const PlotSeries& s : panel.series) {
    const QColor paint = PaletteColour(colour++);
    if (!s.line) {
      if (barSeries == nullptr) barSeries = new QBarSeries;
      auto* set = new QBarSet(s.name);
      for (const double v : s.values) set->append(std::isfinite(v) ? v : 0.0);
      set->setColor(paint);
      set->setBorderColor(paint);
      barSeries->append(set);
      continue;
    }
    QLineSeries* line = LineOf(s, panel);
    chart.addSeries(line);
    // A dashed line drawn over a solid one leaves the solid one showing.
    QPen pen(paint, s.dashed ? 2.0 : 3.0, s.dashed ? Qt::DashLine : Qt::SolidLine);
    line->setPen(pen);
    line->setColor(paint);
    line->attachAxis(x);
    line->attachAxis(s.rightAxis ? y2 : y);
  }
  if (barSeries != nullptr) {
    chart.addSeries(barSeries);
    barSeries->attachAxis(x);
    barSeries->attachAxis(y);
  }
  // Attaching a series widens an axis to the series' own domain: the ticks
  // chosen for the axis are set again once every series is on it.
  SetTicks(static_cast<QValueAxis*>(y), left, panel.yKind);
  if (y2 != nullptr) SetTicks(static_cast<QValueAxis*>(y2), right, panel.rightKind);
}

// The groups along x, a tick at each group's own number (every so many
// when they are too many to label).
QAbstractAxis* GroupAxis(const std::vector<double>& x) {
  std::vector<double> groups;
  for (const double v : x)
    if (std::isfinite(v)) groups.push_back(v);
  std::sort(groups.begin(), groups.end());
  groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
  auto* axis = new QCategoryAxis;
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  if (groups.empty()) groups.push_back(0);
  QStringList labels;
  for (const double g : groups) labels << QString::number(g, 'f', 0);
  const LabelPlan plan = PlanLabels(labels);
  for (std::size_t k = 0; k < groups.size(); k += static_cast<std::size_t>(plan.every))
    axis->append(labels[static_cast<qsizetype>(k)], groups[k]);
  const double span = groups.back() - groups.front();
  const double pad = span > 0 ? span * 0.03 : 0.5;
  axis->setStartValue(groups.front() - pad);
  axis->setRange(groups.front() - pad, groups.back() + pad);
  axis->setLabelsAngle(plan.angle);
  return axis;
}

}  // namespace

AxisTicks NiceTicks(const std::vector<double>& values, AxisKind kind) {
  double low = 0, high = 0;  // 0 always in view: these are amounts
  for (const double v : values)
    if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
  const bool wide = kind == AxisKind::kShare && high > 1;  // a share that is not one
  if (high - low <= 0) high = low + (kind == AxisKind::kCount ? 1.0 : 0.1);
  // About five steps of 1, 2, 2.5 or 5 times a power of ten.
  const double rough = (high - low) / 5;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power * 5;
  for (const double m : {1.0, 2.0, 2.5, 5.0})
    if (power * m >= rough) {
      step = power * m;
      break;
    }
  if (kind == AxisKind::kCount) step = std::max(1.0, std::round(step));
  AxisTicks ticks;
  ticks.step = step;
  // A value within rounding of a tick takes no tick more, but the range
  // still reaches it: a point a hair beyond the axis would be clipped.
  ticks.low = std::min(low, std::floor(low / step + 1e-9) * step);
  ticks.high = std::max(high, std::ceil(high / step - 1e-9) * step);
  if (kind == AxisKind::kShare && !wide) ticks.high = std::min(ticks.high, 1.0);
  // As many decimals as the step has, the same for every label.
  int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
  const double scaled = step * std::pow(10.0, decimals);
  if (std::abs(scaled - std::round(scaled)) > 1e-6 * scaled) ++decimals;  // a step of 2.5
  ticks.decimals = decimals;
  return ticks;
}

std::unique_ptr<QChart> PanelChart(const PlotPanel& panel, int firstColour) {
  auto chart = std::make_unique<QChart>();
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setTitle(panel.title);
  chart->setTitleFont(PictureFont(15, true));
  chart->legend()->setFont(PictureFont(12));
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setBackgroundRoundness(0);
  QAbstractAxis* x = nullptr;
  if (panel.categories.isEmpty()) {
    x = AddAxis(*chart, GroupAxis(panel.x), Qt::AlignBottom, panel.xTitle);
  } else {
    auto* axis = new QBarCategoryAxis;
    axis->append(panel.categories);
    axis->setLabelsAngle(PlanLabels(panel.categories).angle);
    x = AddAxis(*chart, axis, Qt::AlignBottom, panel.xTitle);
  }
  AddSeries(*chart, panel, x, firstColour);
  return chart;
}

namespace {

void PaintPanel(QPainter& painter, const PlotPanel& panel, const QRectF& rect, int firstColour) {
  QGraphicsScene scene;
  QChart* chart = PanelChart(panel, firstColour).release();
  scene.addItem(chart);  // the scene owns it now
  chart->setGeometry(QRectF(QPointF(0, 0), rect.size()));
  if (chart->layout() != nullptr) chart->layout()->activate();
  scene.setSceneRect(QRectF(QPointF(0, 0), rect.size()));
  scene.render(&painter, rect, scene.sceneRect());
}

// A long note (the groups whose fa is a bound) breaks into lines rather
// than running out of its box.
double NoteHeight(const QString& note, bool bold) {
  return std::max(kNoteRow, WrappedTextHeight(PictureFont(14, bold), note, kNotesWidth - 24) + 4);
}

double NotesHeight(const QStringList& notes) {
  double height = 20;
  for (qsizetype i = 0; i < notes.size(); ++i) height += NoteHeight(notes[i], i == 0);
  return height;
}

void PaintNotes(QPainter& painter, const QStringList& notes, const QRectF& rect) {
  painter.setPen(QColor(0x88, 0x88, 0x88));
  painter.setBrush(QColor(0xf6, 0xf6, 0xf6));
  painter.drawRect(rect);
  painter.setPen(Qt::black);
  double y = rect.top() + 10;
  for (qsizetype i = 0; i < notes.size(); ++i) {
    painter.setFont(PictureFont(14, i == 0));
    const double height = NoteHeight(notes[i], i == 0);
    painter.drawText(QRectF(rect.left() + 12, y, rect.width() - 24, height),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, notes[i]);
    y += height;
  }
}

QSizeF PlotSize(const Plot& plot) {
  const auto n = static_cast<double>(plot.panels.size());
  const double columns = n > 1 ? 2 : 1, rows = std::ceil(n / 2);
  const double notes = plot.notes.isEmpty() ? 0 : kNotesWidth + kMargin;
  return {kMargin * 2 + columns * kPanelWidth + notes,
          kMargin * 2 + kTitleHeight + std::max({kPanelHeight, rows * kPanelHeight, NotesHeight(plot.notes)})};
}

void PaintPlot(QPainter& painter, const Plot& plot, QSizeF size) {
  painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
  painter.setFont(PictureFont(20, true));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(kMargin, kMargin, size.width() - 2 * kMargin, kTitleHeight),
                   Qt::AlignLeft | Qt::AlignTop, plot.title);
  const double top = kMargin + kTitleHeight;
  const int columns = plot.panels.size() > 1 ? 2 : 1;
  int colour = 0;
  for (std::size_t i = 0; i < plot.panels.size(); ++i) {
    const double x = kMargin + kPanelWidth * static_cast<double>(static_cast<int>(i) % columns);
    const double y = top + kPanelHeight * static_cast<double>(static_cast<int>(i) / columns);
    PaintPanel(painter, plot.panels[i], QRectF(x, y, kPanelWidth, kPanelHeight), colour);
    colour += static_cast<int>(plot.panels[i].series.size());
  }
  if (plot.notes.isEmpty()) return;
  const double left = kMargin + columns * kPanelWidth + kMargin;
  PaintNotes(painter, plot.notes, QRectF(left, top, kNotesWidth, NotesHeight(plot.notes)));
}

}  // namespace

Picture PlotPicture(const Plot& plot) {
  auto shared = std::make_shared<const Plot>(plot);
  const QSizeF size = PlotSize(plot);
  return Picture{plot.title, size, [shared, size](QPainter& painter) { PaintPlot(painter, *shared, size); }};
}

namespace {

// White through orange to dark red over [low, high].
QColor HeatColour(double value, double low, double high) {
  const double t = high > low ? std::clamp((value - low) / (high - low), 0.0, 1.0) : 0.5;
  const QColor from(0xff, 0xf7, 0xec), middle(0xfc, 0x8d, 0x59), to(0x7f, 0x00, 0x00);
  const auto mix = [](const QColor& a, const QColor& b, double s) {
    const auto channel = [s](int p, int q) { return static_cast<int>(std::lround(p + (q - p) * s)); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
  };
  return t < 0.5 ? mix(from, middle, t * 2) : mix(middle, to, t * 2 - 1);
}

struct HeatLayout {
  QSizeF size;
  double cell = 0, left = 0, top = 0;
  AxisTicks scale;      // of the colour scale, from 0
  double labelFont = 0;  // of the group labels
  bool upright = true;   // column labels side by side, else running upwards
  int every = 1;         // a label for every so many groups
};

constexpr double kScaleBar = 24, kScaleHeight = 300;

QString ScaleLabel(const HeatLayout& l, double v) { return QString::number(v, 'f', l.scale.decimals); }

HeatLayout LayOutHeatMap(const HeatMap& map) {
  HeatLayout l;
  const auto n = static_cast<double>(std::max<std::size_t>(1, map.groups.size()));
  l.cell = std::clamp(720.0 / n, 4.0, 64.0);
  l.scale = NiceTicks(map.values, AxisKind::kValue);
  l.labelFont = std::min(13.0, std::max(7.0, l.cell * 0.4));
  const QFont font = PictureFont(l.labelFont);
  double widest = 0;
  for (const int g : map.groups) widest = std::max(widest, TextWidth(font, QString::number(g)));
  const double tall = TextHeight(font);
  l.upright = widest + 4 <= l.cell;
  l.every = std::max(1, static_cast<int>(std::ceil((tall + 2) / l.cell)));
  l.left = kMargin + std::max(80.0, widest + 10);
  l.top = kMargin + kTitleHeight + 40 + (l.upright ? 0.0 : widest);
  // The scale: its title above, its bar and labels below.
  double labels = 0;
  for (double v = l.scale.low; v <= l.scale.high + l.scale.step / 2; v += l.scale.step)
    labels = std::max(labels, TextWidth(PictureFont(12), ScaleLabel(l, v)));
  const double scaleWidth = std::max(TextWidth(PictureFont(13, true), map.scaleTitle), kScaleBar + 6 + labels);
  const double width = std::max(l.left + l.cell * n + 60 + scaleWidth + kMargin,
                                2 * kMargin + TextWidth(PictureFont(20, true), map.title));
  l.size = QSizeF(width, std::max(l.top + l.cell * n + kMargin + 40, l.top + kScaleHeight + kMargin + 20));
  return l;
}

// A colour bar from 0 up, labelled at the same round steps in one format.
void PaintScale(QPainter& painter, const HeatMap& map, const HeatLayout& l, double x) {
  const double low = l.scale.low, high = l.scale.high;
  for (int i = 0; i < 100; ++i) {
    const double v = high - (high - low) * i / 99.0;
    painter.fillRect(QRectF(x, l.top + kScaleHeight * i / 100.0, kScaleBar, kScaleHeight / 100.0 + 0.5),
                     HeatColour(v, low, high));
  }
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(x, l.top, kScaleBar, kScaleHeight));
  painter.setFont(PictureFont(12));
  const int steps = static_cast<int>(std::lround((high - low) / l.scale.step));
  for (int i = 0; i <= steps; ++i) {
    const double v = low + l.scale.step * i;
    const double y = l.top + kScaleHeight * (1 - static_cast<double>(i) / std::max(1, steps));
    painter.drawLine(QPointF(x + kScaleBar, y), QPointF(x + kScaleBar + 4, y));
    painter.drawText(QRectF(x + kScaleBar + 6, y - 10, 160, 20), Qt::AlignLeft | Qt::AlignVCenter, ScaleLabel(l, v));
  }
  painter.setFont(PictureFont(13, true));
  painter.drawText(QRectF(x, l.top - 34, l.size.width() - x, 28), Qt::AlignLeft | Qt::AlignVCenter, map.scaleTitle);
}

void PaintGroupLabels(QPainter& painter, const HeatMap& map, const HeatLayout& l) {
  painter.setPen(Qt::black);
  painter.setFont(PictureFont(l.labelFont));
  for (std::size_t i = 0; i < map.groups.size(); i += static_cast<std::size_t>(l.every)) {
    const double at = l.cell * static_cast<double>(i);
    const QString group = QString::number(map.groups[i]);
    painter.drawText(QRectF(kMargin, l.top + at, l.left - kMargin - 6, l.cell), Qt::AlignRight | Qt::AlignVCenter, group);
    if (l.upright) {
      painter.drawText(QRectF(l.left + at, l.top - 26, l.cell, 22), Qt::AlignHCenter | Qt::AlignBottom, group);
      continue;
    }
    painter.save();
    painter.translate(l.left + at, l.top - 4);
    painter.rotate(-90);
    painter.drawText(QRectF(0, 0, l.top - kMargin - kTitleHeight, l.cell), Qt::AlignLeft | Qt::AlignVCenter, group);
    painter.restore();
  }
}

void PaintHeatMap(QPainter& painter, const HeatMap& map, const HeatLayout& l) {
  painter.fillRect(QRectF(QPointF(0, 0), l.size), Qt::white);
  painter.setFont(PictureFont(20, true));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(kMargin, kMargin, l.size.width() - 2 * kMargin, kTitleHeight), Qt::AlignLeft | Qt::AlignTop,
                   map.title);
  const std::size_t n = map.groups.size();
  const bool values = l.cell >= 40;
  const double low = l.scale.low, high = l.scale.high;
  painter.setFont(PictureFont(std::min(12.0, l.cell * 0.3)));
  for (std::size_t r = 0; r < n; ++r)
    for (std::size_t c = 0; c < n; ++c) {
      const QRectF cell(l.left + l.cell * static_cast<double>(c), l.top + l.cell * static_cast<double>(r), l.cell, l.cell);
      const double v = map.At(r, c);
      painter.fillRect(cell, std::isfinite(v) ? HeatColour(v, low, high) : QColor(0xdd, 0xdd, 0xdd));
      if (!values || !std::isfinite(v)) continue;
      const double t = high > low ? (v - low) / (high - low) : 0.5;
      painter.setPen(t > 0.6 ? Qt::white : Qt::black);
      painter.drawText(cell, Qt::AlignCenter, QString::number(v, 'f', 3));
    }
  PaintGroupLabels(painter, map, l);
  painter.setFont(PictureFont(13, true));
  painter.drawText(QRectF(l.left, l.top + l.cell * static_cast<double>(n) + 6, l.cell * static_cast<double>(n), 24),
                   Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Group"));
  painter.drawText(QRectF(kMargin, l.top - 26, 70, 22), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Group"));
  PaintScale(painter, map, l, l.left + l.cell * static_cast<double>(n) + 60);
}

}  // namespace

Picture HeatMapPicture(const HeatMap& map) {
  auto shared = std::make_shared<const HeatMap>(map);
  auto layout = std::make_shared<const HeatLayout>(LayOutHeatMap(map));
  return Picture{map.title, layout->size, [shared, layout](QPainter& painter) { PaintHeatMap(painter, *shared, *layout); }};
}

namespace {

constexpr double kScatterWidth = 860;
constexpr double kScatterHeight = 640;
constexpr double kNameGap = 7;  // between a point and its name

// Where each point and each name lands in the picture, worked out once from
// a laid-out chart: the painting and a double click both go by it.
struct ScatterLayout {
  QSizeF size;
  QRectF chart;               // the chart's rectangle in the picture
  std::vector<QPointF> at;    // per point
  std::vector<QRectF> names;  // per named point, in the order of `named`
};

QScatterSeries* Points(const QString& name, const QColor& colour, double size) {
  auto* series = new QScatterSeries;
  series->setName(name);
  series->setColor(colour);
  series->setBorderColor(colour.darker(130));
  series->setMarkerSize(size);
  return series;
}

QLineSeries* StraightLine(const QString& name, QPointF from, QPointF to, const QPen& pen) {
  auto* line = new QLineSeries;
  line->setName(name);
  line->append(from);
  line->append(to);
  line->setPen(pen);
  line->setColor(pen.color());
  return line;
}

// A little room beyond the round ticks, so that a point on the first or the
// last (F = 0 is common) is drawn whole, not half under the axis; the ticks
// stay at the round steps.
struct PaddedAxis {
  AxisTicks ticks;
  double low = 0, high = 1;
};

PaddedAxis Padded(const std::vector<double>& values) {
  PaddedAxis a{NiceTicks(values, AxisKind::kValue)};
  const double pad = (a.ticks.high - a.ticks.low) * 0.04;
  a.low = a.ticks.low - pad;
  a.high = a.ticks.high + pad;
  return a;
}

void SetRange(QValueAxis* axis, const PaddedAxis& a) {
  axis->setRange(a.low, a.high);
  axis->setTickType(QValueAxis::TicksDynamic);
  axis->setTickAnchor(0.0);
  axis->setTickInterval(a.ticks.step);
  axis->setLabelFormat(QStringLiteral("%.%1f").arg(a.ticks.decimals));
}

// The points, the named ones apart in another colour, y = x dashed and the
// least-squares line solid, over axes from 0 (lower for a negative F).
std::unique_ptr<QChart> ScatterChart(const Scatter& s) {
  auto chart = std::make_unique<QChart>();
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setBackgroundRoundness(0);
  chart->legend()->setFont(PictureFont(12));
  chart->legend()->setAlignment(Qt::AlignBottom);
  std::vector<double> xs, ys;
  for (const ScatterPoint& p : s.points) xs.push_back(p.x), ys.push_back(p.y);
  const PaddedAxis xAxis = Padded(xs), yAxis = Padded(ys);
  auto* x = static_cast<QValueAxis*>(AddAxis(*chart, new QValueAxis, Qt::AlignBottom, s.xTitle));
  auto* y = static_cast<QValueAxis*>(AddAxis(*chart, new QValueAxis, Qt::AlignLeft, s.yTitle));
  std::vector<bool> named(s.points.size(), false);
  for (const std::size_t k : s.named) named[k] = true;
  QScatterSeries* plain = Points(QStringLiteral("Animals"), PaletteColour(0), 9);
  QScatterSeries* furthest = Points(QStringLiteral("Furthest from the least-squares line"), PaletteColour(3), 11);
  for (std::size_t k = 0; k < s.points.size(); ++k) (named[k] ? furthest : plain)->append(s.points[k].x, s.points[k].y);
  std::vector<QAbstractSeries*> series{plain, furthest};
  // Over the whole x axis; the plot area clips what leaves the y axis.
  const double low = xAxis.low, high = xAxis.high;
  series.push_back(StraightLine(QStringLiteral("y = x, where genomic and pedigree F agree"), {low, low}, {high, high},
                        QPen(QColor(0x55, 0x55, 0x55), 2.0, Qt::DashLine)));
  if (std::isfinite(s.slope) && std::isfinite(s.intercept))
    series.push_back(StraightLine(QStringLiteral("Least-squares line"), {low, s.intercept + s.slope * low},
                          {high, s.intercept + s.slope * high}, QPen(PaletteColour(1), 2.5)));
  for (QAbstractSeries* one : series) {
    chart->addSeries(one);
    one->attachAxis(x);
    one->attachAxis(y);
  }
  SetRange(x, xAxis);
  SetRange(y, yAxis);
  return chart;
}

// The chart laid out in a scene of its rectangle's size.
struct LaidOutChart {
  QGraphicsScene scene;
  QChart* chart = nullptr;  // the scene's
};

void LayOut(LaidOutChart& out, const Scatter& s, QSizeF size) {
  out.chart = ScatterChart(s).release();
  out.scene.addItem(out.chart);
  out.chart->setGeometry(QRectF(QPointF(0, 0), size));
  if (out.chart->layout() != nullptr) out.chart->layout()->activate();
  out.scene.setSceneRect(QRectF(QPointF(0, 0), size));
}

// Right of the point, else left, above or below it; the first place that
// keeps clear of the names already placed and inside the plot area, else
// the right one, moved down until clear.
QRectF PlaceName(const QString& name, QPointF point, const QRectF& area, const std::vector<QRectF>& taken) {
  const QFont font = PictureFont(12, true);
  const double w = TextWidth(font, name) + 2, h = TextHeight(font);
  const QRectF tries[] = {QRectF(point.x() + kNameGap, point.y() - h / 2, w, h),
                          QRectF(point.x() - kNameGap - w, point.y() - h / 2, w, h),
                          QRectF(point.x() - w / 2, point.y() - kNameGap - h, w, h),
                          QRectF(point.x() - w / 2, point.y() + kNameGap, w, h)};
  const auto clear = [&](const QRectF& r) {
    if (!area.contains(r)) return false;
    return std::none_of(taken.begin(), taken.end(), [&](const QRectF& t) { return t.intersects(r); });
  };
  for (const QRectF& r : tries)
    if (clear(r)) return r;
  QRectF r = tries[0];
  for (int step = 0; step < 40 && !clear(r); ++step) r.translate(0, h / 2);
  return clear(r) ? r : tries[0];
}

ScatterLayout LayOutScatter(const Scatter& s) {
  ScatterLayout l;
  l.chart = QRectF(kMargin, kMargin + kTitleHeight, kScatterWidth, kScatterHeight);
  l.size = QSizeF(kMargin * 3 + kScatterWidth + kNotesWidth,
                  kMargin * 2 + kTitleHeight + std::max(kScatterHeight, NotesHeight(s.notes)));
  LaidOutChart laid;
  LayOut(laid, s, l.chart.size());
  QAbstractSeries* first = laid.chart->series().front();
  for (const ScatterPoint& p : s.points)
    l.at.push_back(l.chart.topLeft() + laid.chart->mapToPosition(QPointF(p.x, p.y), first));
  const QRectF area = laid.chart->plotArea().translated(l.chart.topLeft());
  for (const std::size_t k : s.named)
    l.names.push_back(PlaceName(s.points[k].id, l.at[k], area, l.names));
  return l;
}

void PaintScatter(QPainter& painter, const Scatter& s, const ScatterLayout& l) {
  painter.fillRect(QRectF(QPointF(0, 0), l.size), Qt::white);
  painter.setFont(PictureFont(20, true));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(kMargin, kMargin, l.size.width() - 2 * kMargin, kTitleHeight), Qt::AlignLeft | Qt::AlignTop,
                   s.title);
  LaidOutChart laid;
  LayOut(laid, s, l.chart.size());
  laid.scene.render(&painter, l.chart, laid.scene.sceneRect());
  painter.setFont(PictureFont(12, true));
  painter.setPen(PaletteColour(3).darker(140));
  for (std::size_t i = 0; i < s.named.size(); ++i)
    painter.drawText(l.names[i], Qt::AlignCenter, s.points[s.named[i]].id);
  if (s.notes.isEmpty()) return;
  PaintNotes(painter, s.notes,
             QRectF(l.chart.right() + kMargin, l.chart.top(), kNotesWidth, NotesHeight(s.notes)));
}

}  // namespace

Picture ScatterPicture(const Scatter& scatter) {
  auto shared = std::make_shared<const Scatter>(scatter);
  auto layout = std::make_shared<const ScatterLayout>(LayOutScatter(scatter));
  Picture picture{scatter.title, layout->size,
                  [shared, layout](QPainter& painter) { PaintScatter(painter, *shared, *layout); }};
  // The nearest point within reach of the pointer.
  picture.idAt = [shared, layout](const QPointF& where) {
    QString id;
    double nearest = 8 * 8;
    for (std::size_t k = 0; k < layout->at.size(); ++k) {
      const QPointF d = layout->at[k] - where;
      const double squared = d.x() * d.x() + d.y() * d.y();
      if (squared <= nearest) nearest = squared, id = shared->points[k].id;
    }
    return id;
  };
  return picture;
}

}  // namespace kinvar::pictures
