// Every file Kinvar writes (reports, matrices, pedigree files, the settings
// and seed files) goes through OutputFile, which writes a temporary file in
// the target's folder and puts it in the target's place only when it is
// complete and on disk. Until Commit succeeds the target keeps its old bytes:
// a cancel, a write error, a full disk, Ctrl+C or a crash leaves it as it
// was, and leaves no new file behind.
//
// The temporary file has no name while it is written where the file system
// allows it (O_TMPFILE), so not even a crash can leave it behind; elsewhere
// it is a hidden file beside the target that the destructor removes. Its
// name, ".kinvar-HOST-PID-XXXXXXXX", is short whatever the target's, and
// names the process that wrote it: what a killed process left behind is
// removed by the next file written to that folder.
//
// A target that is a device or a pipe (/dev/null, a process substitution),
// and a file descriptor named as a file (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N), is written into, never renamed over: standard output
// redirected with ">>" is appended to, as the shell set it up.
//
// A file that its permissions make read-only is not replaced unless the
// caller says so (after asking the user, or a --force).
//
// Conventions: lines end with "\n"; writes are buffered and a failed write is
// remembered, not reported at once, so writers just write and Commit tells.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "report/platform.h"

namespace kinvar {

// How the file being written is kept: unnamed where the file system allows
// it, or always under a hidden name (what other file systems get).
enum class Temporary { kUnnamedWherePossible, kHiddenName };

// Whether a read-only target may be replaced.
enum class ReadOnly { kRefuse, kReplace };

// Begin's reason for a read-only target.
inline constexpr const char* kReadOnlyReason = "The file is read-only.";
// Whether `target` is a file that its permissions keep from being written:
// no write permission at all (as for root, who could write it anyway), or
// none for this user. A missing file is not, nor one reached through a
// descriptor (which is written into, not replaced).
bool IsReadOnlyFile(const std::string& target);

// The name of a hidden temporary of process `pid` on this host (the file
// name only); what a dead process left under such a name is removed.
std::string TemporaryName(long pid, std::uint32_t unique);

class OutputFile {
 public:
  // Prepares a file that will replace `target` (create it when missing).
  // Nothing when the folder cannot take a file, or the target is read-only
  // and `readOnly` refuses it; `error` then says why.
  static std::unique_ptr<OutputFile> Begin(const std::string& target, std::string& error,
                                           Temporary temporary = Temporary::kUnnamedWherePossible,
                                           ReadOnly readOnly = ReadOnly::kRefuse);
  // Writes straight into an open stream (standard output) that it does not
  // own: Commit only flushes, and nothing can be taken back.
  static std::unique_ptr<OutputFile> OnStream(std::FILE* stream, std::string name);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Raw(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kFlushSize) Flush();
  }
  void Raw(char c) { buffer_.push_back(c); }
  // A marked-up line laid out in columns (its codes become blanks).
  void Markup(std::string_view line);
  void RawInt(std::int64_t value);

  // True while every write so far succeeded.
  bool Good() const { return error_.empty(); }
  // Writes out what is buffered and syncs it, so that only the rename is
  // left for Commit; false when anything failed so far.
  bool Settle();
  // Flushes, syncs and renames over the target; false (the target as it was,
  // no file left behind) when anything failed, with the reason in error().
  bool Commit();
  // Drops what was written; the target stays as it was.
  void Discard();

  const std::string& target() const { return target_; }
  // The lines written out so far: all of them once committed.
  std::int64_t Lines() const { return lines_; }
  const std::string& error() const { return error_; }

 private:
  OutputFile() = default;
  void Flush();
  void WriteOut(const char* data, std::size_t size);
  void Fail(const char* what);
  bool PutInPlace();
  bool OpenDirect(const std::string& given, std::string& error);
  bool OpenTemporary(Temporary temporary, std::string& error);

  static constexpr std::size_t kFlushSize = std::size_t{1} << 20;
  int fd_ = -1;
  std::FILE* stream_ = nullptr;  // OnStream's, not owned
  std::string target_;           // the path the file replaces
  std::string folder_;           // the target's folder
  std::string tempName_;         // the hidden name, when the file has one
  std::string buffer_;
  std::string error_;
  std::uint64_t written_ = 0;  // bytes in the temporary so far
  std::int64_t lines_ = 0;
  bool finished_ = false;   // committed or discarded: nothing more happens
  bool committed_ = false;
  bool direct_ = false;  // into a device or pipe, which cannot be replaced
};

// Begin, telling the user "Cannot open PATH for writing." (and the status
// line "Not written: PATH: why") when it fails. A
// read-only target is replaced only when the platform confirms it; nothing
// (and no message) when it does not.
std::unique_ptr<OutputFile> OpenOutputFile(const std::string& target, Platform& platform);
// The status line of a file written whole: "Written: PATH (N lines)."
std::string WrittenStatus(const std::string& path, std::int64_t lines);
// Commit, telling the user "Error while writing PATH." and why when it fails;
// either way the status line says what became of the file.
bool CommitOutputFile(OutputFile& file, Platform& platform);

}  // namespace kinvar
