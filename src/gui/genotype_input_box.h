// The genotype boxes of every genomic dialog, built from the genotype
// input's declared parameters: the file with Browse..., its format as a list
// of the declared choices, and the three quality-control thresholds. A
// dialog reads the five texts in the parameters' order, so the form's check
// refuses what kinvar-cli and the session refuse.
#pragma once

#include <QGroupBox>

#include <array>
#include <string>
#include <vector>

#include "analyses/genotype_input_form.h"

class QComboBox;
class QLineEdit;

namespace kinvar::gui {

class GenotypeInputBox : public QGroupBox {
  Q_OBJECT

 public:
  // `texts`: the five parameters' texts, in their order.
  explicit GenotypeInputBox(const std::vector<std::string>& texts, QWidget* parent = nullptr);

  // The five texts as the form takes them, in the parameters' order.
  std::vector<std::string> texts() const;
  // The five input widgets in the parameters' order: the file's box, the
  // format's list, then the three thresholds' boxes.
  std::array<QWidget*, kGenotypeFieldCount> inputs() const;
  QLineEdit* pathBox() const { return path_; }
  QComboBox* formatList() const { return format_; }

  // The Browse dialog's filters, ";;"-separated as Qt takes them.
  static QString FileFilters();

 private:
  void Browse();

  QLineEdit* path_;
  QComboBox* format_;
  std::array<QLineEdit*, 3> thresholds_{};
};

}  // namespace kinvar::gui
