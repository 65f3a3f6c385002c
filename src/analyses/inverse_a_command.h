// The Inverse of A command: the kernel of genetics/inverse_a.h (or its
// extension with genetic groups and metafounders) written as a file.
#pragma once

#include "analyses/command_context.h"
#include "analyses/lower_matrix_file.h"

namespace kinvar {

// Gamma inverse is part of the inverse with metafounders.
inline constexpr const char* kSingularGamma =
    "The metafounders' relationships are singular: the inverse of A with metafounders needs them positive definite.";

// The tables "ainverse" (row, col, value: the stored elements, codes
// 1-based) and "recoding" replace the store's tables once the file is
// written; the report lines are left as they were.
//
// The Inverse of A command: asks for the output (when the entire matrix is
// small enough) and the file, then builds and writes.
void OnInverseOfA(CommandContext& ctx);
// The same, writing `output` without asking for it.
void WriteInverseOfA(CommandContext& ctx, InverseOutput output);
// No parameters: the desktop asks the output in a two-choice dialog, and
// kinvar-cli's --full and --triplets choose it.
CommandDeclaration InverseOfADeclaration();

}  // namespace kinvar
