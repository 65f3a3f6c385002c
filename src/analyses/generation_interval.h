// Generation intervals: the mean age of the parents at the birth of their
// progeny, for the four pathways sire-son, sire-daughter, dam-son and
// dam-daughter, and over every parent-progeny pair whatever the sexes.
//
// Conventions of this header:
// - A pair counts when the parent is known and both birth dates are known;
//   a pathway also needs the progeny's sex. Ages are day differences over
//   365.25 days a year.
// - Day sums are 64-bit integers; the spread is summed as squared
//   deviations from the mean in a second pass, so that no sum can overflow
//   however long ago the dates lie.
// - The standard deviation divides by n - 1. Fewer than two pairs have no
//   standard deviation and no pair no mean: the report writes "-" there.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"
#include "report/result_table.h"

namespace kinvar {

inline constexpr double kDaysPerYear = 365.25;

struct IntervalFigure {
  std::int64_t pairs = 0;
  double years = 0.0;  // mean age of the parents; 0 without a pair
  double sd = 0.0;     // in years; 0 with fewer than two pairs
};

enum IntervalPathway { kSireSon, kSireDaughter, kDamSon, kDamDaughter, kOverall, kPathways };

using GenerationIntervals = std::array<IntervalFigure, kPathways>;

// Over the progeny with members[code] != 0, or over every individual when
// `members` is null. Any record order.
GenerationIntervals ComputeGenerationIntervals(const Pedigree& ped,
                                               const std::vector<std::uint8_t>* members = nullptr);

// The block the structure report and the diversity summary end their
// figures with: a title, then one line per pathway that begins with its
// label ("Generation interval sire-son") and gives the years, the pairs and
// the standard deviation in the number format.
std::vector<std::string> GenerationIntervalLines(const Pedigree& ped,
                                                 const GenerationIntervals& intervals);

}  // namespace kinvar

namespace kinvar {

// The block's figures as rows of a summary, one per pathway under the line's
// label with its years (missing without a pair).
void AddGenerationIntervals(const GenerationIntervals& intervals, ResultTable& summary);

// The block whole: `generation_intervals` (pathway, years, pairs, sd), a
// missing mean or standard deviation where the report writes "-".
ResultTable GenerationIntervalTable(const GenerationIntervals& intervals);

}  // namespace kinvar
