// What the fuzz targets share: the input written where a reader can open it
// by path, a platform that only records the messages shown, and a check that
// aborts so that libFuzzer keeps the input that broke an invariant.
//
// Conventions of this header:
// - Every target defines LLVMFuzzerTestOneInput and nothing else; it runs
//   the same reader function the program runs, on a Pedigree of its own.
// - A broken invariant prints what broke and aborts (libFuzzer then saves the
//   input as crash-*); a reader's refusal of an input is not a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "matings/mating_files.h"
#include "pedigree/pedigree.h"
#include "report/platform.h"
#include "support/scripted_platform.h"

namespace kinvar::fuzz {

[[noreturn]] void Broken(const char* file, int line, const std::string& what);

#define FUZZ_CHECK(condition, what)                                            \
  do {                                                                         \
    if (!(condition)) ::kinvar::fuzz::Broken(__FILE__, __LINE__, (what));      \
  } while (false)

// One in-memory file per process, rewritten for every input; its path opens
// like any file's (fopen, file_size and is_regular_file all work on it).
class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& Write(const std::uint8_t* data, std::size_t size);
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// A fresh folder for files that a reader renames or writes back; removed
// with its contents when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Writes `data` to the file `name` in the folder, replacing it.
  std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) const;

 private:
  std::string folder_;
};

// The whole contents of a file, "" when it cannot be read.
std::string ReadAll(const std::string& path);

// The data lines of a contribution or forbidden-matings text as its readers
// define them: lines split at line feeds, trimmed of white space, neither
// empty nor starting with "!".
std::vector<std::string> DataLines(const std::uint8_t* data, std::size_t size);

// The first two fields of a data line, letters a-z upper-cased.
std::pair<std::string, std::string> FirstTwoFields(const std::string& line);

// Remembers every message, in order; the readers ask nothing.
using RecordingPlatform = test::ScriptedPlatform;

// True when exactly one message was shown, with the error icon: how the
// mating file readers refuse a file.
bool RefusedOnce(const RecordingPlatform& platform);

// Loads the workbook at `path` as File > Open does: a loaded pedigree is
// coded parents first with IDs of 1 to 20 bytes that Kinvar's own files can
// hold (no control character, quote, blank or comma); a rejected one has its
// list; a failed read says why without naming a line, and leaves nothing.
void CheckWorkbookLoad(const std::string& path);

// The pedigree the mating file targets read against: sires S1..S3 in group
// 1, dams D1..D5 in group 2 (two of them with known parents), and animals
// of group 3 and of no group that belong to neither.
struct MatingFixture {
  MatingFixture();
  Pedigree ped;
  MatingGroups groups;
};

}  // namespace kinvar::fuzz
