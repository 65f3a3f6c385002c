// Genetic groups: IDs that stand where a parent is unknown, so that a mixed
// model can give animals of unknown parentage the mean of the population
// they came from. A parent ID named as a group is, for F, D and every
// relationship, an unknown parent; only the matrices for mixed models see
// the group behind it.
//
// Conventions: groups are numbered 0..g-1 in the order of the groups file
// (the inverse writes them as codes n + 1 .. n + g); sireGroup and damGroup
// are by RecIndex, -1 where no group stands. An unknown parent spread over
// several groups (fuzzy groups) has its shares in `shares`, which then
// replace the plain group of that parent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kinvar {

struct Pedigree;
using RecIndex = std::int32_t;

enum class ParentRole : std::int8_t { kSire = 0, kDam = 1 };

struct GroupShare {
  RecIndex rec;
  ParentRole role;
  std::int32_t group;
  float fraction;
};

struct GeneticGroups {
  // What the user asked for; kept from one load to the next.
  std::vector<std::string> ids;
  // What the last load found.
  std::vector<std::int32_t> sireGroup;
  std::vector<std::int32_t> damGroup;
  std::vector<GroupShare> shares;  // by rec, then role, in file order

  // Metafounders: the groups are related founder populations, gamma being
  // their relationships g x g by row, as given (each computation rounds
  // them to its own precision); empty for plain groups. Kept from one load to the next, as the IDs are.
  std::vector<double> gamma;
  std::string gammaSource;     // the file, named in the reports
  bool gammaSingular = false;  // positive semi-definite only: no inverse

  bool Active() const { return !ids.empty(); }
  bool Metafounders() const { return !gamma.empty(); }
  std::int32_t Count() const { return static_cast<std::int32_t>(ids.size()); }
  double Gamma(std::int32_t i, std::int32_t j) const {
    return gamma[static_cast<std::size_t>(i) * ids.size() + static_cast<std::size_t>(j)];
  }
};

// Forgets the groups (and metafounders) asked for, as opening another
// pedigree does.
inline void ForgetGroups(GeneticGroups& groups) {
  groups.ids.clear();
  groups.gamma.clear();
  groups.gammaSource.clear();
  groups.gammaSingular = false;
}

// Carries what the user asked for to a pedigree about to be loaded.
inline void KeepGroupRequest(const GeneticGroups& from, GeneticGroups& to) {
  to.ids = from.ids;
  to.gamma = from.gamma;
  to.gammaSource = from.gammaSource;
  to.gammaSingular = from.gammaSingular;
}

// Whether a line of a groups-related file is blank or a comment ('#' first).
bool IsBlankOrComment(const std::string& line);

// Reads a groups file: one ID a line, blank lines skipped, upper-cased as
// the pedigree's IDs are. An empty string on success, else what is wrong.
std::string ReadGroupIds(const std::string& path, std::vector<std::string>& ids);

// Between reading and validation: turns each parent ID that names a group
// into an unknown parent and notes the group. An empty string on success,
// else why the pedigree cannot be read with these groups.
std::string AssignGeneticGroups(Pedigree& ped);

// After loading: "individual sire|dam group fraction" lines (blank lines and
// lines beginning with '#' skipped), the fractions of one parent summing to
// 1, each all of its cell. An empty string on success (the shares are
// then in ped.geneticGroups), else what is wrong, nothing kept.
std::string ReadGroupFractions(const std::string& path, Pedigree& ped);

// Group IDs given as data (no file): the groups file's checks on each;
// upper-cased into `ids` on success. An empty list is no groups.
std::string CheckGroupIds(const std::vector<std::string>& given, std::vector<std::string>& ids);

// A fractions line given as data; `parent` is "sire" or "dam", any case.
struct GroupFractionRow {
  std::string individual;
  std::string parent;
  std::string group;
  double fraction = 0.0;
};
// ReadGroupFractions' checks on rows, the messages naming the row (1-based).
std::string SetGroupFractions(const std::vector<GroupFractionRow>& rows, Pedigree& ped);

// The plain group standing for the unknown sire (or dam) of `rec`, -1
// where none stands (a known parent, or no groups loaded).
std::int32_t PlainGroup(const Pedigree& ped, RecIndex rec, ParentRole role);

// The ID of the sire (or dam) of `rec` as the pedigree file gave it: the
// parent's, or the group standing for an unknown parent, or the unknown
// parent's mark; so that a file written from the pedigree reads back with
// the same groups.
const char* ParentIdAsGiven(const Pedigree& ped, RecIndex rec, ParentRole role);

// The groups of the unknown sire (or dam) of `rec` with their fractions:
// its shares, or its plain group with fraction 1, or nothing.
void ParentGroups(const Pedigree& ped, RecIndex rec, ParentRole role,
                  std::vector<std::pair<std::int32_t, float>>& out);

}  // namespace kinvar
