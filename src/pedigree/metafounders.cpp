#include "pedigree/metafounders.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "pedigree/pedigree.h"

namespace kinvar {

namespace {

struct GammaEntries {
  std::vector<std::string> ids;
  std::map<std::pair<std::size_t, std::size_t>, double> values;  // (low, high) index

  std::size_t IndexOf(const std::string& id) {
    const auto it = std::find(ids.begin(), ids.end(), id);
    if (it != ids.end()) return static_cast<std::size_t>(it - ids.begin());
    ids.push_back(id);
    return ids.size() - 1;
  }
};

std::string CheckId(const std::string& id) {
  if (id.size() > static_cast<std::size_t>(kMaxIdLength)) return id + " is longer than 20 characters.";
  if (IsUnknownId(id)) return id + " is the mark of an unknown parent.";
  return {};
}

std::string AddEntry(std::string a, std::string b, double value, const std::string& text,
                     GammaEntries& entries) {
  a = UpperCased(a);
  b = UpperCased(b);
  for (const std::string* id : {&a, &b})
    if (std::string error = CheckId(*id); !error.empty()) return error;
  if (!std::isfinite(value)) return "the value " + text + " is not a number.";
  const std::size_t i = entries.IndexOf(a), j = entries.IndexOf(b);
  if (!entries.values.emplace(std::pair{std::min(i, j), std::max(i, j)}, value).second)
    return "the pair " + a + " " + b + " is given twice.";
  return {};
}

std::string ParseLine(const std::string& line, GammaEntries& entries) {
  std::istringstream words(line);
  std::string a, b, text, extra;
  if (!(words >> a >> b >> text) || (words >> extra)) return "three fields, \"group group value\".";
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0') return "the value " + text + " is not a number.";
  return AddEntry(a, b, value, text, entries);
}

std::string Trimmed(const std::string& cell) {
  const std::size_t first = cell.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return cell.substr(first, cell.find_last_not_of(" \t") - first + 1);
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
  for (const auto& [pair, value] : entries.values) {
    gamma[pair.first * g + pair.second] = value;
    gamma[pair.second * g + pair.first] = value;
  }
  double smallest = 0.0, largest = 0.0;
  SymmetricEigenRange(gamma, g, smallest, largest);
  // Relative to the largest, to the precision of single-precision runs.
  const double tolerance = 1e-6 * std::max(1.0, std::fabs(largest));
  if (smallest < -tolerance)
    return "The metafounders' relationships are not positive semi-definite (smallest eigenvalue " +
           std::to_string(smallest) + ").";
  groups.ids = std::move(entries.ids);
  groups.gamma = std::move(gamma);
  groups.gammaSource = source;
  groups.gammaSingular = smallest <= tolerance;
  return {};
}

}  // namespace

// Cyclic Jacobi rotations: Gamma is small (a few dozen groups at most), and
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
  std::ifstream in(path);
  if (!in) return "Cannot open the metafounders file " + path + ".";
  GammaEntries entries;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (IsBlankOrComment(line)) continue;
    if (std::string error = ParseLine(line, entries); !error.empty())
      return "Line " + std::to_string(number) + " of the metafounders file: " + error;
  }
  return KeepGamma(std::move(entries), path, groups);
}

std::string SetMetafounders(const std::vector<MetafounderRow>& rows, const std::string& source,
                            GeneticGroups& groups) {
  GammaEntries entries;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const MetafounderRow& row = rows[k];
    const std::string group1 = Trimmed(row.group1), group2 = Trimmed(row.group2);
    std::string error = group1.empty() || group2.empty() ? "a group is missing." : std::string();
    if (error.empty()) error = AddEntry(group1, group2, row.value, std::to_string(row.value), entries);
    if (!error.empty()) return "Row " + std::to_string(k + 1) + " of the metafounders: " + error;
  }
  return KeepGamma(std::move(entries), source, groups);
}

}  // namespace kinvar
