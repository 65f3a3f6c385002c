// Linked into the libFuzzer programs only. Every load allocates a 3 MB report
// table and a 1 MB read buffer afresh; under AddressSanitizer each fresh
// mapping is paid for in page faults of the block and of its shadow, which
// made a run of a 100-byte pedigree cost milliseconds. Freed blocks of 512 KiB
// and more are therefore kept, a few at a time, and handed out again for the
// same size. They stay poisoned while kept, so a use after free still stops
// the run (as a use after poison).
#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>

#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kLargeBlock = std::size_t{512} << 10;

struct KeptBlock {
  void* block;
  std::size_t size;
};
// Plain static storage: usable before any constructor runs.
KeptBlock kept[4];

void* TakeKept(std::size_t size) {
  for (KeptBlock& k : kept) {
    if (k.block == nullptr || k.size != size) continue;
    void* block = k.block;
    k.block = nullptr;
    ASAN_UNPOISON_MEMORY_REGION(block, size);
    return block;
  }
  return nullptr;
}

bool Keep(void* block) {
  const std::size_t size = __sanitizer_get_allocated_size(block);
  if (size < kLargeBlock) return false;
  for (KeptBlock& k : kept) {
    if (k.block != nullptr) continue;
    k = {block, size};
    ASAN_POISON_MEMORY_REGION(block, size);
    return true;
  }
  return false;
}

}  // namespace

void* operator new(std::size_t size) {
  if (size >= kLargeBlock) {
    if (void* block = TakeKept(size)) return block;
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }

void operator delete(void* block) noexcept {
  if (block != nullptr && !Keep(block)) std::free(block);
}

void operator delete[](void* block) noexcept { operator delete(block); }
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
void operator delete[](void* block, std::size_t) noexcept { operator delete(block); }

// The nothrow forms too, so that every block reaches its matching release.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}

void operator delete(void* block, const std::nothrow_t&) noexcept { operator delete(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { operator delete(block); }
