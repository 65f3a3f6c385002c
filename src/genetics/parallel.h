// Running independent blocks of work on several threads (the standard
// library's threads: the blocks are few and coarse, so a shared counter
// hands them out well enough and no pool library is needed).
//
// Conventions of this header:
// - Blocks are numbered 0..count-1 and workers 0..threads-1; worker 0 is the
//   calling thread, the only one that may touch the progress window.
// - A block's result never depends on which worker ran it or when: callers
//   keep one state per worker and write only what the block owns.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "pedigree/pedigree.h"

namespace kinvar {

// The workers for `items` of work: no more than WorkerCount gives, and one
// per `itemsPerWorker` at most. Below that size a worker costs more than it
// saves (its start, its own work vectors, caches filled twice), so a small
// job runs on the calling thread whatever the setting asks.
inline int WorkerCountFor(int setting, std::int64_t items, std::int64_t itemsPerWorker) {
  const std::int64_t useful = std::max<std::int64_t>(1, items / std::max<std::int64_t>(1, itemsPerWorker));
  return static_cast<int>(std::min<std::int64_t>(WorkerCount(setting), useful));
}

// Runs run(block, worker) for every block on up to `threads` workers. After
// each block of its own, the calling thread calls afterBlock(); once it has
// returned true (a cancel), no worker starts another block. False then.
// On a busy machine the helpers may take every block before the calling
// thread takes one; it then asks afterBlock() once all the same, so that a
// cancel given during the run is not lost.
template <class Run, class AfterBlock>
bool RunBlocks(int threads, std::int32_t count, Run run, AfterBlock afterBlock) {
  std::atomic<std::int32_t> next{0};
  std::atomic<bool> stop{false};
  bool askedOnce = false;
  const auto work = [&](int worker) {
    for (std::int32_t b; !stop.load(std::memory_order_relaxed) && (b = next++) < count;) {
      run(b, worker);
      if (worker != 0) continue;
      askedOnce = true;
      if (afterBlock()) stop = true;
    }
  };
  const int helpers = std::min(threads, count) - 1;
  std::vector<std::jthread> pool;
  pool.reserve(static_cast<std::size_t>(std::max(helpers, 0)));
  for (int w = 1; w <= helpers; ++w) pool.emplace_back(work, w);
  work(0);
  if (!askedOnce && count > 0 && afterBlock()) stop = true;
  pool.clear();  // joins
  return !stop;
}

}  // namespace kinvar
