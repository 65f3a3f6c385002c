// Inbreeding coefficients of every individual without a predefined F.
//
// F of an individual is half the numerator relationship of its parents. One
// column of A is computed per distinct grouping parent (the sex through which
// fewer ancestors were reached), over the ancestors of the evaluated
// individuals only, as T D T' e: a backward pass through the ancestors, a
// scaling by the within-family variances D, and a forward pass down to the
// mates. All values are 32-bit floats rounded at each store, in this order;
// in double precision the same passes run in 64-bit floats, whose results
// the coefficients' floats then hold rounded.
//
// A predefined F is the individual's own inbreeding: its diagonal element of
// A is 1 + F, so it raises the relationships through it exactly as a
// computed F would. Its D is chosen to give that diagonal (1 + F for a
// founder); its progeny's D uses it like any parent's F.
#pragma once

#include <optional>
#include <string>

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

// What a run in blocks did, for the benchmarks: the cost is about the rows
// its passes went through (a row holds every lane of a block).
struct InbreedingWork {
  std::int64_t ancestors = 0;  // the reduced pedigree
  std::int64_t columns = 0;    // one per family
  std::int64_t blocks = 0;
  std::int64_t backwardRows = 0;
  std::int64_t forwardRows = 0;
};

// The pedigree size from which each further worker of the inbreeding
// computation pays for itself.
inline constexpr std::int64_t kIndividualsPerInbreedingWorker = 250'000;

struct InbreedingOptions {
  // Runs the backward pass over every index below the grouping parent and
  // the forward pass over every index up to its largest mate, instead of
  // only over the ancestors of the grouping parent and of the mates. The
  // stored values are the same bit for bit; this variant is the reference
  // that the faster one is checked against, and quadratic on deep pedigrees.
  bool fullPasses = false;
  // Lets a predefined F enter only through the D of the individual's
  // progeny and leaves its own D at 1/2 - (Fs + Fd)/4 (1 for a founder).
  // The diagonal of such an individual then falls below 1 + F (below 1 for
  // its non-inbred progeny), and its F lowers its descendants' F instead of
  // raising them; kept only for comparison with that way of counting.
  bool predefinedOnlyInProgenyD = false;
  // When the restricted forward pass gives up finding the mates' ancestors
  // and steps through the whole range instead: once they fill more than a
  // 1/denseShare of it (0: never). After a family that went that way the
  // next denseRecheck - 1 families do so without looking. Only the speed
  // depends on these; tests vary them to reach both ways.
  int denseShare = 16;
  int denseRecheck = 8;
  // Columns computed side by side in one sweep (rounded down to 16, 8, 4
  // or 2); 1 computes them one at a time, the reference path. The values
  // are the same bit for bit either way. Four lanes keep a herd's block in
  // the processor's second-level cache, and were fastest on herd books.
  int blockWidth = 4;
  // Waves of at most this many families compute their columns one after
  // another, each from what the one before left (only the entries whose
  // inputs changed are stepped again), instead of in blocks: a line of
  // full-sib matings is one family per wave, and near linear in its depth
  // that way where the blocks' passes are quadratic. The values are the same
  // bit for bit either way.
  std::int64_t chainedWave = 1;
  // Workers for the blocks, 0 = one per core; the values do not depend on it.
  int threads = 0;
  // At most one worker per this many individuals: on a smaller pedigree the
  // workers' start and their own work vectors cost more than they save, so
  // threads never make a run slower. Tests set 1 to reach the threaded path
  // on small pedigrees.
  std::int64_t individualsPerWorker = kIndividualsPerInbreedingWorker;
  // Computes in 64-bit floats (ped.fDouble, ped.dDouble), storing the
  // coefficients and D rounded to float beside them.
  bool doublePrecision = false;
  // When set, a run in blocks reports its work here.
  InbreedingWork* work = nullptr;
};

// Needs `records` in code order. The first form takes the thread count and
// the precision from the pedigree's settings. True when done: every F final, the counters
// nInbreds, nEvaluated and nInbredsEvaluated set and inbreedingComputed true.
// False when the user cancelled: the counters are 0 and inbreedingComputed
// false (some F may be new; the next run recomputes all of them).
bool ComputeInbreeding(Pedigree& ped, Progress& progress);
bool ComputeInbreeding(Pedigree& ped, Progress& progress, const InbreedingOptions& options);

// Discards every predefined F: each F becomes 0 and computed from then on,
// and the pedigree counts as one without an F column.
void DiscardPredefinedF(Pedigree& ped);

// F of a record in the precision it was computed in (a float widened).
inline double FOfRecord(const Pedigree& ped, const Rec& r) {
  return ped.InDouble() ? ped.fDouble[static_cast<std::size_t>(r.code)] : static_cast<double>(r.f);
}

// In single precision, the individual of lowest code whose D fell below
// kSingleVarianceBound; nothing in double precision or when none did. A
// negative D does not count: it comes from a predefined F below what the
// parents' relationship gives, which no precision mends.
std::optional<RecIndex> FirstSmallVariance(const Pedigree& ped);
// The one warning line about it, without markup; empty when there is none.
std::string SmallVarianceWarning(const Pedigree& ped);

}  // namespace kinvar
