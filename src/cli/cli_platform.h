// The command line's side of the platform interface: messages go to standard
// error, file names and save choices come from the arguments, and progress is
// a bar on standard error when it is a terminal. An interrupt (Ctrl+C,
// SIGTERM) is the Cancel of every progress window.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "report/platform.h"

namespace kinvar::cli {

// What a run without --force says of a read-only output file.
std::string ReadOnlyRefusal(const std::string& path);

class CliPlatform final : public Platform {
 public:
  explicit CliPlatform(bool quiet) : quiet_(quiet) {}

  // Every message is written; a question is answered Yes, since a batch run
  // has nobody to ask and each run opens a single file.
  Answer ShowMessage(const std::string& text, MessageIcon icon) override;
  std::optional<std::string> AskFileName(const FileRequest& request) override;
  int ChooseSaveOption(const std::string& first, const std::string& second) override;
  // The pickers take the command's positional arguments in order; an input
  // the picker refuses is told on standard error and ends the command.
  std::optional<std::string> PickIndividual(const IndividualPicker& picker) override;
  std::optional<int> PickGroup(const GroupPicker& picker) override;
  std::optional<std::pair<int, int>> PickTwoGroups(const GroupPicker& picker) override;
  // Types the positional arguments into the boxes and computes once; the
  // value is kept for the output.
  void ShowQueryDialog(const QueryDialog& dialog) override;
  const std::optional<std::string>& QueryValue() const { return queryValue_; }
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  // The form's texts, each replaced by the option of its key when given.
  bool AskValues(const ValueForm& form) override;
  void SetFormValues(std::map<std::string, std::string> values) { formValues_ = std::move(values); }
  // The sheet of --sheet, else the first.
  std::optional<std::string> ChooseSheet(const std::vector<std::string>& sheets) override {
    if (sheet_) return sheet_;
    return Platform::ChooseSheet(sheets);
  }
  void SetSheet(std::optional<std::string> sheet) { sheet_ = std::move(sheet); }
  // --force: a read-only file is replaced; without it the run is refused
  // with the reason and the option that overrides it.
  bool ConfirmReplacingReadOnly(const std::string& path) override;
  void SetForce(bool force) { force_ = force; }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}

  void SetOutputPath(std::optional<std::string> path) { outputPath_ = std::move(path); }
  // The answers of the open dialogs, in the order the command asks; an
  // exhausted list cancels. Save dialogs answer with the output path.
  void SetOpenFiles(std::deque<std::string> paths) { openFiles_ = std::move(paths); }
  void SetSaveChoice(int choice) { saveChoice_ = choice; }
  // Positional arguments for the pickers: IDs and group numbers as typed.
  void SetPickerInputs(std::deque<std::string> inputs) { inputs_ = std::move(inputs); }
  // Whether an error message was shown, for the exit status.
  bool ErrorShown() const { return errorShown_; }

 private:
  bool quiet_;
  bool errorShown_ = false;
  bool force_ = false;
  int saveChoice_ = 1;
  std::optional<std::string> outputPath_;
  std::deque<std::string> inputs_;
  std::deque<std::string> openFiles_;
  std::optional<std::string> queryValue_;
  std::optional<std::string> sheet_;
  std::map<std::string, std::string> formValues_;
};

}  // namespace kinvar::cli
