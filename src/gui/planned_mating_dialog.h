// Tools > Planned Mating: the form of a planned mating laid out as a
// breeder reads it (the sire, the dam, each perhaps new with its own
// parents; then the best sires for the dam), and the pedigree chart of the
// planned offspring that follows a run.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <string>
#include <vector>

#include "gui/dialogs.h"
#include "report/platform.h"

namespace kinvar {
class Document;
}

namespace kinvar::gui {

class MainWindow;

class PlannedMatingDialog : public QDialog {
  Q_OBJECT

 public:
  // `form` is the command's: its fields by key, its check on Compute.
  // `ids` completes what is typed in the ID boxes (none without it).
  explicit PlannedMatingDialog(const ValueForm& form, QWidget* parent = nullptr, IdSource ids = {});
  // The box of the form's field `key` ("sire", "dam", "sire-sire" ...).
  QLineEdit* box(const std::string& key) const { return boxes_.at(key); }
  QCheckBox* chartBox() const { return chart_; }
  QPushButton* computeButton() const { return compute_; }
  // The texts in the form's field order ("1" or "0" for the check box).
  std::vector<std::string> texts() const;

 private:
  QLineEdit* AddBox(const std::string& key, const QString& placeholder, const IdSource& ids = {});

  const ValueForm& form_;
  std::map<std::string, QLineEdit*> boxes_;
  QCheckBox* chart_ = nullptr;
  QPushButton* compute_ = nullptr;
};

// After a run of the command that the user asked to see charted: the
// planned offspring's chart in a window of its own, its generations in the
// window's spin box. Nothing otherwise.
void ShowPlannedMatingChart(MainWindow& frame, Document& doc);

}  // namespace kinvar::gui
