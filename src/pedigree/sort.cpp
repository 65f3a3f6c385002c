#include "pedigree/sort.h"

namespace kinvar {

namespace {

template <class Key>
void SortIndexes(std::vector<RecIndex>& v, std::ptrdiff_t l, std::ptrdiff_t r, Key key) {
  QuickSort(v.data(), l, r, [&](RecIndex a, RecIndex b) { return key(a) < key(b); });
}

}  // namespace

void SortByCode(Pedigree& ped, std::ptrdiff_t r) {
  SortIndexes(ped.records, 0, r, [&](RecIndex i) { return ped.rec(i).code; });
}

void SortById(Pedigree& ped, std::ptrdiff_t l, std::ptrdiff_t r) {
  QuickSort(ped.records.data(), l, r, [&](RecIndex a, RecIndex b) {
    return CompareIds(ped.rec(a).id, ped.rec(b).id) < 0;
  });
}

void SortFamiliesBySire(Pedigree& ped, std::ptrdiff_t r) {
  SortIndexes(ped.familyOrder, 0, r, [&](RecIndex i) { return ped.rec(ped.rec(i).sire).code; });
}

void SortFamiliesByDam(Pedigree& ped, std::ptrdiff_t r) {
  SortIndexes(ped.familyOrder, 0, r, [&](RecIndex i) { return ped.rec(ped.rec(i).dam).code; });
}

void SortWorkByCode(Pedigree& ped, std::ptrdiff_t r) {
  SortIndexes(ped.work, 0, r, [&](RecIndex i) { return ped.rec(i).code; });
}

void SortWorkByScratch(Pedigree& ped, std::ptrdiff_t r) {
  QuickSort(ped.work.data(), 0, r, [&](RecIndex a, RecIndex b) {
    return ped.rec(a).scratch > ped.rec(b).scratch;
  });
}

}  // namespace kinvar
