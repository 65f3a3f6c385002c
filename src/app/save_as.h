// What Save As writes after each command: the file kind of the header and
// the body, chosen from `lastCommand` and the save choice (1 or 2).
#pragma once

#include <cstdint>

#include "pedigree/pedigree.h"
#include "report/output_file.h"
#include "report/progress.h"

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

// What the progress window says while Save As writes.
inline constexpr const char* kSavingLabel = "Saving...";

// The writers of the bodies. Those that take `progress` begin a stage of
// their own and return false as soon as the user cancels.
bool WriteCopyFile(Pedigree& ped, OutputFile& out, Progress& progress);
bool WriteReportStore(const Pedigree& ped, OutputFile& out, Progress& progress);
bool WriteDiiFile(const Pedigree& ped, OutputFile& out, Progress& progress);
// One of the three relationship matrices, the groups' members taken from
// the group numbers that the listing remembered.
void WriteMatrixFile(Pedigree& ped, SaveBody body, int groupA, int groupB, OutputFile& out);

}  // namespace kinvar
