// Pictures: drawings made from the results (the pedigree chart of an
// individual, ...) that the desktop program shows, prints and exports and
// kinvar-cli writes as files. They need Qt's painting but no window, so they
// live in a library of their own beside the core, which never links Qt.
//
// Conventions of this header: sizes and coordinates are logical units of
// 1/96 inch; a picture paints itself into the rectangle (0, 0, size).
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <functional>
#include <optional>

class QFont;
class QPainter;

namespace kinvar::pictures {

struct Picture {
  QString title;  // what the picture shows, in the user's words
  QSizeF size;    // its natural size in logical units
  std::function<void(QPainter&)> paint;
  // The ID of the animal drawn at a point of the picture, empty where none
  // is (and in pictures without animals).
  std::function<QString(const QPointF&)> idAt = {};
};

enum class PictureFormat { kSvg, kPng, kPdf };

// By the file name's extension (case ignored); nothing for another one.
std::optional<PictureFormat> PictureFormatOf(const QString& path);

// The size a PNG gets without --size.
inline constexpr QSize kDefaultPixels{1600, 1000};

// Writes `picture` to `path` in the format of its extension, scaled to fit
// `pixels` with its proportions kept and centred: a PNG of exactly that
// many pixels on white, an SVG whose texts stay texts, a PDF page of the
// picture's proportions. The file is replaced only when complete. False
// with a message for the user in `error`.
bool WritePicture(const Picture& picture, const QString& path, QSize pixels, QString& error);

// A font of `pixels` logical units, and a text's width in it, both at the
// pictures' 96 units an inch whatever the screen.
QFont PictureFont(double pixels, bool bold = false);
double TextWidth(const QFont& font, const QString& text);
double TextHeight(const QFont& font);
// The height of `text` broken into lines of at most `width`.
double WrappedTextHeight(const QFont& font, const QString& text, double width);

// Paints `picture` scaled to fit `target` (with its proportions) and
// centred in it.
void PaintFitted(const Picture& picture, QPainter& painter, const QRectF& target);

}  // namespace kinvar::pictures
