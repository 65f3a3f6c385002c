// The report copy file: an unbounded copy of the report lines of the analyses
// whose reports can outgrow the store, from which Save As writes them whole
// and the view shows them however long.
//
// It is an anonymous temporary file (it has no name, so it cannot collide with
// another running Kinvar and disappears with the process however it ends).
//
// Reading line i must not cost a scan of the file, nor memory in proportion
// to it: while lines are written the file notes the byte offset of every
// kBlockLines-th line (a 10,000,000-line report costs about 1.2 MB of
// offsets), and a read fetches the one block that holds the line, keeping
// the last few blocks read.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kinvar {

class ReportStore;

class ReportCopyFile {
 public:
  static constexpr std::int64_t kBlockLines = 64;

  // Creates the file; false when the system could not.
  bool Create();
  bool IsOpen() const { return file_ != nullptr; }

  // Rewinds and truncates to length 0.
  void Reset();
  // Writes the text and a newline; a newline inside the text ends a line of
  // the file too.
  void WriteLine(std::string_view line);
  // Calls `visit` with every line from the start, without its newline,
  // until it returns false; false when it stopped early.
  bool ForEachLine(const std::function<bool(std::string_view)>& visit);
  // The bytes written since the last Reset.
  std::int64_t Size();

  // The lines written since the last Reset.
  std::int64_t LineCount() const { return lines_; }
  // Line i (0 <= i < LineCount()) without its newline; "" outside that range
  // or when the file cannot be read.
  std::string Line(std::int64_t i) const;

  // Ties the lines to the store report of `generation` (ReportStore::Generation()).
  // Lines written for two different reports without a Reset between them
  // belong to neither.
  void Claim(std::uint64_t generation);
  // True when every line since the last Reset was written for the store's
  // present report and the store kept only the first of them.
  bool HoldsWholeReportOf(const ReportStore& store) const;

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  // The lines of one block as read from the file: their text back to back,
  // each line's end (the position of its newline) in `ends`.
  struct Block {
    std::int64_t index = -1;
    std::string text;
    std::vector<std::uint32_t> ends;
  };
  const Block& ReadBlock(std::int64_t block, std::int64_t lineInBlock) const;

  std::unique_ptr<std::FILE, Closer> fileHolder_;
  std::FILE* file_ = nullptr;
  std::int64_t lines_ = 0;
  std::int64_t bytes_ = 0;
  // offsets_[b]: where line b * kBlockLines begins.
  std::vector<std::int64_t> offsets_;
  std::uint64_t owner_ = 0;
  bool claimed_ = false;
  bool mixed_ = false;
  mutable std::array<Block, 4> cache_;
  mutable std::size_t nextSlot_ = 0;
};

// The report as the view shows it: the store's lines or, when the store
// overflowed and the copy file holds the same report, every line of the copy
// file (the notice that closes the full store is then no line of it).
class ShownReport {
 public:
  ShownReport(const ReportStore& store, const ReportCopyFile& copy);
  bool FromCopyFile() const { return fromCopy_; }
  std::int64_t Count() const { return count_; }
  std::string Line(std::int64_t i) const;

 private:
  const ReportStore& store_;
  const ReportCopyFile& copy_;
  bool fromCopy_;
  std::int64_t count_;
};

}  // namespace kinvar
