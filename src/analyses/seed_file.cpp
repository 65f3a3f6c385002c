#include "analyses/seed_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "report/output_file.h"

namespace kinvar {

namespace {

// One free-format unsigned decimal from `at`; false when the next non-blank
// text is not a number that fits 32 bits.
bool ReadWord(std::string_view text, std::size_t& at, std::uint32_t& word) {
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  if (at == text.size() || text[at] < '0' || text[at] > '9') return false;
  std::uint64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
    if (value > 0xffffffffULL) return false;
  }
  word = static_cast<std::uint32_t>(value);
  return true;
}

// The header line is skipped whole, however long.
bool ReadState(std::string_view text, Mt19937& g) {
  std::size_t at = text.find('\n');
  if (at == std::string_view::npos) return false;
  ++at;
  Mt19937 read;
  for (std::uint32_t& word : read.state)
    if (!ReadWord(text, at, word)) return false;
  g.state = read.state;
  g.index = Mt19937::kWords;
  return true;
}

enum class Found { kSeedFile, kMissing, kUnreadable, kNotAFile, kEmpty, kDamaged };

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd != -1) ::close(fd);
  }
};

// What lies at `path`, read without waiting (a pipe with no writer) and
// without end (a device), into `g` when it is a seed file. `reason` says
// why a file could not be read.
Found ReadSeedFile(const std::string& path, Mt19937& g, std::string& reason) {
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (file.fd == -1) {
    reason = std::strerror(errno);
    return errno == ENOENT ? Found::kMissing : Found::kUnreadable;
  }
  struct stat info {};
  if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return Found::kNotAFile;
  std::string text(kMaxSeedFileBytes + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(file.fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      return Found::kUnreadable;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == 0) return Found::kEmpty;
  if (got > kMaxSeedFileBytes) return Found::kDamaged;
  text.resize(got);
  return ReadState(text, g) ? Found::kSeedFile : Found::kDamaged;
}

std::string Refusal(const std::string& path, const std::string& why) {
  return "Error - Cannot use " + path + " as the seed file: " + why + ". It was left as it is.";
}

// The refusal of what lies at `path`, or "" when the run may go on.
std::string RefusalOf(Found found, SeedFileOwner owner, const std::string& path,
                      const std::string& reason) {
  if (found == Found::kNotAFile) return Refusal(path, "it is not a regular file");
  if (owner == SeedFileOwner::kProgram) return {};
  if (found == Found::kUnreadable) return Refusal(path, reason);
  if (found == Found::kDamaged)
    return Refusal(path, "it does not hold the state of the random number generator");
  return {};
}

}  // namespace

SeedSource LoadSeedFile(Mt19937& g, const std::string& path, Platform& platform,
                        std::uint32_t clockSeed, SeedFileOwner owner) {
  std::string reason;
  const Found found = ReadSeedFile(path, g, reason);
  if (found == Found::kSeedFile) return SeedSource::kFile;
  if (const std::string refusal = RefusalOf(found, owner, path, reason); !refusal.empty()) {
    platform.ShowMessage(refusal, MessageIcon::kError);
    return SeedSource::kRefused;
  }
  // A file that is there but cannot be read is a problem to report; no
  // file at all is the normal first run, which simply starts one, and so is
  // an empty file the user named.
  if (found == Found::kUnreadable) platform.ShowMessage("Cannot open seedfile!", MessageIcon::kWarning);
  const bool damaged = found == Found::kDamaged || (found == Found::kEmpty && owner == SeedFileOwner::kProgram);
  if (damaged) platform.ShowMessage("Error - Bad seed file!", MessageIcon::kWarning);
  InitGenerator(g, clockSeed);
  // The old bytes go to the backup; the user's empty file has none to keep,
  // and FILE.bak may be theirs.
  const bool backUp = damaged || found == Found::kUnreadable;
  SaveSeedFile(g, path, platform, backUp ? SeedBackup::kMake : SeedBackup::kKeep);
  return SeedSource::kClock;
}

void SaveSeedFile(const Mt19937& g, const std::string& path, Platform& platform, SeedBackup backup) {
  std::string problem;
  const auto f = OutputFile::Begin(path, problem);
  if (!f) {
    platform.ShowMessage("Cannot open seedfile for writing!", MessageIcon::kWarning);
    return;
  }
  f->Raw("State vector for MT19937:\n");
  char word[16];
  for (int i = 0; i < Mt19937::kWords; ++i) {
    const int length = std::snprintf(word, sizeof word, "%12u%c", g.state[static_cast<std::size_t>(i)],
                                     (i + 1) % 8 == 0 ? '\n' : ' ');
    f->Raw(std::string_view(word, static_cast<std::size_t>(length)));
  }
  // The old state stays in the backup, a second name of the old file (no
  // copy that a signal could interrupt); the seed file itself is replaced in
  // one step, so it is never missing or half written.
  std::error_code error;
  if (backup == SeedBackup::kMake && std::filesystem::exists(path, error)) {
    const std::string bak = path + ".bak";
    std::remove(bak.c_str());
    if (::link(path.c_str(), bak.c_str()) != 0) {
      std::filesystem::copy_file(path, bak, std::filesystem::copy_options::overwrite_existing, error);
      if (error) platform.ShowMessage("Warning: Cannot backup old seedfile!", MessageIcon::kWarning);
    }
  }
  if (!f->Commit()) platform.ShowMessage("Cannot open seedfile for writing!", MessageIcon::kWarning);
}

std::uint32_t ClockSeed() { return static_cast<std::uint32_t>(std::time(nullptr)); }

std::optional<std::optional<std::uint32_t>> ParseTypedSeed(const std::string& text) {
  std::optional<std::optional<std::uint32_t>> parsed(std::in_place);
  if (text.empty()) return parsed;
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  parsed->emplace(value);
  return parsed;
}

}  // namespace kinvar
