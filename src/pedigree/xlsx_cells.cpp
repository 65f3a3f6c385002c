#include "pedigree/xlsx_cells.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kinvar::xlsx {

namespace {

constexpr std::int32_t kMaxColumns = kSheetColumns;
constexpr std::int64_t kMaxRows = kSheetRows;

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::string CivilText(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  return text;
}

void AppendUtf8(std::uint32_t code, std::string& out) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The entity at the start of `raw` ("&amp;" ...): its length, appending its
// text; 0 when it is not one that XML itself defines.
std::size_t AppendEntity(std::string_view raw, std::string& out) {
  const std::size_t end = raw.find(';');
  if (end == std::string_view::npos || end > 12) return 0;
  const std::string_view name = raw.substr(1, end - 1);
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& [entity, c] : kNamed) {
    if (name == entity) {
      out += c;
      return end + 1;
    }
  }
  if (name.size() < 2 || name[0] != '#') return 0;
  const bool hex = name[1] == 'x';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  std::uint32_t code = 0;
  const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
  if (ec != std::errc() || p != digits.data() + digits.size() || digits.empty()) return 0;
  AppendUtf8(code, out);
  return end + 1;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "_x000D_" stands for a character that XML cannot hold as it is.
std::size_t AppendEscape(std::string_view raw, std::string& out) {
  if (raw.size() < 7 || raw[1] != 'x' || raw[6] != '_') return 0;
  for (std::size_t i = 2; i < 6; ++i)
    if (!IsHex(raw[i])) return 0;
  std::uint32_t code = 0;
  std::from_chars(raw.data() + 2, raw.data() + 6, code, 16);
  AppendUtf8(code, out);
  return 7;
}

}  // namespace

std::optional<CellRef> ParseCellRef(std::string_view ref, RefFault* fault) {
  const auto refuse = [fault](RefFault why) -> std::optional<CellRef> {
    if (fault != nullptr) *fault = why;
    return std::nullopt;
  };
  if (fault != nullptr) *fault = RefFault::kNone;
  CellRef cell;
  std::size_t i = 0;
  std::int32_t column = 0;
  bool wide = false;
  for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z'; ++i) {
    // Once beyond the sheet, the letters are only counted: no overflow.
    if (!wide) column = column * 26 + (ref[i] - 'A' + 1);
    wide = wide || column > kMaxColumns;
  }
  if (i == 0) return refuse(RefFault::kMalformed);
  const std::string_view digits = ref.substr(i);
  if (digits.find_first_not_of("0123456789") != std::string_view::npos) return refuse(RefFault::kMalformed);
  if (!digits.empty() && digits.find_first_not_of('0') == std::string_view::npos)
    return refuse(RefFault::kMalformed);  // row 0
  if (wide) return refuse(RefFault::kBeyondColumns);
  cell.column = column - 1;
  if (digits.empty()) return cell;
  const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), cell.row);
  if (ec != std::errc() || cell.row > kMaxRows) return refuse(RefFault::kBeyondRows);
  return cell;
}

std::string RowDigits(std::string_view digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? "0" : std::string(digits.substr(first));
}

std::string SheetCell(std::string_view sheet, std::string_view cell) {
  bool plain = !sheet.empty() && !(sheet[0] >= '0' && sheet[0] <= '9');
  for (const char c : sheet) {
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                      c == '.';
    plain = plain && word;
  }
  if (plain) return std::string(sheet) + "!" + std::string(cell);
  std::string quoted = "'";
  for (const char c : sheet) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'!" + std::string(cell);
}

std::string ColumnName(std::int32_t column) {
  std::string name;
  for (std::int32_t n = column + 1; n > 0; n = (n - 1) / 26)
    name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
  return name;
}

std::optional<std::string> NumberText(std::string_view stored) {
  while (!stored.empty() && (stored.front() == ' ' || stored.front() == '+')) stored.remove_prefix(1);
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  double value = 0.0;
  const auto [p, ec] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
  if (ec != std::errc() || p != stored.data() + stored.size() || !std::isfinite(value))
    return std::nullopt;
  if (value == 0.0) return "0";  // no "-0"
  char text[400];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  if (result.ec != std::errc()) return std::nullopt;
  return std::string(text, result.ptr);
}

std::optional<std::string> DateText(double serial, bool date1904) {
  if (!std::isfinite(serial)) return std::nullopt;
  const double day = std::floor(serial);
  static const std::int64_t k1900 = DaysFromCivil(1899, 12, 30);
  static const std::int64_t k1904 = DaysFromCivil(1904, 1, 1);
  static const std::int64_t kLast = DaysFromCivil(9999, 12, 31);
  const std::int64_t base = date1904 ? k1904 : k1900;
  if (day < (date1904 ? 0.0 : 1.0) || day > static_cast<double>(kLast - base)) return std::nullopt;
  auto n = static_cast<std::int64_t>(day);
  if (!date1904) {
    if (n == 60) return "1900-02-29";
    if (n < 60) ++n;  // before the day that never was
  }
  return CivilText(base + n);
}

bool IsBuiltInDateFormat(int numFmtId) {
  return (numFmtId >= 14 && numFmtId <= 22) || (numFmtId >= 45 && numFmtId <= 47);
}

bool IsDateFormatCode(std::string_view code) {
  bool day = false, month = false, year = false, hour = false, second = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      const std::size_t close = code.find('"', i + 1);
      if (close == std::string_view::npos) break;
      i = close;
    } else if (c == '[') {
      const std::size_t close = code.find(']', i + 1);
      if (close == std::string_view::npos) break;
      i = close;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // the next character is shown as it is, or is a fill
    } else {
      switch (c | 0x20) {
        case 'd': day = true; break;
        case 'm': month = true; break;
        case 'y': year = true; break;
        case 'h': hour = true; break;
        case 's': second = true; break;
        default: break;
      }
    }
  }
  return day || year || (month && !hour && !second);
}

void AppendXmlText(std::string_view raw, std::string& out) {
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t next = raw.find_first_of("&_", i);
    if (next == std::string_view::npos) {
      out.append(raw.substr(i));
      return;
    }
    out.append(raw.substr(i, next - i));
    const std::string_view rest = raw.substr(next);
    const std::size_t used = rest[0] == '&' ? AppendEntity(rest, out) : AppendEscape(rest, out);
    if (used == 0) out += rest[0];
    i = next + (used == 0 ? 1 : used);
  }
}

}  // namespace kinvar::xlsx
