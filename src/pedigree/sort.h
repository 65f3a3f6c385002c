// The one sorting algorithm of the program and its instances.
//
// It is a quicksort with median-of-three partitioning, an explicit stack and
// insertion sort below eight elements. It is not stable, and the order it
// leaves equal keys in is visible: full sibs share one code just before the
// last sort of recoding and get their final codes in the order this algorithm
// leaves them. Do not replace it with std::sort.
#pragma once

#include <cstddef>
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

// The swaps of the partitioning loop below, found a block at a time. The
// loop swaps the k-th element from the left that is not below the pivot
// with the k-th element from the right that is not above it, for as long
// as the first stands before the second. While the two blocks being looked
// at lie apart, every such pair qualifies; so their elements are only
// compared (without a branch on the outcome, which random keys would
// mispredict half the time), then swapped pair by pair in the loop's own
// order. Leaves i and j at the last pair swapped, as the loop would have
// them then: the loop carries on from there and makes exactly the swaps it
// would have made alone.
template <class T, class Less>
void SwapInBlocks(T* a, std::ptrdiff_t& i, std::ptrdiff_t& j, const T& pivot, Less& less) {
  constexpr std::ptrdiff_t kBlock = 64;
  std::uint8_t fromLeft[kBlock];
  std::uint8_t fromRight[kBlock];
  int leftCount = 0, leftUsed = 0, rightCount = 0, rightUsed = 0;
  std::ptrdiff_t left = i + 1;   // the left block's first element
  std::ptrdiff_t right = j - 1;  // the right block's last element
  while (right - left + 1 >= 2 * kBlock) {
    if (leftUsed == leftCount) {
      leftCount = leftUsed = 0;
      for (int k = 0; k < kBlock; ++k) {
        fromLeft[leftCount] = static_cast<std::uint8_t>(k);
        leftCount += !less(a[left + k], pivot);
      }
    }
    if (rightUsed == rightCount) {
      rightCount = rightUsed = 0;
      for (int k = 0; k < kBlock; ++k) {
        fromRight[rightCount] = static_cast<std::uint8_t>(k);
        rightCount += !less(pivot, a[right - k]);
      }
    }
    const int pairs = std::min(leftCount - leftUsed, rightCount - rightUsed);
    for (int m = 0; m < pairs; ++m) {
      std::swap(a[left + fromLeft[leftUsed + m]], a[right - fromRight[rightUsed + m]]);
    }
    if (pairs > 0) {
      i = left + fromLeft[leftUsed + pairs - 1];
      j = right - fromRight[rightUsed + pairs - 1];
    }
    leftUsed += pairs;
    rightUsed += pairs;
    if (leftUsed == leftCount) left += kBlock;
    if (rightUsed == rightCount) right -= kBlock;
  }
}

// One partitioning step of QuickSort on a[l..r], r - l >= 7: afterwards
// a[l..j-1] <= a[j] <= a[i..r], and the two parts are sorted on their own.
// Returns {j, i}. `kBlocks` chooses how the swaps are found, never which.
template <bool kBlocks = true, class T, class Less>
std::pair<std::ptrdiff_t, std::ptrdiff_t> Partition(T* a, std::ptrdiff_t l, std::ptrdiff_t r, Less& less) {
  const std::ptrdiff_t k = (l + r) / 2;
  std::swap(a[k], a[l + 1]);
  if (less(a[r], a[l])) std::swap(a[l], a[r]);
  if (less(a[r], a[l + 1])) std::swap(a[l + 1], a[r]);
  if (less(a[l + 1], a[l])) std::swap(a[l], a[l + 1]);
  std::ptrdiff_t i = l + 1;
  std::ptrdiff_t j = r;
  T pivot = a[l + 1];
  if constexpr (kBlocks) SwapInBlocks(a, i, j, pivot, less);
  for (;;) {
    do ++i; while (less(a[i], pivot));
    do --j; while (less(pivot, a[j]));
    if (j < i) break;
    std::swap(a[i], a[j]);
  }
  a[l + 1] = a[j];
  a[j] = pivot;
  return {j, i};
}

// Sorts a[l..r] (inclusive) in place; `less(x, y)` is the key comparison
// x < y of the instance. Ranges with r < l are left alone. Without
// `kBlocks` the swaps are found one comparison at a time, which serves a
// comparison that costs more than a mispredicted branch (one that mostly
// decides on its first key and reads a second one seldom).
template <bool kBlocks = true, class T, class Less>
void QuickSort(T* a, std::ptrdiff_t l, std::ptrdiff_t r, Less less) {
  constexpr int kStackSize = 500;  // enough for 2^250 elements
  std::ptrdiff_t stack[kStackSize];
  int used = 0;
  for (;;) {
    if (r - l < 7) {
      for (std::ptrdiff_t j = l + 1; j <= r; ++j) {
        T v = a[j];
        std::ptrdiff_t i = j - 1;
        for (; i >= l; --i) {
          if (!less(v, a[i])) break;  // stop at the first element <= v
          a[i + 1] = a[i];
        }
        a[i + 1] = v;
      }
      if (used == 0) return;
      r = stack[--used];
      l = stack[--used];
      continue;
    }
    const auto [j, i] = Partition<kBlocks>(a, l, r, less);
    // Two entries per pending range; the shorter part is sorted first, so
    // the depth stays near twice the base-2 logarithm of the length.
    if (r - i + 1 >= j - l) {
      stack[used++] = i;
      stack[used++] = r;
      r = j - 1;
    } else {
      stack[used++] = l;
      stack[used++] = j - 1;
      l = i;
    }
  }
}

// QuickSort on up to `threads` threads, leaving exactly the order QuickSort
// leaves: every range it partitions is sorted without looking outside it,
// so the parts of a partition may go to any thread in any order. A thread
// splits a range worth sharing, offers one part to the others and goes on
// with the other, so that a pivot far from the middle leaves no thread idle.
// `less` must be safe to call from several threads at once.
template <bool kBlocks = true, class T, class Less>
void ParallelQuickSort(T* a, std::ptrdiff_t l, std::ptrdiff_t r, Less less, int threads) {
  constexpr std::ptrdiff_t kWorthAThread = 1 << 14;
  if (threads <= 1 || r - l < kWorthAThread) {
    QuickSort<kBlocks>(a, l, r, less);
    return;
  }
  std::mutex mutex;
  std::condition_variable offered;
  std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> pending{{l, r}};
  int splitting = 0;  // threads that may still offer parts
  const auto work = [&] {
    for (;;) {
      std::pair<std::ptrdiff_t, std::ptrdiff_t> range;
      {
        std::unique_lock lock(mutex);
        offered.wait(lock, [&] { return !pending.empty() || splitting == 0; });
        if (pending.empty()) return;
        range = pending.back();
        pending.pop_back();
        ++splitting;
      }
      auto [from, to] = range;
      while (to - from >= kWorthAThread) {
        const auto [j, i] = Partition<kBlocks>(a, from, to, less);
        {
          const std::lock_guard lock(mutex);
          pending.emplace_back(i, to);
        }
        offered.notify_one();
        to = j - 1;
      }
      {
        const std::lock_guard lock(mutex);
        --splitting;
      }
      offered.notify_all();
      QuickSort<kBlocks>(a, from, to, less);
    }
  };
  std::vector<std::jthread> helpers;
  for (int t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
}

// work(from, to) on parts of [0, n), one a thread; one part when n is
// too small to be worth a thread.
template <class Work>
void RunInParts(std::size_t n, int threads, Work work) {
  constexpr std::size_t kWorthAThread = std::size_t{1} << 16;
  const std::size_t parts = n < kWorthAThread ? 1 : static_cast<std::size_t>(std::max(1, threads));
  const std::size_t step = (n + parts - 1) / parts;
  std::vector<std::jthread> helpers;
  for (std::size_t from = step; from < n; from += step) helpers.emplace_back(work, from, std::min(n, from + step));
  work(0, std::min(n, step));
}

// records[0..r] by code.
void SortByCode(Pedigree& ped, std::ptrdiff_t r, int threads = 1);

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
// Reads the whole 16 first bytes of an ID buffer.
IdKey KeyOf(const char (&id)[kMaxIdLength + 1]);
// IsUnknownId of the ID whose key this is; `text()` gives the ID itself and
// is called only for IDs of 15 bytes or more.
template <class Text>
bool IsUnknownKey(const IdKey& key, Text text) {
  if ((key.low & 1) != 0) return IsUnknownId(text());
  char id[kKeyBytes + 1] = {};
  for (int i = 0; i < kKeyBytes; ++i) {
    const std::uint64_t word = i < 8 ? key.high : key.low;
    id[i] = static_cast<char>(((word >> (8 * (7 - i % 8))) & 0xFF) ^ 0x80);
    if (id[i] == 0) break;
  }
  return IsUnknownId(id);
}
// How the IDs of one load become keys. Plain, as above. Packed, where some
// ID of the load has 15 bytes or more and all its IDs are spelled with at
// most 63 distinct bytes from 1 to 127 (herd-book numbers with a long common
// prefix, such as DEU0000000123456789): each byte becomes a 6-bit code in
// the order of its value, so that the key holds the whole ID (20 x 6 bits)
// and a sort never reads the text. The lowest bit of a packed key is 0:
// equal keys are equal IDs, and CompareKeys needs no other change. Keys of
// one coder compare only with keys of the same coder.
class KeyCoder {
 public:
  KeyCoder() = default;  // plain
  // The coder for the records read and the parent IDs of the links.
  static KeyCoder For(const Pedigree& ped, int threads = 1);
  // The coder that packs the bytes of `alphabet` (all in 1..127, at most
  // 63 of them, in any order); plain when they do not fit.
  static KeyCoder Packing(std::string_view alphabet);
  IdKey Of(const char (&id)[kMaxIdLength + 1]) const;
  bool packed() const { return packed_; }
  // Whether every key of the load holds its whole ID, so that equal keys
  // are equal IDs and a sort never reads the text: packed, or no ID of 15
  // bytes or more. Unknown (false) for a coder not made by For.
  bool whole() const { return whole_; }
  // The ID of a packed key.
  std::string IdOf(const IdKey& key) const;

 private:
  std::uint8_t code_[128] = {};  // byte -> its code, 1..63; 0 for the terminator
  char byte_[64] = {};           // code -> its byte
  bool packed_ = false;
  bool whole_ = false;
};

template <class Text>
bool IsUnknownKey(const IdKey& key, Text text, const KeyCoder& coder) {
  return coder.packed() ? IsUnknownId(coder.IdOf(key)) : IsUnknownKey(key, text);
}

// CompareIds of the two IDs whose keys these are; `textX()` and `textY()`
// give the IDs and are called only when the first 15 bytes tie.
template <class TextX, class TextY>
int CompareKeys(const IdKey& x, const IdKey& y, TextX textX, TextY textY) {
  if (x.high != y.high) return x.high < y.high ? -1 : 1;
  if (x.low != y.low) return x.low < y.low ? -1 : 1;
  return (x.low & 1) != 0 ? CompareIds(textX() + kKeyBytes, textY() + kKeyBytes) : 0;
}

// CompareKeys without a branch on the outcome but for the rare tie of two
// keys that do not hold their whole IDs: sorts compare random keys, whose
// outcomes no branch predictor guesses.
template <class TextX, class TextY>
int KeyOrder(const IdKey& x, const IdKey& y, TextX textX, TextY textY) {
  const int high = static_cast<int>(x.high > y.high) - static_cast<int>(x.high < y.high);
  const int low = static_cast<int>(x.low > y.low) - static_cast<int>(x.low < y.low);
  if ((high | low) == 0 && (x.low & 1) != 0) [[unlikely]]
    return CompareIds(textX() + kKeyBytes, textY() + kKeyBytes);
  return high + static_cast<int>(high == 0) * low;
}

// Whether KeyOrder(x, y, ...) < 0, in fewer steps, for sorts that ask only
// which comes first; `same` tells whether the two IDs are one.
template <class TextX, class TextY>
bool KeyBefore(const IdKey& x, const IdKey& y, TextX textX, TextY textY, bool& same) {
  const bool highSame = x.high == y.high;
  const bool before = (x.high < y.high) | (highSame & (x.low < y.low));
  same = highSame & (x.low == y.low);
  if (same & ((x.low & 1) != 0)) [[unlikely]] {
    const int order = CompareIds(textX() + kKeyBytes, textY() + kKeyBytes);
    same = order == 0;
    return order < 0;
  }
  return before;
}

template <class TextX, class TextY>
bool KeyBefore(const IdKey& x, const IdKey& y, TextX textX, TextY textY) {
  bool same = false;
  return KeyBefore(x, y, textX, textY, same);
}

// A record with the key of its ID.
struct KeyedRec {
  IdKey key;
  RecIndex index = kUnknownParent;
};
// records[l..r] by ID.
void SortById(Pedigree& ped, std::ptrdiff_t l, std::ptrdiff_t r, int threads = 1);
// The same, also returning the records of records[l..r] with their keys in
// their new order.
std::vector<KeyedRec> SortByIdKeyed(Pedigree& ped, std::ptrdiff_t l, std::ptrdiff_t r, int threads = 1,
                                    const KeyCoder& coder = {});

// The parent links of validation as sort keys (see sort.cpp), so that the
// two link sorts never reach into the links but for IDs of 15 bytes or
// more. A key first holds its link's dam ID; after the sort by dam,
// RekeyBySire gives it the sire ID and the rank of the dam ID among the
// distinct dam IDs, whose order is theirs, so that the sort by sire and dam
// compares small numbers where it compared dam IDs. The sort by sire and dam
// starts from the order the sort by dam left. Each sort may write the link
// indexes, in their new order, to `order`.
struct LinkKey {
  std::uint64_t high = 0;   // the parent ID's key
  std::uint64_t low = 0;
  // After RankDams. Linking by merge, done with it, leaves there the record
  // of the sire for the writes that follow.
  std::uint32_t damRank = 0;
  std::int32_t link = 0;  // index into Pedigree::links
  IdKey Parent() const { return {high, low}; }
};
std::vector<LinkKey> MakeLinkKeys(const Pedigree& ped, const KeyCoder& coder = {});
// By dam ID.
void SortLinksByDam(const Pedigree& ped, std::vector<LinkKey>& keys, int threads = 1, const KeyCoder& coder = {});
// Keys sorted by dam ID get the ranks of their dam IDs.
void RankDams(const Pedigree& ped, std::vector<LinkKey>& keys);
// Keys sorted by dam ID, with their ranks, become keys by sire ID on
// `threads` threads; `each(key)` sees every key before, on the same thread.
template <class Each>
void RekeyBySire(const Pedigree& ped, std::vector<LinkKey>& keys, const KeyCoder& coder, int threads, Each each) {
  RunInParts(keys.size(), threads, [&](std::size_t from, std::size_t to) {
    constexpr std::size_t kAhead = 16;  // the links are reached out of order
    for (std::size_t i = from; i < to; ++i) {
      if (i + kAhead < to) __builtin_prefetch(&ped.links[static_cast<std::size_t>(keys[i + kAhead].link)]);
      LinkKey& key = keys[i];
      each(static_cast<const LinkKey&>(key));
      const IdKey sire = coder.Of(ped.links[static_cast<std::size_t>(key.link)].sire);
      key.high = sire.high;
      key.low = sire.low;
    }
  });
}
// RankDams, then RekeyBySire.
void RekeyBySire(const Pedigree& ped, std::vector<LinkKey>& keys, const KeyCoder& coder = {}, int threads = 1);
// By sire ID and, among equal sire IDs, by dam ID.
void SortLinksBySireDam(const Pedigree& ped, std::vector<LinkKey>& keys, int threads = 1,
                        const KeyCoder& coder = {});
void SortLinksByDam(const Pedigree& ped, std::vector<LinkKey>& keys, std::vector<std::int32_t>& order,
                    int threads = 1, const KeyCoder& coder = {});
void SortLinksBySireDam(const Pedigree& ped, std::vector<LinkKey>& keys,
                        std::vector<std::int32_t>& order, int threads = 1, const KeyCoder& coder = {});
// familyOrder[0..r] by the code of each record's sire / dam.
void SortFamiliesBySire(Pedigree& ped, std::ptrdiff_t r);
void SortFamiliesByDam(Pedigree& ped, std::ptrdiff_t r);
// work[0..r] by code.
void SortWorkByCode(Pedigree& ped, std::ptrdiff_t r);
// work[0..r] by scratch, descending.
void SortWorkByScratch(Pedigree& ped, std::ptrdiff_t r);

}  // namespace kinvar
