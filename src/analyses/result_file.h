// Files that a command writes itself instead of a report (the inverse of A,
// matrix T): asked for with the Save As dialog and written through an
// OutputFile, which replaces the chosen file only once the command has
// written it whole.
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
#include "report/output_file.h"
#include "report/platform.h"

namespace kinvar {

// Asks for the file with the Save As dialog and begins it; nothing when the
// user cancelled or it cannot be written there (the user has been told).
std::unique_ptr<OutputFile> AskResultFile(Platform& platform);

// The timestamp, "Pedigree file name: " and the pedigree's path, an empty line.
void WriteOutputHeader(OutputFile& file, const std::string& pedigreePath);

// The row label of the matrix files: "ID," padded to 22 columns, "code,"
// padded to 12.
void WriteRowLabel(OutputFile& file, const Rec& r);

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
