#include "app/command_handlers.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/command_declarations.h"
#include "app/commands.h"
#include "matings/matings_command.h"
#include "matings/planned_mating_command.h"

namespace kinvar {

namespace {

struct Entry {
  std::int32_t id;
  CommandHandler run;
};

// One row per analysis command whose handler exists and that does not
// declare its parameters (a declaration names its handler).
constexpr std::array kHandlers{
    Entry{kCmdOptimizeMatings, OnOptimizingMatings},
    Entry{kCmdPlannedMating, OnPlannedMating},
};

}  // namespace

CommandHandler AnalysisHandler(std::int32_t id) {
  const auto it = std::find_if(kHandlers.begin(), kHandlers.end(),
                               [id](const Entry& e) { return e.id == id; });
  if (it != kHandlers.end()) return it->run;
  const auto declared = FindDeclaration(id);
  return declared ? declared->run : nullptr;
}

}  // namespace kinvar
