#include "cli/interrupt.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

namespace kinvar::cli {

namespace {

// A signal handler can reach nothing but static storage, so these two are
// the process's own state rather than the document's; only the handler
// writes the flag, and the path is set before any long computation starts.
volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t exitAtOnce = 0;
char removalPath[4096] = {};

extern "C" void OnInterrupt(int) {
  if (interrupted != 0 || exitAtOnce != 0) {
    // unlink and _exit are async-signal-safe; nothing else is done here.
    if (removalPath[0] != '\0') ::unlink(removalPath);
    ::_exit(kInterruptedStatus);
  }
  interrupted = 1;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return interrupted != 0; }

void SetInterruptExitsAtOnce(bool atOnce) { exitAtOnce = atOnce ? 1 : 0; }

void SetInterruptRemovalPath(const std::string& path) {
  if (path.size() >= sizeof removalPath) return;
  std::memcpy(removalPath, path.c_str(), path.size() + 1);
}

}  // namespace kinvar::cli
