#include "pedigree/validation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "pedigree/cycle.h"
#include "pedigree/memory.h"
#include "pedigree/recoding.h"
#include "pedigree/sort.h"

namespace kinvar {

namespace {

using LinkOrder = std::vector<std::int32_t>;  // indexes into Pedigree::links

// The record at position i of the record array (sorted by ID here).
const Rec& At(const Pedigree& ped, std::int32_t i) {
  return ped.rec(ped.records[static_cast<std::size_t>(i)]);
}

void WriteError(Pedigree& ped, const std::string& line) {
  WriteReportLine(ped.report, line, &ped.copyFile);
}

std::string IdLine(const char* id, const char* text) {
  return std::string("|C") + id + " |A" + text;
}

// The line of record i of the file (its row in a workbook); 0 for an added
// parent, which has none.
std::int32_t LineOf(const Pedigree& ped, RecIndex i) {
  const auto k = static_cast<std::size_t>(i) - 1;
  return i >= 1 && k < ped.lines.size() ? ped.lines[k] : 0;
}

// " in line 4", or nothing when the line is not known (a pedigree made in
// memory).
std::string InLine(std::int32_t line) { return line > 0 ? " in line " + std::to_string(line) : std::string(); }

// "in line 4 " at the start of a sentence, or nothing.
std::string LeadingLine(std::int32_t line) { return line > 0 ? "in line " + std::to_string(line) + " " : std::string(); }

// `text` + " (line 4)." or " (lines 3, 7 and 2 more).": as many lines, in
// ascending order, as a report line holds, and `text` + "." when not even
// one fits.
std::string WithLines(const std::string& text, std::vector<std::int32_t> lines) {
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  lines.erase(std::remove(lines.begin(), lines.end(), 0), lines.end());
  std::string line = text + (lines.size() == 1 ? " (line " : " (lines ");
  std::size_t shown = 0;
  for (; shown < lines.size(); ++shown) {
    const std::string next = (shown == 0 ? "" : ", ") + std::to_string(lines[shown]);
    const std::size_t rest = lines.size() - shown - 1;
    const std::size_t tail = rest == 0 ? 2 : (" and " + std::to_string(rest) + " more).").size();
    if (line.size() + next.size() + tail > ReportStore::kMaxLineLength) break;
    line += next;
  }
  if (shown == 0) return text + ".";
  if (shown < lines.size()) line += " and " + std::to_string(lines.size() - shown) + " more";
  return line + ").";
}

// The first lines in which each record is named as a sire and as a dam, for
// the messages of a record in both roles.
struct RoleLines {
  std::vector<std::int32_t> asSire;
  std::vector<std::int32_t> asDam;

  explicit RoleLines(const Pedigree& ped) : asSire(ped.recs.size(), 0), asDam(ped.recs.size(), 0) {
    for (RecIndex i = ped.nRead; i >= 1; --i) {
      const Rec& r = ped.rec(i);
      asSire[static_cast<std::size_t>(r.sire)] = LineOf(ped, i);
      asDam[static_cast<std::size_t>(r.dam)] = LineOf(ped, i);
    }
  }
  // `a` and `b` are one individual (a parent added once per role).
  std::string Both(const char* id, RecIndex a, RecIndex b) const {
    const auto first = [](std::int32_t x, std::int32_t y) { return x == 0 || (y != 0 && y < x) ? y : x; };
    const std::int32_t sire = first(asSire[static_cast<std::size_t>(a)], asSire[static_cast<std::size_t>(b)]);
    const std::int32_t dam = first(asDam[static_cast<std::size_t>(a)], asDam[static_cast<std::size_t>(b)]);
    const std::string roles = sire == 0 || dam == 0 ? ""
                              : sire == dam ? " (as sire and dam" + InLine(sire) + ")"
                                            : " (as a sire" + InLine(sire) + ", as a dam" + InLine(dam) + ")";
    const std::string line = std::string("|C") + id + " |Aappearing as both sire and dam" + roles + ".";
    // Twenty-character IDs in files of a hundred million lines: the lines
    // give way, the report line stays within its width.
    return line.size() <= ReportStore::kMaxLineLength ? line : IdLine(id, "appearing as both sire and dam.");
  }
};

// A parent that is not listed as progeny becomes a founder with the next
// founder code, after the file's records; its role is all that is known of
// its sex.
RecIndex AddParent(Pedigree& ped, const char* id, Sex sex) {
  Rec& r = ped.recs.emplace_back();
  std::strcpy(r.id, id);
  r.code = ++ped.nFounders;
  r.sex = sex;
  return static_cast<RecIndex>(ped.recs.size() - 1);
}

RecIndex FindOrAddParent(Pedigree& ped, const char* id, Sex sex) {
  const RecIndex found = FindById(ped, ped.nRead, id);
  return found != kUnknownParent ? found : AddParent(ped, id, sex);
}

// The walks below visit links and records in an order unrelated to their
// place in memory; asking for them a few steps ahead overlaps the cache
// misses. Only a hint: it changes no value.
constexpr std::int32_t kAhead = 8;

void FetchAhead(const Pedigree& ped, const LinkOrder& order, std::int32_t k) {
  const auto n = static_cast<std::int32_t>(order.size());
  if (k + 2 * kAhead < n) {
    __builtin_prefetch(&ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k + 2 * kAhead)])]);
  }
  if (k + kAhead < n) {
    const ParentLink& link = ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k + kAhead)])];
    __builtin_prefetch(&ped.rec(link.rec), 1);
  }
}

void FetchAhead(const Pedigree& ped, std::int32_t i) {
  if (i + 2 * kAhead < ped.nRead) {
    __builtin_prefetch(&At(ped, i + 2 * kAhead));
  }
  if (i + kAhead < ped.nRead) {
    const Rec& r = At(ped, i + kAhead);
    __builtin_prefetch(&ped.rec(r.sire), 1);
    __builtin_prefetch(&ped.rec(r.dam), 1);
  }
}

bool LinkDams(Pedigree& ped, const LinkOrder& order, Progress& progress) {
  const auto n = static_cast<std::int32_t>(order.size());
  for (std::int32_t k = 0; k < n; ++k) {
    FetchAhead(ped, order, k);
    const ParentLink& link = ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])];
    if (IsUnknownId(link.dam)) continue;
    const RecIndex dam = FindOrAddParent(ped, link.dam, Sex::kFemale);
    ped.rec(link.rec).dam = dam;
    while (k + 1 < n) {
      const ParentLink& next = ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k + 1)])];
      if (CompareIds(next.dam, link.dam) != 0) break;
      ped.rec(next.rec).dam = dam;
      ++k;
      FetchAhead(ped, order, k);
    }
    if (progress.Step(k)) return false;
  }
  return true;
}

void CountFamily(Pedigree& ped, std::int32_t size) {
  ++ped.nFullSibGroups;
  ped.nFullSibMembers += size;
  if (size > ped.maxFullSibSize) ped.maxFullSibSize = size;
  if (ped.minFullSibSize == 0 || size < ped.minFullSibSize) ped.minFullSibSize = size;
}

// Families within one run of links sharing a sire: sorted by dam ID, so
// full sibs stand together.
void ListFullSibs(Pedigree& ped, const LinkOrder& order, std::int32_t first, std::int32_t last) {
  auto individual = [&](std::int32_t k) -> const Rec& {
    return ped.rec(ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])].rec);
  };
  auto recAt = [&](std::int32_t k) {
    return ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])].rec;
  };
  for (std::int32_t k = first; k < last; ++k) {
    const RecIndex dam = individual(k).dam;
    if (dam == kUnknownParent || individual(k + 1).dam != dam) continue;
    ped.fullSibs.push_back(recAt(k));
    std::int32_t size = 1;
    while (k + 1 <= last && individual(k + 1).dam == dam) {
      ped.fullSibs.push_back(recAt(++k));
      ++size;
    }
    CountFamily(ped, size);
  }
}

bool LinkSires(Pedigree& ped, const LinkOrder& order, Progress& progress) {
  const auto n = static_cast<std::int32_t>(order.size());
  for (std::int32_t k = 0; k < n; ++k) {
    FetchAhead(ped, order, k);
    const ParentLink& link = ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k)])];
    if (IsUnknownId(link.sire)) {
      if (IsUnknownId(link.dam)) {
        ped.rec(link.rec).code = ++ped.nFounders;
        --ped.nNonFounders;
      }
      continue;
    }
    const RecIndex sire = FindOrAddParent(ped, link.sire, Sex::kMale);
    const std::int32_t first = k;
    ped.rec(link.rec).sire = sire;
    while (k + 1 < n) {
      const ParentLink& next = ped.links[static_cast<std::size_t>(order[static_cast<std::size_t>(k + 1)])];
      if (CompareIds(next.sire, link.sire) != 0) break;
      ped.rec(next.rec).sire = sire;
      ++k;
      FetchAhead(ped, order, k);
    }
    ListFullSibs(ped, order, first, k);
    if (progress.Step(k)) return false;
  }
  return true;
}

// Linking by a merge of two sorted lists: the links in the order of the
// parent ID and the file records in ID order. When every progeny ID is
// distinct this finds the record the binary search finds, and the walks
// below link, add parents and count families exactly as the walks above.
// The walks read the keys in order; the records, reached out of order, are
// written afterwards on every thread. With a repeated progeny ID the binary
// search may land on either copy, so the walks above serve.
class MergeLinker {
 public:
  MergeLinker(Pedigree& ped, std::vector<LinkKey>& keys, const std::vector<KeyedRec>& ids, const KeyCoder& coder,
              int threads)
      : ped_(ped), keys_(keys), ids_(ids), coder_(coder), threads_(threads) {}

  // Finds or adds the dam of each run of equal dam IDs, numbering the runs
  // as RankDams does; the records get their dams while the keys are rekeyed
  // by sire.
  bool LinkDams(Progress& progress) {
    damOfRank_.clear();
    std::size_t next = 0;  // first file record whose ID is not below the dam ID
    const std::size_t n = keys_.size();
    for (std::size_t k = 0; k < n; ++k) {
      const LinkKey& key = keys_[k];
      const std::size_t end = RunEnd(k, &ParentLink::dam);
      const std::size_t first = k;
      k = end - 1;
      const auto rank = static_cast<std::uint32_t>(damOfRank_.size());
      for (std::size_t m = first; m < end; ++m) keys_[m].damRank = rank;
      // Progress as the walk above reports it: after each run of known dams.
      if (IsUnknownKey(key.Parent(), [&] { return Link(key).dam; }, coder_)) {
        damOfRank_.push_back(kUnknownParent);
        continue;
      }
      damOfRank_.push_back(FindOrAdd(key.Parent(), [&] { return Link(key).dam; }, next, Sex::kFemale));
      if (progress.Step(static_cast<std::int64_t>(k))) return false;
    }
    RekeyBySire(ped_, keys_, coder_, threads_, [this](const LinkKey& key) {
      if (const RecIndex dam = damOfRank_[key.damRank]; dam != kUnknownParent)
        ped_.rec(static_cast<RecIndex>(key.link + 1)).dam = dam;
    });
    return true;
  }

  // On keys rekeyed by sire and sorted by sire and dam.
  bool LinkSires(Progress& progress) {
    std::size_t next = 0;
    const std::size_t n = keys_.size();
    for (std::size_t k = 0; k < n; ++k) {
      const LinkKey& key = keys_[k];
      const std::size_t end = RunEnd(k, &ParentLink::sire);
      const std::size_t first = k;
      k = end - 1;
      if (IsUnknownKey(key.Parent(), [&] { return Link(key).sire; }, coder_)) {
        CodeListedFounders(first, end);
        for (std::size_t m = first; m < end; ++m) keys_[m].damRank = kUnknownParent;
        continue;
      }
      const RecIndex sire = FindOrAdd(key.Parent(), [&] { return Link(key).sire; }, next, Sex::kMale);
      ListFullSibs(first, end);
      for (std::size_t m = first; m < end; ++m) keys_[m].damRank = static_cast<std::uint32_t>(sire);
      if (progress.Step(static_cast<std::int64_t>(k))) return false;
    }
    RunInParts(n, threads_, [this](std::size_t from, std::size_t to) {
      for (std::size_t m = from; m < to; ++m) {
        if (m + kAhead < to) __builtin_prefetch(&ped_.rec(RecOf(m + kAhead)), 1);
        if (keys_[m].damRank != kUnknownParent) ped_.rec(RecOf(m)).sire = static_cast<RecIndex>(keys_[m].damRank);
      }
    });
    return true;
  }

 private:
  const ParentLink& Link(const LinkKey& key) const { return ped_.links[static_cast<std::size_t>(key.link)]; }

  RecIndex DamOf(std::size_t m) const { return damOfRank_[keys_[m].damRank]; }

  // The record of link i is i + 1 (MakeLinkKeys checks it), so that the
  // walks do not reach into the links for it.
  RecIndex RecOf(std::size_t m) const { return static_cast<RecIndex>(keys_[m].link + 1); }

  // One past the last link from k on whose parent ID (`field`, the one the
  // keys hold) equals k's.
  std::size_t RunEnd(std::size_t k, char (ParentLink::*field)[kMaxIdLength + 1]) const {
    const IdKey first = keys_[k].Parent();
    std::size_t end = k + 1;
    while (end < keys_.size() &&
           CompareKeys(keys_[end].Parent(), first, [&] { return Link(keys_[end]).*field; },
                       [&] { return Link(keys_[k]).*field; }) == 0) {
      ++end;
    }
    return end;
  }

  // `id()` gives the ID text, read only to compare long IDs or to add the
  // parent.
  template <class Text>
  RecIndex FindOrAdd(const IdKey& key, Text id, std::size_t& next, Sex sex) {
    auto compare = [&] {
      return CompareKeys(ids_[next].key, key, [&] { return ped_.rec(ids_[next].index).id; }, id);
    };
    int c = 1;
    while (next < ids_.size() && (c = compare()) < 0) ++next;
    return next < ids_.size() && c == 0 ? ids_[next].index : AddParent(ped_, id(), sex);
  }

  // Links whose sire ID is unknown: those whose dam ID is unknown too are
  // founders listed in the file and take the next founder codes in link
  // order.
  void CodeListedFounders(std::size_t k, std::size_t end) {
    for (std::size_t m = k; m < end; ++m) {
      if (DamOf(m) != kUnknownParent) continue;
      ped_.rec(RecOf(m)).code = ++ped_.nFounders;
      --ped_.nNonFounders;
    }
  }

  // Equal dam ranks are one dam.
  void ListFullSibs(std::size_t first, std::size_t end) {
    for (std::size_t k = first; k + 1 < end; ++k) {
      const std::uint32_t dam = keys_[k].damRank;
      if (DamOf(k) == kUnknownParent || keys_[k + 1].damRank != dam) continue;
      ped_.fullSibs.push_back(RecOf(k));
      std::int32_t size = 1;
      while (k + 1 < end && keys_[k + 1].damRank == dam) {
        ped_.fullSibs.push_back(RecOf(++k));
        ++size;
      }
      CountFamily(ped_, size);
    }
  }

  Pedigree& ped_;
  std::vector<LinkKey>& keys_;
  const std::vector<KeyedRec>& ids_;
  const KeyCoder& coder_;
  const int threads_;
  std::vector<RecIndex> damOfRank_;  // the record of each dam ID, by rank
};

// Marks each parent by the role it was seen in; one seen in both roles is
// reported (again after each switch of role).
bool CheckFileRecords(Pedigree& ped, Progress& progress) {
  const RoleLines roles(ped);
  for (std::int32_t i = 0; i < ped.nRead; ++i) {
    FetchAhead(ped, i);
    const Rec& r = At(ped, i);
    if (r.sire != kUnknownParent) {
      Rec& s = ped.rec(r.sire);
      s.mark |= 1;
      if (s.mark & 2) {
        WriteError(ped, roles.Both(s.id, r.sire, r.sire));
        s.mark = 0;
      }
    }
    if (r.dam != kUnknownParent) {
      Rec& d = ped.rec(r.dam);
      d.mark |= 2;
      if (d.mark & 1) {
        WriteError(ped, roles.Both(d.id, r.dam, r.dam));
        d.mark = 0;
      }
    }
    const bool duplicate = i + 1 < ped.nRead && CompareIds(r.id, At(ped, i + 1).id) == 0;
    const bool runStart = i == 0 || CompareIds(r.id, At(ped, i - 1).id) != 0;
    if (duplicate && runStart) {
      std::vector<std::int32_t> lines;
      for (std::int32_t j = i; j < ped.nRead && CompareIds(r.id, At(ped, j).id) == 0; ++j) {
        lines.push_back(LineOf(ped, ped.records[static_cast<std::size_t>(j)]));
      }
      WriteError(ped, WithLines(IdLine(r.id, "appearing more than once in the progeny list"), lines));
    }
    if (progress.Step(i)) return false;
  }
  return true;
}

// Whether the walk above may write anything: a progeny ID listed twice
// sends validation to the binary searches, and then the walk always runs;
// else only a record that is the sire of one file record and the dam of
// another is reported, which one pass in memory order finds.
bool FileRecordsMayHaveErrors(const Pedigree& ped, bool bySearch) {
  if (bySearch) return true;
  std::vector<std::uint8_t> roles(ped.recs.size(), 0);
  for (std::int32_t i = 1; i <= ped.nRead; ++i) {
    const Rec& r = ped.rec(i);
    roles[static_cast<std::size_t>(r.sire)] |= 1;
    roles[static_cast<std::size_t>(r.dam)] |= 2;
  }
  return std::find(roles.begin() + 1, roles.end(), std::uint8_t{3}) != roles.end();
}

bool HasTwins(const Pedigree& ped, const std::vector<KeyedRec>& ids) {
  for (std::size_t i = 1; i < ids.size(); ++i) {
    if (CompareKeys(ids[i - 1].key, ids[i].key, [&] { return ped.rec(ids[i - 1].index).id; },
                    [&] { return ped.rec(ids[i].index).id; }) == 0) {
      return true;
    }
  }
  return false;
}

// An added parent used both as sire and dam was created once per role.
bool CheckAddedParents(Pedigree& ped, Progress& progress) {
  SortById(ped, ped.nRead, ped.nTotal - 1);
  std::optional<RoleLines> roles;
  for (std::int32_t i = ped.nRead; i < ped.nTotal; ++i) {
    const Rec& r = At(ped, i);
    const bool twin = i + 1 < ped.nTotal && CompareIds(r.id, At(ped, i + 1).id) == 0;
    const bool runStart = i == ped.nRead || CompareIds(r.id, At(ped, i - 1).id) != 0;
    if (twin && runStart) {
      if (!roles) roles.emplace(ped);
      WriteError(ped, roles->Both(r.id, ped.records[static_cast<std::size_t>(i)],
                                  ped.records[static_cast<std::size_t>(i + 1)]));
    }
    if (progress.Step(i)) return false;
  }
  return true;
}

// A recorded sex that contradicts the role, and progeny born before a
// parent, in file order, where the user will look for them. Added parents
// have the sex of their role and no date, so only the file's records can
// be wrong; a parent in both roles is reported as such above.
void CheckSexAndBirth(Pedigree& ped) {
  if (ped.HasSexColumn()) {
    std::vector<std::uint8_t> roles(static_cast<std::size_t>(ped.nRead) + 1, 0);
    for (std::int32_t i = 1; i <= ped.nRead; ++i) {
      const Rec& r = ped.rec(i);
      if (r.sire <= ped.nRead) roles[static_cast<std::size_t>(r.sire)] |= 1;
      if (r.dam <= ped.nRead) roles[static_cast<std::size_t>(r.dam)] |= 2;
    }
    std::optional<RoleLines> lines;
    for (std::int32_t i = 1; i <= ped.nRead; ++i) {
      const Rec& r = ped.rec(i);
      const std::uint8_t role = roles[static_cast<std::size_t>(i)];
      const bool asSire = r.sex == Sex::kFemale && (role & 1) != 0;
      const bool asDam = r.sex == Sex::kMale && (role & 2) != 0;
      if (!asSire && !asDam) continue;
      if (!lines) lines.emplace(ped);
      const std::string own = InLine(LineOf(ped, i));
      if (asSire)
        WriteError(ped, IdLine(r.id, "is recorded as female") + own + " but used as a sire" +
                            InLine(lines->asSire[static_cast<std::size_t>(i)]) + ".");
      if (asDam)
        WriteError(ped, IdLine(r.id, "is recorded as male") + own + " but used as a dam" +
                            InLine(lines->asDam[static_cast<std::size_t>(i)]) + ".");
    }
  }
  if (!ped.HasBirthColumn()) return;
  for (std::int32_t i = 1; i <= ped.nRead; ++i) {
    const Rec& r = ped.rec(i);
    if (r.birth == kUnknownBirth) continue;
    for (const auto& [parent, role] : {std::pair{r.sire, "sire"}, std::pair{r.dam, "dam"}}) {
      const std::int32_t born = ped.rec(parent).birth;
      // The unknown parent has no date.
      if (born != kUnknownBirth && r.birth < born)
        WriteError(ped, std::string("|C") + r.id + " |A" + LeadingLine(LineOf(ped, i)) + "is born before its " +
                            role + " " + ped.rec(parent).id + InLine(LineOf(ped, parent)) + ".");
    }
  }
}

// The lines of the members with a predefined F of the first full-sib family
// whose predefined F differ, families taken in the order recoding merges
// them (the one it finds at fault); empty when all agree. Read before
// recoding, which gives the members of each family one F.
std::vector<std::int32_t> DisagreeingFullSibLines(const Pedigree& ped) {
  const auto& sibs = ped.fullSibs;
  if (!ped.HasFColumn()) return {};
  for (std::size_t a = 0; a < sibs.size();) {
    const Rec& head = ped.rec(sibs[a]);
    std::size_t b = a + 1;
    while (b < sibs.size() && ped.rec(sibs[b]).sire == head.sire && ped.rec(sibs[b]).dam == head.dam) ++b;
    std::vector<std::int32_t> lines;
    bool differ = false;
    const Rec* first = nullptr;
    for (std::size_t m = a; m < b; ++m) {
      const Rec& r = ped.rec(sibs[m]);
      if (!r.fPredefined) continue;
      differ = differ || (first != nullptr && r.f != first->f);
      if (first == nullptr) first = &r;
      lines.push_back(LineOf(ped, sibs[m]));
    }
    if (differ) return lines;
    a = b;
  }
  return {};
}

void WriteFullSibs(Pedigree& ped, const std::vector<std::int32_t>& lines) {
  WriteError(ped, WithLines("Predefined inbreeding coefficients of at least one full sib group are not the same", lines));
}

void WriteCycle(Pedigree& ped, RecIndex named) {
  const std::int32_t at = LineOf(ped, named);
  WriteError(ped, IdLine(ped.rec(named).id, "appearing in its ancestors list (Cycling pedigree)") +
                      (at > 0 ? ", line " + std::to_string(at) : std::string()) + ".");
  for (const std::string& line : CycleLines(ped, FindCycle(ped, named))) WriteError(ped, line);
}

void FillRecordsInReadingOrder(Pedigree& ped, std::int32_t n) {
  if (ped.records.capacity() < static_cast<std::size_t>(n)) {
    // Room for the parents still to be added, as the records have.
    ped.records = std::vector<RecIndex>();
    ReserveLarge(ped.records, std::max(static_cast<std::size_t>(n), ped.recs.capacity() - 1));
  }
  ped.records.resize(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) ped.records[static_cast<std::size_t>(i)] = i + 1;
}

// The lines of the records whose ID is unknown, in no order (WithLines
// sorts them).
std::vector<std::int32_t> UnknownProgenyLines(const Pedigree& ped, int threads) {
  std::vector<std::int32_t> lines;
  std::mutex mutex;
  RunInParts(static_cast<std::size_t>(ped.nRead), threads, [&](std::size_t from, std::size_t to) {
    std::vector<std::int32_t> found;
    for (std::size_t k = from; k < to; ++k) {
      const auto i = static_cast<RecIndex>(k + 1);
      if (IsUnknownId(ped.rec(i).id)) found.push_back(LineOf(ped, i));
    }
    const std::lock_guard lock(mutex);
    lines.insert(lines.end(), found.begin(), found.end());
  });
  return lines;
}

// The links in the order of `keys`, for the walks by binary search.
LinkOrder OrderOf(const std::vector<LinkKey>& keys) {
  LinkOrder order;
  ReserveLarge(order, keys.size());
  order.resize(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].link;
  return order;
}

}  // namespace

int ValidatePedigree(Pedigree& ped, Progress& progress, Linking linking) {
  ped.inbreedingComputed = false;
  ped.report.Clear();
  ped.copyFile.Reset();

  FillRecordsInReadingOrder(ped, ped.nRead);
  const int threads = WorkerCount(ped.settings.threads);
  const std::vector<std::int32_t> unknownProgeny = UnknownProgenyLines(ped, threads);

  ped.nNonFounders = ped.nRead;
  progress.SetStage(50, 65, ped.nRead, "");
  // The sort of the records and that of the links read the records and the
  // links and write apart, so they may run side by side; each leaves the
  // order it leaves on any number of threads. The sort of the links, the
  // longer, may also use the threads the other leaves when it ends.
  const KeyCoder coder = KeyCoder::For(ped, threads);
  std::vector<KeyedRec> ids;
  std::vector<LinkKey> linkKeys;
  {
    const int idThreads = threads / 2;
    std::jthread idSort;
    if (idThreads > 0) idSort = std::jthread([&] { ids = SortByIdKeyed(ped, 0, ped.nRead - 1, idThreads, coder); });
    linkKeys = MakeLinkKeys(ped, coder);
    SortLinksByDam(ped, linkKeys, threads, coder);
    if (idThreads == 0) ids = SortByIdKeyed(ped, 0, ped.nRead - 1, 1, coder);
  }
  const bool bySearch = linking == Linking::kBinarySearch || HasTwins(ped, ids);
  MergeLinker merge(ped, linkKeys, ids, coder, threads);
  progress.SetStage(50, 65, ped.nRead, "Identifying female founders");
  if (!(bySearch ? LinkDams(ped, OrderOf(linkKeys), progress) : merge.LinkDams(progress))) {
    return kValidationCancelled;
  }

  progress.SetStage(65, 80, ped.nRead, "");
  if (bySearch) RekeyBySire(ped, linkKeys, coder, threads);
  SortLinksBySireDam(ped, linkKeys, threads, coder);
  ped.nFullSibGroups = ped.nFullSibMembers = ped.maxFullSibSize = ped.minFullSibSize = 0;
  ReserveLarge(ped.fullSibs, static_cast<std::size_t>(ped.nRead));  // touched only as it fills
  progress.SetStage(65, 80, ped.nRead, "Identifying male founders");
  if (!(bySearch ? LinkSires(ped, OrderOf(linkKeys), progress) : merge.LinkSires(progress))) {
    return kValidationCancelled;
  }

  ped.nTotal = ped.nFounders + ped.nNonFounders;
  ped.links.clear();
  ped.links.shrink_to_fit();
  linkKeys = std::vector<LinkKey>();
  ids = std::vector<KeyedRec>();

  progress.SetStage(80, 90, ped.nTotal, "Checking for errors");
  WriteError(ped, "|XError(s) list:");
  if (!unknownProgeny.empty()) {
    WriteError(ped, WithLines("There is at least one unknown ID in the progeny list", unknownProgeny));
  }
  if (FileRecordsMayHaveErrors(ped, bySearch)) {
    if (!CheckFileRecords(ped, progress)) return kValidationCancelled;
    for (Rec& r : ped.recs) r.mark = 0;
  }

  FillRecordsInReadingOrder(ped, ped.nTotal);
  ped.work.assign(static_cast<std::size_t>(ped.nTotal) + 1, kUnknownParent);
  if (!CheckAddedParents(ped, progress)) return kValidationCancelled;
  CheckSexAndBirth(ped);

  // Recoding stops at its first error and runs only on an otherwise sound
  // pedigree, but the full sibs and the cycles can be checked on any, and
  // are best corrected in one pass with the other mistakes.
  const std::vector<std::int32_t> sibLines = DisagreeingFullSibLines(ped);
  if (ped.report.Count() == 1) {
    RecIndex named = kUnknownParent;
    switch (RecodePedigree(ped, progress, &named)) {
      case kRecodingCancelled:
        return kValidationCancelled;
      case kFullSibFDisagree:
        WriteFullSibs(ped, sibLines);
        break;
      case kCycle:
        if (!sibLines.empty()) WriteFullSibs(ped, sibLines);
        WriteCycle(ped, named);
        break;
      default:
        break;
    }
    if (ped.report.Count() == 1) {
      ped.report.Clear();
      ped.copyFile.Reset();
      ped.lines = std::vector<std::int32_t>();
      return kValid;
    }
  } else {
    if (!sibLines.empty()) WriteFullSibs(ped, sibLines);
    if (const RecIndex named = FirstInOrBelowCycle(ped); named != kUnknownParent) WriteCycle(ped, named);
  }
  WriteError(ped, "");
  WriteError(ped, "Correct the pedigree file.");
  return kValidationErrors;
}

}  // namespace kinvar
