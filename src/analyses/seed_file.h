// The seed file: the generator's 624 state words as text, read at the start
// of every optimization run and written back after a successful one, so that
// successive runs continue one random stream instead of repeating it.
//
// Format: a header line "State vector for MT19937:" (any text is accepted
// when reading), then the words in order, each written with "%12u" and
// followed by a blank, or by a newline after every eighth word; a reader
// takes any white space between the words. Its backup is the same path with
// ".bak" appended. A missing, unreadable or damaged file of the program's
// gives a generator seeded from the clock, and the run goes on; a missing
// one is the first run, the others are warned about, and either way the
// user is told where the seed came from. What could never be a seed file
// (a folder, a device, a pipe, or a file the user named that holds no
// state) stops the run instead, with not a byte written: replacing it could
// destroy someone's data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "genetics/mt19937.h"
#include "report/platform.h"

namespace kinvar {

inline constexpr const char* kClockSeedMessage =
    "The random number generator is seeded with the current time.";

// Whose seed file it is: the program's own (in its folder) is replaced when
// it is damaged, its old bytes kept in the backup; one the user named is
// used only when it is a seed file (or empty), and otherwise left alone.
enum class SeedFileOwner { kProgram, kUser };

// Where the state came from; after kRefused nothing was drawn or written
// and the run must stop.
enum class SeedSource { kFile, kClock, kRefused };

// Whether saving first keeps the old file as the backup; after a clock
// seeding the backup already holds what the file held before.
enum class SeedBackup { kMake, kKeep };

// Longer than this, a file is no seed file (one holds about 8 KB).
inline constexpr std::size_t kMaxSeedFileBytes = std::size_t{1} << 20;

// The state from the file at `path`; when it cannot be read whole, the
// generator is seeded with `clockSeed` and a new file is written at once
// (kClock: the caller's report says so with kClockSeedMessage, a line of
// the report rather than a box to click away),
// unless the file is refused: not a regular file (a folder, a device, a
// pipe), or the user's and not a seed file.
SeedSource LoadSeedFile(Mt19937& g, const std::string& path, Platform& platform,
                        std::uint32_t clockSeed, SeedFileOwner owner = SeedFileOwner::kProgram);
// Writes the state words, keeping an existing file as the backup first
// unless told to keep the backup as it is.
void SaveSeedFile(const Mt19937& g, const std::string& path, Platform& platform,
                  SeedBackup backup = SeedBackup::kMake);
// Whose the seed file of a command is.
inline SeedFileOwner SeedOwner(bool namedByUser) {
  return namedByUser ? SeedFileOwner::kUser : SeedFileOwner::kProgram;
}
// The backup that saving after a run of `source` makes.
inline SeedBackup BackupAfter(SeedSource source) {
  return source == SeedSource::kFile ? SeedBackup::kMake : SeedBackup::kKeep;
}

// Seconds since 1970, the low 32 bits: the seed of a missing seed file.
std::uint32_t ClockSeed();

// A run's seed as the user typed it, so that a run named by its report can
// be repeated: empty asks for a new one.
inline constexpr const char* kTypedSeedMessage =
    "The random seed must be a whole number from 0 to 4294967295, or empty for a new one.";
// Empty: none typed. Nothing when the text is no 32-bit whole number.
std::optional<std::optional<std::uint32_t>> ParseTypedSeed(const std::string& text);

}  // namespace kinvar
