#include "app/typed_answers.h"

#include <vector>

namespace kinvar {

std::optional<std::string> TakeAnswer(std::deque<std::string>& answers) {
  if (answers.empty()) return std::nullopt;
  std::string front = std::move(answers.front());
  answers.pop_front();
  return front;
}

std::optional<std::string> PickIndividualFrom(std::deque<std::string>& answers,
                                              const IndividualPicker& picker) {
  auto typed = TakeAnswer(answers);
  if (!typed || !picker.accept(*typed)) return std::nullopt;
  return typed;
}

std::optional<int> PickGroupFrom(std::deque<std::string>& answers, const GroupPicker& picker,
                                 Platform& platform) {
  const auto typed = TakeAnswer(answers);
  if (!typed) return std::nullopt;
  if (!picker.allEntry.empty() && *typed == "all") return kAllIndividuals;
  for (const int group : picker.groups)
    if (std::to_string(group) == *typed) return group;
  platform.ShowMessage("Group \"" + *typed + "\" is not in the pedigree.", MessageIcon::kError);
  return std::nullopt;
}

std::optional<std::pair<int, int>> PickTwoGroupsFrom(std::deque<std::string>& answers,
                                                     const GroupPicker& picker, Platform& platform) {
  const auto a = PickGroupFrom(answers, picker, platform);
  if (!a) return std::nullopt;
  const auto b = PickGroupFrom(answers, picker, platform);
  if (!b || !picker.acceptPair(*a, *b)) return std::nullopt;
  return std::pair{*a, *b};
}

bool AskValuesFrom(const std::map<std::string, std::string>& values, const ValueForm& form) {
  std::vector<std::string> texts;
  for (const ValueForm::Field& field : form.fields) {
    const auto given = values.find(field.key);
    texts.push_back(given != values.end() ? given->second : field.text);
  }
  return form.accept(texts);
}

}  // namespace kinvar
