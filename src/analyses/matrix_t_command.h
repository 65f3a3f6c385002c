// The commands over the two factors of A = T D T': matrix T, written row by
// row to a file, and the within-family segregation variances D (dii) as a
// report. Matrix T hands the store the table "matrix_t" (row_id, col_id,
// value: the non-zero cells in code order) without touching the report
// lines; dii comes with "dii" (id, code, dii) in the listing's order.
#pragma once

#include "analyses/command_context.h"
#include "pedigree/pedigree.h"

namespace kinvar {

// Matrix T to a file the user names; enabled up to 500 individuals.
void OnMatrixT(CommandContext& ctx);

// The dii report, in reading order, the parents added by validation after
// a separator.
void WriteDiiReport(Pedigree& ped);
void OnDii(CommandContext& ctx);

CommandDeclaration MatrixTDeclaration();
CommandDeclaration DiiDeclaration();

}  // namespace kinvar
