// Tools > Planned Mating: the form of a planned mating (sire, dam, a new
// parent's own parents, the candidates for the best sires and the mean
// kinship's reference), its checks, and the report with its tables.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "analyses/command_context.h"
#include "matings/planned_mating.h"

namespace kinvar {

// The form's caption: the desktop shows its own dialog for it.
inline constexpr const char* kPlannedMatingCaption = "Planned mating";
inline constexpr std::int64_t kMostBestSires = 1000000;

struct PlannedInputs {
  PlannedParent sire;
  PlannedParent dam;
  std::int32_t candidateGroup = -1;  // index in ped.groups; -1: all males
  int referenceNumber = kAllIndividuals;
  std::size_t top = 20;
};

// The texts of the command's values read and checked against the pedigree, which is in
// code order; nothing after telling the user what is wrong.
std::optional<PlannedInputs> ReadPlannedInputs(CommandContext& ctx);

void OnPlannedMating(CommandContext& ctx);
// Its parameters: the form's boxes, which kinvar-cli takes as SIRE DAM and
// the pairs of --sire-parents and --dam-parents, and the chart that only the
// desktop shows.
CommandDeclaration PlannedMatingDeclaration();

}  // namespace kinvar
