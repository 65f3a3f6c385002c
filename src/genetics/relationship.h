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
// - Values are of one type T throughout, 32-bit floats (KernelPedigree) or,
//   for lines whose D cancels towards 0, 64-bit ones (KernelPedigreeDouble),
//   rounded at every store, in this order:
//   backward, for k from the start down to 1 with w[k] != 0, w[sire] += w[k]/2
//   and w[dam] += w[k]/2 (known parents only), then w[k] = d[k] * w[k];
//   forward, for k from 1 up, w[k] += w[sire]/2 then w[k] += w[dam]/2.
// - The work vector w is zero between uses; whoever starts a column clears
//   the entries it touched before the next one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

struct KernelParents {
  std::int32_t sire = 0;
  std::int32_t dam = 0;
};

template <class T>
struct BasicKernelPedigree {
  using Value = T;
  using Parents = KernelParents;
  std::vector<Parents> parents;  // m + 1 entries, parents[0] = {0, 0}
  std::vector<T> d;              // within-family variances, d[0] unused
  std::vector<T> w;              // the work vector

  std::int32_t size() const { return static_cast<std::int32_t>(parents.size()) - 1; }
  T& at(std::int32_t k) { return w[static_cast<std::size_t>(k)]; }
  T at(std::int32_t k) const { return w[static_cast<std::size_t>(k)]; }
};

using KernelPedigree = BasicKernelPedigree<float>;
using KernelPedigreeDouble = BasicKernelPedigree<double>;

// Backward pass from `from` down to 1 over what w holds; entries that are
// zero contribute nothing and are skipped.
template <class T>
void BackwardPass(BasicKernelPedigree<T>& kp, std::int32_t from);
// Backward pass over all of 1..m from the indicator of the members of one
// group (groupOf[k] == group): 1 is added to w[k] when the pass reaches k,
// after the shares of k's progeny.
template <class T>
void BackwardPassAdding(BasicKernelPedigree<T>& kp, std::span<const std::int32_t> groupOf,
                        std::int32_t group);
// Backward pass from m with no zero test, for a start vector without zeros.
template <class T>
void DenseBackwardPass(BasicKernelPedigree<T>& kp);
// The forward update of one index; w of its parents must be final.
template <class T>
inline void ForwardStep(BasicKernelPedigree<T>& kp, std::int32_t k) {
  const KernelParents p = kp.parents[static_cast<std::size_t>(k)];
  T& x = kp.at(k);
  x = x + T(0.5) * kp.at(p.sire);
  x = x + T(0.5) * kp.at(p.dam);
}
// Forward pass over 1..last: afterwards w[k] = (A x)_k for every k <= last.
template <class T>
void ForwardPass(BasicKernelPedigree<T>& kp, std::int32_t last);
// Column c of A over 1..last (w must be zero): w[k] = a(k, c) for k <= last.
template <class T>
void ComputeColumn(BasicKernelPedigree<T>& kp, std::int32_t c, std::int32_t last);
// Sets w[0..last] back to zero.
template <class T>
void ClearWork(BasicKernelPedigree<T>& kp, std::int32_t last);

// The block kernel: W columns side by side, w[k * W + l] being entry k of
// column l. Each lane gets exactly the operations, order and roundings of
// the one-column passes above, so every column has the bits it would have
// alone; a lane whose entry is zero is left as it is, as the one-column
// backward pass skips it (a product by a negative d would turn 0 into -0).
// Row 0 is the unknown parent's and stays zero.
template <int W, class T = float>
using Lanes [[gnu::vector_size(W * sizeof(T))]] = T;

// The backward step of index k for every lane; false (and nothing done)
// when all its lanes are zero.
template <int W, class T>
inline bool BlockBackwardStep(T* w, KernelParents p, T d, std::int32_t k) {
  T* row = w + static_cast<std::size_t>(k) * W;
  Lanes<W, T> x;
  std::memcpy(&x, row, sizeof x);
  const auto nonzero = x != T(0);
  bool any = false;
  for (int l = 0; l < W; ++l) any = any || nonzero[l] != 0;
  if (!any) return false;
  const Lanes<W, T> half = T(0.5) * x;
  for (const std::int32_t parent : {p.sire, p.dam}) {
    if (parent == 0) continue;
    T* q = w + static_cast<std::size_t>(parent) * W;
    Lanes<W, T> y;
    std::memcpy(&y, q, sizeof y);
    y = y + half;
    std::memcpy(q, &y, sizeof y);
  }
  x = nonzero ? d * x : x;
  std::memcpy(row, &x, sizeof x);
  return true;
}

// The forward step of index k for every lane; the parents' rows must be
// final.
template <int W, class T>
inline void BlockForwardStep(T* w, KernelParents p, std::int32_t k) {
  T* row = w + static_cast<std::size_t>(k) * W;
  Lanes<W, T> x, s, m;
  std::memcpy(&x, row, sizeof x);
  std::memcpy(&s, w + static_cast<std::size_t>(p.sire) * W, sizeof s);
  std::memcpy(&m, w + static_cast<std::size_t>(p.dam) * W, sizeof m);
  x = x + T(0.5) * s;
  x = x + T(0.5) * m;
  std::memcpy(row, &x, sizeof x);
}

// Forward steps of every index 1..last: the dense pass, where a block
// spends most of its time, so it uses the widest vector unit the processor
// has (W = 2, 4, 8 or 16).
template <int W, class T>
void BlockForwardPass(T* w, const KernelParents* parents, std::int32_t last);

// Columns `columns` (at most W) of A over 1..last side by side, through
// the variances kp.d: afterwards block[k * W + l] = a(k, columns[l]) for
// k <= last, the bits ComputeColumn gives. `block` holds (m + 1) * W zeros
// on entry; rows 0..max(last, largest column) are to be cleared after.
template <int W, class T>
void ComputeColumns(const BasicKernelPedigree<T>& kp, std::span<const std::int32_t> columns,
                    std::int32_t last, T* block);

// The whole pedigree by code, codes 1..upTo (records in code order), with the
// variances `d` by code (ped.d, or ped.dDouble for the kernel in doubles).
template <class T>
BasicKernelPedigree<T> WholePedigreeKernel(const Pedigree& ped, const std::vector<T>& d,
                                           std::int32_t upTo);

// The seeds and all their ancestors, numbered 1..m by ascending generation
// and, within one generation, by ascending code; parents therefore precede
// progeny. Built in time and memory that follow the subset (apart from the
// code map), so a small group of a large pedigree stays cheap.
template <class T>
struct BasicAncestorSubset {
  BasicKernelPedigree<T> kernel;      // by local number
  std::vector<RecIndex> recOf;        // local number -> record, recOf[0] unknown
  std::vector<std::int32_t> localOf;  // code -> local number, 0 = not taken

  std::int32_t LocalOf(const Rec& r) const { return localOf[static_cast<std::size_t>(r.code)]; }
};
using AncestorSubset = BasicAncestorSubset<float>;

// Needs the coefficients computed (ped.d); leaves every mark at 0.
AncestorSubset BuildAncestorSubset(Pedigree& ped, std::span<const RecIndex> seeds);
// The same through the variances `d` by code (ped.d or ped.dDouble).
template <class T>
BasicAncestorSubset<T> BuildAncestorSubset(Pedigree& ped, std::span<const RecIndex> seeds,
                                           const std::vector<T>& d);

// a(x, y) for two records through the variances `d` by code (ped.d): column
// of the larger code, forward pass up to the smaller one.
template <class T>
T PairRelationship(const Pedigree& ped, const std::vector<T>& d, RecIndex x, RecIndex y);

// r = a / sqrt((1 + Fx)(1 + Fy)), each step rounded to the type's precision.
float RelationshipCoefficient(float a, float fx, float fy);
double RelationshipCoefficient(double a, double fx, double fy);

}  // namespace kinvar
