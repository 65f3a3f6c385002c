#include "support/written_columns.h"

#include <bit>
#include <chrono>

namespace kinvar::test {

std::int32_t DayNumber(int year, unsigned month, unsigned day) {
  using namespace std::chrono;
  return sys_days{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}}
      .time_since_epoch()
      .count();
}

std::string PaddedRow(const std::vector<std::string>& fields,
                      const std::vector<std::size_t>& widths) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    line += fields[i];
    if (i + 1 < fields.size()) line.append(widths[i] - fields[i].size(), ' ');
  }
  return line + "\n";
}

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

FById KnownF(const Pedigree& ped) {
  FById known;
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    known[r.id] = r.fPredefined || r.f != -1.0f ? std::optional(Bits(r.f)) : std::nullopt;
  }
  return known;
}

}  // namespace kinvar::test
