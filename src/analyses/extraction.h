// Extraction of the ancestors or the descendants of one individual or of the
// members of one group into a new pedigree file, the starting individuals
// included. The file opens again with Open: an ancestors file names only
// parents it lists; a descendants file may name parents it does not list
// (the starting individual's parents, mates from outside), which the reader
// adds as founders.
//
// Conventions: selections are lists of records in ascending chronological
// code; the file has the "!"-commented header of pedigree files, a header
// row, and one row per individual with "0" for an unknown parent and "." for
// no group. When the source has an F column, so does the file: the
// predefined F in the shortest text that reads back as the same float, "."
// for the others, which are computed again on opening.
#pragma once

#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "report/output_file.h"
#include "report/progress.h"

namespace kinvar {

enum class Kinship { kAncestors, kDescendants };

// The selection for one individual (`group` -1) or for the group with index
// `group`; needs `records` in code order.
std::vector<RecIndex> SelectIndividual(const Pedigree& ped, Kinship kinship, RecIndex x);
std::vector<RecIndex> SelectGroup(const Pedigree& ped, Kinship kinship, std::int32_t group);

struct ExtractionFile {
  Kinship kinship = Kinship::kAncestors;
  RecIndex individual = kUnknownParent;  // or
  int groupNumber = -1;                  // for a group
  std::string pedigreePath;
};
// Writes the whole file; false when the user cancelled (`progress` gets a
// stage of its own).
bool WriteExtractionFile(const Pedigree& ped, const ExtractionFile& what,
                         const std::vector<RecIndex>& selection, OutputFile& file,
                         Progress& progress);

void OnExtractAncestorsOfIndividual(CommandContext& ctx);
void OnExtractAncestorsOfGroup(CommandContext& ctx);
void OnExtractDescendantsOfIndividual(CommandContext& ctx);
void OnExtractDescendantsOfGroup(CommandContext& ctx);
// Their parameters: the individual's ID or the group; kinvar-cli's extract
// chooses among them by the two scope words.
CommandDeclaration ExtractAncestorsOfIndividualDeclaration();
CommandDeclaration ExtractAncestorsOfGroupDeclaration();
CommandDeclaration ExtractDescendantsOfIndividualDeclaration();
CommandDeclaration ExtractDescendantsOfGroupDeclaration();

}  // namespace kinvar
