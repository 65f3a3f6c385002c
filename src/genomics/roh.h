// Runs of homozygosity along the autosomes, by a sliding window:
// - the SNPs of each autosome are ordered by position; an autosome is a
//   chromosome written as a whole number, with or without a "chr" prefix
//   (X, Y, MT and the like are left out);
// - a window is `windowSnps` consecutive SNPs of one autosome, moved along
//   one SNP at a time; it is homozygous when it holds at most `maxHet`
//   heterozygous and at most `maxMissing` missing calls;
// - a SNP is in a run when at least `minHomozygousShare` of the windows
//   that contain it are homozygous (an autosome with fewer SNPs than a
//   window has none);
// - a run is a stretch of consecutive SNPs in a run; it counts when it has
//   at least `minRunSnps` SNPs and spans at least `minRunLength` base pairs
//   (last position - first position);
// - F_ROH = the runs' total length / the autosomes' covered length (per
//   autosome, its last SNP's position - its first).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "genomics/genotypes.h"

namespace kinvar {

struct RohOptions {
  std::int32_t windowSnps = 50;
  std::int32_t maxHet = 1;
  std::int32_t maxMissing = 5;
  double minHomozygousShare = 0.05;
  std::int32_t minRunSnps = 50;
  std::int64_t minRunLength = 1000000;
};

// The autosomes' SNPs, each autosome's in order of position.
struct AutosomeMap {
  std::vector<std::vector<std::int64_t>> snpsOf;  // per autosome, SNP indexes
  std::int64_t coveredLength = 0;
};

bool IsAutosome(const std::string& chromosome);
AutosomeMap MapAutosomes(const Genotypes& g);

struct RohSummary {
  std::int32_t runs = 0;
  std::int64_t length = 0;  // base pairs in runs
  double f = 0.0;           // NaN when the autosomes cover no length
};

RohSummary RunsOfHomozygosity(const Genotypes& g, const AutosomeMap& map, std::int64_t animal,
                              const RohOptions& options);

}  // namespace kinvar
