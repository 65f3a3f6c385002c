// The timestamp of print headers and saved files: "14:07  Saturday, December 5, 2026"
// (the hour without a leading zero, the minute always two digits, two blanks,
// English names whatever the locale).
#pragma once

#include <ctime>
#include <string>

namespace kinvar {

// A broken-down time with a field out of range (weekday, month, day ...) is
// normalised first, so the names always exist and match the date.
std::string FormatTimestamp(const std::tm& local);

// Local time now, or of SOURCE_DATE_EPOCH when that variable holds a number
// of seconds, so that files written by tests and scripts can be compared byte
// for byte.
std::tm CurrentLocalTime();

}  // namespace kinvar
