// The genotype boxes of every genomic dialog: the file with Browse..., its
// format, and the three quality-control thresholds. A dialog reads the
// five texts in the order of the form's keys (genotype_input_form.h), so
// its form's check refuses what kinvar-cli and the session refuse.
#pragma once

#include <QGroupBox>

#include <array>

#include "genomics/genotype_input_form.h"

class QComboBox;
class QLineEdit;

namespace kinvar::gui {

class GenotypeInputBox : public QGroupBox {
  Q_OBJECT

 public:
  explicit GenotypeInputBox(const GenotypeFormTexts& texts, QWidget* parent = nullptr);

  GenotypeFormTexts texts() const;
  // The five input widgets in the order of the form's keys: the file's box,
  // the format's list, then the three thresholds' boxes.
  std::array<QWidget*, kGenotypeFieldCount> inputs() const;
  QLineEdit* pathBox() const { return path_; }
  QComboBox* formatList() const { return format_; }

  // The Browse dialog's filters, ";;"-separated as Qt takes them.
  static QString FileFilters();

 private:
  void Browse();

  QLineEdit* path_;
  QComboBox* format_;
  QLineEdit* minSnpCallRate_;
  QLineEdit* minAnimalCallRate_;
  QLineEdit* minMaf_;
};

}  // namespace kinvar::gui
