// The inverse of the numerator relationship matrix, built directly from the
// pedigree with Henderson's rules extended for inbreeding: each individual
// contributes through 1/d, d being its within-family variance, the D of
// A = T D T' that the inbreeding coefficients went through (ped.d), so that
// this is the inverse of the A whose F and relationships the program
// reports, predefined F included.
//
// Conventions: rows and columns are 0-based (code - 1); only the lower
// triangle (column <= row) is held; values are 32-bit floats (64-bit in
// double precision), each product
// rounded before it is added, the additions to one element made in the
// order of the individuals that contribute them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"
#include "report/progress.h"

namespace kinvar {

template <class T>
struct BasicSparseElement {
  std::int32_t column;
  T value;
};

// Rows in order, each row's elements in strictly ascending column order; no
// element for a position that only ever received zero contributions.
template <class T>
struct BasicSparseLower {
  using Element = BasicSparseElement<T>;
  std::int32_t n = 0;
  std::vector<std::int64_t> rowStart;  // n + 1 entries into `elements`
  std::vector<Element> elements;

  std::span<const Element> Row(std::int32_t row) const {
    const auto r = static_cast<std::size_t>(row);
    return {elements.data() + rowStart[r], elements.data() + rowStart[r + 1]};
  }
  // Element (row, column) with column <= row; 0 when none is stored.
  T At(std::int32_t row, std::int32_t column) const {
    const auto cells = Row(row);
    const auto it = std::lower_bound(
        cells.begin(), cells.end(), column,
        [](const Element& e, std::int32_t c) { return e.column < c; });
    return it != cells.end() && it->column == column ? it->value : T(0);
  }
  std::int64_t Stored() const { return static_cast<std::int64_t>(elements.size()); }
};

using SparseElement = BasicSparseElement<float>;
using SparseLower = BasicSparseLower<float>;

enum class BuildStatus { kDone, kCanceled, kNoRowMemory, kNoElementMemory };

template <class T>
struct BasicInverseBuild {
  BuildStatus status = BuildStatus::kDone;
  BasicSparseLower<T> matrix;  // complete when kDone, else empty
};
using InverseBuild = BasicInverseBuild<float>;

// Needs `records` in code order and ped.d. Steps `progress` once per
// individual (the caller sets the stage). Running out of memory is a status,
// the memory taken so far released.
InverseBuild BuildInverseOfA(const Pedigree& ped, Progress& progress);
// The same through the variances `d` by code: ped.d, or ped.dDouble for the
// inverse in double precision (then every value is a 64-bit float).
template <class T>
BasicInverseBuild<T> BuildInverseOfA(const Pedigree& ped, const std::vector<T>& d,
                                     Progress& progress);

}  // namespace kinvar
