#include "pictures/picture.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "report/output_file.h"

namespace kinvar::pictures {

namespace {

QByteArray SvgBytes(const Picture& picture, QSize pixels) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(pixels);
  svg.setViewBox(QRect(QPoint(0, 0), pixels));
  svg.setTitle(picture.title);
  svg.setResolution(96);
  QPainter painter(&svg);
  PaintFitted(picture, painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
  painter.end();
  return buffer.data();
}

QByteArray PngBytes(const Picture& picture, QSize pixels) {
  QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    PaintFitted(picture, painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
  }
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return buffer.data();
}

// One page of the picture's proportions, the picture filling it.
QByteArray PdfBytes(const Picture& picture) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter pdf(&buffer);
  pdf.setTitle(picture.title);
  pdf.setCreator(QStringLiteral("Kinvar"));
  pdf.setResolution(96);
  const QSizeF points = picture.size * 72.0 / 96.0;
  pdf.setPageSize(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch));
  pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter(&pdf);
  PaintFitted(picture, painter, QRectF(QPointF(0, 0), QSizeF(painter.viewport().size())));
  painter.end();
  return buffer.data();
}

}  // namespace

QFont PictureFont(double pixels, bool bold) {
  QFont font;
  font.setPointSizeF(pixels * 0.75);  // 72 points an inch
  font.setBold(bold);
  return font;
}

double TextWidth(const QFont& font, const QString& text) {
  static const QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
  return QFontMetricsF(font, &device).horizontalAdvance(text);
}

double WrappedTextHeight(const QFont& font, const QString& text, double width) {
  static const QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
  return QFontMetricsF(font, &device).boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text).height();
}

double TextHeight(const QFont& font) {
  static const QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
  return QFontMetricsF(font, &device).height();
}

std::optional<PictureFormat> PictureFormatOf(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("svg")) return PictureFormat::kSvg;
  if (suffix == QLatin1String("png")) return PictureFormat::kPng;
  if (suffix == QLatin1String("pdf")) return PictureFormat::kPdf;
  return std::nullopt;
}

void PaintFitted(const Picture& picture, QPainter& painter, const QRectF& target) {
  if (picture.size.isEmpty() || !picture.paint) return;
  const double scale = std::min(target.width() / picture.size.width(),
                                target.height() / picture.size.height());
  painter.save();
  painter.translate(target.center().x() - picture.size.width() * scale / 2,
                    target.center().y() - picture.size.height() * scale / 2);
  painter.scale(scale, scale);
  picture.paint(painter);
  painter.restore();
}

bool WritePicture(const Picture& picture, const QString& path, QSize pixels, QString& error) {
  const auto format = PictureFormatOf(path);
  if (!format) {
    error = QStringLiteral("Cannot tell the format of %1: name it .svg, .png or .pdf.").arg(path);
    return false;
  }
  if (pixels.isEmpty()) pixels = kDefaultPixels;
  const QByteArray bytes = *format == PictureFormat::kSvg   ? SvgBytes(picture, pixels)
                           : *format == PictureFormat::kPng ? PngBytes(picture, pixels)
                                                            : PdfBytes(picture);
  std::string reason;
  const std::string target = path.toStdString();
  const std::unique_ptr<OutputFile> out = OutputFile::Begin(target, reason);
  if (!out) {
    error = QString::fromStdString("Cannot open " + target + " for writing.\n" + reason);
    return false;
  }
  out->Raw(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (out->Commit()) return true;
  error = QString::fromStdString("Error while writing " + target + ".\n" + out->error());
  return false;
}

}  // namespace kinvar::pictures
