// A command's parameters, declared once beside its handler: kinvar-cli builds
// its options from the declaration, the handler builds its settings form from
// it (which the desktop shows and the session and the command line answer by
// key), the session takes keyword arguments by its names, and the manual's
// option table is checked against it. Adding a parameter is one line here
// instead of one edit per front end.
//
// Values travel as texts, as the form's boxes hold them ("1"/"0" for a
// flag), so that every front end feeds the same parsing and the same
// refusals in the handler.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analyses/command_menu.h"
#include "report/platform.h"

namespace kinvar {

enum class ParameterType { kInteger, kNumber, kText, kChoice, kId, kGroup, kFile, kFlag };

// Where the desktop shows a parameter. kNone: not in the form (the command
// line's seed file, where the desktop uses the program folder's). kOpenDialog:
// an open-file dialog of its own after the pickers, in the declaration's
// order (the mating optimization's files).
enum class Control { kBox, kCheck, kReadFile, kWriteFile, kGroupPicker, kIndividualPicker, kNone, kOpenDialog };

struct Parameter {
  // The form's key and kinvar-cli's --name; a positional is NAME upper-cased
  // on the command line.
  std::string name;
  ParameterType type = ParameterType::kText;
  // The text the form opens with on a fresh pedigree ("" none).
  std::string defaultText;
  // Integer and number: the accepted range, both ends included.
  std::optional<double> low;
  std::optional<double> high;
  std::vector<std::string> choices;
  // A number the run holds as a 32-bit float: read as one, and kept as its
  // shortest text; else a double, kept as typed.
  bool single = false;
  std::string help;   // kinvar-cli's line of COMMAND --help
  std::string valueName;  // kinvar-cli's name of the value (G, X); empty: its type's
  std::string label;  // the form's label
  Control control = Control::kBox;
  // What the form says of a text it refuses; none: any text is taken (the
  // handler checks it), and kinvar-cli refuses a choice outside `choices`
  // as a usage error. A flag's: of the flag ticked with the one it excludes.
  std::string refusal;
  // A flag that cannot be ticked with this earlier one.
  std::string excludes;
  // The session's keyword (R and Python), when it is not the name with '_'
  // for '-'; "-": the session does not take it.
  std::string keyword;
  // A flag ticked by default, which kinvar-cli unticks with this option
  // (--no-scaling) instead of ticking it with --name.
  std::string offOption;
  bool positional = false;
  bool required = false;  // kinvar-cli refuses the run without it
  // An empty text stands for "none" (a new seed), and is accepted.
  bool emptyMeansNone = false;
  // The form opens with the last run's text; false: with the default.
  bool recalled = true;
  // The command line takes the texts of these parameters, which the form
  // shows as boxes of their own, as the words of this one (PARENTS for the
  // sire and the dam, --sire-parents S D); it holds no text itself.
  std::vector<std::string> parts;
  // Only the desktop shows it (a check box of what follows the run); the
  // command line has no option of it.
  bool desktopOnly = false;

  // Declared as Declare(name, type).Default("0").Help("...")...: each call
  // sets one field.
  Parameter& Default(std::string text) { defaultText = std::move(text); return *this; }
  Parameter& Range(double from, double to) { low = from; high = to; return *this; }
  Parameter& AtLeast(double from) { low = from; return *this; }
  Parameter& Single() { single = true; return *this; }
  Parameter& Help(std::string text) { help = std::move(text); return *this; }
  Parameter& ValueName(std::string text) { valueName = std::move(text); return *this; }
  Parameter& Label(std::string text) { label = std::move(text); return *this; }
  Parameter& Shown(Control how) { control = how; return *this; }
  Parameter& Refusal(std::string text) { refusal = std::move(text); return *this; }
  Parameter& Excludes(std::string other) { excludes = std::move(other); return *this; }
  Parameter& Keyword(std::string text) { keyword = std::move(text); return *this; }
  Parameter& Choices(std::vector<std::string> list) { choices = std::move(list); return *this; }
  Parameter& OffOption(std::string option) { offOption = std::move(option); defaultText = "1"; return *this; }
  Parameter& Positional() { positional = true; required = true; return *this; }
  Parameter& Required() { required = true; return *this; }
  Parameter& EmptyMeansNone() { emptyMeansNone = true; return *this; }
  Parameter& NotRecalled() { recalled = false; return *this; }
  Parameter& Parts(std::vector<std::string> names) { parts = std::move(names); return *this; }
  Parameter& DesktopOnly() { desktopOnly = true; return *this; }
};

inline Parameter Declare(std::string name, ParameterType type) {
  Parameter p;
  p.name = std::move(name);
  p.type = type;
  return p;
}

// The random generator's seed file that kinvar-cli may name (the desktop
// uses the program folder's); the session takes it as `seed`, the start of a
// seed file's stream.
inline constexpr const char* kSeedFileParameter = "seed-file";

struct CommandContext;

// What kinvar-cli writes after the command: what Save As writes of its
// report, the one value its dialog shows, the file it writes itself, or a
// relationship listing (the pairs, or their matrix).
enum class CommandOutput { kReport, kValue, kFile, kListing };

struct CommandDeclaration {
  CommandDeclaration() = default;
  CommandDeclaration(std::int32_t command, std::string commandName, std::vector<Parameter> declared)
      : id(command), name(std::move(commandName)), parameters(std::move(declared)) {}

  std::int32_t id = 0;
  std::string name;  // kinvar-cli's command, and its manual page commands/NAME
  std::vector<Parameter> parameters;
  // The document runs it; none for the few commands the document answers
  // itself (the dialogs of one value).
  void (*run)(CommandContext& ctx) = nullptr;
  // The word after kinvar-cli's command that chooses this one among the
  // commands of the same name ("individual", "group"); empty when the name
  // alone names it. The first of a name tells the help of them all.
  std::string scope;
  std::string summary;      // kinvar-cli's line of --help
  std::string explanation;  // the rest of COMMAND --help
  CommandOutput output = CommandOutput::kReport;
  // Its row of the desktop's menu bar; none while the row stands in the
  // application's own table.
  std::optional<MenuRow> menu{};

  const Parameter* Find(const std::string& parameterName) const;
  // Whether kinvar-cli has an option or a positional of its own for it:
  // not for a part of another's words, nor for what the desktop alone shows.
  bool OnCommandLine(const Parameter& parameter) const;
  // Declared as CommandDeclaration{id, name, {parameters...}}.Runs(...)
  // .Summary(...): each call sets one field.
  CommandDeclaration& Runs(void (*handler)(CommandContext&)) { run = handler; return *this; }
  CommandDeclaration& Summary(std::string text) { summary = std::move(text); return *this; }
  CommandDeclaration& Explanation(std::string text) { explanation = std::move(text); return *this; }
  CommandDeclaration& Writes(CommandOutput what) { output = what; return *this; }
  CommandDeclaration& Scope(std::string word) { scope = std::move(word); return *this; }
  CommandDeclaration& Menu(MenuRow row) { menu = std::move(row); return *this; }
  // The name the session knows it by: "decompose group" for a scoped one.
  std::string FullName() const { return scope.empty() ? name : name + " " + scope; }
};

// The session's name of a parameter; empty when the session does not take it.
std::string KeywordOf(const Parameter& parameter);
// kinvar-cli's option of a parameter, without its dashes: its name, or the
// option that unticks a flag ticked by default.
std::string OptionOf(const Parameter& parameter);

// The texts of every command's parameters as last accepted, by command and
// parameter name; a command not run yet has its declaration's defaults.
class CommandValues {
 public:
  std::string Text(const CommandDeclaration& command, const std::string& name) const;
  void Set(std::int32_t command, const std::string& name, std::string text);
  // A number, integer or flag parameter's value ("1" is a ticked flag).
  double Number(const CommandDeclaration& command, const std::string& name) const;
  bool Flag(const CommandDeclaration& command, const std::string& name) const;
  // What a command's last run leaves for its re-run that is no input of it
  // (the seed a run drew, whether it read a file): kept apart from the
  // inputs, which a form or a command line sets, and forgotten with them.
  // "" when the command left none.
  std::string State(std::int32_t command, const std::string& name) const;
  void SetState(std::int32_t command, const std::string& name, std::string text);

 private:
  std::map<std::int32_t, std::map<std::string, std::string>> texts_;
  std::map<std::int32_t, std::map<std::string, std::string>> states_;
};

// The canonical text of a value the form accepts (the shortest text of the
// float for a number, so that the box shows what the run used), or nothing
// with the parameter's refusal.
std::optional<std::string> AcceptedText(const Parameter& parameter, const std::string& text);

// The settings form of the command's boxes and check boxes, opening with
// `values`. Its accept checks every text against its parameter, tells the
// first refusal and keeps the form open; when all pass it stores them in
// `values`.
ValueForm DeclaredForm(const CommandDeclaration& command, const std::string& caption,
                       CommandValues& values, Platform& platform);

}  // namespace kinvar
