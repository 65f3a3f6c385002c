#include "pedigree/reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#include "pedigree/line_splitter.h"

namespace kinvar {

namespace {

using namespace line_splitter;

constexpr int kProgressEvery = 500;
constexpr std::size_t kChunkSize = 1 << 20;

std::string LineMessage(int line, const char* text) {
  return "Error in line " + std::to_string(line) + ".\n" + text;
}

const char* const kForbiddenText =
    "These characters   '<'   '>'   '|'   '!'   are not permitted.";
const char* const kFormatText = "The format is not correct.";
const char* const kHeaderMessage =
    "Error: The header row format is not correct.\n"
    "The pedigree file must have header row with field names.\n"
    "(i.e. Progeny Sire Dam Group F. Group and F are optional).";

class Reader {
 public:
  Reader(Pedigree& ped, Progress& progress) : ped_(ped), progress_(progress) {
    groupIndex_.fill(-1);
  }

  // Processes one finished physical line; false stops reading.
  bool Line(std::int64_t bytePos) {
    split_.Finish();
    ++lineNo_;
    if (split_.Blank()) return true;
    switch (split_.error()) {
      case LineSplitter::Error::Forbidden:
        return Fail(LineMessage(lineNo_, kForbiddenText));
      case LineSplitter::Error::TooLong:
        return Fail(LineMessage(lineNo_, "The length of each field should not be more than 20."));
      case LineSplitter::Error::Nul:
        return Fail(LineMessage(lineNo_, kFormatText));
      case LineSplitter::Error::None:
        break;
    }
    if (!headerSeen_) {
      headerSeen_ = true;
      if (!ParseHeader(split_, cols_)) return Fail(kHeaderMessage);
      ped_.fColumn = static_cast<std::int16_t>(cols_.f);
      ped_.groupColumn = static_cast<std::int16_t>(cols_.group);
      return true;
    }
    return DataLine(bytePos);
  }

  void StartLine() { split_.Start(!headerSeen_); }
  void Feed(const unsigned char* p, std::size_t n) { split_.Feed(p, n); }

  // After the last line.
  bool Finish() {
    if (!headerSeen_ || read_ == 0) return Fail("File is empty.");
    ped_.nRead = read_;
    BuildGroupOrder();
    return true;
  }

  ReadOutcome& outcome() { return outcome_; }

 private:
  bool Fail(std::string message) {
    outcome_.message = std::move(message);
    return false;
  }

  bool DataLine(std::int64_t bytePos) {
    if (split_.count() < cols_.required) return Fail(LineMessage(lineNo_, kFormatText));
    Rec& r = ped_.recs.emplace_back();
    std::strcpy(r.id, split_.field(cols_.progeny));
    ParentLink& link = ped_.links.emplace_back();
    std::strcpy(link.sire, split_.field(cols_.sire));
    std::strcpy(link.dam, split_.field(cols_.dam));
    link.rec = static_cast<RecIndex>(ped_.recs.size() - 1);
    if (cols_.f >= 0 && !ReadF(r)) return false;
    if (cols_.group >= 0 && !ReadGroup(r)) return false;
    if (read_ % kProgressEvery == 0 && progress_.Step(bytePos)) return false;
    ++read_;
    return true;
  }

  bool ReadF(Rec& r) {
    const char* text = split_.field(cols_.f);
    if (std::strcmp(text, ".") == 0) return true;
    const auto f = static_cast<float>(std::strtod(text, nullptr));
    // Written so that NaN fails too.
    if (!(f >= 0.0f && f <= 1.0f)) {
      return Fail(LineMessage(lineNo_, "The inbreeding coefficient must be in the range of 0 - 1."));
    }
    r.f = f;
    r.fPredefined = true;
    return true;
  }

  bool ReadGroup(Rec& r) {
    const char* text = split_.field(cols_.group);
    if (std::strcmp(text, ".") == 0) return true;
    const int number = ParseGroup(text);
    if (number < 0) {
      return Fail(LineMessage(lineNo_, "The group must be an integer in the range of 0 to 1000."));
    }
    std::int16_t& index = groupIndex_[static_cast<std::size_t>(number)];
    if (index < 0) {
      index = ped_.nGroups++;
      ped_.groups.push_back({number, 0});
    }
    ++ped_.groups[static_cast<std::size_t>(index)].count;
    r.group = index;
    return true;
  }

  void BuildGroupOrder() {
    auto& order = ped_.groupOrder;
    order.resize(static_cast<std::size_t>(ped_.nGroups));
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::int32_t>(i);
    for (std::size_t i = 0; i < order.size(); ++i) {
      std::size_t best = i;
      for (std::size_t j = i + 1; j < order.size(); ++j) {
        if (ped_.groups[static_cast<std::size_t>(order[j])].group <
            ped_.groups[static_cast<std::size_t>(order[best])].group) {
          best = j;
        }
      }
      std::swap(order[i], order[best]);
    }
  }

  Pedigree& ped_;
  Progress& progress_;
  LineSplitter split_;
  Columns cols_;
  bool headerSeen_ = false;
  int lineNo_ = 0;
  std::int32_t read_ = 0;
  std::array<std::int16_t, kMaxGroupNumber + 1> groupIndex_{};
  ReadOutcome outcome_;
};

// Line feeds plus one: a bound on the data lines, read ahead so that the
// record and link arrays are allocated once instead of growing by copies.
std::size_t CountLines(std::FILE* file, std::vector<unsigned char>& chunk) {
  std::size_t lines = 1;
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file);
    if (n == 0) return lines;
    lines += static_cast<std::size_t>(std::count(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n), '\n'));
  }
}

// Room for the parents that validation adds, too, up to an eighth of the
// lines; the capacity is never touched unless it is used.
void ReserveForLines(Pedigree& ped, std::size_t lines) {
  ped.recs.reserve(1 + lines + lines / 8);
  ped.links.reserve(lines);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

ReadOutcome ReadPedigree(const std::string& path, Pedigree& ped, Progress& progress) {
  ped.nGroups = 0;
  ped.fColumn = ped.groupColumn = -1;
  const ReadOutcome cannotOpen{false, "Cannot open " + path};
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return cannotOpen;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return cannotOpen;
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path, ec));
  const std::int64_t fileSize = ec ? 1 : std::max<std::int64_t>(size, 1);
  progress.SetStage(0, 50, fileSize, "Reading");

  std::vector<unsigned char> chunk(kChunkSize);
  if (std::filesystem::is_regular_file(path, ec)) {
    ReserveForLines(ped, CountLines(file.get(), chunk));
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return cannotOpen;
  }
  Reader reader(ped, progress);
  std::int64_t pos = 0;
  bool first = true;
  // A carriage return is dropped before a line feed and at the end of the
  // file, and is an ordinary byte elsewhere; one at the end of a chunk waits
  // for the next chunk's first byte.
  bool pendingCr = false;
  const unsigned char cr[1] = {'\r'};
  reader.StartLine();
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (n == 0) break;
    std::size_t i = 0;
    if (first) {
      first = false;
      if (n >= 3 && chunk[0] == 0xEF && chunk[1] == 0xBB && chunk[2] == 0xBF) i = 3;
    }
    if (pendingCr && i < n) {
      pendingCr = false;
      if (chunk[i] != '\n') reader.Feed(cr, 1);
    }
    while (i < n) {
      const auto* lf = static_cast<const unsigned char*>(std::memchr(chunk.data() + i, '\n', n - i));
      const std::size_t end = lf != nullptr ? static_cast<std::size_t>(lf - chunk.data()) : n;
      std::size_t stop = end;
      if (stop > i && chunk[stop - 1] == '\r') {
        --stop;
        pendingCr = lf == nullptr;
      }
      reader.Feed(chunk.data() + i, stop - i);
      if (lf == nullptr) break;
      if (!reader.Line(pos + static_cast<std::int64_t>(end))) return reader.outcome();
      reader.StartLine();
      i = end + 1;
    }
    pos += static_cast<std::int64_t>(n);
  }
  if (std::ferror(file.get())) return cannotOpen;
  if (!reader.Line(pos)) return reader.outcome();  // a last line without newline
  if (!reader.Finish()) return reader.outcome();
  return {true, {}};
}

}  // namespace kinvar
