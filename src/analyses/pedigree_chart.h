// The pedigree chart of an individual: the individual, its parents,
// grandparents and so on, each ancestor in its place, the ancestors that
// stand in more than one place, and how much each of them gives to the
// individual's inbreeding.
//
// Conventions of this header:
// - Generation 0 is the individual, generation 1 its parents. Generation g
//   has 2^g slots; slot 2k of generation g is the sire of slot k of
//   generation g - 1 and slot 2k + 1 its dam. A place beyond an unknown
//   parent is unknown too.
// - The parts of F are the Mendelian sampling parts of the ancestral
//   decomposition, so with the two remainders they add up to the F that
//   every report gives for the individual, predefined F included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

inline constexpr int kMaxChartGenerations = 8;
inline constexpr int kDefaultChartGenerations = 4;

struct ChartBox {
  RecIndex rec = kUnknownParent;  // kUnknownParent: not known
  std::string id;
  Sex sex = Sex::kUnknown;
  int group = -1;      // the group number, -1 when none
  int birthYear = 0;   // 0 when the birth date is not known
  float f = 0.0f;
  bool added = false;  // a parent without a line of its own in the file
  int colour = -1;     // among the repeated ancestors, -1 when it stands once
  bool planned = false;  // not in the pedigree: a planned offspring or a new parent

  bool Shown() const { return rec != kUnknownParent || planned; }
};

struct ChartCommonAncestor {
  RecIndex rec = kUnknownParent;
  std::string id;
  int colour = 0;
  int places = 0;     // how many places of the chart it holds
  double part = 0.0;  // its part of the individual's F
};

struct PedigreeChart {
  int generations = 0;
  int numberFormat = 1;  // the user's, for the numbers shown
  std::vector<ChartBox> boxes;  // by Place(g, k)
  std::vector<ChartCommonAncestor> common;  // ancestors standing twice or more, by colour
  double otherPart = 0.0;  // ancestors outside `common` (deeper, or in one place)
  double ownPart = 0.0;    // a predefined F beyond what the parents give

  static std::size_t Place(int generation, int slot) {
    return (std::size_t{1} << generation) - 1 + static_cast<std::size_t>(slot);
  }
  const ChartBox& At(int generation, int slot) const { return boxes[Place(generation, slot)]; }
  const ChartBox& Individual() const { return boxes[0]; }
};

// The sex a picture shows for each record (by RecIndex, the unknown parent
// included): the Sex column's where it gives one, else the role as a parent
// (a sire is male, a dam female), else unknown. A file without a Sex column
// still draws its sires as males and its dams as females.
std::vector<Sex> ShownSexes(const Pedigree& ped);

// The year of a birth date, 0 when it is not known.
int BirthYearOf(std::int32_t birth);

// Empty when a chart can show `generations`, else what to tell the user.
std::string ChartGenerationsProblem(int generations);

// Needs the coefficients computed (ped.d); puts `records` in code order.
// `generations` must pass ChartGenerationsProblem.
PedigreeChart BuildPedigreeChart(Pedigree& ped, RecIndex individual, int generations);

// The pieces of a chart, for one whose root is not an individual of the
// pedigree (a planned offspring): the box of record `i` (an empty box for
// the unknown parent), its sex as `sexes` (ShownSexes) gives it; every place
// below a known individual's box, from generation 1 on, filled with its
// parents, places below an unknown one left as they are; the colours and
// `common` of the repeated ancestors, with parts 0.
ChartBox ChartBoxOf(const Pedigree& ped, const std::vector<Sex>& sexes, RecIndex i);
void FillAncestorPlaces(const Pedigree& ped, const std::vector<Sex>& sexes, PedigreeChart& chart);
void ColourRepeatedAncestors(PedigreeChart& chart);

// The box's second line: sex, group, birth year and F, as far as known.
std::string ChartBoxDetail(const ChartBox& box, int numberFormat);

}  // namespace kinvar
