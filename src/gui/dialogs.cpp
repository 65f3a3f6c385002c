#include "gui/dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/genotype_input_box.h"
#include "pedigree/pedigree.h"
#include "report/table_formats.h"

namespace kinvar::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLineEdit* IdBox(QWidget* parent) {
  // No limit on what is typed or pasted: a box that cut the text to the
  // length of an ID would find the animal whose ID begins with it; a text
  // longer than any ID is not found instead.
  auto* box = new QLineEdit(parent);
  // Room for twenty wide characters.
  box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QString(kIdBoxLength, 'W')) / 2 + 40);
  return box;
}

QComboBox* GroupList(const std::vector<int>& groups, QWidget* parent,
                     const std::string& allEntry = {}) {
  auto* list = new QComboBox(parent);
  if (!allEntry.empty()) list->addItem(Q(allEntry), kAllIndividuals);
  for (int g : groups) list->addItem(QString::number(g), g);
  list->setCurrentIndex(list->count() == 0 ? -1 : 0);
  list->setMinimumContentsLength(8);
  return list;
}

// The picker's own button as default, and Cancel, to the right of a group
// box that holds the inputs.
QPushButton* AddButtons(QDialog* dialog, QHBoxLayout* row, const QString& text) {
  auto* column = new QVBoxLayout;
  auto* button = new QPushButton(text, dialog);
  button->setDefault(true);
  auto* cancel = new QPushButton(QObject::tr("Cancel"), dialog);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  column->addWidget(button);
  column->addWidget(cancel);
  column->addStretch();
  row->addLayout(column);
  return button;
}

// FNV-1a over the IDs in record order, each ended by its NUL.
std::uint64_t IdStamp(const Pedigree& ped) {
  std::uint64_t hash = 14695981039346656037ull;
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    for (const char c : ped.rec(i).Id())
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    hash *= 1099511628211ull;
  }
  return (hash ^ static_cast<std::uint64_t>(ped.nTotal)) * 1099511628211ull;
}

}  // namespace

IdIndex::IdIndex(std::vector<std::string> ids) : ids_(std::move(ids)) {
  std::sort(ids_.begin(), ids_.end());
}

std::shared_ptr<const IdIndex> IdIndex::Of(const Pedigree& ped) {
  std::vector<std::string> ids;
  ids.reserve(static_cast<std::size_t>(std::max(ped.nTotal, 0)));
  for (RecIndex i = 1; i <= ped.nTotal; ++i) ids.push_back(AsUtf8(ped.rec(i).Id()));
  return std::make_shared<const IdIndex>(std::move(ids));
}

std::vector<std::string_view> IdIndex::Completions(std::string_view typed,
                                                   std::size_t limit) const {
  const std::string prefix = UpperCased(typed);
  std::vector<std::string_view> out;
  for (auto it = std::lower_bound(ids_.begin(), ids_.end(), prefix);
       it != ids_.end() && out.size() < limit && it->compare(0, prefix.size(), prefix) == 0; ++it)
    out.emplace_back(*it);
  return out;
}

std::shared_ptr<const IdIndex> IdIndexCache::Get(const Pedigree& ped) {
  const std::uint64_t stamp = IdStamp(ped);
  if (!index_ || stamp != stamp_) {
    index_ = IdIndex::Of(ped);
    stamp_ = stamp;
  }
  return index_;
}

QCompleter* AttachIdCompleter(QLineEdit* box, IdSource source) {
  if (!source) return nullptr;
  auto* model = new QStringListModel(box);
  auto* completer = new QCompleter(model, box);
  // The list is the index's answer already: the completer only shows it.
  completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  completer->setWidget(box);
  completer->setMaxVisibleItems(12);
  auto index = std::make_shared<std::shared_ptr<const IdIndex>>();
  QObject::connect(box, &QLineEdit::textEdited, completer,
                   [box, completer, model, index, source](const QString& text) {
                     if (text.isEmpty()) {
                       completer->popup()->hide();
                       return;
                     }
                     if (!*index) *index = source();
                     QStringList shown;
                     if (*index)
                       for (std::string_view id :
                            (*index)->Completions(text.toStdString(), kMaxCompletions))
                         shown.push_back(QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())));
                     model->setStringList(shown);
                     // An ID typed out in full needs no popup.
                     if (shown.isEmpty() || (shown.size() == 1 && shown.front() == text.toUpper()))
                       completer->popup()->hide();
                     else {
                       completer->complete(box->rect());
                       // Enter keeps what was typed until a row is chosen.
                       completer->popup()->setCurrentIndex(QModelIndex());
                     }
                   });
  QObject::connect(completer, QOverload<const QString&>::of(&QCompleter::activated), box,
                   [box](const QString& id) {
                     box->setText(id);
                     emit box->textEdited(id);
                   });
  return completer;
}

IdDialog::IdDialog(const IndividualPicker& picker, QWidget* parent, IdSource ids)
    : QDialog(parent), picker_(picker), edit_(IdBox(this)) {
  AttachIdCompleter(edit_, std::move(ids));
  setWindowTitle(Q(picker.caption));
  auto* row = new QHBoxLayout(this);
  auto* group = new QGroupBox(this);
  auto* form = new QFormLayout(group);
  form->addRow(tr("Individual ID"), edit_);
  row->addWidget(group, 1);
  button_ = AddButtons(this, row, Q(picker.button));
  connect(button_, &QPushButton::clicked, this, &IdDialog::OnButton);
  edit_->setFocus();
}

QString IdDialog::id() const { return edit_->text(); }

void IdDialog::OnButton() {
  std::string typed = edit_->text().toStdString();
  if (typed.empty()) {
    edit_->setFocus();
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool found = picker_.accept(typed);
  QApplication::restoreOverrideCursor();
  edit_->setText(Q(typed));
  if (found) {
    accept();
    return;
  }
  edit_->setFocus();
  edit_->selectAll();
}

SheetChoiceDialog::SheetChoiceDialog(const std::vector<std::string>& sheets, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
  setWindowTitle(tr("Open"));
  for (const std::string& s : sheets) list_->addItem(Q(s));
  if (list_->count() > 0) list_->setCurrentRow(0);
  auto* row = new QHBoxLayout(this);
  auto* group = new QGroupBox(tr("Select a sheet"), this);
  auto* column = new QVBoxLayout(group);
  column->addWidget(list_);
  row->addWidget(group, 1);
  button_ = AddButtons(this, row, tr("OK"));
  const auto accepted = [this] {
    if (list_->currentRow() >= 0) accept();
  };
  connect(button_, &QPushButton::clicked, this, accepted);
  connect(list_, &QListWidget::itemDoubleClicked, this, accepted);
  list_->setFocus();
}

std::string SheetChoiceDialog::sheet() const {
  const QListWidgetItem* item = list_->currentItem();
  return item == nullptr ? std::string() : item->text().toStdString();
}

GroupChoiceDialog::GroupChoiceDialog(const GroupPicker& picker, QWidget* parent)
    : QDialog(parent), list_(GroupList(picker.groups, this, picker.allEntry)) {
  setWindowTitle(Q(picker.caption));
  auto* row = new QHBoxLayout(this);
  auto* group = new QGroupBox(this);
  auto* form = new QFormLayout(group);
  form->addRow(tr("Select a group"), list_);
  row->addWidget(group, 1);
  button_ = AddButtons(this, row, Q(picker.button));
  connect(button_, &QPushButton::clicked, this, [this] {
    if (list_->currentIndex() >= 0) accept();
  });
}

int GroupChoiceDialog::group() const { return list_->currentData().toInt(); }

namespace {

std::vector<std::string> TextsOf(const ValueForm& form) {
  std::vector<std::string> texts;
  for (const ValueForm::Field& field : form.fields) texts.push_back(field.text);
  return texts;
}

// A file name box with its Browse... button, which fills the box with the
// chosen file (asking before a file to write is replaced).
QWidget* WithBrowse(QLineEdit* edit, ValueForm::Field::File file) {
  auto* holder = new QWidget(edit->parentWidget());
  auto* line = new QHBoxLayout(holder);
  line->setContentsMargins(0, 0, 0, 0);
  edit->setParent(holder);
  // Room for a path, not only for a number as the boxes beside it.
  edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 32);
  line->addWidget(edit, 1);
  auto* browse = new QPushButton(QObject::tr("Browse..."), holder);
  browse->setObjectName(QStringLiteral("browse"));
  browse->setAutoDefault(false);
  line->addWidget(browse);
  QObject::connect(browse, &QPushButton::clicked, edit, [edit, file] {
    const QString chosen = file == ValueForm::Field::File::kRead
                               ? QFileDialog::getOpenFileName(edit->window(), QObject::tr("Open"), edit->text())
                               : QFileDialog::getSaveFileName(edit->window(), QObject::tr("Save As"), edit->text());
    if (!chosen.isEmpty()) edit->setText(QDir::toNativeSeparators(chosen));
  });
  return holder;
}

}  // namespace

ValueFormDialog::ValueFormDialog(const ValueForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
  setWindowTitle(Q(form.caption));
  auto* row = new QHBoxLayout(this);
  auto* column = new QVBoxLayout;
  auto* group = new QGroupBox(this);
  auto* layout = new QFormLayout(group);
  for (std::size_t k = 0; k < form.fields.size(); ++k) {
    const ValueForm::Field& field = form.fields[k];
    // A genomic command's genotype boxes are one box of their own, with the
    // genotype files' filters and a list of the formats.
    if (field.key == kGenotypesKey && k + kGenotypeFieldCount <= form.fields.size()) {
      const std::vector<std::string> texts = TextsOf(form);
      auto* box = new GenotypeInputBox({texts.begin() + static_cast<std::ptrdiff_t>(k),
                                        texts.begin() + static_cast<std::ptrdiff_t>(k + kGenotypeFieldCount)},
                                       this);
      column->addWidget(box);
      for (QWidget* input : box->inputs()) fields_.push_back(input);
      k += kGenotypeFieldCount - 1;
      continue;
    }
    if (field.check) {
      auto* box = new QCheckBox(Q(field.label), group);
      box->setChecked(field.text == "1");
      layout->addRow(box);
      fields_.push_back(box);
    } else {
      auto* edit = new QLineEdit(Q(field.text), group);
      layout->addRow(Q(field.label), field.file == ValueForm::Field::File::kNone ? static_cast<QWidget*>(edit)
                                                                                   : WithBrowse(edit, field.file));
      fields_.push_back(edit);
    }
  }
  if (layout->rowCount() > 0) column->addWidget(group);
  else delete group;
  row->addLayout(column, 1);
  button_ = AddButtons(this, row, tr("OK"));
  connect(button_, &QPushButton::clicked, this, [this] {
    if (form_.accept(texts())) accept();
  });
}

std::vector<std::string> ValueFormDialog::texts() const {
  std::vector<std::string> out;
  for (QWidget* field : fields_) {
    if (const auto* box = qobject_cast<QCheckBox*>(field)) out.push_back(box->isChecked() ? "1" : "0");
    else if (const auto* list = qobject_cast<QComboBox*>(field)) out.push_back(list->currentData().toString().toStdString());
    else out.push_back(qobject_cast<QLineEdit*>(field)->text().trimmed().toStdString());
  }
  return out;
}

TwoGroupsDialog::TwoGroupsDialog(const GroupPicker& picker, QWidget* parent)
    : QDialog(parent),
      picker_(picker),
      listA_(GroupList(picker.groups, this)),
      listB_(GroupList(picker.groups, this)) {
  setWindowTitle(Q(picker.caption));
  auto* row = new QHBoxLayout(this);
  auto* group = new QGroupBox(tr("Select"), this);
  auto* form = new QFormLayout(group);
  form->addRow(Q(picker.firstLabel), listA_);
  form->addRow(Q(picker.secondLabel), listB_);
  // Two different groups to start with: the pair a user most often wants is
  // then one change away, and Compute at once does not refuse it.
  if (listB_->count() > 1) listB_->setCurrentIndex(1);
  row->addWidget(group, 1);
  button_ = AddButtons(this, row, tr("Compute"));
  connect(button_, &QPushButton::clicked, this, &TwoGroupsDialog::OnCompute);
}

void TwoGroupsDialog::OnCompute() {
  if (listA_->currentIndex() < 0 || listB_->currentIndex() < 0) return;
  const int a = listA_->currentData().toInt();
  const int b = listB_->currentData().toInt();
  if (picker_.acceptPair && !picker_.acceptPair(a, b)) {
    listA_->setFocus();
    return;
  }
  chosen_ = {a, b};
  accept();
}

IdQueryDialog::IdQueryDialog(const QueryDialog& query, QWidget* parent, IdSource ids)
    : QDialog(parent), query_(query), result_(new QLineEdit(this)) {
  setWindowTitle(Q(query.caption));
  auto* row = new QHBoxLayout(this);
  auto* group = new QGroupBox(this);
  auto* form = new QFormLayout(group);
  for (std::size_t i = 0; i < query.labels.size(); ++i) {
    QLineEdit* box = IdBox(this);
    if (i < query.texts.size()) box->setText(Q(query.texts[i]));
    form->addRow(Q(query.labels[i]), box);
    connect(box, &QLineEdit::textEdited, result_, &QLineEdit::clear);
    AttachIdCompleter(box, ids);
    boxes_.push_back(box);
  }
  result_->setReadOnly(true);
  form->addRow(Q(query.resultLabel), result_);
  row->addWidget(group, 1);
  compute_ = AddButtons(this, row, tr("Compute"));
  connect(compute_, &QPushButton::clicked, this, &IdQueryDialog::OnCompute);
  if (!boxes_.empty()) boxes_.front()->setFocus();
}

void IdQueryDialog::OnCompute() {
  // Enter in the first of two boxes goes on to the second one.
  if (boxes_.size() == 2 && focusWidget() == boxes_[0]) {
    boxes_[1]->setFocus();
    boxes_[1]->selectAll();
    return;
  }
  std::vector<std::string> texts;
  for (const QLineEdit* box : boxes_) texts.push_back(box->text().toStdString());
  const QueryAnswer answer = query_.compute(texts);
  for (std::size_t i = 0; i < boxes_.size() && i < texts.size(); ++i)
    boxes_[i]->setText(Q(texts[i]));
  if (answer.value) result_->setText(Q(*answer.value));
  if (answer.focus >= 0 && static_cast<std::size_t>(answer.focus) < boxes_.size()) {
    boxes_[static_cast<std::size_t>(answer.focus)]->setFocus();
    boxes_[static_cast<std::size_t>(answer.focus)]->selectAll();
  }
}

TwoChoiceDialog::TwoChoiceDialog(const std::string& first, const std::string& second,
                               QWidget* parent)
    : QDialog(parent),
      first_(new QPushButton(Q(first), this)),
      second_(new QPushButton(Q(second), this)) {
  auto* column = new QVBoxLayout(this);
  auto* cancel = new QPushButton(tr("Cancel"), this);
  for (QPushButton* b : {first_, second_, cancel}) column->addWidget(b);
  first_->setDefault(true);
  connect(first_, &QPushButton::clicked, this, [this] { choice_ = 1; accept(); });
  connect(second_, &QPushButton::clicked, this, [this] { choice_ = 2; accept(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  setMinimumWidth(260);
}

}  // namespace kinvar::gui
