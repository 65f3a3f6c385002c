// The timestamp of print headers and saved files: "14:7  Saturday, December 5, 2026"
// (hour and minute without leading zeros, two blanks, English names).
#pragma once

#include <ctime>
#include <string>

namespace kinvar {

std::string FormatTimestamp(const std::tm& local);

// Local time now, or of SOURCE_DATE_EPOCH when that variable holds a number,
// so that files written by tests and scripts can be compared byte for byte.
std::tm CurrentLocalTime();

}  // namespace kinvar
