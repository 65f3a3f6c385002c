#include "app/command_handlers.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kinvar {

namespace {

struct Entry {
  std::int32_t id;
  CommandHandler run;
};

// One row per analysis command whose handler exists.
constexpr std::array<Entry, 0> kHandlers{};

}  // namespace

CommandHandler AnalysisHandler(std::int32_t id) {
  const auto it = std::find_if(kHandlers.begin(), kHandlers.end(),
                               [id](const Entry& e) { return e.id == id; });
  return it == kHandlers.end() ? nullptr : it->run;
}

}  // namespace kinvar
