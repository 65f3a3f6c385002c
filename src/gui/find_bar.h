// The find bar under the report: a box for the text, Previous and Next, and
// a note when the search went round the end of the report or found nothing.
// Enter finds the next line, Shift+Enter the previous one, Escape closes the
// bar and gives the keyboard back to the report.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kinvar::gui {

class ReportView;

class FindBar : public QWidget {
  Q_OBJECT

 public:
  explicit FindBar(ReportView& view, QWidget* parent = nullptr);

  // Shows the bar with the keyboard in its box, the text selected.
  void Open();
  // Without a text yet they open the bar instead.
  void FindNext();
  void FindPrevious();
  void Close();

  QLineEdit* edit() const { return edit_; }
  QLabel* note() const { return note_; }
  QPushButton* nextButton() const { return next_; }
  QPushButton* previousButton() const { return previous_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Find(bool forward);

  ReportView& view_;
  QLineEdit* edit_;
  QPushButton* previous_;
  QPushButton* next_;
  QLabel* note_;
};

}  // namespace kinvar::gui
