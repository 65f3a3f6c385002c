#include "analyses/relationship_averages.h"

#include <string>
#include <vector>

#include "genetics/relationship.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

void Write(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

// A value of the precision the coefficients were computed in: a float
// through its short digits, a double as it is.
void AddValue(TableRow& row, float value) { row.Float(value); }
void AddValue(TableRow& row, double value) { row.Real(value); }

template <class T>
bool AverageBetweenGroups(Pedigree& ped, Progress& progress, const std::vector<T>& d) {
  const std::int32_t n = ped.nTotal;
  const auto nGroups = static_cast<std::int32_t>(ped.groups.size());
  progress.SetStage(0, 100, nGroups - 1,
                    "Computing average numerator relationships between groups");
  ped.report.Clear();
  ped.copyFile.Reset();
  Write(ped, "Group no.|T7Group no.|T7Average numerator relationships");
  Write(ped, "----------|T7----------|T7----------");
  ResultTable& table = ped.report.tables().Add("group_averages");
  table.AddColumn("group1", ColumnType::kInteger);
  table.AddColumn("group2", ColumnType::kInteger);
  table.AddColumn("value", ColumnType::kReal);

  BasicKernelPedigree<T> kp = WholePedigreeKernel(ped, d, n);
  std::vector<std::int32_t> groupOf(static_cast<std::size_t>(n) + 1, -1);
  for (std::int32_t k = 1; k <= n; ++k)
    groupOf[static_cast<std::size_t>(k)] = ped.byCode(k - 1).group;
  // Sums over up to a million relationships: in 64 bits, as every per-group
  // statistic, so that the averages keep the digits of the float values.
  std::vector<double> sums(ped.groups.size());
  for (std::int32_t g = 0; g < nGroups; ++g) {
    std::fill(sums.begin(), sums.end(), 0.0);
    BackwardPassAdding(kp, groupOf, g);
    for (std::int32_t k = 1; k <= n; ++k) {
      ForwardStep(kp, k);
      const std::int32_t h = groupOf[static_cast<std::size_t>(k)];
      if (h >= 0) sums[static_cast<std::size_t>(h)] += static_cast<double>(kp.at(k));
    }
    ClearWork(kp, n);
    const Description& dg = ped.groups[static_cast<std::size_t>(g)];
    for (std::int32_t h = 0; h <= g; ++h) {
      const Description& dh = ped.groups[static_cast<std::size_t>(h)];
      const std::int64_t pairs = std::int64_t{dh.count} * dg.count;
      const auto average =
          static_cast<T>(sums[static_cast<std::size_t>(h)] / static_cast<double>(pairs));
      Write(ped, std::to_string(dg.group) + "|T7" + std::to_string(dh.group) + "|T7|I" +
                     FormatNumber(ped.settings.numberFormat, average));
      TableRow row = table.AddRow();
      row.Integer(dg.group).Integer(dh.group);
      AddValue(row, average);
    }
    if (progress.Step(g)) return false;
  }
  return true;
}

template <class T>
void AverageRelatedness(Pedigree& ped, const std::vector<T>& d) {
  const std::int32_t n = ped.nTotal;
  ped.report.Clear();
  ped.copyFile.Reset();
  Write(ped, "Individual ID|T1Average relatedness (based on the numerator relationships)");
  Write(ped, "----------|T1----------");
  // In code order, as the listing.
  ResultTable& table = ped.report.tables().Add("average_relatedness");
  table.AddColumn("id", ColumnType::kId);
  table.AddColumn("value", ColumnType::kReal);
  table.Reserve(static_cast<std::size_t>(n));
  BasicKernelPedigree<T> kp = WholePedigreeKernel(ped, d, n);
  std::fill(kp.w.begin() + 1, kp.w.end(), T(1));
  DenseBackwardPass(kp);
  std::string line;
  for (std::int32_t k = 1; k <= n; ++k) {
    ForwardStep(kp, k);
    const auto average = static_cast<T>(static_cast<double>(kp.at(k)) / n);
    line.assign(ped.byCode(k - 1).id);
    line += "|T1|I";
    line += FormatNumber(ped.settings.numberFormat, average);
    WriteReportLine(ped.report, line, &ped.copyFile);
    TableRow row = table.AddRow();
    row.Id(ped.byCode(k - 1).Id());
    AddValue(row, average);
  }
}

}  // namespace

std::string AverageBetweenGroupsRefusal(const Pedigree& ped) {
  const auto groups = static_cast<std::int64_t>(ped.groups.size());
  if (groups <= kMaxAveragedGroups) return {};
  return "|XError: |AThere are " + std::to_string(groups) +
         " groups; averages between groups are listed for at most " +
         std::to_string(kMaxAveragedGroups) + " groups.";
}

bool ReportAverageBetweenGroups(Pedigree& ped, Progress& progress) {
  return ped.InDouble() ? AverageBetweenGroups(ped, progress, ped.dDouble)
                        : AverageBetweenGroups(ped, progress, ped.d);
}

void ReportAverageRelatedness(Pedigree& ped) {
  if (ped.InDouble()) AverageRelatedness(ped, ped.dDouble);
  else AverageRelatedness(ped, ped.d);
}

}  // namespace kinvar
