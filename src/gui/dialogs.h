// The small modal dialogs through which commands ask for their inputs: one
// individual, one group, two groups, the Relationship and Inbreeding
// coefficient queries, and the two-way choice before saving. Each runs the
// check the core hands it (report/platform.h) and closes only when it passes.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/platform.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kinvar::gui {

// Longest ID the pedigree stores: an ID box is wide enough for it.
inline constexpr int kIdBoxLength = 20;

class CDialogGetAnID : public QDialog {
  Q_OBJECT

 public:
  CDialogGetAnID(const IndividualPicker& picker, QWidget* parent = nullptr);
  // The accepted ID, upper-cased as the box shows it.
  QString id() const;
  QLineEdit* edit() const { return edit_; }
  QPushButton* button() const { return button_; }

 private:
  void OnButton();

  const IndividualPicker& picker_;
  QLineEdit* edit_;
  QPushButton* button_;
};

// The sheet of a workbook to open: a list of the sheet names, the first
// selected, with OK (or a double click) and Cancel.
class CDialogSelectASheet : public QDialog {
  Q_OBJECT

 public:
  CDialogSelectASheet(const std::vector<std::string>& sheets, QWidget* parent = nullptr);
  std::string sheet() const;
  QListWidget* list() const { return list_; }
  QPushButton* button() const { return button_; }

 private:
  QListWidget* list_;
  QPushButton* button_;
};

class CDialogSelectAGroup : public QDialog {
  Q_OBJECT

 public:
  CDialogSelectAGroup(const GroupPicker& picker, QWidget* parent = nullptr);
  int group() const;
  QComboBox* list() const { return list_; }
  QPushButton* button() const { return button_; }

 private:
  QComboBox* list_;
  QPushButton* button_;
};

class CDialogRshTwoGroups : public QDialog {
  Q_OBJECT

 public:
  CDialogRshTwoGroups(const GroupPicker& picker, QWidget* parent = nullptr);
  // Both -1 until Compute accepted a pair.
  std::pair<int, int> groups() const { return chosen_; }
  QComboBox* listA() const { return listA_; }
  QComboBox* listB() const { return listB_; }
  QPushButton* button() const { return button_; }

 private:
  void OnCompute();

  const GroupPicker& picker_;
  QComboBox* listA_;
  QComboBox* listB_;
  QPushButton* button_;
  std::pair<int, int> chosen_{-1, -1};
};

// The settings a command asks before it runs: a box or a check box per
// value, OK (running the form's check, which keeps the dialog open when it
// refuses) and Cancel.
class CValueFormDialog : public QDialog {
  Q_OBJECT

 public:
  CValueFormDialog(const ValueForm& form, QWidget* parent = nullptr);
  // The texts as the boxes hold them ("1" or "0" for a check box).
  std::vector<std::string> texts() const;
  const std::vector<QWidget*>& fields() const { return fields_; }
  QPushButton* button() const { return button_; }

 private:
  const ValueForm& form_;
  std::vector<QWidget*> fields_;
  QPushButton* button_;
};

// Both query dialogs: one box per label, Compute as the default button, and a
// read-only result that any edit clears. It stays open for further queries
// until Cancel.
class CQueryDialog : public QDialog {
  Q_OBJECT

 public:
  CQueryDialog(const QueryDialog& query, QWidget* parent = nullptr);
  const std::vector<QLineEdit*>& boxes() const { return boxes_; }
  QLineEdit* result() const { return result_; }
  QPushButton* computeButton() const { return compute_; }
  // What Compute does; public so the keyboard path can be driven directly.
  void OnCompute();

 private:
  const QueryDialog& query_;
  std::vector<QLineEdit*> boxes_;
  QLineEdit* result_;
  QPushButton* compute_;
};

// Two stacked buttons with the caller's texts and Cancel: 1, 2 or -1.
class CSaveOptionDlg : public QDialog {
  Q_OBJECT

 public:
  CSaveOptionDlg(const std::string& first, const std::string& second, QWidget* parent = nullptr);
  int choice() const { return choice_; }
  QPushButton* firstButton() const { return first_; }
  QPushButton* secondButton() const { return second_; }

 private:
  QPushButton* first_;
  QPushButton* second_;
  int choice_ = -1;
};

}  // namespace kinvar::gui
