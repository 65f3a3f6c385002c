// The proven optimum of the mating problem. What the annealing searches is a
// transportation problem: each sire supplies its contribution, each dam
// needs one mate, a pair costs its coancestry and a forbidden pair has no
// arc. A minimum-cost flow (LEMON's network simplex) solves it exactly.
//
// Conventions of this header:
// - Positions index the sires and dams arrays of MatingGroups, from 0.
// - Costs are the 32-bit coancestries scaled by one power of two to 128-bit
//   integers; every float is an integer multiple of its last mantissa bit,
//   so the scaled costs, and the sums the solver compares, are exact.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "matings/mating_files.h"
#include "matings/mating_search.h"

namespace kinvar {

// The power of two that turns every value into an integer, limited so that
// the solver's sums over `nodes` nodes fit 128 bits; values whose last bit
// lies below it are rounded (never for coancestries above 2^-75).
int ExactCostScale(std::span<const float> values, std::int64_t nodes);

// Matings of least total coancestry, by sire position and then dam position;
// nothing when the forbidden pairs leave no admissible assignment.
std::optional<std::vector<Mating>> OptimalMatings(const CoancestryMatrix& c,
                                                  std::span<const std::int32_t> contributions,
                                                  std::span<const Mating> forbidden);

}  // namespace kinvar
