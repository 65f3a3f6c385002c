#include "pedigree/load.h"

#include "pedigree/reader.h"
#include "pedigree/validation.h"

namespace kinvar {

LoadOutcome LoadPedigree(const std::string& path, Pedigree& ped, Progress& progress) {
  ResetPedigree(ped);
  ReadOutcome read = ReadPedigree(path, ped, progress);
  if (!read.ok) {
    ResetPedigree(ped);
    if (read.message.empty()) return {LoadStatus::kCancelled, {}};
    return {LoadStatus::kReadFailed, std::move(read.message)};
  }
  switch (ValidatePedigree(ped, progress)) {
    case kValid:
      return {LoadStatus::kLoaded, {}};
    case kValidationErrors:
      return {LoadStatus::kRejected, {}};
    default:
      ResetPedigree(ped);
      return {LoadStatus::kCancelled, {}};
  }
}

}  // namespace kinvar
