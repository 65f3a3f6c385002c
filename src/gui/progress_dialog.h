// The progress window: a small frameless application-modal dialog with a
// self-drawn bar and a Cancel button, and above them the window's text (what
// the command is doing, such as "Loading herd.pdg"), which a frameless
// window would otherwise never show. Computations run on the interface
// thread, so the window is served only when the core polls it: PollCancel
// processes the pending events (the bar repaints; other windows, blocked by
// the modality, accept no commands) and reports a Cancel click or Escape once.
#pragma once

#include <QDialog>
#include <QWidget>
#include <string>

#include "report/progress.h"

class QLabel;
class QPushButton;

namespace kinvar::gui {

// The bar: position 0..100 of a fixed range, the label drawn centred inside,
// white over the filled part and black over the rest, and not at all while
// the bar stands at its lower bound.
class ProgressBar : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressBar(QWidget* parent = nullptr);

  void SetLabel(const QString& label);
  void SetPosition(int percent);
  void SetBarColour(const QColor& colour);
  int position() const { return position_; }
  const QString& label() const { return label_; }
  QSize sizeHint() const override { return {360, 20}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString label_;
  int position_ = 0;
  QColor bar_;
  QColor lighter_[3];
  QColor darker_[2];
};

class ProgressDialog : public QDialog, public ProgressWindow {
  Q_OBJECT

 public:
  explicit ProgressDialog(QWidget* parent = nullptr);

  void SetLabel(const std::string& label) override;
  void SetPosition(int percent) override;
  bool PollCancel() override;
  void SetWindowText(const std::string& text) override;
  void ShowCancelButton(bool shown) override;
  void Hide() override { hide(); }

  ProgressBar* bar() const { return bar_; }
  QPushButton* cancelButton() const { return cancel_; }
  // Hidden while the window's text is empty.
  QLabel* caption() const { return caption_; }

 public slots:
  // Escape and the Cancel button ask to cancel; the window stays until the
  // command that opened it ends.
  void reject() override { cancelRequested_ = true; }

 private:
  void Centre();

  QLabel* caption_;
  ProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelRequested_ = false;
};

}  // namespace kinvar::gui
