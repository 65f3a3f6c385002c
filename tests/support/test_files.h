// Files for tests: pedigree texts written to unique temporary paths that are
// removed again when the object goes, and a one-call load of such a text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/load.h"
#include "pedigree/pedigree.h"
#include "report/output_file.h"

namespace kinvar::test {

class TempFile {
 public:
  // Writes `contents` byte for byte; `extension` includes the dot.
  explicit TempFile(std::string_view contents, std::string_view extension = ".pdg");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The whole contents of a file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Replaces `path` with `contents` (for a target that must exist beforehand).
void WriteWholeFile(const std::string& path, std::string_view contents);
// The ID of a child that has ended and been reaped: no living process has
// it, as a killed writer's ID once it is gone.
long DeadProcess();

// Whether an output file's hidden temporary (of any target) is left in
// `target`'s folder.
bool HasTemporaryBeside(const std::string& target);

// What `write` puts into an output file, once committed.
std::string WrittenBy(const std::function<void(OutputFile&)>& write);

// The cycle that validation names, from lines[first] ("Cycle: ...") and the
// lines that carry it on, joined into one line as if the report were wide.
std::string JoinCycleLines(const std::vector<std::string>& lines, std::size_t first);

// The report lines of `ped` as stored, markup kept, without line ends.
std::vector<std::string> ReportLines(const Pedigree& ped);

// Loads `text` as a pedigree file without a visible progress window.
LoadOutcome LoadText(std::string_view text, Pedigree& ped);
// Loads the file at `path` (of a workbook, its sheet `sheet`) the same way.
LoadOutcome LoadPath(const std::string& path, Pedigree& ped, const std::string& sheet = {});
// The lines written to the pedigree's copy file, from which Save As writes.
std::vector<std::string> CopyFileLines(Pedigree& ped);
// The records read from the file, one "ID sire dam group F sex birth" line
// each; "." for what the file leaves unknown.
std::string RecordLines(const Pedigree& ped);
// Reads `text` into `ped` as a table row of a reader test expects: the
// records `records` (as RecordLines gives them), or, when `message` is
// given, exactly that refusal with nothing loaded. `name` names the row.
void ExpectRead(const std::string& name, std::string_view text, std::string_view records,
                const char* message, Pedigree& ped);
// `head` (a header and the founders S0 and D0) and then `generations`
// generations of full-sib mating, "S<k> S<k-1> D<k-1>" and the dam D<k>
// alike, each line ended by `tail`; `sire` and `dam` replace the letters.
std::string FullSibLine(std::string head, int generations, std::string_view tail = "", char sire = 'S',
                        char dam = 'D');

// LoadText, expecting the file to be accepted, then the inbreeding
// coefficients (and so ped.d) computed.
std::unique_ptr<Pedigree> Loaded(const std::string& text);

// Groups of every size for loops over seeds: for a seed divisible by 4 a
// group of its own for every individual, for another even seed 13 groups
// spread over the ages; an odd seed keeps the file's groups.
void SpreadGroups(Pedigree& ped, std::uint64_t seed);

// The record whose ID is `id` exactly (bytes as stored), kUnknownParent
// when there is none.
RecIndex RecordOfId(const Pedigree& ped, const std::string& id);

}  // namespace kinvar::test
