// The settings file "Kinvar.ini": 13 bytes, no header, little-endian.
//   offset 0  flags: bit 0 relationship type, bit 1 list founders without
//             progeny, bit 2 allow forbidden matings; other bits 0
//   offset 1  relationship lower bound, IEEE 754 single
//   offset 5  relationship upper bound, IEEE 754 single
//   offset 9  number format index, int32
// A missing file, or one shorter than 13 bytes, gives the defaults: a short
// file is a damaged one, and half-read settings would be worse than none.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pedigree/pedigree.h"

namespace kinvar {

constexpr const char* kSettingsFileName = "Kinvar.ini";
constexpr std::size_t kSettingsFileSize = 13;

std::array<std::uint8_t, kSettingsFileSize> EncodeSettings(const Settings& s);
// Bytes as read; fewer than 13 give the defaults.
Settings DecodeSettings(const std::uint8_t* bytes, std::size_t size);

Settings ReadSettingsFile(const std::string& path);
// False when the file cannot be opened or written.
bool WriteSettingsFile(const std::string& path, const Settings& s);

}  // namespace kinvar
