#include "pedigree/sort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "pedigree/memory.h"

namespace kinvar {

namespace {

// The key byte by byte, for machines that store words big end first.
IdKey KeyOfBytes(const char* id) {
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

// Position of the first zero byte of a little-endian word, 8 when none:
// the lowest byte flagged by the borrow trick is always a true zero.
int FirstZeroByte(std::uint64_t w) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  const std::uint64_t flags = (w - kOnes) & ~w & (kOnes << 7);
  return flags == 0 ? 8 : std::countr_zero(flags) / 8;
}

// The same key from two word loads: flip the top bit of every byte up to
// the terminator (the terminator's 0 becomes 0x80) and clear the rest.
IdKey KeyOfWords(const char (&id)[kMaxIdLength + 1]) {
  std::uint64_t w[2];
  std::memcpy(w, id, sizeof w);
  int n = FirstZeroByte(w[0]);
  if (n == 8) n += FirstZeroByte(w[1]);
  const int kept = std::min(n, kKeyBytes - 1) + 1;  // bytes up to and with the terminator
  constexpr std::uint64_t kTops = 0x8080808080808080u;
  const auto keep = [](int bytes) { return bytes >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * bytes)) - 1; };
  std::uint64_t low = (w[1] ^ kTops) & keep(kept - 8 > 0 ? kept - 8 : 0);
  if (n >= kKeyBytes) low = (low & keep(7)) | (std::uint64_t{1} << 56);
  return {__builtin_bswap64((w[0] ^ kTops) & keep(kept)), __builtin_bswap64(low)};
}

}  // namespace

IdKey KeyOf(const char (&id)[kMaxIdLength + 1]) {
  if constexpr (std::endian::native == std::endian::little) {
    return KeyOfWords(id);
  } else {
    return KeyOfBytes(id);
  }
}

namespace {

// CompareIds of the two IDs whose keys these are.
int CompareKeyed(const IdKey& x, const char* a, const IdKey& y, const char* b) {
  return CompareKeys(x, y, [a] { return a; }, [b] { return b; });
}

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
void SortByCode(Pedigree& ped, std::ptrdiff_t r, int threads) {
  if (r < 1) return;
  std::vector<CodedRec> coded;
  ReserveLarge(coded, static_cast<std::size_t>(r) + 1);
  coded.resize(static_cast<std::size_t>(r) + 1);
  for (std::size_t i = 0; i < coded.size(); ++i) {
    const RecIndex index = ped.records[i];
    coded[i] = {ped.rec(index).code, index};
  }
  ParallelQuickSort(coded.data(), 0, r, [](const CodedRec& a, const CodedRec& b) { return a.code < b.code; },
                    threads);
  for (std::size_t i = 0; i < coded.size(); ++i) ped.records[i] = coded[i].index;
}

void SortById(Pedigree& ped, std::ptrdiff_t l, std::ptrdiff_t r, int threads) {
  if (r > l) SortByIdKeyed(ped, l, r, threads);
}

std::vector<KeyedRec> SortByIdKeyed(Pedigree& ped, std::ptrdiff_t l, std::ptrdiff_t r, int threads) {
  std::vector<KeyedRec> keyed;
  if (r < l) return keyed;
  ReserveLarge(keyed, static_cast<std::size_t>(r - l) + 1);
  keyed.resize(static_cast<std::size_t>(r - l) + 1);
  RecIndex* const records = ped.records.data() + l;
  for (std::size_t i = 0; i < keyed.size(); ++i) keyed[i] = {KeyOf(ped.rec(records[i]).id), records[i]};
  ParallelQuickSort(keyed.data(), 0, r - l, [&](const KeyedRec& a, const KeyedRec& b) {
    return CompareKeyed(a.key, ped.rec(a.index).id, b.key, ped.rec(b.index).id) < 0;
  }, threads);
  for (std::size_t i = 0; i < keyed.size(); ++i) records[i] = keyed[i].index;
  return keyed;
}

std::vector<LinkKey> MakeLinkKeys(const Pedigree& ped) {
  std::vector<LinkKey> keys;
  ReserveLarge(keys, ped.links.size());
  keys.resize(ped.links.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const IdKey sire = KeyOf(ped.links[i].sire);
    const IdKey dam = KeyOf(ped.links[i].dam);
    keys[i] = {sire.high, sire.low, dam.high, dam.low, static_cast<std::int32_t>(i), ped.links[i].rec};
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

void SortLinksByDam(const Pedigree& ped, std::vector<LinkKey>& keys, int threads) {
  ParallelQuickSort(keys.data(), 0, static_cast<std::ptrdiff_t>(keys.size()) - 1,
                    [&](const LinkKey& a, const LinkKey& b) { return CompareDams(ped, a, b) < 0; }, threads);
}

void SortLinksBySireDam(const Pedigree& ped, std::vector<LinkKey>& keys, int threads) {
  ParallelQuickSort(keys.data(), 0, static_cast<std::ptrdiff_t>(keys.size()) - 1,
                    [&](const LinkKey& a, const LinkKey& b) {
                      const int bySire = CompareSires(ped, a, b);
                      return bySire < 0 || (bySire == 0 && CompareDams(ped, a, b) < 0);
                    },
                    threads);
}

void SortLinksByDam(const Pedigree& ped, std::vector<LinkKey>& keys, std::vector<std::int32_t>& order,
                    int threads) {
  SortLinksByDam(ped, keys, threads);
  CopyLinks(keys, order);
}

void SortLinksBySireDam(const Pedigree& ped, std::vector<LinkKey>& keys,
                        std::vector<std::int32_t>& order, int threads) {
  SortLinksBySireDam(ped, keys, threads);
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
