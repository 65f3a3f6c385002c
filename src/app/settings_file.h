// The settings file "Kinvar.ini": 13 bytes, no header, little-endian.
//   offset 0  flags: bit 0 relationship type, bit 1 list founders without
//             progeny, bit 2 allow forbidden matings; other bits 0
//   offset 1  relationship lower bound, IEEE 754 single
//   offset 5  relationship upper bound, IEEE 754 single
//   offset 9  number format index, int32
// A missing file, one shorter than 13 bytes, or one with values that the
// Options dialog cannot save (a bound that is not a number within 0..1 for
// coefficients or 0..2 for numerator relationships, a lower bound not below
// the upper one, a number format outside 0..7) gives the defaults: such a
// file is a damaged one, and half-read settings would be worse than none.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "pedigree/pedigree.h"
#include "report/output_file.h"

namespace kinvar {

constexpr const char* kSettingsFileName = "Kinvar.ini";
constexpr std::size_t kSettingsFileSize = 13;

std::array<std::uint8_t, kSettingsFileSize> EncodeSettings(const Settings& s);
// Bytes as read; fewer than 13, or values out of range, give the defaults.
Settings DecodeSettings(const std::uint8_t* bytes, std::size_t size);

// At start-up: a settings file that cannot be read gives the defaults.
Settings ReadSettingsFile(const std::string& path);
// A settings file the user names: opened once; one that cannot be opened,
// a folder or a device gives nothing and `error` says why; a damaged one
// gives the defaults, as at start-up.
std::optional<Settings> ReadSettingsFile(const std::string& path, std::string& error);
// False when the file cannot be opened or written; `problem`, when given,
// then says which of the two and why, as the user is told.
bool WriteSettingsFile(const std::string& path, const Settings& s, std::string* problem = nullptr,
                       ReadOnly readOnly = ReadOnly::kRefuse);

}  // namespace kinvar
