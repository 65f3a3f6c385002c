#include "analyses/pedigree_chart.h"

#include <chrono>
#include <map>

#include "analyses/decomposition.h"
#include "report/number_format.h"

namespace kinvar {

ChartBox ChartBoxOf(const Pedigree& ped, const std::vector<Sex>& sexes, RecIndex i) {
  ChartBox box;
  if (i == kUnknownParent) return box;
  const Rec& r = ped.rec(i);
  box.rec = i;
  box.id = std::string(r.Id());
  box.sex = sexes[static_cast<std::size_t>(i)];
  box.group = ped.GroupNumber(r);
  box.birthYear = BirthYearOf(r.birth);
  box.f = r.f;
  box.added = i > ped.lastRead();
  return box;
}

void FillAncestorPlaces(const Pedigree& ped, const std::vector<Sex>& sexes, PedigreeChart& chart) {
  std::vector<ChartBox>& boxes = chart.boxes;
  for (int g = 1; g <= chart.generations; ++g) {
    for (int k = 0; k < (1 << g); ++k) {
      const RecIndex child = boxes[PedigreeChart::Place(g - 1, k / 2)].rec;
      if (child == kUnknownParent) continue;
      const Rec& c = ped.rec(child);
      boxes[PedigreeChart::Place(g, k)] = ChartBoxOf(ped, sexes, k % 2 == 0 ? c.sire : c.dam);
    }
  }
}

// Colours by first place, reading the chart generation by generation.
void ColourRepeatedAncestors(PedigreeChart& chart) {
  std::map<RecIndex, int> places;
  for (std::size_t p = 1; p < chart.boxes.size(); ++p)
    if (chart.boxes[p].rec != kUnknownParent) ++places[chart.boxes[p].rec];
  std::map<RecIndex, int> colours;
  for (std::size_t p = 1; p < chart.boxes.size(); ++p) {
    ChartBox& box = chart.boxes[p];
    if (box.rec == kUnknownParent || places[box.rec] < 2) continue;
    const auto [it, added] = colours.emplace(box.rec, static_cast<int>(colours.size()));
    box.colour = it->second;
    if (added) chart.common.push_back({box.rec, box.id, it->second, places[box.rec], 0.0});
  }
}

int BirthYearOf(std::int32_t birth) {
  if (birth == kUnknownBirth) return 0;
  const std::chrono::year_month_day day{std::chrono::sys_days{std::chrono::days{birth}}};
  return static_cast<int>(day.year());
}

std::vector<Sex> ShownSexes(const Pedigree& ped) {
  std::vector<Sex> sexes;
  sexes.reserve(ped.recs.size());
  for (const Rec& r : ped.recs) sexes.push_back(r.sex);
  // The column's word stands even where a role contradicts it: validation
  // reports that conflict, and the picture should not hide it.
  for (std::size_t i = 1; i < ped.recs.size(); ++i) {
    const Rec& r = ped.recs[i];
    if (ped.rec(r.sire).sex == Sex::kUnknown) sexes[static_cast<std::size_t>(r.sire)] = Sex::kMale;
    if (ped.rec(r.dam).sex == Sex::kUnknown) sexes[static_cast<std::size_t>(r.dam)] = Sex::kFemale;
  }
  sexes[static_cast<std::size_t>(kUnknownParent)] = Sex::kUnknown;
  return sexes;
}

std::string ChartGenerationsProblem(int generations) {
  if (generations > kMaxChartGenerations)
    return "A pedigree chart shows at most " + std::to_string(kMaxChartGenerations) +
           " generations.";
  if (generations < 1) return "A pedigree chart shows at least 1 generation.";
  return {};
}

PedigreeChart BuildPedigreeChart(Pedigree& ped, RecIndex individual, int generations) {
  EnsureCodeOrder(ped);
  PedigreeChart chart;
  chart.generations = generations;
  chart.numberFormat = ped.settings.numberFormat;
  const std::vector<Sex> sexes = ShownSexes(ped);
  chart.boxes.assign(PedigreeChart::Place(generations + 1, 0), ChartBox{});
  chart.boxes[0] = ChartBoxOf(ped, sexes, individual);
  FillAncestorPlaces(ped, sexes, chart);
  ColourRepeatedAncestors(chart);

  const std::int32_t code = ped.rec(individual).code;
  const DecompositionResult parts = Decompose(ped, code, DecompositionMode::kInbreeding);
  const auto partOf = [&](RecIndex r) { return parts.m[static_cast<std::size_t>(ped.rec(r).code)]; };
  double listed = 0.0;
  for (ChartCommonAncestor& a : chart.common) {
    a.part = partOf(a.rec);
    listed += a.part;
  }
  chart.ownPart = partOf(individual);
  chart.otherPart = parts.mTotal - listed - chart.ownPart;
  return chart;
}

std::string ChartBoxDetail(const ChartBox& box, int numberFormat) {
  std::string detail;
  const auto add = [&](const std::string& part) {
    detail += (detail.empty() ? "" : " \xC2\xB7 ") + part;
  };
  if (box.sex == Sex::kMale) add("male");
  if (box.sex == Sex::kFemale) add("female");
  if (box.group >= 0) add("group " + std::to_string(box.group));
  if (box.birthYear != 0) add("born " + std::to_string(box.birthYear));
  add("F " + FormatNumber(numberFormat, box.f));
  return detail;
}

}  // namespace kinvar
