#include "pedigree/genetic_groups.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "pedigree/number_text.h"
#include "pedigree/pedigree.h"
#include "pedigree/side_file.h"

namespace kinvar {

bool IsBlankOrComment(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t\r");
  return first == std::string::npos || line[first] == '#';
}

namespace {

// Without the blanks around it, as the reader takes a cell.
std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::unordered_map<std::string_view, std::int32_t> GroupIndex(const GeneticGroups& groups) {
  std::unordered_map<std::string_view, std::int32_t> index;
  for (std::size_t k = 0; k < groups.ids.size(); ++k)
    index.emplace(groups.ids[k], static_cast<std::int32_t>(k));
  return index;
}

// The group an ID names, -1 when it names none.
std::int32_t Find(const std::unordered_map<std::string_view, std::int32_t>& index,
                  std::string_view id) {
  const auto it = index.find(id);
  return it == index.end() ? -1 : it->second;
}

using TakenIds = std::unordered_set<std::string>;

// One group ID, upper-cased, against those already taken; what is wrong.
std::string CheckGroupId(std::string& id, const TakenIds& taken) {
  id = UpperCased(id);
  if (id.size() > static_cast<std::size_t>(kMaxIdLength)) return "the ID is longer than 20 characters.";
  if (IsUnknownId(id)) return id + " is the mark of an unknown parent.";
  if (taken.count(id) != 0) return id + " is listed twice.";
  return {};
}

// The reader's own message for a file that is not there; the others name
// what is wrong with the file.
std::string SideFileMessage(const SideFileResult& read, const std::string& cannotOpen) {
  return read.fault == SideFileFault::kCannotOpen ? cannotOpen : read.message;
}

}  // namespace

std::string ReadGroupIds(const std::string& path, std::vector<std::string>& ids) {
  std::vector<std::string> read;
  TakenIds taken;
  std::string error;
  const SideFileResult file = ReadSideFileLines(path, [&](std::string_view line, std::int64_t number) {
    const auto words = SideFileWords(line);
    if (words.empty()) return true;
    const std::string where = "Line " + std::to_string(number) + " of the genetic groups file: ";
    std::string id(words[0]);
    if (words.size() > 1) error = where + "one group ID a line.";
    else if (std::string fault = CheckGroupId(id, taken); !fault.empty()) error = where + fault;
    if (!error.empty()) return false;
    taken.insert(id);
    read.push_back(std::move(id));
    return true;
  });
  if (!file.ok()) return SideFileMessage(file, "Cannot open the genetic groups file " + path + ".");
  if (!error.empty()) return error;
  if (read.empty()) return "The genetic groups file lists no group.";
  ids = std::move(read);
  return {};
}

std::string CheckGroupIds(const std::vector<std::string>& given, std::vector<std::string>& ids) {
  std::vector<std::string> checked;
  TakenIds taken;
  for (std::size_t k = 0; k < given.size(); ++k) {
    const std::string where = "Genetic group " + std::to_string(k + 1) + ": ";
    std::string id = Trimmed(given[k]);
    if (id.empty()) return where + "the ID is empty.";
    if (id.find_first_of(" \t") != std::string::npos) return where + "the ID has a blank inside.";
    if (std::string error = CheckGroupId(id, taken); !error.empty()) return where + error;
    taken.insert(id);
    checked.push_back(std::move(id));
  }
  ids = std::move(checked);
  return {};
}

std::string AssignGeneticGroups(Pedigree& ped) {
  GeneticGroups& groups = ped.geneticGroups;
  groups.sireGroup.clear();
  groups.damGroup.clear();
  groups.shares.clear();
  if (!groups.Active()) return {};
  const auto index = GroupIndex(groups);
  for (RecIndex i = 1; i < static_cast<RecIndex>(ped.recs.size()); ++i)
    if (Find(index, ped.rec(i).Id()) >= 0)
      return std::string(ped.rec(i).id) + " is a genetic group and has a line of its own.";
  groups.sireGroup.assign(ped.recs.size(), -1);
  groups.damGroup.assign(ped.recs.size(), -1);
  for (ParentLink& link : ped.links) {
    const auto rec = static_cast<std::size_t>(link.rec);
    if (const std::int32_t g = Find(index, link.sire); g >= 0) {
      groups.sireGroup[rec] = g;
      std::snprintf(link.sire, sizeof link.sire, "0");
    }
    if (const std::int32_t g = Find(index, link.dam); g >= 0) {
      groups.damGroup[rec] = g;
      std::snprintf(link.dam, sizeof link.dam, "0");
    }
  }
  return {};
}

namespace {

// The four fields of one share, the fraction empty when it is not a number.
struct ShareFields {
  std::string id;
  std::string role;
  std::string group;
  std::optional<double> fraction;
};

std::unordered_map<std::string_view, RecIndex> RecordIndex(const Pedigree& ped) {
  std::unordered_map<std::string_view, RecIndex> recs;
  for (RecIndex i = 1; i < static_cast<RecIndex>(ped.recs.size()); ++i) recs.emplace(ped.rec(i).Id(), i);
  return recs;
}

// One share, checked against the pedigree.
std::string ParseShare(const ShareFields& fields, const Pedigree& ped,
                       const std::unordered_map<std::string_view, RecIndex>& recs,
                       const std::unordered_map<std::string_view, std::int32_t>& index,
                       GroupShare& share) {
  const auto rec = recs.find(UpperCased(fields.id));
  if (rec == recs.end()) return UpperCased(fields.id) + " is not in the pedigree.";
  const std::string role = UpperCased(fields.role);
  if (role != "SIRE" && role != "DAM") return "the second field is sire or dam.";
  share.rec = rec->second;
  share.role = role == "SIRE" ? ParentRole::kSire : ParentRole::kDam;
  const Rec& r = ped.rec(share.rec);
  if ((share.role == ParentRole::kSire ? r.sire : r.dam) != kUnknownParent)
    return std::string("the ") + (role == "SIRE" ? "sire" : "dam") + " of " + r.id + " is known.";
  share.group = Find(index, UpperCased(fields.group));
  if (share.group < 0) return UpperCased(fields.group) + " is not a genetic group.";
  const std::optional<double> value = fields.fraction;
  if (!value || !(*value > 0.0) || *value > 1.0) return "the fraction is a number above 0 and at most 1.";
  share.fraction = static_cast<float>(*value);
  return {};
}

// One line of a fractions file split into its fields; `path` names the file
// when the fraction is not a number.
std::string SplitShareLine(const std::vector<std::string_view>& words, const std::string& path,
                           ShareFields& fields) {
  if (words.size() != 4) return "four fields, \"individual sire|dam group fraction\".";
  fields.id = words[0];
  fields.role = words[1];
  fields.group = words[2];
  fields.fraction = WholeNumber(words[3]);
  if (!fields.fraction) return QuotedCell(words[3]) + " in column 4 of " + path + " is not a number.";
  return {};
}

// The fractions of each parent sum to 1 (to a float's precision of the
// typed decimals).
std::string CheckSums(const Pedigree& ped, const std::vector<GroupShare>& shares) {
  for (std::size_t k = 0; k < shares.size();) {
    std::size_t end = k;
    double sum = 0.0;
    for (; end < shares.size() && shares[end].rec == shares[k].rec &&
           shares[end].role == shares[k].role;
         ++end)
      sum += static_cast<double>(shares[end].fraction);
    if (std::fabs(sum - 1.0) > 1e-4)
      return std::string("The fractions of the ") +
             (shares[k].role == ParentRole::kSire ? "sire" : "dam") + " of " +
             ped.rec(shares[k].rec).id + " do not sum to 1.";
    k = end;
  }
  return {};
}

// Sorted by parent and checked, the shares replace the pedigree's.
std::string KeepShares(std::vector<GroupShare> shares, Pedigree& ped) {
  std::stable_sort(shares.begin(), shares.end(), [](const GroupShare& a, const GroupShare& b) {
    return a.rec != b.rec ? a.rec < b.rec : a.role < b.role;
  });
  if (std::string error = CheckSums(ped, shares); !error.empty()) return error;
  ped.geneticGroups.shares = std::move(shares);
  return {};
}

}  // namespace

std::string ReadGroupFractions(const std::string& path, Pedigree& ped) {
  if (!ped.geneticGroups.Active()) return "Group fractions need a genetic groups file.";
  if (ped.geneticGroups.Metafounders()) return "Group fractions cannot be used with metafounders.";
  const auto recs = RecordIndex(ped);
  const auto index = GroupIndex(ped.geneticGroups);
  std::vector<GroupShare> shares;
  std::string error;
  const SideFileResult file = ReadSideFileLines(path, [&](std::string_view line, std::int64_t number) {
    const auto words = SideFileWords(line);
    if (words.empty() || words[0].front() == '#') return true;
    ShareFields fields;
    GroupShare share{};
    error = SplitShareLine(words, path, fields);
    if (error.empty()) error = ParseShare(fields, ped, recs, index, share);
    if (!error.empty()) {
      error = "Line " + std::to_string(number) + " of the group fractions file: " + error;
      return false;
    }
    shares.push_back(share);
    return true;
  });
  if (!file.ok()) return SideFileMessage(file, "Cannot open the group fractions file " + path + ".");
  if (!error.empty()) return error;
  return KeepShares(std::move(shares), ped);
}

std::string SetGroupFractions(const std::vector<GroupFractionRow>& rows, Pedigree& ped) {
  if (!ped.geneticGroups.Active()) return "Group fractions need genetic groups.";
  if (ped.geneticGroups.Metafounders()) return "Group fractions cannot be used with metafounders.";
  const auto recs = RecordIndex(ped);
  const auto index = GroupIndex(ped.geneticGroups);
  std::vector<GroupShare> shares;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const GroupFractionRow& row = rows[k];
    GroupShare share{};
    const ShareFields fields{Trimmed(row.individual), Trimmed(row.parent), Trimmed(row.group),
                             row.fraction};
    if (std::string error = ParseShare(fields, ped, recs, index, share); !error.empty())
      return "Row " + std::to_string(k + 1) + " of the group fractions: " + error;
    shares.push_back(share);
  }
  return KeepShares(std::move(shares), ped);
}

std::int32_t PlainGroup(const Pedigree& ped, RecIndex rec, ParentRole role) {
  const auto& plain = role == ParentRole::kSire ? ped.geneticGroups.sireGroup : ped.geneticGroups.damGroup;
  const auto at = static_cast<std::size_t>(rec);
  return at < plain.size() ? plain[at] : -1;
}

const char* ParentIdAsGiven(const Pedigree& ped, RecIndex rec, ParentRole role) {
  const Rec& r = ped.rec(rec);
  const RecIndex parent = role == ParentRole::kSire ? r.sire : r.dam;
  const std::int32_t group = PlainGroup(ped, rec, role);
  if (parent != kUnknownParent || group < 0) return ped.rec(parent).id;
  return ped.geneticGroups.ids[static_cast<std::size_t>(group)].c_str();
}

void ParentGroups(const Pedigree& ped, RecIndex rec, ParentRole role,
                  std::vector<std::pair<std::int32_t, float>>& out) {
  out.clear();
  const GeneticGroups& groups = ped.geneticGroups;
  if (!groups.Active() || groups.sireGroup.empty()) return;
  const auto first = std::lower_bound(
      groups.shares.begin(), groups.shares.end(), std::pair{rec, role},
      [](const GroupShare& s, const std::pair<RecIndex, ParentRole>& key) {
        return s.rec != key.first ? s.rec < key.first : s.role < key.second;
      });
  for (auto it = first; it != groups.shares.end() && it->rec == rec && it->role == role; ++it)
    out.emplace_back(it->group, it->fraction);
  if (!out.empty()) return;
  if (const std::int32_t group = PlainGroup(ped, rec, role); group >= 0) out.emplace_back(group, 1.0f);
}

}  // namespace kinvar
