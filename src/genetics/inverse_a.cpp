#include "genetics/inverse_a.h"

#include <algorithm>
#include <charconv>
#include <new>
#include <string>
#include <type_traits>

#include "genetics/group_inverse.h"
#include "genetics/inbreeding.h"

#include "analyses/individual_tables.h"
#include "analyses/result_file.h"
#include "report/markup.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kNoRowMemory = "Couldn't allocated memory for RowL (Sparse Matrix)";
constexpr const char* kNoElementMemory = "Couldn't allocated memory for new element";

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

namespace {

// The label of a group's row: its ID and its code after the individuals'.
Rec GroupRow(const Pedigree& ped, std::int32_t i) {
  Rec r;
  const std::string& id = ped.geneticGroups.ids[static_cast<std::size_t>(i - ped.nTotal)];
  id.copy(r.id, kMaxIdLength);
  r.code = i + 1;
  return r;
}

}  // namespace

template <class T>
bool WriteLowerMatrixFile(const Pedigree& ped, const BasicSparseLower<T>& m, InverseOutput output,
                          const std::string& pedigreePath, const std::string& title,
                          OutputFile& file, Progress& progress) {
  WriteOutputHeader(file, pedigreePath);
  if (const std::string warning = SmallVarianceWarning(ped); !warning.empty())
    file.Raw(warning + "\n");
  file.Raw(title);
  file.Raw(output == InverseOutput::kNonZero ? " (Lower triangular):\n" : ":\n");
  file.Raw(ExpandMarkup("Individual ID|T1Individual Code"));
  CachedFormat cached(ped.settings.numberFormat);
  // Doubles repeat as floats do not, and go to the formatter directly.
  const auto format = [&](T value) -> std::string {
    if constexpr (std::is_same_v<T, float>) return cached(value);
    else return FormatNumber(ped.settings.numberFormat, value);
  };
  std::int64_t total = 0;
  for (std::int32_t i = 0; i < m.n; ++i) {
    if (i < ped.nTotal) WriteRowLabel(file, ped.byCode(i));
    else WriteRowLabel(file, GroupRow(ped, i));
    if (output == InverseOutput::kNonZero) {
      for (const BasicSparseElement<T>& e : m.Row(i)) {
        file.RawInt(e.column + 1);
        file.Raw(':');
        file.Raw(format(e.value));
        file.Raw(", ");
      }
    } else {
      for (std::int32_t c = 0; c < m.n; ++c) {
        file.Raw(format(c <= i ? m.At(i, c) : m.At(c, i)));
        file.Raw(", ");
      }
    }
    file.Raw('\n');
    total += static_cast<std::int64_t>(m.Row(i).size());
    if (progress.Step(i)) return false;
  }
  const std::int64_t n = m.n;
  const std::int64_t nonZero = 2 * total - n;
  file.Raw("No. of non-zero elements in total:   " + std::to_string(nonZero) + "\n");
  file.Raw("No. of zero elements in total:       " + std::to_string(n * n - nonZero) + "\n");
  return true;
}

template bool WriteLowerMatrixFile(const Pedigree&, const BasicSparseLower<float>&, InverseOutput,
                                   const std::string&, const std::string&, OutputFile&, Progress&);
template bool WriteLowerMatrixFile(const Pedigree&, const BasicSparseLower<double>&, InverseOutput,
                                   const std::string&, const std::string&, OutputFile&, Progress&);

template <class T>
bool WriteTriplets(const BasicSparseLower<T>& m, OutputFile& file, Progress& progress) {
  char value[32];
  for (std::int32_t i = 0; i < m.n; ++i) {
    for (const BasicSparseElement<T>& e : m.Row(i)) {
      file.RawInt(i + 1);
      file.Raw(' ');
      file.RawInt(e.column + 1);
      file.Raw(' ');
      const auto end = std::to_chars(value, value + sizeof value, e.value).ptr;
      file.Raw(std::string_view(value, static_cast<std::size_t>(end - value)));
      file.Raw('\n');
    }
    if (progress.Step(i)) return false;
  }
  return true;
}

template bool WriteTriplets(const BasicSparseLower<float>&, OutputFile&, Progress&);
template bool WriteTriplets(const BasicSparseLower<double>&, OutputFile&, Progress&);

template <class T>
void AddLowerMatrixTables(Pedigree& ped, const BasicSparseLower<T>& m, const std::string& name) {
  ResultSet& tables = ped.writtenTables;
  tables.Clear();
  ResultTable& table = tables.Add(name);
  table.AddColumn("row", ColumnType::kInteger);
  table.AddColumn("col", ColumnType::kInteger);
  table.AddColumn("value", ColumnType::kReal);
  const bool rows = tables.RowsWanted();
  if (rows) table.Reserve(static_cast<std::size_t>(m.Stored()));
  for (std::int32_t i = 0; rows && i < m.n; ++i)
    for (const BasicSparseElement<T>& e : m.Row(i)) {
      TableRow row = table.AddRow();
      row.Integer(i + 1).Integer(e.column + 1);
      if constexpr (std::is_same_v<T, float>) row.Float(e.value);
      else row.Real(e.value);
    }
  AddRecodingTable(ped, tables);
  if (ped.geneticGroups.Active()) AddGroupsTable(ped, tables);
}

template void AddLowerMatrixTables(Pedigree&, const BasicSparseLower<float>&, const std::string&);
template void AddLowerMatrixTables(Pedigree&, const BasicSparseLower<double>&, const std::string&);

namespace {

// Gamma inverse is part of the inverse with metafounders.
bool RefuseSingularGamma(CommandContext& ctx) {
  if (!ctx.ped.geneticGroups.Metafounders() || !ctx.ped.geneticGroups.gammaSingular) return false;
  ctx.platform.ShowMessage(kSingularGamma, MessageIcon::kError);
  return true;
}

std::string InverseTitle(const Pedigree& ped) {
  if (ped.geneticGroups.Metafounders())
    return "Inverse of the numerator relationship matrix with metafounders";
  return ped.geneticGroups.Active()
             ? "Inverse of the numerator relationship matrix with genetic groups"
             : "Inverse of the numerator relationship matrix";
}

// Builds the inverse through the variances `d` and writes it to `file`.
template <class T>
void BuildAndWrite(CommandContext& ctx, const std::vector<T>& d, InverseOutput output,
                   OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const std::int32_t n = ctx.ped.nTotal + ctx.ped.geneticGroups.Count();
  progress.SetStage(0, 50, ctx.ped.nTotal - 1, "Computing the inverse of A");
  const BasicInverseBuild<T> build = ctx.ped.geneticGroups.Active()
                                         ? BuildInverseWithGroups(ctx.ped, d, progress)
                                         : BuildInverseOfA(ctx.ped, d, progress);
  if (build.status == BuildStatus::kNoRowMemory || build.status == BuildStatus::kNoElementMemory) {
    file.Discard();
    window->Hide();
    ctx.platform.ShowMessage(
        build.status == BuildStatus::kNoRowMemory ? kNoRowMemory : kNoElementMemory,
        MessageIcon::kError);
    return;
  }
  bool done = build.status == BuildStatus::kDone;
  if (done) {
    progress.SetStage(50, 100, n - 1, "Saving the inverse of A");
    done = output == InverseOutput::kTriplets
               ? WriteTriplets(build.matrix, file, progress)
               : WriteLowerMatrixFile(ctx.ped, build.matrix, output, ctx.path, InverseTitle(ctx.ped),
                                      file, progress);
  }
  if (!done) {
    ShowCanceled(ctx);
    file.Discard();
    return;
  }
  AddLowerMatrixTables(ctx.ped, build.matrix, "ainverse");
  CommitOutputFile(file, ctx.platform);
}

}  // namespace

void OnInverseOfA(CommandContext& ctx) {
  if (RefuseSingularGamma(ctx)) return;
  InverseOutput output = InverseOutput::kNonZero;
  const std::int64_t n = ctx.ped.nTotal + ctx.ped.geneticGroups.Count();
  if (n * n <= kMaxInverseCells) {
    const int choice = ctx.platform.ChooseSaveOption("Save only the non-zero elements",
                                                     "Save the entire inverse matrix");
    if (choice == -1) return;
    if (choice == 2) output = InverseOutput::kEntire;
  }
  WriteInverseOfA(ctx, output);
}

void WriteInverseOfA(CommandContext& ctx, InverseOutput output) {
  if (RefuseSingularGamma(ctx)) return;
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  WaitCursor cursor(ctx.platform);
  if (!EnsureInbreeding(ctx)) {
    ShowCanceled(ctx);
    file->Discard();
    return;
  }
  if (const std::string warning = SmallVarianceWarning(ctx.ped); !warning.empty())
    ctx.platform.ShowMessage(warning, MessageIcon::kWarning);
  if (ctx.ped.InDouble()) BuildAndWrite(ctx, ctx.ped.dDouble, output, *file);
  else BuildAndWrite(ctx, ctx.ped.d, output, *file);
}

}  // namespace kinvar
