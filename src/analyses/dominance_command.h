// The dominance relationships command: D or its inverse (genetics/dominance.h)
// of every individual or of one group's members, written as a file.
#pragma once

#include <cstdint>
#include <string>

#include "analyses/command_context.h"
#include "analyses/command_declaration.h"
#include "genetics/dominance.h"

namespace kinvar {

// The command's messages, for callers that build D themselves: the refusal
// of `count` individuals before anything is computed (empty when none), a
// failed build's, and the note on D's size before its inverse.
std::string DominanceSizeRefusal(std::int64_t count, bool inverse);
std::string DominanceFailureMessage(DominanceStatus status);
std::string DominanceNonZeroNote(std::int64_t nonZero, std::int32_t m);
inline constexpr const char* kDominanceMinValueMessage = "The smallest value must be a number of 0 or more.";

// The desktop's command: the group or all, the form (inverse, triplets,
// entire matrix, smallest value), then the file.
void OnDominance(CommandContext& ctx);
// Its parameters: the form's, and the group that answers its picker.
CommandDeclaration DominanceDeclaration();

}  // namespace kinvar
