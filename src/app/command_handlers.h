// The handlers of the analysis commands, each living with its analysis. The
// document runs them through this table; a command of the table without a
// handler here (and without one of the document's own) is not available.
#pragma once

#include <cstdint>

#include "analyses/command_context.h"

namespace kinvar {

using CommandHandler = void (*)(CommandContext& ctx);

// The handler of an analysis command, or nullptr.
CommandHandler AnalysisHandler(std::int32_t id);

}  // namespace kinvar
