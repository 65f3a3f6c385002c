#include <gtest/gtest.h>

#include <cmath>

#include <array>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/options.h"
#include "app/settings_file.h"
#include "support/test_files.h"

namespace kinvar {
namespace {


std::array<std::uint8_t, 4> FloatBytes(float f) {
  std::array<std::uint8_t, 4> b;
  std::memcpy(b.data(), &f, 4);  // the build machine is little-endian
  return b;
}

TEST(SettingsFile, DefaultsWithoutAFile) {
  const Settings s = ReadSettingsFile("/nonexistent/Kinvar.ini");
  EXPECT_EQ(s.relationshipType, 1);
  EXPECT_EQ(s.relationshipLower, 0.0f);
  EXPECT_EQ(s.relationshipUpper, 2.0f);
  EXPECT_EQ(s.listFounders, 0);
  EXPECT_EQ(s.allowForbidden, 0);
  EXPECT_EQ(s.numberFormat, 1);
}

TEST(SettingsFile, EncodesCoefficientRangeFoundersAndFormatInThirteenBytes) {
  Settings s;
  s.relationshipType = 0;
  s.relationshipLower = 0.1f;
  s.relationshipUpper = 0.5f;
  s.listFounders = 1;
  s.allowForbidden = 0;
  s.numberFormat = 3;
  const auto bytes = EncodeSettings(s);
  std::vector<std::uint8_t> expected = {0x02};
  for (auto b : FloatBytes(0.1f)) expected.push_back(b);
  for (auto b : FloatBytes(0.5f)) expected.push_back(b);
  expected.insert(expected.end(), {3, 0, 0, 0});
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), expected);
  // 0.1f is 0x3DCCCCCD: written lowest byte first.
  EXPECT_EQ(bytes[1], 0xCD);
  EXPECT_EQ(bytes[4], 0x3D);
}

// A settings file: the flags, the two bounds and the number format.
std::vector<std::uint8_t> SettingsBytes(std::uint8_t flags, float lower, float upper,
                                        std::int32_t format) {
  std::vector<std::uint8_t> bytes = {flags};
  for (auto b : FloatBytes(lower)) bytes.push_back(b);
  for (auto b : FloatBytes(upper)) bytes.push_back(b);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(format >> (8 * i)));
  return bytes;
}

TEST(SettingsFile, FlagBitsMapToTheirSettings) {
  const std::uint8_t flags[] = {0, 1, 2, 4, 7};
  for (std::uint8_t f : flags) {
    const auto bytes = SettingsBytes(f, 0.0f, 1.0f, 0);
    const Settings s = DecodeSettings(bytes.data(), bytes.size());
    EXPECT_EQ(s.relationshipType, f & 1);
    EXPECT_EQ(s.listFounders, (f >> 1) & 1);
    EXPECT_EQ(s.allowForbidden, (f >> 2) & 1);
    EXPECT_EQ(EncodeSettings(s)[0], f);
  }
}

TEST(SettingsFile, WrittenFileReadsBackAndShortFileGivesDefaults) {
  Settings s;
  s.relationshipType = 0;
  s.relationshipLower = 0.25f;
  s.relationshipUpper = 0.75f;
  s.allowForbidden = 1;
  s.numberFormat = 7;
  test::TempFile file("", ".ini");
  ASSERT_TRUE(WriteSettingsFile(file.path(), s));
  const std::string written = test::ReadWholeFile(file.path());
  ASSERT_EQ(written.size(), 13u);
  const Settings back = ReadSettingsFile(file.path());
  EXPECT_EQ(back.relationshipType, 0);
  EXPECT_EQ(back.relationshipLower, 0.25f);
  EXPECT_EQ(back.relationshipUpper, 0.75f);
  EXPECT_EQ(back.allowForbidden, 1);
  EXPECT_EQ(back.numberFormat, 7);

  test::TempFile shortFile(written.substr(0, 12), ".ini");
  const Settings fallback = ReadSettingsFile(shortFile.path());
  EXPECT_EQ(fallback.relationshipType, 1);
  EXPECT_EQ(fallback.numberFormat, 1);
  EXPECT_EQ(fallback.relationshipUpper, 2.0f);
}

struct DamagedSettingsCase {
  const char* name;
  std::uint8_t flags;
  float lower, upper;
  std::int32_t format;
};

// Values that the Options dialog cannot save mean a damaged file: all of it
// is replaced by the defaults, as for a short file.
TEST(SettingsFile, ValuesOutOfRangeGiveTheDefaults) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const DamagedSettingsCase cases[] = {
      {"lower bound NaN", 1, nan, 2.0f, 1},
      {"upper bound NaN", 1, 0.0f, nan, 1},
      {"upper bound infinite", 1, 0.0f, inf, 1},
      {"negative lower bound", 1, -0.5f, 1.0f, 1},
      {"coefficient range beyond 1", 0, 0.0f, 1.5f, 1},
      {"numerator range beyond 2", 1, 0.0f, 2.5f, 1},
      {"empty range", 1, 0.5f, 0.5f, 1},
      {"reversed range", 1, 1.5f, 0.5f, 1},
      {"number format 8", 1, 0.0f, 2.0f, 8},
      {"negative number format", 1, 0.0f, 2.0f, -1},
  };
  for (const auto& c : cases) {
    const auto bytes = SettingsBytes(c.flags | 6, c.lower, c.upper, c.format);
    test::TempFile file(std::string(bytes.begin(), bytes.end()), ".ini");
    const Settings s = ReadSettingsFile(file.path());
    EXPECT_EQ(EncodeSettings(s), EncodeSettings(Settings{})) << c.name;
  }
  // The edges of the ranges are values the dialog saves.
  const auto edges = SettingsBytes(1, 0.0f, 2.0f, 7);
  EXPECT_EQ(DecodeSettings(edges.data(), edges.size()).numberFormat, 7);
}

TEST(SettingsFile, WriteFailsIntoAMissingFolder) {
  EXPECT_FALSE(WriteSettingsFile("/nonexistent-folder/Kinvar.ini", Settings{}));
}

struct RangeCase {
  const char* name;
  std::int32_t type;
  float lower, upper;
  float expectedLower, expectedUpper;
};

class RadioButtonClick : public testing::TestWithParam<RangeCase> {};

TEST_P(RadioButtonClick, NormalisesTheRange) {
  const RangeCase& c = GetParam();
  Settings s;
  s.relationshipType = c.type;
  s.relationshipLower = c.lower;
  s.relationshipUpper = c.upper;
  NormalizeRangeForType(s);
  EXPECT_EQ(s.relationshipLower, c.expectedLower);
  EXPECT_EQ(s.relationshipUpper, c.expectedUpper);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, RadioButtonClick,
    testing::Values(RangeCase{"NumeratorKeepsOneAndAHalf", 1, 0.0f, 1.5f, 0.0f, 1.5f},
                    RangeCase{"CoefficientClampsToOne", 0, 0.0f, 1.5f, 0.0f, 1.0f},
                    RangeCase{"ReversedIsSwapped", 1, 0.5f, 0.2f, 0.2f, 0.5f},
                    RangeCase{"NegativeLowerBecomesZero", 1, -0.5f, 1.0f, 0.0f, 1.0f},
                    RangeCase{"OneToOneAsCoefficient", 0, 1.0f, 1.0f, 1.0f - 0.01f, 1.0f},
                    RangeCase{"PointThreeTwice", 0, 0.3f, 0.3f, 0.3f, 0.3f + 0.01f},
                    RangeCase{"TwoToTwoAsNumerator", 1, 2.0f, 2.0f, 2.0f - 0.01f, 2.0f}),
    [](const testing::TestParamInfo<RangeCase>& row) { return row.param.name; });

TEST(OptionsValidation, SwapsReversedBoundsAndAcceptsThem) {
  Settings s;
  s.relationshipLower = 0.5f;
  s.relationshipUpper = 0.2f;
  EXPECT_EQ(CheckOptions(s), std::nullopt);
  EXPECT_EQ(s.relationshipLower, 0.2f);
  EXPECT_EQ(s.relationshipUpper, 0.5f);
}

TEST(OptionsValidation, RejectsRangesOutsideTheType) {
  Settings s;
  s.relationshipType = 0;
  s.relationshipUpper = 1.5f;
  EXPECT_EQ(CheckOptions(s),
            "Entries for the relationship are incorrect!\nPlease enter a decimal number between 0 and 1.");
  s.relationshipType = 1;
  s.relationshipUpper = 2.5f;
  EXPECT_EQ(CheckOptions(s),
            "Entries for the relationship are incorrect!\nPlease enter a decimal number between 0 and 2.");
  s.relationshipLower = -0.1f;
  s.relationshipUpper = 1.0f;
  EXPECT_NE(CheckOptions(s), std::nullopt);
  s.relationshipLower = s.relationshipUpper = 0.4f;
  EXPECT_EQ(CheckOptions(s), "The relationships range is not valid!\nPlease enter a valid range.");
  // A bound that is not a number fails every comparison; it must not pass.
  for (const auto& [lower, upper] : {std::pair{std::nanf(""), 1.0f}, std::pair{0.0f, std::nanf("")}}) {
    s.relationshipLower = lower;
    s.relationshipUpper = upper;
    EXPECT_EQ(CheckOptions(s),
              "Entries for the relationship are incorrect!\nPlease enter a decimal number between 0 and 2.");
  }
}

TEST(OptionsReruns, FollowTheChangeAndTheShownReport) {
  OptionsChanges format;
  format.numberFormat = true;
  EXPECT_EQ(RerunsAfterOptions(format, kCmdViewPedigree).size(), 1u);
  EXPECT_EQ(RerunsAfterOptions(format, kCmdRecoding).size(), 0u);
  EXPECT_EQ(RerunsAfterOptions(format, kCmdAverageRelatedness).size(), 1u);

  OptionsChanges founders;
  founders.listFounders = true;
  EXPECT_EQ(RerunsAfterOptions(founders, kCmdStructure).size(), 1u);
  EXPECT_EQ(RerunsAfterOptions(founders, kCmdCompute).size(), 0u);

  OptionsChanges range;
  range.range = true;
  const auto within = RerunsAfterOptions(range, kCmdWithinGroup);
  ASSERT_EQ(within.size(), 1u);
  EXPECT_TRUE(within[0].reuseInputs);
  const auto all = RerunsAfterOptions(range, kCmdBetweenAll);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_FALSE(all[0].reuseInputs);

  // Both changed: the mating optimization runs twice, reusing its inputs.
  OptionsChanges both;
  both.numberFormat = true;
  both.allowForbidden = true;
  const auto matings = RerunsAfterOptions(both, kCmdOptimizeMatings);
  ASSERT_EQ(matings.size(), 2u);
  EXPECT_TRUE(matings[0].reuseInputs && matings[1].reuseInputs);
}

TEST(NumberFormatNames, ParseDigitsAndNames) {
  const std::pair<const char*, int> cases[] = {{"0", 0},        {"7", 7},      {"fraction", 0},
                                               {"general", 1},  {"fixed1", 2}, {"fixed6", 7}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseNumberFormat(text), value) << text;
  for (const char* bad : {"8", "-1", "fixed0", "fixed7", "General", "", "12"})
    EXPECT_EQ(ParseNumberFormat(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace kinvar
