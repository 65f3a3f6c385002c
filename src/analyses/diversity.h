// The genetic diversity summary of a reference population (a group, or every
// individual): pedigree depth and completeness, founder equivalent (fe),
// effective number of ancestors (fa), founder genome equivalent (fg), mean
// inbreeding and coancestry, gene diversity, the effective population size
// from the individual increase in inbreeding (Ne), and the same trend figures
// for every group.
//
// Conventions of this header:
// - Codes are the chronological codes 1..nTotal (records in code order);
//   vectors "by code" have nTotal + 1 entries, entry 0 (the unknown parent)
//   unused. A founder has both parents unknown.
// - One model of A: fe and fg are computed exactly as gene origin computes
//   them for the same group (its 32-bit contributions, and the engine's mean
//   coancestry through ped.d), mean F is the program's F.
// - Generation equivalents are 32-bit floats as the structure census keeps
//   them; the fa search works in doubles on contributions scaled by the
//   number of members, so that with the few dozen generations of real
//   pedigrees its sums of halves are exact and ties stay ties.
// - Sums, means and the summary's figures are doubles.
#pragma once

#include <cstdint>
#include <vector>

#include "analyses/command_context.h"
#include "analyses/generation_interval.h"
#include "genetics/relationship.h"
#include "report/progress.h"

namespace kinvar {

// The fa search goes on until every gene is explained, but chooses at most
// this many ancestors: beyond it fa is reported as the bounds it lies in.
inline constexpr int kMaxAncestorRounds = 100000;
// The chosen ancestors the report lists.
inline constexpr int kListedAncestors = 20;
// The most groups of the trends table whose fa is searched for, the first in
// the table: each search costs up to a pass over the group's ancestors per
// ancestor chosen, so that groups spread over a deep herd book take
// milliseconds each, and a group per animal would take minutes. Birth years
// and herds come in tens to a few thousand, as many as averages between
// groups list; beyond these the rows have every other figure.
inline constexpr std::int64_t kMaxFaGroups = 2000;

struct ReferencePopulation {
  int groupNumber = kAllIndividuals;  // as in the file, or kAllIndividuals
  std::vector<std::uint8_t> byCode;   // 1 = member
  std::int32_t members = 0;
};

// `group` is an index into ped.groups; both need records in code order.
ReferencePopulation GroupReference(const Pedigree& ped, std::int32_t group);
ReferencePopulation WholeReference(const Pedigree& ped);
// The group of that number, or every individual for kAllIndividuals (a
// number that ChooseGroupOrAll accepted).
ReferencePopulation ReferenceOf(const Pedigree& ped, int groupNumber);

// By code: the equivalent complete generations (the sum over known ancestors
// of 1/2 to their distance) and the generations fully traced (both parents
// known, recursively). The longest ancestral path is Rec::generation.
struct GenerationDepths {
  std::vector<float> equivalent;
  std::vector<std::int32_t> fullyTraced;
};
GenerationDepths TraceGenerations(const Pedigree& ped);

// MacCluer's index over four generations for one individual: 2 Cs Cd /
// (Cs + Cd), Cs and Cd the mean share of known ancestors per generation on
// the sire's and the dam's side (generation 1 being the parent itself); 0
// when a side is empty.
double CompletenessIndex(const Pedigree& ped, const Rec& r);

struct ChosenAncestor {
  RecIndex rec = kUnknownParent;
  double contribution = 0.0;  // q: the marginal contribution
};

// Boichard's effective number of ancestors. When the search stops at its
// limit, the q still to come are unknown but add up to 1 - explained and are
// each at most a candidate's current bound: fa is then only known to lie
// between faLower and fa (diversity_ancestors.cpp gives the bounds).
struct EffectiveAncestors {
  std::vector<ChosenAncestor> chosen;  // in the order chosen
  double fa = 0.0;                     // 1 / sum of q^2, or the upper bound
  double faLower = 0.0;                // fa itself when every gene is explained
  double explained = 0.0;              // sum of q
  std::int32_t halfExplainedBy = 0;    // fewest chosen with sum of q >= 0.5; 0 never
  bool stoppedAtLimit = false;         // the most rounds chosen and some q > 0 left
};

// Candidates are every individual of `subset` (the members and their
// ancestors): each round takes the largest q_k = p_k (1 - sum over chosen j
// of t(k, j)), ties to the lower code, in the pedigree where the chosen have
// unknown parents. `progress` (may be null) is stepped once per round, by
// the larger of the round and the explained share of kMaxAncestorRounds;
// false when the user cancelled.
// `plainRoute` traces each candidate's explained share afresh and passes
// each choice up through the chosen individual's ancestors at once, as deep
// pedigrees always do, instead of remembering the shares between rounds and
// passing choices up late; both give the same bits where the sums are exact
// (diversity_ancestors.cpp).
bool FindEffectiveAncestors(const Pedigree& ped, const AncestorSubset& subset,
                            const ReferencePopulation& ref, Progress* progress,
                            EffectiveAncestors& result, int maxRounds = kMaxAncestorRounds,
                            bool plainRoute = false);

// Whether the bounds agree to the precision figures are shown in.
bool FaIsExact(const EffectiveAncestors& a);

// Ne from the individual increase in inbreeding, dF = 1 - (1 - F)^(1/(t - 1))
// with t the equivalent complete generations, over members with t > 1. A
// figure that cannot be estimated is NaN, with the reason why.
enum class NeGap {
  kNone,
  kNoneTraced,   // no member with t > 1
  kNoIncrease,   // the mean dF is 0: no drift to measure
  kOneTraced,    // the standard error only: one member, no spread
};
struct PopulationSize {
  double ne = 0.0;             // 1 / (2 mean dF)
  double standardError = 0.0;  // 2 Ne^2 sd(dF) / sqrt(n), sd with n - 1
  std::int32_t used = 0;
  std::int32_t leftOut = 0;    // members with t <= 1
  NeGap neGap = NeGap::kNone;
  NeGap standardErrorGap = NeGap::kNone;
};
// The words a report shows for a figure that cannot be estimated.
const char* NeGapText(NeGap gap);
PopulationSize EstimateNe(const Pedigree& ped, const ReferencePopulation& ref,
                          const GenerationDepths& depths);

// Founder contributions as gene origin computes them: the founder
// equivalent and the founders whose contribution is above 0.
struct FounderSummary {
  double fe = 0.0;
  std::int32_t contributing = 0;
};
FounderSummary SummarizeFounders(const Pedigree& ped, const ReferencePopulation& ref);

// Mean coancestry over ordered pairs of members, self-pairs included, as the
// decomposition engine sums it.
double MeanCoancestry(const Pedigree& ped, const AncestorSubset& subset,
                      const ReferencePopulation& ref);

struct DiversitySummary {
  int groupNumber = kAllIndividuals;
  std::int32_t members = 0;
  double meanEquivalent = 0.0, meanFullyTraced = 0.0, meanMaximum = 0.0, completeness = 0.0;
  FounderSummary founders;
  EffectiveAncestors ancestors;
  double fg = 0.0;
  double meanF = 0.0, meanCoancestry = 0.0;
  PopulationSize ne;
  GenerationIntervals intervals{};  // the reference animals as progeny
};

// One row of the per-group trend table.
struct GroupTrend {
  int group = 0;
  std::int32_t members = 0;
  double meanF = 0.0, meanEquivalent = 0.0, fe = 0.0, fa = 0.0, ne = 0.0;  // ne NaN: not estimable
  double faLower = 0.0;  // fa itself unless the search stopped at its limit
  double completeness = 0.0;  // mean pedigree completeness index (4 generations)
  // The rate of inbreeding from the group before: (F - F') / (1 - F') with
  // F' that group's mean F; NaN for the first group (or after F' = 1).
  double deltaF = 0.0;
  bool faSearched = true;  // false beyond the most groups searched: fa NaN
};

// Need the coefficients computed and records in code order; false when the
// user cancelled.
bool ComputeDiversity(Pedigree& ped, const ReferencePopulation& ref, const GenerationDepths& depths,
                      Progress& progress, DiversitySummary& summary);
// One row per group in ascending group number, each group's search a stage
// of its own between the two percentages. Only the first `faGroups` rows get
// an fa search.
bool ComputeGroupTrends(Pedigree& ped, const GenerationDepths& depths, Progress& progress,
                        int firstPercent, int lastPercent, std::vector<GroupTrend>& rows,
                        std::int64_t faGroups = kMaxFaGroups);

// Both over the whole bar, the reference's search for fa beside the
// groups' searches; the same figures and rows.
bool ComputeDiversityAndTrends(Pedigree& ped, const ReferencePopulation& ref,
                               const GenerationDepths& depths, Progress& progress,
                               DiversitySummary& summary, std::vector<GroupTrend>& rows,
                               std::int64_t faGroups = kMaxFaGroups);

// Replaces the report (and its copy file).
void WriteDiversityReport(Pedigree& ped, const DiversitySummary& summary,
                          const std::vector<GroupTrend>& trends);
void OnDiversitySummary(CommandContext& ctx);
// Its parameter: the group, or all.
CommandDeclaration DiversityDeclaration();

}  // namespace kinvar
