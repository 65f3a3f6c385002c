#include "genetics/relationship.h"

#include <algorithm>
#include <cmath>

#include "genetics/metafounders.h"

namespace kinvar {

namespace {

// Shares x = w[k] between k's known parents, then scales w[k] by d[k].
template <class T>
inline void BackwardStep(BasicKernelPedigree<T>& kp, std::int32_t k, T x) {
  T* w = kp.w.data();
  const KernelParents p = kp.parents[static_cast<std::size_t>(k)];
  if (p.sire != 0) w[p.sire] = w[p.sire] + T(0.5) * x;
  if (p.dam != 0) w[p.dam] = w[p.dam] + T(0.5) * x;
  w[k] = kp.d[static_cast<std::size_t>(k)] * x;
}

}  // namespace

template <class T>
void BackwardPass(BasicKernelPedigree<T>& kp, std::int32_t from) {
  for (std::int32_t k = from; k >= 1; --k) {
    const T x = kp.at(k);
    if (x != T(0)) BackwardStep(kp, k, x);
  }
}

template <class T>
void BackwardPassAdding(BasicKernelPedigree<T>& kp, std::span<const std::int32_t> groupOf,
                        std::int32_t group) {
  for (std::int32_t k = kp.size(); k >= 1; --k) {
    if (groupOf[static_cast<std::size_t>(k)] == group) kp.at(k) = kp.at(k) + T(1);
    const T x = kp.at(k);
    if (x != T(0)) BackwardStep(kp, k, x);
  }
}

template <class T>
void DenseBackwardPass(BasicKernelPedigree<T>& kp) {
  for (std::int32_t k = kp.size(); k >= 1; --k) BackwardStep(kp, k, kp.at(k));
}

template <class T>
void ForwardPass(BasicKernelPedigree<T>& kp, std::int32_t last) {
  T* w = kp.w.data();
  const KernelParents* parents = kp.parents.data();
  for (std::int32_t k = 1; k <= last; ++k) {
    const KernelParents p = parents[k];
    w[k] = w[k] + T(0.5) * w[p.sire];
    w[k] = w[k] + T(0.5) * w[p.dam];
  }
}

// Wider vector units change nothing in the values: the same single
// operations, lane by lane, and no contraction into fused multiply-adds.
// Clang cannot clone templates for several targets; its builds (the fuzz
// targets) keep the default one.
#if defined(__clang__)
#define KINVAR_AVX2_CLONES
#else
#define KINVAR_AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#endif

template <int W, class T>
KINVAR_AVX2_CLONES void BlockForwardPass(T* w, const KernelParents* parents, std::int32_t last) {
  for (std::int32_t k = 1; k <= last; ++k) BlockForwardStep<W>(w, parents[k], k);
}

template <int W, class T>
void ComputeColumns(const BasicKernelPedigree<T>& kp, std::span<const std::int32_t> columns,
                    std::int32_t last, T* block) {
  std::int32_t from = 0;
  for (std::size_t l = 0; l < columns.size(); ++l) {
    block[static_cast<std::size_t>(columns[l]) * W + l] = T(1);
    from = std::max(from, columns[l]);
  }
  for (std::int32_t k = from; k >= 1; --k) {
    BlockBackwardStep<W>(block, kp.parents[static_cast<std::size_t>(k)],
                         kp.d[static_cast<std::size_t>(k)], k);
  }
  BlockForwardPass<W>(block, kp.parents.data(), last);
}

template <class T>
void ComputeColumn(BasicKernelPedigree<T>& kp, std::int32_t c, std::int32_t last) {
  kp.at(c) = T(1);
  BackwardPass(kp, c);
  ForwardPass(kp, last);
}

template <class T>
void ClearWork(BasicKernelPedigree<T>& kp, std::int32_t last) {
  std::fill(kp.w.begin(), kp.w.begin() + last + 1, T(0));
}

template <class T>
BasicKernelPedigree<T> WholePedigreeKernel(const Pedigree& ped, const std::vector<T>& d,
                                           std::int32_t upTo) {
  const auto size = static_cast<std::size_t>(upTo) + 1;
  BasicKernelPedigree<T> kp;
  kp.parents.resize(size);
  kp.d.assign(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(size));
  kp.w.assign(size, T(0));
  for (std::int32_t k = 1; k <= upTo; ++k) {
    const Rec& r = ped.byCode(k - 1);
    kp.parents[static_cast<std::size_t>(k)] = {ped.rec(r.sire).code, ped.rec(r.dam).code};
  }
  return kp;
}

#define KINVAR_KERNEL_INSTANCES(T)                                                             \
  template void BackwardPass(BasicKernelPedigree<T>&, std::int32_t);                          \
  template void BackwardPassAdding(BasicKernelPedigree<T>&, std::span<const std::int32_t>,    \
                                   std::int32_t);                                             \
  template void DenseBackwardPass(BasicKernelPedigree<T>&);                                   \
  template void ForwardPass(BasicKernelPedigree<T>&, std::int32_t);                           \
  template void ComputeColumn(BasicKernelPedigree<T>&, std::int32_t, std::int32_t);           \
  template void ClearWork(BasicKernelPedigree<T>&, std::int32_t);                             \
  template BasicKernelPedigree<T> WholePedigreeKernel(const Pedigree&, const std::vector<T>&, \
                                                      std::int32_t);                          \
  template T PairRelationship(const Pedigree&, const std::vector<T>&, RecIndex, RecIndex);    \
  template BasicAncestorSubset<T> BuildAncestorSubset(Pedigree&, std::span<const RecIndex>,   \
                                                      const std::vector<T>&);                 \
  template void BlockForwardPass<2, T>(T*, const KernelParents*, std::int32_t);               \
  template void BlockForwardPass<4, T>(T*, const KernelParents*, std::int32_t);               \
  template void BlockForwardPass<8, T>(T*, const KernelParents*, std::int32_t);               \
  template void BlockForwardPass<16, T>(T*, const KernelParents*, std::int32_t);              \
  template void ComputeColumns<4, T>(const BasicKernelPedigree<T>&,                           \
                                     std::span<const std::int32_t>, std::int32_t, T*);        \
  template void ComputeColumns<8, T>(const BasicKernelPedigree<T>&,                           \
                                     std::span<const std::int32_t>, std::int32_t, T*);        \
  template void ComputeColumns<16, T>(const BasicKernelPedigree<T>&,                          \
                                      std::span<const std::int32_t>, std::int32_t, T*);

namespace {

// The seeds and their ancestors by a walk up the parent links, in no order;
// every mark is 0 again afterwards.
std::vector<RecIndex> CollectWithAncestors(Pedigree& ped, std::span<const RecIndex> seeds) {
  std::vector<RecIndex> taken;
  std::vector<RecIndex> stack;
  const auto take = [&](RecIndex ri) {
    if (ri == kUnknownParent || ped.rec(ri).mark != 0) return;
    ped.rec(ri).mark = 1;
    taken.push_back(ri);
    stack.push_back(ri);
  };
  for (const RecIndex s : seeds) take(s);
  while (!stack.empty()) {
    const Rec& r = ped.rec(stack.back());
    stack.pop_back();
    take(r.sire);
    take(r.dam);
  }
  for (const RecIndex ri : taken) ped.rec(ri).mark = 0;
  return taken;
}

}  // namespace

AncestorSubset BuildAncestorSubset(Pedigree& ped, std::span<const RecIndex> seeds) {
  return BuildAncestorSubset(ped, seeds, ped.d);
}

template <class T>
BasicAncestorSubset<T> BuildAncestorSubset(Pedigree& ped, std::span<const RecIndex> seeds,
                                           const std::vector<T>& d) {
  struct Keyed {
    std::uint64_t key;  // generation, then code
    RecIndex rec;
  };
  std::vector<Keyed> order;
  for (const RecIndex ri : CollectWithAncestors(ped, seeds)) {
    const Rec& r = ped.rec(ri);
    order.push_back(
        {(static_cast<std::uint64_t>(r.generation) << 32) | static_cast<std::uint32_t>(r.code),
         ri});
  }
  std::sort(order.begin(), order.end(),
            [](const Keyed& a, const Keyed& b) { return a.key < b.key; });

  BasicAncestorSubset<T> subset;
  const std::size_t size = order.size() + 1;
  subset.localOf.assign(static_cast<std::size_t>(ped.nTotal) + 1, 0);
  subset.recOf.assign(size, kUnknownParent);
  subset.kernel.parents.assign(size, {});
  subset.kernel.d.assign(size, T(0));
  subset.kernel.w.assign(size, T(0));
  for (std::size_t l = 1; l < size; ++l) {
    const Rec& r = ped.rec(order[l - 1].rec);
    subset.recOf[l] = order[l - 1].rec;
    subset.localOf[static_cast<std::size_t>(r.code)] = static_cast<std::int32_t>(l);
    // Parents come earlier in the order, so their local numbers are known.
    subset.kernel.parents[l] = {subset.LocalOf(ped.rec(r.sire)), subset.LocalOf(ped.rec(r.dam))};
    subset.kernel.d[l] = d[static_cast<std::size_t>(r.code)];
  }
  return subset;
}

template <class T>
T PairRelationship(const Pedigree& ped, const std::vector<T>& d, RecIndex x, RecIndex y) {
  const std::int32_t c = std::max(ped.rec(x).code, ped.rec(y).code);
  const std::int32_t e = std::min(ped.rec(x).code, ped.rec(y).code);
  BasicKernelPedigree<T> kp = WholePedigreeKernel(ped, d, c);
  ComputeColumn(kp, c, e);
  if (!ped.geneticGroups.Metafounders()) return kp.at(e);
  const MetafounderModel<T> mf = BuildMetafounderModel<T>(ped);
  return kp.at(e) + mf.Between(c, e);
}

float RelationshipCoefficient(float a, float fx, float fy) {
  const float p = (1.0f + fx) * (1.0f + fy);
  const float q = std::sqrt(p);
  return a / q;
}

double RelationshipCoefficient(double a, double fx, double fy) {
  const double p = (1.0 + fx) * (1.0 + fy);
  return a / std::sqrt(p);
}

KINVAR_KERNEL_INSTANCES(float)
KINVAR_KERNEL_INSTANCES(double)

}  // namespace kinvar
