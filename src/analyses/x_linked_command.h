// The X-linked relationships command: S or its inverse (genetics/x_linked.h)
// written as a file.
#pragma once

#include "analyses/command_context.h"
#include "analyses/lower_matrix_file.h"

namespace kinvar {

// The desktop's command: S or its inverse, then the file.
void OnXLinked(CommandContext& ctx);
// Writes S (or S inverse when `inverse`) as `output`; tables "xlinked" or
// "xlinked_inverse" with "recoding".
void WriteXLinked(CommandContext& ctx, bool inverse, InverseOutput output);
// No parameters: the desktop asks S or its inverse in a two-choice dialog,
// and kinvar-cli's --inverse and --triplets choose the output.
CommandDeclaration XLinkedDeclaration();

}  // namespace kinvar
