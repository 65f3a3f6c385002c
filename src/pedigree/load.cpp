#include "pedigree/load.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <vector>
#include <system_error>

#include "pedigree/chunk_reader.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/memory.h"
#include "pedigree/pedigree_input.h"
#include "pedigree/reader.h"
#include "pedigree/sort.h"
#include "pedigree/validation.h"
#include "pedigree/xlsx_pedigree.h"

namespace kinvar {

namespace {

// Below this size a file reads in less time than threads take to start.
// Above it the chunk reader serves one thread too, for its large pages.
constexpr std::uintmax_t kChunkReadBytes = std::uintmax_t{1} << 20;

ReadOutcome ReadFile(PedigreeInput& input, const std::string& path, Pedigree& ped, Progress& progress) {
  const int threads = WorkerCount(ped.settings.threads);
  if (input.regular() && static_cast<std::uintmax_t>(input.size()) >= kChunkReadBytes) {
    switch (ReadPedigreeInChunks(input, ped, progress, threads)) {
      case ChunkRead::kRead:
        return {true, {}};
      case ChunkRead::kCancelled:
        return {false, {}};
      case ChunkRead::kGaveUp:
        ResetPedigree(ped);
        if (!input.Rewind()) return {false, "Cannot open " + path};
        break;
    }
  }
  return ReadPedigree(input, path, ped, progress);
}

// A zip (a workbook) or a compound file (a protected one): no text
// pedigree starts with these bytes.
bool LooksLikeWorkbook(std::string_view head) {
  const auto starts = [&](std::string_view bytes) { return head.substr(0, bytes.size()) == bytes; };
  using namespace std::string_view_literals;
  return starts("PK\x03\x04"sv) || starts("PK\x05\x06"sv) || starts("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv);
}

// The input is opened once: a pipe or a FIFO gives its bytes only once.
ReadOutcome ReadInput(const std::string& path, const std::string& sheet, Pedigree& ped, Progress& progress) {
  PedigreeInput input;
  if (!input.Open(path)) return {false, "Cannot open " + path};
  if (!LooksLikeWorkbook(input.Head())) return ReadFile(input, path, ped, progress);
  // A workbook is a zip, read by seeking about in it.
  if (!input.regular()) {
    return {false, "Cannot read the workbook " + path +
                       ".\nA workbook cannot be read from a pipe; save it as a file and open the file."};
  }
  return ReadWorkbookPedigree(path, sheet, ped, progress);
}

}  // namespace

std::string LoadingText(const std::string& path) {
  return "Loading " + std::filesystem::path(path).filename().string();
}

namespace {

// Room for a record per row and for the parents validation adds, up to an
// eighth of them, as a file's reader makes: grown a row at a time, the
// arrays would be copied as they double and hold up to twice their size.
void ReserveForRows(Pedigree& ped, std::size_t rows) {
  ReserveLarge(ped.recs, 1 + rows + rows / 8);
  ped.links.reserve(rows);
  ped.lines.reserve(rows);
}

// Below this many rows, columns read in less time than threads take to
// start; above it the pieces serve one thread too, for their large pages.
constexpr std::size_t kPieceRows = std::size_t{1} << 14;

// Rows are numbered as a file's lines would be, the header being line 1.
ReadOutcome ReadColumns(const PedigreeColumnViews& columns, Pedigree& ped, Progress& progress) {
  const std::size_t width = columns.names.size();
  if (columns.cells.size() != width) return {false, "Every column needs a name."};
  const std::size_t rows = width == 0 ? 0 : columns.cells.front().size();
  for (const std::vector<std::string_view>& column : columns.cells)
    if (column.size() != rows) return {false, "The columns are not all of one length."};
  if (rows >= kPieceRows) {
    switch (ReadColumnsInPieces(columns, ped, progress, WorkerCount(ped.settings.threads))) {
      case ChunkRead::kRead:
        return {true, {}};
      case ChunkRead::kCancelled:
        return {false, {}};
      case ChunkRead::kGaveUp:
        ResetPedigree(ped);
        break;
    }
  }
  ReserveForRows(ped, rows);
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
  return ValidateRead(ReadInput(path, sheet, ped, progress), ped, progress);
}

PedigreeColumnViews ViewsOf(const PedigreeColumns& columns) {
  PedigreeColumnViews views{columns.names, {}, {}};
  views.cells.reserve(columns.cells.size());
  for (const std::vector<std::string>& column : columns.cells)
    views.cells.emplace_back(column.begin(), column.end());
  return views;
}

void SpelledCells::Add(std::string_view cell) {
  text_.insert(text_.end(), cell.begin(), cell.end());
  ends_.push_back(text_.size());
}

std::vector<std::string_view> SpelledCells::Views() const {
  std::vector<std::string_view> views;
  views.reserve(ends_.size());
  std::size_t begin = 0;
  for (const std::size_t end : ends_) {
    views.emplace_back(text_.data() + begin, end - begin);
    begin = end;
  }
  return views;
}

// A vector's buffer stays where it is when the vector moves.
void SpelledCells::MoveInto(PedigreeColumnViews& columns) && {
  columns.spelled.push_back(std::move(text_));
  ends_ = {};
}

LoadOutcome LoadPedigreeColumns(const PedigreeColumns& columns, Pedigree& ped, Progress& progress) {
  return LoadPedigreeColumns(ViewsOf(columns), ped, progress);
}

LoadOutcome LoadPedigreeColumns(const PedigreeColumnViews& columns, Pedigree& ped, Progress& progress) {
  progress.SetWindowText("Loading the pedigree");
  ResetPedigree(ped);
  return ValidateRead(ReadColumns(columns, ped, progress), ped, progress);
}

}  // namespace kinvar
