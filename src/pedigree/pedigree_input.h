// A pedigree input opened once and read in one pass: a file, a pipe, a FIFO,
// process substitution, or standard input ("-"). Opening a path twice (once
// to see what it holds, once to read it) loses what the first open read from
// a pipe and waits forever on a FIFO whose writer has gone; so the first
// bytes are read ahead here and handed out again by Read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace kinvar {

// The name that stands for standard input.
inline constexpr const char* kStandardInput = "-";

// Closes what it opened; standard input stays open.
struct InputCloser {
  bool owned = true;
  void operator()(std::FILE* f) const {
    if (owned) std::fclose(f);
  }
};

class PedigreeInput {
 public:
  // False when `path` cannot be opened or is a folder.
  bool Open(const std::string& path);

  // A regular file: its size is known and it can be read again from its
  // start. Anything else is read once, as it comes.
  bool regular() const { return regular_; }
  // The size of a regular file; 0 otherwise.
  std::int64_t size() const { return size_; }
  // Up to the first 8 bytes, read ahead (what a workbook starts with).
  std::string_view Head();
  // Reads up to n bytes, the read-ahead ones first; 0 at the end.
  std::size_t Read(void* buffer, std::size_t n);
  // Back to the first byte; only for a regular file.
  bool Rewind();
  // Up to n bytes from byte `offset` of a regular file, without moving
  // where Read reads; safe on several threads at once. 0 at the end or on
  // an error (then `failed` is set).
  std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n, bool& failed) const;
  bool failed() const;

 private:
  std::unique_ptr<std::FILE, InputCloser> file_;
  bool regular_ = false;
  std::int64_t size_ = 0;
  char head_[8] = {};
  std::size_t headSize_ = 0;
  std::size_t headServed_ = 0;
  bool headRead_ = false;
};

// The lines of [begin, end) (cut at line feeds) that hold a byte other than
// white space: those that can hold a record. Memory for records is reserved
// by this count, so that blank lines cost nothing.
std::size_t CountFilledLines(const unsigned char* begin, const unsigned char* end);

}  // namespace kinvar
