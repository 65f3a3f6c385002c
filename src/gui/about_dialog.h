// The About box, also shown at start-up without a file as a splash: a small
// pedigree whose lines of descent are drawn generation by generation while a
// gene travels from the founders to the inbred youngest animal.
#pragma once

#include <QDialog>
#include <QTimer>

namespace kinvar::gui {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { kAbout, kSplash };
  AboutDialog(Mode mode, QWidget* parent = nullptr);

  // Animation frames drawn so far.
  int frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void DrawPedigree(QPainter& painter, const QRect& area);

  Mode mode_;
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace kinvar::gui
