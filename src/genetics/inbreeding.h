// Inbreeding coefficients of every individual without a predefined F.
//
// F of an individual is half the numerator relationship of its parents. One
// column of A is computed per distinct grouping parent (the sex through which
// fewer ancestors were reached), over the ancestors of the evaluated
// individuals only, as T D T' e: a backward pass through the ancestors, a
// scaling by the within-family variances D, and a forward pass down to the
// mates. All values are 32-bit floats rounded at each store, in this order.
#pragma once

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

// Needs `records` in code order. True when done: every F final, the counters
// nInbreds, nEvaluated and nInbredsEvaluated set and inbreedingComputed true.
// False when the user cancelled: the counters are 0 and inbreedingComputed
// false (some F may be new; the next run recomputes all of them).
bool ComputeInbreeding(Pedigree& ped, Progress& progress);

// Discards every predefined F: each F becomes 0 and computed from then on,
// and the pedigree counts as one without an F column.
void DiscardPredefinedF(Pedigree& ped);

}  // namespace kinvar
