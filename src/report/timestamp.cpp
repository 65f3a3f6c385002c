#include "report/timestamp.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace kinvar {

namespace {

constexpr const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January", "February", "March",     "April",
                                   "May",     "June",     "July",      "August",
                                   "September", "October", "November", "December"};

bool InRange(const std::tm& t) {
  return t.tm_wday >= 0 && t.tm_wday <= 6 && t.tm_mon >= 0 && t.tm_mon <= 11 &&
         t.tm_mday >= 1 && t.tm_mday <= 31 && t.tm_hour >= 0 && t.tm_hour <= 23 &&
         t.tm_min >= 0 && t.tm_min <= 59;
}

// Normalises through the UTC calendar, which shifts no field by a zone.
std::tm Normalised(std::tm t) {
  const std::time_t seconds = timegm(&t);
  std::tm result{};
  gmtime_r(&seconds, &result);
  return result;
}

std::optional<std::time_t> EpochFromEnvironment() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr) return std::nullopt;
  const std::string_view view(text);
  long long seconds = 0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), seconds);
  if (view.empty() || error != std::errc() || end != view.data() + view.size()) {
    return std::nullopt;
  }
  return static_cast<std::time_t>(seconds);
}

}  // namespace

std::string FormatTimestamp(const std::tm& local) {
  const std::tm t = InRange(local) ? local : Normalised(local);
  char text[96];
  std::snprintf(text, sizeof text, "%d:%02d  %s, %s %d, %d", t.tm_hour, t.tm_min,
                kDays[t.tm_wday], kMonths[t.tm_mon], t.tm_mday, t.tm_year + 1900);
  return text;
}

std::tm CurrentLocalTime() {
  const std::time_t seconds = EpochFromEnvironment().value_or(std::time(nullptr));
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

}  // namespace kinvar
