#include "gui/genotype_input_box.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace kinvar::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// What the format list shows for a declared format; a format it does not
// know is shown by its word.
QString ShownFormat(const std::string& format) {
  if (format.empty()) return QObject::tr("By the file's extension");
  if (format == "plink") return QObject::tr("PLINK set (.bed, .bim, .fam)");
  if (format == "vcf") return QObject::tr("VCF or BCF");
  if (format == "text") return QObject::tr("Text (ID and 0/1/2)");
  return Q(format);
}

QLineEdit* NumberBox(const std::string& text, QWidget* parent) {
  auto* box = new QLineEdit(Q(text), parent);
  box->setMaximumWidth(box->fontMetrics().averageCharWidth() * 10);
  return box;
}

std::string TextAt(const std::vector<std::string>& texts, std::size_t k) {
  return k < texts.size() ? texts[k] : std::string();
}

}  // namespace

GenotypeInputBox::GenotypeInputBox(const std::vector<std::string>& texts, QWidget* parent)
    : QGroupBox(tr("Genotypes"), parent),
      path_(new QLineEdit(Q(TextAt(texts, 0)), this)),
      format_(new QComboBox(this)) {
  const std::vector<Parameter> parameters = GenotypeParameters();
  setObjectName(QStringLiteral("genotypes"));
  path_->setObjectName(QStringLiteral("genotypeFile"));
  path_->setMinimumWidth(path_->fontMetrics().averageCharWidth() * 36);
  format_->addItem(ShownFormat(""), QString());
  for (const std::string& choice : parameters[1].choices) format_->addItem(ShownFormat(choice), Q(choice));
  format_->setCurrentIndex(std::max(0, format_->findData(Q(TextAt(texts, 1)))));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(path_, 1);
  auto* browse = new QPushButton(tr("Browse..."), this);
  browse->setObjectName(QStringLiteral("browse"));
  browse->setAutoDefault(false);
  fileRow->addWidget(browse);
  connect(browse, &QPushButton::clicked, this, &GenotypeInputBox::Browse);
  auto* layout = new QFormLayout(this);
  layout->addRow(Q(parameters[0].label), fileRow);
  layout->addRow(Q(parameters[1].label), format_);
  for (std::size_t k = 0; k < thresholds_.size(); ++k) {
    thresholds_[k] = NumberBox(TextAt(texts, k + 2), this);
    layout->addRow(Q(parameters[k + 2].label), thresholds_[k]);
  }
}

QString GenotypeInputBox::FileFilters() {
  return tr("PLINK sets (*.bed)") + ";;" + tr("VCF and BCF (*.vcf *.vcf.gz *.bcf)") + ";;" +
         tr("Text genotypes (*.txt *.dat)") + ";;" + tr("All files (*)");
}

void GenotypeInputBox::Browse() {
  const QString chosen = QFileDialog::getOpenFileName(window(), tr("Open Genotypes"), path_->text(), FileFilters());
  if (!chosen.isEmpty()) path_->setText(QDir::toNativeSeparators(chosen));
}

std::vector<std::string> GenotypeInputBox::texts() const {
  std::vector<std::string> out{path_->text().trimmed().toStdString(),
                               format_->currentData().toString().toStdString()};
  for (const QLineEdit* box : thresholds_) out.push_back(box->text().trimmed().toStdString());
  return out;
}

std::array<QWidget*, kGenotypeFieldCount> GenotypeInputBox::inputs() const {
  return {path_, format_, thresholds_[0], thresholds_[1], thresholds_[2]};
}

}  // namespace kinvar::gui
