// Side files: the small text files read beside a pedigree (genetic groups,
// group fractions, Gamma, contributions, forbidden matings, breeding values,
// the seed). Each is opened once and read line by line with limits that no
// real side file reaches, so that a folder, a device such as /dev/zero, or
// an endless stream is refused with a message instead of filling memory or
// reading forever. A FIFO or a pipe is read like a file.
//
// Conventions of this header:
// - Lines are numbered from 1 and handed over without their line feed and
//   without a carriage return before it; a last line without a line feed
//   is a line; an empty file has none.
// - Every message names the file by the path given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kinvar {

struct SideFileLimits {
  std::size_t maxLineBytes = std::size_t{1} << 20;
  std::uint64_t maxFileBytes = std::uint64_t{1} << 30;
};

enum class SideFileFault {
  kNone,         // read to its end, or the visitor stopped
  kCannotOpen,   // missing, no permission, ...
  kFolder,       // a folder
  kNotAFile,     // a block device or a socket
  kNotText,      // a zero byte
  kLineTooLong,  // a line beyond maxLineBytes
  kTooLarge,     // more than maxFileBytes
  kReadFailed,   // the system failed to read it
};

struct SideFileResult {
  SideFileFault fault = SideFileFault::kNone;
  std::string message;  // what is wrong, naming the file; empty on kNone
  bool ok() const { return fault == SideFileFault::kNone; }
};

// Given each line and its number; false stops the reading (the result is
// then kNone: the visitor has its own reason and tells it).
using SideLineVisitor = std::function<bool(std::string_view line, std::int64_t number)>;

// Opens `path` once and hands its lines to `visit` in order. On kCannotOpen
// the message is "Cannot open FILE"; a reader with a message of its own for
// a missing file gives that instead.
SideFileResult ReadSideFileLines(const std::string& path, const SideLineVisitor& visit,
                                 const SideFileLimits& limits = {});

// For a binary side file: opens `path` once, with the same checks, and puts
// its first `maxBytes` bytes (fewer when it is shorter) into `bytes`; the
// rest is not read.
SideFileResult ReadSideFileStart(const std::string& path, std::size_t maxBytes, std::string& bytes);

// The words of a side file's line, split at runs of blanks and tabs (also
// carriage returns, vertical tabs and form feeds), as every side file and
// the PLINK .fam and .bim take them.
std::vector<std::string_view> SideFileWords(std::string_view line);

}  // namespace kinvar
