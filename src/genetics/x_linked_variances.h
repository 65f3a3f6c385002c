// The within-family variances of the X-linked relationships S = T D T',
// for its sparse inverse.
//
// A male's D is 1 - s(dam, dam), a female's 1/2 - 1/4 s(sire, sire) -
// 1/4 s(dam, dam); only the dams' diagonal enters, and a dam's diagonal is
// 1/2 [1 + s(her sire, her dam)]. Those relationships are found as in the
// inbreeding coefficients: one column of S per sire of such a dam, through
// a backward pass over the sire's ancestors, a scaling by D and a forward
// pass over his mates' ancestors. In these passes a male stands with his
// dam as both parents, so that the half from each gives her the whole of
// his X.
//
// Columns are computed side by side in blocks of lanes, the blocks of one
// wave on several threads: a wave holds the sires whose ancestors' D are all
// known once the earlier waves are done. The values do not depend on the
// block width or the threads. All values are of one type T (32-bit floats,
// or 64-bit ones in double precision), rounded at each store.
#pragma once

#include <vector>

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

struct XLinkedOptions {
  int blockWidth = 4;  // 2, 4, 8 or 16 columns per sweep (rounded down)
  int threads = 0;     // 0: one per core
  // The forward pass of a block steps through the whole range once the
  // mates' ancestors fill more than 1/denseShare of it (0: never).
  int denseShare = 16;
};

// Needs `records` in code order and the sex of every individual by code
// (index code - 1). Fills `d` by code (d[0] unused); false when the user
// cancelled. Steps `progress` up to nTotal - 1.
template <class T>
bool XLinkedVariances(const Pedigree& ped, const std::vector<Sex>& sex,
                      const XLinkedOptions& options, std::vector<T>& d, Progress& progress);

}  // namespace kinvar
