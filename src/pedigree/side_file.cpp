#include "pedigree/side_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace kinvar {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

SideFileResult Fault(SideFileFault fault, std::string message) { return {fault, std::move(message)}; }

// What the descriptor is, before anything is read from it: a folder opens
// for reading on POSIX systems and reads as an error or as nothing.
SideFileResult CheckKind(int fd, const std::string& path) {
  struct stat status {};
  if (::fstat(fd, &status) != 0)
    return Fault(SideFileFault::kReadFailed,
                 "Cannot read " + path + ": " + std::generic_category().message(errno) + ".");
  if (S_ISDIR(status.st_mode)) return Fault(SideFileFault::kFolder, path + " is a folder, not a file.");
  if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode) && !S_ISCHR(status.st_mode))
    return Fault(SideFileFault::kNotAFile, path + " is neither a file nor a stream that can be read.");
  return {};
}

// Cuts the bytes read into lines; a line is handed over once whole.
class LineCutter {
 public:
  LineCutter(const std::string& path, const SideLineVisitor& visit, const SideFileLimits& limits)
      : path_(path), visit_(visit), limits_(limits) {}

  // False when the reading ends here: a fault (in result()) or the
  // visitor's stop.
  bool Take(std::string_view bytes) {
    read_ += bytes.size();
    if (read_ > limits_.maxFileBytes)
      return Stop(SideFileFault::kTooLarge,
                  path_ + " is larger than " + std::to_string(limits_.maxFileBytes) + " bytes.");
    while (!bytes.empty()) {
      const std::size_t end = bytes.find('\n');
      if (!Append(bytes.substr(0, end))) return false;
      if (end == std::string_view::npos) return true;
      bytes.remove_prefix(end + 1);
      if (!Hand()) return false;
    }
    return true;
  }

  // After the last byte: the last line when it has no line feed.
  bool Finish() { return line_.empty() || Hand(); }

  const SideFileResult& result() const { return result_; }

 private:
  bool Append(std::string_view part) {
    if (part.find('\0') != std::string_view::npos)
      return Stop(SideFileFault::kNotText, path_ + " is not a text file: line " + std::to_string(number_) +
                                               " holds a zero byte.");
    if (line_.size() + part.size() > limits_.maxLineBytes)
      return Stop(SideFileFault::kLineTooLong, path_ + " has a line longer than " +
                                                   std::to_string(limits_.maxLineBytes) + " bytes (line " +
                                                   std::to_string(number_) + ").");
    line_.append(part);
    return true;
  }

  bool Hand() {
    std::string_view line = line_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool goOn = visit_(line, number_++);
    line_.clear();
    return goOn;
  }

  bool Stop(SideFileFault fault, std::string message) {
    result_ = Fault(fault, std::move(message));
    return false;
  }

  const std::string& path_;
  const SideLineVisitor& visit_;
  const SideFileLimits& limits_;
  std::string line_;
  std::int64_t number_ = 1;
  std::uint64_t read_ = 0;
  SideFileResult result_;
};

// Opened once: a FIFO waits here for its writer, and what is checked is
// what is read. On a fault the descriptor is closed and `result` says why.
Descriptor OpenChecked(const std::string& path, SideFileResult& result) {
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) {
    result = errno == EISDIR ? Fault(SideFileFault::kFolder, path + " is a folder, not a file.")
                             : Fault(SideFileFault::kCannotOpen, "Cannot open " + path);
    return file;
  }
  result = CheckKind(file.get(), path);
  if (!result.ok()) return Descriptor(-1);
  return file;
}

// At most `size` bytes into `buffer`; the count read (0 at the end), or -1
// with `result` set.
ssize_t ReadSome(int fd, char* buffer, std::size_t size, const std::string& path, SideFileResult& result) {
  for (;;) {
    const ssize_t got = ::read(fd, buffer, size);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    result = errno == EISDIR ? Fault(SideFileFault::kFolder, path + " is a folder, not a file.")
                             : Fault(SideFileFault::kReadFailed, "Cannot read " + path + ": " +
                                                                      std::generic_category().message(errno) + ".");
    return -1;
  }
}

}  // namespace

SideFileResult ReadSideFileLines(const std::string& path, const SideLineVisitor& visit,
                                 const SideFileLimits& limits) {
  SideFileResult result;
  const Descriptor file = OpenChecked(path, result);
  if (!result.ok()) return result;
  LineCutter cutter(path, visit, limits);
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ReadSome(file.get(), buffer, sizeof buffer, path, result);
    if (got < 0) return result;
    if (got == 0) break;
    if (!cutter.Take(std::string_view(buffer, static_cast<std::size_t>(got)))) return cutter.result();
  }
  cutter.Finish();
  return cutter.result();
}

SideFileResult ReadSideFileStart(const std::string& path, std::size_t maxBytes, std::string& bytes) {
  bytes.clear();
  SideFileResult result;
  const Descriptor file = OpenChecked(path, result);
  if (!result.ok()) return result;
  bytes.resize(maxBytes);
  std::size_t have = 0;
  while (have < maxBytes) {
    const ssize_t got = ReadSome(file.get(), bytes.data() + have, maxBytes - have, path, result);
    if (got < 0) {
      bytes.clear();
      return result;
    }
    if (got == 0) break;
    have += static_cast<std::size_t>(got);
  }
  bytes.resize(have);
  return result;
}

std::vector<std::string_view> SideFileWords(std::string_view line) {
  constexpr std::string_view kBlanks = " \t\r\v\f";
  std::vector<std::string_view> words;
  for (std::size_t start = line.find_first_not_of(kBlanks); start != std::string_view::npos;) {
    const std::size_t end = std::min(line.find_first_of(kBlanks, start), line.size());
    words.push_back(line.substr(start, end - start));
    start = line.find_first_not_of(kBlanks, end);
  }
  return words;
}

}  // namespace kinvar
