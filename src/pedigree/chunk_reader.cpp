#include "pedigree/chunk_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "pedigree/line_splitter.h"
#include "pedigree/load.h"
#include "pedigree/memory.h"

namespace kinvar {

namespace {

using namespace line_splitter;

// The data lines of one piece, parsed into the slots [first, first +
// slots) of the record and link arrays (record index = link index + 1); the
// record's group holds the group number as written until the pieces are
// joined, since group indexes follow the order of first appearance in the
// whole file. A piece of a file is its text [begin, end); a piece of
// columns is its rows [fromRow, toRow).
struct Piece {
  const unsigned char* begin = nullptr;
  const unsigned char* end = nullptr;
  std::size_t fromRow = 0;
  std::size_t toRow = 0;
  std::size_t first = 0;
  std::size_t slots = 0;   // lines that can hold a record
  std::size_t filled = 0;  // slots used, from the first
  std::int32_t lines = 0;  // line feeds (rows) in the piece
  bool ok = true;
  bool naParent = false;
};

// The line that starts at p and ends before `end` (a line feed or the end
// of the file), without the carriage return the reader drops before a line
// feed and at the end of the file.
std::string_view LineText(const unsigned char* p, const unsigned char* end) {
  auto n = static_cast<std::size_t>(end - p);
  if (n > 0 && p[n - 1] == '\r') --n;
  return {reinterpret_cast<const char*>(p), n};
}

const unsigned char* LineEnd(const unsigned char* p, const unsigned char* end) {
  const auto* lf = static_cast<const unsigned char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
  return lf != nullptr ? lf : end;
}

struct Shared {
  const Header& header;
  Pedigree& ped;
};

void ParsePiece(const Shared& shared, Piece& piece) {
  LineCells a;
  LineCells b;
  for (const unsigned char* p = piece.begin; p < piece.end;) {
    const unsigned char* lf = LineEnd(p, piece.end);
    const std::string_view text = LineText(p, lf);
    const std::string_view line = TrimLeading(text);
    p = lf + 1;
    ++piece.lines;
    // A carriage return alone ends a line to the one-thread reader, which
    // reads such files.
    if (text.find('\r') != std::string_view::npos || (!line.empty() && piece.filled == piece.slots)) {
      piece.ok = false;
      return;
    }
    if (line.empty()) continue;
    const std::size_t slot = piece.first + piece.filled++;
    // The line within the piece until the pieces are joined.
    shared.ped.lines[slot] = piece.lines;
    RowValues values;
    ParentLink& link = shared.ped.links[slot];
    link.rec = static_cast<RecIndex>(slot + 1);
    Rec& r = shared.ped.recs[slot + 1];
    if (ReadTextLine(line, shared.header, a, b, r, link, values).fault != Fault::kNone) {
      piece.ok = false;
      return;
    }
    // The number waits in the group index until the pieces are joined.
    r.group = static_cast<std::int32_t>(values.groupNumber);
    piece.naParent = piece.naParent || values.naParent;
  }
}

// Cuts [begin, end), whole lines, into `count` pieces of whole lines.
std::vector<Piece> CutPieces(const unsigned char* begin, const unsigned char* end, int count) {
  std::vector<Piece> pieces(static_cast<std::size_t>(count));
  const auto step = static_cast<std::size_t>(end - begin) / static_cast<std::size_t>(count);
  const unsigned char* p = begin;
  for (Piece& piece : pieces) {
    piece.begin = p;
    const unsigned char* cut = &piece == &pieces.back() ? end : std::min(end, p + step);
    if (cut < end && cut > p) cut = LineEnd(cut - 1, end) + 1;
    piece.end = p = std::min(cut, end);
  }
  return pieces;
}

// Gives every piece its slots after those of the records read so far; the
// last piece of the file may end without a line feed.
void PlacePieces(std::vector<Piece>& pieces, std::size_t read) {
  for (Piece& piece : pieces) {
    piece.first = read;
    piece.slots = CountFilledLines(piece.begin, piece.end);
    read += piece.slots;
  }
}

class Joiner {
 public:
  // `line`: the lines before the first data line, the header's included.
  Joiner(Pedigree& ped, std::int32_t line) : ped_(ped), line_(line) {}

  // Closes the gaps that blank lines left, in file order, and numbers the
  // groups; false when a piece failed.
  bool Join(const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) {
      if (!piece.ok) return false;
      naParent_ = naParent_ || piece.naParent;
      for (std::size_t k = 0; k < piece.filled; ++k) {
        const std::size_t slot = read_++;
        const std::size_t from = piece.first + k;
        if (slot != from) {
          ped_.recs[slot + 1] = ped_.recs[from + 1];
          ped_.links[slot] = ped_.links[from];
          ped_.links[slot].rec = static_cast<RecIndex>(slot + 1);
        }
        ped_.lines[slot] = line_ + ped_.lines[from];
        Rec& r = ped_.recs[slot + 1];
        if (r.group >= 0 && !groups_.Add(ped_, r.group, r)) {
          return false;
        }
      }
      line_ += piece.lines;
    }
    ped_.recs.resize(read_ + 1);
    ped_.links.resize(read_);
    ped_.lines.resize(read_);
    return true;
  }

  void StartAt(std::int32_t line) { line_ = line; }
  std::size_t read() const { return read_; }
  bool naParent() const { return naParent_; }

 private:
  Pedigree& ped_;
  GroupTable groups_;
  std::int32_t line_ = 0;
  std::size_t read_ = 0;
  bool naParent_ = false;
};

// Finds the header among the first lines of [p, end) as the reader does;
// returns the first byte after it, or nullptr when it is not there whole
// and sound. `lines` counts the lines up to the header's.
const unsigned char* ReadHeader(const unsigned char* p, const unsigned char* end, Header& header,
                                std::int32_t& lines) {
  while (p < end) {
    const unsigned char* lf = LineEnd(p, end);
    if (lf == end) return nullptr;
    const std::string_view text = LineText(p, lf);
    if (text.find('\r') != std::string_view::npos) return nullptr;
    const std::string_view line = TrimLeading(text);
    p = lf + 1;
    ++lines;
    if (line.empty() || line[0] == '!') continue;
    std::string message;
    return ParseHeaderLine(line, header, message) == HeaderFault::kNone ? p : nullptr;
  }
  return nullptr;
}

// The lines that can hold a record, an upper bound on the records: a line
// cut by the end of a block may be counted twice.
std::size_t CountLines(PedigreeInput& input, std::vector<unsigned char>& buffer) {
  std::size_t lines = 0;
  for (std::size_t n; (n = input.Read(buffer.data(), buffer.size())) > 0;) {
    lines += CountFilledLines(buffer.data(), buffer.data() + n);
  }
  return lines;
}

// The same, each thread reading a part of the file with a buffer of its
// own; false when the parts cannot be read apart (then `lines` is not set).
bool CountLinesInParts(const PedigreeInput& input, std::size_t blockBytes, int threads, std::size_t& lines) {
  const auto size = static_cast<std::size_t>(input.size());
  const auto parts = static_cast<std::size_t>(std::max(1, threads));
  const std::size_t step = (size + parts - 1) / parts;
  std::vector<std::size_t> counts(parts, 0);
  std::vector<char> failed(parts, 0);
  const auto count = [&](std::size_t part) {
    std::vector<unsigned char> buffer(std::min(blockBytes, std::max<std::size_t>(step, 1)));
    bool bad = false;
    const std::size_t end = std::min(size, (part + 1) * step);
    for (std::size_t at = part * step; at < end && !bad;) {
      const std::size_t n = input.ReadAt(static_cast<std::int64_t>(at), buffer.data(),
                                         std::min(buffer.size(), end - at), bad);
      if (n == 0) {
        bad = true;
        break;
      }
      counts[part] += CountFilledLines(buffer.data(), buffer.data() + n);
      at += n;
    }
    failed[part] = bad ? 1 : 0;
  };
  {
    std::vector<std::jthread> helpers;
    for (std::size_t part = 1; part < parts; ++part) helpers.emplace_back(count, part);
    count(0);
  }
  if (std::find(failed.begin(), failed.end(), 1) != failed.end()) return false;
  lines = 0;
  for (const std::size_t c : counts) lines += c;
  return true;
}

// `parse(piece)` of every piece at once, one thread each.
template <class Parse>
void ParseAll(std::vector<Piece>& pieces, const Parse& parse) {
  std::vector<std::jthread> helpers;
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    helpers.emplace_back([&parse, &piece = pieces[i]] { parse(piece); });
  }
  parse(pieces[0]);
}

// Room for `lines` records and links, and for the parents validation adds,
// up to an eighth of them; the pages the pieces are parsed into are
// faulted in on every thread (large pages for the records only, see
// pedigree/memory.h).
void ReserveForLines(Pedigree& ped, std::size_t lines, int threads) {
  ped.recs.reserve(1 + lines + lines / 8);
  ped.links.reserve(lines);
  ped.lines.reserve(lines);
  AdviseLargePages(ped.recs);
  FaultInLarge(ped.recs, 1 + lines, threads);
  FaultInLarge(ped.links, lines, threads);
}

// Slots for the pieces, within the capacity reserved: the slots never
// outnumber the lines.
void MakeRoom(Pedigree& ped, const std::vector<Piece>& pieces) {
  const std::size_t slots = pieces.back().first + pieces.back().slots;
  ped.recs.resize(1 + slots);
  ped.links.resize(slots);
  ped.lines.resize(slots);
}

// What a reader of one thread does once the last line is read.
ChunkRead Finish(Pedigree& ped, const Header& header, const Joiner& joiner) {
  if (ped.recs.size() == 1) return ChunkRead::kGaveUp;
  ped.nRead = static_cast<std::int32_t>(ped.recs.size() - 1);
  ped.fColumn = static_cast<std::int16_t>(header.at[kF]);
  ped.groupColumn = static_cast<std::int16_t>(header.at[kGroup]);
  ped.sexColumn = static_cast<std::int16_t>(header.at[kSex]);
  ped.birthColumn = static_cast<std::int16_t>(header.at[kBirth]);
  if (joiner.naParent()) ResolveNaParents(ped);
  GroupTable::BuildOrder(ped);
  return ChunkRead::kRead;
}


// The rows of one piece of columns, as CellRowReader reads them: cells
// without the blanks around them, a row of empty cells passed over.
void ParseRows(const PedigreeColumnViews& columns, const Header& header, Pedigree& ped, Piece& piece) {
  std::vector<std::string_view> cells(columns.cells.size());
  for (std::size_t row = piece.fromRow; row < piece.toRow; ++row) {
    ++piece.lines;
    bool blank = true;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      cells[c] = TrimBlanks(columns.cells[c][row]);
      blank = blank && cells[c].empty();
    }
    if (blank) continue;
    const std::size_t slot = piece.first + piece.filled++;
    ped.lines[slot] = piece.lines;
    RowValues values;
    ParentLink& link = ped.links[slot];
    link.rec = static_cast<RecIndex>(slot + 1);
    Rec& r = ped.recs[slot + 1];
    if (ReadRow(cells, header, true, r, link, values).fault != Fault::kNone) {
      piece.ok = false;
      return;
    }
    r.group = static_cast<std::int32_t>(values.groupNumber);
    piece.naParent = piece.naParent || values.naParent;
  }
}

// Rows [from, to) in `count` pieces, their slots after the `read` so far.
std::vector<Piece> CutRows(std::size_t from, std::size_t to, int count, std::size_t read) {
  std::vector<Piece> pieces(static_cast<std::size_t>(count));
  const std::size_t step = (to - from + pieces.size() - 1) / pieces.size();
  for (Piece& piece : pieces) {
    piece.fromRow = from;
    piece.toRow = from = std::min(to, from + step);
    piece.first = read;
    piece.slots = piece.toRow - piece.fromRow;
    read += piece.slots;
  }
  return pieces;
}

}  // namespace

ChunkRead ReadPedigreeInChunks(const std::string& path, Pedigree& ped, Progress& progress, int threads,
                               std::size_t blockBytes) {
  PedigreeInput input;
  if (!input.Open(path)) return ChunkRead::kGaveUp;
  return ReadPedigreeInChunks(input, ped, progress, threads, blockBytes);
}

ChunkRead ReadPedigreeInChunks(PedigreeInput& input, Pedigree& ped, Progress& progress, int threads,
                               std::size_t blockBytes) {
  if (!input.regular()) return ChunkRead::kGaveUp;
  progress.SetStage(0, 50, std::max<std::int64_t>(input.size(), 1), "Reading");

  std::vector<unsigned char> buffer(std::max<std::size_t>(blockBytes, 16));
  std::size_t lines = 0;
  if (!CountLinesInParts(input, buffer.size(), threads, lines)) {
    lines = CountLines(input, buffer);
    if (input.failed() || !input.Rewind()) return ChunkRead::kGaveUp;
  }
  ReserveForLines(ped, lines, threads);

  Header header;
  std::int32_t headerLines = 0;
  Joiner joiner(ped, 0);
  const Shared shared{header, ped};
  std::size_t have = 0;
  std::int64_t consumed = 0;
  bool first = true;
  for (bool eof = false; !eof;) {
    have += input.Read(buffer.data() + have, buffer.size() - have);
    eof = have < buffer.size();
    if (input.failed()) return ChunkRead::kGaveUp;
    const unsigned char* p = buffer.data();
    const unsigned char* const stop = p + have;
    if (first) {
      first = false;
      if (have >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) p += 3;
      p = ReadHeader(p, stop, header, headerLines);
      if (p == nullptr) return ChunkRead::kGaveUp;
      joiner.StartAt(headerLines);
    }
    const unsigned char* end = stop;
    if (!eof) {
      while (end > p && end[-1] != '\n') --end;
      if (end == p) return ChunkRead::kGaveUp;
    }
    std::vector<Piece> pieces = CutPieces(p, end, threads);
    PlacePieces(pieces, joiner.read());
    MakeRoom(ped, pieces);
    ParseAll(pieces, [&shared](Piece& piece) { ParsePiece(shared, piece); });
    if (!joiner.Join(pieces)) return ChunkRead::kGaveUp;
    const auto used = static_cast<std::size_t>(end - buffer.data());
    consumed += static_cast<std::int64_t>(used);
    if (progress.Step(consumed)) return ChunkRead::kCancelled;
    std::memmove(buffer.data(), end, have - used);
    have -= used;
  }
  return Finish(ped, header, joiner);
}

ChunkRead ReadColumnsInPieces(const PedigreeColumnViews& columns, Pedigree& ped, Progress& progress, int threads,
                              std::size_t blockRows) {
  const std::size_t width = columns.names.size();
  if (width == 0 || columns.cells.size() != width) return ChunkRead::kGaveUp;
  const std::size_t rows = columns.cells.front().size();
  for (const std::vector<std::string_view>& column : columns.cells)
    if (column.size() != rows) return ChunkRead::kGaveUp;
  // The names are the header row, line 1; one that the one-thread reader
  // would pass over (blank, or a comment) is left to it.
  std::vector<std::string_view> names(columns.names.begin(), columns.names.end());
  bool blank = true;
  for (std::string_view& name : names) {
    name = TrimBlanks(name);
    blank = blank && name.empty();
  }
  Header header;
  std::string message;
  if (blank || names[0].starts_with('!') || ParseHeaderCells(names, header, message) != HeaderFault::kNone)
    return ChunkRead::kGaveUp;
  progress.SetStage(0, 50, static_cast<std::int64_t>(std::max<std::size_t>(rows, 1)), "Reading");
  ReserveForLines(ped, rows, threads);
  Joiner joiner(ped, 1);
  const std::size_t block = std::max<std::size_t>(blockRows, 1);
  for (std::size_t from = 0; from < rows; from += block) {
    std::vector<Piece> pieces = CutRows(from, std::min(rows, from + block), threads, joiner.read());
    MakeRoom(ped, pieces);
    ParseAll(pieces, [&](Piece& piece) { ParseRows(columns, header, ped, piece); });
    if (!joiner.Join(pieces)) return ChunkRead::kGaveUp;
    if (progress.Step(static_cast<std::int64_t>(std::min(rows, from + block)))) return ChunkRead::kCancelled;
  }
  return Finish(ped, header, joiner);
}

}  // namespace kinvar
