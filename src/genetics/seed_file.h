// The seed file: the generator's 624 state words as text, read at the start
// of every optimization run and written back after a successful one, so that
// successive runs continue one random stream instead of repeating it.
//
// Format: a header line "State vector for MT19937:" (any text is accepted
// when reading), then the words in order, each written with "%12u" and
// followed by a blank, or by a newline after every eighth word; a reader
// takes any white space between the words. Its backup is the same path with
// ".bak" appended. Problems are told to the user but never stop a run: a
// missing, unreadable or damaged file gives a generator seeded from the
// clock. Only a file that is there but cannot be read is warned about; a
// missing one is the first run. Either way the user is told where the seed
// came from.
#pragma once

#include <cstdint>
#include <string>

#include "genetics/mt19937.h"
#include "report/platform.h"

namespace kinvar {

inline constexpr const char* kClockSeedMessage =
    "The random number generator is seeded with the current time.";

// The state from the file at `path`; when it cannot be read whole, the
// generator is seeded with `clockSeed` and a new file is written at once.
void LoadSeedFile(Mt19937& g, const std::string& path, Platform& platform,
                  std::uint32_t clockSeed);
// Writes the state words, after renaming an existing file to the backup.
void SaveSeedFile(const Mt19937& g, const std::string& path, Platform& platform);

// Seconds since 1970, the low 32 bits: the seed of a missing seed file.
std::uint32_t ClockSeed();

}  // namespace kinvar
