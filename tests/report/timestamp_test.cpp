#include "report/timestamp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <utility>

namespace kinvar {
namespace {

std::tm Time(int year, int month, int day, int weekday, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_wday = weekday;
  t.tm_hour = hour;
  t.tm_min = minute;
  return t;
}

struct TimestampRow { const char* name; std::tm time; const char* text; };

// Weekdays from a calendar; the first of each month of 2026 covers all seven.
const TimestampRow kTimestampRows[] = {
    {"Midnight", Time(2026, 1, 1, 4, 0, 0), "0:00  Thursday, January 1, 2026"},
    {"SingleDigitHourAndMinute", Time(2026, 1, 4, 0, 9, 5), "9:05  Sunday, January 4, 2026"},
    {"TenPastTheHour", Time(2026, 1, 4, 0, 18, 10), "18:10  Sunday, January 4, 2026"},
    {"SixPastTheHour", Time(2026, 1, 4, 0, 18, 6), "18:06  Sunday, January 4, 2026"},
    {"Afternoon", Time(2026, 12, 5, 6, 14, 7), "14:07  Saturday, December 5, 2026"},
    {"LastMinute", Time(2026, 12, 31, 4, 23, 59), "23:59  Thursday, December 31, 2026"},
    {"February", Time(2026, 2, 1, 0, 10, 10), "10:10  Sunday, February 1, 2026"},
    {"March", Time(2026, 3, 1, 0, 10, 10), "10:10  Sunday, March 1, 2026"},
    {"April", Time(2026, 4, 1, 3, 10, 10), "10:10  Wednesday, April 1, 2026"},
    {"May", Time(2026, 5, 1, 5, 10, 10), "10:10  Friday, May 1, 2026"},
    {"June", Time(2026, 6, 1, 1, 10, 10), "10:10  Monday, June 1, 2026"},
    {"July", Time(2026, 7, 1, 3, 10, 10), "10:10  Wednesday, July 1, 2026"},
    {"August", Time(2026, 8, 1, 6, 10, 10), "10:10  Saturday, August 1, 2026"},
    {"September", Time(2026, 9, 1, 2, 10, 10), "10:10  Tuesday, September 1, 2026"},
    {"October", Time(2026, 10, 1, 4, 10, 10), "10:10  Thursday, October 1, 2026"},
    {"November", Time(2026, 11, 1, 0, 10, 10), "10:10  Sunday, November 1, 2026"},
    // 32 January is 1 February; the weekday given is out of range too.
    {"OutOfRangeFieldsNormalised", Time(2026, 1, 32, 9, 8, 30), "8:30  Sunday, February 1, 2026"},
};

class Timestamp : public testing::TestWithParam<TimestampRow> {};

TEST_P(Timestamp, Formats) { EXPECT_EQ(FormatTimestamp(GetParam().time), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Rows, Timestamp, testing::ValuesIn(kTimestampRows),
                         [](const auto& test) { return std::string(test.param.name); });

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) setenv(name, value, 1); else unsetenv(name);
    tzset();
  }
  ~ScopedEnvironment() {
    if (old_) setenv(name_, old_->c_str(), 1); else unsetenv(name_);
    tzset();
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(CurrentLocalTime, TakesTheTimeFromSourceDateEpochInTheLocalZone) {
  ScopedEnvironment epoch("SOURCE_DATE_EPOCH", "1796479620");
  for (const auto& [zone, text] : {std::pair{"UTC", "14:07  Saturday, December 5, 2026"},
                                   std::pair{"EST5", "9:07  Saturday, December 5, 2026"}}) {
    ScopedEnvironment tz("TZ", zone);
    EXPECT_EQ(FormatTimestamp(CurrentLocalTime()), text) << zone;
  }
}

TEST(CurrentLocalTime, IgnoresSourceDateEpochThatIsNotANumber) {
  ScopedEnvironment zone("TZ", "UTC");
  for (const char* text : {"", "soon", "1796479620x", " 1796479620"}) {
    ScopedEnvironment epoch("SOURCE_DATE_EPOCH", text);
    const std::time_t before = std::time(nullptr);
    std::tm now = CurrentLocalTime();
    const std::time_t seen = timegm(&now);
    const std::time_t after = std::time(nullptr);
    EXPECT_LE(before, seen) << '"' << text << '"';
    EXPECT_LE(seen, after) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace kinvar
