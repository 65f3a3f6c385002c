// Relationships through A = T D T' without forming A: one backward pass
// gives D T' x, one forward pass T (D T' x). Every relationship, matrix and
// average of the program goes through the passes below, with the D that the
// inbreeding coefficients were computed with (ped.d), so a(x, x) = 1 + F(x)
// for every x, predefined F included.
//
// Conventions of this header:
// - A KernelPedigree numbers its individuals 1..m with parents before
//   progeny: the whole pedigree by chronological code, or an ancestor subset
//   by local number. Index 0 is the unknown parent: no parents, w[0] = 0.
// - All values are 32-bit floats rounded at every store, in this order:
//   backward, for k from the start down to 1 with w[k] != 0, w[sire] += w[k]/2
//   and w[dam] += w[k]/2 (known parents only), then w[k] = d[k] * w[k];
//   forward, for k from 1 up, w[k] += w[sire]/2 then w[k] += w[dam]/2.
// - The work vector w is zero between uses; whoever starts a column clears
//   the entries it touched before the next one.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

struct KernelPedigree {
  struct Parents {
    std::int32_t sire = 0;
    std::int32_t dam = 0;
  };
  std::vector<Parents> parents;  // m + 1 entries, parents[0] = {0, 0}
  std::vector<float> d;          // within-family variances, d[0] unused
  std::vector<float> w;          // the work vector

  std::int32_t size() const { return static_cast<std::int32_t>(parents.size()) - 1; }
  float& at(std::int32_t k) { return w[static_cast<std::size_t>(k)]; }
  float at(std::int32_t k) const { return w[static_cast<std::size_t>(k)]; }
};

// Backward pass from `from` down to 1 over what w holds; entries that are
// zero contribute nothing and are skipped.
void BackwardPass(KernelPedigree& kp, std::int32_t from);
// Backward pass over all of 1..m from the indicator of the members of one
// group (groupOf[k] == group): 1 is added to w[k] when the pass reaches k,
// after the shares of k's progeny.
void BackwardPassAdding(KernelPedigree& kp, std::span<const std::int16_t> groupOf,
                        std::int16_t group);
// Backward pass from m with no zero test, for a start vector without zeros.
void DenseBackwardPass(KernelPedigree& kp);
// The forward update of one index; w of its parents must be final.
inline void ForwardStep(KernelPedigree& kp, std::int32_t k) {
  const KernelPedigree::Parents p = kp.parents[static_cast<std::size_t>(k)];
  float& x = kp.at(k);
  x = x + 0.5f * kp.at(p.sire);
  x = x + 0.5f * kp.at(p.dam);
}
// Forward pass over 1..last: afterwards w[k] = (A x)_k for every k <= last.
void ForwardPass(KernelPedigree& kp, std::int32_t last);
// Column c of A over 1..last (w must be zero): w[k] = a(k, c) for k <= last.
void ComputeColumn(KernelPedigree& kp, std::int32_t c, std::int32_t last);
// Sets w[0..last] back to zero.
void ClearWork(KernelPedigree& kp, std::int32_t last);

// The whole pedigree by code, codes 1..upTo (records in code order), with the
// variances `d` by code (ped.d).
KernelPedigree WholePedigreeKernel(const Pedigree& ped, const std::vector<float>& d,
                                   std::int32_t upTo);

// The seeds and all their ancestors, numbered 1..m by ascending generation
// and, within one generation, by ascending code; parents therefore precede
// progeny. Built in time and memory that follow the subset (apart from the
// code map), so a small group of a large pedigree stays cheap.
struct AncestorSubset {
  KernelPedigree kernel;              // by local number
  std::vector<RecIndex> recOf;        // local number -> record, recOf[0] unknown
  std::vector<std::int32_t> localOf;  // code -> local number, 0 = not taken

  std::int32_t LocalOf(const Rec& r) const { return localOf[static_cast<std::size_t>(r.code)]; }
};

// Needs the coefficients computed (ped.d); leaves every mark at 0.
AncestorSubset BuildAncestorSubset(Pedigree& ped, std::span<const RecIndex> seeds);

// a(x, y) for two records through the variances `d` by code (ped.d): column
// of the larger code, forward pass up to the smaller one.
float PairRelationship(const Pedigree& ped, const std::vector<float>& d, RecIndex x, RecIndex y);

// r = a / sqrt((1 + Fx)(1 + Fy)), each step rounded to float.
float RelationshipCoefficient(float a, float fx, float fy);

}  // namespace kinvar
