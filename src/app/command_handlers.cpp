#include "app/command_handlers.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/commands.h"
#include "genetics/relationship_commands.h"
#include "matings/matings_command.h"

namespace kinvar {

namespace {

struct Entry {
  std::int32_t id;
  CommandHandler run;
};

// One row per analysis command whose handler exists.
constexpr std::array kHandlers{
    Entry{kCmdBetweenAll, OnBetweenAllIndividuals},
    Entry{kCmdWithinGroup, OnWithinAGroup},
    Entry{kCmdBetweenTwoGroups, OnBetweenTwoGroups},
    Entry{kCmdAverageBetweenGroups, OnAverageBetweenGroups},
    Entry{kCmdAverageRelatedness, OnAverageRelatedness},
    Entry{kCmdOptimizeMatings, OnOptimizingMatings},
};

// The relationship handlers record these identifiers without seeing the
// command table.
static_assert(kBetweenAllIndividualsId == kCmdBetweenAll && kWithinAGroupId == kCmdWithinGroup &&
              kBetweenTwoGroupsId == kCmdBetweenTwoGroups &&
              kAverageBetweenGroupsId == kCmdAverageBetweenGroups &&
              kAverageRelatednessId == kCmdAverageRelatedness &&
              kOptimizingMatingsId == kCmdOptimizeMatings);

}  // namespace

CommandHandler AnalysisHandler(std::int32_t id) {
  const auto it = std::find_if(kHandlers.begin(), kHandlers.end(),
                               [id](const Entry& e) { return e.id == id; });
  return it == kHandlers.end() ? nullptr : it->run;
}

}  // namespace kinvar
