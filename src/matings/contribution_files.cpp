#include "matings/contribution_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "matings/mating_search.h"
#include "pedigree/line_splitter.h"
#include "pedigree/number_text.h"
#include "report/output_file.h"

namespace kinvar {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

std::optional<double> ParseNumber(const std::string& text) { return WholeNumber(text); }

using IdMap = std::unordered_map<std::string_view, RecIndex>;

IdMap MapIds(const Pedigree& ped) {
  IdMap map;
  map.reserve(ped.recs.size());
  for (std::size_t i = 1; i < ped.recs.size(); ++i)
    map.emplace(ped.recs[i].Id(), static_cast<RecIndex>(i));
  return map;
}

std::nullopt_t Refuse(Platform& platform, const std::string& message) {
  platform.ShowMessage(message, MessageIcon::kError);
  return std::nullopt;
}

// A breeding value line holds an ID and a number: nothing near this long.
constexpr std::size_t kMaxValueLineBytes = std::size_t{64} << 10;
// Beyond any herd book's file of values; a device that never ends stops here.
constexpr std::int64_t kMaxValueFileBytes = std::int64_t{1} << 30;
// The pedigree file's own line limit, for its column of values.
constexpr std::size_t kMaxPedigreeLineBytes = std::size_t{64} << 20;

// A side file read once, line by line, with limits: a folder, a device that
// never ends a line (/dev/zero) or a stream without end cannot hold reading
// up or fill the memory. A pipe is read as it comes; opening one does not
// wait for a writer that may never come.
class SideFileLines {
 public:
  SideFileLines(const std::string& path, Platform& platform, std::size_t maxLine,
                std::int64_t maxTotal)
      : path_(path), platform_(platform), maxLine_(maxLine), maxTotal_(maxTotal) {}
  ~SideFileLines() {
    if (fd_ != -1) ::close(fd_);
  }
  SideFileLines(const SideFileLines&) = delete;
  SideFileLines& operator=(const SideFileLines&) = delete;

  // False after telling why the file cannot be read.
  bool Open() {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd_ == -1 || ::fstat(fd_, &st) != 0) return Fail("Cannot open " + path_);
    if (S_ISDIR(st.st_mode)) return Fail("Cannot open " + path_ + ": it is a folder, not a file.");
    if (S_ISBLK(st.st_mode)) return Fail("Cannot open " + path_ + ": it is a device, not a file.");
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags == -1 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == -1)
      return Fail("Cannot open " + path_);
    return true;
  }

  // The next line without its line end (and a carriage return before it);
  // false at the end of the file or after a refusal (failed() tells).
  bool Next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
      if (at_ == end_ && !Fill()) {
        if (failed_ || !any) return false;
        break;
      }
      any = true;
      const char* start = buffer_.data() + at_;
      const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end_ - at_));
      const std::size_t take = lf != nullptr ? static_cast<std::size_t>(lf - start) : end_ - at_;
      if (line.size() + take > maxLine_)
        return Fail("Error in line " + std::to_string(number_ + 1) + ".\nThe line is longer than " +
                    std::to_string(maxLine_) + " bytes.");
      line.append(start, take);
      at_ += take;
      if (lf != nullptr) {
        ++at_;
        break;
      }
    }
    // Editors on Windows begin a UTF-8 file with a byte order mark.
    if (++number_ == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

  bool failed() const { return failed_; }
  int number() const { return number_; }

 private:
  bool Fill() {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
      if (n > 0) {
        total_ += n;
        if (total_ > maxTotal_)
          return Fail("Error: " + path_ + " is longer than " + std::to_string(maxTotal_) + " bytes.");
        at_ = 0;
        end_ = static_cast<std::size_t>(n);
        return true;
      }
      if (n == 0) return false;
      if (errno != EINTR) return Fail("Cannot read " + path_ + ": " + std::strerror(errno));
    }
  }

  bool Fail(const std::string& message) {
    failed_ = true;
    platform_.ShowMessage(message, MessageIcon::kError);
    return false;
  }

  std::string path_;
  Platform& platform_;
  std::size_t maxLine_;
  std::int64_t maxTotal_;
  int fd_ = -1;
  std::vector<char> buffer_ = std::vector<char>(std::size_t{64} << 10);
  std::size_t at_ = 0, end_ = 0;
  std::int64_t total_ = 0;
  int number_ = 0;
  bool failed_ = false;
};

// The value field of a data line as written (not upper-cased) and its
// column, counted in bytes from 1: where the user will look for it.
std::pair<std::string_view, std::size_t> SecondField(std::string_view line) {
  const auto separator = [](char c) { return c == ' ' || c == ',' || c == '\t'; };
  std::size_t i = 0;
  while (i < line.size() && (separator(line[i]) || line[i] == '\v' || line[i] == '\f')) ++i;
  while (i < line.size() && !separator(line[i])) ++i;
  while (i < line.size() && separator(line[i])) ++i;
  std::size_t end = i;
  while (end < line.size() && !separator(line[end])) ++end;
  return {line.substr(i, end - i), i + 1};
}

// A first line is a header when its second field is a name: not a number,
// and not a number spoilt by a unit or a typing mistake ("1.5kg", "-").
bool LooksLikeName(std::string_view field) {
  const char c = field.empty() ? '0' : field.front();
  return !(c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9'));
}

// Records `value` for `id`; false after telling why it is refused.
bool Store(const IdMap& ids, const std::string& id, double value, int line,
           std::vector<double>& values, Platform& platform) {
  const auto found = ids.find(id);
  const RecIndex r = found == ids.end() ? kUnknownParent : found->second;
  const std::string where = "Error in line " + std::to_string(line) + ".\n";
  if (r == kUnknownParent) {
    platform.ShowMessage(where + "Individual " + id + " is not in the pedigree.", MessageIcon::kError);
    return false;
  }
  double& slot = values[static_cast<std::size_t>(r)];
  if (!std::isnan(slot)) {
    platform.ShowMessage(where + "Repeated ID!", MessageIcon::kError);
    return false;
  }
  slot = value;
  return true;
}

}  // namespace

std::optional<std::vector<double>> ReadBreedingValueFile(const std::string& path,
                                                         const Pedigree& ped, Platform& platform) {
  SideFileLines lines(path, platform, kMaxValueLineBytes, kMaxValueFileBytes);
  if (!lines.Open()) return std::nullopt;
  std::vector<double> values(ped.recs.size(), kNoValue);
  const IdMap ids = MapIds(ped);
  std::string line, id, text;
  bool first = true, stored = false;
  while (lines.Next(line)) {
    const int number = lines.number();
    const auto start = line.find_first_not_of(" \t\r\v\f");
    if (start == std::string::npos || line[start] == '!') continue;
    const int fields = SplitTwoFields(std::string_view(line).substr(start), id, text, number, platform);
    if (fields == -1) return std::nullopt;
    const auto [written, column] = SecondField(line);
    const auto value = ParseNumber(std::string(written));
    const bool header = first && fields == 2 && !value && LooksLikeName(written);
    first = false;
    if (header) continue;
    if (fields < 2)
      return Refuse(platform, "Error in line " + std::to_string(number) +
                                  ".\nA line holds an ID and a breeding value.");
    if (!value)
      return Refuse(platform, "Error in line " + std::to_string(number) + ", column " +
                                  std::to_string(column) + ".\n" + QuotedCell(written) +
                                  " is not a breeding value.");
    if (!Store(ids, id, *value, number, values, platform)) return std::nullopt;
    stored = true;
  }
  if (lines.failed()) return std::nullopt;
  if (!stored) return Refuse(platform, "Error: " + path + " holds no breeding values.");
  return values;
}

std::optional<std::vector<double>> ReadBreedingValueColumn(const std::string& pedigreePath,
                                                           const std::string& name,
                                                           const Pedigree& ped, Platform& platform) {
  namespace ls = line_splitter;
  SideFileLines lines(pedigreePath, platform, kMaxPedigreeLineBytes,
                      std::numeric_limits<std::int64_t>::max());
  if (!lines.Open()) return std::nullopt;
  std::string line;
  ls::Header header;
  int column = -1;
  ls::LineCells a;
  std::vector<double> values(ped.recs.size(), kNoValue);
  const IdMap ids = MapIds(ped);
  const auto split = [&](std::string_view text) {
    if (header.delimiter == 0) ls::SplitRuns(text, 1024, a);
    else ls::SplitAt(text, header.delimiter, 1024, a);
  };
  while (lines.Next(line)) {
    const int number = lines.number();
    const std::string_view text = ls::TrimLeading(line);
    if (text.empty() || (column == -1 && text.front() == '!')) continue;
    if (column == -1) {
      std::string message;
      if (ls::ParseHeaderLine(text, header, message) != ls::HeaderFault::kNone) break;
      split(text);
      for (std::size_t i = 0; i < a.cells.size(); ++i)
        if (UpperCased(a.cells[i]) == UpperCased(name)) column = static_cast<int>(i);
      if (column == -1) break;
      continue;
    }
    split(text);
    const auto progeny = static_cast<std::size_t>(header.at[ls::kProgeny]);
    if (a.cells.size() <= std::max(progeny, static_cast<std::size_t>(column))) continue;
    const std::string cell(a.cells[static_cast<std::size_t>(column)]);
    if (cell.empty() || cell == ".") continue;
    const auto value = ParseNumber(cell);
    if (!value)
      return Refuse(platform, "Error in line " + std::to_string(number) + ".\n" + cell +
                                  " is not a breeding value.");
    if (!Store(ids, UpperCased(a.cells[progeny]), *value, number, values, platform)) return std::nullopt;
  }
  if (lines.failed()) return std::nullopt;
  if (column == -1)
    return Refuse(platform, "The pedigree file has no column " + name + ".");
  return values;
}

bool WriteContributionFile(const std::string& path, const Pedigree& ped,
                           const std::vector<RecIndex>& sires,
                           const std::vector<std::int32_t>& counts, Platform& platform) {
  // Replaced only when complete: a failed write leaves the old file.
  const std::unique_ptr<OutputFile> out = OpenOutputFile(path, platform);
  if (!out) return false;
  for (std::size_t i = 0; i < sires.size(); ++i) {
    out->Raw(ped.rec(sires[i]).Id());
    out->Raw(' ');
    out->RawInt(counts[i]);
    out->Raw('\n');
  }
  return CommitOutputFile(*out, platform);
}

}  // namespace kinvar
