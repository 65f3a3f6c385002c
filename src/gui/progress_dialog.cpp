#include "gui/progress_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace kinvar::gui {

namespace {

// A shade 40 steps lighter or darker in each channel that stays in range.
QColor Shift(const QColor& c, int step) {
  auto channel = [step](int v) {
    const int shifted = v + step;
    return shifted >= 0 && shifted < 256 ? shifted : v;
  };
  return QColor(channel(c.red()), channel(c.green()), channel(c.blue()));
}

}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {
  SetBarColour(palette().color(QPalette::Highlight));
  setMinimumSize(200, 18);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ProgressBar::SetLabel(const QString& label) {
  label_ = label;
  repaint();
}

void ProgressBar::SetPosition(int percent) {
  position_ = std::clamp(percent, 0, 100);
  repaint();
}

void ProgressBar::SetBarColour(const QColor& colour) {
  bar_ = colour;
  QColor shade = colour;
  for (QColor& light : lighter_) light = shade = Shift(shade, 40);
  shade = colour;
  for (QColor& dark : darker_) dark = shade = Shift(shade, -40);
  update();
}

void ProgressBar::paintEvent(QPaintEvent*) {
  // Through a pixmap, so the bar does not flicker at a hundred repaints.
  QPixmap buffer(size() * devicePixelRatioF());
  buffer.setDevicePixelRatio(devicePixelRatioF());
  QPainter p(&buffer);
  const QRect all = rect();
  p.fillRect(all, palette().color(QPalette::Button));
  const int filled = all.width() * position_ / 100;
  const QRect done(0, 0, filled, all.height());
  p.fillRect(done, bar_);
  if (filled > 2) {
    // Bevel on the bar: light on top and left, dark below and right.
    p.setPen(lighter_[1]);
    p.drawLine(1, 1, filled - 2, 1);
    p.drawLine(1, 1, 1, all.height() - 2);
    p.setPen(darker_[0]);
    p.drawLine(1, all.height() - 2, filled - 2, all.height() - 2);
    p.drawLine(filled - 2, 1, filled - 2, all.height() - 2);
  }
  // Sunken frame around the whole control.
  const QColor shadow = palette().color(QPalette::Shadow);
  const QColor mid = palette().color(QPalette::Mid);
  p.setPen(mid);
  p.drawLine(0, 0, all.width() - 1, 0);
  p.drawLine(0, 0, 0, all.height() - 1);
  p.setPen(shadow);
  p.drawLine(1, 1, all.width() - 2, 1);
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(0, all.height() - 1, all.width() - 1, all.height() - 1);
  p.drawLine(all.width() - 1, 0, all.width() - 1, all.height() - 1);

  if (position_ > 0 && !label_.isEmpty()) {
    p.setClipRect(QRect(0, 0, filled + 2, all.height()));
    p.setPen(Qt::white);
    p.drawText(all, Qt::AlignCenter | Qt::TextSingleLine, label_);
    p.setClipRect(QRect(filled + 2, 0, all.width(), all.height()));
    p.setPen(Qt::black);
    p.drawText(all, Qt::AlignCenter | Qt::TextSingleLine, label_);
  }
  p.end();
  QPainter(this).drawPixmap(0, 0, buffer);
}

ProgressDialog::ProgressDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      caption_(new QLabel(this)),
      bar_(new ProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
  setWindowModality(Qt::ApplicationModal);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 8, 10, 8);
  layout->setSpacing(6);
  caption_->setTextFormat(Qt::PlainText);
  // A long file name is cut at the window's edge rather than widening it.
  caption_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  caption_->hide();
  layout->addWidget(caption_);
  auto* row = new QHBoxLayout;
  row->addWidget(bar_, 1);
  row->addWidget(cancel_);
  layout->addLayout(row);
  cancel_->setAutoDefault(false);
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelRequested_ = true; });
  bar_->SetBarColour(QColor(0, 0, 255));
  setStyleSheet("ProgressDialog { border: 1px solid palette(shadow); }");
  Centre();
  show();
  raise();
  // Shown and painted before the first item is computed.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressDialog::SetLabel(const std::string& label) {
  bar_->SetLabel(QString::fromStdString(label));
}

void ProgressDialog::SetPosition(int percent) { bar_->SetPosition(percent); }

bool ProgressDialog::PollCancel() {
  QCoreApplication::processEvents();
  const bool requested = cancelRequested_;
  cancelRequested_ = false;
  return requested;
}

void ProgressDialog::SetWindowText(const std::string& text) {
  const QString shown = QString::fromStdString(text);
  setWindowTitle(shown);
  caption_->setText(shown);
  if (caption_->isHidden() != shown.isEmpty()) {
    // The window grows or shrinks by the caption's line and stays centred
    // (the layout would resize it from its top-left corner).
    const QPoint centre = geometry().center();
    caption_->setVisible(!shown.isEmpty());
    layout()->activate();
    QRect target(QPoint(), sizeHint());
    target.moveCenter(centre);
    setGeometry(target);
  }
  // Painted now: the computation does not return to the event loop.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProgressDialog::Centre() {
  adjustSize();
  const QWidget* anchor = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  const QRect area = anchor != nullptr && anchor->isVisible()
                         ? anchor->frameGeometry()
                         : QGuiApplication::primaryScreen()->availableGeometry();
  move(area.center() - rect().center());
}

void ProgressDialog::ShowCancelButton(bool shown) {
  cancel_->setVisible(shown);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace kinvar::gui
