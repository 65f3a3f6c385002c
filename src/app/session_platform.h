// The platform of a session: nobody to ask, so every dialog is answered from
// the inputs of the call that runs the command, in the order the handler
// asks; messages are kept for the caller instead of shown.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "report/platform.h"

namespace kinvar {

class SessionPlatform final : public Platform {
 public:
  using CancelCheck = std::function<bool()>;
  using ProgressSink = std::function<void(const std::string& label, int percent)>;

  // Before a command: the pickers' inputs (IDs and group numbers as text),
  // the open dialogs' answers and the save dialogs' path.
  // `formValues` fill the value forms' boxes by key; the boxes not named
  // keep their texts.
  void Prepare(std::deque<std::string> inputs, std::deque<std::string> openFiles = {},
               std::optional<std::string> savePath = std::nullopt,
               std::map<std::string, std::string> formValues = {});

  Answer ShowMessage(const std::string& text, MessageIcon icon) override;
  std::optional<std::string> AskFileName(const FileRequest& request) override;
  int ChooseSaveOption(const std::string&, const std::string&) override { return saveChoice; }
  std::optional<std::string> PickIndividual(const IndividualPicker& picker) override;
  std::optional<int> PickGroup(const GroupPicker& picker) override;
  std::optional<std::pair<int, int>> PickTwoGroups(const GroupPicker& picker) override;
  void ShowQueryDialog(const QueryDialog& dialog) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  bool AskValues(const ValueForm& form) override;
  // The sheet a session was asked to read, else the first.
  std::optional<std::string> ChooseSheet(const std::vector<std::string>& sheets) override {
    if (!sheet.empty()) return sheet;
    return Platform::ChooseSheet(sheets);
  }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}

  // The first error message since Prepare, if any.
  const std::optional<std::string>& error() const { return error_; }
  // Warnings and information since Prepare, in order.
  const std::vector<std::string>& notes() const { return notes_; }
  // Whether the cancel check stopped a computation since Prepare.
  bool cancelled() const { return cancelled_.load(); }

  void SetCancelCheck(CancelCheck check) { cancelCheck_ = std::move(check); }
  void SetProgress(ProgressSink sink) { progress_ = std::move(sink); }

  // Asks the caller's check on its own thread only (R and Python allow no
  // other); any other thread sees the answer of the last ask.
  bool PollCancel();
  void Report(const std::string& label, int percent) {
    if (progress_ && std::this_thread::get_id() == owner_) progress_(label, percent);
  }

  int saveChoice = 1;
  std::string sheet;

 private:
  std::thread::id owner_ = std::this_thread::get_id();
  CancelCheck cancelCheck_;
  ProgressSink progress_;
  std::atomic<bool> cancelled_{false};
  std::deque<std::string> inputs_;
  std::deque<std::string> openFiles_;
  std::optional<std::string> savePath_;
  std::map<std::string, std::string> formValues_;
  std::optional<std::string> error_;
  std::vector<std::string> notes_;
};

}  // namespace kinvar
