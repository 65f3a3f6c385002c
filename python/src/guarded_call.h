// Runs a session's computation without the GIL, with Ctrl+C and progress.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/session.h"
#include "tables.h"

namespace kinvar::python {

// The session a Pedigree object holds. The mutex keeps a second Python
// thread from entering the session while the first runs without the GIL.
struct Held {
  std::unique_ptr<Session> session;
  std::mutex busy;
  // The caller's IDs were integers: every ID column of a result comes back
  // as integers.
  bool integerIds = false;
  // The caller's ID cells, which results reuse (TablesToPython).
  InputIds inputs;
};

struct CallOptions {
  int threads = 0;
  bool progress = false;
  // Every call states its precision: a call that takes none computes in
  // single precision, whatever the call before it asked for.
  bool doublePrecision = false;
};

// "single" (false) or "double" (true); ValueError otherwise.
bool DoublePrecisionOf(const std::string& precision);

// 0 (one per core) to 1024, as kinvar-cli's --threads allows.
int CheckedThreads(int threads);

// Polls Python's signal handlers at most every 50 ms: taking the GIL on
// every poll of a tight loop would slow the computation and the threads
// waiting for the GIL alike.
class SignalPoll {
 public:
  bool operator()();

 private:
  std::chrono::steady_clock::time_point next_ = std::chrono::steady_clock::now();
};

// Writes "label: NN%" to sys.stderr when the percentage changes.
class ProgressLine {
 public:
  void operator()(const std::string& label, int percent);

 private:
  std::string label_;
  int percent_ = -1;
};

// Installs the poll and progress sink for one call and removes them after.
class CallScope {
 public:
  CallScope(Session& session, const CallOptions& options);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  Session& session_;
  bool progress_;
};

// `work(Session&)` runs with the GIL released. An exception that Python's
// signal handler raised while we polled (KeyboardInterrupt) is why the
// computation stopped, whatever the session then threw, and it wins over a
// result that came in the meantime too; other exceptions go to the module's
// translators once the GIL is back.
template <typename Work>
auto GuardedCall(Held& held, const CallOptions& options, Work&& work) {
  std::unique_lock<std::mutex> lock(held.busy, std::try_to_lock);
  if (!lock.owns_lock())
    throw std::runtime_error("the pedigree is in use by another thread; use one pedigree per thread");
  CallScope scope(*held.session, options);
  auto result = [&] {
    try {
      pybind11::gil_scoped_release release;
      return work(*held.session);
    } catch (...) {
      if (PyErr_Occurred() != nullptr) throw pybind11::error_already_set();
      throw;
    }
  }();
  if (PyErr_Occurred() != nullptr) throw pybind11::error_already_set();
  return result;
}

}  // namespace kinvar::python
