// The dominance relationship matrix D of a chosen set of individuals (all,
// or the members of one group): d_ii = 1 and, for i != j,
//   d_ij = 1/4 (a(s_i, s_j) a(d_i, d_j) + a(s_i, d_j) a(d_i, s_j)),
// s and d being the sire and the dam, an unknown parent unrelated to all (a
// term with one is 0). The a's are those of every other report: the columns
// of A through the same variances as the inbreeding coefficients, so a
// parent shared by i and j enters with a(s, s) = 1 + F(s), predefined F
// included.
//
// Without inbreeding this is the exact covariance of dominance deviations
// (Cockerham 1954). With inbreeding it is the usual approximation that
// leaves out the covariances between additive and dominance effects and
// the inbreeding depression terms (Smith & Maki-Tanila 1990; de Boer &
// Hoeschele 1993), and d_ii stays 1; an inbred pedigree can then give a D
// that is not positive definite, whose inverse is refused.
//
// Conventions: rows and columns are the individuals' codes (code - 1, as
// the inverse of A holds them): a row of somebody outside the chosen set is
// empty. Values are of the precision the coefficients were computed in,
// each product rounded before it is added; the inverse is computed in
// doubles (Cholesky) and rounded once when stored.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "genetics/inverse_a.h"

namespace kinvar {

// D is written for at most this many individuals (it is dense in general:
// every pair is visited), its inverse for at most kMaxDominanceInverse.
constexpr std::int32_t kMaxDominanceIndividuals = 10000;
constexpr std::int32_t kMaxDominanceInverse = 5000;

struct DominanceRequest {
  std::vector<RecIndex> members;  // ascending code
  bool inverse = false;
  double minValue = 0.0;  // elements with a smaller |value| are left out
};

// Called once D's non-zero elements are counted, before the inverse is
// computed: the count over the whole m x m matrix.
using NonZeroReport = std::function<void(std::int64_t nonZero, std::int32_t m)>;

enum class DominanceStatus { kDone, kCanceled, kNoMemory, kNotPositiveDefinite };

template <class T>
struct DominanceBuild {
  DominanceStatus status = DominanceStatus::kDone;
  BasicSparseLower<T> matrix;  // n = nTotal; complete when kDone
};

// Needs the coefficients computed and `records` in code order; `d` is ped.d
// or ped.dDouble. Sets and steps the stages of `progress` from 0 to 50
// percent (writing is the rest).
template <class T>
DominanceBuild<T> BuildDominance(Pedigree& ped, const std::vector<T>& d,
                                 const DominanceRequest& request, const NonZeroReport& report,
                                 Progress& progress);

}  // namespace kinvar
