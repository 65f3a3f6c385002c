// The drawing of a family's pedigree as a picture: one row per generation,
// oldest on top, laid out by Graphviz's dot and painted with Qt.
#pragma once

#include <QPainterPath>
#include <QRectF>
#include <QSizeF>
#include <vector>

#include "analyses/pedigree_drawing.h"
#include "pictures/picture.h"

namespace kinvar::pictures {

// Where everything of a drawing goes, in the picture's logical units.
struct DrawingLayout {
  QSizeF size;
  QRectF title;
  QRectF legend;                   // the F scale and the marks, below the title
  std::vector<QRectF> nodes;       // by node
  std::vector<QPainterPath> edges;  // by edge, from the parent to the progeny
};

DrawingLayout LayOutPedigreeDrawing(const PedigreeDrawing& drawing);

Picture PedigreeDrawingPicture(const PedigreeDrawing& drawing);

}  // namespace kinvar::pictures
