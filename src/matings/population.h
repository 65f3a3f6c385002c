// Managing a population: the mean kinship of every member of a reference
// population, and the suitability of every sire-dam pair by what one
// offspring of theirs would do to the reference's gene diversity.
//
// Conventions of this header:
// - Kinship is coancestry, f = a / 2, through the relationship kernel with
//   the program's D (ped.d): f(i, i) = (1 + F_i) / 2, predefined F included.
// - MK_i = sum over the N members j of f(i, j) / N, i itself included; it
//   is defined for any individual, member or not.
// - The sums of a over the members are 32-bit floats from one backward and
//   one forward pass; means, diversities and their changes are doubles.
// - All need the coefficients computed and the records in code order.
#pragma once

#include <cstdint>
#include <vector>

#include "analyses/diversity.h"
#include "matings/mating_files.h"
#include "matings/mating_search.h"

namespace kinvar {

// By code (entry 0 unused): the sum over the members of a(k, j).
std::vector<float> RelationshipSums(const Pedigree& ped, const ReferencePopulation& ref);

struct MeanKinshipRow {
  RecIndex rec = kUnknownParent;
  double mk = 0.0;
  std::int32_t progeny = 0;
  double completeness = 0.0;  // the index over four generations
};

struct MeanKinshipResult {
  std::vector<MeanKinshipRow> rows;  // ascending MK, ties by code; rank = position + 1
  double meanMk = 0.0;
  double geneDiversity = 0.0;  // 1 - meanMk
};

MeanKinshipResult ComputeMeanKinship(const Pedigree& ped, const ReferencePopulation& ref);

// The sex of each record (by RecIndex): the Sex column's where it gives one,
// else the one its progeny show, sire or dam; unknown for the rest.
std::vector<Sex> KnownSexes(const Pedigree& ped);

// Progeny of each record (by RecIndex), over the whole pedigree.
std::vector<std::int32_t> ProgenyCounts(const Pedigree& ped);

// The offspring F bound of mate suitability by default.
inline constexpr float kDefaultMaxF = 0.0625f;

struct PairSuitability {
  std::int32_t sire = 0;  // positions in MatingGroups
  std::int32_t dam = 0;
  float offspringF = 0.0f;  // f(s, d)
  double deltaGd = 0.0;     // change of the reference's gene diversity
  bool exceeds = false;     // offspringF > the bound
};

struct MateSuitability {
  std::int32_t referenceSize = 0;
  double geneDiversity = 0.0;    // of the reference
  std::vector<double> mkSires;   // by sire position, within the reference
  std::vector<double> mkDams;
  // Best first: the pairs within the F bound by ΔGD descending, then those
  // above it by offspring F ascending and ΔGD descending; ties by sire
  // code, dam code.
  std::vector<PairSuitability> pairs;
  std::int32_t aboveBound = 0;  // pairs whose offspring F exceeds the bound
};

// The change of 1 - mean kinship when one offspring of s and d joins N
// members whose kinship sum (over ordered pairs) is `sum`.
double DeltaGeneDiversity(double sum, std::int32_t n, double mkS, double mkD, double fSD);

MateSuitability ComputeMateSuitability(Pedigree& ped, const MatingGroups& groups,
                                       const ReferencePopulation& ref, float maxF);

// The sires and dams together, as a reference population.
ReferencePopulation PairReference(const Pedigree& ped, const MatingGroups& groups);

}  // namespace kinvar
