// The ancestral decomposition engine: splits an inbreeding coefficient, a
// group's average inbreeding or a group's average coancestry into
// contributions of ancestors, three ways:
// - m, the Mendelian sampling variance of each ancestor: m_k = d_k c_k, where
//   c_k = t(S,k) t(D,k) / 2 for one individual with parents S and D, summed
//   over members (and divided by their number) for a group; with A = T D T'
//   the m add up to the coefficient itself;
// - u, the genes of nodal common ancestors: c after every ancestor has
//   passed to its parents what it shares with them;
// - v, the genes of founders: u carried down to the founders.
//
// A target with a predefined F adds to its own m the part of its D beyond
// what its parents give, so the m total is the F the program reports for it.
//
// Conventions: the result is indexed by chronological code 1..nTotal (entry 0
// unused, 0); individuals outside the extracted pedigree (the targets and
// their ancestors) get 0. d is ped.d, the D of the inbreeding coefficients,
// so the m total is exactly the F (or mean F, mean coancestry) that the other
// reports give, predefined F included. Work vectors and sums are doubles.
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

enum class DecompositionMode {
  kInbreeding = 0,         // target: an individual's code
  kAverageInbreeding = 1,  // target: a group's index in ped.groups
  kAverageCoancestry = 2,  // target: a group's index; ordered pairs, self-pairs included
};

struct DecompositionResult {
  std::vector<double> m, u, v;  // by code, nTotal + 1 entries
  double mTotal = 0.0, uTotal = 0.0, vTotal = 0.0;
  // The extracted pedigree.
  std::int32_t individuals = 0;
  std::int32_t founders = 0;  // both parents unknown
  std::int32_t oneKnownParent = 0;
  std::int32_t twoKnownParents = 0;
};

// Needs `records` in code order and the coefficients computed (ped.d). Leaves
// every mark at 0.
DecompositionResult Decompose(Pedigree& ped, std::int32_t target, DecompositionMode mode);

}  // namespace kinvar
