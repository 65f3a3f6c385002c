#include "analyses/relationship_matrices.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "genetics/inbreeding.h"
#include "genetics/metafounders.h"
#include "genetics/relationship.h"
#include "report/markup.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

// "first" padded to 22 columns, "second" to 12: the layout of the header's
// two columns.
std::string RowLabel(const std::string& first, const std::string& second) {
  char text[64];
  std::snprintf(text, sizeof text, "%-22s%-12s", first.c_str(), second.c_str());
  return text;
}

std::string RowLabel(const Rec& r) {
  return RowLabel(std::string(r.id) + ",", std::to_string(r.code) + ",");
}

std::string Title(const Pedigree& ped, const std::string& rest) {
  return (ped.settings.relationshipType == 0 ? "Relationship coefficient matrix"
                                             : "Numerator relationship matrix") +
         rest + "\n";
}

// Writes one row: the label of `row`, then the values for `columns` read
// from the computed column of `row` at their local numbers.
class RowWriter {
 public:
  RowWriter(const Pedigree& ped, OutputFile& file)
      : ped_(ped), file_(file), coefficient_(ped.settings.relationshipType == 0), base_(ped) {}

  void Begin(const Rec& row) {
    row_ = &row;
    text_ = RowLabel(row);
  }
  void Value(const Rec& column, float a0) {
    const float a = base_.Add(a0, column, *row_);
    const float v = coefficient_ ? RelationshipCoefficient(a, column.f, row_->f) : a;
    text_ += FormatNumber(ped_.settings.numberFormat, v);
    text_ += ", ";
  }
  void Value(const Rec& column, double a0) {
    const double a = base_.Add(a0, column, *row_);
    const double v =
        coefficient_ ? RelationshipCoefficient(a, FOfRecord(ped_, column), FOfRecord(ped_, *row_))
                     : a;
    text_ += FormatNumber(ped_.settings.numberFormat, v);
    text_ += ", ";
  }
  void End() {
    text_ += "\n";
    file_.Raw(text_);
  }

 private:
  const Pedigree& ped_;
  OutputFile& file_;
  bool coefficient_;
  const Rec* row_ = nullptr;
  std::string text_;
  BaseRelationships base_;  // the metafounders' part, when there are some
};

void WriteTitle(const Pedigree& ped, const std::string& rest, OutputFile& file) {
  file.Raw(Title(ped, rest));
  file.Raw(ExpandMarkup("Individual ID|T1Individual code"));
}

template <class T>
std::vector<std::int32_t> LocalNumbers(const BasicAncestorSubset<T>& subset, const Pedigree& ped,
                                       std::span<const RecIndex> members) {
  std::vector<std::int32_t> local;
  for (const RecIndex ri : members) local.push_back(subset.LocalOf(ped.rec(ri)));
  return local;
}

// Rows are computed kRows at a time, as columns of A side by side (A is
// symmetric): each gets the bits of its own one-column pass.
constexpr int kRows = 8;

// Writes the rows `rows` (kernel numbers; records `rowRecs`) with the
// values at the kernel numbers `columns` (records `columnRecs`).
template <class T>
void WriteBlocks(const BasicKernelPedigree<T>& kp, std::span<const std::int32_t> rows,
                 std::span<const Rec* const> rowRecs, std::span<const std::int32_t> columns,
                 std::span<const Rec* const> columnRecs, RowWriter& writer) {
  std::vector<T> block((static_cast<std::size_t>(kp.size()) + 1) * kRows, T(0));
  for (std::size_t first = 0; first < rows.size(); first += kRows) {
    const std::size_t count = std::min<std::size_t>(kRows, rows.size() - first);
    ComputeColumns<kRows>(kp, rows.subspan(first, count), kp.size(), block.data());
    for (std::size_t l = 0; l < count; ++l) {
      writer.Begin(*rowRecs[first + l]);
      for (std::size_t c = 0; c < columns.size(); ++c) {
        writer.Value(*columnRecs[c], block[static_cast<std::size_t>(columns[c]) * kRows + l]);
      }
      writer.End();
    }
    std::fill(block.begin(), block.end(), T(0));
  }
}

std::vector<const Rec*> Records(const Pedigree& ped, std::span<const RecIndex> members) {
  std::vector<const Rec*> recs;
  for (const RecIndex ri : members) recs.push_back(&ped.rec(ri));
  return recs;
}

// Rows of `rows` over the subset of both lists, values for `columns`.
template <class T>
void WriteRowsIn(Pedigree& ped, std::span<const RecIndex> rows, std::span<const RecIndex> columns,
                 RowWriter& writer, const std::vector<T>& d) {
  std::vector<RecIndex> seeds(rows.begin(), rows.end());
  seeds.insert(seeds.end(), columns.begin(), columns.end());
  const BasicAncestorSubset<T> subset = BuildAncestorSubset(ped, seeds, d);
  WriteBlocks(subset.kernel, LocalNumbers(subset, ped, rows), Records(ped, rows),
              LocalNumbers(subset, ped, columns), Records(ped, columns), writer);
}

// In the precision the coefficients were computed in.
void WriteRows(Pedigree& ped, std::span<const RecIndex> rows, std::span<const RecIndex> columns,
               RowWriter& writer) {
  if (ped.InDouble()) WriteRowsIn(ped, rows, columns, writer, ped.dDouble);
  else WriteRowsIn(ped, rows, columns, writer, ped.d);
}

}  // namespace

void WriteMatrixAll(Pedigree& ped, OutputFile& file) {
  EnsureCodeOrder(ped);
  WriteTitle(ped, ":", file);
  RowWriter writer(ped, file);
  const std::int32_t n = ped.nTotal;
  std::vector<std::int32_t> codes(static_cast<std::size_t>(n));
  std::vector<const Rec*> recs(static_cast<std::size_t>(n));
  for (std::int32_t j = 1; j <= n; ++j) {
    codes[static_cast<std::size_t>(j - 1)] = j;
    recs[static_cast<std::size_t>(j - 1)] = &ped.byCode(j - 1);
  }
  if (ped.InDouble()) WriteBlocks(WholePedigreeKernel(ped, ped.dDouble, n), codes, recs, codes, recs, writer);
  else WriteBlocks(WholePedigreeKernel(ped, ped.d, n), codes, recs, codes, recs, writer);
}

void WriteMatrixWithinGroup(Pedigree& ped, int group, std::span<const RecIndex> members,
                            OutputFile& file) {
  WriteTitle(ped, " for group " + std::to_string(group), file);
  RowWriter writer(ped, file);
  WriteRows(ped, members, members, writer);
}

void WriteMatrixBetweenGroups(Pedigree& ped, int firstGroup, std::span<const RecIndex> first,
                              int secondGroup, std::span<const RecIndex> second, OutputFile& file) {
  const bool swap = second.size() > first.size();
  const std::span<const RecIndex> rows = swap ? second : first;
  const std::span<const RecIndex> columns = swap ? first : second;
  WriteTitle(ped,
             " between group " + std::to_string(swap ? secondGroup : firstGroup) + " and group " +
                 std::to_string(swap ? firstGroup : secondGroup),
             file);
  std::string ids = RowLabel(",", ",");
  std::string codes = ids;
  for (const RecIndex ri : columns) {
    ids += std::string(ped.rec(ri).id) + ", ";
    codes += std::to_string(ped.rec(ri).code) + ", ";
  }
  file.Raw(ids + "\n");
  file.Raw(codes + "\n");
  RowWriter writer(ped, file);
  WriteRows(ped, rows, columns, writer);
}

}  // namespace kinvar
