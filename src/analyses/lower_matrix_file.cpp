#include "analyses/lower_matrix_file.h"

#include <charconv>
#include <string>
#include <type_traits>

#include "analyses/individual_tables.h"
#include "analyses/result_file.h"
#include "genetics/inbreeding.h"
#include "report/markup.h"
#include "report/number_format.h"

namespace kinvar {

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

}  // namespace kinvar
