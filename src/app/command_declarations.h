// Every command that declares its parameters, for the front ends that build
// their options, keyword arguments and pages from the declarations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analyses/command_declaration.h"

namespace kinvar {

// One entry per declared command, each from its handler's module.
std::vector<CommandDeclaration> CommandDeclarations();
// The declaration of the command `id`, or of kinvar-cli's command `name`
// (with its scope word: "decompose group").
std::optional<CommandDeclaration> FindDeclaration(std::int32_t id);
std::optional<CommandDeclaration> FindDeclaration(const std::string& name);

// The option table of a command's manual page: one row per parameter that
// kinvar-cli takes as an option, with its Python and R keyword, its default
// and what it does; empty for a command without options.
std::string OptionTable(const CommandDeclaration& command);

}  // namespace kinvar
