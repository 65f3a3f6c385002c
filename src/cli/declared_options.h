// kinvar-cli's side of a command's declaration: its options, built in the
// declaration's order, and the answers they give to the command's pickers
// and settings form. The ranges are checked where every front end checks
// them, by the form, with the same messages.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "analyses/command_declaration.h"

namespace kinvar::cli {

// What the options of declared parameters held after parsing, by name.
struct DeclaredArguments {
  std::map<std::string, std::string> positionals;
  std::map<std::string, std::optional<std::string>> texts;
  std::map<std::string, bool> flags;
  std::map<std::string, std::vector<std::string>> words;  // of a parameter with parts

  // The text given for a parameter, if any.
  std::optional<std::string> Given(const std::string& name) const;
};

// A positional parameter is NAME, the others --name; the values land in
// `into`, which must outlive the parsing.
void AddDeclaredOptions(CLI::App& sub, const CommandDeclaration& command, DeclaredArguments& into);
// The pickers' answers in the declaration's order: the positionals, and the
// options that answer a picker (their default when not given).
std::deque<std::string> PickerAnswers(const CommandDeclaration& command, const DeclaredArguments& given);
// The form's answers: the options given, and every flag ticked or not.
std::map<std::string, std::string> FormAnswers(const CommandDeclaration& command,
                                               const DeclaredArguments& given);

// The answers of the open-file dialogs (Control::kOpenDialog), in the
// declaration's order: the positionals and the options given.
std::deque<std::string> OpenFileAnswers(const CommandDeclaration& command, const DeclaredArguments& given);
// The values of the parameters the desktop never asks for (Control::kNone,
// the seed file aside), given or their default: they hold for this run.
std::map<std::string, std::string> UnaskedAnswers(const CommandDeclaration& command, const DeclaredArguments& given);

}  // namespace kinvar::cli
