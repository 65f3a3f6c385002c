// Sex and birth date as the program writes them into pedigree files and
// reports: "M" or "F", and ISO dates (YYYY-MM-DD); "." when not known, as
// every other missing field of a pedigree file.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <string>

#include "pedigree/pedigree.h"

namespace kinvar {

// The header names of the two columns in written files. The files are
// split at blanks, so the date's name is one word.
inline constexpr const char* kSexHeader = "Sex";
inline constexpr const char* kBirthHeader = "Birth_date";

// The tab code that ends an F field of `length` visible characters before
// the Sex column: one stop of 16 columns, or two for the rare exact F that
// takes more digits, so that laying out a line never cuts a value.
inline const char* TabAfterF(std::size_t length) { return length < 16 ? "|T4" : "|T4|T4"; }

inline std::string SexText(Sex sex) {
  switch (sex) {
    case Sex::kMale: return "M";
    case Sex::kFemale: return "F";
    default: return ".";
  }
}

inline std::string BirthText(std::int32_t birth) {
  if (birth == kUnknownBirth) return ".";
  const std::chrono::year_month_day day{std::chrono::sys_days{std::chrono::days{birth}}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
  return text;
}

}  // namespace kinvar
