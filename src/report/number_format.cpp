#include "report/number_format.h"

#include <cmath>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace kinvar {

namespace {

constexpr int kMaxTerms = 28;
constexpr double kTolerance = 1e-9;
// Numerators and denominators are printed as 64-bit integers; beyond this the
// doubles holding them no longer convert safely.
constexpr double kLargestPrintable = 9.0e18;

// 10^e by repeated squaring; exact for e <= 10.
double PowerOfTen(int e) {
  double result = 1.0;
  double base = 10.0;
  for (; e > 0; e >>= 1) {
    if (e & 1) result *= base;
    base *= base;
  }
  return result;
}

// Divides out `factor` while the floating remainder is exactly 0, at most
// `times` times.
double RemoveFactor(double n, double factor, int times) {
  for (int i = 0; i < times && std::fmod(n, factor) == 0.0; ++i) n /= factor;
  return n;
}

// An upper bound for the numerators the search may reach: the numerator of
// `a` rounded to ten decimals, in lowest terms when the arithmetic is exact.
// Deliberately not rounded to a whole number.
double NumeratorBound(double a) {
  double whole = 0.0;
  const double fraction = std::modf(a, &whole);
  char text[64];
  std::snprintf(text, sizeof text, "%-15.10f", fraction);
  const double rounded = std::strtod(text, nullptr);
  std::string_view digits(text);
  while (!digits.empty() && (digits.back() == '0' || digits.back() == ' ')) {
    digits.remove_suffix(1);
  }
  const int e = static_cast<int>(digits.size()) - 2;
  if (e <= 0) return whole + rounded;
  const double scale = PowerOfTen(e);
  double n = whole * scale + rounded * scale;
  n = RemoveFactor(n, 2.0, e);
  return RemoveFactor(n, 5.0, e);
}

// Integer part of z truncated toward zero, plus one when the fractional part
// is at least one half (so negative z is only truncated).
double PartialQuotient(double z) {
  double whole = 0.0;
  const double fraction = std::modf(z, &whole);
  return fraction >= 0.5 ? whole + 1.0 : whole;
}

std::string FractionText(bool negative, double h, double k) {
  const char* sign = negative ? "-" : "";
  const long long numerator = std::llround(std::fabs(h));
  const long long denominator = std::llround(std::fabs(k));
  char text[64];
  if (denominator == 1) {
    std::snprintf(text, sizeof text, "%s%lld", sign, numerator);
  } else {
    std::snprintf(text, sizeof text, "%s%lld/%lld", sign, numerator, denominator);
  }
  return text;
}

// As a pedigree file's F field is read: text to double, stored as float.
bool ReadsBackAs(const char* text, float value) {
  const auto back = static_cast<float>(std::strtod(text, nullptr));
  return std::memcmp(&back, &value, sizeof value) == 0;
}

}  // namespace

std::optional<std::string> ApproximateFraction(double x) {
  const double a = std::fabs(x);
  const double bound = NumeratorBound(a);
  double h2 = 0.0, h1 = 1.0, k2 = 1.0, k1 = 0.0;
  double z = a;
  double previous = -1.0;
  for (int term = 0; term < kMaxTerms; ++term) {
    const double q0 = PartialQuotient(z);
    const double h = q0 * h1 + h2;
    const double k = q0 * k1 + k2;
    const double q = h / k;
    if (q == previous) return std::nullopt;
    if (std::fabs(h) > bound) return std::nullopt;
    if (std::fabs(a - q) < kTolerance) {
      if (std::fabs(h) > kLargestPrintable || std::fabs(k) > kLargestPrintable) {
        return std::nullopt;
      }
      return FractionText(x < 0.0, h, k);
    }
    previous = q;
    z = 1.0 / (z - q0);
    h2 = h1;
    h1 = h;
    k2 = k1;
    k1 = k;
  }
  return std::nullopt;
}

std::string FormatNumber(int setting, float value) {
  return FormatNumber(setting, static_cast<double>(value));
}

std::string FormatNumber(int setting, double widened) {
  if (setting == 0) {
    if (auto fraction = ApproximateFraction(widened)) return *std::move(fraction);
  }
  // The same text as printf's "%g" and "%-0.<n>f" in the C locale, without
  // parsing a format for each of the million numbers a report may hold.
  const bool fixed = setting >= 2 && setting <= 7;
  char buffer[400];  // the widest double in fixed notation with 6 decimals
  const auto result =
      fixed ? std::to_chars(buffer, buffer + sizeof buffer, widened, std::chars_format::fixed,
                            setting - 1)
            : std::to_chars(buffer, buffer + sizeof buffer, widened, std::chars_format::general, 6);
  return std::string(buffer, result.ptr);
}

std::string FormatExactF(float value) {
  char buffer[32];
  const auto shortest = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
  *shortest.ptr = '\0';
  if (ReadsBackAs(buffer, value)) return std::string(buffer, shortest.ptr);
  // The reader converts to double and then to float; for a few values (such
  // as 7.038531e-26) that rounds twice onto the neighbouring float. A
  // text with as many digits as it takes settles it; 17 give the double.
  for (int digits = 1;; ++digits) {
    const auto end = std::to_chars(buffer, buffer + sizeof buffer - 1,
                                   static_cast<double>(value), std::chars_format::general,
                                   digits);
    *end.ptr = '\0';
    if (digits == 17 || ReadsBackAs(buffer, value)) return std::string(buffer, end.ptr);
  }
}

}  // namespace kinvar
