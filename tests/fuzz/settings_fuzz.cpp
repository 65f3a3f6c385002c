// The settings file as start-up reads it: 13 bytes or more give their
// flags, bounds and number format when the Options dialog could have saved
// them, the defaults otherwise; whatever is read is in range.
#include <cstring>

#include "app/settings_file.h"
#include "fuzz/fuzz_support.h"

namespace kinvar::fuzz {
namespace {

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool Same(const Settings& a, const Settings& b) {
  return a.relationshipType == b.relationshipType && a.listFounders == b.listFounders &&
         a.allowForbidden == b.allowForbidden && a.numberFormat == b.numberFormat &&
         SameBits(a.relationshipLower, b.relationshipLower) &&
         SameBits(a.relationshipUpper, b.relationshipUpper);
}

// The file's fields by the layout alone (little-endian, as this machine).
Settings Fields(const std::uint8_t* data) {
  Settings s;
  s.relationshipType = data[0] & 1;
  s.listFounders = (data[0] >> 1) & 1;
  s.allowForbidden = (data[0] >> 2) & 1;
  std::memcpy(&s.relationshipLower, data + 1, 4);
  std::memcpy(&s.relationshipUpper, data + 5, 4);
  std::memcpy(&s.numberFormat, data + 9, 4);
  return s;
}

// What the Options dialog can save: a range within 0..1 for coefficients
// and 0..2 for numerator relationships, lower below upper, formats 0..7.
bool InRange(const Settings& s) {
  const float maximum = s.relationshipType == 0 ? 1.0f : 2.0f;
  return s.relationshipLower >= 0.0f && s.relationshipLower < s.relationshipUpper &&
         s.relationshipUpper <= maximum && s.numberFormat >= 0 && s.numberFormat <= 7;
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  const Settings read = ReadSettingsFile(input.Write(data, size));
  FUZZ_CHECK(fuzz::InRange(read), "settings read out of range");
  if (size < kSettingsFileSize) {
    FUZZ_CHECK(fuzz::Same(read, Settings{}), "a short file does not give the defaults");
    return 0;
  }
  const Settings fields = fuzz::Fields(data);
  FUZZ_CHECK(fuzz::Same(read, fuzz::InRange(fields) ? fields : Settings{}),
             "neither the file's values nor the defaults");
  const auto bytes = EncodeSettings(read);
  FUZZ_CHECK(fuzz::Same(DecodeSettings(bytes.data(), bytes.size()), read),
             "the settings do not survive writing and reading");
  return 0;
}
