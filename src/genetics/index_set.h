// A set of indexes 0..size-1 for walking the ancestors of some individuals
// in either direction: one bit per index, one summary bit per word of 64.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace kinvar {

// Walking it skips empty stretches fast, so a sparse set costs what its
// members cost, not the range.
class IndexSet {
 public:
  explicit IndexSet(std::size_t size)
      : words_(size / 64 + 1, 0), summary_(words_.size() / 64 + 1, 0) {}

  void Insert(std::int32_t k) {
    const auto w = static_cast<std::size_t>(k) / 64;
    words_[w] |= Bit(static_cast<std::size_t>(k));
    summary_[w / 64] |= Bit(w);
  }

  // Calls visit(k) for every member from the largest, which must be at most
  // `from`, down to the smallest, emptying the set. visit may insert
  // members below k; they are visited in turn.
  template <class Visit>
  void DrainDownwards(std::int32_t from, Visit visit) {
    std::size_t w = static_cast<std::size_t>(from) / 64;
    for (;;) {
      for (std::uint64_t bits = words_[w]; bits != 0;) {
        const int b = 63 - std::countl_zero(bits);
        visit(Index(w, b));
        bits = words_[w] & (Bit(static_cast<std::size_t>(b)) - 1);
      }
      words_[w] = 0;
      summary_[w / 64] &= ~Bit(w);
      if (w == 0) return;
      w = PreviousWord(w - 1);
      if (w == kNone) return;
    }
  }

  // Calls visit(k) for every member in ascending order, emptying the set.
  template <class Visit>
  void Drain(Visit visit) {
    for (std::size_t s = 0; s < summary_.size(); ++s) {
      for (std::uint64_t used = summary_[s]; used != 0; used &= used - 1) {
        const std::size_t w = s * 64 + static_cast<std::size_t>(std::countr_zero(used));
        for (std::uint64_t bits = words_[w]; bits != 0; bits &= bits - 1) {
          visit(Index(w, std::countr_zero(bits)));
        }
        words_[w] = 0;
      }
      summary_[s] = 0;
    }
  }

  // Erases every member <= k.
  void EraseUpTo(std::int32_t k) {
    const auto w = static_cast<std::size_t>(k) / 64;
    std::fill(words_.begin(), words_.begin() + static_cast<std::ptrdiff_t>(w), 0);
    words_[w] &= ~UpTo(static_cast<std::size_t>(k) % 64);
    std::fill(summary_.begin(), summary_.begin() + static_cast<std::ptrdiff_t>(w / 64), 0);
    summary_[w / 64] &= ~UpTo(w % 64);
    if (words_[w] != 0) summary_[w / 64] |= Bit(w);
  }

  // The largest member <= k, or -1.
  std::int32_t AtMost(std::int32_t k) const {
    if (k < 0) return -1;
    std::size_t w = static_cast<std::size_t>(k) / 64;
    const std::uint64_t below = words_[w] & UpTo(static_cast<std::size_t>(k) % 64);
    if (below != 0) return Index(w, 63 - std::countl_zero(below));
    if (w == 0) return -1;
    w = PreviousWord(w - 1);
    return w == kNone ? -1 : Index(w, 63 - std::countl_zero(words_[w]));
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static std::uint64_t Bit(std::size_t i) { return std::uint64_t{1} << (i % 64); }
  // Bits 0..b.
  static std::uint64_t UpTo(std::size_t b) { return b == 63 ? ~std::uint64_t{0} : (Bit(b) << 1) - 1; }
  static std::int32_t Index(std::size_t w, int bit) { return static_cast<std::int32_t>(w * 64) + bit; }

  // The last non-empty word at or before w.
  std::size_t PreviousWord(std::size_t w) const {
    std::size_t s = w / 64;
    std::uint64_t bits = summary_[s] & UpTo(w % 64);
    while (bits == 0) {
      if (s == 0) return kNone;
      bits = summary_[--s];
    }
    return s * 64 + static_cast<std::size_t>(63 - std::countl_zero(bits));
  }

  std::vector<std::uint64_t> words_;
  std::vector<std::uint64_t> summary_;
};

}  // namespace kinvar
