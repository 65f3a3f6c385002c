// Columns of A computed one after another, each from what the one before
// left: an entry is stepped again only when one of its inputs changed.
//
// The backward pass gives u = T'e_s (the shares of s in each ancestor) and
// v = D u; the forward pass gives a = T v. Each entry is a function of few
// others: u of an ancestor is the float sum of its progeny's halves, taken in
// descending index as the one-column pass adds them; a of an entry is its v
// plus half of each parent's a. So when the next column's s changes u only
// near the top, everything below keeps its bits, and so do the a values that
// depend only on it. In a line of full-sib matings that leaves a few entries
// per column, where the one-column passes step through every generation.
//
// Conventions of this header:
// - Indexes are those of a reduced pedigree: parents before progeny, 0 the
//   unknown parent (its a is always 0). A known sire and dam always differ.
// - D of an entry must be final before the first column whose grouping
//   parent descends from it, and stays so (the caller fills it lazily).
// - Every value is the one the one-column passes give, bit for bit.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <span>
#include <type_traits>
#include <vector>

#include "genetics/index_set.h"
#include "genetics/relationship.h"

namespace kinvar {

template <class T>
class ColumnChain {
 public:
  ColumnChain(const std::vector<KernelParents>& parents, const std::vector<T>& d)
      : parents_(parents), d_(d), u_(parents.size(), T(0)), v_(parents.size(), T(0)),
        a_(parents.size(), T(0)), valid_(parents.size(), 0), share_(parents), kin_(parents),
        pending_(parents.size()) {
    valid_[0] = 1;
  }

  // After this, At(k) = a(k, s) for every k among the mates and their
  // ancestors. Returns the entries stepped, for the benchmarks' counts.
  std::int64_t Solve(std::int32_t s, std::span<const std::int32_t> mates) {
    stepped_ = 0;
    Backward(s);
    Forward(mates);
    return stepped_;
  }

  T At(std::int32_t k) const { return a_[Slot(k)]; }

 private:
  static std::size_t Slot(std::int32_t k) { return static_cast<std::size_t>(k); }
  using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
  static bool Same(T x, T y) { return std::bit_cast<Bits>(x) == std::bit_cast<Bits>(y); }

  // Lists of progeny threaded through the progeny themselves: an entry is in
  // its sire's list by one link and in its dam's by the other. An entry is
  // linked when it becomes live and dropped lazily, when a walk over its
  // parent's list finds it no longer live; so a walk costs the entries that
  // are or were live since the last walk.
  class ProgenyLists {
   public:
    explicit ProgenyLists(const std::vector<KernelParents>& parents)
        : parents_(parents), head_(parents.size(), -1), next_(2 * parents.size(), -1),
          linked_(2 * parents.size(), 0) {}

    void Link(std::int32_t c) {
      const KernelParents p = parents_[Slot(c)];
      if (p.sire != 0) LinkTo(c, p.sire, 0);
      if (p.dam != 0) LinkTo(c, p.dam, 1);
    }

    // Calls keep(c) for every linked progeny of j; those for which it
    // returns false leave the list.
    template <class Keep>
    void Walk(std::int32_t j, Keep keep) {
      std::int32_t kept = -1;
      for (std::int32_t c = head_[Slot(j)]; c != -1;) {
        const std::size_t link = LinkOf(c, j);
        const std::int32_t next = next_[link];
        if (keep(c)) {
          next_[link] = kept;
          kept = c;
        } else {
          linked_[link] = 0;
        }
        c = next;
      }
      head_[Slot(j)] = kept;
    }

   private:
    std::size_t LinkOf(std::int32_t c, std::int32_t parent) const {
      return 2 * Slot(c) + (parents_[Slot(c)].sire == parent ? 0 : 1);
    }
    void LinkTo(std::int32_t c, std::int32_t parent, std::size_t side) {
      const std::size_t link = 2 * Slot(c) + side;
      if (linked_[link] != 0) return;
      linked_[link] = 1;
      next_[link] = head_[Slot(parent)];
      head_[Slot(parent)] = c;
    }

    const std::vector<KernelParents>& parents_;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> next_;
    std::vector<std::uint8_t> linked_;
  };

  // u of the entries whose progeny's u changed, from the top down; u of s
  // is 1, of any other entry the sum of its progeny's halves in descending
  // index, the order in which the one-column pass adds them.
  void Backward(std::int32_t s) {
    const std::int32_t from = std::max(s, previous_);
    pending_.Insert(s);
    if (previous_ > 0) pending_.Insert(previous_);
    pending_.DrainDownwards(from, [&](std::int32_t j) {
      ++stepped_;
      const T u = j == s ? T(1) : SumOfShares(j);
      if (Same(u, u_[Slot(j)])) return;
      if (u != T(0)) share_.Link(j);
      u_[Slot(j)] = u;
      const T v = u == T(0) ? T(0) : d_[Slot(j)] * u;
      if (!Same(v, v_[Slot(j)])) {
        v_[Slot(j)] = v;
        Invalidate(j);
      }
      const KernelParents p = parents_[Slot(j)];
      if (p.sire != 0) pending_.Insert(p.sire);
      if (p.dam != 0) pending_.Insert(p.dam);
    });
    previous_ = s;
  }

  T SumOfShares(std::int32_t j) {
    progeny_.clear();
    share_.Walk(j, [&](std::int32_t c) {
      if (u_[Slot(c)] == T(0)) return false;
      progeny_.push_back(c);
      return true;
    });
    std::sort(progeny_.begin(), progeny_.end(), std::greater<>());
    T sum = T(0);
    for (const std::int32_t c : progeny_) sum += T(0.5) * u_[Slot(c)];
    return sum;
  }

  // a of j and of every descendant computed from it no longer holds.
  void Invalidate(std::int32_t j) {
    if (valid_[Slot(j)] == 0) return;
    stack_.push_back(j);
    valid_[Slot(j)] = 0;
    while (!stack_.empty()) {
      const std::int32_t k = stack_.back();
      stack_.pop_back();
      kin_.Walk(k, [&](std::int32_t c) {
        if (valid_[Slot(c)] != 0) {
          valid_[Slot(c)] = 0;
          stack_.push_back(c);
        }
        return false;
      });
    }
  }

  // a of the mates and of their ancestors that are not valid, parents first.
  void Forward(std::span<const std::int32_t> mates) {
    std::int32_t top = 0;
    for (const std::int32_t m : mates) {
      if (valid_[Slot(m)] != 0) continue;
      pending_.Insert(m);
      top = std::max(top, m);
    }
    if (top == 0) return;
    order_.clear();
    pending_.DrainDownwards(top, [&](std::int32_t k) {
      order_.push_back(k);
      const KernelParents p = parents_[Slot(k)];
      if (valid_[Slot(p.sire)] == 0) pending_.Insert(p.sire);
      if (valid_[Slot(p.dam)] == 0) pending_.Insert(p.dam);
    });
    for (auto k = order_.rbegin(); k != order_.rend(); ++k) Step(*k);
  }

  void Step(std::int32_t k) {
    ++stepped_;
    const KernelParents p = parents_[Slot(k)];
    T x = v_[Slot(k)] + T(0.5) * a_[Slot(p.sire)];
    x = x + T(0.5) * a_[Slot(p.dam)];
    a_[Slot(k)] = x;
    valid_[Slot(k)] = 1;
    kin_.Link(k);
  }

  const std::vector<KernelParents>& parents_;
  const std::vector<T>& d_;
  std::vector<T> u_;  // T'e_s
  std::vector<T> v_;  // D u
  std::vector<T> a_;  // T v where valid
  std::vector<std::uint8_t> valid_;
  ProgenyLists share_;  // progeny with u != 0 (or had it since the last walk)
  ProgenyLists kin_;    // progeny whose a was computed from this entry's
  IndexSet pending_;    // empty between passes
  std::vector<std::int32_t> progeny_, stack_, order_;
  std::int32_t previous_ = 0;  // the last column's s
  std::int64_t stepped_ = 0;
};

}  // namespace kinvar
