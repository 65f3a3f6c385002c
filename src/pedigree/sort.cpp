#include "pedigree/sort.h"

#include <vector>

#include "pedigree/memory.h"

namespace kinvar {

namespace {

// The first 15 bytes of an ID as two integers whose unsigned order is the
// order of CompareIds: each byte has its top bit flipped, so that signed
// order becomes unsigned order (the terminator becomes 0x80, bytes after it
// stay 0). The lowest byte is 1 when the ID has 15 bytes or more, so that
// two equal keys of such IDs must still compare the rest; shorter IDs with
// equal keys are equal. A sort on these keys makes exactly the comparisons
// and decisions of a sort on the IDs, without reaching into the records.
struct IdKey {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
};

constexpr int kKeyBytes = 15;

IdKey KeyOf(const char* id) {
  unsigned char bytes[16] = {};
  int n = 0;
  for (; n < kKeyBytes; ++n) {
    const auto c = static_cast<unsigned char>(id[n]);
    bytes[n] = static_cast<unsigned char>(c ^ 0x80u);
    if (c == 0) break;
  }
  bytes[15] = n == kKeyBytes ? 1 : 0;
  IdKey key;
  for (int i = 0; i < 8; ++i) {
    key.high = key.high << 8 | bytes[i];
    key.low = key.low << 8 | bytes[i + 8];
  }
  return key;
}

// CompareIds of the two IDs whose keys these are.
int CompareKeyed(const IdKey& x, const char* a, const IdKey& y, const char* b) {
  if (x.high != y.high) return x.high < y.high ? -1 : 1;
  if (x.low != y.low) return x.low < y.low ? -1 : 1;
  return (x.low & 1) != 0 ? CompareIds(a + kKeyBytes, b + kKeyBytes) : 0;
}

struct KeyedRec {
  IdKey key;
  RecIndex index = kUnknownParent;
};

struct CodedRec {
  std::int32_t code = 0;
  RecIndex index = kUnknownParent;
};

template <class Key>
void SortIndexes(std::vector<RecIndex>& v, std::ptrdiff_t l, std::ptrdiff_t r, Key key) {
  QuickSort(v.data(), l, r, [&](RecIndex a, RecIndex b) { return key(a) < key(b); });
}

}  // namespace

// The sorts below copy the key of each entry next to it, sort the copies
// with the same comparisons and write the indexes back. Shifting the range
// to start at 0 does not change a single step of QuickSort.
void SortByCode(Pedigree& ped, std::ptrdiff_t r) {
  if (r < 1) return;
  std::vector<CodedRec> coded;
  ReserveLarge(coded, static_cast<std::size_t>(r) + 1);
  coded.resize(static_cast<std::size_t>(r) + 1);
  for (std::size_t i = 0; i < coded.size(); ++i) {
    const RecIndex index = ped.records[i];
    coded[i] = {ped.rec(index).code, index};
  }
  QuickSort(coded.data(), 0, r, [](const CodedRec& a, const CodedRec& b) { return a.code < b.code; });
  for (std::size_t i = 0; i < coded.size(); ++i) ped.records[i] = coded[i].index;
}

void SortById(Pedigree& ped, std::ptrdiff_t l, std::ptrdiff_t r, int threads) {
  if (r <= l) return;
  std::vector<KeyedRec> keyed;
  ReserveLarge(keyed, static_cast<std::size_t>(r - l) + 1);
  keyed.resize(static_cast<std::size_t>(r - l) + 1);
  RecIndex* const records = ped.records.data() + l;
  for (std::size_t i = 0; i < keyed.size(); ++i) keyed[i] = {KeyOf(ped.rec(records[i]).id), records[i]};
  ParallelQuickSort(keyed.data(), 0, r - l, [&](const KeyedRec& a, const KeyedRec& b) {
    return CompareKeyed(a.key, ped.rec(a.index).id, b.key, ped.rec(b.index).id) < 0;
  }, threads);
  for (std::size_t i = 0; i < keyed.size(); ++i) records[i] = keyed[i].index;
}

std::vector<LinkKey> MakeLinkKeys(const Pedigree& ped) {
  std::vector<LinkKey> keys;
  ReserveLarge(keys, ped.links.size());
  keys.resize(ped.links.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const IdKey sire = KeyOf(ped.links[i].sire);
    const IdKey dam = KeyOf(ped.links[i].dam);
    keys[i] = {sire.high, sire.low, dam.high, dam.low, static_cast<std::int32_t>(i)};
  }
  return keys;
}

namespace {

int CompareSires(const Pedigree& ped, const LinkKey& a, const LinkKey& b) {
  return CompareKeyed({a.sireHigh, a.sireLow}, ped.links[static_cast<std::size_t>(a.link)].sire,
                      {b.sireHigh, b.sireLow}, ped.links[static_cast<std::size_t>(b.link)].sire);
}

int CompareDams(const Pedigree& ped, const LinkKey& a, const LinkKey& b) {
  return CompareKeyed({a.damHigh, a.damLow}, ped.links[static_cast<std::size_t>(a.link)].dam,
                      {b.damHigh, b.damLow}, ped.links[static_cast<std::size_t>(b.link)].dam);
}

void CopyLinks(const std::vector<LinkKey>& keys, std::vector<std::int32_t>& order) {
  order.resize(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].link;
}

}  // namespace

void SortLinksByDam(const Pedigree& ped, std::vector<LinkKey>& keys, std::vector<std::int32_t>& order,
                    int threads) {
  ParallelQuickSort(keys.data(), 0, static_cast<std::ptrdiff_t>(keys.size()) - 1,
                    [&](const LinkKey& a, const LinkKey& b) { return CompareDams(ped, a, b) < 0; }, threads);
  CopyLinks(keys, order);
}

void SortLinksBySireDam(const Pedigree& ped, std::vector<LinkKey>& keys,
                        std::vector<std::int32_t>& order, int threads) {
  ParallelQuickSort(keys.data(), 0, static_cast<std::ptrdiff_t>(keys.size()) - 1,
                    [&](const LinkKey& a, const LinkKey& b) {
                      const int bySire = CompareSires(ped, a, b);
                      return bySire < 0 || (bySire == 0 && CompareDams(ped, a, b) < 0);
                    },
                    threads);
  CopyLinks(keys, order);
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
