#include "pedigree/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>

namespace kinvar {

std::optional<double> WholeNumber(std::string_view text) {
  // A sign after '+' ("+-1") is a typing mistake; from_chars would take
  // "inf" and "nan", which the byte check below refuses.
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  for (const char c : text) {
    const bool numeric = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!numeric) return std::nullopt;
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Too small for a double ("1e-1625") is a number all the same: strtod
    // gives the nearest one, 0 or a subnormal; too large stays refused.
    value = std::strtod(std::string(text).c_str(), nullptr);
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
  }
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<std::int64_t> WholeInteger(std::string_view text, std::int64_t low, std::int64_t high) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

std::string QuotedCell(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    quoted += c < 32 || c == 127 ? '?' : static_cast<char>(c);
  }
  if (text.size() > kShown) quoted += "...";
  return quoted + "\"";
}

}  // namespace kinvar
