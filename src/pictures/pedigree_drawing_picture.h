// The drawing of a family's pedigree as a picture: one row per generation,
// oldest on top, laid out by Graphviz's dot and painted with Qt.
#pragma once

#include <QPainterPath>
#include <QRectF>
#include <QSizeF>
#include <optional>
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

// Graphviz lays it out: any thread may call this, one layout runs at a
// time (Graphviz keeps state of its own between calls).
DrawingLayout LayOutPedigreeDrawing(const PedigreeDrawing& drawing);

Picture PedigreeDrawingPicture(const PedigreeDrawing& drawing);
// The same from a layout made already, such as on a worker thread.
Picture PedigreeDrawingPicture(const PedigreeDrawing& drawing, DrawingLayout layout);

// The node a search for `id` finds: by ID without regard to case, a
// family's members included; nothing when no node holds it.
std::optional<std::size_t> FindDrawingNode(const PedigreeDrawing& drawing, const QString& id);
// The node a drawing opens on: the requested individual's, or the first
// node holding a member of the requested group.
std::optional<std::size_t> StartNode(const PedigreeDrawing& drawing);

// The zoom at which the IDs of a drawing read at 9 points on screen.
double ReadableDrawingZoom();

}  // namespace kinvar::pictures
