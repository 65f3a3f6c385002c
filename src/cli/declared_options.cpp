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
    if (!command.OnCommandLine(p)) continue;
    if (!p.parts.empty()) {
      // Exactly its parts' words, so that the next positional keeps its own.
      const auto parts = static_cast<int>(p.parts.size());
      CLI::Option* option = p.positional ? sub.add_option(Upper(p.name), into.words[p.name], p.help)
                                         : sub.add_option("--" + OptionOf(p), into.words[p.name], p.help);
      if (p.required) option->required();
      option->expected(parts);
      if (!p.valueName.empty()) option->type_name(p.valueName);
      added[p.name] = option;
      continue;
    }
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
    if (p.control == Control::kOpenDialog || !p.parts.empty()) continue;
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
    if (const auto words = given.words.find(p.name); words != given.words.end() && words->second.size() == p.parts.size())
      for (std::size_t i = 0; i < p.parts.size(); ++i) answers[p.parts[i]] = words->second[i];
    if (p.positional || p.control == Control::kGroupPicker || p.control == Control::kIndividualPicker ||
        p.control == Control::kOpenDialog)
      continue;
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

std::deque<std::string> OpenFileAnswers(const CommandDeclaration& command, const DeclaredArguments& given) {
  std::deque<std::string> answers;
  for (const Parameter& p : command.parameters) {
    if (p.control != Control::kOpenDialog) continue;
    if (p.positional) {
      if (const auto it = given.positionals.find(p.name); it != given.positionals.end()) answers.push_back(it->second);
    } else if (const auto text = given.Given(p.name)) {
      answers.push_back(*text);
    }
  }
  return answers;
}

std::map<std::string, std::string> UnaskedAnswers(const CommandDeclaration& command, const DeclaredArguments& given) {
  const std::map<std::string, std::string> form = FormAnswers(command, given);
  std::map<std::string, std::string> answers;
  for (const Parameter& p : command.parameters) {
    if (p.control != Control::kNone || p.positional || !p.parts.empty() || p.name == kSeedFileParameter) continue;
    const auto it = form.find(p.name);
    answers[p.name] = it != form.end() ? it->second : p.defaultText;
  }
  return answers;
}

}  // namespace kinvar::cli
