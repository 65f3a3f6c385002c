#include "report/number_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace kinvar {
namespace {

struct FormatRow { const char* name; int setting; float value; const char* text; };

// The fraction rows were traced by hand through the continued fraction;
// sums of powers of one half are checked in bulk below.
const FormatRow kFormatRows[] = {
    {"FractionOneOver1024", 0, 0.0009765625f, "1/1024"},
    {"FractionNegativeZero", 0, -0.0f, "0"},
    // The float nearest 1e-4 is 2.5e-12 below 1/10000: quotients 0, 10000.
    {"FractionTenThousandth", 0, 0.0001f, "1/10000"},
    // The float nearest 1/3 is 11184811/2^25; the third term lands on it.
    {"FractionThird", 0, 1.0f / 3.0f, "11184811/33554432"},
    // The float nearest 0.1 is 1.49e-9 above 1/10, outside the tolerance.
    {"FractionTenthDoesNotStopAtOneTenth", 0, 0.1f, "6710886/67108859"},
    // Beyond the 32-bit range of a numerator.
    {"FractionThreeBillion", 0, 3e9f, "3000000000"},
    // 0.0003 * 10^4 rounds to just below 3, so the numerator 3 of the third
    // term exceeds the bound and the search gives up.
    {"FractionGivesUpFallsBackToGeneral", 0, 0.0003f, "0.0003"},
    {"FractionNaNFallsBackToGeneral", 0, std::numeric_limits<float>::quiet_NaN(), "nan"},
    {"FractionInfinityFallsBackToGeneral", 0, std::numeric_limits<float>::infinity(), "inf"},
    {"FractionNegativeInfinity", 0, -std::numeric_limits<float>::infinity(), "-inf"},
    // Settings 1 to 7 print as printf does (checked over every kind of float
    // below); any other setting is general.
    {"NegativeSettingIsGeneral", -1, 0.0000125f, "1.25e-05"},
    {"SettingEightIsGeneral", 8, 0.375f, "0.375"},
    {"LargeSettingIsGeneral", 100, 0.1f, "0.1"},
    {"SmallestSettingIsGeneral", INT_MIN, 0.375f, "0.375"},
};

class NumberFormat : public testing::TestWithParam<FormatRow> {};

TEST_P(NumberFormat, FormatsBySetting) {
  EXPECT_EQ(FormatNumber(GetParam().setting, GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rows, NumberFormat, testing::ValuesIn(kFormatRows),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(FractionApproximation, ReportsGivingUpAsNoResult) {
  EXPECT_EQ(ApproximateFraction(static_cast<double>(0.0003f)), std::nullopt);
  EXPECT_EQ(ApproximateFraction(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(ApproximateFraction(0.375), "3/8");
}

std::string ReducedFraction(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t g = std::gcd(numerator, denominator);
  numerator /= g;
  denominator /= g;
  if (denominator == 1) return std::to_string(numerator);
  return std::to_string(numerator) + "/" + std::to_string(denominator);
}

// Coefficients are sums of powers of one half; with at most ten halvings
// their decimals are exact and the fraction must come out in lowest terms.
TEST(FractionApproximation, GivesDyadicValuesInLowestTerms) {
  std::mt19937 random(20260105);
  for (int trial = 0; trial < 20000; ++trial) {
    const int halvings = static_cast<int>(random() % 11);
    const std::int64_t denominator = std::int64_t{1} << halvings;
    const std::int64_t numerator = static_cast<std::int64_t>(random() % (denominator * 1000 + 1));
    const float value = static_cast<float>(numerator) / static_cast<float>(denominator);
    const bool negative = random() % 2 == 1 && numerator != 0;
    std::string expected = negative ? "-" : "";
    expected += ReducedFraction(numerator, denominator);
    ASSERT_EQ(FormatNumber(0, negative ? -value : value), expected)
        << numerator << "/" << denominator;
  }
}

// Whatever the value, a fraction that is given lies within 1e-9 of it.
TEST(FractionApproximation, AnyFractionGivenIsWithinTolerance) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> values(-1000.0f, 1000.0f);
  for (int trial = 0; trial < 20000; ++trial) {
    const float value = values(random);
    const auto text = ApproximateFraction(static_cast<double>(value));
    if (!text) continue;
    long long numerator = 0, denominator = 1;
    const int fields = std::sscanf(text->c_str(), "%lld/%lld", &numerator, &denominator);
    ASSERT_GE(fields, 1) << *text;
    const long double fraction = static_cast<long double>(numerator) / denominator;
    ASSERT_LT(std::fabs(static_cast<long double>(value) - fraction), 1e-9L) << *text;
  }
}

// General and fixed settings print what printf prints with "%g" and
// "%-0.<n>f", for any float: subnormals, the largest, infinities and NaN.
TEST(NumberFormat, GeneralAndFixedPrintAsPrintfForAnyFloat) {
  std::mt19937 random(11);
  static constexpr const char* kPrintf[] = {"%g",       "%g",       "%-0.1f", "%-0.2f",
                                            "%-0.3f",   "%-0.4f",   "%-0.5f", "%-0.6f"};
  for (int trial = 0; trial < 200000; ++trial) {
    // Random bit patterns reach every exponent; small integers and halves
    // are what reports mostly hold.
    const std::uint32_t bits = static_cast<std::uint32_t>(random());
    float value = 0.0f;
    if (trial % 2 == 0) {
      std::memcpy(&value, &bits, sizeof value);
    } else {
      value = static_cast<float>(static_cast<int>(bits % 4001) - 2000) / 64.0f;
    }
    for (int setting = 1; setting <= 7; ++setting) {
      std::vector<char> expected(400);
      std::snprintf(expected.data(), expected.size(), kPrintf[setting],
                    static_cast<double>(value));
      ASSERT_EQ(FormatNumber(setting, value), expected.data()) << "setting " << setting;
    }
  }
}

struct ExactRow { const char* name; float value; const char* text; };

const ExactRow kExactRows[] = {
    {"Zero", 0.0f, "0"},
    {"One", 1.0f, "1"},
    {"Quarter", 0.25f, "0.25"},
    {"DyadicKeepsAllItsDigits", 0.28125f, "0.28125"},
    {"TenthIsShortestNotWidened", 0.1f, "0.1"},
    {"ThirdNeedsEightDigits", 1.0f / 3.0f, "0.33333334"},
    {"NextFloatAfterAThird", 0.33333337f, "0.33333337"},
    {"ExponentWhenShorter", 1e-05f, "1e-05"},
    {"FixedOnATie", 0.00012f, "0.00012"},
    {"SmallestSubnormal", 1e-45f, "1e-45"},
    {"OneTenThousandthBelowOne", 0.9999f, "0.9999"},
    // The only F in 0..1 whose shortest text, 7.038531e-26, rounds through
    // double onto the next float up: checked over every float of 0..1.
    {"DoubleRoundingTakesADigitMore", 7.038531e-26f, "7.0385307e-26"},
};

class ExactF : public testing::TestWithParam<ExactRow> {};

TEST_P(ExactF, WritesTheShortestText) {
  EXPECT_EQ(FormatExactF(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExactF, testing::ValuesIn(kExactRows),
                         [](const auto& test) { return std::string(test.param.name); });

// As the pedigree reader takes an F field: upper-cased, converted to double,
// stored as float.
float ReadAsF(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

int SignificantDigits(const std::string& text) {
  int digits = 0;
  bool leading = true;
  for (char c : text) {
    if (c == 'e') break;
    if (c < '0' || c > '9') continue;
    if (c == '0' && leading) continue;
    leading = false;
    ++digits;
  }
  return std::max(digits, 1);
}

// Every F in 0..1 reads back bit for bit, in a field the reader accepts,
// with no more digits than the fewest "%.<p>g" needs to come back (fewer
// only where a power of two makes the nearest such text miss).
TEST(ExactF, ReadsBackBitForBitWithTheFewestDigits) {
  std::mt19937 random(31);
  for (int trial = 0; trial < 300000; ++trial) {
    const std::uint32_t bits = static_cast<std::uint32_t>(random()) % 0x3F800001u;
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    const std::string text = FormatExactF(value);
    const float back = ReadAsF(text);
    ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text;
    ASSERT_LE(text.size(), 20u) << text;
    int fewest = 1;
    for (;; ++fewest) {
      char printed[64];
      std::snprintf(printed, sizeof printed, "%.*g", fewest, static_cast<double>(value));
      if (ReadAsF(printed) == value) break;
    }
    ASSERT_LE(SignificantDigits(text), fewest) << text;
  }
}

}  // namespace
}  // namespace kinvar
