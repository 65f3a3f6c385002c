// Parentage checked by SNPs: a parent and its offspring share an allele at
// every SNP, so where both are homozygous they are homozygous for the same
// allele (Hayes 2011). Opposing homozygotes, a parent AA with an offspring
// BB, come only from genotyping errors for a true parent, and from about
// sum 2 p^2 q^2 of the SNPs for an unrelated animal.
//
// Conventions of this header:
// - Genotypes are packed into three bit planes per animal, 64 SNPs a word:
//   homozygous for the first allele (0), homozygous for the counted allele
//   (2), and called. Opposing homozygotes of a and b are
//   popcount((a0 & b2) | (a2 & b0)), the SNPs typed in both
//   popcount(aCalled & bCalled); the rate is the first over the second.
// - Animals are the rows of the genotype matrix; recOf gives each its record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "genomics/genotypes.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

// The default exclusion threshold: a true parent shows opposing homozygotes
// at about the genotyping error rate (well below 0.5 % on current chips),
// an unrelated animal at several percent of the SNPs (sum 2 p^2 q^2 over a
// chip's spread of allele frequencies comes to 5 to 10 %), so 1 % lies far
// from both.
inline constexpr double kDefaultExclusionThreshold = 0.01;

struct PackedGenotypes {
  std::int64_t animals = 0;
  std::int64_t words = 0;  // per animal and plane
  std::vector<std::uint64_t> homFirst, homCounted, called;  // animal-major

  const std::uint64_t* Plane(const std::vector<std::uint64_t>& plane, std::int64_t animal) const {
    return plane.data() + animal * words;
  }
};

PackedGenotypes PackGenotypes(const Genotypes& g);

struct OpposingHomozygotes {
  std::int64_t opposing = 0;
  std::int64_t typedInBoth = 0;
  // opposing / typedInBoth; NaN when no SNP is typed in both.
  double Rate() const;
};

OpposingHomozygotes CountOpposing(const PackedGenotypes& p, std::int64_t a, std::int64_t b);

struct ParentageOptions {
  double exclusionThreshold = kDefaultExclusionThreshold;
  bool searchCandidates = true;  // for excluded and unknown parents
  int threads = 0;               // the thread setting: 0 all cores
};

enum class ParentVerdict {
  kConfirmed,  // recorded and genotyped, rate at or below the threshold
  kExcluded,   // recorded and genotyped, rate above it
  kUntestable, // recorded and genotyped, but no SNP typed in both
  kUnknown,    // no parent recorded
};

// One of the animal's two parents. Rows are genotype rows, -1 none.
struct ParentCall {
  std::int64_t offspring = 0;
  ParentRole role = ParentRole::kSire;
  RecIndex recorded = kUnknownParent;
  std::int64_t recordedRow = -1;  // the recorded parent's genotype row
  OpposingHomozygotes recordedCount;
  ParentVerdict verdict = ParentVerdict::kConfirmed;
  // The candidates searched (excluded and unknown parents): how many were
  // compared, and the best two by rate.
  std::int64_t candidates = 0;
  std::int64_t best = -1;
  OpposingHomozygotes bestCount;
  std::int64_t runnerUp = -1;
  OpposingHomozygotes runnerUpCount;
};

struct ParentageResult {
  bool canceled = false;
  std::vector<ParentCall> calls;  // by offspring row, the sire before the dam
  // Genotyped animals whose recorded parent has no genotypes (not testable).
  std::int64_t parentsNotGenotyped = 0;
};

// Every genotyped animal's recorded sire and dam when they are genotyped,
// and its unknown ones, by ascending offspring row. Candidates for a
// parent: genotyped animals of that sex (the Sex column's, else the role
// they have as parents; of unknown sex for either role), other than the
// animal and its descendants, born before it when both birth dates are
// known, with at least one SNP typed in both. Steps `progress` once per
// genotyped animal (the caller sets the stage).
ParentageResult CheckParentage(const Pedigree& ped, const Genotypes& g, std::span<const RecIndex> recOf,
                               const ParentageOptions& options, Progress& progress);

}  // namespace kinvar
