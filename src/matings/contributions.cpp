#include "matings/contributions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numeric>
#include <sstream>
#include <unordered_map>

#include "matings/mating_search.h"
#include "pedigree/line_splitter.h"
#include "report/output_file.h"

namespace kinvar {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

std::optional<double> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

using IdMap = std::unordered_map<std::string_view, RecIndex>;

IdMap MapIds(const Pedigree& ped) {
  IdMap map;
  map.reserve(ped.recs.size());
  for (std::size_t i = 1; i < ped.recs.size(); ++i)
    map.emplace(ped.recs[i].Id(), static_cast<RecIndex>(i));
  return map;
}

std::nullopt_t Refuse(Platform& platform, const std::string& message) {
  platform.ShowMessage(message, MessageIcon::kError);
  return std::nullopt;
}

std::optional<std::string> ReadWhole(const std::string& path, Platform& platform) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    platform.ShowMessage("Cannot open " + path, MessageIcon::kError);
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Records `value` for `id`; false after telling why it is refused.
bool Store(const IdMap& ids, const std::string& id, double value, int line,
           std::vector<double>& values, Platform& platform) {
  const auto found = ids.find(id);
  const RecIndex r = found == ids.end() ? kUnknownParent : found->second;
  const std::string where = "Error in line " + std::to_string(line) + ".\n";
  if (r == kUnknownParent) {
    platform.ShowMessage(where + "Individual " + id + " is not in the pedigree.", MessageIcon::kError);
    return false;
  }
  double& slot = values[static_cast<std::size_t>(r)];
  if (!std::isnan(slot)) {
    platform.ShowMessage(where + "Repeated ID!", MessageIcon::kError);
    return false;
  }
  slot = value;
  return true;
}

}  // namespace

std::optional<std::vector<double>> ReadBreedingValueFile(const std::string& path,
                                                         const Pedigree& ped, Platform& platform) {
  const auto contents = ReadWhole(path, platform);
  if (!contents) return std::nullopt;
  std::vector<double> values(ped.recs.size(), kNoValue);
  const IdMap ids = MapIds(ped);
  std::istringstream lines(*contents);
  std::string line, id, text;
  bool first = true;
  for (int number = 1; std::getline(lines, line); ++number) {
    const auto start = line.find_first_not_of(" \t\r\v\f");
    if (start == std::string::npos || line[start] == '!') continue;
    const int fields = SplitTwoFields(std::string_view(line).substr(start), id, text, number, platform);
    if (fields == -1) return std::nullopt;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const auto value = ParseNumber(text);
    const bool header = first && fields == 2 && !value;
    first = false;
    if (header) continue;
    if (fields < 2 || !value)
      return Refuse(platform, "Error in line " + std::to_string(number) +
                                  ".\nA line holds an ID and a breeding value.");
    if (!Store(ids, id, *value, number, values, platform)) return std::nullopt;
  }
  return values;
}

std::optional<std::vector<double>> ReadBreedingValueColumn(const std::string& pedigreePath,
                                                           const std::string& name,
                                                           const Pedigree& ped, Platform& platform) {
  namespace ls = line_splitter;
  const auto contents = ReadWhole(pedigreePath, platform);
  if (!contents) return std::nullopt;
  std::istringstream lines(*contents);
  std::string line;
  ls::Header header;
  int column = -1;
  ls::LineCells a;
  std::vector<double> values(ped.recs.size(), kNoValue);
  const IdMap ids = MapIds(ped);
  const auto split = [&](std::string_view text) {
    if (header.delimiter == 0) ls::SplitRuns(text, 1024, a);
    else ls::SplitAt(text, header.delimiter, 1024, a);
  };
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string_view text = ls::TrimLeading(line);
    if (text.empty() || (column == -1 && text.front() == '!')) continue;
    if (column == -1) {
      std::string message;
      if (ls::ParseHeaderLine(text, header, message) != ls::HeaderFault::kNone) break;
      split(text);
      for (std::size_t i = 0; i < a.cells.size(); ++i)
        if (UpperCased(a.cells[i]) == UpperCased(name)) column = static_cast<int>(i);
      if (column == -1) break;
      continue;
    }
    split(text);
    const auto progeny = static_cast<std::size_t>(header.at[ls::kProgeny]);
    if (a.cells.size() <= std::max(progeny, static_cast<std::size_t>(column))) continue;
    const std::string cell(a.cells[static_cast<std::size_t>(column)]);
    if (cell.empty() || cell == ".") continue;
    const auto value = ParseNumber(cell);
    if (!value)
      return Refuse(platform, "Error in line " + std::to_string(number) + ".\n" + cell +
                                  " is not a breeding value.");
    if (!Store(ids, UpperCased(a.cells[progeny]), *value, number, values, platform)) return std::nullopt;
  }
  if (column == -1)
    return Refuse(platform, "The pedigree file has no column " + name + ".");
  return values;
}

std::vector<double> CandidateKinship(Pedigree& ped, const MatingGroups& groups) {
  MatingGroups all = groups;
  all.sires.insert(all.sires.end(), groups.dams.begin(), groups.dams.end());
  all.dams = all.sires;
  const CoancestryMatrix c = ComputeCoancestryMatrix(ped, all);
  return {c.values.begin(), c.values.end()};
}

double MeanOfMatrix(const std::vector<double>& k, std::size_t n) {
  const double sum = std::accumulate(k.begin(), k.end(), 0.0);
  return sum / (static_cast<double>(n) * static_cast<double>(n));
}

std::vector<std::int32_t> WholeMatings(const std::vector<double>& sireContributions,
                                       std::int32_t dams, const std::vector<std::int32_t>& codes) {
  const std::size_t n = sireContributions.size();
  std::vector<std::int32_t> counts(n, 0);
  std::vector<double> remainder(n, 0.0);
  std::int64_t given = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double share = 2.0 * dams * std::max(0.0, sireContributions[i]);
    counts[i] = static_cast<std::int32_t>(std::floor(share));
    remainder[i] = share - counts[i];
    given += counts[i];
  }
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    if (remainder[x] != remainder[y]) return remainder[x] > remainder[y];
    return codes[x] < codes[y];
  });
  // The floors may overshoot by rounding when the shares are whole: take
  // back from the smallest remainders first.
  for (std::size_t k = 0; given < dams && n > 0; ++k, ++given) ++counts[order[k % n]];
  for (std::size_t k = n; given > dams && k > 0; --k)
    if (counts[order[k - 1]] > 0) --counts[order[k - 1]], --given;
  return counts;
}

bool WriteContributionFile(const std::string& path, const Pedigree& ped,
                           const std::vector<RecIndex>& sires,
                           const std::vector<std::int32_t>& counts, Platform& platform) {
  // Replaced only when complete: a failed write leaves the old file.
  const std::unique_ptr<OutputFile> out = OpenOutputFile(path, platform);
  if (!out) return false;
  for (std::size_t i = 0; i < sires.size(); ++i) {
    out->Raw(ped.rec(sires[i]).Id());
    out->Raw(' ');
    out->RawInt(counts[i]);
    out->Raw('\n');
  }
  return CommitOutputFile(*out, platform);
}

}  // namespace kinvar
