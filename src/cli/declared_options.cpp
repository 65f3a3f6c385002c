#include "cli/declared_options.h"

namespace kinvar::cli {

namespace {

std::string Upper(std::string name) {
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}

}  // namespace

std::optional<std::string> DeclaredArguments::Given(const std::string& name) const {
  const auto it = texts.find(name);
  return it == texts.end() ? std::nullopt : it->second;
}

void AddDeclaredOptions(CLI::App& sub, const CommandDeclaration& command, DeclaredArguments& into) {
  std::map<std::string, CLI::Option*> added;
  for (const Parameter& p : command.parameters) {
    if (p.positional) {
      // One word each: a list would take the next positional's word too.
      CLI::Option* option = sub.add_option(Upper(p.name), into.positionals[p.name], p.help);
      if (p.required) option->required();
      continue;
    }
    const std::string flag = "--" + OptionOf(p);
    CLI::Option* option = p.type == ParameterType::kFlag ? sub.add_flag(flag, into.flags[p.name], p.help)
                                                         : sub.add_option(flag, into.texts[p.name], p.help);
    if (!p.valueName.empty()) option->type_name(p.valueName);
    if (p.type == ParameterType::kChoice && p.refusal.empty()) option->check(CLI::IsMember(p.choices));
    if (p.required) option->required();
    if (const auto excluded = added.find(p.excludes); excluded != added.end()) option->excludes(excluded->second);
    added[p.name] = option;
  }
}

std::deque<std::string> PickerAnswers(const CommandDeclaration& command, const DeclaredArguments& given) {
  std::deque<std::string> answers;
  for (const Parameter& p : command.parameters) {
    if (p.positional) {
      const auto it = given.positionals.find(p.name);
      if (it != given.positionals.end()) answers.push_back(it->second);
    } else if (p.control == Control::kGroupPicker || p.control == Control::kIndividualPicker) {
      answers.push_back(given.Given(p.name).value_or(p.defaultText));
    }
  }
  return answers;
}

std::map<std::string, std::string> FormAnswers(const CommandDeclaration& command,
                                               const DeclaredArguments& given) {
  std::map<std::string, std::string> answers;
  for (const Parameter& p : command.parameters) {
    if (p.positional || p.control == Control::kGroupPicker || p.control == Control::kIndividualPicker) continue;
    if (p.type == ParameterType::kFlag) {
      const auto it = given.flags.find(p.name);
      const bool named = it != given.flags.end() && it->second;
      answers[p.name] = named == p.offOption.empty() ? "1" : "0";
    } else if (const auto text = given.Given(p.name)) {
      answers[p.name] = *text;
    }
  }
  return answers;
}

}  // namespace kinvar::cli
