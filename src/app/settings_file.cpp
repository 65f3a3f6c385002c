#include "app/settings_file.h"

#include <cstring>

#include "app/options.h"
#include "pedigree/side_file.h"
#include "report/output_file.h"

namespace kinvar {

namespace {

void PutLittleEndian(std::uint8_t* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLittleEndian(const std::uint8_t* in) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | in[i];
  return v;
}

std::uint32_t FloatBits(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

float BitsFloat(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Written so that a NaN bound fails too.
bool InRange(const Settings& s) {
  return s.relationshipLower >= 0.0f && s.relationshipLower < s.relationshipUpper &&
         s.relationshipUpper <= RelationshipMaximum(s.relationshipType) && s.numberFormat >= 0 &&
         s.numberFormat <= 7;
}

}  // namespace

std::array<std::uint8_t, kSettingsFileSize> EncodeSettings(const Settings& s) {
  std::array<std::uint8_t, kSettingsFileSize> bytes{};
  bytes[0] = static_cast<std::uint8_t>((s.relationshipType != 0 ? 1 : 0) |
                                       (s.listFounders != 0 ? 2 : 0) |
                                       (s.allowForbidden != 0 ? 4 : 0));
  PutLittleEndian(&bytes[1], FloatBits(s.relationshipLower));
  PutLittleEndian(&bytes[5], FloatBits(s.relationshipUpper));
  PutLittleEndian(&bytes[9], static_cast<std::uint32_t>(s.numberFormat));
  return bytes;
}

Settings DecodeSettings(const std::uint8_t* bytes, std::size_t size) {
  Settings s;
  if (size < kSettingsFileSize) return s;
  s.relationshipType = bytes[0] & 1;
  s.listFounders = (bytes[0] >> 1) & 1;
  s.allowForbidden = (bytes[0] >> 2) & 1;
  s.relationshipLower = BitsFloat(GetLittleEndian(&bytes[1]));
  s.relationshipUpper = BitsFloat(GetLittleEndian(&bytes[5]));
  s.numberFormat = static_cast<std::int32_t>(GetLittleEndian(&bytes[9]));
  return InRange(s) ? s : Settings{};
}

std::optional<Settings> ReadSettingsFile(const std::string& path, std::string& error) {
  std::string bytes;
  const SideFileResult read = ReadSideFileStart(path, kSettingsFileSize, bytes);
  if (!read.ok()) {
    error = read.message;
    return std::nullopt;
  }
  return DecodeSettings(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

Settings ReadSettingsFile(const std::string& path) {
  std::string error;
  return ReadSettingsFile(path, error).value_or(Settings{});
}

bool WriteSettingsFile(const std::string& path, const Settings& s, std::string* problem,
                       ReadOnly readOnly) {
  std::string error;
  const auto file = OutputFile::Begin(path, error, Temporary::kUnnamedWherePossible, readOnly);
  if (!file) {
    if (problem != nullptr) *problem = "Cannot open \"" + path + "\" for writing.\n" + error;
    return false;
  }
  const auto bytes = EncodeSettings(s);
  file->Raw(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (file->Commit()) return true;
  if (problem != nullptr) *problem = "Error while writing \"" + path + "\".\n" + file->error();
  return false;
}

}  // namespace kinvar
