#include "support/scripted_platform.h"

namespace kinvar::test {

namespace {

class ScriptedProgressWindow final : public ProgressWindow {
 public:
  explicit ScriptedProgressWindow(ScriptedPlatform& platform) : platform_(platform) {}
  void SetLabel(const std::string&) override {}
  void SetPosition(int) override {}
  bool PollCancel() override {
    ++platform_.polls;
    return platform_.cancelAtPoll != 0 && platform_.polls == platform_.cancelAtPoll;
  }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}

 private:
  ScriptedPlatform& platform_;
};

template <typename T>
std::optional<T> Next(std::deque<T>& script) {
  if (script.empty()) return std::nullopt;
  T front = std::move(script.front());
  script.pop_front();
  return front;
}

}  // namespace

SaveAnswer ScriptedPlatform::AskToSave(const std::string& question) {
  messages.push_back({question, MessageIcon::kQuestion});
  return Next(saveAnswers).value_or(SaveAnswer::kDiscard);
}

Answer ScriptedPlatform::ShowMessage(const std::string& text, MessageIcon icon) {
  messages.push_back({text, icon});
  if (icon != MessageIcon::kQuestion) return Answer::kOk;
  return Next(answers).value_or(Answer::kYes);
}

std::optional<std::string> ScriptedPlatform::AskFileName(const FileRequest& request) {
  fileRequests.push_back(request);
  return Next(fileNames).value_or(std::nullopt);
}

std::optional<std::string> ScriptedPlatform::ChooseSheet(const std::vector<std::string>& sheets) {
  sheetLists.push_back(sheets);
  if (sheetChoices.empty()) return Platform::ChooseSheet(sheets);
  return Next(sheetChoices).value_or(std::nullopt);
}

int ScriptedPlatform::ChooseSaveOption(const std::string& first, const std::string& second) {
  choiceTexts.emplace_back(first, second);
  return Next(saveChoices).value_or(-1);
}

std::optional<std::string> ScriptedPlatform::PickIndividual(const IndividualPicker& picker) {
  pickerCaptions.push_back(picker.caption);
  while (auto typed = Next(typedIds))
    if (picker.accept(*typed)) return typed;
  return std::nullopt;
}

std::optional<int> ScriptedPlatform::PickGroup(const GroupPicker& picker) {
  pickerCaptions.push_back(picker.caption);
  pickerGroups.push_back(picker.groups);
  pickerAllEntries.push_back(picker.allEntry);
  return Next(groupChoices).value_or(std::nullopt);
}

std::optional<std::pair<int, int>> ScriptedPlatform::PickTwoGroups(const GroupPicker& picker) {
  pickerCaptions.push_back(picker.caption);
  pickerGroups.push_back(picker.groups);
  while (auto pair = Next(groupPairs)) {
    if (!*pair) return std::nullopt;
    if (picker.acceptPair((*pair)->first, (*pair)->second)) return *pair;
  }
  return std::nullopt;
}

void ScriptedPlatform::ShowQueryDialog(const QueryDialog& dialog) {
  queryDialogs.push_back(dialog);
  while (auto texts = Next(queries)) {
    queryAnswers.push_back(dialog.compute(*texts));
    queryTexts.push_back(*texts);
  }
}

std::unique_ptr<ProgressWindow> ScriptedPlatform::OpenProgress() {
  ++progressWindows;
  return std::make_unique<ScriptedProgressWindow>(*this);
}

std::vector<std::string> ScriptedPlatform::MessageTexts() const {
  std::vector<std::string> texts;
  for (const ShownMessage& m : messages) texts.push_back(m.text);
  return texts;
}

std::string ScriptedPlatform::JoinedTexts(MessageIcon icon) const {
  std::string joined;
  for (const ShownMessage& m : messages)
    if (m.icon == icon) joined += m.text;
  return joined;
}

bool ScriptedPlatform::AskValues(const ValueForm& form) {
  formCaptions.push_back(form.caption);
  std::vector<std::string> texts;
  for (const ValueForm::Field& field : form.fields) texts.push_back(field.text);
  if (!forms.empty()) {
    const std::optional<std::vector<std::string>> typed = forms.front();
    forms.pop_front();
    if (!typed) return false;
    texts = *typed;
  }
  return form.accept(texts);
}

}  // namespace kinvar::test
