#include "app/command_handlers.h"

#include "app/command_declarations.h"

namespace kinvar {

CommandHandler AnalysisHandler(std::int32_t id) {
  const auto declared = FindDeclaration(id);
  return declared ? declared->run : nullptr;
}

}  // namespace kinvar
