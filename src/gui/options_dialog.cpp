#include "gui/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>

#include "app/document.h"
#include "app/options.h"
#include "report/platform.h"

namespace kinvar::gui {

namespace {

constexpr const char* kFormats[] = {"Fraction approximation", "General", "1234.1",
                                    "1234.21", "1234.321", "1234.4321",
                                    "1234.54321", "1234.654321"};

// Six significant digits, as a float edit box shows its value.
QString FloatText(float value) { return QString::number(static_cast<double>(value), 'g', 6); }

}  // namespace

OptionsDialog::OptionsDialog(Document& doc, Platform& platform, QWidget* parent)
    : QDialog(parent),
      doc_(doc),
      platform_(platform),
      coefficient_(new QRadioButton(tr("&Relationship coefficient"))),
      numerator_(new QRadioButton(tr("&Numerator relationship"))),
      lower_(new QLineEdit),
      upper_(new QLineEdit),
      founders_(new QCheckBox(tr("&List of individuals with unknown parents and no progeny"))),
      forbidden_(new QCheckBox(tr("Allow for forbidden matings"))),
      format_(new QComboBox),
      threads_(new QSpinBox),
      precision_(new QCheckBox(tr("&Double precision (F, D, relationships, inverse of A, T)"))),
      maxPaths_(new QSpinBox),
      ok_(new QPushButton(tr("OK"))),
      save_(new QPushButton(tr("Save"))) {
  setWindowTitle(tr("Options"));

  auto* relationship = new QGroupBox(tr(" Relationship "));
  auto* grid = new QGridLayout(relationship);
  grid->addWidget(coefficient_, 0, 0, 1, 4);
  grid->addWidget(numerator_, 1, 0, 1, 4);
  grid->addWidget(new QLabel(tr("Display relationships between")), 2, 0);
  grid->addWidget(lower_, 2, 1);
  grid->addWidget(new QLabel(tr("and")), 2, 2);
  grid->addWidget(upper_, 2, 3);
  for (QLineEdit* box : {lower_, upper_}) box->setMaximumWidth(80);

  auto* structure = new QGroupBox(tr(" Pedigree structure "));
  (new QVBoxLayout(structure))->addWidget(founders_);
  auto* matings = new QGroupBox(tr(" Optimizing matings "));
  (new QVBoxLayout(matings))->addWidget(forbidden_);
  auto* general = new QGroupBox(tr(" General "));
  auto* generalRows = new QVBoxLayout(general);
  auto* formatRow = new QHBoxLayout;
  generalRows->addLayout(formatRow);
  formatRow->addWidget(new QLabel(tr("Number format :")));
  for (const char* name : kFormats) format_->addItem(tr(name));
  formatRow->addWidget(format_, 1);
  formatRow->addWidget(new QLabel(tr("Threads :")));
  threads_->setRange(0, 256);
  threads_->setSpecialValueText(tr("All cores"));
  formatRow->addWidget(threads_);
  precision_->setToolTip(
      tr("For lines whose inbreeding approaches 1; takes up to twice the time."));
  generalRows->addWidget(precision_);
  // A saved file takes every path; past this many the save is refused.
  auto* pathsRow = new QHBoxLayout;
  generalRows->addLayout(pathsRow);
  pathsRow->addWidget(new QLabel(tr("Most paths in a path counting file :")));
  maxPaths_->setRange(0, 2000000000);
  maxPaths_->setSingleStep(1000000);
  maxPaths_->setSpecialValueText(tr("No limit"));
  pathsRow->addWidget(maxPaths_, 1);

  auto* cancel = new QPushButton(tr("Cancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {ok_, save_, cancel}) buttons->addWidget(b);
  ok_->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  for (QGroupBox* box : {relationship, structure, matings, general}) layout->addWidget(box);
  layout->addLayout(buttons);

  connect(coefficient_, &QRadioButton::clicked, this, &OptionsDialog::OnTypeClicked);
  connect(numerator_, &QRadioButton::clicked, this, &OptionsDialog::OnTypeClicked);
  connect(ok_, &QPushButton::clicked, this, &OptionsDialog::OnOk);
  connect(save_, &QPushButton::clicked, this, &OptionsDialog::OnSave);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  Show(doc_.settings());
}

void OptionsDialog::Show(const Settings& entries) {
  (entries.relationshipType == 0 ? coefficient_ : numerator_)->setChecked(true);
  lower_->setText(FloatText(entries.relationshipLower));
  upper_->setText(FloatText(entries.relationshipUpper));
  founders_->setChecked(entries.listFounders != 0);
  forbidden_->setChecked(entries.allowForbidden != 0);
  format_->setCurrentIndex(entries.numberFormat);
  threads_->setValue(entries.threads);
  precision_->setChecked(entries.precision == 1);
  maxPaths_->setValue(static_cast<int>(std::clamp<std::int64_t>(entries.maxPaths, 0, maxPaths_->maximum())));
}

std::optional<Settings> OptionsDialog::Read() {
  Settings entries;
  bool lowerOk = false;
  bool upperOk = false;
  entries.relationshipLower = lower_->text().trimmed().toFloat(&lowerOk);
  entries.relationshipUpper = upper_->text().trimmed().toFloat(&upperOk);
  if (!lowerOk || !upperOk) {
    QLineEdit* wrong = lowerOk ? upper_ : lower_;
    platform_.ShowMessage("Please enter a number.", MessageIcon::kError);
    wrong->setFocus();
    wrong->selectAll();
    return std::nullopt;
  }
  entries.relationshipType = coefficient_->isChecked() ? 0 : 1;
  entries.listFounders = founders_->isChecked() ? 1 : 0;
  entries.allowForbidden = forbidden_->isChecked() ? 1 : 0;
  entries.numberFormat = format_->currentIndex();
  entries.threads = threads_->value();
  entries.precision = precision_->isChecked() ? 1 : 0;
  entries.maxPaths = maxPaths_->value();
  return entries;
}

void OptionsDialog::OnTypeClicked() {
  auto entries = Read();
  if (!entries) return;
  NormalizeRangeForType(*entries);
  Show(*entries);
}

void OptionsDialog::OnOk() {
  auto entries = Read();
  if (!entries) return;
  const bool applied = doc_.ApplyOptions(*entries).has_value();
  Show(*entries);
  if (applied) accept();
}

void OptionsDialog::OnSave() {
  auto entries = Read();
  if (!entries) return;
  const bool saved = doc_.SaveOptions(*entries);
  Show(*entries);
  if (saved) accept();
}

void RunOptionsDialog(Document& doc, Platform& platform, QWidget* parent) {
  const Settings before = doc.settings();
  OptionsDialog dialog(doc, platform, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  doc.RerunAfterOptions(CompareSettings(before, doc.settings()));
}

}  // namespace kinvar::gui
