#include "pictures/sex_symbol.h"

#include <QPainter>
#include <QPolygonF>

namespace kinvar::pictures {

void PaintSexSymbol(QPainter& painter, Sex sex, const QRectF& square, double line) {
  painter.save();
  painter.setPen(QPen(QColor(0x22, 0x22, 0x22), line));
  painter.setBrush(Qt::white);
  switch (sex) {
    case Sex::kMale: painter.drawRect(square); break;
    case Sex::kFemale: painter.drawEllipse(square); break;
    default: {
      const QPointF c = square.center();
      painter.drawPolygon(QPolygonF({QPointF(c.x(), square.top()), QPointF(square.right(), c.y()),
                                     QPointF(c.x(), square.bottom()), QPointF(square.left(), c.y())}));
      break;
    }
  }
  painter.restore();
}

}  // namespace kinvar::pictures
