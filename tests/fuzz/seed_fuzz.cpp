// The seed file as an optimization run reads it: a file whose first line is
// followed by 624 unsigned 32-bit decimals restores exactly those words and
// says nothing; any other file is kept as the backup and replaced by a clock
// seeded one that reads back to the same state.
#include <array>
#include <optional>

#include "analyses/seed_file.h"
#include "fuzz/fuzz_support.h"

namespace kinvar::fuzz {
namespace {

constexpr std::uint32_t kClock = 1234567u;

bool IsBlank(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// The words the file holds, read by the format's definition.
std::optional<std::array<std::uint32_t, Mt19937::kWords>> ExpectedState(const std::uint8_t* data,
                                                                        std::size_t size) {
  std::size_t i = 0;
  while (i < size && data[i] != '\n') ++i;
  if (i++ == size) return std::nullopt;
  std::array<std::uint32_t, Mt19937::kWords> words{};
  for (std::uint32_t& word : words) {
    while (i < size && IsBlank(data[i])) ++i;
    if (i == size || !IsDigit(data[i])) return std::nullopt;
    std::uint64_t value = 0;
    for (; i < size && IsDigit(data[i]); ++i) {
      value = value * 10 + (data[i] - '0');
      if (value > 0xffffffffu) return std::nullopt;
    }
    word = static_cast<std::uint32_t>(value);
  }
  return words;
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static const fuzz::ScratchFolder folder;
  const std::string path = folder.Write("Seed", data, size);
  fuzz::RecordingPlatform platform;
  Mt19937 g;
  const SeedSource source = LoadSeedFile(g, path, platform, fuzz::kClock);
  if (const auto expected = fuzz::ExpectedState(data, size)) {
    FUZZ_CHECK(platform.messages.empty(), "a good seed file with a message");
    FUZZ_CHECK(g.state == *expected && g.index == Mt19937::kWords, "the state read is not the file's");
    return 0;
  }
  // The clock seeding itself is a line of the caller's report, not a box.
  FUZZ_CHECK(platform.messages.size() == 1 && platform.messages[0].text == "Error - Bad seed file!" &&
                 source == SeedSource::kClock,
             "a bad seed file not told as such");
  Mt19937 clock;
  InitGenerator(clock, fuzz::kClock);
  FUZZ_CHECK(g.state == clock.state && g.index == clock.index, "not seeded from the clock");
  const std::string backup = fuzz::ReadAll(path + ".bak");
  FUZZ_CHECK(backup == std::string(reinterpret_cast<const char*>(data), size),
             "the bad seed file is not kept as the backup");
  fuzz::RecordingPlatform again;
  Mt19937 reread;
  LoadSeedFile(reread, path, again, fuzz::kClock + 1);
  FUZZ_CHECK(again.messages.empty() && reread.state == clock.state,
             "the new seed file does not read back");
  return 0;
}
