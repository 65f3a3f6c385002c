// Large arrays of loading: the pages of a large array fault in a few at a
// time, and on some machines a fault costs more than filling its page. Large
// pages (2 MiB on x86-64) cut the faults by hundreds and the misses of the
// address cache of an array reached in random order (the records, which
// linking and recoding reach by index). An array only scanned in order (the
// parents' text, the sort keys) stays on small pages: on a virtual machine
// a fresh large page can cost several times its bytes in small ones, and at
// ten million animals those arrays made the load a fifth slower. Where the
// system offers no large pages the advice changes nothing. It never
// changes a value.
#pragma once

#include <algorithm>
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

// Faults in the pages of bytes [data, data + bytes) on `threads` threads at
// once. Where a fault costs more than the write that causes it, the one
// thread that first writes a large array otherwise waits on every fault in
// turn. Only whole pages inside the range; changes no value.
void FaultInLarge(const void* data, std::size_t bytes, int threads);

// The same for the first n entries of a vector's capacity, not yet written.
template <class T>
void FaultInLarge(const std::vector<T>& v, std::size_t n, int threads) {
  FaultInLarge(v.data(), std::min(n, v.capacity()) * sizeof(T), threads);
}

// Reserves room for n entries on large pages, before any is written.
template <class T>
void ReserveLarge(std::vector<T>& v, std::size_t n) {
  v.reserve(n);
  AdviseLargePages(v);
}

}  // namespace kinvar
