#include "pedigree/pedigree_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "pedigree/line_splitter.h"

namespace kinvar {

bool PedigreeInput::Open(const std::string& path) {
  if (path == kStandardInput) {
    file_ = std::unique_ptr<std::FILE, InputCloser>(stdin, InputCloser{false});
    return true;
  }
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec || std::filesystem::is_directory(status)) return false;
  file_ = std::unique_ptr<std::FILE, InputCloser>(std::fopen(path.c_str(), "rb"), InputCloser{true});
  if (!file_) return false;
  regular_ = std::filesystem::is_regular_file(status);
  if (regular_) {
    const auto bytes = std::filesystem::file_size(path, ec);
    size_ = ec ? 0 : static_cast<std::int64_t>(bytes);
  }
  return true;
}

std::string_view PedigreeInput::Head() {
  if (!headRead_) {
    headRead_ = true;
    headSize_ = std::fread(head_, 1, sizeof head_, file_.get());
  }
  return {head_, headSize_};
}

std::size_t PedigreeInput::Read(void* buffer, std::size_t n) {
  Head();
  std::size_t given = 0;
  if (headServed_ < headSize_ && n > 0) {
    given = std::min(n, headSize_ - headServed_);
    std::memcpy(buffer, head_ + headServed_, given);
    headServed_ += given;
  }
  if (given == n) return given;
  return given + std::fread(static_cast<char*>(buffer) + given, 1, n - given, file_.get());
}

bool PedigreeInput::Rewind() {
  if (!regular_ || std::fseek(file_.get(), 0, SEEK_SET) != 0) return false;
  headRead_ = false;
  headSize_ = headServed_ = 0;
  return true;
}

std::size_t PedigreeInput::ReadAt(std::int64_t offset, void* buffer, std::size_t n, bool& failed) const {
#if defined(_WIN32)
  // Not offered here; the caller reads in one pass instead.
  (void)offset;
  (void)buffer;
  failed = failed || n > 0;
  return 0;
#else
  std::size_t given = 0;
  while (regular_ && given < n) {
    const ssize_t got = pread(fileno(file_.get()), static_cast<char*>(buffer) + given, n - given,
                              static_cast<off_t>(offset) + static_cast<off_t>(given));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      failed = failed || got < 0;
      break;
    }
    given += static_cast<std::size_t>(got);
  }
  return given;
#endif
}

bool PedigreeInput::failed() const { return std::ferror(file_.get()) != 0; }

std::size_t CountFilledLines(const unsigned char* begin, const unsigned char* end) {
  std::size_t lines = 0;
  for (const unsigned char* p = begin; p < end;) {
    const auto* lf = static_cast<const unsigned char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const unsigned char* stop = lf != nullptr ? lf : end;
    while (p < stop && line_splitter::IsLeadingSpace(*p)) ++p;
    if (p < stop) ++lines;
    p = stop + 1;
  }
  return lines;
}

}  // namespace kinvar
