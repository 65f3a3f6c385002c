#include "analyses/individual_tables.h"

#include <vector>

namespace kinvar {

void AddRecodingTable(const Pedigree& ped, ResultSet& tables) {
  ResultTable& table = tables.Add("recoding");
  table.AddColumn("code", ColumnType::kInteger);
  table.AddColumn("sire_code", ColumnType::kInteger);
  table.AddColumn("dam_code", ColumnType::kInteger);
  table.AddColumn("id", ColumnType::kId);
  if (!tables.RowsWanted()) return;
  std::vector<RecIndex> byCode(static_cast<std::size_t>(ped.nTotal) + 1, kUnknownParent);
  for (RecIndex i = 1; i <= ped.nTotal; ++i) byCode[static_cast<std::size_t>(ped.rec(i).code)] = i;
  table.Reserve(static_cast<std::size_t>(ped.nTotal));
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    const Rec& r = ped.rec(byCode[static_cast<std::size_t>(code)]);
    TableRow row = table.AddRow();
    row.Integer(r.code);
    ParentCode(row, ped, r.sire);
    ParentCode(row, ped, r.dam);
    row.Id(r.Id());
  }
}


void AddGroupsTable(const Pedigree& ped, ResultSet& tables) {
  ResultTable& table = tables.Add("groups");
  table.AddColumn("code", ColumnType::kInteger);
  table.AddColumn("id", ColumnType::kId);
  for (std::int32_t g = 0; g < ped.geneticGroups.Count(); ++g) {
    TableRow row = table.AddRow();
    row.Integer(ped.nTotal + g + 1).Id(ped.geneticGroups.ids[static_cast<std::size_t>(g)]);
  }
}

}  // namespace kinvar
