// The structure census as tables, beside the report's lines: the report
// lays its numbers out with printf formats of its own, so the tables are
// filled from the census rather than the lines rendered from the tables.
#include <string>

#include "analyses/structure.h"

namespace kinvar {

namespace {

void AddCounts(const Pedigree& ped, const StructureCensus& c, ResultTable& t) {
  t.AddFigure("Individuals in total", ped.nTotal);
  t.AddFigure("Inbreds in total", ped.nInbreds);
  t.AddFigure("Evaluated individuals", ped.nEvaluated);
  t.AddFigure("Inbreds in evaluated", ped.nInbredsEvaluated);
  t.AddFigure("Sires in total", c.sires);
  t.AddFigure("Sires in total -Progeny", c.sireProgeny);
  t.AddFigure("Dams in total", c.dams);
  t.AddFigure("Dams in total -Progeny", c.damProgeny);
  t.AddFigure("Individuals with progeny", c.sires + c.dams);
  t.AddFigure("Individuals with no progeny", ped.nTotal - c.dams - c.sires);
  t.AddFigure("Founders", ped.nFounders);
  t.AddFigure("Founders -Progeny", c.founderProgeny);
  t.AddFigure("Founders -Sires", c.founderSires);
  t.AddFigure("Founders -Sires -Progeny", c.founderSireProgeny);
  t.AddFigure("Founders -Dams", c.founderDams);
  t.AddFigure("Founders -Dams -Progeny", c.founderDamProgeny);
  t.AddFigure("Founders -With no progeny", ped.nFounders - c.founderDams - c.founderSires);
  t.AddFigure("Non-founders", ped.nNonFounders);
  t.AddFigure("Non-founders -Sires", c.sires - c.founderSires);
  t.AddFigure("Non-founders -Sires -Progeny", c.sireProgeny - c.founderSireProgeny);
  t.AddFigure("Non-founders -Dams", c.dams - c.founderDams);
  t.AddFigure("Non-founders -Dams -Progeny", c.damProgeny - c.founderDamProgeny);
  t.AddFigure("Non-founders -Only with known sire", c.onlyKnownSire);
  t.AddFigure("Non-founders -Only with known dam", c.onlyKnownDam);
  t.AddFigure("Non-founders -With known sire and dam", c.bothKnown);
  t.AddFigure("Full-sib groups", ped.nFullSibGroups);
  const float familySize = ped.nFullSibGroups == 0
                               ? 0.0f
                               : static_cast<float>(ped.nFullSibMembers) /
                                     static_cast<float>(ped.nFullSibGroups);
  t.AddFigure("Full-sib groups -Average family size", familySize);
  t.AddFigure("Full-sib groups -Average family size -Maximum", ped.maxFullSibSize);
  t.AddFigure("Full-sib groups -Average family size -Minimum", ped.minFullSibSize);
}

void AddDistributions(const Pedigree& ped, const StructureCensus& c, ResultSet& tables) {
  if (ped.nInbreds > 0) {
    ResultTable& f = tables.Add("f_distribution");
    f.AddColumn("above", ColumnType::kReal)
        .AddColumn("up_to", ColumnType::kReal)
        .AddColumn("individuals", ColumnType::kInteger);
    for (std::size_t k = 0; k < c.fClasses.size(); ++k)
      f.AddRow()
          .Real(static_cast<double>(k) / 20.0)  // 0.15, not 3 x 0.05
          .Real(static_cast<double>(k + 1) / 20.0)
          .Integer(c.fClasses[k]);
  }
  ResultTable& lap = tables.Add("longest_path");
  lap.AddColumn("generations", ColumnType::kInteger, "generations")
      .AddColumn("individuals", ColumnType::kInteger);
  for (std::size_t k = 0; k < c.lap.size() && c.lap[k] != 0; ++k)
    lap.AddRow().Integer(static_cast<std::int64_t>(k)).Integer(c.lap[k]);
}

// The mean F of the inbreds, the largest and the smallest, 0 without
// inbreds as the report shows them.
void AddInbreds(TableRow& row, double sumF, std::int32_t inbreds, float maxF, float minF) {
  if (inbreds == 0) {
    row.Float(0.0f).Float(0.0f).Float(0.0f);
    return;
  }
  row.Float(static_cast<float>(sumF) / static_cast<float>(inbreds)).Float(maxF).Float(minF);
}

ResultTable& GroupColumns(ResultSet& tables) {
  ResultTable& t = tables.Add("groups");
  t.AddColumn("group", ColumnType::kInteger)
      .AddColumn("individuals", ColumnType::kInteger)
      .AddColumn("inbreds", ColumnType::kInteger)
      .AddColumn("founders", ColumnType::kInteger)
      .AddColumn("both_parents_known", ColumnType::kInteger)
      .AddColumn("no_progeny", ColumnType::kInteger)
      .AddColumn("unique_ancestors", ColumnType::kInteger)
      .AddColumn("mean_f", ColumnType::kReal)
      .AddColumn("mean_f_inbreds", ColumnType::kReal)
      .AddColumn("max_f", ColumnType::kReal)
      .AddColumn("min_f", ColumnType::kReal)
      .AddColumn("mean_relationship", ColumnType::kReal)
      .AddColumn("mean_relationship_without_self", ColumnType::kReal)
      .AddColumn("mean_ecg", ColumnType::kReal, "generations")
      .AddColumn("max_ecg", ColumnType::kReal, "generations")
      .AddColumn("min_ecg", ColumnType::kReal, "generations");
  return t;
}

// The report's generation figures are floats: the mean as a float quotient,
// the extremes as the number format rounds them.
void AddGroups(const Pedigree& ped, const StructureCensus& c, ResultSet& tables) {
  ResultTable& t = GroupColumns(tables);
  {
    TableRow row = t.AddRow();
    row.Missing().Integer(ped.nTotal).Integer(ped.nInbreds).Integer(ped.nFounders);
    row.Integer(c.bothKnown).Integer(ped.nTotal - c.dams - c.sires).Integer(0);
    row.Float(static_cast<float>(c.sumF) / static_cast<float>(ped.nTotal));
    AddInbreds(row, c.sumF, ped.nInbreds, c.maxF, c.minF);
    row.Real(c.k).Real(c.l);
    row.Float(static_cast<float>(c.sumGenerations) / static_cast<float>(ped.nTotal));
    row.Real(c.maxGenerations).Real(0.0);
  }
  if (!ped.HasGroupColumn()) return;
  for (const std::int32_t gi : ped.groupOrder) {
    const Description& d = ped.groups[static_cast<std::size_t>(gi)];
    const GroupCensus& g = c.groups[static_cast<std::size_t>(gi)];
    TableRow row = t.AddRow();
    row.Integer(d.group).Integer(d.count).Integer(g.inbreds).Integer(g.founders);
    row.Integer(g.bothKnown).Integer(g.noProgeny).Integer(g.uniqueAncestors);
    row.Float(static_cast<float>(g.sumF) / static_cast<float>(d.count));
    AddInbreds(row, g.sumF, g.inbreds, g.maxF, g.minF);
    row.Real(g.k).Real(g.l);
    row.Float(static_cast<float>(g.sumGenerations) / static_cast<float>(d.count));
    row.Real(g.maxGenerations).Real(g.minGenerations);
  }
}

}  // namespace

void AddStructureTables(const Pedigree& ped, const StructureCensus& census, ResultSet& tables) {
  ResultTable& summary = tables.Add(SummaryTable());
  AddCounts(ped, census, summary);
  if (ped.HasBirthColumn()) AddGenerationIntervals(census.intervals, summary);
  AddDistributions(ped, census, tables);
  AddGroups(ped, census, tables);
  if (ped.HasBirthColumn()) tables.Add(GenerationIntervalTable(census.intervals));
  if (ped.settings.listFounders == 0 || census.foundersWithoutProgeny.empty()) return;
  ResultTable& founders = tables.Add("founders_without_progeny");
  founders.AddColumn("id", ColumnType::kId);
  for (const RecIndex r : census.foundersWithoutProgeny) founders.AddRow().Id(ped.rec(r).id);
}

}  // namespace kinvar
