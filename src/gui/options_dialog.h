// The Options dialog: relationship type and display range, the structure
// report's founder list, forbidden matings and the number format. OK and Save
// validate through the document, which keeps its settings until they pass;
// every message leaves the dialog open.
#pragma once

#include <QDialog>
#include <optional>

#include "pedigree/pedigree.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace kinvar {
class Document;
class Platform;
}

namespace kinvar::gui {

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  OptionsDialog(Document& doc, Platform& platform, QWidget* parent = nullptr);

  QRadioButton* coefficientButton() const { return coefficient_; }
  QRadioButton* numeratorButton() const { return numerator_; }
  QLineEdit* lowerBox() const { return lower_; }
  QLineEdit* upperBox() const { return upper_; }
  QCheckBox* foundersBox() const { return founders_; }
  QCheckBox* forbiddenBox() const { return forbidden_; }
  QComboBox* formatList() const { return format_; }
  QSpinBox* threadsBox() const { return threads_; }
  QCheckBox* precisionBox() const { return precision_; }
  QSpinBox* maxPathsBox() const { return maxPaths_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* saveButton() const { return save_; }

 private:
  // The controls' entries; nothing after telling the user a bound is not a
  // number.
  std::optional<Settings> Read();
  void Show(const Settings& entries);
  void OnTypeClicked();
  void OnOk();
  void OnSave();

  Document& doc_;
  Platform& platform_;
  QRadioButton* coefficient_;
  QRadioButton* numerator_;
  QLineEdit* lower_;
  QLineEdit* upper_;
  QCheckBox* founders_;
  QCheckBox* forbidden_;
  QComboBox* format_;
  QSpinBox* threads_;  // 0 = one per core
  QCheckBox* precision_;  // kept, like threads_, in the desktop's own settings
  QSpinBox* maxPaths_;    // path counting's saved files; 0 = no limit; kept like threads_
  QPushButton* ok_;
  QPushButton* save_;
};

// Shows the dialog and, after OK or Save, re-runs the report on screen that
// the changed settings affect. The thread count is not in the settings
// file: the caller keeps it in the desktop's own settings.
void RunOptionsDialog(Document& doc, Platform& platform, QWidget* parent);

}  // namespace kinvar::gui
