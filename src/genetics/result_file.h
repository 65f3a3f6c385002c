// Files that a command writes itself instead of a report (the inverse of A,
// matrix T): asked for with the Save As dialog, written through a large
// buffer, and removed again when the command is cancelled or fails, so that
// no partly written file passes for a result.
//
// Conventions: lines end with "\n"; codes are the chronological codes
// 1..nTotal; values go through the number-format setting unless a writer
// says otherwise.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "pedigree/pedigree.h"
#include "report/platform.h"

namespace kinvar {

class ResultFile {
 public:
  // Asks for the file with the Save As dialog and opens it; nothing when the
  // user cancelled or it could not be opened (the user has been told).
  static std::unique_ptr<ResultFile> Ask(Platform& platform);
  ~ResultFile();
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  void Write(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kFlushSize) Flush();
  }
  void Write(char c) { buffer_.push_back(c); }
  void WriteInt(std::int64_t value);
  // Closes the file; false (after telling the user) when a write failed.
  bool Close(Platform& platform);
  // Closes and deletes the file.
  void Discard();
  const std::string& path() const { return path_; }

 private:
  ResultFile(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  void Flush();

  static constexpr std::size_t kFlushSize = std::size_t{1} << 20;
  std::FILE* file_;
  std::string path_;
  std::string buffer_;
  bool failed_ = false;
};

// The timestamp, "Pedigree file name: " and the pedigree's path, an empty line.
void WriteOutputHeader(ResultFile& file, const std::string& pedigreePath);

// The row label of the matrix files: "ID," padded to 22 columns, "code,"
// padded to 12.
void WriteRowLabel(ResultFile& file, const Rec& r);

// FormatNumber for the values of a whole matrix, which repeat a great deal:
// a direct-mapped cache keyed by the value's bits.
class CachedFormat {
 public:
  explicit CachedFormat(int setting) : setting_(setting) {}
  const std::string& operator()(float value);

 private:
  struct Slot {
    std::uint32_t bits = 0;
    bool used = false;
    std::string text;
  };
  int setting_;
  std::array<Slot, 4096> slots_{};
};

}  // namespace kinvar
