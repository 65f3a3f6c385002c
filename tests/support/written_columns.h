// What a pedigree file written by the program holds, computed here from the
// values: columns padded to their widths, dates as day numbers, and the F of
// every individual as bits, so that files read back can be compared exactly.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar::test {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int32_t DayNumber(int year, unsigned month, unsigned day);

// A line of a written file: each field padded with blanks to its column's
// width, the last one as it is, then "\n".
std::string PaddedRow(const std::vector<std::string>& fields,
                      const std::vector<std::size_t>& widths);

// ID -> the bits of a known F (predefined or computed), nothing when unknown.
using FById = std::map<std::string, std::optional<std::uint32_t>>;
std::uint32_t Bits(float f);
FById KnownF(const Pedigree& ped);

}  // namespace kinvar::test
