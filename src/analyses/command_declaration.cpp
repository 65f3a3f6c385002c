#include "analyses/command_declaration.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kinvar {

namespace {

std::string Shortest(float value) {
  char buffer[32];
  return {buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr};
}

bool InRange(const Parameter& p, double value) {
  return !(p.low && !(value >= *p.low)) && !(p.high && !(value <= *p.high));
}

// A range beyond a signed 32-bit word (a seed) reads unsigned words, which
// take no sign at all.
bool Unsigned(const Parameter& p) {
  return p.high && *p.high > static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

template <class T>
std::optional<T> Whole(const std::string& text) {
  T value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::string> AcceptedInteger(const Parameter& p, const std::string& text) {
  if (Unsigned(p)) {
    const auto value = Whole<std::uint64_t>(text);
    if (!value || !InRange(p, static_cast<double>(*value))) return std::nullopt;
    return std::to_string(*value);
  }
  const auto value = Whole<std::int64_t>(text);
  if (!value || !InRange(p, static_cast<double>(*value))) return std::nullopt;
  return std::to_string(*value);
}

template <class T>
std::optional<T> Real(const Parameter& p, const std::string& text) {
  T value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || !InRange(p, value))
    return std::nullopt;
  return value;
}

std::optional<std::string> AcceptedNumber(const Parameter& p, const std::string& text) {
  if (!p.single) return Real<double>(p, text) ? std::optional<std::string>(text) : std::nullopt;
  const auto value = Real<float>(p, text);
  return value ? std::optional<std::string>(Shortest(*value)) : std::nullopt;
}

// The first flag ticked with the one it excludes, or nullptr.
const Parameter* Conflict(const std::vector<const Parameter*>& shown, const std::vector<std::string>& texts) {
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i]->type != ParameterType::kFlag || shown[i]->excludes.empty() || texts[i] != "1") continue;
    for (std::size_t k = 0; k < shown.size(); ++k)
      if (shown[k]->name == shown[i]->excludes && texts[k] == "1") return shown[i];
  }
  return nullptr;
}

bool InForm(const Parameter& p) {
  return !p.positional && (p.control == Control::kBox || p.control == Control::kCheck ||
                           p.control == Control::kReadFile || p.control == Control::kWriteFile);
}

ValueForm::Field::File FileOf(Control control) {
  if (control == Control::kReadFile) return ValueForm::Field::File::kRead;
  if (control == Control::kWriteFile) return ValueForm::Field::File::kWrite;
  return ValueForm::Field::File::kNone;
}

}  // namespace

const Parameter* CommandDeclaration::Find(const std::string& parameterName) const {
  for (const Parameter& p : parameters)
    if (p.name == parameterName) return &p;
  return nullptr;
}

bool CommandDeclaration::OnCommandLine(const Parameter& parameter) const {
  if (parameter.desktopOnly) return false;
  for (const Parameter& p : parameters)
    if (std::find(p.parts.begin(), p.parts.end(), parameter.name) != p.parts.end()) return false;
  return true;
}

std::string KeywordOf(const Parameter& parameter) {
  if (parameter.keyword == "-") return {};
  if (!parameter.keyword.empty()) return parameter.keyword;
  std::string keyword = parameter.name;
  for (char& c : keyword)
    if (c == '-') c = '_';
  return keyword;
}

std::string OptionOf(const Parameter& parameter) {
  return parameter.offOption.empty() ? parameter.name : parameter.offOption;
}

std::string CommandValues::Text(const CommandDeclaration& command, const std::string& name) const {
  if (const auto it = texts_.find(command.id); it != texts_.end())
    if (const auto value = it->second.find(name); value != it->second.end()) return value->second;
  const Parameter* p = command.Find(name);
  return p != nullptr ? p->defaultText : std::string();
}

void CommandValues::Set(std::int32_t command, const std::string& name, std::string text) {
  texts_[command][name] = std::move(text);
}

double CommandValues::Number(const CommandDeclaration& command, const std::string& name) const {
  const std::string text = Text(command, name);
  double value = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool CommandValues::Flag(const CommandDeclaration& command, const std::string& name) const {
  return Text(command, name) == "1";
}

std::string CommandValues::State(std::int32_t command, const std::string& name) const {
  if (const auto it = states_.find(command); it != states_.end())
    if (const auto value = it->second.find(name); value != it->second.end()) return value->second;
  return {};
}

void CommandValues::SetState(std::int32_t command, const std::string& name, std::string text) {
  states_[command][name] = std::move(text);
}

std::optional<std::string> AcceptedText(const Parameter& parameter, const std::string& text) {
  if (parameter.emptyMeansNone && text.empty()) return text;
  if (parameter.refusal.empty() && parameter.type != ParameterType::kFlag) return text;
  switch (parameter.type) {
    case ParameterType::kInteger: return AcceptedInteger(parameter, text);
    case ParameterType::kNumber: return AcceptedNumber(parameter, text);
    case ParameterType::kFlag: return std::string(text == "1" ? "1" : "0");
    case ParameterType::kChoice:
      for (const std::string& choice : parameter.choices)
        if (choice == text) return text;
      return std::nullopt;
    default: return text;
  }
}

ValueForm DeclaredForm(const CommandDeclaration& command, const std::string& caption,
                       CommandValues& values, Platform& platform) {
  ValueForm form{caption, {}, {}};
  std::vector<const Parameter*> shown;
  for (const Parameter& p : command.parameters) {
    if (!InForm(p)) continue;
    shown.push_back(&p);
    form.fields.push_back({p.name, p.label, p.recalled ? values.Text(command, p.name) : p.defaultText,
                           p.control == Control::kCheck, FileOf(p.control)});
  }
  form.accept = [&command, &values, &platform, shown](const std::vector<std::string>& texts) {
    std::vector<std::string> accepted;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const auto text = AcceptedText(*shown[i], i < texts.size() ? texts[i] : std::string());
      if (!text) {
        platform.ShowMessage(shown[i]->refusal, MessageIcon::kError);
        return false;
      }
      accepted.push_back(*text);
    }
    if (const Parameter* conflict = Conflict(shown, accepted)) {
      platform.ShowMessage(conflict->refusal, MessageIcon::kError);
      return false;
    }
    for (std::size_t i = 0; i < shown.size(); ++i) values.Set(command.id, shown[i]->name, accepted[i]);
    return true;
  };
  return form;
}

}  // namespace kinvar
