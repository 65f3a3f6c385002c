#include "genetics/dominance.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>

#include "genetics/command_ids.h"
#include "genetics/relationship.h"
#include "genetics/relationship_listings.h"
#include "genetics/result_file.h"
#include "report/markup.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

// Members are taken kMembersPerBlock at a time: their sires and dams are
// the (at most) kLanes columns of A computed side by side.
constexpr int kLanes = 16;
constexpr const char* kComputing = "Computing the dominance relationships";
constexpr int kMembersPerBlock = kLanes / 2;

// The lanes of one block's parents: -1 for an unknown parent.
struct ParentLanes {
  int sire = -1;
  int dam = -1;
};

// Visits every element of the lower triangle of D among `members`, row by
// row in member order, columns ascending, the diagonal last:
// visit(row, column, value) with member positions. False when cancelled.
template <class T, class Visit>
bool VisitDominance(Pedigree& ped, const std::vector<T>& d, std::span<const RecIndex> members,
                    Progress& progress, Visit&& visit) {
  const BasicAncestorSubset<T> subset = BuildAncestorSubset(ped, members, d);
  const BasicKernelPedigree<T>& kp = subset.kernel;
  const std::size_t m = members.size();
  std::vector<KernelParents> local(m);
  std::int32_t last = 0;  // the largest parent's number: no column is read beyond it
  for (std::size_t i = 0; i < m; ++i) {
    const Rec& r = ped.rec(members[i]);
    local[i] = {subset.LocalOf(ped.rec(r.sire)), subset.LocalOf(ped.rec(r.dam))};
    last = std::max({last, local[i].sire, local[i].dam});
  }
  std::vector<T> block((static_cast<std::size_t>(kp.size()) + 1) * kLanes, T(0));
  const auto a = [&](int lane, std::int32_t k) {
    return lane < 0 || k == 0 ? T(0) : block[static_cast<std::size_t>(k) * kLanes + static_cast<std::size_t>(lane)];
  };
  for (std::size_t first = 0; first < m; first += kMembersPerBlock) {
    const std::size_t count = std::min<std::size_t>(kMembersPerBlock, m - first);
    std::vector<std::int32_t> columns;
    ParentLanes lanes[kMembersPerBlock];
    for (std::size_t l = 0; l < count; ++l) {
      const KernelParents p = local[first + l];
      if (p.sire != 0) {
        lanes[l].sire = static_cast<int>(columns.size());
        columns.push_back(p.sire);
      }
      if (p.dam != 0) {
        lanes[l].dam = static_cast<int>(columns.size());
        columns.push_back(p.dam);
      }
    }
    if (!columns.empty()) ComputeColumns<kLanes>(kp, columns, last, block.data());
    for (std::size_t l = 0; l < count; ++l) {
      const std::size_t i = first + l;
      const ParentLanes p = lanes[l];
      for (std::size_t j = 0; j < i; ++j) {
        const KernelParents q = local[j];
        const T ss = a(p.sire, q.sire) * a(p.dam, q.dam);
        const T sd = a(p.sire, q.dam) * a(p.dam, q.sire);
        visit(i, j, T(0.25) * (ss + sd));
      }
      visit(i, i, T(1));
    }
    std::fill(block.begin(), block.begin() + (static_cast<std::ptrdiff_t>(last) + 1) * kLanes, T(0));
    if (progress.Step(static_cast<std::int64_t>(first))) return false;
  }
  return true;
}

// The lower triangle by codes, rows filled in ascending code order; values
// with |value| below `minValue` and zeros are left out.
template <class T>
class CodeRows {
 public:
  CodeRows(std::int32_t n, double minValue) : minValue_(minValue) {
    matrix_.n = n;
    matrix_.rowStart.assign(static_cast<std::size_t>(n) + 1, 0);
  }
  void Add(std::int32_t row, std::int32_t column, T value) {
    if (value == T(0) || std::fabs(static_cast<double>(value)) < minValue_) return;
    matrix_.elements.push_back({column, value});
    matrix_.rowStart[static_cast<std::size_t>(row) + 1] = matrix_.Stored();
  }
  // Rows that received nothing start where the previous one ended.
  BasicSparseLower<T> Finish() {
    for (std::size_t r = 1; r < matrix_.rowStart.size(); ++r)
      matrix_.rowStart[r] = std::max(matrix_.rowStart[r], matrix_.rowStart[r - 1]);
    return std::move(matrix_);
  }

 private:
  double minValue_;
  BasicSparseLower<T> matrix_;
};

std::int32_t CodeOf(const Pedigree& ped, RecIndex r) { return ped.rec(r).code - 1; }

// Row-major lower triangle of an m x m matrix in doubles.
struct DenseLower {
  std::size_t m = 0;
  std::vector<double> cells;
  double* Row(std::size_t i) { return cells.data() + i * m; }
};

// Four independent partial sums: the order is fixed, so the result is too.
double Dot(const double* x, const double* y, std::size_t n) {
  double s[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t k = 0;
  for (; k + 4 <= n; k += 4)
    for (int l = 0; l < 4; ++l) s[l] += x[k + static_cast<std::size_t>(l)] * y[k + static_cast<std::size_t>(l)];
  for (; k < n; ++k) s[0] += x[k] * y[k];
  return (s[0] + s[1]) + (s[2] + s[3]);
}

// The dense steps below stream earlier rows from memory; taking kBlockRows
// rows at a time reads each earlier row once per block instead of once per
// row. Every element still gets the operations, in the order, of the
// row-by-row loops.
constexpr std::size_t kBlockRows = 16;

// L(i, j) for j < i from the finished row j.
inline void FactorElement(double* li, const double* lj, std::size_t j) {
  li[j] = (li[j] - Dot(li, lj, j)) / lj[j];
}

// Overwrites the lower triangle with L of D = L L'. A pivot this small
// relative to the diagonal of 1 means D is not positive definite.
DominanceStatus Cholesky(DenseLower& a, Progress& progress) {
  progress.SetStage(10, 30, static_cast<std::int64_t>(a.m), "Factoring the dominance relationship matrix");
  constexpr double kSmallestPivot = 1e-10;
  for (std::size_t first = 0; first < a.m; first += kBlockRows) {
    const std::size_t end = std::min(a.m, first + kBlockRows);
    for (std::size_t j = 0; j < first; ++j)
      for (std::size_t i = first; i < end; ++i) FactorElement(a.Row(i), a.Row(j), j);
    for (std::size_t i = first; i < end; ++i) {
      double* li = a.Row(i);
      for (std::size_t j = first; j < i; ++j) FactorElement(li, a.Row(j), j);
      const double pivot = li[i] - Dot(li, li, i);
      if (!(pivot > kSmallestPivot)) return DominanceStatus::kNotPositiveDefinite;
      li[i] = std::sqrt(pivot);
    }
    if (progress.Step(static_cast<std::int64_t>(first))) return DominanceStatus::kCanceled;
  }
  return DominanceStatus::kDone;
}

// Row i of X = L^-1 takes -L(i, k) X(k, .) from every earlier row k.
inline void SubtractRow(double* xi, const double* li, const double* xk, std::size_t k) {
  const double c = li[k];
  if (c == 0.0) return;
  for (std::size_t col = 0; col <= k; ++col) xi[col] -= c * xk[col];
}

// X = L^-1 row by row into `x`.
bool InvertFactor(DenseLower& l, DenseLower& x, Progress& progress) {
  for (std::size_t first = 0; first < l.m; first += kBlockRows) {
    const std::size_t end = std::min(l.m, first + kBlockRows);
    for (std::size_t i = first; i < end; ++i) x.Row(i)[i] = 1.0;
    for (std::size_t k = 0; k < first; ++k)
      for (std::size_t i = first; i < end; ++i) SubtractRow(x.Row(i), l.Row(i), x.Row(k), k);
    for (std::size_t i = first; i < end; ++i) {
      double* xi = x.Row(i);
      for (std::size_t k = first; k < i; ++k) SubtractRow(xi, l.Row(i), x.Row(k), k);
      const double pivot = l.Row(i)[i];
      for (std::size_t col = 0; col <= i; ++col) xi[col] /= pivot;
    }
    if (progress.Step(static_cast<std::int64_t>(first))) return false;
  }
  return true;
}

// From L, D's inverse X' X (X = L^-1) in the lower triangle of `a`: row i
// sums X(k, i) X(k, .) over k >= i, k ascending.
bool InvertFromCholesky(DenseLower& a, Progress& progress) {
  progress.SetStage(30, 50, 2 * static_cast<std::int64_t>(a.m), "Inverting the dominance relationship matrix");
  const std::size_t m = a.m;
  DenseLower x{m, std::vector<double>(m * m, 0.0)};
  if (!InvertFactor(a, x, progress)) return false;
  std::fill(a.cells.begin(), a.cells.end(), 0.0);
  for (std::size_t first = 0; first < m; first += kBlockRows) {
    const std::size_t end = std::min(m, first + kBlockRows);
    for (std::size_t i = 0; i < end; ++i) {
      double* out = a.Row(i);
      for (std::size_t k = std::max(first, i); k < end; ++k) {
        const double* xk = x.Row(k);
        const double c = xk[i];
        if (c == 0.0) continue;
        for (std::size_t j = 0; j <= i; ++j) out[j] += c * xk[j];
      }
    }
    if (progress.Step(static_cast<std::int64_t>(m + first))) return false;
  }
  return true;
}

template <class T>
DominanceBuild<T> BuildInverse(Pedigree& ped, const std::vector<T>& d, const DominanceRequest& request,
                               const NonZeroReport& report, Progress& progress) {
  DominanceBuild<T> build;
  const std::size_t m = request.members.size();
  DenseLower dense{m, std::vector<double>(m * m, 0.0)};
  std::int64_t nonZero = 0;
  progress.SetStage(0, 10, static_cast<std::int64_t>(m), kComputing);
  const bool done = VisitDominance(ped, d, request.members, progress, [&](std::size_t i, std::size_t j, T v) {
    dense.Row(i)[j] = static_cast<double>(v);
    if (v != T(0)) nonZero += i == j ? 1 : 2;
  });
  if (!done) {
    build.status = DominanceStatus::kCanceled;
    return build;
  }
  if (report) report(nonZero, static_cast<std::int32_t>(m));
  build.status = Cholesky(dense, progress);
  if (build.status != DominanceStatus::kDone) return build;
  if (!InvertFromCholesky(dense, progress)) {
    build.status = DominanceStatus::kCanceled;
    return build;
  }
  CodeRows<T> rows(ped.nTotal, request.minValue);
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = 0; j <= i; ++j)
      rows.Add(CodeOf(ped, request.members[i]), CodeOf(ped, request.members[j]), static_cast<T>(dense.Row(i)[j]));
  build.matrix = rows.Finish();
  return build;
}

}  // namespace

template <class T>
DominanceBuild<T> BuildDominance(Pedigree& ped, const std::vector<T>& d, const DominanceRequest& request,
                                 const NonZeroReport& report, Progress& progress) {
  DominanceBuild<T> build;
  try {
    if (request.inverse) return BuildInverse(ped, d, request, report, progress);
    CodeRows<T> rows(ped.nTotal, request.minValue);
    progress.SetStage(0, 50, static_cast<std::int64_t>(request.members.size()), kComputing);
    const auto& members = request.members;
    const bool done = VisitDominance(ped, d, members, progress, [&](std::size_t i, std::size_t j, T v) {
      rows.Add(CodeOf(ped, members[i]), CodeOf(ped, members[j]), v);
    });
    if (!done) build.status = DominanceStatus::kCanceled;
    else build.matrix = rows.Finish();
  } catch (const std::bad_alloc&) {
    build = {};
    build.status = DominanceStatus::kNoMemory;
  }
  return build;
}

template DominanceBuild<float> BuildDominance(Pedigree&, const std::vector<float>&, const DominanceRequest&,
                                              const NonZeroReport&, Progress&);
template DominanceBuild<double> BuildDominance(Pedigree&, const std::vector<double>&,
                                               const DominanceRequest&, const NonZeroReport&, Progress&);

namespace {

struct DominanceChoice {
  bool inverse = false;
  InverseOutput output = InverseOutput::kNonZero;
  double minValue = 0.0;
};

std::string MatrixTitle(bool inverse, int group) {
  return std::string(inverse ? "Inverse of the dominance relationship matrix" : "Dominance relationship matrix") +
         (group == kAllIndividuals ? "" : " for group " + std::to_string(group));
}

// The file as the inverse of A's, over the chosen individuals only: a row
// per member, "code:value" of the stored elements or every member's value.
template <class T>
bool WriteMemberMatrix(const Pedigree& ped, const BasicSparseLower<T>& m, std::span<const RecIndex> members,
                       InverseOutput output, const std::string& pedigreePath, const std::string& title,
                       OutputFile& file, Progress& progress) {
  WriteOutputHeader(file, pedigreePath);
  file.Raw(title);
  file.Raw(output == InverseOutput::kNonZero ? " (Lower triangular):\n" : ":\n");
  file.Raw(ExpandMarkup("Individual ID|T1Individual Code"));
  const auto format = [&](T value) { return FormatNumber(ped.settings.numberFormat, value); };
  std::int64_t stored = 0, diagonal = 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Rec& row = ped.rec(members[i]);
    WriteRowLabel(file, row);
    for (const BasicSparseElement<T>& e : m.Row(row.code - 1)) {
      if (output == InverseOutput::kNonZero) {
        file.RawInt(e.column + 1);
        file.Raw(':');
        file.Raw(format(e.value));
        file.Raw(", ");
      }
      ++stored;
      if (e.column == row.code - 1) ++diagonal;
    }
    if (output == InverseOutput::kEntire)
      for (const RecIndex c : members) {
        const std::int32_t column = ped.rec(c).code - 1;
        file.Raw(format(column <= row.code - 1 ? m.At(row.code - 1, column) : m.At(column, row.code - 1)));
        file.Raw(", ");
      }
    file.Raw('\n');
    if (progress.Step(static_cast<std::int64_t>(i))) return false;
  }
  const auto n = static_cast<std::int64_t>(members.size());
  const std::int64_t nonZero = 2 * stored - diagonal;
  file.Raw("No. of non-zero elements in total:   " + std::to_string(nonZero) + "\n");
  file.Raw("No. of zero elements in total:       " + std::to_string(n * n - nonZero) + "\n");
  return true;
}

// The message for a refusal before anything is computed; empty when none.
std::string SizeRefusal(std::size_t m, const DominanceChoice& choice) {
  const auto count = static_cast<std::int64_t>(m);
  if (std::string refusal = DominanceSizeRefusal(count, choice.inverse); !refusal.empty()) return refusal;
  if (choice.output == InverseOutput::kEntire && count * count > kMaxInverseCells)
    return "The matrix has more than 250000 cells.";
  return {};
}

void ShowFailure(CommandContext& ctx, DominanceStatus status) {
  ctx.platform.ShowMessage(DominanceFailureMessage(status), MessageIcon::kError);
}

template <class T>
void BuildAndWrite(CommandContext& ctx, const std::vector<T>& d, int group, std::vector<RecIndex> members,
                   const DominanceChoice& choice, OutputFile& file) {
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  const NonZeroReport report = [&](std::int64_t nonZero, std::int32_t m) {
    ctx.platform.ShowMessage(DominanceNonZeroNote(nonZero, m), MessageIcon::kInformation);
  };
  const DominanceRequest request{std::move(members), choice.inverse, choice.minValue};
  DominanceBuild<T> build = BuildDominance(ctx.ped, d, request, report, progress);
  if (build.status == DominanceStatus::kNoMemory || build.status == DominanceStatus::kNotPositiveDefinite) {
    file.Discard();
    window->Hide();
    ShowFailure(ctx, build.status);
    return;
  }
  bool done = build.status == DominanceStatus::kDone;
  if (done) {
    progress.SetStage(50, 100, static_cast<std::int64_t>(request.members.size()),
                      "Saving the dominance relationships");
    done = choice.output == InverseOutput::kTriplets
               ? WriteTriplets(build.matrix, file, progress)
               : WriteMemberMatrix(ctx.ped, build.matrix, request.members, choice.output, ctx.path,
                                   MatrixTitle(choice.inverse, group), file, progress);
  }
  if (!done) {
    ShowCanceled(ctx);
    file.Discard();
    return;
  }
  AddLowerMatrixTables(ctx.ped, build.matrix, choice.inverse ? "dominance_inverse" : "dominance");
  CommitOutputFile(file, ctx.platform);
}

std::vector<RecIndex> ChosenMembers(const Pedigree& ped, int group) {
  if (group != kAllIndividuals) return GroupMembers(ped, group);
  std::vector<RecIndex> all(ped.records.begin(), ped.records.begin() + ped.nTotal);
  return all;
}

void WriteDominance(CommandContext& ctx, int group, const DominanceChoice& choice) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  std::vector<RecIndex> members = ChosenMembers(ctx.ped, group);
  if (const std::string refusal = SizeRefusal(members.size(), choice); !refusal.empty()) {
    ctx.platform.ShowMessage(refusal, MessageIcon::kError);
    return;
  }
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  if (ctx.ped.InDouble()) BuildAndWrite(ctx, ctx.ped.dDouble, group, std::move(members), choice, *file);
  else BuildAndWrite(ctx, ctx.ped.d, group, std::move(members), choice, *file);
}

// The form; nothing when the user cancelled.
std::optional<DominanceChoice> AskChoice(CommandContext& ctx) {
  const CommandDeclaration declaration = DominanceDeclaration();
  CommandValues& values = ctx.remembered.values;
  if (!ctx.platform.AskValues(DeclaredForm(declaration, "Dominance relationships", values, ctx.platform)))
    return std::nullopt;
  const bool triplets = values.Flag(declaration, "triplets");
  return DominanceChoice{values.Flag(declaration, "inverse"),
                         triplets                                ? InverseOutput::kTriplets
                         : values.Flag(declaration, "full")      ? InverseOutput::kEntire
                                                                 : InverseOutput::kNonZero,
                         values.Number(declaration, "min-value")};
}

}  // namespace

std::string DominanceSizeRefusal(std::int64_t count, bool inverse) {
  if (inverse && count > kMaxDominanceInverse)
    return "The inverse of the dominance relationship matrix is computed for at most " +
           std::to_string(kMaxDominanceInverse) + " individuals; this choice has " + std::to_string(count) +
           ". Choose a group.";
  if (count > kMaxDominanceIndividuals)
    return "The dominance relationship matrix is written for at most " + std::to_string(kMaxDominanceIndividuals) +
           " individuals; this choice has " + std::to_string(count) + ". Choose a group.";
  return {};
}

std::string DominanceFailureMessage(DominanceStatus status) {
  return status == DominanceStatus::kNoMemory
             ? "Not enough memory for the dominance relationships."
             : "The dominance relationship matrix of these individuals is not positive "
               "definite (inbreeding makes it an approximation), so it has no inverse.";
}

std::string DominanceNonZeroNote(std::int64_t nonZero, std::int32_t m) {
  return "The dominance relationship matrix of " + std::to_string(m) + " individuals has " +
         std::to_string(nonZero) + " non-zero elements; computing its inverse.";
}

CommandDeclaration DominanceDeclaration() {
  using T = ParameterType;
  CommandDeclaration d{kCmdDominance, "dominance", {}};
  d.parameters = {
      Declare("inverse", T::kFlag).Default("0").Help("D inverse instead of D (at most 5000 individuals)")
          .Label("Its inverse (at most 5000 individuals)").Shown(Control::kCheck),
      Declare("triplets", T::kFlag).Default("0").Help("\"row column value\" lines; pair with 'recode'")
          .Label("Triplets: \"row column value\" lines for mixed-model software").Shown(Control::kCheck)
          .Keyword("-"),
      Declare("full", T::kFlag).Default("0").Help("The entire matrix (at most 500 individuals)")
          .Label("The entire matrix (at most 500 individuals)").Shown(Control::kCheck)
          .Refusal("Choose triplets or the entire matrix, not both.").Excludes("triplets").Keyword("-"),
      Declare("group", T::kGroup).Default("all").Help("The group's members only (default: every individual)")
          .ValueName("G").Shown(Control::kGroupPicker),
      Declare("min-value", T::kNumber).Default("0").AtLeast(0.0)
          .Help("Leave out elements with an absolute value below X").ValueName("X")
          .Label("Leave out elements with an absolute value below").Refusal(kDominanceMinValueMessage),
  };
  return d
      .Runs(OnDominance)
      .Summary("Write the dominance relationships (D) of a group or of all individuals, or D inverse")
      .Explanation("Writes D, d_ij = 1/4 (a(si,sj) a(di,dj) + a(si,dj) a(di,sj)) and d_ii = 1, for group G\n"
                   "(--group G) or every individual (at most 10000), as the inverse of A is written; with\n"
                   "--inverse, D inverse (at most 5000 individuals; the number of non-zero elements of D is\n"
                   "told first). --triplets writes \"row column value\" lines, codes as 'kinvar-cli recode'\n"
                   "lists them; --min-value X leaves out elements with |value| < X. With inbreeding, D is\n"
                   "the usual approximation that keeps d_ii = 1.")
      .Writes(CommandOutput::kFile);
}

void OnDominance(CommandContext& ctx) {
  const auto group = ChooseGroupOrAll(ctx, "Dominance relationships", DominanceDeclaration(), "group");
  if (!group) return;
  const auto choice = AskChoice(ctx);
  if (!choice) return;
  WriteDominance(ctx, *group, *choice);
}

}  // namespace kinvar
