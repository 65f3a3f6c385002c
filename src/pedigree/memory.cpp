#include "pedigree/memory.h"

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kinvar {

void AdviseLargePages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
  if (bytes < 2 * kLarge) return;
  // Only whole large pages inside the array: the advice must not reach
  // memory the array does not own.
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLarge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

void FaultInLarge(const void* data, std::size_t bytes, int threads) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  constexpr std::uintptr_t kPage = 4096;
  constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
  if (end <= begin || end - begin < 2 * kLarge) return;
  // Parts of whole large pages, so that no two threads fault in one.
  const auto parts = static_cast<std::uintptr_t>(std::max(1, threads));
  const std::uintptr_t step = ((end - begin) / parts + kLarge - 1) & ~(kLarge - 1);
  const auto fault = [](std::uintptr_t from, std::uintptr_t to) {
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
  };
  std::vector<std::jthread> helpers;
  for (std::uintptr_t from = begin + step; from < end; from += step) {
    helpers.emplace_back(fault, from, std::min(end, from + step));
  }
  fault(begin, std::min(end, begin + step));
#else
  (void)data;
  (void)bytes;
  (void)threads;
#endif
}

}  // namespace kinvar
