// The mating optimization's search: the coancestry of every sire with every
// dam, the sorted forbidden list, and the simulated annealing over swaps of
// dams between matings.
//
// Conventions of this header:
// - Positions index the sires and dams arrays of MatingGroups, from 0.
// - C has one row per sire and one column per dam; C(s, d) = a(s, d) / 2,
//   through the relationship kernel with the program's D (ped.d), so the
//   coancestries agree with every relationship report.
// - All values are 32-bit floats rounded at every store; sums run in the
//   order of the matings array.
// - Random numbers come from the generator passed in, in the order the
//   algorithm draws them; a run from the same state gives the same matings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "matings/mating_files.h"
#include "genetics/mt19937.h"
#include "pedigree/pedigree.h"

namespace kinvar {

struct CoancestryMatrix {
  std::int32_t nS = 0;
  std::int32_t nD = 0;
  std::vector<float> values;  // row by row

  float at(std::int32_t s, std::int32_t d) const {
    return values[static_cast<std::size_t>(s) * static_cast<std::size_t>(nD) +
                  static_cast<std::size_t>(d)];
  }
};

// Needs the coefficients computed. One backward and one forward pass per
// member of the smaller group, over the members and their ancestors only.
CoancestryMatrix ComputeCoancestryMatrix(Pedigree& ped, const MatingGroups& groups);

// The forbidden pairs in descending order of (sire ID, dam ID), IDs compared
// as signed bytes, sire first; the order is kept as ranks of the IDs so that
// a lookup compares integers.
struct ForbiddenList {
  std::vector<Mating> pairs;
  std::vector<std::int32_t> sireRank;  // by sire position: rank of its ID
  std::vector<std::int32_t> damRank;
};

ForbiddenList SortForbidden(std::vector<Mating> pairs, const Pedigree& ped,
                            const MatingGroups& groups);
// Binary search: the index of the pair in the sorted list, or -1.
std::int32_t IsForbidden(const ForbiddenList& list, Mating pair);

// Shuffles, fills the matings from the contributions, repairs forbidden
// pairs (when `forbidden` is given) and anneals. Nothing when no admissible
// initial assignment was found. One mating is returned as assigned.
std::optional<std::vector<Mating>> Anneal(const CoancestryMatrix& c,
                                          std::span<const std::int32_t> contributions,
                                          const ForbiddenList* forbidden, Mt19937& g);

// Sum of C over the matings in their order, divided by their number.
float MeanCoancestry(const CoancestryMatrix& c, std::span<const Mating> matings);

}  // namespace kinvar
