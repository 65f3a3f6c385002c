// Optimum contribution selection around the solver: breeding values from a
// column of the pedigree file or from a file of "ID value" lines, the
// candidates' coancestry matrix, the solution's figures, and the sires'
// contributions as whole matings written as a contribution file.
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

// The candidates' coancestry matrix in doubles; needs the coefficients.
std::vector<double> CandidateKinship(Pedigree& ped, const MatingGroups& groups);

// Mean of K over all ordered pairs, self-pairs included.
double MeanOfMatrix(const std::vector<double>& k, std::size_t n);

// Whole matings summing to `dams` from the sires' contributions (summing to
// 1/2): the floors of 2 dams c_i, then one more to the largest remainders,
// ties to the lower code (`codes` by sire position).
std::vector<std::int32_t> WholeMatings(const std::vector<double>& sireContributions,
                                       std::int32_t dams, const std::vector<std::int32_t>& codes);

// One line "ID count" per sire, every sire listed; false after telling why.
bool WriteContributionFile(const std::string& path, const Pedigree& ped,
                           const std::vector<RecIndex>& sires,
                           const std::vector<std::int32_t>& counts, Platform& platform);

}  // namespace kinvar
