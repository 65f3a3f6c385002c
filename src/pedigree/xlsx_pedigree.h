// A pedigree from a workbook's sheet: its rows go through the same header
// and cell rules as the lines of a text file (CellRowReader), so a workbook
// and the same pedigree as text give the same records.
#pragma once

#include <string>

#include "pedigree/pedigree.h"
#include "pedigree/reader.h"
#include "pedigree/xlsx_reader.h"
#include "report/progress.h"

namespace kinvar {

// Reads sheet `sheet` (the first worksheet when empty) into `ped`, which
// must be reset, reporting progress in the 0..50 % stage. A cell holding an
// error value (#N/A ...) under a header name stops the reading; elsewhere it
// is an empty cell. Messages name the sheet and cell ("Error in cell
// Herd!C7") where those of a text file name the line.
ReadOutcome ReadWorkbookPedigree(const std::string& path, const std::string& sheet, Pedigree& ped,
                                 Progress& progress);

}  // namespace kinvar
