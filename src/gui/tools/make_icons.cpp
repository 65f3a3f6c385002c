// Paints the toolbar icons (16 x 16) and the application icon (16, 32, 48)
// into PNG files: kinvar-make-icons OUTPUT_FOLDER. The PNGs are committed
// under src/gui/resources/icons; run this again after changing a drawing.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>
#include <map>

namespace {

const QColor kBrick(200, 70, 70);
const QColor kGreen(20, 150, 20);
const QColor kBlue(0, 0, 220);
const QColor kDark(40, 40, 40);

using Draw = std::function<void(QPainter&)>;

void Letter(QPainter& p, const QString& text, const QColor& colour, int px, QRectF box) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(px);
  p.setFont(font);
  p.setPen(colour);
  p.drawText(box, Qt::AlignCenter, text);
}

// Badges in the lower right tell what a command works on.
void Individual(QPainter& p) { p.fillRect(QRectF(11, 11, 5, 5), kDark); }
void Group(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kDark);
  for (QPointF c : {QPointF(13.5, 10.5), QPointF(11, 14.5), QPointF(16, 14.5)})
    p.drawEllipse(c, 1.8, 1.8);
}
void All(QPainter& p) {
  for (int x : {10, 13})
    for (int y : {10, 13}) p.fillRect(QRectF(x, y, 2.5, 2.5), kDark);
}

void Loop(QPainter& p) {
  p.setPen(QPen(kBrick, 1.6));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(1.5, 1.5, 10, 8));
  p.drawLine(QPointF(6.5, 9.5), QPointF(6.5, 14));
}

void Link(QPainter& p) {
  p.setPen(QPen(kDark, 1.4));
  p.drawLine(QPointF(3.5, 4.5), QPointF(10.5, 4.5));
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(kGreen);
  p.drawRect(QRectF(0.5, 1.5, 5, 5));
  p.setBrush(kBlue);
  p.drawEllipse(QRectF(9.5, 1.5, 5, 5));
}

void Pie(QPainter& p) {
  const QRectF r(1, 1, 11, 11);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(kBrick);
  p.drawPie(r, 90 * 16, 130 * 16);
  p.setBrush(kGreen);
  p.drawPie(r, 220 * 16, 90 * 16);
  p.setBrush(kBlue);
  p.drawPie(r, 310 * 16, 140 * 16);
}

void Page(QPainter& p, QRectF r) {
  p.setPen(QPen(kDark, 1));
  p.setBrush(Qt::white);
  p.drawRect(r);
  p.setPen(QPen(QColor(120, 120, 120), 1));
  for (double y = r.top() + 3; y < r.bottom() - 1; y += 2.5)
    p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void Chart(QPainter& p) {
  p.setPen(QPen(kDark, 1));
  p.drawLine(QPointF(4, 5), QPointF(8, 11));
  p.drawLine(QPointF(12, 5), QPointF(8, 11));
  p.setBrush(kGreen);
  p.drawRect(QRectF(1.5, 1.5, 5, 5));
  p.setBrush(kBlue);
  p.drawEllipse(QRectF(9.5, 1.5, 5, 5));
  p.setBrush(kBrick);
  p.drawRect(QRectF(5.5, 10.5, 5, 5));
}

std::map<int, Draw> Icons() {
  std::map<int, Draw> icons;
  icons[57601] = [](QPainter& p) {  // Open: a folder
    p.setPen(QPen(QColor(150, 110, 0), 1));
    p.setBrush(QColor(250, 200, 60));
    QPainterPath folder;
    folder.moveTo(1.5, 3.5);
    folder.lineTo(6.5, 3.5);
    folder.lineTo(8, 5);
    folder.lineTo(14.5, 5);
    folder.lineTo(14.5, 13.5);
    folder.lineTo(1.5, 13.5);
    folder.closeSubpath();
    p.drawPath(folder);
    p.setBrush(QColor(255, 225, 120));
    p.drawRect(QRectF(1.5, 7.5, 13, 6));
  };
  icons[57604] = [](QPainter& p) {  // Save As: a disk
    p.setPen(QPen(QColor(0, 0, 90), 1));
    p.setBrush(QColor(60, 90, 200));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 9, 6));
    p.setBrush(QColor(180, 180, 180));
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
  };
  icons[57607] = [](QPainter& p) {  // Print: a printer
    Page(p, QRectF(4.5, 0.5, 7, 7));
    p.setPen(QPen(kDark, 1));
    p.setBrush(QColor(170, 170, 170));
    p.drawRect(QRectF(0.5, 6.5, 15, 6));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 10.5, 9, 5));
    p.fillRect(QRectF(12, 8, 2, 1.5), kGreen);
  };
  icons[57609] = [](QPainter& p) {  // Print Preview: a page under a lens
    Page(p, QRectF(0.5, 0.5, 10, 14));
    p.setPen(QPen(kDark, 2));
    p.drawLine(QPointF(11, 11), QPointF(15, 15));
    p.setPen(QPen(kDark, 1.3));
    p.setBrush(QColor(200, 230, 255, 200));
    p.drawEllipse(QPointF(9, 9), 3.5, 3.5);
  };
  icons[32776] = [](QPainter& p) { Letter(p, "F", kBrick, 15, QRectF(0, 0, 16, 16)); };
  icons[32799] = [](QPainter& p) {  // Re-compute for All: F and a turning arrow
    Letter(p, "F", kBrick, 12, QRectF(0, 0, 10, 13));
    p.setPen(QPen(kGreen, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(7, 7, 8, 8), 90 * 16, 270 * 16);
    p.setBrush(kGreen);
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(9, 5), QPointF(12.5, 7), QPointF(9, 9.5)}));
  };
  icons[32809] = [](QPainter& p) {
    Letter(p, "F", kBrick, 12, QRectF(0, 0, 11, 13));
    Individual(p);
  };
  icons[32841] = [](QPainter& p) { Loop(p); All(p); };
  icons[32839] = [](QPainter& p) { Loop(p); Individual(p); };
  icons[32840] = [](QPainter& p) { Loop(p); Group(p); };
  icons[32796] = [](QPainter& p) { Link(p); All(p); };
  icons[32805] = [](QPainter& p) { Link(p); Individual(p); };
  icons[32821] = [](QPainter& p) {  // Between Two Groups: a group on each side
    Link(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kDark);
    for (QPointF c : {QPointF(2, 11), QPointF(5, 11), QPointF(3.5, 14),
                      QPointF(11, 11), QPointF(14, 11), QPointF(12.5, 14)})
      p.drawEllipse(c, 1.4, 1.4);
  };
  icons[32822] = [](QPainter& p) {  // Within a Group: a ring around a group
    Link(p);
    p.setPen(QPen(kDark, 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
    p.setBrush(kDark);
    p.setPen(Qt::NoPen);
    for (QPointF c : {QPointF(12, 10.8), QPointF(10.6, 13.2), QPointF(13.4, 13.2)})
      p.drawEllipse(c, 1, 1);
  };
  icons[32824] = [](QPainter& p) {  // Average Between Groups: a mean bar
    Link(p);
    Group(p);
    p.fillRect(QRectF(1, 12, 7, 2), kBrick);
  };
  icons[32831] = [](QPainter& p) { Pie(p); Individual(p); };
  icons[32832] = [](QPainter& p) { Pie(p); Group(p); };
  icons[32833] = [](QPainter& p) {  // coancestry: a pie beside a link
    Pie(p);
    p.setPen(QPen(kDark, 1));
    p.setBrush(kGreen);
    p.drawRect(QRectF(9.5, 10.5, 3, 3));
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(12.5, 12.5, 3, 3));
  };
  icons[32842] = [](QPainter& p) {  // Optimizing Matings: sire meets dam
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(kGreen);
    p.drawRect(QRectF(0.5, 4.5, 6, 6));
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(9.5, 4.5, 6, 6));
    p.setPen(QPen(kBrick, 1.6));
    p.drawLine(QPointF(3.5, 12), QPointF(8, 15));
    p.drawLine(QPointF(12.5, 12), QPointF(8, 15));
  };
  icons[32795] = [](QPainter& p) {  // Inverse of A
    Letter(p, "A", kBlue, 13, QRectF(0, 1, 10, 15));
    Letter(p, "-1", kBrick, 7, QRectF(8, 0, 8, 8));
  };
  icons[32878] = [](QPainter& p) { Letter(p, "T", kBlue, 15, QRectF(0, 0, 16, 16)); };
  icons[32784] = [](QPainter& p) {
    Letter(p, "d", kBlue, 14, QRectF(0, 0, 11, 16));
    Letter(p, "ii", kBrick, 8, QRectF(9, 7, 7, 9));
  };
  icons[32818] = [](QPainter& p) {  // Probabilities of Gene Origin: roots
    p.setPen(QPen(kGreen, 1.5));
    p.drawLine(QPointF(8, 1), QPointF(8, 9));
    p.setPen(QPen(QColor(140, 90, 30), 1.4));
    for (double x : {2.0, 8.0, 14.0}) p.drawLine(QPointF(8, 9), QPointF(x, 15));
    p.setBrush(kGreen);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(8, 3.5), 3.5, 3);
  };
  icons[32806] = [](QPainter& p) { Chart(p); };
  icons[32820] = [](QPainter& p) {  // Re-coding: numbered in order
    Letter(p, "1", kGreen, 9, QRectF(0, 0, 8, 8));
    Letter(p, "2", kBlue, 9, QRectF(8, 0, 8, 8));
    Letter(p, "3", kBrick, 9, QRectF(4, 8, 8, 8));
  };
  icons[32811] = [](QPainter& p) { Page(p, QRectF(1.5, 0.5, 12, 15)); };
  icons[32781] = [](QPainter& p) {  // Options: sliders
    p.setPen(QPen(kDark, 1));
    for (double y : {3.5, 8.5, 13.5}) p.drawLine(QPointF(1, y), QPointF(15, y));
    p.setBrush(kBlue);
    for (QPointF c : {QPointF(5, 3.5), QPointF(11, 8.5), QPointF(7, 13.5)})
      p.drawRect(QRectF(c.x() - 1.5, c.y() - 2.5, 3, 5));
  };
  icons[57664] = [](QPainter& p) {  // About: a question mark
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    Letter(p, "?", Qt::white, 12, QRectF(0, 0, 16, 16));
  };
  return icons;
}

// The application icon: a sire and a dam over their inbred progeny.
void AppIcon(QPainter& p, int size) {
  p.scale(size / 48.0, size / 48.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(245, 245, 235));
  p.drawRoundedRect(QRectF(1, 1, 46, 46), 8, 8);
  p.setPen(QPen(kDark, 2.5));
  p.drawLine(QPointF(13, 14), QPointF(24, 34));
  p.drawLine(QPointF(35, 14), QPointF(24, 34));
  p.setPen(QPen(Qt::black, 1.5));
  p.setBrush(kGreen);
  p.drawRect(QRectF(5, 5, 16, 16));
  p.setBrush(kBlue);
  p.drawEllipse(QRectF(27, 5, 16, 16));
  p.setBrush(kBrick);
  p.drawRect(QRectF(16, 27, 16, 16));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(13);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(16, 27, 16, 16), Qt::AlignCenter, QStringLiteral("F"));
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path)) return true;
  std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: kinvar-make-icons OUTPUT_FOLDER\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  bool ok = true;
  for (const auto& [id, draw] : Icons()) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    ok = Save(image, out.filePath(QStringLiteral("%1.png").arg(id))) && ok;
  }
  for (int size : {16, 32, 48}) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    AppIcon(p, size);
    p.end();
    ok = Save(image, out.filePath(QStringLiteral("kinvar%1.png").arg(size))) && ok;
  }
  return ok ? 0 : 1;
}
