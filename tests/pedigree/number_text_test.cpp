// A cell is a number only when all of it is one.
#include <gtest/gtest.h>

#include <optional>

#include "pedigree/number_text.h"

namespace kinvar {
namespace {

TEST(WholeNumber, TakesOnlyCellsThatAreWhollyANumber) {
  struct Row {
    const char* text;
    std::optional<double> value;
  };
  const Row rows[] = {
      {"0.5", 0.5},     {"+0.25", 0.25},    {"-1", -1.0},     {"1e-3", 0.001},  {".5", 0.5},
      {"1e-1625", 0.0}, {"-1e-400", -0.0},  {"4e-320", 4e-320},
      {"5.", 5.0},      {"0", 0.0},         {"abc", {}},      {"0.5xyz", {}},   {"0.2.5", {}},
      {"4.1kg", {}},    {"", {}},           {"+", {}},        {"-", {}},        {"+-1", {}},
      {"inf", {}},      {"nan", {}},        {"1e999", {}},    {" 1", {}},       {"1 ", {}},
      {"0,5", {}},      {"\"0.5\"", {}},    {"1e", {}},       {"--1", {}},      {"0x10", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(WholeNumber(row.text), row.value) << row.text;
}

TEST(WholeInteger, TakesWholeNumbersWithinTheirRange) {
  struct Row {
    const char* text;
    std::optional<std::int64_t> value;
  };
  const Row rows[] = {
      {"7", 7}, {"+7", 7}, {"0", 0}, {"10", 10}, {"11", {}}, {"-1", {}}, {"7.0", {}}, {"7a", {}}, {"", {}}, {"1e1", {}},
      {"99999999999999999999999", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(WholeInteger(row.text, 0, 10), row.value) << row.text;
}

TEST(QuotedCell, ShowsControlBytesAndCutsLongText) {
  EXPECT_EQ(QuotedCell("S1\nS2"), "\"S1?S2\"");
  EXPECT_EQ(QuotedCell(std::string(45, 'a')), "\"" + std::string(40, 'a') + "...\"");
}

}  // namespace
}  // namespace kinvar
