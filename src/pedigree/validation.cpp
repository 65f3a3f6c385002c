#include "pedigree/validation.h"

#include <cstring>
#include <string>

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

const char* const kBothSexes = "appearing as both sire and dam.";

// A parent that is not listed as progeny becomes a founder with the next
// founder code, after the file's records.
RecIndex AddParent(Pedigree& ped, const char* id) {
  Rec& r = ped.recs.emplace_back();
  std::strcpy(r.id, id);
  r.code = ++ped.nFounders;
  return static_cast<RecIndex>(ped.recs.size() - 1);
}

RecIndex FindOrAddParent(Pedigree& ped, const char* id) {
  const RecIndex found = FindById(ped, ped.nRead, id);
  return found != kUnknownParent ? found : AddParent(ped, id);
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
    const RecIndex dam = FindOrAddParent(ped, link.dam);
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
    const RecIndex sire = FindOrAddParent(ped, link.sire);
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

// Marks each parent by the role it was seen in; one seen in both roles is
// reported (again after each switch of role).
bool CheckFileRecords(Pedigree& ped, Progress& progress) {
  for (std::int32_t i = 0; i < ped.nRead; ++i) {
    FetchAhead(ped, i);
    const Rec& r = At(ped, i);
    if (r.sire != kUnknownParent) {
      Rec& s = ped.rec(r.sire);
      s.mark |= 1;
      if (s.mark & 2) {
        WriteError(ped, IdLine(s.id, kBothSexes));
        s.mark = 0;
      }
    }
    if (r.dam != kUnknownParent) {
      Rec& d = ped.rec(r.dam);
      d.mark |= 2;
      if (d.mark & 1) {
        WriteError(ped, IdLine(d.id, kBothSexes));
        d.mark = 0;
      }
    }
    const bool duplicate = i + 1 < ped.nRead && CompareIds(r.id, At(ped, i + 1).id) == 0;
    const bool runStart = i == 0 || CompareIds(r.id, At(ped, i - 1).id) != 0;
    if (duplicate && runStart) {
      WriteError(ped, IdLine(r.id, "appearing more than once in the progeny list."));
    }
    if (progress.Step(i)) return false;
  }
  return true;
}

// An added parent used both as sire and dam was created once per role.
bool CheckAddedParents(Pedigree& ped, Progress& progress) {
  SortById(ped, ped.nRead, ped.nTotal - 1);
  for (std::int32_t i = ped.nRead; i < ped.nTotal; ++i) {
    const Rec& r = At(ped, i);
    const bool twin = i + 1 < ped.nTotal && CompareIds(r.id, At(ped, i + 1).id) == 0;
    const bool runStart = i == ped.nRead || CompareIds(r.id, At(ped, i - 1).id) != 0;
    if (twin && runStart) WriteError(ped, IdLine(r.id, kBothSexes));
    if (progress.Step(i)) return false;
  }
  return true;
}

void FillRecordsInReadingOrder(Pedigree& ped, std::int32_t n) {
  if (ped.records.capacity() < static_cast<std::size_t>(n)) {
    ped.records = std::vector<RecIndex>();
    ReserveLarge(ped.records, static_cast<std::size_t>(n));
  }
  ped.records.resize(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) ped.records[static_cast<std::size_t>(i)] = i + 1;
}

}  // namespace

int ValidatePedigree(Pedigree& ped, Progress& progress) {
  ped.inbreedingComputed = false;
  ped.report.Clear();
  ped.copyFile.Reset();

  FillRecordsInReadingOrder(ped, ped.nRead);
  LinkOrder order;
  ReserveLarge(order, static_cast<std::size_t>(ped.nRead));
  order.resize(static_cast<std::size_t>(ped.nRead));
  bool unknownProgeny = false;
  for (std::int32_t i = 0; i < ped.nRead; ++i) {
    order[static_cast<std::size_t>(i)] = i;
    unknownProgeny = unknownProgeny || IsUnknownId(ped.rec(i + 1).id);
  }

  ped.nNonFounders = ped.nRead;
  const std::ptrdiff_t last = ped.nRead - 1;
  progress.SetStage(50, 65, ped.nRead, "");
  const int threads = LoadThreads(ped.settings.threads);
  SortById(ped, 0, last, threads);
  std::vector<LinkKey> linkKeys = MakeLinkKeys(ped);
  SortLinksByDam(ped, linkKeys, order, threads);
  progress.SetStage(50, 65, ped.nRead, "Identifying female founders");
  if (!LinkDams(ped, order, progress)) return kValidationCancelled;

  progress.SetStage(65, 80, ped.nRead, "");
  SortLinksBySireDam(ped, linkKeys, order, threads);
  linkKeys = std::vector<LinkKey>();
  ped.nFullSibGroups = ped.nFullSibMembers = ped.maxFullSibSize = ped.minFullSibSize = 0;
  progress.SetStage(65, 80, ped.nRead, "Identifying male founders");
  if (!LinkSires(ped, order, progress)) return kValidationCancelled;

  ped.nTotal = ped.nFounders + ped.nNonFounders;
  ped.links.clear();
  ped.links.shrink_to_fit();
  order = LinkOrder();

  progress.SetStage(80, 90, ped.nTotal, "Checking for errors");
  WriteError(ped, "|XError(s) list:");
  if (unknownProgeny) WriteError(ped, "There is at least one unknown ID in the progeny list.");
  if (!CheckFileRecords(ped, progress)) return kValidationCancelled;

  FillRecordsInReadingOrder(ped, ped.nTotal);
  ped.work.assign(static_cast<std::size_t>(ped.nTotal) + 1, kUnknownParent);
  if (!CheckAddedParents(ped, progress)) return kValidationCancelled;
  for (Rec& r : ped.recs) r.mark = 0;

  if (ped.report.Count() == 1) {
    RecIndex named = kUnknownParent;
    switch (RecodePedigree(ped, progress, &named)) {
      case kRecodingCancelled:
        return kValidationCancelled;
      case kFullSibFDisagree:
        WriteError(ped, "Predefined inbreeding coefficients of at least one full sib group are not the same.");
        break;
      case kCycle:
        WriteError(ped, IdLine(ped.rec(named).id, "appearing in its ancestors list (Cycling pedigree)."));
        for (const std::string& line : CycleLines(ped, FindCycle(ped, named)))
          WriteError(ped, line);
        break;
      default:
        break;
    }
    if (ped.report.Count() == 1) {
      ped.report.Clear();
      ped.copyFile.Reset();
      return kValid;
    }
  }
  WriteError(ped, "");
  WriteError(ped, "Correct the pedigree file.");
  return kValidationErrors;
}

}  // namespace kinvar
