// The Compute report (the inbreeding summary and the list of inbreds among
// the evaluated individuals) and the file Save As writes after it. Both need
// the coefficients computed and `records` in code order.
#pragma once

#include "app/output_file.h"
#include "pedigree/pedigree.h"

namespace kinvar {

void WriteInbreedingReport(Pedigree& ped);
void WriteInbredsFile(Pedigree& ped, OutputFile& out);

}  // namespace kinvar
