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
  for (const Parameter& p : command.parameters) {
    if (p.positional) {
      CLI::Option* option = sub.add_option(Upper(p.name), into.positionals[p.name], p.help);
      if (p.required) option->required();
      option->expected(1);
      continue;
    }
    const std::string flag = "--" + p.name;
    if (p.type == ParameterType::kFlag) {
      sub.add_flag(flag, into.flags[p.name], p.help);
      continue;
    }
    CLI::Option* option = sub.add_option(flag, into.texts[p.name], p.help);
    if (p.required) option->required();
  }
}

std::deque<std::string> PickerAnswers(const CommandDeclaration& command, const DeclaredArguments& given) {
  std::deque<std::string> answers;
  for (const Parameter& p : command.parameters) {
    if (!p.positional) continue;
    const auto it = given.positionals.find(p.name);
    if (it != given.positionals.end()) answers.insert(answers.end(), it->second.begin(), it->second.end());
  }
  return answers;
}

std::map<std::string, std::string> FormAnswers(const CommandDeclaration& command,
                                               const DeclaredArguments& given) {
  std::map<std::string, std::string> answers;
  for (const Parameter& p : command.parameters) {
    if (p.positional) continue;
    if (p.type == ParameterType::kFlag) {
      const auto it = given.flags.find(p.name);
      answers[p.name] = it != given.flags.end() && it->second ? "1" : "0";
    } else if (const auto text = given.Given(p.name)) {
      answers[p.name] = *text;
    }
  }
  return answers;
}

}  // namespace kinvar::cli
