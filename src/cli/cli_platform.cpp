#include "cli/cli_platform.h"

#include <cstdio>

#include <unistd.h>

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
  bool PollCancel() override { return false; }
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

}  // namespace

Answer CliPlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  if (icon == MessageIcon::kError) errorShown_ = true;
  if (icon == MessageIcon::kQuestion) return Answer::kYes;
  std::fprintf(stderr, "%s\n", text.c_str());
  return Answer::kOk;
}

std::optional<std::string> CliPlatform::AskFileName(const FileRequest&) { return outputPath_; }

int CliPlatform::ChooseSaveOption(const std::string&, const std::string&) { return saveChoice_; }

std::unique_ptr<ProgressWindow> CliPlatform::OpenProgress() {
  if (quiet_ || !::isatty(STDERR_FILENO)) return std::make_unique<SilentProgressWindow>();
  return std::make_unique<TerminalProgressWindow>();
}

}  // namespace kinvar::cli
