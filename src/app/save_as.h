// What Save As writes after each command: the file kind of the header and
// the body, chosen from `lastCommand` and the save choice (1 or 2).
#pragma once

#include <cstdint>

#include "app/output_file.h"
#include "pedigree/pedigree.h"

namespace kinvar {

enum class SaveBody {
  kCopyFile,            // the report copy file, complete however long
  kMatrixAll,           // relationship matrix of all individuals
  kMatrixTwoGroups,     // relationship matrix between two groups
  kMatrixWithinGroup,   // relationship matrix within a group
  kPathCounting,        // the path-counting writers
  kInbreds,             // the list of inbreds
  kDii,                 // within-family segregation variances
  kPedigreeFile,        // View Pedigree as a pedigree file
  kRecodedFile,         // Re-coding as a pedigree file
  kReportStore,         // the report store, line by line
};

SaveBody SaveBodyFor(std::int32_t lastCommand, int choice);
// Pedigree files get the "!"-commented header.
bool IsPedigreeFileCommand(std::int32_t lastCommand);
// Pairs up to which Save As offers a relationship matrix besides the list.
constexpr std::int64_t kMaxMatrixPairs = 250000;

void WriteCopyFile(Pedigree& ped, OutputFile& out);
void WriteReportStore(const Pedigree& ped, OutputFile& out);
void WriteDiiFile(const Pedigree& ped, OutputFile& out);
// One of the three relationship matrices, the groups' members taken from
// the group numbers that the listing remembered.
void WriteMatrixFile(Pedigree& ped, SaveBody body, int groupA, int groupB, OutputFile& out);

}  // namespace kinvar
