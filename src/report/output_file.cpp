#include "report/output_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
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

// The host in temporary names: a process id means something only on the
// host, and in the process-id namespace (a container), that ran it; a
// folder may be shared over the network or between containers.
std::string HostTag() {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  char space[64] = {};
  if (::readlink("/proc/self/ns/pid", space, sizeof space - 1) < 0) space[0] = '\0';
  std::uint32_t hash = 2166136261U;
  for (const char* text : {static_cast<const char*>(host), "/", static_cast<const char*>(space)})
    for (const char* c = text; *c != '\0'; ++c) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619U;
  char tag[9];
  std::snprintf(tag, sizeof tag, "%08x", hash);
  return tag;
}

constexpr std::string_view kTemporaryPrefix = ".kinvar-";

bool IsHex(std::string_view text) {
  return text.size() == 8 &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

// The process that wrote the temporary `name` of this host, or nothing when
// the name is not one of ours.
std::optional<long> WriterOf(std::string_view name, const std::string& host) {
  if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) return std::nullopt;
  name.remove_prefix(kTemporaryPrefix.size());
  if (name.size() < 8 + 1 + 1 + 1 + 8 || name.substr(0, 8) != host || name[8] != '-') return std::nullopt;
  name.remove_prefix(9);
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !IsHex(name.substr(dash + 1))) return std::nullopt;
  long pid = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
  if (ec != std::errc() || end != name.data() + dash || pid <= 0) return std::nullopt;
  return pid;
}

// What a process killed while writing left in `folder` (a full-size file on
// file systems without unnamed temporaries, or a name given just before
// the rename): no process of that id lives on this host any more.
void RemoveStaleTemporaries(const std::string& folder) {
  const std::string host = HostTag();
  const long self = ::getpid();
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const std::optional<long> writer = WriterOf(name, host);
    if (!writer || *writer == self) continue;
    if (::kill(static_cast<pid_t>(*writer), 0) == -1 && errno == ESRCH) ::unlink(it->path().c_str());
  }
}

// A name that no other file in the folder has yet, hidden, recognisable and
// short, whatever the target's length.
std::string HiddenName(const std::string& folder, unsigned attempt, const void* salt) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  const auto mixed = static_cast<std::uint64_t>(now) ^ reinterpret_cast<std::uintptr_t>(salt) ^
                     (std::uint64_t{attempt} * 0x9E3779B97F4A7C15ULL);
  const auto unique = static_cast<std::uint32_t>(mixed ^ (mixed >> 32));
  return (fs::path(folder) / TemporaryName(::getpid(), unique)).string();
}

// The descriptor that `path` names itself: /dev/stdout, /dev/fd/N,
// /proc/self/fd/N.
std::optional<int> DescriptorOf(const fs::path& given) {
  const fs::path path = given.is_absolute() ? given.lexically_normal() : (fs::current_path() / given).lexically_normal();
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  const std::string folder = path.parent_path().string();
  if (folder != "/dev/fd" && folder != "/proc/self/fd" && folder != "/proc/thread-self/fd" &&
      folder != "/proc/" + std::to_string(::getpid()) + "/fd")
    return std::nullopt;
  const std::string name = path.filename().string();
  int fd = -1;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), fd);
  if (ec != std::errc() || end != name.data() + name.size() || fd < 0) return std::nullopt;
  return fd;
}

// The descriptor named by `given` or by a link on the way from it.
std::optional<int> DescriptorNamed(const std::string& given) {
  fs::path path = given;
  std::error_code error;
  for (int hops = 0; hops < 40; ++hops) {
    if (const std::optional<int> fd = DescriptorOf(path)) return fd;
    if (!fs::is_symlink(path, error)) return std::nullopt;
    const fs::path next = fs::read_symlink(path, error);
    if (error) return std::nullopt;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return std::nullopt;
}

bool IsReadOnly(const std::string& path, const struct stat& info) {
  if (!S_ISREG(info.st_mode)) return false;
  if ((info.st_mode & 0222) == 0) return true;
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && (errno == EACCES || errno == EPERM);
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd == -1) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string TemporaryName(long pid, std::uint32_t unique) {
  char tail[32];
  std::snprintf(tail, sizeof tail, "-%ld-%08x", pid, unique);
  return std::string(kTemporaryPrefix) + HostTag() + tail;
}

bool IsReadOnlyFile(const std::string& target) {
  if (DescriptorNamed(target)) return false;  // written into, never replaced
  const std::optional<std::string> resolved = ResolvedTarget(target);
  struct stat info {};
  return resolved && ::stat(resolved->c_str(), &info) == 0 && IsReadOnly(*resolved, info);
}

std::unique_ptr<OutputFile> OutputFile::Begin(const std::string& given, std::string& error,
                                              Temporary temporary, ReadOnly readOnly) {
  if (given.empty()) {
    error = "The file name is empty.";
    return nullptr;
  }
  std::unique_ptr<OutputFile> file(new OutputFile());
  if (file->OpenDirect(given, error)) return file->fd_ == -1 ? nullptr : std::move(file);
  struct stat existing {};
  if (::stat(file->target_.c_str(), &existing) == 0 && readOnly == ReadOnly::kRefuse &&
      IsReadOnly(file->target_, existing)) {
    error = kReadOnlyReason;
    return nullptr;
  }
  RemoveStaleTemporaries(file->folder_);
  if (!file->OpenTemporary(temporary, error)) return nullptr;
  return file;
}

// What cannot be replaced, only written into: a descriptor named as a file
// (through the very descriptor, so ">>" appends and a pipe gets it), a
// device or a pipe. True when the target is one (fd_ -1 and `error` when it
// could not be opened); otherwise the resolved target and its folder are
// set for a temporary.
bool OutputFile::OpenDirect(const std::string& given, std::string& error) {
  target_ = given;
  if (const std::optional<int> fd = DescriptorNamed(given)) {
    fd_ = ::fcntl(*fd, F_DUPFD_CLOEXEC, 0);
    if (fd_ == -1) error = std::strerror(errno);
    direct_ = true;
    return true;
  }
  const std::optional<std::string> resolved = ResolvedTarget(given);
  if (!resolved) {
    error = std::strerror(ELOOP);
    return true;
  }
  target_ = *resolved;
  folder_ = FolderOf(target_);
  struct stat existing {};
  if (::stat(target_.c_str(), &existing) != 0 || S_ISREG(existing.st_mode)) return false;
  if (S_ISDIR(existing.st_mode)) {
    error = std::strerror(EISDIR);
    return true;
  }
  fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd_ == -1) error = std::strerror(errno);
  direct_ = true;
  return true;
}

bool OutputFile::OpenTemporary(Temporary temporary, std::string& error) {
  // An unnamed file is given its name through /proc at the end; without
  // /proc (some containers) it could never be put in place.
  if (temporary == Temporary::kUnnamedWherePossible && ::access("/proc/self/fd", X_OK) == 0) {
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ != -1) return true;
  }
  // No unnamed files on this file system (or an old kernel): a hidden one.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = HiddenName(folder_, attempt, this);
    fd_ = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ != -1) {
      tempName_ = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  error = std::strerror(errno);
  return false;
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

void OutputFile::Markup(std::string_view line) {
  AppendExpandedMarkup(buffer_, line);
  buffer_.push_back('\n');
  if (buffer_.size() >= kFlushSize) Flush();
}

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
  lines_ += std::count(buffer_.begin(), buffer_.end(), '\n');
  if (stream_ != nullptr) {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
      Fail(std::strerror(errno));
    buffer_.clear();
    return;
  }
  WriteOut(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void OutputFile::WriteOut(const char* data, std::size_t left) {
  // Past the file-size limit a write raises SIGXFSZ, which ends the process
  // with the temporary left behind; stopping short fails as a full disk.
  rlimit limit{};
  if (!direct_ && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      written_ + left > limit.rlim_cur) {
    Fail(std::strerror(EFBIG));
    return;
  }
  while (left > 0) {
    const ssize_t put = ::write(fd_, data, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      Fail(std::strerror(put < 0 ? errno : ENOSPC));
      return;
    }
    data += put;
    left -= static_cast<std::size_t>(put);
    written_ += static_cast<std::uint64_t>(put);
  }
}

bool OutputFile::Settle() {
  Flush();
  if (error_.empty() && stream_ == nullptr && !direct_ && fd_ != -1) {
    int synced;
    do synced = ::fsync(fd_);
    while (synced != 0 && errno == EINTR);
    if (synced != 0) Fail(std::strerror(errno));
  }
  return error_.empty();
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
  Settle();
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
    const std::string name = HiddenName(folder_, attempt, this);
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
  const bool readOnly = IsReadOnlyFile(target);
  if (readOnly && !platform.ConfirmReplacingReadOnly(target)) return nullptr;
  auto file = OutputFile::Begin(target, error, Temporary::kUnnamedWherePossible,
                                readOnly ? ReadOnly::kReplace : ReadOnly::kRefuse);
  if (!file) {
    platform.ShowStatus("Not written: " + target + ": " + error);
    platform.ShowMessage("Cannot open " + target + " for writing.\n" + error, MessageIcon::kError);
  }
  return file;
}

std::string WrittenStatus(const std::string& path, std::int64_t lines) {
  return "Written: " + path + " (" + std::to_string(lines) + (lines == 1 ? " line)." : " lines).");
}

bool CommitOutputFile(OutputFile& file, Platform& platform) {
  if (file.Commit()) {
    platform.ShowStatus(WrittenStatus(file.target(), file.Lines()));
    return true;
  }
  platform.ShowStatus("Not written: " + file.target() + ": " + file.error());
  platform.ShowMessage("Error while writing " + file.target() + ".\n" + file.error(),
                       MessageIcon::kError);
  return false;
}

}  // namespace kinvar
