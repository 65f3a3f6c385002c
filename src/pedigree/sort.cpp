#include "pedigree/sort.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <vector>

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
  // A plain if, so that the byte-wise key is compiled (and checked) on
  // every machine, not only where words are stored big end first.
  if (std::endian::native == std::endian::little) {
    return KeyOfWords(id);
  } else {
    return KeyOfBytes(id);
  }
}

namespace {

constexpr int kCodeBits = 6;
constexpr int kCodesPerWord = 10;

// Whether any ID of the load is too long for a plain key to hold whole.
bool AnyLongId(const Pedigree& ped, int threads) {
  const auto isLong = [](const char* id) { return id[kKeyBytes - 1] != 0; };
  std::atomic<bool> found = false;
  RunInParts(ped.recs.size(), threads, [&](std::size_t from, std::size_t to) {
    bool any = false;
    for (std::size_t i = std::max<std::size_t>(from, 1); i < to; ++i) any = any || isLong(ped.recs[i].id);
    if (any) found = true;
  });
  if (found) return true;
  RunInParts(ped.links.size(), threads, [&](std::size_t from, std::size_t to) {
    bool any = false;
    for (std::size_t i = from; i < to; ++i) any = any || isLong(ped.links[i].sire) || isLong(ped.links[i].dam);
    if (any) found = true;
  });
  return found;
}

}  // namespace

KeyCoder KeyCoder::For(const Pedigree& ped, int threads) {
  if (!AnyLongId(ped, threads)) {
    KeyCoder plain;
    plain.whole_ = true;
    return plain;
  }
  bool used[256] = {};
  const auto note = [&used](const char* id) {
    for (; *id != 0; ++id) used[static_cast<unsigned char>(*id)] = true;
  };
  for (std::size_t i = 1; i < ped.recs.size(); ++i) note(ped.recs[i].id);
  for (const ParentLink& link : ped.links) {
    note(link.sire);
    note(link.dam);
  }
  std::string alphabet;
  for (int b = 1; b < 256; ++b)
    if (used[b]) alphabet += static_cast<char>(b);
  return Packing(alphabet);
}

KeyCoder KeyCoder::Packing(std::string_view alphabet) {
  KeyCoder coder;
  bool used[128] = {};
  for (const char c : alphabet) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0 || b > 127) return {};
    used[b] = true;
  }
  std::uint8_t next = 1;
  for (int b = 1; b < 128; ++b) {
    if (!used[b]) continue;
    if (next >= (1 << kCodeBits)) return {};
    coder.code_[b] = next;
    coder.byte_[next] = static_cast<char>(b);
    ++next;
  }
  coder.packed_ = true;
  coder.whole_ = true;
  return coder;
}

IdKey KeyCoder::Of(const char (&id)[kMaxIdLength + 1]) const {
  if (!packed_) return KeyOf(id);
  std::uint64_t words[2] = {};
  int i = 0;
  for (; i < 2 * kCodesPerWord && id[i] != 0; ++i)
    words[i / kCodesPerWord] = words[i / kCodesPerWord] << kCodeBits | code_[static_cast<unsigned char>(id[i]) & 0x7F];
  // The terminator and what follows it are code 0.
  for (; i < 2 * kCodesPerWord; ++i) words[i / kCodesPerWord] <<= kCodeBits;
  // Four spare bits below the codes: the lowest, the mark of a key that
  // does not hold its whole ID, stays 0.
  return {words[0], words[1] << 4};
}

std::string KeyCoder::IdOf(const IdKey& key) const {
  std::string id;
  const std::uint64_t words[2] = {key.high, key.low >> 4};
  for (int i = 0; i < 2 * kCodesPerWord; ++i) {
    const int shift = kCodeBits * (kCodesPerWord - 1 - i % kCodesPerWord);
    const auto code = static_cast<unsigned>((words[i / kCodesPerWord] >> shift) & ((1U << kCodeBits) - 1));
    if (code == 0) break;
    id += byte_[code];
  }
  return id;
}

namespace {

// A key as one number, which compilers compare in two instructions
// without a branch.
__extension__ using WideKey = unsigned __int128;
WideKey Wide(const IdKey& key) { return static_cast<WideKey>(key.high) << 64 | key.low; }

// CompareIds of the two IDs whose keys these are.
int CompareKeyed(const IdKey& x, const char* a, const IdKey& y, const char* b) {
  return KeyOrder(x, y, [a] { return a; }, [b] { return b; });
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
  std::vector<CodedRec> coded(static_cast<std::size_t>(r) + 1);
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

std::vector<KeyedRec> SortByIdKeyed(Pedigree& ped, std::ptrdiff_t l, std::ptrdiff_t r, int threads,
                                    const KeyCoder& coder) {
  std::vector<KeyedRec> keyed;
  if (r < l) return keyed;
  keyed.resize(static_cast<std::size_t>(r - l) + 1);
  RecIndex* const records = ped.records.data() + l;
  for (std::size_t i = 0; i < keyed.size(); ++i) keyed[i] = {coder.Of(ped.rec(records[i]).id), records[i]};
  if (coder.whole()) {
    ParallelQuickSort(keyed.data(), 0, r - l, [](const KeyedRec& a, const KeyedRec& b) {
      return Wide(a.key) < Wide(b.key);
    }, threads);
  } else {
    ParallelQuickSort(keyed.data(), 0, r - l, [&](const KeyedRec& a, const KeyedRec& b) {
      return CompareKeyed(a.key, ped.rec(a.index).id, b.key, ped.rec(b.index).id) < 0;
    }, threads);
  }
  for (std::size_t i = 0; i < keyed.size(); ++i) records[i] = keyed[i].index;
  return keyed;
}

std::vector<LinkKey> MakeLinkKeys(const Pedigree& ped, const KeyCoder& coder) {
  std::vector<LinkKey> keys(ped.links.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (ped.links[i].rec != static_cast<RecIndex>(i + 1)) throw std::logic_error("A link out of its record's place.");
    const IdKey dam = coder.Of(ped.links[i].dam);
    keys[i] = {dam.high, dam.low, 0, static_cast<std::int32_t>(i)};
  }
  return keys;
}

namespace {

const ParentLink& LinkOf(const Pedigree& ped, const LinkKey& key) {
  return ped.links[static_cast<std::size_t>(key.link)];
}

// The links' texts are read only for a tie of long IDs. Both sorts find
// their swaps in blocks, with comparisons that do not branch on their
// outcome.
inline int DamOrder(const Pedigree& ped, const LinkKey& a, const LinkKey& b) {
  return KeyOrder(a.Parent(), b.Parent(), [&] { return LinkOf(ped, a).dam; }, [&] { return LinkOf(ped, b).dam; });
}

inline bool DamBefore(const Pedigree& ped, const LinkKey& a, const LinkKey& b) {
  return KeyBefore(a.Parent(), b.Parent(), [&] { return LinkOf(ped, a).dam; }, [&] { return LinkOf(ped, b).dam; });
}

inline bool SireDamBefore(const Pedigree& ped, const LinkKey& a, const LinkKey& b) {
  bool sameSire = false;
  const bool before = KeyBefore(a.Parent(), b.Parent(), [&] { return LinkOf(ped, a).sire; },
                                [&] { return LinkOf(ped, b).sire; }, sameSire);
  return before | (sameSire & (a.damRank < b.damRank));
}

void CopyLinks(const std::vector<LinkKey>& keys, std::vector<std::int32_t>& order) {
  order.resize(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].link;
}

}  // namespace

// Keys that hold their whole IDs compare as numbers alone.
void SortLinksByDam(const Pedigree& ped, std::vector<LinkKey>& keys, int threads, const KeyCoder& coder) {
  const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(keys.size()) - 1;
  if (coder.whole()) {
    ParallelQuickSort(keys.data(), 0, r, [](const LinkKey& a, const LinkKey& b) {
      return Wide(a.Parent()) < Wide(b.Parent());
    }, threads);
  } else {
    ParallelQuickSort(keys.data(), 0, r, [&](const LinkKey& a, const LinkKey& b) { return DamBefore(ped, a, b); },
                      threads);
  }
}

// The rank of a dam ID is the number of distinct dam IDs below it: equal
// ranks are equal IDs, and ranks order as the IDs do.
void RankDams(const Pedigree& ped, std::vector<LinkKey>& keys) {
  std::uint32_t rank = 0;
  if (!keys.empty()) keys[0].damRank = 0;
  for (std::size_t i = 1; i < keys.size(); ++i) {
    rank += static_cast<std::uint32_t>(DamOrder(ped, keys[i - 1], keys[i]) != 0);
    keys[i].damRank = rank;
  }
}

void RekeyBySire(const Pedigree& ped, std::vector<LinkKey>& keys, const KeyCoder& coder, int threads) {
  RankDams(ped, keys);
  RekeyBySire(ped, keys, coder, threads, [](const LinkKey&) {});
}

void SortLinksBySireDam(const Pedigree& ped, std::vector<LinkKey>& keys, int threads, const KeyCoder& coder) {
  const std::ptrdiff_t r = static_cast<std::ptrdiff_t>(keys.size()) - 1;
  if (coder.whole()) {
    ParallelQuickSort(keys.data(), 0, r, [](const LinkKey& a, const LinkKey& b) {
      const auto x = Wide(a.Parent());
      const auto y = Wide(b.Parent());
      return (x < y) | ((x == y) & (a.damRank < b.damRank));
    }, threads);
  } else {
    ParallelQuickSort(keys.data(), 0, r,
                      [&](const LinkKey& a, const LinkKey& b) { return SireDamBefore(ped, a, b); }, threads);
  }
}

void SortLinksByDam(const Pedigree& ped, std::vector<LinkKey>& keys, std::vector<std::int32_t>& order,
                    int threads, const KeyCoder& coder) {
  SortLinksByDam(ped, keys, threads, coder);
  CopyLinks(keys, order);
}

void SortLinksBySireDam(const Pedigree& ped, std::vector<LinkKey>& keys,
                        std::vector<std::int32_t>& order, int threads, const KeyCoder& coder) {
  SortLinksBySireDam(ped, keys, threads, coder);
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
