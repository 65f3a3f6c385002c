#include "pictures/pedigree_chart_picture.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <memory>

#include "pictures/sex_symbol.h"
#include "report/number_format.h"

namespace kinvar::pictures {

namespace {

constexpr double kMargin = 24;
constexpr double kTitleHeight = 44;
constexpr double kColumnGap = 28;
constexpr double kLegendGap = 40;
constexpr double kLegendFont = 13;
constexpr double kLegendRow = 22;
constexpr double kMaxBoxFont = 14;
constexpr double kMinChartHeight = 720;
constexpr double kMinPitch = 8;  // of the last column, so its texts stay texts and not dots

// Light enough for black text, far enough apart to tell at a glance.
constexpr std::array<QRgb, 12> kPalette = {
    0xff8ecae6, 0xffffb703, 0xff90be6d, 0xfff4978e, 0xffcdb4db, 0xfff9c74f,
    0xff4cc9f0, 0xffe9c46a, 0xffb5e48c, 0xffffafcc, 0xffa3c4f3, 0xffd4a373};



QString Detail(const PedigreeChart& chart, const ChartBox& box) {
  return QString::fromStdString(ChartBoxDetail(box, chart.numberFormat));
}

QString Number(const PedigreeChart& chart, double value) {
  return QString::fromStdString(FormatNumber(chart.numberFormat, static_cast<float>(value)));
}

bool TwoLines(double pitch) { return pitch >= 30; }

// The sex symbol's side beside an ID of `pixels`, and the room it takes
// with its gap.
double SymbolSide(double pixels) { return pixels * 0.85; }
double SymbolRoom(double pixels) { return SymbolSide(pixels) + pixels * 0.4; }

double FontPixels(double pitch) {
  return std::min(kMaxBoxFont, TwoLines(pitch) ? pitch * 0.8 / 3.1 : pitch * 0.8 / 1.8);
}

// Whether a place gets a box: a known individual, or the empty box of an
// unknown parent of a known one.
bool Drawn(const PedigreeChart& chart, int g, int k) {
  if (chart.At(g, k).Shown()) return true;
  return g > 0 && chart.At(g - 1, k / 2).Shown();
}

// The deepest generation with a box: a pedigree shallower than the chart
// asked for does not shrink its boxes for empty columns.
int DrawnGenerations(const PedigreeChart& chart) {
  int deepest = 0;
  for (int g = 1; g <= chart.generations; ++g)
    for (int k = 0; k < (1 << g); ++k)
      if (Drawn(chart, g, k)) deepest = g;
  return deepest;
}

double ColumnWidth(const PedigreeChart& chart, int g, double pitch) {
  const double pixels = FontPixels(pitch);
  const QFont bold = PictureFont(pixels, true), plain = PictureFont(pixels, false);
  double width = pixels * 6;
  for (int k = 0; k < (1 << g); ++k) {
    const ChartBox& box = chart.At(g, k);
    if (!box.Shown()) continue;
    width = std::max(width, TextWidth(bold, QString::fromStdString(box.id)));
    if (TwoLines(pitch)) width = std::max(width, TextWidth(plain, Detail(chart, box)));
  }
  return width + pixels * 1.2 + SymbolRoom(pixels);
}

struct LegendLine {
  QString label, value;
  int colour = -1;   // a swatch of this colour
  bool mark = false; // the added parent's mark
};

std::vector<LegendLine> LegendLines(const PedigreeChart& chart) {
  std::vector<LegendLine> lines;
  for (const ChartCommonAncestor& a : chart.common)
    lines.push_back({QStringLiteral("%1 (%2 places)").arg(QString::fromStdString(a.id)).arg(a.places),
                     Number(chart, a.part), a.colour});
  if (chart.otherPart != 0.0)
    lines.push_back({QStringLiteral("Other ancestors"), Number(chart, chart.otherPart)});
  if (chart.ownPart != 0.0)
    lines.push_back({QStringLiteral("Own F beyond the parents'"), Number(chart, chart.ownPart)});
  lines.push_back({QStringLiteral("F of %1").arg(QString::fromStdString(chart.Individual().id)),
                   Number(chart, chart.Individual().f)});
  lines.push_back({QStringLiteral("Parent without a line in the file"), QString(), -1, true});
  return lines;
}

double LegendWidth(const std::vector<LegendLine>& lines) {
  const QFont font = PictureFont(kLegendFont, false);
  double label = TextWidth(PictureFont(kLegendFont, true), QStringLiteral("Common ancestors' parts of F"));
  double value = 0;
  for (const LegendLine& line : lines) {
    label = std::max(label, TextWidth(font, line.label) + kLegendRow);
    value = std::max(value, TextWidth(font, line.value));
  }
  return label + value + 24;
}

}  // namespace

ChartLayout LayOutPedigreeChart(const PedigreeChart& chart) {
  ChartLayout layout;
  const int n = DrawnGenerations(chart);
  const std::vector<LegendLine> lines = LegendLines(chart);
  const double legendHeight = kLegendRow * (static_cast<double>(lines.size()) + 1.5);
  const double height = std::max({kMinChartHeight, kMinPitch * (1 << n), legendHeight});
  const double top = kMargin + kTitleHeight;
  layout.boxes.assign(chart.boxes.size(), QRectF());
  double x = kMargin;
  for (int g = 0; g <= n; ++g) {
    const double pitch = height / (1 << g);
    const double pixels = FontPixels(pitch);
    const double width = ColumnWidth(chart, g, pitch);
    const double boxHeight = std::min(pitch * 0.8, pixels * (TwoLines(pitch) ? 3.6 : 2.0));
    layout.fonts.push_back(PictureFont(pixels, false));
    layout.twoLines.push_back(TwoLines(pitch));
    for (int k = 0; k < (1 << g); ++k) {
      if (!Drawn(chart, g, k)) continue;
      const double centre = top + pitch * (k + 0.5);
      layout.boxes[PedigreeChart::Place(g, k)] = QRectF(x, centre - boxHeight / 2, width, boxHeight);
    }
    x += width + kColumnGap;
  }
  const double legendX = x - kColumnGap + kLegendGap;
  layout.legend = QRectF(legendX, top, LegendWidth(lines), legendHeight);
  for (std::size_t i = 0; i < lines.size(); ++i)
    layout.legendRows.emplace_back(legendX, top + kLegendRow * (1.5 + static_cast<double>(i)),
                                   layout.legend.width(), kLegendRow);
  layout.size = QSizeF(layout.legend.right() + kMargin, top + height + kMargin);
  layout.title = QRectF(kMargin, kMargin, layout.size.width() - 2 * kMargin, kTitleHeight);
  return layout;
}

namespace {

QColor FillOf(int colour) {
  return colour < 0 ? QColor(Qt::white) : QColor(kPalette[static_cast<std::size_t>(colour) % kPalette.size()]);
}

// Past the palette a colour comes back with an outline of its own: thicker
// each round, dashed every other one.
QPen OutlineOf(int colour, double unit) {
  const int round = colour < 0 ? 0 : colour / static_cast<int>(kPalette.size());
  QPen pen(round == 0 ? QColor(0x55, 0x55, 0x55) : FillOf(colour).darker(220));
  pen.setWidthF(unit * (1 + round));
  if (round % 2 == 1) pen.setStyle(Qt::DashLine);
  return pen;
}

void PaintAddedMark(QPainter& painter, const QRectF& box) {
  const double side = std::min(box.height() * 0.45, 10.0);
  QPainterPath corner;
  corner.moveTo(box.topRight());
  corner.lineTo(box.topRight() + QPointF(-side, 0));
  corner.lineTo(box.topRight() + QPointF(0, side));
  corner.closeSubpath();
  painter.fillPath(corner, QColor(0x33, 0x33, 0x33));
}

void PaintBox(QPainter& painter, const PedigreeChart& chart, const ChartBox& box,
              const QRectF& rect, const QFont& font, bool twoLines) {
  const double unit = std::min(1.0, font.pointSizeF() / 7);
  if (!box.Shown()) {
    QPen dashed(QColor(0x99, 0x99, 0x99), unit, Qt::DashLine);
    painter.setPen(dashed);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect);
    return;
  }
  painter.setPen(OutlineOf(box.colour, unit));
  painter.setBrush(FillOf(box.colour));
  painter.drawRect(rect);
  if (box.added) PaintAddedMark(painter, rect);
  painter.setPen(Qt::black);
  QFont bold = font;
  bold.setBold(true);
  const double pixels = font.pointSizeF() / 0.75;
  const double pad = pixels * 0.6;
  const QRectF inner = rect.adjusted(pad, 0, -pad / 2, 0);
  const QString id = QString::fromStdString(box.id);
  // The symbol sits on the ID's line, the ID after it.
  const double side = SymbolSide(pixels);
  const double idLine = twoLines ? inner.top() + inner.height() / 2 - pixels * 0.62 : inner.center().y();
  PaintSexSymbol(painter, box.sex, QRectF(inner.left(), idLine - side / 2, side, side), unit);
  painter.setPen(Qt::black);
  const QRectF text = inner.adjusted(SymbolRoom(pixels), 0, 0, 0);
  if (!twoLines) {
    painter.setFont(bold);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, id);
    return;
  }
  const QRectF upper(text.left(), inner.top(), text.width(), inner.height() / 2);
  const QRectF lower(inner.left(), inner.center().y(), inner.width(), inner.height() / 2);
  painter.setFont(bold);
  painter.drawText(upper, Qt::AlignLeft | Qt::AlignBottom, id);
  painter.setFont(font);
  painter.drawText(lower, Qt::AlignLeft | Qt::AlignTop, Detail(chart, box));
}

void PaintLines(QPainter& painter, const PedigreeChart& chart, const ChartLayout& layout) {
  painter.setPen(QPen(QColor(0x77, 0x77, 0x77), 1));
  for (int g = 1; g <= chart.generations; ++g) {
    for (int k = 0; k < (1 << g); ++k) {
      const QRectF& parent = layout.boxes[PedigreeChart::Place(g, k)];
      if (parent.isNull()) continue;
      const QRectF& child = layout.boxes[PedigreeChart::Place(g - 1, k / 2)];
      const QPointF from(child.right(), child.center().y());
      const QPointF to(parent.left(), parent.center().y());
      const double elbow = (from.x() + to.x()) / 2;
      painter.drawPolyline(std::array<QPointF, 4>{from, QPointF(elbow, from.y()),
                                                  QPointF(elbow, to.y()), to}
                               .data(),
                           4);
    }
  }
}

void PaintLegend(QPainter& painter, const PedigreeChart& chart, const ChartLayout& layout) {
  const std::vector<LegendLine> lines = LegendLines(chart);
  const QFont font = PictureFont(kLegendFont, false);
  QFont heading = font;
  heading.setBold(true);
  painter.setPen(Qt::black);
  painter.setFont(heading);
  painter.drawText(QRectF(layout.legend.left(), layout.legend.top(), layout.legend.width(), kLegendRow),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Common ancestors' parts of F"));
  painter.setFont(font);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const LegendLine& line = lines[i];
    const QRectF row = layout.legendRows[i];
    const QRectF swatch(row.left(), row.top() + 4, kLegendRow - 8, kLegendRow - 8);
    if (line.colour >= 0) {
      painter.setPen(OutlineOf(line.colour, 1));
      painter.setBrush(FillOf(line.colour));
      painter.drawRect(swatch);
    } else if (line.mark) {
      painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
      painter.setBrush(Qt::white);
      painter.drawRect(swatch);
      PaintAddedMark(painter, swatch);
    }
    painter.setPen(Qt::black);
    const QRectF text = row.adjusted(kLegendRow, 0, 0, 0);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, line.label);
    painter.drawText(text, Qt::AlignRight | Qt::AlignVCenter, line.value);
  }
}

void PaintChart(QPainter& painter, const PedigreeChart& chart, const ChartLayout& layout,
                const QString& title) {
  painter.fillRect(QRectF(QPointF(0, 0), layout.size), Qt::white);
  QFont titleFont = PictureFont(20, true);
  painter.setFont(titleFont);
  painter.setPen(Qt::black);
  painter.drawText(layout.title, Qt::AlignLeft | Qt::AlignTop, title);
  PaintLines(painter, chart, layout);
  for (int g = 0; g <= chart.generations; ++g)
    for (int k = 0; k < (1 << g); ++k) {
      const std::size_t place = PedigreeChart::Place(g, k);
      if (!layout.boxes[place].isNull())
        PaintBox(painter, chart, chart.boxes[place], layout.boxes[place],
                 layout.fonts[static_cast<std::size_t>(g)], layout.twoLines[static_cast<std::size_t>(g)]);
    }
  PaintLegend(painter, chart, layout);
}

}  // namespace

Picture PedigreeChartPicture(const PedigreeChart& chart) {
  auto shared = std::make_shared<const PedigreeChart>(chart);
  auto layout = std::make_shared<const ChartLayout>(LayOutPedigreeChart(chart));
  const QString title =
      QStringLiteral("Pedigree chart of %1").arg(QString::fromStdString(chart.Individual().id));
  Picture picture{title, layout->size, [shared, layout, title](QPainter& painter) {
                    PaintChart(painter, *shared, *layout, title);
                  }};
  // Planned animals are not in the pedigree: nothing to offer for them.
  picture.idAt = [shared, layout](const QPointF& point) {
    for (std::size_t i = 0; i < layout->boxes.size() && i < shared->boxes.size(); ++i)
      if (shared->boxes[i].rec != kUnknownParent && layout->boxes[i].contains(point))
        return QString::fromStdString(shared->boxes[i].id);
    return QString();
  };
  return picture;
}

Picture PedigreeChartPicture(Pedigree& ped, RecIndex individual, int generations) {
  return PedigreeChartPicture(BuildPedigreeChart(ped, individual, generations));
}

}  // namespace kinvar::pictures
