#include "genetics/relationship_averages.h"

#include <span>
#include <string>
#include <vector>

#include "genetics/relationship.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

void Write(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

}  // namespace

namespace {

constexpr int kGroupsPerSweep = 8;

// Sums, over the individuals of each group h, of the average numerator
// relationship's terms a(k, member of g) for the groups `lanes` side by side:
// sums[l][h]. In 64 bits, as every per-group statistic, so that the
// averages keep the digits of the float values over a million terms.
std::vector<std::vector<double>> GroupSums(const KernelPedigree& kp,
                                           std::span<const std::int16_t> groupOf,
                                           std::span<const std::int16_t> lanes, std::size_t nGroups,
                                           std::vector<float>& block) {
  constexpr int W = kGroupsPerSweep;
  BlockBackwardPassAdding<W>(kp, groupOf, lanes, block.data());
  BlockForwardPass<W>(block.data(), kp.parents.data(), kp.size());
  std::vector<std::vector<double>> sums(lanes.size(), std::vector<double>(nGroups, 0.0));
  for (std::int32_t k = 1; k <= kp.size(); ++k) {
    const std::int16_t h = groupOf[static_cast<std::size_t>(k)];
    if (h < 0) continue;
    for (std::size_t l = 0; l < lanes.size(); ++l) {
      sums[l][static_cast<std::size_t>(h)] +=
          static_cast<double>(block[static_cast<std::size_t>(k) * W + l]);
    }
  }
  std::fill(block.begin(), block.end(), 0.0f);
  return sums;
}

}  // namespace

bool ReportAverageBetweenGroups(Pedigree& ped, Progress& progress) {
  const std::int32_t n = ped.nTotal;
  const auto nGroups = static_cast<std::int16_t>(ped.groups.size());
  progress.SetStage(0, 100, nGroups - 1,
                    "Computing average numerator relationships between groups");
  ped.report.Clear();
  ped.copyFile.Reset();
  Write(ped, "Group no.|T7Group no.|T7Average numerator relationships");
  Write(ped, "----------|T7----------|T7----------");

  const KernelPedigree kp = WholePedigreeKernel(ped, ped.d, n);
  std::vector<std::int16_t> groupOf(static_cast<std::size_t>(n) + 1, -1);
  for (std::int32_t k = 1; k <= n; ++k)
    groupOf[static_cast<std::size_t>(k)] = ped.byCode(k - 1).group;
  std::vector<float> block((static_cast<std::size_t>(n) + 1) * kGroupsPerSweep, 0.0f);
  std::vector<std::int16_t> lanes;
  for (std::int16_t first = 0; first < nGroups; first = static_cast<std::int16_t>(first + kGroupsPerSweep)) {
    lanes.clear();
    for (std::int16_t g = first; g < nGroups && g < first + kGroupsPerSweep; ++g) lanes.push_back(g);
    const auto sums = GroupSums(kp, groupOf, lanes, ped.groups.size(), block);
    for (std::size_t l = 0; l < lanes.size(); ++l) {
      const std::int16_t g = lanes[l];
      const Description& dg = ped.groups[static_cast<std::size_t>(g)];
      for (std::int16_t h = 0; h <= g; ++h) {
        const Description& dh = ped.groups[static_cast<std::size_t>(h)];
        const std::int64_t pairs = std::int64_t{dh.count} * dg.count;
        const auto average =
            static_cast<float>(sums[l][static_cast<std::size_t>(h)] / static_cast<double>(pairs));
        Write(ped, std::to_string(dg.group) + "|T7" + std::to_string(dh.group) + "|T7|I" +
                       FormatNumber(ped.settings.numberFormat, average));
      }
      if (progress.Step(g)) return false;
    }
  }
  return true;
}

void ReportAverageRelatedness(Pedigree& ped) {
  const std::int32_t n = ped.nTotal;
  ped.report.Clear();
  ped.copyFile.Reset();
  Write(ped, "Individual ID|T1Average relatedness (based on the numerator relationships)");
  Write(ped, "----------|T1----------");
  KernelPedigree kp = WholePedigreeKernel(ped, ped.d, n);
  std::fill(kp.w.begin() + 1, kp.w.end(), 1.0f);
  DenseBackwardPass(kp);
  std::string line;
  for (std::int32_t k = 1; k <= n; ++k) {
    ForwardStep(kp, k);
    const auto average = static_cast<float>(static_cast<double>(kp.at(k)) / n);
    line.assign(ped.byCode(k - 1).id);
    line += "|T1|I";
    line += FormatNumber(ped.settings.numberFormat, average);
    WriteReportLine(ped.report, line, &ped.copyFile);
  }
}

}  // namespace kinvar
