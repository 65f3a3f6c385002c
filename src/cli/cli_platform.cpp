#include "cli/cli_platform.h"

#include <cstdio>
#include <string>

#include <unistd.h>

#include "app/typed_answers.h"
#include "cli/interrupt.h"

namespace kinvar::cli {

namespace {

// A one-line bar redrawn in place; erased when the computation ends.
class TerminalProgressWindow final : public ProgressWindow {
 public:
  ~TerminalProgressWindow() override { Hide(); }
  void SetLabel(const std::string& label) override {
    label_ = label;
    Draw();
  }
  void SetPosition(int percent) override {
    percent_ = percent;
    Draw();
  }
  bool PollCancel() override { return Interrupted(); }
  void SetWindowText(const std::string& text) override {
    label_ = text;
    Draw();
  }
  void ShowCancelButton(bool) override {}
  void Hide() override {
    if (!drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
  }

 private:
  void Draw() {
    constexpr int kWidth = 30;
    const int filled = percent_ * kWidth / 100;
    std::fprintf(stderr, "\r\033[K%-34.34s [%.*s%*s] %3d%%", label_.c_str(), filled,
                 "##############################", kWidth - filled, "", percent_);
    std::fflush(stderr);
    drawn_ = true;
  }

  std::string label_;
  int percent_ = 0;
  bool drawn_ = false;
};

// Nothing shown; an interrupt is its only Cancel.
class QuietProgressWindow final : public ProgressWindow {
 public:
  void SetLabel(const std::string&) override {}
  void SetPosition(int) override {}
  bool PollCancel() override { return Interrupted(); }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}
};

}  // namespace

Answer CliPlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  if (icon == MessageIcon::kError) errorShown_ = true;
  if (icon == MessageIcon::kQuestion) return Answer::kYes;
  std::fprintf(stderr, "%s\n", text.c_str());
  return Answer::kOk;
}

bool CliPlatform::ConfirmReplacingReadOnly(const std::string& path) {
  if (force_) return true;
  ShowMessage(ReadOnlyRefusal(path), MessageIcon::kError);
  return false;
}

std::string ReadOnlyRefusal(const std::string& path) {
  return "Cannot open " + path + " for writing.\nThe file is read-only; --force replaces it.";
}

std::optional<std::string> CliPlatform::AskFileName(const FileRequest& request) {
  if (request.open) return TakeAnswer(openFiles_);
  return outputPath_;
}

int CliPlatform::ChooseSaveOption(const std::string&, const std::string&) { return saveChoice_; }

std::optional<std::string> CliPlatform::PickIndividual(const IndividualPicker& picker) {
  return PickIndividualFrom(inputs_, picker);
}

// Group numbers as typed on the command line; "all" where the list has an
// entry for every individual.
std::optional<int> CliPlatform::PickGroup(const GroupPicker& picker) {
  return PickGroupFrom(inputs_, picker, *this);
}

std::optional<std::pair<int, int>> CliPlatform::PickTwoGroups(const GroupPicker& picker) {
  return PickTwoGroupsFrom(inputs_, picker, *this);
}

void CliPlatform::ShowQueryDialog(const QueryDialog& dialog) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < dialog.labels.size(); ++i) texts.push_back(TakeAnswer(inputs_).value_or(""));
  queryValue_ = dialog.compute(texts).value;
}

bool CliPlatform::AskValues(const ValueForm& form) { return AskValuesFrom(formValues_, form); }

std::unique_ptr<ProgressWindow> CliPlatform::OpenProgress() {
  if (quiet_ || !::isatty(STDERR_FILENO)) return std::make_unique<QuietProgressWindow>();
  return std::make_unique<TerminalProgressWindow>();
}

}  // namespace kinvar::cli
