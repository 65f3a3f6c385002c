#include "analyses/generation_interval.h"

#include <cmath>

#include "report/number_format.h"

namespace kinvar {

namespace {

// Calls pair(pathway or -1, age in days) for each counted parent-progeny pair.
template <class Pair>
void ForEachPair(const Pedigree& ped, const std::vector<std::uint8_t>* members, Pair pair) {
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    if (r.birth == kUnknownBirth) continue;
    if (members != nullptr && (*members)[static_cast<std::size_t>(r.code)] == 0) continue;
    const int offset = r.sex == Sex::kMale ? 0 : r.sex == Sex::kFemale ? 1 : -1;
    const RecIndex parents[2] = {r.sire, r.dam};
    for (int p = 0; p < 2; ++p) {
      const Rec& parent = ped.rec(parents[p]);
      if (parents[p] == kUnknownParent || parent.birth == kUnknownBirth) continue;
      const std::int64_t age = std::int64_t{r.birth} - std::int64_t{parent.birth};
      pair(offset < 0 ? -1 : 2 * p + offset, age);
    }
  }
}

constexpr const char* kLabels[kPathways] = {"sire-son", "sire-daughter", "dam-son",
                                            "dam-daughter", "overall"};

double Known(bool known, double value) { return known ? value : std::nan(""); }

std::string Value(const Pedigree& ped, bool known, double value) {
  return known ? FormatNumber(ped.settings.numberFormat, static_cast<float>(value)) : "-";
}

}  // namespace

GenerationIntervals ComputeGenerationIntervals(const Pedigree& ped,
                                               const std::vector<std::uint8_t>* members) {
  std::array<std::int64_t, kPathways> days{};
  GenerationIntervals result{};
  ForEachPair(ped, members, [&](int pathway, std::int64_t age) {
    for (const int k : {pathway, static_cast<int>(kOverall)}) {
      if (k < 0) continue;
      days[static_cast<std::size_t>(k)] += age;
      ++result[static_cast<std::size_t>(k)].pairs;
    }
  });
  std::array<double, kPathways> meanDays{};
  for (std::size_t k = 0; k < kPathways; ++k) {
    if (result[k].pairs == 0) continue;
    meanDays[k] = static_cast<double>(days[k]) / static_cast<double>(result[k].pairs);
    result[k].years = meanDays[k] / kDaysPerYear;
  }
  std::array<double, kPathways> squares{};
  ForEachPair(ped, members, [&](int pathway, std::int64_t age) {
    for (const int k : {pathway, static_cast<int>(kOverall)}) {
      if (k < 0) continue;
      const double deviation = static_cast<double>(age) - meanDays[static_cast<std::size_t>(k)];
      squares[static_cast<std::size_t>(k)] += deviation * deviation;
    }
  });
  for (std::size_t k = 0; k < kPathways; ++k) {
    if (result[k].pairs < 2) continue;
    result[k].sd =
        std::sqrt(squares[k] / static_cast<double>(result[k].pairs - 1)) / kDaysPerYear;
  }
  return result;
}

std::vector<std::string> GenerationIntervalLines(const Pedigree& ped,
                                                 const GenerationIntervals& intervals) {
  std::vector<std::string> lines{
      "Mean age of parents at the birth of their progeny:",
      "|T3Years|T4Pairs|T4SD"};
  for (std::size_t k = 0; k < kPathways; ++k) {
    const IntervalFigure& f = intervals[k];
    lines.push_back(std::string("Generation interval ") + kLabels[k] + "|T3|I" +
                    Value(ped, f.pairs > 0, f.years) + "|T4" + std::to_string(f.pairs) + "|T4" +
                    Value(ped, f.pairs > 1, f.sd));
  }
  return lines;
}

}  // namespace kinvar

namespace kinvar {

void AddGenerationIntervals(const GenerationIntervals& intervals, ResultTable& summary) {
  for (std::size_t k = 0; k < kPathways; ++k)
    summary.AddFigure(std::string("Generation interval ") + kLabels[k],
                      Known(intervals[k].pairs > 0, intervals[k].years));
}

ResultTable GenerationIntervalTable(const GenerationIntervals& intervals) {
  ResultTable table("generation_intervals");
  table.AddColumn("pathway", ColumnType::kText)
      .AddColumn("years", ColumnType::kReal, "years")
      .AddColumn("pairs", ColumnType::kInteger)
      .AddColumn("sd", ColumnType::kReal, "years");
  for (std::size_t k = 0; k < kPathways; ++k) {
    const IntervalFigure& f = intervals[k];
    table.AddRow()
        .Text(kLabels[k])
        .Real(Known(f.pairs > 0, f.years))
        .Integer(f.pairs)
        .Real(Known(f.pairs > 1, f.sd));
  }
  return table;
}

}  // namespace kinvar
