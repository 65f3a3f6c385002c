#include "gui/find_bar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "gui/report_view.h"

namespace kinvar::gui {

FindBar::FindBar(ReportView& view, QWidget* parent)
    : QWidget(parent),
      view_(view),
      edit_(new QLineEdit(this)),
      previous_(new QPushButton(tr("Previous"), this)),
      next_(new QPushButton(tr("Next"), this)),
      note_(new QLabel(this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(6, 3, 6, 3);
  auto* label = new QLabel(tr("Find:"), this);
  label->setBuddy(edit_);
  auto* close = new QToolButton(this);
  close->setText(QStringLiteral("\u00d7"));
  close->setToolTip(tr("Close the find bar (Escape)"));
  close->setAutoRaise(true);
  edit_->setClearButtonEnabled(true);
  edit_->setMinimumWidth(220);
  edit_->installEventFilter(this);
  previous_->setToolTip(tr("Find the previous line (Shift+F3)"));
  next_->setToolTip(tr("Find the next line (F3)"));
  for (QPushButton* button : {previous_, next_}) button->setAutoDefault(false);
  row->addWidget(close);
  row->addWidget(label);
  row->addWidget(edit_);
  row->addWidget(previous_);
  row->addWidget(next_);
  row->addWidget(note_, 1);
  connect(close, &QToolButton::clicked, this, &FindBar::Close);
  connect(previous_, &QPushButton::clicked, this, &FindBar::FindPrevious);
  connect(next_, &QPushButton::clicked, this, &FindBar::FindNext);
  connect(edit_, &QLineEdit::textEdited, note_, &QLabel::clear);
  hide();
}

void FindBar::Open() {
  show();
  edit_->setFocus(Qt::ShortcutFocusReason);
  edit_->selectAll();
}

void FindBar::FindNext() { Find(true); }

void FindBar::FindPrevious() { Find(false); }

void FindBar::Find(bool forward) {
  if (edit_->text().isEmpty()) {
    Open();
    return;
  }
  const int line = view_.Find(edit_->text(), forward);
  if (line < 0) {
    note_->setText(tr("\"%1\" is not in the report").arg(edit_->text()));
  } else if (view_.findWrapped()) {
    note_->setText(forward ? tr("Line %1: continued from the top").arg(line + 1)
                           : tr("Line %1: continued from the bottom").arg(line + 1));
  } else {
    note_->setText(tr("Line %1").arg(line + 1));
  }
}

void FindBar::Close() {
  hide();
  note_->clear();
  view_.setFocus(Qt::OtherFocusReason);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched != edit_ || event->type() != QEvent::KeyPress)
    return QWidget::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: Find(!(key->modifiers() & Qt::ShiftModifier)); return true;
    case Qt::Key_Escape: Close(); return true;
    default: return QWidget::eventFilter(watched, event);
  }
}

}  // namespace kinvar::gui
