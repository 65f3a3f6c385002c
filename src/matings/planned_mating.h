// A planned mating: the offspring of a sire and a dam that are in the
// pedigree, new (not yet born, given by their own parents) or unknown; the
// offspring's F, the common ancestors of the parents with their parts of
// it, and the sires of least offspring F for one dam.
//
// Conventions of this header:
// - One model of A: every relationship goes through the relationship kernel
//   with the program's D (ped.d), so the offspring's F = a(S, D) / 2 is the
//   F that the offspring would get as a line of the pedigree, predefined F
//   of its ancestors included.
// - The parts of F are the Mendelian sampling parts of the ancestral
//   decomposition of the offspring: d_k t(S, k) t(D, k) / 2 for every
//   ancestor k of both parents, which add up to a(S, D) / 2 since A = T D T'.
//   Sums and parts are doubles.
// - All need the coefficients computed and the records in code order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analyses/diversity.h"
#include "pedigree/pedigree.h"

namespace kinvar {

// One parent of the planned offspring.
struct PlannedParent {
  enum class Kind { kUnknown, kKnown, kNew };
  Kind kind = Kind::kUnknown;
  RecIndex rec = kUnknownParent;  // kKnown: the individual
  RecIndex sire = kUnknownParent;  // kNew: its parents, either may be unknown
  RecIndex dam = kUnknownParent;
  std::string label;  // the ID, or the name given to a new one
};

// By code (entry 0 unused, 0): a(k, parent) for every individual k; all
// zero for an unknown parent. One backward and one forward pass.
std::vector<float> ParentColumn(const Pedigree& ped, const PlannedParent& parent);

// a(other, parent) from the parent's column.
float RelationshipFrom(const Pedigree& ped, const std::vector<float>& column,
                       const PlannedParent& other);

struct AncestorPart {
  RecIndex rec = kUnknownParent;
  double part = 0.0;  // of the offspring's F
};

struct PlannedMating {
  float relationship = 0.0f;  // a(S, D)
  float offspringF = 0.0f;    // a(S, D) / 2, rounded to 32 bits
  std::vector<AncestorPart> common;  // largest part first, ties by code
  double partsTotal = 0.0;
};

PlannedMating ComputePlannedMating(Pedigree& ped, const PlannedParent& sire,
                                   const PlannedParent& dam);

struct SireCandidate {
  RecIndex rec = kUnknownParent;
  float offspringF = 0.0f;
  double mk = 0.0;  // mean kinship with the reference, itself included
};

struct BestSires {
  std::int32_t candidates = 0;
  std::vector<SireCandidate> rows;  // lowest F first, then lowest MK, then code
};

// The candidate sires by code (1 = candidate): the members of group index
// `group` (-1: every individual) that are male or of unknown sex by
// KnownSexes, or, for -1, only those known to be male; never the dam.
std::vector<std::uint8_t> CandidateSires(const Pedigree& ped, std::int32_t group,
                                         const PlannedParent& dam);

// The `top` candidates of least offspring F with `dam`: one column of A for
// the dam and one A-times-indicator product for the mean kinships, whatever
// the number of candidates.
BestSires RankSires(const Pedigree& ped, const PlannedParent& dam,
                    const std::vector<std::uint8_t>& candidates, const ReferencePopulation& ref,
                    std::size_t top);

}  // namespace kinvar

#include "analyses/pedigree_chart.h"

namespace kinvar {

// The pedigree chart of the planned offspring, `generations` back (parents
// are generation 1): a root box named "SIRE x DAM" with the offspring's F,
// a new parent's box with its own parents, and the repeated ancestors'
// parts from `m`.
PedigreeChart BuildPlannedChart(const Pedigree& ped, const PlannedParent& sire,
                                const PlannedParent& dam, const PlannedMating& m, int generations);

}  // namespace kinvar
