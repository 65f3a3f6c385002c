// The pairwise relationship listings: between all individuals, within a
// group, between two groups. Each clears the report and the report copy
// file, writes its four heading lines and one line per pair whose value (the
// numerator relationship, or the coefficient, by the setting) lies in the
// display range, both ends included, and stops after 2000000 such pairs.
//
// Conventions of this header:
// - The pedigree has its coefficients computed and `records` in code order.
// - Member lists hold records in ascending code order.
// - Every line goes to the report store and to the report copy file, and
//   every listed pair is a row of the table "pairs" (id1, id2, value),
//   which, unlike the store, is never cut short.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "pedigree/pedigree.h"
#include "report/platform.h"
#include "report/progress.h"

namespace kinvar {

inline constexpr std::int64_t kMaxListedPairs = 2000000;

enum class ListingEnd { kDone, kCapped, kCanceled };

// Pairs (j, k), k < j, by code: ID of j first.
ListingEnd ListBetweenAll(Pedigree& ped, Platform& platform, Progress& progress);
// Pairs (m_p, m_i), i < p, by member position; at least two members.
ListingEnd ListWithinGroup(Pedigree& ped, Platform& platform, Progress& progress, int group,
                           std::span<const RecIndex> members);
// Every pair (x, y), x of the group with fewer members (the first chosen
// when both have as many), y of the other.
ListingEnd ListBetweenGroups(Pedigree& ped, Platform& platform, Progress& progress, int firstGroup,
                             std::span<const RecIndex> first, int secondGroup,
                             std::span<const RecIndex> second);

// The members of a group (by its number) in code order.
std::vector<RecIndex> GroupMembers(const Pedigree& ped, int group);

// "%g" of a float, as the range is shown.
std::string FormatG(float value);

}  // namespace kinvar
