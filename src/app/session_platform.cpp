#include "app/session_platform.h"

#include "app/typed_answers.h"

namespace kinvar {

namespace {

class SessionProgressWindow final : public ProgressWindow {
 public:
  explicit SessionProgressWindow(SessionPlatform& platform) : platform_(platform) {}
  void SetLabel(const std::string& label) override {
    label_ = label;
    platform_.Report(label_, percent_);
  }
  void SetPosition(int percent) override {
    percent_ = percent;
    platform_.Report(label_, percent_);
  }
  bool PollCancel() override { return platform_.PollCancel(); }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}

 private:
  SessionPlatform& platform_;
  std::string label_;
  int percent_ = 0;
};

}  // namespace

void SessionPlatform::Prepare(std::deque<std::string> inputs, std::deque<std::string> openFiles,
                              std::optional<std::string> savePath,
                              std::map<std::string, std::string> formValues) {
  formValues_ = std::move(formValues);
  inputs_ = std::move(inputs);
  openFiles_ = std::move(openFiles);
  savePath_ = std::move(savePath);
  error_.reset();
  notes_.clear();
  cancelled_ = false;
  saveChoice = 1;
  // The caller's check may be asked on the calling thread only.
  owner_ = std::this_thread::get_id();
}

Answer SessionPlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  if (icon == MessageIcon::kQuestion) return Answer::kYes;
  if (icon == MessageIcon::kError) {
    if (!error_) error_ = text;
  } else {
    notes_.push_back(text);
  }
  return Answer::kOk;
}

std::optional<std::string> SessionPlatform::AskFileName(const FileRequest& request) {
  if (request.open) return TakeAnswer(openFiles_);
  return savePath_;
}

std::optional<std::string> SessionPlatform::PickIndividual(const IndividualPicker& picker) {
  return PickIndividualFrom(inputs_, picker);
}

std::optional<int> SessionPlatform::PickGroup(const GroupPicker& picker) {
  return PickGroupFrom(inputs_, picker, *this);
}

std::optional<std::pair<int, int>> SessionPlatform::PickTwoGroups(const GroupPicker& picker) {
  return PickTwoGroupsFrom(inputs_, picker, *this);
}

void SessionPlatform::ShowQueryDialog(const QueryDialog& dialog) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < dialog.labels.size(); ++i) texts.push_back(TakeAnswer(inputs_).value_or(""));
  dialog.compute(texts);
}

bool SessionPlatform::AskValues(const ValueForm& form) { return AskValuesFrom(formValues_, form); }

std::unique_ptr<ProgressWindow> SessionPlatform::OpenProgress() {
  return std::make_unique<SessionProgressWindow>(*this);
}

bool SessionPlatform::PollCancel() {
  if (cancelled_) return true;
  if (!cancelCheck_ || std::this_thread::get_id() != owner_) return false;
  if (cancelCheck_()) cancelled_ = true;
  return cancelled_;
}

}  // namespace kinvar
