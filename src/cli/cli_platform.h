// The command line's side of the platform interface: messages go to standard
// error, file names and save choices come from the arguments, and progress is
// a bar on standard error when it is a terminal.
#pragma once

#include <optional>
#include <string>

#include "app/platform.h"

namespace kinvar::cli {

class CliPlatform final : public Platform {
 public:
  explicit CliPlatform(bool quiet) : quiet_(quiet) {}

  // Every message is written; a question is answered Yes, since a batch run
  // has nobody to ask and each run opens a single file.
  Answer ShowMessage(const std::string& text, MessageIcon icon) override;
  std::optional<std::string> AskFileName(const FileRequest& request) override;
  int ChooseSaveOption(const std::string& first, const std::string& second) override;
  std::unique_ptr<ProgressWindow> OpenProgress() override;
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}

  void SetOutputPath(std::optional<std::string> path) { outputPath_ = std::move(path); }
  void SetSaveChoice(int choice) { saveChoice_ = choice; }
  // Whether an error message was shown, for the exit status.
  bool ErrorShown() const { return errorShown_; }

 private:
  bool quiet_;
  bool errorShown_ = false;
  int saveChoice_ = 1;
  std::optional<std::string> outputPath_;
};

}  // namespace kinvar::cli
