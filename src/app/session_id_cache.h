// One host-language string per distinct ID of a result table, for the R
// package and the Python module that turn a session's tables into their
// own: a sire of a thousand progeny, and every parent that also has its own
// row, share one string. Making a host string costs more than this table
// (R looks every new string up in its global cache; Python allocates an
// object), and a million-row table's strings stay about one per individual.
//
// Open addressing with the hash kept beside the text, so that a probe mostly
// touches one slot. The cache holds the views it is given, not copies: the
// texts must outlive it (they sit in the table being converted). It owns no
// reference of the host's: `Cell` is whatever the host's maker returns, and
// the host keeps every cell alive in the table it builds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace kinvar {

template <class Cell>
class IdStringCache {
 public:
  // The cell of `text`: `make(text)` on its first appearance, with `made`
  // set; the cell made then on every later one, with `made` cleared.
  template <class Make>
  Cell Of(std::string_view text, Make&& make, bool& made) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    const std::size_t hash = std::hash<std::string_view>()(text);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.cell == nullptr) {
        // Made before the slot is filled: a maker that throws leaves the
        // cache as it was.
        Cell cell = make(text);
        slot = {hash, text, cell};
        ++used_;
        made = true;
        return cell;
      }
      if (slot.hash == hash && slot.text == text) {
        made = false;
        return slot.cell;
      }
    }
  }

  std::size_t size() const { return used_; }

 private:
  struct Slot {
    std::size_t hash = 0;
    std::string_view text;
    Cell cell = nullptr;
  };

  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(1024, 2 * old.size()), Slot{});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.cell == nullptr) continue;
      std::size_t at = slot.hash & mask;
      while (slots_[at].cell != nullptr) at = (at + 1) & mask;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace kinvar
