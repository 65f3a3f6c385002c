#include "gui/planned_mating_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/document.h"
#include "gui/main_window.h"
#include "gui/picture_window.h"
#include "matings/planned_mating_command.h"
#include "pictures/pedigree_chart_picture.h"

namespace kinvar::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const ValueForm::Field* FieldOf(const ValueForm& form, const std::string& key) {
  for (const ValueForm::Field& field : form.fields)
    if (field.key == key) return &field;
  return nullptr;
}

}  // namespace

QLineEdit* PlannedMatingDialog::AddBox(const std::string& key, const QString& placeholder,
                                     const IdSource& ids) {
  const ValueForm::Field* field = FieldOf(form_, key);
  auto* edit = new QLineEdit(field != nullptr ? Q(field->text) : QString(), this);
  edit->setPlaceholderText(placeholder);
  edit->setObjectName(Q(key));
  boxes_[key] = edit;
  if (ids) AttachIdCompleter(edit, ids);
  return edit;
}

PlannedMatingDialog::PlannedMatingDialog(const ValueForm& form, QWidget* parent, IdSource ids)
    : QDialog(parent), form_(form) {
  setWindowTitle(tr("Planned Mating"));
  auto* layout = new QVBoxLayout(this);
  for (const bool male : {true, false}) {
    const std::string who = male ? "sire" : "dam";
    auto* group = new QGroupBox(male ? tr("Sire") : tr("Dam"), this);
    auto* rows = new QFormLayout(group);
    rows->addRow(tr("ID"), AddBox(who, tr("0 or empty: unknown"), ids));
    auto* parents = new QHBoxLayout;
    parents->addWidget(AddBox(who + "-sire", tr("its sire"), ids));
    parents->addWidget(AddBox(who + "-dam", tr("its dam"), ids));
    rows->addRow(male ? tr("Or a new sire, born of") : tr("Or a new dam, born of"), parents);
    layout->addWidget(group);
  }
  auto* best = new QGroupBox(tr("Best sires for the dam"), this);
  auto* rows = new QFormLayout(best);
  rows->addRow(tr("From group"), AddBox("candidates", tr("all males")));
  rows->addRow(tr("Mean kinship with group"), AddBox("reference", tr("all individuals")));
  rows->addRow(tr("Sires listed"), AddBox("top", tr("0: none")));
  layout->addWidget(best);
  const ValueForm::Field* chart = FieldOf(form_, "chart");
  chart_ = new QCheckBox(tr("Show the pedigree chart of the planned offspring"), this);
  chart_->setChecked(chart == nullptr || chart->text == "1");
  layout->addWidget(chart_);
  auto* buttons = new QDialogButtonBox(this);
  compute_ = buttons->addButton(tr("Compute"), QDialogButtonBox::AcceptRole);
  compute_->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  // The form checks the inputs and tells what is wrong; the dialog stays
  // open until they pass.
  connect(compute_, &QPushButton::clicked, this, [this] {
    if (form_.accept(texts())) accept();
  });
  disconnect(buttons, &QDialogButtonBox::accepted, nullptr, nullptr);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::vector<std::string> PlannedMatingDialog::texts() const {
  std::vector<std::string> out;
  for (const ValueForm::Field& field : form_.fields) {
    if (field.check) {
      out.push_back(chart_->isChecked() ? "1" : "0");
      continue;
    }
    const auto it = boxes_.find(field.key);
    out.push_back(it == boxes_.end() ? field.text : it->second->text().trimmed().toStdString());
  }
  return out;
}

void ShowPlannedMatingChart(MainWindow& frame, Document& doc) {
  if (doc.lastCommand() != kCmdPlannedMating || !doc.remembered.values.Flag(PlannedMatingDeclaration(), "chart"))
    return;
  CommandContext ctx = doc.Context();
  const std::optional<PlannedInputs> in = ReadPlannedInputs(ctx);
  if (!in || !EnsureInbreeding(ctx)) return;
  Pedigree& ped = doc.pedigree();
  const PlannedMating m = ComputePlannedMating(ped, in->sire, in->dam);
  constexpr int kGenerations = 4;
  PictureWindow* window =
      frame.ShowPicture(pictures::PedigreeChartPicture(BuildPlannedChart(ped, in->sire, in->dam, m, kGenerations)));
  // Drawn again while the pedigree on screen is still the one of the run.
  const std::int32_t total = ped.nTotal;
  const std::string path = doc.path();
  auto draw = [&ped, &doc, in = *in, m, total, path](int generations) -> std::optional<pictures::Picture> {
    bool same = doc.path() == path && ped.nTotal == total && ped.inbreedingComputed && ped.orderState == 1;
    for (const PlannedParent* p : {&in.sire, &in.dam})
      same = same && (p->kind != PlannedParent::Kind::kKnown || ped.rec(p->rec).Id() == p->label);
    if (!same) return std::nullopt;
    return pictures::PedigreeChartPicture(BuildPlannedChart(ped, in.sire, in.dam, m, generations));
  };
  window->OfferVariants({QStringLiteral("Generations"), kGenerations, 1, kMaxChartGenerations, std::move(draw)});
}

}  // namespace kinvar::gui
