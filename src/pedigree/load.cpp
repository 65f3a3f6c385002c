#include "pedigree/load.h"

#include <filesystem>
#include <system_error>

#include "pedigree/chunk_reader.h"
#include "pedigree/reader.h"
#include "pedigree/sort.h"
#include "pedigree/validation.h"
#include "pedigree/xlsx_pedigree.h"

namespace kinvar {

namespace {

// Below this size a file reads in less time than threads take to start.
// Above it the chunk reader serves one thread too, for its large pages.
constexpr std::uintmax_t kChunkReadBytes = std::uintmax_t{1} << 20;

ReadOutcome ReadFile(const std::string& path, Pedigree& ped, Progress& progress) {
  const int threads = LoadThreads(ped.settings.threads);
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size >= kChunkReadBytes) {
    switch (ReadPedigreeInChunks(path, ped, progress, threads)) {
      case ChunkRead::kRead:
        return {true, {}};
      case ChunkRead::kCancelled:
        return {false, {}};
      case ChunkRead::kGaveUp:
        ResetPedigree(ped);
        break;
    }
  }
  return ReadPedigree(path, ped, progress);
}

}  // namespace

std::string LoadingText(const std::string& path) {
  return "Loading " + std::filesystem::path(path).filename().string();
}

LoadOutcome LoadPedigree(const std::string& path, Pedigree& ped, Progress& progress,
                         const std::string& sheet) {
  progress.SetWindowText(LoadingText(path));
  ResetPedigree(ped);
  ReadOutcome read = PedigreeFileKindOf(path) == PedigreeFileKind::kText
                         ? ReadFile(path, ped, progress)
                         : ReadWorkbookPedigree(path, sheet, ped, progress);
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
