#include "fuzz/fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <filesystem>

#include "analyses/relationship_listings.h"
#include "pedigree/load.h"

namespace kinvar::fuzz {

void Broken(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what.c_str());
  std::abort();
}

InputFile::InputFile() : fd_(memfd_create("kinvar-fuzz-input", 0)) {
  if (fd_ < 0) Broken(__FILE__, __LINE__, "memfd_create failed");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

InputFile::~InputFile() { close(fd_); }

const std::string& InputFile::Write(const std::uint8_t* data, std::size_t size) {
  if (ftruncate(fd_, 0) != 0) Broken(__FILE__, __LINE__, "cannot empty the input file");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) Broken(__FILE__, __LINE__, "cannot write the input file");
    done += static_cast<std::size_t>(n);
  }
  return path_;
}

ScratchFolder::ScratchFolder() {
  // A memory file system where there is one: the seed target writes and
  // renames files on every run.
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
  std::string pattern = (base / "kinvar-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Broken(__FILE__, __LINE__, "mkdtemp failed");
  folder_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ScratchFolder::Write(const std::string& name, const std::uint8_t* data,
                                 std::size_t size) const {
  const std::string path = Path(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Broken(__FILE__, __LINE__, "cannot create " + path);
  const bool written = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) Broken(__FILE__, __LINE__, "cannot write " + path);
  return path;
}

std::string ReadAll(const std::string& path) {
  std::string contents;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return contents;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) contents.append(buffer, got);
  std::fclose(f);
  return contents;
}

std::vector<std::string> DataLines(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* const blanks = " \t\n\r\v\f";
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t first = line.find_first_not_of(blanks);
    if (first != std::string::npos && line[first] != '!')
      lines.push_back(line.substr(first, line.find_last_not_of(blanks) + 1 - first));
    start = end + 1;
  }
  return lines;
}

std::pair<std::string, std::string> FirstTwoFields(const std::string& line) {
  std::string fields[2];
  std::size_t i = 0;
  for (std::string& field : fields) {
    i = std::min(line.find_first_not_of(" ,\t", i), line.size());
    for (; i < line.size() && line[i] != ' ' && line[i] != ',' && line[i] != '\t'; ++i)
      field += line[i] >= 'a' && line[i] <= 'z' ? static_cast<char>(line[i] - 'a' + 'A') : line[i];
  }
  return {fields[0], fields[1]};
}

bool RefusedOnce(const RecordingPlatform& platform) {
  return platform.messages.size() == 1 && platform.messages[0].icon == MessageIcon::kError &&
         !platform.messages[0].text.empty();
}

namespace {

bool IdFitsAFile(std::string_view id) {
  return std::none_of(id.begin(), id.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F || c == '"' || c == ' ' || c == ',';
  });
}

void CheckLoadedWorkbook(Pedigree& ped) {
  FUZZ_CHECK(ped.nRead >= 1 && ped.nTotal >= ped.nRead, "record counts");
  EnsureCodeOrder(ped);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    FUZZ_CHECK(r.code == i + 1, "codes are not 1..n");
    FUZZ_CHECK(ped.rec(r.sire).code < r.code && ped.rec(r.dam).code < r.code,
               std::string("a parent coded after its progeny ") + r.id);
    FUZZ_CHECK(std::strlen(r.id) >= 1 && std::strlen(r.id) <= kMaxIdLength, "ID length");
    FUZZ_CHECK(IdFitsAFile(r.Id()), "an ID that Kinvar's own files cannot hold");
  }
}

}  // namespace

void CheckWorkbookLoad(const std::string& path) {
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree ped;
  const LoadOutcome outcome = LoadPedigree(path, ped, progress);
  switch (outcome.status) {
    case LoadStatus::kLoaded:
      CheckLoadedWorkbook(ped);
      break;
    case LoadStatus::kRejected:
      FUZZ_CHECK(ped.report.Count() >= 1, "a rejected pedigree without its error list");
      break;
    case LoadStatus::kReadFailed:
      FUZZ_CHECK(!outcome.message.empty(), "a read failure without a message");
      // Only the first line: a cell's text is quoted further on.
      FUZZ_CHECK(!outcome.message.starts_with("Error in line"),
                 "a workbook's fault named by a line: " + outcome.message);
      FUZZ_CHECK(ped.nRead == 0 && ped.recs.size() == 1, "a failed read leaves records");
      break;
    case LoadStatus::kCancelled:
      FUZZ_CHECK(false, "cancelled though nobody cancels");
  }
}

MatingFixture::MatingFixture() {
  static const char kText[] =
      "Progeny Sire Dam Group\n"
      "S1 0 0 1\nS2 0 0 1\ns3 0 0 1\n"
      "D1 0 0 2\nD2 0 0 2\nD3 S1 D1 2\nD4 S2 D2 2\nD5 0 0 2\n"
      "X1 S1 D2 3\nX2 0 0 .\n";
  InputFile file;
  SilentProgressWindow window;
  Progress progress(window);
  const auto& path = file.Write(reinterpret_cast<const std::uint8_t*>(kText), sizeof kText - 1);
  if (LoadPedigree(path, ped, progress).status != LoadStatus::kLoaded)
    Broken(__FILE__, __LINE__, "the mating fixture does not load");
  EnsureCodeOrder(ped);
  groups = {1, 2, GroupMembers(ped, 1), GroupMembers(ped, 2)};
  if (groups.sires.size() != 3 || groups.dams.size() != 5)
    Broken(__FILE__, __LINE__, "the mating fixture has the wrong groups");
}

}  // namespace kinvar::fuzz
