#include "pictures/pedigree_certificate_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <memory>

#include "pedigree/sex_and_birth_text.h"
#include "report/number_format.h"

namespace kinvar::pictures {

namespace {

constexpr double kMargin = 56;
constexpr double kTitleFont = 24;
constexpr double kTitleHeight = 40;
constexpr double kDetailFont = 14;
constexpr double kDetailRow = 23;
constexpr double kLabelWidth = 120;
constexpr double kHeadingFont = 12;
constexpr double kHeadingHeight = 24;
constexpr double kFootFont = 10;
constexpr double kFootHeight = 20;
constexpr double kColumnGap = 14;
constexpr double kMaxBoxFont = 13;

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString SexWord(Sex sex) {
  switch (sex) {
    case Sex::kMale: return QStringLiteral("male");
    case Sex::kFemale: return QStringLiteral("female");
    default: return QStringLiteral("unknown");
  }
}

QString Heading(int generation) {
  switch (generation) {
    case 1: return QStringLiteral("Parents");
    case 2: return QStringLiteral("Grandparents");
    case 3: return QStringLiteral("Great-grandparents");
    case 4: return QStringLiteral("2nd great-grandparents");
    default: return QStringLiteral("3rd great-grandparents");
  }
}

QString Number(const PedigreeChart& chart, float value) {
  return Q(FormatNumber(chart.numberFormat, value));
}

// The font of `pixels`, made smaller until `text` fits `width`.
QFont Fitted(const QString& text, double pixels, bool bold, double width) {
  QFont font = PictureFont(pixels, bold);
  for (int round = 0; round < 8; ++round) {
    const double wide = TextWidth(font, text);
    if (wide <= width) break;
    pixels *= width / wide * 0.97;
    font = PictureFont(pixels, bold);
  }
  return font;
}

void Add(CertificateLayout& layout, const QString& text, const QRectF& rect, double pixels, bool bold,
         int flags) {
  layout.texts.push_back({text, rect, Fitted(text, pixels, bold, rect.width()), flags});
}

// The animal's details in two columns of label and value.
double LayOutDetails(CertificateLayout& layout, const PedigreeCertificate& certificate, double top) {
  const PedigreeChart& chart = certificate.chart;
  const ChartBox& animal = chart.Individual();
  const auto parent = [&](int slot) {
    const ChartBox& box = chart.At(1, slot);
    return box.rec == kUnknownParent ? QStringLiteral("unknown") : Q(box.id);
  };
  const std::array<std::pair<QString, QString>, 6> rows = {{
      {QStringLiteral("ID"), Q(animal.id)},
      {QStringLiteral("Sex"), SexWord(animal.sex)},
      {QStringLiteral("Birth date"),
       certificate.birthDate.empty() ? QStringLiteral("unknown") : Q(certificate.birthDate)},
      {QStringLiteral("F"), Number(chart, animal.f)},
      {QStringLiteral("Sire"), parent(0)},
      {QStringLiteral("Dam"), parent(1)},
  }};
  const double valueWidth = layout.size.width() - 2 * kMargin - kLabelWidth;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const double y = top + kDetailRow * static_cast<double>(i);
    Add(layout, rows[i].first, QRectF(kMargin, y, kLabelWidth, kDetailRow), kDetailFont, false,
        Qt::AlignLeft | Qt::AlignVCenter);
    Add(layout, rows[i].second, QRectF(kMargin + kLabelWidth, y, valueWidth, kDetailRow), kDetailFont,
        i == 0, Qt::AlignLeft | Qt::AlignVCenter);
  }
  return top + kDetailRow * static_cast<double>(rows.size());
}

// An ancestor's place: its ID, then its birth year and F; "unknown" alone
// where the parent is not known.
void LayOutPlace(CertificateLayout& layout, const PedigreeChart& chart, const ChartBox& box,
                 const QRectF& rect) {
  const double pixels = std::min(kMaxBoxFont, rect.height() / 2.7);
  const QRectF inner = rect.adjusted(pixels * 0.5, 0, -pixels * 0.5, 0);
  if (box.rec == kUnknownParent) {
    Add(layout, QStringLiteral("unknown"), inner, pixels, false, Qt::AlignLeft | Qt::AlignVCenter);
    return;
  }
  const QRectF upper(inner.left(), inner.top(), inner.width(), inner.height() / 2);
  const QRectF lower(inner.left(), inner.center().y(), inner.width(), inner.height() / 2);
  Add(layout, Q(box.id), upper, pixels, true, Qt::AlignLeft | Qt::AlignBottom);
  QString detail = QStringLiteral("F ") + Number(chart, box.f);
  if (box.birthYear != 0) detail = QStringLiteral("born %1 \u00B7 ").arg(box.birthYear) + detail;
  Add(layout, detail, lower, pixels * 0.92, false, Qt::AlignLeft | Qt::AlignTop);
}

// The IDs of a column in one size and its details in another: the
// smallest that each needed to fit, so that no line looks louder than its
// neighbours.
void EvenOut(CertificateLayout& layout, std::size_t first) {
  double id = 1e9, detail = 1e9;
  for (std::size_t i = first; i < layout.texts.size(); ++i) {
    const QFont& font = layout.texts[i].font;
    double& least = font.bold() ? id : detail;
    least = std::min(least, font.pointSizeF());
  }
  for (std::size_t i = first; i < layout.texts.size(); ++i) {
    QFont& font = layout.texts[i].font;
    font.setPointSizeF(font.bold() ? id : detail);
  }
}

void LayOutAncestors(CertificateLayout& layout, const PedigreeChart& chart, double top, double bottom) {
  const int n = chart.generations;
  const double width = (layout.size.width() - 2 * kMargin - kColumnGap * (n - 1)) / n;
  const double height = bottom - top - kHeadingHeight;
  layout.boxes.assign(chart.boxes.size(), QRectF());
  for (int g = 1; g <= n; ++g) {
    const double x = kMargin + (width + kColumnGap) * (g - 1);
    Add(layout, Heading(g), QRectF(x, top, width, kHeadingHeight), kHeadingFont, true,
        Qt::AlignLeft | Qt::AlignTop);
    const double pitch = height / (1 << g);
    const double boxHeight = std::min(pitch * 0.86, 46.0);
    const std::size_t first = layout.texts.size();
    for (int k = 0; k < (1 << g); ++k) {
      // Beyond an unknown parent nothing more is known, not even "unknown".
      if (chart.At(g - 1, k / 2).rec == kUnknownParent) continue;
      const double centre = top + kHeadingHeight + pitch * (k + 0.5);
      const QRectF rect(x, centre - boxHeight / 2, width, boxHeight);
      layout.boxes[PedigreeChart::Place(g, k)] = rect;
      LayOutPlace(layout, chart, chart.At(g, k), rect);
    }
    EvenOut(layout, first);
  }
}

void PaintCertificate(QPainter& painter, const PedigreeCertificate& certificate,
                      const CertificateLayout& layout) {
  painter.fillRect(QRectF(QPointF(0, 0), layout.size), Qt::white);
  const PedigreeChart& chart = certificate.chart;
  painter.setPen(QPen(QColor(0x88, 0x88, 0x88), 0.8));
  for (int g = 2; g <= chart.generations; ++g)
    for (int k = 0; k < (1 << g); ++k) {
      const QRectF& parent = layout.boxes[PedigreeChart::Place(g, k)];
      if (parent.isNull()) continue;
      const QRectF& child = layout.boxes[PedigreeChart::Place(g - 1, k / 2)];
      const QPointF from(child.right(), child.center().y()), to(parent.left(), parent.center().y());
      const double elbow = (from.x() + to.x()) / 2;
      painter.drawPolyline(
          std::array<QPointF, 4>{from, QPointF(elbow, from.y()), QPointF(elbow, to.y()), to}.data(), 4);
    }
  for (std::size_t p = 0; p < layout.boxes.size(); ++p) {
    if (layout.boxes[p].isNull()) continue;
    const bool known = chart.boxes[p].rec != kUnknownParent;
    painter.setPen(QPen(QColor(known ? 0x55 : 0xaa, known ? 0x55 : 0xaa, known ? 0x55 : 0xaa), 0.8,
                        known ? Qt::SolidLine : Qt::DashLine));
    painter.setBrush(known ? QColor(0xf7, 0xf7, 0xf2) : QColor(Qt::white));
    painter.drawRoundedRect(layout.boxes[p], 3, 3);
  }
  for (const CertificateText& text : layout.texts) {
    painter.setFont(text.font);
    painter.setPen(text.text == QStringLiteral("unknown") ? QColor(0x77, 0x77, 0x77) : QColor(Qt::black));
    painter.drawText(text.rect, text.flags, text.text);
  }
  // Under the title and under the details, as on a printed form.
  painter.setPen(QPen(QColor(0x33, 0x33, 0x33), 1));
  const double right = layout.size.width() - kMargin;
  const double titleRule = kMargin + kTitleHeight;
  painter.drawLine(QPointF(kMargin, titleRule), QPointF(right, titleRule));
  const double detailRule = titleRule + 12 + kDetailRow * 6 + 12;
  painter.drawLine(QPointF(kMargin, detailRule), QPointF(right, detailRule));
}

}  // namespace

std::string CertificateGenerationsProblem(int generations) {
  if (generations < kLeastCertificateGenerations || generations > kMostCertificateGenerations)
    return "A pedigree certificate shows 3, 4 or 5 generations.";
  return {};
}

PedigreeCertificate BuildPedigreeCertificate(Pedigree& ped, RecIndex individual, int generations) {
  PedigreeCertificate certificate;
  certificate.chart = BuildPedigreeChart(ped, individual, generations);
  const std::int32_t birth = ped.rec(individual).birth;
  if (birth != kUnknownBirth) certificate.birthDate = BirthText(birth);
  return certificate;
}

CertificateLayout LayOutPedigreeCertificate(const PedigreeCertificate& certificate) {
  CertificateLayout layout;
  layout.size = kA4Portrait;
  const double width = layout.size.width() - 2 * kMargin;
  Add(layout, QStringLiteral("Pedigree Certificate"), QRectF(kMargin, kMargin, width, kTitleHeight - 8),
      kTitleFont, true, Qt::AlignHCenter | Qt::AlignTop);
  const double details = LayOutDetails(layout, certificate, kMargin + kTitleHeight + 12);
  const double footTop = layout.size.height() - kMargin - kFootHeight;
  LayOutAncestors(layout, certificate.chart, details + 36, footTop - 8);
  Add(layout, QStringLiteral("F: inbreeding coefficient, from the whole pedigree."),
      QRectF(kMargin, footTop, width, kFootHeight), kFootFont, false, Qt::AlignLeft | Qt::AlignBottom);
  return layout;
}

Picture PedigreeCertificatePicture(const PedigreeCertificate& certificate) {
  auto shared = std::make_shared<const PedigreeCertificate>(certificate);
  auto layout = std::make_shared<const CertificateLayout>(LayOutPedigreeCertificate(certificate));
  const QString title =
      QStringLiteral("Pedigree certificate of %1").arg(Q(certificate.chart.Individual().id));
  return Picture{title, layout->size, [shared, layout](QPainter& painter) {
                   PaintCertificate(painter, *shared, *layout);
                 }};
}

Picture PedigreeCertificatePicture(Pedigree& ped, RecIndex individual, int generations) {
  return PedigreeCertificatePicture(BuildPedigreeCertificate(ped, individual, generations));
}

}  // namespace kinvar::pictures
