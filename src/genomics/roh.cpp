#include "genomics/roh.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>

namespace kinvar {
namespace {

// For one autosome of one animal: which SNPs (by their place along it)
// are in a run, by the windows' rule.
std::vector<char> InRun(const Genotypes& g, const std::vector<std::int64_t>& snps,
                        std::int64_t animal, const RohOptions& o) {
  const auto n = static_cast<std::int64_t>(snps.size());
  std::vector<char> in(static_cast<std::size_t>(n), 0);
  const std::int64_t w = o.windowSnps;
  if (w <= 0 || n < w) return in;
  // Prefix counts of heterozygous and missing calls along the autosome.
  std::vector<std::int32_t> het(static_cast<std::size_t>(n) + 1, 0), miss(static_cast<std::size_t>(n) + 1, 0);
  for (std::int64_t k = 0; k < n; ++k) {
    const std::uint8_t x = g.At(animal, snps[static_cast<std::size_t>(k)]);
    het[static_cast<std::size_t>(k) + 1] = het[static_cast<std::size_t>(k)] + (x == 1);
    miss[static_cast<std::size_t>(k) + 1] = miss[static_cast<std::size_t>(k)] + (x == kMissingGenotype);
  }
  // homPrefix[s] = homozygous windows among those starting before s.
  const std::int64_t windows = n - w + 1;
  std::vector<std::int32_t> homPrefix(static_cast<std::size_t>(windows) + 1, 0);
  for (std::int64_t s = 0; s < windows; ++s) {
    const auto e = static_cast<std::size_t>(s + w), b = static_cast<std::size_t>(s);
    const bool hom = het[e] - het[b] <= o.maxHet && miss[e] - miss[b] <= o.maxMissing;
    homPrefix[b + 1] = homPrefix[b] + (hom ? 1 : 0);
  }
  for (std::int64_t k = 0; k < n; ++k) {
    // Windows containing SNP k start at max(0, k - w + 1) .. min(k, windows - 1).
    const std::int64_t first = std::max<std::int64_t>(0, k - w + 1);
    const std::int64_t last = std::min<std::int64_t>(k, windows - 1);
    const auto total = static_cast<double>(last - first + 1);
    const auto hom = static_cast<double>(homPrefix[static_cast<std::size_t>(last) + 1] -
                                         homPrefix[static_cast<std::size_t>(first)]);
    in[static_cast<std::size_t>(k)] = hom >= o.minHomozygousShare * total && hom > 0 ? 1 : 0;
  }
  return in;
}

}  // namespace

bool IsAutosome(const std::string& chromosome) {
  std::string_view name = chromosome;
  if (name.size() > 3 && (name.substr(0, 3) == "chr" || name.substr(0, 3) == "Chr" || name.substr(0, 3) == "CHR")) {
    name.remove_prefix(3);
  }
  if (name.empty() || name.size() > 4) return false;
  if (!std::all_of(name.begin(), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
    return false;
  }
  return std::stoi(std::string(name)) > 0;
}

AutosomeMap MapAutosomes(const Genotypes& g) {
  std::map<std::string, std::vector<std::int64_t>> byName;
  for (std::int64_t k = 0; k < g.SnpCount(); ++k) {
    const SnpInfo& s = g.snps[static_cast<std::size_t>(k)];
    if (IsAutosome(s.chromosome)) byName[s.chromosome].push_back(k);
  }
  AutosomeMap map;
  for (auto& [name, snps] : byName) {
    std::stable_sort(snps.begin(), snps.end(), [&](std::int64_t a, std::int64_t b) {
      return g.snps[static_cast<std::size_t>(a)].position < g.snps[static_cast<std::size_t>(b)].position;
    });
    map.coveredLength += g.snps[static_cast<std::size_t>(snps.back())].position -
                         g.snps[static_cast<std::size_t>(snps.front())].position;
    map.snpsOf.push_back(std::move(snps));
  }
  return map;
}

RohSummary RunsOfHomozygosity(const Genotypes& g, const AutosomeMap& map, std::int64_t animal,
                              const RohOptions& options) {
  RohSummary out;
  for (const std::vector<std::int64_t>& snps : map.snpsOf) {
    const std::vector<char> in = InRun(g, snps, animal, options);
    const auto n = static_cast<std::int64_t>(snps.size());
    for (std::int64_t k = 0; k < n;) {
      if (in[static_cast<std::size_t>(k)] == 0) {
        ++k;
        continue;
      }
      std::int64_t end = k;
      while (end < n && in[static_cast<std::size_t>(end)] != 0) ++end;
      const std::int64_t length = g.snps[static_cast<std::size_t>(snps[static_cast<std::size_t>(end - 1)])].position -
                                  g.snps[static_cast<std::size_t>(snps[static_cast<std::size_t>(k)])].position;
      if (end - k >= options.minRunSnps && length >= options.minRunLength) {
        ++out.runs;
        out.length += length;
      }
      k = end;
    }
  }
  out.f = map.coveredLength > 0 ? static_cast<double>(out.length) / static_cast<double>(map.coveredLength)
                                : std::numeric_limits<double>::quiet_NaN();
  return out;
}

}  // namespace kinvar
