// The Compute report (the inbreeding summary and the list of inbreds among
// the evaluated individuals) and the file Save As writes after it. Both need
// the coefficients computed and `records` in code order. The report comes
// with its tables: "summary", a row per figure line, and "inbreeding", every
// individual in the file's order with its F, equivalent complete
// generations and longest ancestral path.
#pragma once

#include "analyses/command_declaration.h"
#include "report/output_file.h"
#include "report/progress.h"
#include "pedigree/pedigree.h"

namespace kinvar {

void WriteInbreedingReport(Pedigree& ped);
// False when the user cancelled (`progress` gets a stage of its own).
bool WriteInbredsFile(Pedigree& ped, OutputFile& out, Progress& progress);

// Compute and Re-compute for All, which the document answers itself: no
// handler.
CommandDeclaration InbreedingDeclaration();
CommandDeclaration RecomputeInbreedingDeclaration();

}  // namespace kinvar
