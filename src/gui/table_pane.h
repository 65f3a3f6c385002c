// A tab of the main window that shows one result table: a text filter and
// a number filter above a table view over TableModel. Clicking a column's
// header sorts by it (again: the other direction); the text filter keeps the
// rows where some cell holds the typed text, the number filter those where
// its conditions hold (f > 0.1), and says under it why it cannot read them. Double-clicking a cell of an ID column that holds
// an ID announces it, so the window can offer the commands that take an
// individual.
#pragma once

#include <QWidget>
#include <cstddef>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTableView;

namespace kinvar {
class ReportStore;
}

namespace kinvar::gui {

class TableModel;

class TablePane : public QWidget {
  Q_OBJECT

 public:
  TablePane(const ReportStore& store, std::size_t index, QWidget* parent = nullptr);

  TableModel& model() const { return *model_; }
  QTableView* view() const { return view_; }
  QLineEdit* filterBox() const { return filter_; }
  QLineEdit* numberBox() const { return numbers_; }
  // Why the number filter cannot be read; hidden while it can.
  QLabel* numberError() const { return numberError_; }
  QAction* copyForLocaleAction() const { return copyLocale_; }
  void SetContextMenu(QMenu* menu) { contextMenu_ = menu; }

  bool HasSelection() const;
  // CopyText of the selection onto the clipboard; nothing selected leaves
  // the clipboard alone.
  void Copy();
  // The same with the locale's decimal separator in the numbers, for a
  // spreadsheet that reads "0,25" as a number.
  void CopyForLocale();
  void SelectAll();
  void FocusFilter();

 signals:
  void individualActivated(const QByteArray& id);  // the cell's bytes
  void selectionChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnDoubleClicked(const QModelIndex& index);

  TableModel* model_;
  QLineEdit* filter_;
  QLineEdit* numbers_;
  QLabel* numberError_;
  QTableView* view_;
  QAction* copyLocale_;
  QMenu* contextMenu_ = nullptr;
};

}  // namespace kinvar::gui
