#include "pedigree/load.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <vector>
#include <system_error>

#include "pedigree/chunk_reader.h"
#include "pedigree/genetic_groups.h"
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

namespace {

// Rows are numbered as a file's lines would be, the header being line 1.
ReadOutcome ReadColumns(const PedigreeColumns& columns, Pedigree& ped, Progress& progress) {
  const std::size_t width = columns.names.size();
  if (columns.cells.size() != width) return {false, "Every column needs a name."};
  const std::size_t rows = width == 0 ? 0 : columns.cells.front().size();
  for (const std::vector<std::string>& column : columns.cells)
    if (column.size() != rows) return {false, "The columns are not all of one length."};
  CellRowReader reader(ped, progress);
  progress.SetStage(0, 50, static_cast<std::int64_t>(std::max<std::size_t>(rows, 1)), "Reading");
  std::vector<std::string_view> cells(columns.names.begin(), columns.names.end());
  if (!reader.Row(1, cells, 0)) return reader.outcome();
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t c = 0; c < width; ++c) cells[c] = columns.cells[c][i];
    const auto row = static_cast<std::int64_t>(i);
    if (!reader.Row(row + 2, cells, row)) return reader.outcome();
  }
  if (!reader.Finish()) return reader.outcome();
  return {true, {}};
}

LoadOutcome ValidateRead(ReadOutcome read, Pedigree& ped, Progress& progress) {
  if (!read.ok) {
    ResetPedigree(ped);
    if (read.message.empty()) return {LoadStatus::kCancelled, {}};
    return {LoadStatus::kReadFailed, std::move(read.message)};
  }
  if (std::string refused = AssignGeneticGroups(ped); !refused.empty()) {
    ResetPedigree(ped);
    return {LoadStatus::kReadFailed, std::move(refused)};
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

}  // namespace

LoadOutcome LoadPedigree(const std::string& path, Pedigree& ped, Progress& progress,
                         const std::string& sheet) {
  progress.SetWindowText(LoadingText(path));
  ResetPedigree(ped);
  ReadOutcome read = PedigreeFileKindOf(path) == PedigreeFileKind::kText
                         ? ReadFile(path, ped, progress)
                         : ReadWorkbookPedigree(path, sheet, ped, progress);
  return ValidateRead(std::move(read), ped, progress);
}

LoadOutcome LoadPedigreeColumns(const PedigreeColumns& columns, Pedigree& ped, Progress& progress) {
  progress.SetWindowText("Loading the pedigree");
  ResetPedigree(ped);
  return ValidateRead(ReadColumns(columns, ped, progress), ped, progress);
}

}  // namespace kinvar
