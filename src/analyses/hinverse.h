// The Single-step H-inverse command: H^-1 of the pedigree and the genotyped
// animals, written as the inverse of A is (triplets in the codes of
// Re-coding by default), its figures in the report.
#pragma once

#include <cstdint>
#include <string>

#include "analyses/command_context.h"
#include "genomics/single_step.h"

namespace kinvar {

// The command's identifier, which lastCommand records.
inline constexpr std::int32_t kCmdHInverse = 32950;

inline constexpr const char* kHInverseMetafounders =
    "The single-step H-inverse does not support metafounders: with them G must be built on allele "
    "frequencies of 0.5 and Gamma fitted to it, which this command does not do. Open the pedigree "
    "without the metafounders, or with genetic groups for the unknown parents.";

// What the kernel's refusal means to the user; empty for kDone.
std::string HInverseFailureMessage(SingleStepStatus status);

void OnHInverse(CommandContext& ctx);
// Its parameters: the genotype input's, G's method, the weights, the
// scaling and the file's form.
CommandDeclaration HInverseDeclaration();

}  // namespace kinvar
