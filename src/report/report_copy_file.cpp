#include "report/report_copy_file.h"

#include <unistd.h>

#include <cerrno>
#include <string>

#include "report/report_store.h"

namespace kinvar {

bool ReportCopyFile::Create() {
  fileHolder_.reset(std::tmpfile());
  file_ = fileHolder_.get();
  Reset();
  return file_ != nullptr;
}

void ReportCopyFile::Reset() {
  lines_ = 0;
  bytes_ = 0;
  offsets_.clear();
  claimed_ = false;
  mixed_ = false;
  for (Block& block : cache_) block.index = -1;
  if (file_ == nullptr) return;
  std::fflush(file_);
  std::rewind(file_);
  if (ftruncate(fileno(file_), 0) != 0) {
    // The file keeps its old tail; readers stop at what was written since.
  }
}

void ReportCopyFile::WriteLine(std::string_view line) {
  if (file_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
  // Every write ends with a newline, so a line begins where the last ended.
  std::size_t begin = 0;
  for (;;) {
    if (lines_ % kBlockLines == 0)
      offsets_.push_back(bytes_ + static_cast<std::int64_t>(begin));
    ++lines_;
    const std::size_t end = line.find('\n', begin);
    if (end == std::string_view::npos) break;
    begin = end + 1;
  }
  bytes_ += static_cast<std::int64_t>(line.size()) + 1;
}

std::int64_t ReportCopyFile::Size() {
  if (file_ == nullptr) return 0;
  std::fflush(file_);
  return std::ftell(file_);
}

bool ReportCopyFile::ForEachLine(const std::function<bool(std::string_view)>& visit) {
  if (file_ == nullptr) return true;
  std::fflush(file_);
  const long end = std::ftell(file_);
  std::rewind(file_);
  std::string line;
  long read = 0;
  int c;
  bool stopped = false;
  while (read < end && (c = std::fgetc(file_)) != EOF) {
    ++read;
    if (c == '\n') {
      if ((stopped = !visit(line))) break;
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!stopped && !line.empty()) stopped = !visit(line);
  std::fseek(file_, end, SEEK_SET);
  return !stopped;
}

namespace {

// Reads [offset, offset + size) without moving the stream's own position;
// false on a read error or a file shorter than that.
bool ReadAt(int fd, std::int64_t offset, std::string& out, std::size_t size) {
  out.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = pread(fd, out.data() + done, size - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

const ReportCopyFile::Block& ReportCopyFile::ReadBlock(std::int64_t block,
                                                       std::int64_t lineInBlock) const {
  // A cached block stays right for the lines it has: lines never change
  // until a Reset, which empties the cache. The last block may have grown.
  for (const Block& cached : cache_)
    if (cached.index == block && lineInBlock < static_cast<std::int64_t>(cached.ends.size()))
      return cached;
  Block& slot = cache_[nextSlot_];
  nextSlot_ = (nextSlot_ + 1) % cache_.size();
  slot.index = -1;
  slot.ends.clear();
  const std::size_t b = static_cast<std::size_t>(block);
  const std::int64_t begin = offsets_[b];
  const std::int64_t end = b + 1 < offsets_.size() ? offsets_[b + 1] : bytes_;
  std::fflush(file_);
  if (!ReadAt(fileno(file_), begin, slot.text, static_cast<std::size_t>(end - begin))) {
    slot.text.clear();
    return slot;
  }
  for (std::size_t i = 0; i < slot.text.size(); ++i)
    if (slot.text[i] == '\n') slot.ends.push_back(static_cast<std::uint32_t>(i));
  slot.index = block;
  return slot;
}

std::string ReportCopyFile::Line(std::int64_t i) const {
  if (file_ == nullptr || i < 0 || i >= lines_) return {};
  const std::int64_t k = i % kBlockLines;
  const Block& block = ReadBlock(i / kBlockLines, k);
  if (k >= static_cast<std::int64_t>(block.ends.size())) return {};
  const std::size_t begin = k == 0 ? 0 : block.ends[static_cast<std::size_t>(k - 1)] + 1;
  return block.text.substr(begin, block.ends[static_cast<std::size_t>(k)] - begin);
}

void ReportCopyFile::Claim(std::uint64_t generation) {
  if (!claimed_) {
    owner_ = generation;
    claimed_ = true;
  } else if (owner_ != generation) {
    mixed_ = true;
  }
}

bool ReportCopyFile::HoldsWholeReportOf(const ReportStore& store) const {
  return file_ != nullptr && claimed_ && !mixed_ && owner_ == store.Generation() &&
         store.Full() && lines_ >= ReportStore::kCapacity;
}

ShownReport::ShownReport(const ReportStore& store, const ReportCopyFile& copy)
    : store_(store),
      copy_(copy),
      fromCopy_(copy.HoldsWholeReportOf(store)),
      count_(fromCopy_ ? copy.LineCount() : store.Count()) {}

std::string ShownReport::Line(std::int64_t i) const {
  if (i < 0 || i >= count_) return {};
  if (fromCopy_) return copy_.Line(i);
  return std::string(store_.Line(static_cast<int>(i)));
}

}  // namespace kinvar
