#include "pedigree/metafounders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <utility>

#include "pedigree/number_text.h"
#include "pedigree/pedigree.h"
#include "pedigree/side_file.h"

namespace kinvar {

namespace {

// Gamma is dense, g x g, and its check costs g^3: beyond this many
// metafounders a file is not a set of base populations but a mistake.
constexpr std::size_t kMaxMetafounders = 300;

// Relationships of base populations lie where those of individuals do: a
// metafounder's value with itself in [0, 2], so that its founders' F,
// half of it, is a probability.
constexpr double kMaxGammaDiagonal = 2.0;

// Precision of the checks, relative to the largest value, to the precision
// of single-precision runs.
double Tolerance(double largest) { return 1e-6 * std::max(1.0, std::fabs(largest)); }

struct GammaValue {
  double value;
  std::string where;  // "Line 3 of the metafounders file: "
  std::string text;   // as given
  std::string pair;   // "B with A", in the order given
};

struct GammaEntries {
  std::vector<std::string> ids;
  std::unordered_map<std::string, std::size_t> index;
  std::map<std::pair<std::size_t, std::size_t>, GammaValue> values;  // (low, high) index

  std::size_t IndexOf(const std::string& id) {
    const auto [it, added] = index.emplace(id, ids.size());
    if (added) ids.push_back(id);
    return it->second;
  }
};

std::string CheckId(const std::string& id) {
  if (id.size() > static_cast<std::size_t>(kMaxIdLength)) return id + " is longer than 20 characters.";
  if (IsUnknownId(id)) return id + " is the mark of an unknown parent.";
  return {};
}

// A value beyond what a relationship matrix can hold; what is wrong.
std::string CheckRange(const std::string& a, const std::string& b, double value, const std::string& text) {
  if (a == b && !(value >= 0.0 && value <= kMaxGammaDiagonal))
    return "the value " + text + " of " + a + " with itself lies outside 0 to 2.";
  if (a != b && !(std::fabs(value) <= kMaxGammaDiagonal))
    return "the value " + text + " of " + a + " with " + b + " lies outside -2 to 2.";
  return {};
}

std::string AddEntry(std::string a, std::string b, double value, const std::string& text,
                     const std::string& where, GammaEntries& entries) {
  a = UpperCased(a);
  b = UpperCased(b);
  for (const std::string* id : {&a, &b})
    if (std::string error = CheckId(*id); !error.empty()) return error;
  if (!std::isfinite(value)) return "the value " + text + " is not a number.";
  if (std::string error = CheckRange(a, b, value, text); !error.empty()) return error;
  const std::size_t i = entries.IndexOf(a), j = entries.IndexOf(b);
  if (entries.ids.size() > kMaxMetafounders)
    return "more than " + std::to_string(kMaxMetafounders) + " metafounders; Kinvar holds at most " +
           std::to_string(kMaxMetafounders) + ".";
  if (!entries.values.emplace(std::pair{std::min(i, j), std::max(i, j)}, GammaValue{value, where, text, a + " with " + b}).second)
    return "the pair " + a + " " + b + " is given twice.";
  return {};
}

std::string ParseLine(std::string_view line, const std::string& where, const std::string& path,
                      GammaEntries& entries) {
  const std::vector<std::string_view> words = SideFileWords(line);
  if (words.size() != 3) return "three fields, \"group group value\".";
  const std::optional<double> value = WholeNumber(words[2]);
  if (!value) return QuotedCell(words[2]) + " in column 3 of " + path + " is not a number.";
  return AddEntry(std::string(words[0]), std::string(words[1]), *value, std::string(words[2]), where, entries);
}

std::string Trimmed(const std::string& cell) {
  const std::size_t first = cell.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return cell.substr(first, cell.find_last_not_of(" \t") - first + 1);
}

std::string Shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// A relationship matrix holds |gamma_ij| <= sqrt(gamma_ii gamma_jj); the
// first pair that does not, named by its line.
std::string CheckPairs(const GammaEntries& entries, const std::vector<double>& gamma, std::size_t g) {
  for (const auto& [pair, entry] : entries.values) {
    const auto [i, j] = pair;
    if (i == j) continue;
    const double bound = std::sqrt(gamma[i * g + i] * gamma[j * g + j]);
    if (std::fabs(entry.value) > bound + Tolerance(bound))
      return entry.where + "the value " + entry.text + " of " + entry.pair + " exceeds " + Shown(bound) +
             " in size, the square root of the product of their values with themselves, so the "
             "metafounders' relationships are not positive semi-definite.";
  }
  return {};
}

// The smallest eigenvalue of the leading k x k block of gamma.
double LeadingSmallest(const std::vector<double>& gamma, std::size_t g, std::size_t k) {
  std::vector<double> block(k * k);
  for (std::size_t i = 0; i < k; ++i)
    for (std::size_t j = 0; j < k; ++j) block[i * k + j] = gamma[i * g + j];
  double smallest = 0.0, largest = 0.0;
  SymmetricEigenRange(block, k, smallest, largest);
  return smallest;
}

// The first metafounder whose values with those before it break positive
// semi-definiteness: a leading block that is not stays so as it grows.
std::size_t FirstBreaking(const std::vector<double>& gamma, std::size_t g, double tolerance) {
  std::size_t good = 1, bad = g;  // the block of `good` holds, that of `bad` does not
  while (bad - good > 1) {
    const std::size_t mid = good + (bad - good) / 2;
    (LeadingSmallest(gamma, g, mid) < -tolerance ? bad : good) = mid;
  }
  return bad - 1;
}

// Every group has its diagonal and Gamma is positive semi-definite; then
// the groups take the metafounders, else nothing is kept.
std::string KeepGamma(GammaEntries entries, const std::string& source, GeneticGroups& groups) {
  const std::size_t g = entries.ids.size();
  if (g == 0) return "The metafounders file names no metafounder.";
  for (std::size_t i = 0; i < g; ++i)
    if (entries.values.count({i, i}) == 0)
      return "The metafounders file gives no value of " + entries.ids[i] + " with itself.";
  std::vector<double> gamma(g * g, 0.0);
  for (const auto& [pair, entry] : entries.values) {
    gamma[pair.first * g + pair.second] = entry.value;
    gamma[pair.second * g + pair.first] = entry.value;
  }
  if (std::string error = CheckPairs(entries, gamma, g); !error.empty()) return error;
  double smallest = 0.0, largest = 0.0;
  SymmetricEigenRange(gamma, g, smallest, largest);
  const double tolerance = Tolerance(largest);
  if (!(smallest >= -tolerance))
    return "The metafounders' relationships are not positive semi-definite (smallest eigenvalue " +
           std::to_string(smallest) + "); the values of " + entries.ids[FirstBreaking(gamma, g, tolerance)] +
           " with itself and the metafounders before it make them so.";
  groups.ids = std::move(entries.ids);
  groups.gamma = std::move(gamma);
  groups.gammaSource = source;
  groups.gammaSingular = smallest <= tolerance;
  return {};
}

}  // namespace

// Cyclic Jacobi rotations: Gamma is small (at most kMaxMetafounders), and
// this needs nothing but the matrix.
void SymmetricEigenRange(const std::vector<double>& matrix, std::size_t n, double& smallest,
                         double& largest) {
  std::vector<double> a = matrix;
  const auto at = [&](std::size_t i, std::size_t j) -> double& { return a[i * n + j]; };
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0;
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j) off += at(i, j) * at(i, j);
    if (off < 1e-30) break;
    for (std::size_t p = 0; p < n; ++p)
      for (std::size_t q = p + 1; q < n; ++q) {
        if (at(p, q) == 0.0) continue;
        const double theta = (at(q, q) - at(p, p)) / (2.0 * at(p, q));
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (std::size_t k = 0; k < n; ++k) {
          const double kp = at(k, p), kq = at(k, q);
          at(k, p) = c * kp - s * kq;
          at(k, q) = s * kp + c * kq;
        }
        for (std::size_t k = 0; k < n; ++k) {
          const double pk = at(p, k), qk = at(q, k);
          at(p, k) = c * pk - s * qk;
          at(q, k) = s * pk + c * qk;
        }
      }
  }
  smallest = largest = n == 0 ? 0.0 : at(0, 0);
  for (std::size_t i = 1; i < n; ++i) {
    smallest = std::min(smallest, at(i, i));
    largest = std::max(largest, at(i, i));
  }
}

std::string ReadMetafounders(const std::string& path, GeneticGroups& groups) {
  GammaEntries entries;
  std::string error;
  const SideFileResult file = ReadSideFileLines(path, [&](std::string_view line, std::int64_t number) {
    const std::size_t first = line.find_first_not_of(" \t\r\v\f");
    if (first == std::string_view::npos || line[first] == '#') return true;
    const std::string where = "Line " + std::to_string(number) + " of the metafounders file: ";
    error = ParseLine(line, where, path, entries);
    if (!error.empty()) error = where + error;
    return error.empty();
  });
  if (!file.ok())
    return file.fault == SideFileFault::kCannotOpen ? "Cannot open the metafounders file " + path + "."
                                                    : file.message;
  if (!error.empty()) return error;
  return KeepGamma(std::move(entries), path, groups);
}

std::string SetMetafounders(const std::vector<MetafounderRow>& rows, const std::string& source,
                            GeneticGroups& groups) {
  GammaEntries entries;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const MetafounderRow& row = rows[k];
    const std::string where = "Row " + std::to_string(k + 1) + " of the metafounders: ";
    const std::string group1 = Trimmed(row.group1), group2 = Trimmed(row.group2);
    std::string error = group1.empty() || group2.empty() ? "a group is missing." : std::string();
    if (error.empty())
      error = AddEntry(group1, group2, row.value, std::isfinite(row.value) ? Shown(row.value) : std::to_string(row.value),
                       where, entries);
    if (!error.empty()) return where + error;
  }
  return KeepGamma(std::move(entries), source, groups);
}

}  // namespace kinvar
