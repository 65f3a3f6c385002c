#include "gui/genotype_input_box.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace kinvar::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The format list's entries: what it shows and the form's text.
struct FormatEntry {
  const char* shown;
  const char* text;
};
constexpr FormatEntry kFormats[] = {
    {"By the file's extension", ""}, {"PLINK set (.bed, .bim, .fam)", "plink"}, {"VCF or BCF", "vcf"},
    {"Text (ID and 0/1/2)", "text"}};

QLineEdit* NumberBox(const std::string& text, QWidget* parent) {
  auto* box = new QLineEdit(Q(text), parent);
  box->setMaximumWidth(box->fontMetrics().averageCharWidth() * 10);
  return box;
}

}  // namespace

GenotypeInputBox::GenotypeInputBox(const GenotypeFormTexts& texts, QWidget* parent)
    : QGroupBox(tr("Genotypes"), parent),
      path_(new QLineEdit(Q(texts.path), this)),
      format_(new QComboBox(this)),
      minSnpCallRate_(NumberBox(texts.minSnpCallRate, this)),
      minAnimalCallRate_(NumberBox(texts.minAnimalCallRate, this)),
      minMaf_(NumberBox(texts.minMaf, this)) {
  setObjectName(QStringLiteral("genotypes"));
  path_->setObjectName(QStringLiteral("genotypeFile"));
  path_->setMinimumWidth(path_->fontMetrics().averageCharWidth() * 36);
  for (const FormatEntry& entry : kFormats) format_->addItem(tr(entry.shown), QString::fromLatin1(entry.text));
  format_->setCurrentIndex(std::max(0, format_->findData(Q(texts.format))));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(path_, 1);
  auto* browse = new QPushButton(tr("Browse..."), this);
  browse->setObjectName(QStringLiteral("browse"));
  browse->setAutoDefault(false);
  fileRow->addWidget(browse);
  connect(browse, &QPushButton::clicked, this, &GenotypeInputBox::Browse);
  auto* layout = new QFormLayout(this);
  layout->addRow(tr("Genotype file"), fileRow);
  layout->addRow(tr("Format"), format_);
  layout->addRow(tr("Smallest call rate of a SNP"), minSnpCallRate_);
  layout->addRow(tr("Smallest call rate of an animal"), minAnimalCallRate_);
  layout->addRow(tr("Smallest minor allele frequency"), minMaf_);
}

QString GenotypeInputBox::FileFilters() {
  return tr("PLINK sets (*.bed)") + ";;" + tr("VCF and BCF (*.vcf *.vcf.gz *.bcf)") + ";;" +
         tr("Text genotypes (*.txt *.dat)") + ";;" + tr("All files (*)");
}

void GenotypeInputBox::Browse() {
  const QString chosen = QFileDialog::getOpenFileName(window(), tr("Open Genotypes"), path_->text(), FileFilters());
  if (!chosen.isEmpty()) path_->setText(QDir::toNativeSeparators(chosen));
}

GenotypeFormTexts GenotypeInputBox::texts() const {
  return {path_->text().trimmed().toStdString(), format_->currentData().toString().toStdString(),
          minSnpCallRate_->text().trimmed().toStdString(), minAnimalCallRate_->text().trimmed().toStdString(),
          minMaf_->text().trimmed().toStdString()};
}

std::array<QWidget*, kGenotypeFieldCount> GenotypeInputBox::inputs() const {
  return {path_, format_, minSnpCallRate_, minAnimalCallRate_, minMaf_};
}

}  // namespace kinvar::gui
