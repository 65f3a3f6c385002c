// The handlers of the analysis commands, each living with its analysis and
// named by its declaration. A command without one (and without one of the
// document's own) is not available.
#pragma once

#include <cstdint>

#include "analyses/command_context.h"

namespace kinvar {

using CommandHandler = void (*)(CommandContext& ctx);

// The handler of an analysis command, or nullptr.
CommandHandler AnalysisHandler(std::int32_t id);

}  // namespace kinvar
