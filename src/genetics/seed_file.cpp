#include "genetics/seed_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>

#include "report/output_file.h"

namespace kinvar {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// One free-format unsigned decimal; false when the next non-blank text is not
// a number that fits 32 bits.
bool ReadWord(std::FILE* f, std::uint32_t& word) {
  int c = std::fgetc(f);
  while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
    c = std::fgetc(f);
  if (c < '0' || c > '9') return false;
  std::uint64_t value = 0;
  for (; c >= '0' && c <= '9'; c = std::fgetc(f)) {
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > 0xffffffffULL) return false;
  }
  if (c != EOF) std::ungetc(c, f);
  word = static_cast<std::uint32_t>(value);
  return true;
}

// The header line is skipped whole, however long.
bool ReadState(std::FILE* f, Mt19937& g) {
  for (int c = std::fgetc(f); c != '\n'; c = std::fgetc(f))
    if (c == EOF) return false;
  Mt19937 read;
  for (std::uint32_t& word : read.state)
    if (!ReadWord(f, word)) return false;
  g.state = read.state;
  g.index = Mt19937::kWords;
  return true;
}

}  // namespace

void LoadSeedFile(Mt19937& g, const std::string& path, Platform& platform,
                  std::uint32_t clockSeed) {
  errno = 0;
  if (FileHandle f{std::fopen(path.c_str(), "r")}) {
    if (ReadState(f.get(), g)) return;
    platform.ShowMessage("Error - Bad seed file!", MessageIcon::kWarning);
  } else if (errno != ENOENT) {
    // A file that is there but cannot be read is a problem to report; no
    // file at all is the normal first run, which simply starts one.
    platform.ShowMessage("Cannot open seedfile!", MessageIcon::kWarning);
  }
  InitGenerator(g, clockSeed);
  SaveSeedFile(g, path, platform);
  platform.ShowMessage(kClockSeedMessage, MessageIcon::kInformation);
}

void SaveSeedFile(const Mt19937& g, const std::string& path, Platform& platform) {
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
  if (std::filesystem::exists(path, error)) {
    const std::string backup = path + ".bak";
    std::remove(backup.c_str());
    if (::link(path.c_str(), backup.c_str()) != 0) {
      std::filesystem::copy_file(path, backup, std::filesystem::copy_options::overwrite_existing,
                                 error);
      if (error) platform.ShowMessage("Warning: Cannot backup old seedfile!", MessageIcon::kWarning);
    }
  }
  if (!f->Commit()) platform.ShowMessage("Cannot open seedfile for writing!", MessageIcon::kWarning);
}

std::uint32_t ClockSeed() { return static_cast<std::uint32_t>(std::time(nullptr)); }

}  // namespace kinvar
