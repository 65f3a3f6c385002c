// The Parentage command: every genotyped animal's recorded parents checked
// by opposing homozygotes, and the likeliest parents among the genotyped
// animals for the excluded and unknown ones. A report, and the table
// "parentage" with one row per parent checked or searched.
#pragma once

#include <cstdint>
#include <string>

#include "analyses/command_context.h"
#include "genomics/parentage.h"

namespace kinvar {

// The command's identifier, which lastCommand records.
inline constexpr std::int32_t kCmdParentage = 32951;

// The verdict as the report and the table write it.
const char* VerdictText(ParentVerdict verdict);

void OnParentage(CommandContext& ctx);
// Its parameters: the genotype input's, the exclusion threshold and the
// search for the likeliest parents.
CommandDeclaration ParentageDeclaration();

}  // namespace kinvar
