// The files of optimum contribution selection: breeding values from a
// column of the pedigree file or from a file of "ID value" lines, and the
// sires' whole matings written as a contribution file.
//
// Conventions of this header:
// - Candidates are the sires (MatingGroups::sires) first, then the dams.
// - Breeding values are doubles by RecIndex, NaN where none was given.
// - Readers show what is wrong with the error icon and return nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "matings/mating_files.h"
#include "matings/ocs_solver.h"
#include "report/platform.h"

namespace kinvar {

// Lines "ID value" separated by blanks, commas or tabs; "!" comments and
// empty lines skipped; a first line whose second field is not a number is a
// header. An ID not in the pedigree is refused, as is a value given twice.
std::optional<std::vector<double>> ReadBreedingValueFile(const std::string& path,
                                                         const Pedigree& ped, Platform& platform);
// The column `name` (any case) of a text pedigree file; "." or an empty
// cell is no value.
std::optional<std::vector<double>> ReadBreedingValueColumn(const std::string& pedigreePath,
                                                           const std::string& name,
                                                           const Pedigree& ped, Platform& platform);

// One line "ID count" per sire, every sire listed; false after telling why.
bool WriteContributionFile(const std::string& path, const Pedigree& ped,
                           const std::vector<RecIndex>& sires,
                           const std::vector<std::int32_t>& counts, Platform& platform);

}  // namespace kinvar
