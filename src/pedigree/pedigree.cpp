#include "pedigree/pedigree.h"

#include <algorithm>
#include <thread>

#include "pedigree/sort.h"

namespace kinvar {

Rec Pedigree::UnknownParentRec() {
  Rec r;
  r.id[0] = '0';
  r.code = 0;
  r.generation = -1;
  return r;
}

void ResetPedigree(Pedigree& ped) {
  ped.report.Release();
  ped.writtenTables.Clear();
  ped.recs.assign(1, Pedigree::UnknownParentRec());
  ped.recs.shrink_to_fit();
  ped.nRead = ped.nTotal = ped.nInbreds = ped.nEvaluated = 0;
  ped.nInbredsEvaluated = ped.nFounders = ped.nNonFounders = 0;
  ped.nFullSibGroups = ped.nFullSibMembers = 0;
  ped.maxFullSibSize = ped.minFullSibSize = 0;
  ped.orderState = 2;
  ped.nGroups = 0;
  ped.groups.clear();
  ped.groupOrder.clear();
  ped.fColumn = ped.groupColumn = ped.sexColumn = ped.birthColumn = -1;
  ped.inbreedingComputed = false;
  ped.d.clear();
  ped.d.shrink_to_fit();
  ped.fDouble = {};
  ped.dDouble = {};
  ped.inbreedingPrecision = 0;
  for (auto* v : {&ped.work, &ped.records, &ped.familyOrder, &ped.fullSibs}) {
    v->clear();
    v->shrink_to_fit();
  }
  ped.links.clear();
  ped.links.shrink_to_fit();
  ped.lines.clear();
  ped.lines.shrink_to_fit();
  ped.geneticGroups.sireGroup = {};
  ped.geneticGroups.damGroup = {};
  ped.geneticGroups.shares = {};
  ped.generationCount.assign(kInitialGenerationTableSize, 0);
  ped.generationFill.assign(kInitialGenerationTableSize, 0);
}

int WorkerCount(int setting) {
  const int cores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  return setting > 0 ? std::min(setting, cores) : cores;
}

bool IsUnknownId(std::string_view id) {
  if (id == "UNKNOWN") return true;
  return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) { return c == '0'; });
}

std::string UpperCased(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

RecIndex FindById(const Pedigree& ped, std::int32_t n, const char* id) {
  std::int32_t lo = 0;
  std::int32_t hi = n - 1;
  while (lo <= hi) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    const RecIndex candidate = ped.records[static_cast<std::size_t>(mid)];
    const int c = CompareIds(ped.rec(candidate).id, id);
    if (c == 0) return candidate;
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return kUnknownParent;
}

void EnsureCodeOrder(Pedigree& ped) {
  if (ped.orderState == 1) return;
  SortByCode(ped, static_cast<std::ptrdiff_t>(ped.records.size()) - 1);
  ped.orderState = 1;
}

}  // namespace kinvar
