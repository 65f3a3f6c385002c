// Inbreeding beyond F, for the question whether a population has purged its
// deleterious recessive alleles: ancestral inbreeding (Ballou's recursion and
// its gene-dropping estimate), Kalinowski's split of F into new and old
// inbreeding, partial inbreeding by founder, and purged inbreeding.
//
// Conventions of this header:
// - Every figure is computed over an AncestorSubset (the reference
//   individuals and all their ancestors, numbered 1..m with parents first);
//   vectors indexed by local number have m + 1 entries, entry 0 being the
//   unknown parent's. The inbreeding coefficients must be computed (Rec::f).
// - Coefficients are 32-bit floats rounded at every store; the gene-dropping
//   figures are frequencies over the replicates, held as doubles.
// - An unknown parent contributes nothing: no ancestral inbreeding, no
//   purged coancestry. For partial inbreeding the unknown parent of an
//   individual with one known parent is a founder of its own, so the partial
//   coefficients of an individual add up to its F.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "genetics/relationship.h"
#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

// Ballou (1997): Fa = [Fa_s + (1 - Fa_s) F_s + Fa_d + (1 - Fa_d) F_d] / 2,
// founders 0, by local number.
std::vector<float> BallouAncestralInbreeding(const Pedigree& ped, const AncestorSubset& subset);

// Garcia-Dorado (2012): the purged inbreeding g of every individual, by
// local number, for the purging coefficient `d` (0 gives g = F). The
// purged coancestry g(x, y) expands the younger of the two,
// g(x, y) = [g(x, s_y) + g(x, d_y)] (1 - d F_y) / 2, and
// g(x, x) = [1 + g(s_x, d_x)] (1 - 2 d F_x) / 2; one pass over the
// ancestors of the two parents per family. An individual whose F is
// predefined keeps it as its g. The families of one generation are worked
// on by `threads` workers; the values do not depend on it. Nothing when the
// user cancelled.
std::optional<std::vector<float>> PurgedInbreeding(const Pedigree& ped, const AncestorSubset& subset,
                                                   float d, int threads, Progress& progress);

// A founder for partial inbreeding: an individual with both parents unknown,
// or the unknown sire (side 1) or dam (side 2) of an individual with one
// known parent.
struct FounderOrigin {
  std::int32_t local = 0;  // the founder, or the individual whose parent it is
  int side = 0;            // 0: the individual itself; 1 unknown sire; 2 unknown dam
  double contribution = 0; // expected share of the reference's genes
};

// The founders of the reference individuals (local numbers), with the
// largest contributions first (ties by local number, sire before dam); the
// first `limit` of them, or all when `limit` is 0.
std::vector<FounderOrigin> FounderOrigins(const AncestorSubset& subset,
                                          const std::vector<std::int32_t>& reference, std::size_t limit);

// Gulisija & Crow (2007): F_i(j), the probability that i is homozygous for
// alleles from founder j, for every individual (by local number) and each
// of `founders`: entry [local * founders.size() + j]. The coefficients of
// an individual add up to its F over all founders. Nothing when cancelled.
std::optional<std::vector<float>> PartialInbreeding(const Pedigree& ped, const AncestorSubset& subset,
                                                    const std::vector<FounderOrigin>& founders, int threads,
                                                    Progress& progress);

// Gene dropping (Baumung et al. 2015): per reference individual, in the
// order of `reference`, the frequency over the replicates of ancestral
// inbreeding (an allele homozygous in at least one ancestor, averaged over
// the two alleles) with its standard error, of homozygosity by descent,
// and Kalinowski et al. (2000)'s split of it into new (neither copy had
// been homozygous in an ancestor) and old inbreeding.
struct GeneDropFigures {
  std::vector<double> ancestral;
  std::vector<double> ancestralSe;
  std::vector<double> f;
  std::vector<double> fNew;
  std::vector<double> fOld;
};

// One seed per replicate, drawn in order from the caller's generator, so the
// figures do not depend on `threads`.
std::optional<GeneDropFigures> DropGenes(const Pedigree& ped, const AncestorSubset& subset,
                                         const std::vector<std::int32_t>& reference,
                                         const std::vector<std::uint32_t>& seeds, int threads,
                                         Progress& progress);

// Gene-dropping replicates a run may ask for.
inline constexpr std::int32_t kMaxGeneDrops = 1000000;

// Tools > Inbreeding > Purging Analysis: asks for the reference (a group or
// every individual) and the settings (the purging coefficient, the number of
// gene-dropping replicates, all founders or the 20 that contribute most),
// then reports every figure per individual and the means per group, with the
// tables "summary", "purging", "purging_groups" (with a Group column),
// "founders" and "partial_inbreeding".
void OnPurgingAnalysis(CommandContext& ctx);
// Its parameters: the reference, the settings form's values, and the seed
// file that kinvar-cli may name.
CommandDeclaration PurgingDeclaration();

}  // namespace kinvar
