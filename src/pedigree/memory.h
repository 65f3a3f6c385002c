// Large arrays of loading: the pages of a large array fault in a few at a
// time, and on some machines a fault costs more than filling its page. Large
// pages (2 MiB on x86-64) cut the faults by hundreds; where the system does
// not offer them, the advice changes nothing. It never changes a value.
#pragma once

#include <cstddef>
#include <vector>

namespace kinvar {

// Advises the system to back bytes [data, data + bytes) with large pages.
void AdviseLargePages(const void* data, std::size_t bytes);

// The same for the capacity of a vector, reserved but not yet written.
template <class T>
void AdviseLargePages(const std::vector<T>& v) {
  AdviseLargePages(v.data(), v.capacity() * sizeof(T));
}

// Reserves room for n entries on large pages, before any is written.
template <class T>
void ReserveLarge(std::vector<T>& v, std::size_t n) {
  v.reserve(n);
  AdviseLargePages(v);
}

}  // namespace kinvar
