#include "gui/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace kinvar::gui {

namespace {

constexpr int kFrameMs = 40;
constexpr int kCycle = 150;  // frames before the drawing starts over
constexpr int kSplashMs = 3500;

// A sire and a dam per family; the two parents of the youngest share the
// grand-sire, which makes it inbred.
struct Node {
  double x, y;
  bool male;
};
constexpr std::array<Node, 6> kNodes{{
    {0.15, 0.12, true},  {0.45, 0.12, false}, {0.75, 0.12, false},  // founders
    {0.30, 0.50, true},  {0.60, 0.50, false},                       // their progeny
    {0.45, 0.88, true},                                             // inbred youngest
}};
struct Edge {
  int parent, child;
};
constexpr std::array<Edge, 6> kEdges{{{0, 3}, {1, 3}, {0, 4}, {2, 4}, {3, 5}, {4, 5}}};

}  // namespace

AboutDialog::AboutDialog(Mode mode, QWidget* parent) : QDialog(parent), mode_(mode) {
  setWindowTitle(tr("About Kinvar"));
  if (mode_ == Mode::kSplash) setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  auto* layout = new QVBoxLayout(this);
  layout->addSpacing(170);
  auto* title = new QLabel(tr("<b style='font-size:15pt'>Kinvar</b> %1").arg(KINVAR_VERSION));
  title->setAlignment(Qt::AlignCenter);
  auto* text = new QLabel(
      tr("Pedigree analysis for animal breeders:\ninbreeding, relationships, "
         "gene origin and matings."));
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);
  layout->addWidget(text);
  if (mode_ == Mode::kAbout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
  } else {
    QTimer::singleShot(kSplashMs, this, &QDialog::accept);
  }
  setFixedSize(380, mode_ == Mode::kAbout ? 300 : 260);
  connect(&timer_, &QTimer::timeout, this, [this] {
    ++frame_;
    update(0, 0, width(), 170);
  });
  timer_.start(kFrameMs);
}

void AboutDialog::mousePressEvent(QMouseEvent* event) {
  if (mode_ == Mode::kSplash) accept();
  QDialog::mousePressEvent(event);
}

void AboutDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), palette().window());
  if (mode_ == Mode::kSplash) {
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  DrawPedigree(painter, QRect(40, 12, width() - 80, 150));
}

void AboutDialog::DrawPedigree(QPainter& painter, const QRect& area) {
  auto at = [&area](const Node& n) {
    return QPointF(area.left() + n.x * area.width(), area.top() + n.y * area.height());
  };
  const int t = frame_ % kCycle;
  // Each edge grows in over 20 frames, one generation after the other.
  for (std::size_t i = 0; i < kEdges.size(); ++i) {
    const int start = i < 4 ? 0 : 25;
    const double grown = std::clamp((t - start) / 20.0, 0.0, 1.0);
    if (grown <= 0) continue;
    const QPointF a = at(kNodes[static_cast<std::size_t>(kEdges[i].parent)]);
    const QPointF b = at(kNodes[static_cast<std::size_t>(kEdges[i].child)]);
    painter.setPen(QPen(QColor(120, 120, 120), 1.5));
    painter.drawLine(a, a + (b - a) * grown);
  }
  // The grand-sire's gene reaches the youngest through both parents.
  const double travel = std::clamp((t - 50) / 40.0, 0.0, 2.0);
  if (travel > 0) {
    painter.setBrush(QColor(200, 70, 70));
    painter.setPen(Qt::NoPen);
    for (std::size_t parent : {3u, 4u}) {
      const QPointF a = at(kNodes[0]);
      const QPointF mid = at(kNodes[parent]);
      const QPointF end = at(kNodes[5]);
      const QPointF p = travel <= 1 ? a + (mid - a) * travel : mid + (end - mid) * (travel - 1);
      painter.drawEllipse(p, 4, 4);
    }
  }
  for (std::size_t i = 0; i < kNodes.size(); ++i) {
    const Node& n = kNodes[i];
    const bool inbred = i == 5 && travel >= 2;
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(inbred ? QColor(200, 70, 70)
                            : n.male ? QColor(20, 180, 20) : QColor(0, 0, 255));
    const QPointF c = at(n);
    if (n.male) {
      painter.drawRect(QRectF(c.x() - 9, c.y() - 9, 18, 18));
    } else {
      painter.drawEllipse(c, 9, 9);
    }
  }
  if (travel >= 2) {
    painter.setPen(QColor(200, 70, 70));
    painter.drawText(at(kNodes[5]) + QPointF(16, 5), QStringLiteral("F = 0.125"));
  }
}

}  // namespace kinvar::gui
