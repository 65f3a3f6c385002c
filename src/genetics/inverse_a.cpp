#include "genetics/inverse_a.h"

#include <algorithm>
#include <new>
#include <string>

namespace kinvar {

namespace {

// A contribution to the element (row, column) of an earlier row: the parents
// of an individual, s and d, meet at (max(s, d), min(s, d)).
template <class T>
struct MateContribution {
  std::int32_t row;
  std::int32_t column;
  T value;
};

// Row i receives contributions at three kinds of times: at i itself (its
// diagonal and its parents' columns), and later from its progeny (its
// diagonal again, and the columns of its earlier-coded mates). The diagonal
// is summed in place; the mates' contributions are kept in the order they
// come and merged into the rows once every individual has been seen, so
// each element sums its contributions in the order of the individuals, as
// inserting them one by one into ordered rows would.
template <class T>
class InverseBuilder {
 public:
  using Contribution = MateContribution<T>;
  InverseBuilder(const Pedigree& ped, const std::vector<T>& d)
      : ped_(ped), d_(d), n_(ped.nTotal) {}

  void AllocateRows() {
    diagonal_.assign(static_cast<std::size_t>(n_), T(0));
    hasDiagonal_.assign(static_cast<std::size_t>(n_), 0);
    mates_.reserve(static_cast<std::size_t>(n_));
  }

  // Henderson's rules for the individual with code i + 1.
  void Contribute(std::int32_t i) {
    const auto [s, d] = Parents(i);
    const T alpha = Alpha(i);
    AddDiagonal(i, alpha);
    if (s >= 0) {
      if (d >= 0 && alpha * T(0.25) != T(0))
        mates_.push_back({std::max(s, d), std::min(s, d), alpha * T(0.25)});
      AddDiagonal(s, alpha * T(0.25));
    }
    if (d >= 0) AddDiagonal(d, alpha * T(0.25));
  }

  BasicSparseLower<T> Finish() {
    BasicSparseLower<T> m;
    m.n = n_;
    const std::vector<Contribution> byRow = MatesByRow(m.rowStart);
    m.elements.reserve(static_cast<std::size_t>(3 * std::int64_t{n_}) + byRow.size());
    std::vector<Contribution> row;
    std::size_t next = 0;
    for (std::int32_t i = 0; i < n_; ++i) {
      row.clear();
      OwnElements(i, row);
      for (; next < byRow.size() && byRow[next].row == i; ++next) row.push_back(byRow[next]);
      const auto start = static_cast<std::int64_t>(m.elements.size());
      MergeRow(row, m.elements);
      if (hasDiagonal_[static_cast<std::size_t>(i)] != 0)
        m.elements.push_back({i, diagonal_[static_cast<std::size_t>(i)]});
      m.rowStart[static_cast<std::size_t>(i)] = start;
    }
    m.rowStart[static_cast<std::size_t>(n_)] = static_cast<std::int64_t>(m.elements.size());
    return m;
  }

 private:
  std::pair<std::int32_t, std::int32_t> Parents(std::int32_t i) const {
    const Rec& r = ped_.byCode(i);
    return {ped_.rec(r.sire).code - 1, ped_.rec(r.dam).code - 1};
  }
  T Alpha(std::int32_t i) const { return T(1) / d_[static_cast<std::size_t>(i) + 1]; }

  void AddDiagonal(std::int32_t row, T value) {
    if (value == T(0)) return;
    const auto r = static_cast<std::size_t>(row);
    diagonal_[r] = hasDiagonal_[r] != 0 ? diagonal_[r] + value : value;
    hasDiagonal_[r] = 1;
  }

  // The individual's own off-diagonal elements, -alpha/2 in its parents' columns.
  void OwnElements(std::int32_t i, std::vector<Contribution>& row) const {
    const auto [s, d] = Parents(i);
    const T half = Alpha(i) * T(-0.5);
    if (half == T(0)) return;
    if (s >= 0) row.push_back({i, s, half});
    if (d >= 0) row.push_back({i, d, half});
  }

  // The mates' contributions grouped by row, each row's in the order they
  // came; rowStart is sized for the matrix on the way.
  std::vector<Contribution> MatesByRow(std::vector<std::int64_t>& rowStart) const {
    rowStart.assign(static_cast<std::size_t>(n_) + 1, 0);
    for (const Contribution& c : mates_) ++rowStart[static_cast<std::size_t>(c.row) + 1];
    for (std::size_t r = 1; r < rowStart.size(); ++r) rowStart[r] += rowStart[r - 1];
    std::vector<Contribution> byRow(mates_.size());
    for (const Contribution& c : mates_)
      byRow[static_cast<std::size_t>(rowStart[static_cast<std::size_t>(c.row)]++)] = c;
    return byRow;
  }

  // Orders one row's contributions by column, keeping their order within a
  // column, and sums each column's.
  static void MergeRow(std::vector<Contribution>& row, std::vector<BasicSparseElement<T>>& out) {
    std::stable_sort(row.begin(), row.end(),
                     [](const Contribution& a, const Contribution& b) { return a.column < b.column; });
    for (std::size_t k = 0; k < row.size(); ++k) {
      if (k > 0 && row[k].column == row[k - 1].column) {
        out.back().value = out.back().value + row[k].value;
      } else {
        out.push_back({row[k].column, row[k].value});
      }
    }
  }

  const Pedigree& ped_;
  const std::vector<T>& d_;
  std::int32_t n_;
  std::vector<T> diagonal_;
  std::vector<std::uint8_t> hasDiagonal_;
  std::vector<Contribution> mates_;
};

}  // namespace

InverseBuild BuildInverseOfA(const Pedigree& ped, Progress& progress) {
  return BuildInverseOfA(ped, ped.d, progress);
}

template <class T>
BasicInverseBuild<T> BuildInverseOfA(const Pedigree& ped, const std::vector<T>& d,
                                     Progress& progress) {
  BasicInverseBuild<T> build;
  InverseBuilder<T> builder(ped, d);
  try {
    builder.AllocateRows();
  } catch (const std::bad_alloc&) {
    build.status = BuildStatus::kNoRowMemory;
    return build;
  }
  try {
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      builder.Contribute(i);
      if (progress.Step(i)) {
        build.status = BuildStatus::kCanceled;
        return build;
      }
    }
    build.matrix = builder.Finish();
  } catch (const std::bad_alloc&) {
    build.status = BuildStatus::kNoElementMemory;
  }
  return build;
}

template InverseBuild BuildInverseOfA(const Pedigree&, const std::vector<float>&, Progress&);
template BasicInverseBuild<double> BuildInverseOfA(const Pedigree&, const std::vector<double>&,
                                                   Progress&);

}  // namespace kinvar
