// The pedigree listings: View Pedigree and Re-coding into the report store,
// and the pedigree files Save As writes after them. Records are listed in
// reading order (recs[1..nTotal]); the parents that validation added follow
// the file's own records, set off by an underline or an empty line.
// View Pedigree comes with the table "pedigree" (the listing's columns, in
// the same order) and Re-coding with "recoding", in code order.
#pragma once

#include <ctime>
#include <string>

#include "analyses/command_declaration.h"
#include "report/output_file.h"
#include "report/progress.h"
#include "pedigree/pedigree.h"

namespace kinvar {

// F is shown when the file had an F column or the coefficients are computed.
bool ShowsFColumn(const Pedigree& ped);

void ListPedigree(Pedigree& ped);
void ListRecoding(Pedigree& ped);
// The two listings' commands, which the document answers itself: no
// handler. Re-coding's --original-order is kinvar-cli's choice of the file
// Save As writes, not a parameter.
CommandDeclaration ViewPedigreeDeclaration();
CommandDeclaration RecodingDeclaration();

enum class HeaderKind { kOutput, kPedigree };
void WriteFileHeader(OutputFile& out, HeaderKind kind, const std::tm& time,
                     const std::string& pedigreePath);

// The View Pedigree file. Its F column holds every known F in the shortest
// text that reads back as the same float, under any display format, so that
// reopening the file gives the coefficients the report was computed with.
// False when the user cancelled (`progress` gets a stage of its own).
bool WritePedigreeFile(const Pedigree& ped, OutputFile& out, Progress& progress);
// The Re-coding file: ascending code order, or reading order.
bool WriteRecodedFile(Pedigree& ped, OutputFile& out, bool originalOrder, Progress& progress);

}  // namespace kinvar
