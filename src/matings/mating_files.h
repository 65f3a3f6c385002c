// The two small files that constrain the mating optimization: the
// contribution file (".c": one line per sire, its ID and how many dams it
// gets) and the forbidden-matings file (".fm": one line per pair that must
// not be mated, sire and dam in either order).
//
// Conventions of this header:
// - Lines are trimmed of white space at both ends; empty lines and lines
//   starting with "!" are skipped but keep their line numbers (from 1).
// - Fields are separated by runs of blanks, commas or tabs; only the first
//   two are read; letters are upper-cased; a field holds at most 20
//   characters and none of "<", ">", "|", "!".
// - Positions are indexes into MatingGroups' arrays, counted from 0.
// - A count is a whole number written as all of its field ("4.1kg" and
//   "2.9" are refused, not read as 4 and 2).
// - Every problem is shown with the error icon and ends the reading; a
//   failed reader returns nothing. Files are read as side files are (a
//   folder or a device of zero bytes is refused; a FIFO is read).
// - Contributions are held as 32-bit counts, so a sire may get more than
//   32767 dams in a large dam group.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/pedigree.h"
#include "report/platform.h"

namespace kinvar {

// The two groups of a run, their members in record-array order.
struct MatingGroups {
  int sireGroup = 0;
  int damGroup = 0;
  std::vector<RecIndex> sires;
  std::vector<RecIndex> dams;
};

// One sire-dam pair, by position in the sires and dams arrays.
struct Mating {
  std::int32_t sire = 0;
  std::int32_t dam = 0;
  friend bool operator==(const Mating&, const Mating&) = default;
};

// The first two fields of `line` (trimmed, not a comment) into `first` and
// `second`; the number found (0..2), or -1 after showing what is wrong.
int SplitTwoFields(std::string_view line, std::string& first, std::string& second,
                   int lineNumber, Platform& platform);

// One count per sire, each at least 0 (0: the sire is not used), summing to
// the number of dams.
std::optional<std::vector<std::int32_t>> ReadContributionFile(const std::string& path,
                                                              const Pedigree& ped,
                                                              const MatingGroups& groups,
                                                              Platform& platform);
// A contribution file to start from: a comment saying what the file is,
// then every sire of the sire group, in the groups' order, with an even
// share of the dams, so that every dam has one mating (the first sires get
// one more when the share is not whole; with more sires than dams the last
// ones get 0, which leaves them unused). The reader accepts it as it is.
std::string StartingContributions(const Pedigree& ped, const MatingGroups& groups);
// Writes StartingContributions to `path` through the output file, which
// the status line reports; false after telling the user why not.
bool WriteStartingContributions(const std::string& path, const Pedigree& ped,
                                const MatingGroups& groups, Platform& platform);
// What the dialog that asks for the contribution file says about it.
std::string ContributionFileNote(const MatingGroups& groups);

// The pairs in file order, duplicates kept.
std::optional<std::vector<Mating>> ReadForbiddenFile(const std::string& path,
                                                     const Pedigree& ped,
                                                     const MatingGroups& groups,
                                                     Platform& platform);

}  // namespace kinvar
