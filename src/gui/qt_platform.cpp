#include "gui/qt_platform.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QMessageBox>
#include <QLineEdit>
#include <QStringList>
#include <QThread>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "gui/dialogs.h"
#include "gui/planned_mating_dialog.h"
#include "matings/planned_mating_command.h"
#include "gui/progress_dialog.h"

namespace kinvar::gui {

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kError: return QMessageBox::Critical;
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kQuestion: return QMessageBox::Question;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

// Declared before a dialog, so that it acts after the dialog is gone.
class FocusBack {
 public:
  explicit FocusBack(QWidget* home) : home_(home) {}
  ~FocusBack() { ReturnFocus(home_); }
  FocusBack(const FocusBack&) = delete;
  FocusBack& operator=(const FocusBack&) = delete;

 private:
  QPointer<QWidget> home_;
};

// The progress window, which hands the keyboard back when it closes.
class FocusReturningProgress final : public ProgressWindow {
 public:
  FocusReturningProgress(QWidget* parent, QWidget* home) : back_(home), window_(parent) {}
  void SetLabel(const std::string& label) override { window_.SetLabel(label); }
  void SetPosition(int percent) override { window_.SetPosition(percent); }
  bool PollCancel() override { return window_.PollCancel(); }
  void SetWindowText(const std::string& text) override { window_.SetWindowText(text); }
  void ShowCancelButton(bool shown) override { window_.ShowCancelButton(shown); }
  void Hide() override { window_.Hide(); }

 private:
  FocusBack back_;
  ProgressDialog window_;
};

// A command run on a worker thread (MainWindow::RunOnWorker) asks its
// questions and shows its windows on the interface thread, and waits for
// the answer there; on the interface thread a call runs at once.
bool Elsewhere() { return QThread::currentThread() != QCoreApplication::instance()->thread(); }

template <class F>
auto FromInterface(F f) -> decltype(f()) {
  if constexpr (std::is_void_v<decltype(f())>) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), f, Qt::BlockingQueuedConnection);
  } else {
    decltype(f()) result{};
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { result = f(); },
                              Qt::BlockingQueuedConnection);
    return result;
  }
}

// The progress window of a command on a worker thread: made, driven and
// closed on the interface thread, whose event loop serves it meanwhile.
class WorkerProgress final : public ProgressWindow {
 public:
  explicit WorkerProgress(std::function<std::unique_ptr<ProgressWindow>()> open)
      : window_(FromInterface([&] { return open().release(); })) {}
  ~WorkerProgress() override { FromInterface([this] { delete window_; }); }
  void SetLabel(const std::string& label) override {
    FromInterface([&] { window_->SetLabel(label); });
  }
  void SetPosition(int percent) override { FromInterface([&] { window_->SetPosition(percent); }); }
  bool PollCancel() override { return FromInterface([&] { return window_->PollCancel(); }); }
  void SetWindowText(const std::string& text) override {
    FromInterface([&] { window_->SetWindowText(text); });
  }
  void ShowCancelButton(bool shown) override {
    FromInterface([&] { window_->ShowCancelButton(shown); });
  }
  void Hide() override { FromInterface([&] { window_->Hide(); }); }

 private:
  ProgressWindow* window_;
};

}  // namespace

void ReturnFocus(QWidget* home) {
  if (home == nullptr || QApplication::activeModalWidget() != nullptr) return;
  QWidget* window = home->window();
  if (window->isVisible()) window->activateWindow();
  home->setFocus(Qt::OtherFocusReason);
}

QString NameFilter(const FileFilter& filter) {
  QString description = QString::fromStdString(filter.description);
  if (filter.pattern == "*.*") description.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
  return description;
}

Answer QtPlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  if (Elsewhere()) return FromInterface([&] { return ShowMessage(text, icon); });

  const FocusBack back(home_);
  // A message must be readable even while the wait cursor is on.
  const bool waiting = QApplication::overrideCursor() != nullptr;
  if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const bool question = icon == MessageIcon::kQuestion;
  QMessageBox box(BoxIcon(icon), QStringLiteral("Kinvar"), QString::fromStdString(text),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent_);
  const int pressed = box.exec();
  if (waiting) QApplication::restoreOverrideCursor();
  if (!question) return Answer::kOk;
  return pressed == QMessageBox::Yes ? Answer::kYes : Answer::kNo;
}

std::optional<std::string> QtPlatform::AskFileName(const FileRequest& request) {
  if (Elsewhere()) return FromInterface([&] { return AskFileName(request); });

  const FocusBack back(home_);
  QFileDialog dialog(parent_, QString::fromStdString(request.title));
  if (request.folder) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!request.start.empty()) dialog.setDirectory(QFileInfo(QString::fromStdString(request.start)).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
  }
  dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(request.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  QStringList filters;
  for (const FileFilter& f : request.filters) filters << NameFilter(f);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  // A name typed without an extension gets the one of the chosen filter.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& chosen) {
    for (const FileFilter& f : request.filters)
      if (NameFilter(f) == chosen && f.pattern.starts_with("*.") && f.pattern != "*.*")
        dialog.setDefaultSuffix(QString::fromStdString(f.pattern.substr(2)));
  });
  dialog.setOption(QFileDialog::ReadOnly, false);
  std::optional<std::string> created;
  if (request.open && (!request.note.empty() || request.create)) AddNote(dialog, request, created);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  if (created) return created;
  if (!accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

// Below the file list: what the file is, and the button that makes one,
// which opens the file it made.
void QtPlatform::AddNote(QFileDialog& dialog, const FileRequest& request,
                         std::optional<std::string>& created) {
  // The platform's own dialog has no room for them.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  if (grid == nullptr) return;
  const int row = grid->rowCount();
  auto* note = new QLabel(QString::fromStdString(request.note), &dialog);
  note->setObjectName(QStringLiteral("fileNote"));
  note->setWordWrap(true);
  grid->addWidget(note, row, 0, 1, grid->columnCount());
  if (!request.create) return;
  auto* button = new QPushButton(QString::fromStdString(request.createLabel), &dialog);
  button->setObjectName(QStringLiteral("createFile"));
  grid->addWidget(button, row + 1, 0, 1, grid->columnCount(), Qt::AlignLeft);
  QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &request, &created] {
    created = request.create();
    if (created) static_cast<QDialog&>(dialog).done(QDialog::Accepted);
  });
}

int QtPlatform::ChooseSaveOption(const std::string& first, const std::string& second) {
  if (Elsewhere()) return FromInterface([&] { return ChooseSaveOption(first, second); });

  const FocusBack back(home_);
  TwoChoiceDialog dialog(first, second, parent_);
  dialog.exec();
  return dialog.choice();
}

std::optional<std::string> QtPlatform::PickIndividual(const IndividualPicker& picker) {
  if (Elsewhere()) return FromInterface([&] { return PickIndividual(picker); });

  const FocusBack back(home_);
  if (nextIndividual_) {
    std::string typed = std::exchange(nextIndividual_, std::nullopt).value();
    if (!picker.accept(typed)) return std::nullopt;
    return typed;
  }
  IdDialog dialog(picker, parent_, ids_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.id().toStdString();
}

std::optional<std::string> QtPlatform::ChooseSheet(const std::vector<std::string>& sheets) {
  if (Elsewhere()) return FromInterface([&] { return ChooseSheet(sheets); });

  const FocusBack back(home_);
  SheetChoiceDialog dialog(sheets, parent_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.sheet();
}

std::optional<int> QtPlatform::PickGroup(const GroupPicker& picker) {
  if (Elsewhere()) return FromInterface([&] { return PickGroup(picker); });

  const FocusBack back(home_);
  GroupChoiceDialog dialog(picker, parent_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.group();
}

std::optional<std::pair<int, int>> QtPlatform::PickTwoGroups(const GroupPicker& picker) {
  if (Elsewhere()) return FromInterface([&] { return PickTwoGroups(picker); });

  const FocusBack back(home_);
  TwoGroupsDialog dialog(picker, parent_);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.groups();
}

void QtPlatform::ShowQueryDialog(const QueryDialog& query) {
  if (Elsewhere()) return FromInterface([&] { ShowQueryDialog(query); });

  const FocusBack back(home_);
  IdQueryDialog dialog(query, parent_, ids_);
  if (nextIndividual_ && dialog.boxes().size() == 1) {
    dialog.boxes().front()->setText(QString::fromStdString(*nextIndividual_));
    dialog.OnCompute();
  } else if (nextIndividual_ && dialog.boxes().size() == 2) {
    // A pair's first member: the second is for the user to type.
    dialog.boxes().front()->setText(QString::fromStdString(*nextIndividual_));
    dialog.boxes().back()->setFocus();
  }
  nextIndividual_.reset();
  dialog.exec();
}

bool QtPlatform::AskValues(const ValueForm& form) {
  if (Elsewhere()) return FromInterface([&] { return AskValues(form); });

  const FocusBack back(home_);
  if (form.caption == kPlannedMatingCaption) {
    PlannedMatingDialog planned(form, parent_, ids_);
    if (nextIndividual_ && !nextBox_.empty()) {
      planned.box(nextBox_)->setText(QString::fromStdString(*nextIndividual_));
      nextIndividual_.reset();
    }
    return planned.exec() == QDialog::Accepted;
  }
  ValueFormDialog dialog(form, parent_);
  return dialog.exec() == QDialog::Accepted;
}

std::unique_ptr<ProgressWindow> QtPlatform::OpenProgress() {
  if (Elsewhere())
    return std::make_unique<WorkerProgress>([this] { return OpenProgress(); });
  return std::make_unique<FocusReturningProgress>(parent_, home_);
}

void QtPlatform::BeginWaitCursor() {
  if (Elsewhere()) return FromInterface([&] { BeginWaitCursor(); });
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPlatform::EndWaitCursor() {
  if (Elsewhere()) return FromInterface([&] { EndWaitCursor(); });
  QApplication::restoreOverrideCursor();
}

void QtPlatform::RefreshViews() {
  if (Elsewhere()) return FromInterface([&] { RefreshViews(); });

  if (refresh_) refresh_();
}

SaveAnswer QtPlatform::AskToSave(const std::string& question) {
  if (Elsewhere()) return FromInterface([&] { return AskToSave(question); });

  const FocusBack back(home_);
  QMessageBox box(QMessageBox::Question, QStringLiteral("Kinvar"), QString::fromStdString(question),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent_);
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Save: return SaveAnswer::kSave;
    case QMessageBox::Discard: return SaveAnswer::kDiscard;
    default: return SaveAnswer::kCancel;
  }
}

void QtPlatform::ShowStatus(const std::string& text) {
  if (Elsewhere()) return FromInterface([&] { ShowStatus(text); });

  if (status_) status_(text);
}

void QtPlatform::AddRecentFile(const std::string& path) {
  if (Elsewhere()) return FromInterface([&] { AddRecentFile(path); });

  if (addRecent_) addRecent_(path);
}

}  // namespace kinvar::gui
