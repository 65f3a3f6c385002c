#include "genetics/relationship_matrices.h"

#include <string>
#include <string_view>
#include <vector>

#include "genetics/relationship.h"
#include "report/markup.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

void Put(std::FILE* file, std::string_view text) { std::fwrite(text.data(), 1, text.size(), file); }

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
  RowWriter(const Pedigree& ped, std::FILE* file)
      : ped_(ped), file_(file), coefficient_(ped.settings.relationshipType == 0) {}

  void Begin(const Rec& row) {
    row_ = &row;
    text_ = RowLabel(row);
  }
  void Value(const Rec& column, float a) {
    const float v = coefficient_ ? RelationshipCoefficient(a, column.f, row_->f) : a;
    text_ += FormatNumber(ped_.settings.numberFormat, v);
    text_ += ", ";
  }
  void End() {
    text_ += "\n";
    Put(file_, text_);
  }

 private:
  const Pedigree& ped_;
  std::FILE* file_;
  bool coefficient_;
  const Rec* row_ = nullptr;
  std::string text_;
};

void WriteTitle(const Pedigree& ped, const std::string& rest, std::FILE* file) {
  Put(file, Title(ped, rest));
  Put(file, ExpandMarkup("Individual ID|T1Individual code"));
}

std::vector<std::int32_t> LocalNumbers(const AncestorSubset& subset, const Pedigree& ped,
                                       std::span<const RecIndex> members) {
  std::vector<std::int32_t> local;
  for (const RecIndex ri : members) local.push_back(subset.LocalOf(ped.rec(ri)));
  return local;
}

// Rows of `rows` over the subset of both lists, values for `columns`.
void WriteRows(Pedigree& ped, std::span<const RecIndex> rows, std::span<const RecIndex> columns,
               RowWriter& writer) {
  std::vector<RecIndex> seeds(rows.begin(), rows.end());
  seeds.insert(seeds.end(), columns.begin(), columns.end());
  AncestorSubset subset = BuildAncestorSubset(ped, seeds);
  KernelPedigree& kp = subset.kernel;
  const std::vector<std::int32_t> rowLocal = LocalNumbers(subset, ped, rows);
  const std::vector<std::int32_t> columnLocal = LocalNumbers(subset, ped, columns);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    ComputeColumn(kp, rowLocal[r], kp.size());
    writer.Begin(ped.rec(rows[r]));
    for (std::size_t c = 0; c < columns.size(); ++c)
      writer.Value(ped.rec(columns[c]), kp.at(columnLocal[c]));
    writer.End();
    ClearWork(kp, kp.size());
  }
}

}  // namespace

void WriteMatrixAll(Pedigree& ped, std::FILE* file) {
  EnsureCodeOrder(ped);
  WriteTitle(ped, ":", file);
  RowWriter writer(ped, file);
  const std::int32_t n = ped.nTotal;
  KernelPedigree kp = WholePedigreeKernel(ped, ped.d, n);
  for (std::int32_t j = 1; j <= n; ++j) {
    ComputeColumn(kp, j, n);
    writer.Begin(ped.byCode(j - 1));
    for (std::int32_t i = 1; i <= n; ++i) writer.Value(ped.byCode(i - 1), kp.at(i));
    writer.End();
    ClearWork(kp, n);
  }
}

void WriteMatrixWithinGroup(Pedigree& ped, int group, std::span<const RecIndex> members,
                            std::FILE* file) {
  WriteTitle(ped, " for group " + std::to_string(group), file);
  RowWriter writer(ped, file);
  WriteRows(ped, members, members, writer);
}

void WriteMatrixBetweenGroups(Pedigree& ped, int firstGroup, std::span<const RecIndex> first,
                              int secondGroup, std::span<const RecIndex> second, std::FILE* file) {
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
  Put(file, ids + "\n");
  Put(file, codes + "\n");
  RowWriter writer(ped, file);
  WriteRows(ped, rows, columns, writer);
}

}  // namespace kinvar
