#include "report/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "report/markup.h"

namespace kinvar {

namespace {

namespace fs = std::filesystem;

// A symbolic link is followed, so that saving over a link replaces (or
// creates) the file it names instead of the link. Nothing for a loop.
std::optional<std::string> ResolvedTarget(const std::string& target) {
  fs::path path = target;
  std::error_code error;
  for (int hops = 0; hops < 40; ++hops) {
    if (!fs::is_symlink(path, error)) return path.string();
    const fs::path next = fs::read_symlink(path, error);
    if (error) return path.string();
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return std::nullopt;
}

std::string FolderOf(const std::string& target) {
  const fs::path folder = fs::path(target).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// The permissions a new file gets from the process's umask; read from
// /proc because umask() can only be learned by changing it.
mode_t NewFileMode() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word != "Umask:") continue;
    std::string octal;
    status >> octal;
    unsigned mask = 0;
    if (std::from_chars(octal.data(), octal.data() + octal.size(), mask, 8).ec == std::errc())
      return static_cast<mode_t>(0666 & ~mask);
  }
  return 0644;
}

// A name that no other file in the folder has yet, hidden and recognisable:
// ".NAME.kinvar-XXXXXXXX".
std::string HiddenName(const std::string& folder, const std::string& target, unsigned attempt,
                       const void* salt) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  const auto mixed = static_cast<std::uint64_t>(now) ^ reinterpret_cast<std::uintptr_t>(salt) ^
                     (std::uint64_t{static_cast<std::uint32_t>(::getpid())} << 32) ^
                     (std::uint64_t{attempt} * 0x9E3779B97F4A7C15ULL);
  char suffix[17];
  std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(mixed ^ (mixed >> 32)));
  std::string name = ".";
  name.append(fs::path(target).filename().string()).append(".kinvar-").append(suffix);
  return (fs::path(folder) / name).string();
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd == -1) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::Begin(const std::string& given, std::string& error,
                                              Temporary temporary) {
  std::unique_ptr<OutputFile> file(new OutputFile());
  const std::optional<std::string> resolved = ResolvedTarget(given);
  if (!resolved) {
    error = std::strerror(ELOOP);
    return nullptr;
  }
  file->target_ = *resolved;
  file->folder_ = FolderOf(file->target_);
  struct stat existing {};
  if (::stat(file->target_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode)) {
      error = std::strerror(EISDIR);
      return nullptr;
    }
    // A device or a pipe (/dev/null, a shell's process substitution) cannot
    // be replaced, only written into.
    file->fd_ = ::open(file->target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (file->fd_ == -1) {
      error = std::strerror(errno);
      return nullptr;
    }
    file->direct_ = true;
    return file;
  }
  // An unnamed file is given its name through /proc at the end; without
  // /proc (some containers) it could never be put in place.
  if (temporary == Temporary::kUnnamedWherePossible && ::access("/proc/self/fd", X_OK) == 0) {
    file->fd_ = ::open(file->folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file->fd_ != -1) return file;
  }
  // No unnamed files on this file system (or an old kernel): a hidden one.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = HiddenName(file->folder_, file->target_, attempt, file.get());
    file->fd_ = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (file->fd_ != -1) {
      file->tempName_ = name;
      return file;
    }
    if (errno != EEXIST) break;
  }
  error = std::strerror(errno);
  return nullptr;
}

std::unique_ptr<OutputFile> OutputFile::OnStream(std::FILE* stream, std::string name) {
  std::unique_ptr<OutputFile> file(new OutputFile());
  file->stream_ = stream;
  file->target_ = std::move(name);
  return file;
}

OutputFile::~OutputFile() {
  if (!finished_) Discard();
}

void OutputFile::Markup(std::string_view line) { Raw(ExpandMarkup(line)); }

void OutputFile::RawInt(std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  buffer_.append(digits, end);
}

void OutputFile::Fail(const char* what) {
  if (error_.empty()) error_ = what;
}

void OutputFile::Flush() {
  if (buffer_.empty() || !error_.empty()) {
    buffer_.clear();
    return;
  }
  if (stream_ != nullptr) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
      Fail(std::strerror(errno));
    buffer_.clear();
    return;
  }
  const char* data = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0) {
    const ssize_t put = ::write(fd_, data, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      Fail(std::strerror(put < 0 ? errno : ENOSPC));
      break;
    }
    data += put;
    left -= static_cast<std::size_t>(put);
  }
  buffer_.clear();
}

bool OutputFile::Commit() {
  if (finished_) return committed_;
  Flush();
  if (stream_ != nullptr) {
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) Fail(std::strerror(errno));
    finished_ = true;
    committed_ = error_.empty();
    return committed_;
  }
  if (direct_) {
    if (::close(fd_) != 0) Fail(std::strerror(errno));
    fd_ = -1;
    finished_ = true;
    committed_ = error_.empty();
    return committed_;
  }
  if (error_.empty()) {
    int synced;
    do synced = ::fsync(fd_);
    while (synced != 0 && errno == EINTR);
    if (synced != 0) Fail(std::strerror(errno));
  }
  if (error_.empty() && !PutInPlace()) Fail(std::strerror(errno));
  if (!error_.empty()) {
    Discard();
    return false;
  }
  ::close(fd_);
  fd_ = -1;
  finished_ = committed_ = true;
  SyncFolder(folder_);
  return true;
}

// The new file takes the old one's permissions, or those of a new file.
bool OutputFile::PutInPlace() {
  struct stat old {};
  const mode_t mode = ::stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : NewFileMode();
  if (::fchmod(fd_, mode) != 0) return false;
  if (!tempName_.empty()) {
    if (::rename(tempName_.c_str(), target_.c_str()) != 0) return false;
    tempName_.clear();
    return true;
  }
  // An unnamed file gets a hidden name first: link() cannot replace a file,
  // rename() can, in one step.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = HiddenName(folder_, target_, attempt, this);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (::rename(name.c_str(), target_.c_str()) == 0) return true;
    const int saved = errno;
    ::unlink(name.c_str());
    errno = saved;
    return false;
  }
  return false;
}

void OutputFile::Discard() {
  buffer_.clear();
  if (stream_ != nullptr) return;
  if (fd_ != -1) ::close(fd_);
  fd_ = -1;
  if (!tempName_.empty()) ::unlink(tempName_.c_str());
  tempName_.clear();
  finished_ = true;
}

std::unique_ptr<OutputFile> OpenOutputFile(const std::string& target, Platform& platform) {
  std::string error;
  auto file = OutputFile::Begin(target, error);
  if (!file)
    platform.ShowMessage("Cannot open " + target + " for writing.\n" + error, MessageIcon::kError);
  return file;
}

bool CommitOutputFile(OutputFile& file, Platform& platform) {
  if (file.Commit()) return true;
  platform.ShowMessage("Error while writing " + file.target() + ".\n" + file.error(),
                       MessageIcon::kError);
  return false;
}

}  // namespace kinvar
