// The desktop program's side of the platform interface: message boxes, file
// dialogs, the pickers and query dialogs, the progress window and the wait
// cursor. Dialogs are parented to the main window once it exists; what the
// main window does on a refresh and a newly opened file it hands in as
// callbacks, so this class knows no window class. Every dialog hands the
// keyboard back to the report view when it closes.
#pragma once

#include <QPointer>
#include <QFileDialog>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "gui/dialogs.h"
#include "report/platform.h"

namespace kinvar::gui {

class QtPlatform : public Platform {
 public:
  void SetParentWindow(QWidget* parent) { parent_ = parent; }
  // The widget that gets the keyboard back after each dialog.
  void SetFocusHome(QWidget* home) { home_ = home; }
  void SetRefresh(std::function<void()> refresh) { refresh_ = std::move(refresh); }
  void SetRecentFileSink(std::function<void(const std::string&)> sink) {
    addRecent_ = std::move(sink);
  }
  void SetStatusSink(std::function<void(const std::string&)> sink) { status_ = std::move(sink); }

  // The next individual picker, or the next query dialog of one ID, takes
  // `id` as typed instead of asking for it (the query dialog then opens with
  // its answer; one of two IDs opens with `id` as the first); nothing asks
  // no more. Used up by that one call.
  void AnswerNextIndividual(std::optional<std::string> id, std::string box = {}) {
    nextIndividual_ = std::move(id);
    nextBox_ = std::move(box);
  }
  // What the ID boxes of the pickers and query dialogs complete from.
  void SetIdSource(IdSource source) { ids_ = std::move(source); }

  Answer ShowMessage(const std::string& text, MessageIcon icon) override;
  std::optional<std::string> AskFileName(const FileRequest& request) override;
  int ChooseSaveOption(const std::string& first, const std::string& second) override;
  std::optional<std::string> PickIndividual(const IndividualPicker& picker) override;
  std::optional<int> PickGroup(const GroupPicker& picker) override;
  std::optional<std::string> ChooseSheet(const std::vector<std::string>& sheets) override;
  std::optional<std::pair<int, int>> PickTwoGroups(const GroupPicker& picker) override;
  void ShowQueryDialog(const QueryDialog& dialog) override;
  bool AskValues(const ValueForm& form) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  void RefreshViews() override;
  void AddRecentFile(const std::string& path) override;
  SaveAnswer AskToSave(const std::string& question) override;
  void ShowStatus(const std::string& text) override;

 private:
  static void AddNote(QFileDialog& dialog, const FileRequest& request, std::optional<std::string>& created);

  QPointer<QWidget> parent_;
  std::optional<std::string> nextIndividual_;
  std::string nextBox_;  // the form's box for nextIndividual_, where a form asks
  IdSource ids_;
  QPointer<QWidget> home_;
  std::function<void()> refresh_;
  std::function<void(const std::string&)> addRecent_;
  std::function<void(const std::string&)> status_;
};

// Gives the keyboard to `home` and activates its window once a dialog has
// closed, unless another modal dialog still runs (that one keeps it): without
// this the window's keys stay dead until it is clicked.
void ReturnFocus(QWidget* home);

// A file dialog's name filter for one of the core's filters. "*.*" becomes
// "*", since files on this platform need not have an extension.
QString NameFilter(const FileFilter& filter);

}  // namespace kinvar::gui
