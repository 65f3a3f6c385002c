#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "app/commands.h"
#include "app/options.h"
#include "app/settings_file.h"
#include "support/side_sources.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

std::array<std::uint8_t, 4> FloatBytes(float f) {
  std::array<std::uint8_t, 4> b;
  std::memcpy(b.data(), &f, 4);  // the build machine is little-endian
  return b;
}

// A settings file: the flags, the two bounds and the number format.
std::string SettingsBytes(std::uint8_t flags, float lower, float upper, std::int32_t format) {
  std::string bytes(1, static_cast<char>(flags));
  for (auto b : FloatBytes(lower)) bytes += static_cast<char>(b);
  for (auto b : FloatBytes(upper)) bytes += static_cast<char>(b);
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(format >> (8 * i));
  return bytes;
}

std::string Encoded(const Settings& s) {
  const auto bytes = EncodeSettings(s);
  return std::string(bytes.begin(), bytes.end());
}

TEST(SettingsFile, EncodesCoefficientRangeFoundersAndFormatInThirteenBytes) {
  Settings s;
  s.relationshipType = 0;
  s.relationshipLower = 0.1f;
  s.relationshipUpper = 0.5f;
  s.listFounders = 1;
  s.numberFormat = 3;
  EXPECT_EQ(Encoded(s), SettingsBytes(0x02, 0.1f, 0.5f, 3));
  // 0.1f is 0x3DCCCCCD: written lowest byte first.
  EXPECT_EQ(Encoded(s).substr(1, 4), "\xCD\xCC\xCC\x3D");
  // The defaults: numerator relationships from 0 to 2, the general format.
  EXPECT_EQ(Encoded(Settings{}), SettingsBytes(0x01, 0.0f, 2.0f, 1));
}

TEST(SettingsFile, FlagBitsMapToTheirSettings) {
  for (const std::uint8_t f : {0, 1, 2, 4, 7}) {
    const std::string bytes = SettingsBytes(f, 0.0f, 1.0f, 0);
    const Settings s = DecodeSettings(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(s.relationshipType, f & 1);
    EXPECT_EQ(s.listFounders, (f >> 1) & 1);
    EXPECT_EQ(s.allowForbidden, (f >> 2) & 1);
    EXPECT_EQ(EncodeSettings(s)[0], f);
  }
}

TEST(SettingsFile, WrittenFileReadsBackAndAMissingFolderFails) {
  Settings s;
  s.relationshipType = 0;
  s.relationshipLower = 0.25f;
  s.relationshipUpper = 0.75f;
  s.allowForbidden = 1;
  s.numberFormat = 7;
  test::TempFile file("", ".ini");
  ASSERT_TRUE(WriteSettingsFile(file.path(), s));
  EXPECT_EQ(test::ReadWholeFile(file.path()), Encoded(s));
  EXPECT_EQ(Encoded(ReadSettingsFile(file.path())), Encoded(s));
  EXPECT_FALSE(WriteSettingsFile("/nonexistent-folder/Kinvar.ini", Settings{}));
}

// A missing or short file, and values that the Options dialog cannot save
// (a damaged file): all of it is replaced by the defaults.
TEST(SettingsFile, MissingShortOrOutOfRangeGiveTheDefaults) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    const char* name;
    std::optional<std::string> bytes;  // nothing: no file
  } cases[] = {
      {"no file", std::nullopt},
      {"twelve bytes", SettingsBytes(4, 0.25f, 0.75f, 7).substr(0, 12)},
      {"lower bound NaN", SettingsBytes(7, nan, 2.0f, 1)},
      {"upper bound NaN", SettingsBytes(7, 0.0f, nan, 1)},
      {"upper bound infinite", SettingsBytes(7, 0.0f, inf, 1)},
      {"negative lower bound", SettingsBytes(7, -0.5f, 1.0f, 1)},
      {"coefficient range beyond 1", SettingsBytes(6, 0.0f, 1.5f, 1)},
      {"numerator range beyond 2", SettingsBytes(7, 0.0f, 2.5f, 1)},
      {"empty range", SettingsBytes(7, 0.5f, 0.5f, 1)},
      {"reversed range", SettingsBytes(7, 1.5f, 0.5f, 1)},
      {"number format 8", SettingsBytes(7, 0.0f, 2.0f, 8)},
      {"negative number format", SettingsBytes(7, 0.0f, 2.0f, -1)},
  };
  for (const auto& c : cases) {
    const test::TempFile file(c.bytes.value_or(""), ".ini");
    const Settings s = ReadSettingsFile(c.bytes ? file.path() : "/nonexistent/Kinvar.ini");
    EXPECT_EQ(Encoded(s), Encoded(Settings{})) << c.name;
  }
  // The edges of the ranges are values the dialog saves.
  const std::string edges = SettingsBytes(1, 0.0f, 2.0f, 7);
  EXPECT_EQ(DecodeSettings(reinterpret_cast<const std::uint8_t*>(edges.data()), edges.size()).numberFormat, 7);
}

// A settings file the user names is opened once and read from a FIFO as
// from a file; a folder or a missing file is refused with why, where start-up
// would quietly take the defaults.
TEST(SettingsFile, ANamedFileIsReadOnceOrRefusedWithWhy) {
  const test::TempFolder folder;
  const std::string saved = SettingsBytes(0x02, 0.1f, 0.5f, 3);
  const test::TempFile file(saved, ".ini");
  const test::FifoWithWriter fifo(saved);
  struct Row {
    const char* name;
    std::string path;
    std::optional<std::string> read;  // the settings as encoded; nothing: refused
    std::string message;
  };
  const Row rows[] = {
      {"a file", file.path(), saved, ""},
      {"a FIFO", fifo.path(), saved, ""},
      {"/dev/zero: a damaged file, the defaults", "/dev/zero", Encoded(Settings{}), ""},
      {"a folder", folder.path(), std::nullopt, folder.path() + " is a folder, not a file."},
      {"missing", "/nonexistent/Kinvar.ini", std::nullopt, "Cannot open /nonexistent/Kinvar.ini"},
  };
  for (const Row& row : rows) {
    std::string error;
    const std::optional<Settings> read = ReadSettingsFile(row.path, error);
    EXPECT_EQ(read ? std::optional<std::string>(Encoded(*read)) : std::nullopt, row.read) << row.name;
    EXPECT_EQ(error, row.message) << row.name;
  }
  EXPECT_EQ(Encoded(ReadSettingsFile(folder.path())), Encoded(Settings{}));
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

// Reversed bounds are swapped and accepted; ranges outside the type are
// refused with their message.
TEST(OptionsValidation, AcceptsSwappedBoundsAndRejectsRangesOutsideTheType) {
  const std::string upTo =
      "Entries for the relationship are incorrect!\nPlease enter a decimal number between 0 and ";
  const float nan = std::nanf("");
  const struct {
    const char* name;
    std::int32_t type;
    float lower, upper;
    std::optional<std::string> message;  // none: accepted
  } cases[] = {
      {"reversed bounds", 1, 0.5f, 0.2f, std::nullopt},
      {"coefficient above 1", 0, 0.0f, 1.5f, upTo + "1."},
      {"coefficient below 0", 0, -0.1f, 0.5f, upTo + "1."},
      {"numerator above 2", 1, 0.0f, 2.5f, upTo + "2."},
      {"equal bounds", 1, 0.4f, 0.4f, "The relationships range is not valid!\nPlease enter a valid range."},
      // A bound that is not a number fails every comparison; it must not pass.
      {"lower bound NaN", 1, nan, 1.0f, upTo + "2."},
      {"upper bound NaN", 1, 0.0f, nan, upTo + "2."},
  };
  for (const auto& c : cases) {
    Settings s;
    s.relationshipType = c.type;
    s.relationshipLower = c.lower;
    s.relationshipUpper = c.upper;
    EXPECT_EQ(CheckOptions(s), c.message) << c.name;
    if (!c.message) {
      EXPECT_EQ(std::pair(s.relationshipLower, s.relationshipUpper), std::pair(c.upper, c.lower)) << c.name;
    }
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

  // The precision: once for every report through F and D, with its inputs
  // where it has some; never for the others.
  OptionsChanges precision;
  precision.precision = true;
  const std::pair<std::int32_t, int> precisionRows[] = {
      {kCmdCompute, 1},         {kCmdDii, 1},
      {kCmdBetweenAll, 1},      {kCmdWithinGroup, 1},
      {kCmdBetweenTwoGroups, 1}, {kCmdAverageBetweenGroups, 1},
      {kCmdAverageRelatedness, 1}, {kCmdDecompositionIndividual, 1},
      {kCmdDecompositionCoancestry, 1}, {kCmdStructure, 0},
      {kCmdDiversity, 0},       {kCmdViewPedigree, 0}};
  for (const auto& [command, reruns] : precisionRows)
    EXPECT_EQ(RerunsAfterOptions(precision, command).size(), static_cast<std::size_t>(reruns))
        << command;
  precision.numberFormat = true;
  EXPECT_EQ(RerunsAfterOptions(precision, kCmdDecompositionGroup).size(), 1u);
  EXPECT_EQ(CompareSettings(Settings{}, Settings{.precision = 1}).precision, true);
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
