// The charts painted: each panel a Qt chart rendered from a scene into the
// painter (so that an SVG keeps its texts as texts), the heat map drawn
// directly.
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
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
  chart.addAxis(axis, where);
  return axis;
}

// The range of the finite values, widened a little and never empty.
std::pair<double, double> Range(const std::vector<const PlotSeries*>& series, bool fromZero) {
  double low = fromZero ? 0.0 : kInfinity, high = fromZero ? 0.0 : -kInfinity;
  for (const PlotSeries* s : series)
    for (const double v : s->values)
      if (std::isfinite(v)) {
        low = std::min(low, v);
        high = std::max(high, v);
      }
  if (!std::isfinite(low)) return {0.0, 1.0};
  if (high <= low) return {low - 0.5, high + 0.5};
  const double pad = (high - low) * 0.05;
  return {low < 0 || !fromZero ? low - pad : 0.0, high + pad};
}

QValueAxis* ValueAxis(const std::vector<const PlotSeries*>& series, bool fromZero) {
  auto* axis = new QValueAxis;
  const auto [low, high] = Range(series, fromZero);
  axis->setRange(low, high);
  axis->applyNiceNumbers();
  return axis;
}

QLineSeries* LineOf(const PlotSeries& s, const PlotPanel& panel) {
  auto* line = new QLineSeries;
  line->setName(s.name);
  for (std::size_t k = 0; k < s.values.size(); ++k) {
    const double x = panel.categories.isEmpty() ? panel.x[k] : static_cast<double>(k);
    if (std::isfinite(s.values[k])) line->append(x, s.values[k]);
  }
  line->setPointsVisible(true);
  return line;
}

void AddSeries(QChart& chart, const PlotPanel& panel, QAbstractAxis* x) {
  std::vector<const PlotSeries*> left, right;
  for (const PlotSeries& s : panel.series) (s.rightAxis ? right : left).push_back(&s);
  const bool bars = std::any_of(panel.series.begin(), panel.series.end(), [](const PlotSeries& s) { return !s.line; });
  QAbstractAxis* y = AddAxis(chart, ValueAxis(left, bars), Qt::AlignLeft, panel.yTitle);
  QAbstractAxis* y2 = right.empty() ? nullptr : AddAxis(chart, ValueAxis(right, true), Qt::AlignRight, panel.rightTitle);
  QBarSeries* barSeries = nullptr;
  for (const PlotSeries& s : panel.series) {
    QAbstractSeries* added = nullptr;
    if (s.line) {
      added = LineOf(s, panel);
    } else {
      if (barSeries == nullptr) barSeries = new QBarSeries;
      auto* set = new QBarSet(s.name);
      for (const double v : s.values) set->append(std::isfinite(v) ? v : 0.0);
      barSeries->append(set);
      continue;
    }
    chart.addSeries(added);  // the theme gives it its colour; then the width
    auto* line = static_cast<QLineSeries*>(added);
    QPen pen = line->pen();
    pen.setWidthF(2.5);
    line->setPen(pen);
    added->attachAxis(x);
    added->attachAxis(s.rightAxis ? y2 : y);
  }
  if (barSeries == nullptr) return;
  chart.addSeries(barSeries);
  barSeries->attachAxis(x);
  barSeries->attachAxis(y);
}

}  // namespace

std::unique_ptr<QChart> PanelChart(const PlotPanel& panel) {
  auto chart = std::make_unique<QChart>();
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setTitle(panel.title);
  chart->setTitleFont(PictureFont(15, true));
  chart->legend()->setFont(PictureFont(12));
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setBackgroundRoundness(0);
  QAbstractAxis* x = nullptr;
  if (panel.categories.isEmpty()) {
    auto* axis = new QValueAxis;
    double low = kInfinity, high = -kInfinity;
    for (const double v : panel.x) low = std::min(low, v), high = std::max(high, v);
    if (!(high > low)) low -= 1, high += 1;
    axis->setRange(low, high);
    axis->setLabelFormat(QStringLiteral("%.0f"));
    axis->setTickCount(std::clamp(static_cast<int>(high - low) + 1, 2, 11));
    x = AddAxis(*chart, axis, Qt::AlignBottom, panel.xTitle);
  } else {
    auto* axis = new QBarCategoryAxis;
    axis->append(panel.categories);
    x = AddAxis(*chart, axis, Qt::AlignBottom, panel.xTitle);
    if (panel.categories.size() > 8) axis->setLabelsAngle(-60);
  }
  AddSeries(*chart, panel, x);
  return chart;
}

namespace {

void PaintPanel(QPainter& painter, const PlotPanel& panel, const QRectF& rect) {
  QGraphicsScene scene;
  QChart* chart = PanelChart(panel).release();
  scene.addItem(chart);  // the scene owns it now
  chart->setGeometry(QRectF(QPointF(0, 0), rect.size()));
  if (chart->layout() != nullptr) chart->layout()->activate();
  scene.setSceneRect(QRectF(QPointF(0, 0), rect.size()));
  scene.render(&painter, rect, scene.sceneRect());
}

void PaintNotes(QPainter& painter, const QStringList& notes, const QRectF& rect) {
  painter.setPen(QColor(0x88, 0x88, 0x88));
  painter.setBrush(QColor(0xf6, 0xf6, 0xf6));
  painter.drawRect(rect);
  painter.setPen(Qt::black);
  for (qsizetype i = 0; i < notes.size(); ++i) {
    painter.setFont(PictureFont(14, i == 0));
    painter.drawText(QRectF(rect.left() + 12, rect.top() + 10 + kNoteRow * static_cast<double>(i),
                            rect.width() - 24, kNoteRow),
                     Qt::AlignLeft | Qt::AlignVCenter, notes[i]);
  }
}

QSizeF PlotSize(const Plot& plot) {
  const auto n = static_cast<double>(plot.panels.size());
  const double columns = n > 1 ? 2 : 1, rows = std::ceil(n / 2);
  const double notes = plot.notes.isEmpty() ? 0 : kNotesWidth + kMargin;
  return {kMargin * 2 + columns * kPanelWidth + notes,
          kMargin * 2 + kTitleHeight + std::max(1.0, rows) * kPanelHeight};
}

void PaintPlot(QPainter& painter, const Plot& plot, QSizeF size) {
  painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
  painter.setFont(PictureFont(20, true));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(kMargin, kMargin, size.width() - 2 * kMargin, kTitleHeight),
                   Qt::AlignLeft | Qt::AlignTop, plot.title);
  const double top = kMargin + kTitleHeight;
  const int columns = plot.panels.size() > 1 ? 2 : 1;
  for (std::size_t i = 0; i < plot.panels.size(); ++i) {
    const double x = kMargin + kPanelWidth * static_cast<double>(static_cast<int>(i) % columns);
    const double y = top + kPanelHeight * static_cast<double>(static_cast<int>(i) / columns);
    PaintPanel(painter, plot.panels[i], QRectF(x, y, kPanelWidth, kPanelHeight));
  }
  if (plot.notes.isEmpty()) return;
  const double left = kMargin + columns * kPanelWidth + kMargin;
  PaintNotes(painter, plot.notes,
             QRectF(left, top, kNotesWidth, 20 + kNoteRow * static_cast<double>(plot.notes.size())));
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
  double low = 0, high = 1;
};

HeatLayout LayOutHeatMap(const HeatMap& map) {
  HeatLayout l;
  const auto n = static_cast<double>(std::max<std::size_t>(1, map.groups.size()));
  l.cell = std::clamp(720.0 / n, 4.0, 64.0);
  l.left = kMargin + 80;
  l.top = kMargin + kTitleHeight + 40;
  l.low = kInfinity;
  l.high = -kInfinity;
  for (const double v : map.values)
    if (std::isfinite(v)) l.low = std::min(l.low, v), l.high = std::max(l.high, v);
  if (!std::isfinite(l.low)) l.low = 0, l.high = 1;
  l.size = QSizeF(l.left + l.cell * n + 60 + 200 + kMargin, std::max(l.top + l.cell * n + kMargin + 40, 560.0));
  return l;
}

void PaintScale(QPainter& painter, const HeatMap& map, const HeatLayout& l, double x) {
  const double height = 300, width = 24;
  for (int i = 0; i < 100; ++i) {
    const double v = l.high - (l.high - l.low) * i / 99.0;
    painter.fillRect(QRectF(x, l.top + height * i / 100.0, width, height / 100.0 + 0.5), HeatColour(v, l.low, l.high));
  }
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(x, l.top, width, height));
  painter.setFont(PictureFont(12));
  for (int i = 0; i <= 4; ++i) {
    const double v = l.high - (l.high - l.low) * i / 4.0;
    painter.drawText(QRectF(x + width + 6, l.top + height * i / 4.0 - 10, 120, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::number(v, 'g', 4));
  }
  painter.setFont(PictureFont(13, true));
  painter.drawText(QRectF(x, l.top - 34, 260, 28), Qt::AlignLeft | Qt::AlignVCenter, map.scaleTitle);
}

void PaintHeatMap(QPainter& painter, const HeatMap& map, const HeatLayout& l) {
  painter.fillRect(QRectF(QPointF(0, 0), l.size), Qt::white);
  painter.setFont(PictureFont(20, true));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(kMargin, kMargin, l.size.width() - 2 * kMargin, kTitleHeight), Qt::AlignLeft | Qt::AlignTop,
                   map.title);
  const std::size_t n = map.groups.size();
  const bool values = l.cell >= 40, labels = l.cell >= 12;
  painter.setFont(PictureFont(std::min(12.0, l.cell * 0.3)));
  for (std::size_t r = 0; r < n; ++r)
    for (std::size_t c = 0; c < n; ++c) {
      const QRectF cell(l.left + l.cell * static_cast<double>(c), l.top + l.cell * static_cast<double>(r), l.cell, l.cell);
      const double v = map.At(r, c);
      painter.fillRect(cell, std::isfinite(v) ? HeatColour(v, l.low, l.high) : QColor(0xdd, 0xdd, 0xdd));
      if (!values || !std::isfinite(v)) continue;
      const double t = l.high > l.low ? (v - l.low) / (l.high - l.low) : 0.5;
      painter.setPen(t > 0.6 ? Qt::white : Qt::black);
      painter.drawText(cell, Qt::AlignCenter, QString::number(v, 'f', 3));
    }
  painter.setPen(Qt::black);
  painter.setFont(PictureFont(std::min(13.0, std::max(7.0, l.cell * 0.4))));
  for (std::size_t i = 0; labels && i < n; ++i) {
    const double at = l.cell * static_cast<double>(i);
    const QString group = QString::number(map.groups[i]);
    painter.drawText(QRectF(l.left - 76, l.top + at, 70, l.cell), Qt::AlignRight | Qt::AlignVCenter, group);
    painter.drawText(QRectF(l.left + at, l.top - 26, l.cell, 22), Qt::AlignHCenter | Qt::AlignBottom, group);
  }
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

}  // namespace kinvar::pictures
