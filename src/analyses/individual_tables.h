// The cells that describe an individual in the typed tables, the same in
// every command's table so that scripts can join them: an unknown parent is
// a missing ID (never the "0" the listings show), an individual without a
// group, or a pedigree without a Group column, a missing group.
//
// Codes are the chronological codes 1..nTotal, as the recoding table maps
// them to IDs.
#pragma once

#include <string_view>

#include "pedigree/pedigree.h"
#include "report/result_table.h"

namespace kinvar {

inline std::string_view ParentId(const Pedigree& ped, RecIndex parent) {
  return parent == kUnknownParent ? std::string_view() : ped.rec(parent).Id();
}

inline TableRow& GroupCell(TableRow& row, const Pedigree& ped, const Rec& r) {
  if (r.group < 0) return row.Missing();
  return row.Integer(ped.GroupNumber(r));
}

// The code of a parent, missing when it is unknown.
inline TableRow& ParentCode(TableRow& row, const Pedigree& ped, RecIndex parent) {
  if (parent == kUnknownParent) return row.Missing();
  return row.Integer(ped.rec(parent).code);
}

// Adds "recoding" (code, sire_code, dam_code, id) in code order, which
// maps every table keyed by codes back to the IDs. `records` is left in the
// order it is in, which the ID searches may rely on.
void AddRecodingTable(const Pedigree& ped, ResultSet& tables);
// Adds "groups" (code, id): the genetic groups with the codes that follow
// the individuals'.
void AddGroupsTable(const Pedigree& ped, ResultSet& tables);

}  // namespace kinvar
