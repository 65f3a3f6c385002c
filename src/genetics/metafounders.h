// The metafounder model of A: A^G = T L T' over the pedigree augmented with
// the metafounders as parentless pseudo-individuals whose block of L is
// Gamma. For the real individuals that is
//   a(x, y) = a0(x, y) + q_x' Gamma q_y,
// a0 being what the passes over the real pedigree give (a metafounder
// parent counted as unknown) through the D of this model, and q_x the
// fractions of x's genes from each metafounder. The D of the model is
// 1 - (a_ss + a_dd)/4, a metafounder parent p giving a_pp = Gamma_pp.
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree/genetic_groups.h"
#include "pedigree/pedigree.h"

namespace kinvar {

// The fractions of one row that are not 0, by ascending metafounder.
template <class T>
struct FractionRow {
  const std::int32_t* index = nullptr;
  const T* value = nullptr;
  std::size_t size = 0;
};

template <class T>
struct MetafounderModel {
  std::int32_t g = 0;    // 0: no metafounders, every term below 0
  std::int32_t n = 0;    // individuals
  std::vector<T> gamma;  // g x g by row
  // The fractions of each row that are not 0: rows 0..n by code (0 the
  // unknown parent, none), then row n + 1 + k the metafounder k itself (the
  // unit vector). An individual's genes come from the few metafounders
  // behind its unknown ancestors, so a row of g values was mostly zeros,
  // and n times g of them outgrew the memory with thousands of
  // metafounders. Row r <= n holds entries [first[r], first[r + 1]).
  std::vector<std::int64_t> first;
  std::vector<std::int32_t> index;
  std::vector<T> value;
  std::vector<std::int32_t> metafounders;  // 0..g-1, the unit rows' entries
  T one = T(1);

  bool Active() const { return g > 0; }
  FractionRow<T> Row(std::int32_t row) const {
    if (row > n) return {metafounders.data() + (row - n - 1), &one, 1};
    const auto r = static_cast<std::size_t>(row);
    const auto begin = static_cast<std::size_t>(first[r]);
    return {index.data() + begin, value.data() + begin, static_cast<std::size_t>(first[r + 1]) - begin};
  }
  // q_x' Gamma q_y for two rows: the dense sums over every metafounder with
  // their zero terms left out, which change no bit; it costs the product of
  // the two rows' lengths.
  T Between(std::int32_t x, std::int32_t y) const;
  // The row of a parent of the record `ri`: its code when known, its
  // metafounder's row, or 0.
  std::int32_t ParentRow(const Pedigree& ped, RecIndex ri, ParentRole role) const;
  // q_s' Gamma q_d for the parents of the record `ri`.
  T OfParents(const Pedigree& ped, RecIndex ri) const {
    return Between(ParentRow(ped, ri, ParentRole::kSire), ParentRow(ped, ri, ParentRole::kDam));
  }
  // F of a metafounder parent for D = 1/2 - (Fs + Fd)/4: Gamma_pp - 1;
  // `unknown` (the unknown parent's -1) for a parent without one.
  T ParentF(const Pedigree& ped, RecIndex ri, ParentRole role, T unknown) const;
};

// Needs `records` in code order; an inactive model when the pedigree has no
// metafounders.
template <class T>
MetafounderModel<T> BuildMetafounderModel(const Pedigree& ped);

// Gamma inverse by Cholesky in doubles; empty when Gamma is singular.
std::vector<double> InverseOfGamma(const GeneticGroups& groups);

// The one line the reports give about the metafounders; empty without.
std::string MetafounderLine(const Pedigree& ped);

}  // namespace kinvar

namespace kinvar {

// Adds the metafounders' part to the values a0 the passes give, in the
// precision of the run; adds nothing without metafounders.
struct BaseRelationships {
  MetafounderModel<float> single;
  MetafounderModel<double> twice;

  explicit BaseRelationships(const Pedigree& ped);
  float Add(float a0, const Rec& x, const Rec& y) const {
    return single.Active() ? a0 + single.Between(x.code, y.code) : a0;
  }
  double Add(double a0, const Rec& x, const Rec& y) const {
    return twice.Active() ? a0 + twice.Between(x.code, y.code) : a0;
  }
};

}  // namespace kinvar
