// The symbols breeders read a pedigree by: a square for a male, a circle
// for a female, a diamond for an animal whose sex is not known.
#pragma once

#include <QRectF>

#include "pedigree/pedigree.h"

class QPainter;

namespace kinvar::pictures {

// Paints the symbol of `sex` filling `square`, white with a dark outline of
// `line` units. A square is a rectangle, a circle an ellipse and a diamond a
// four-cornered polygon in every painter's output, SVG included.
void PaintSexSymbol(QPainter& painter, Sex sex, const QRectF& square, double line = 1.2);

}  // namespace kinvar::pictures
