#include "support/side_sources.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace kinvar::test {

TempFolder::TempFolder() {
  std::string name = (std::filesystem::temp_directory_path() / "kinvar-side-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = name;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

// Opens the FIFO for writing once a reader is there; -1 after `wait`.
int OpenWhenRead(const std::string& path, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    // Without a reader a non-blocking open fails with ENXIO instead of
    // waiting for ever.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO || std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

FifoWithWriter::FifoWithWriter(std::string text, std::chrono::milliseconds wait)
    : path_(folder_.path() + "/stream") {
  if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("cannot create a FIFO");
  writer_ = std::thread([path = path_, text = std::move(text), wait] {
    // A reader that stops early must not end the test program by SIGPIPE;
    // the signal is this thread's, and goes with it.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const int fd = OpenWhenRead(path, wait);
    if (fd < 0) return;
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
      if (put <= 0) break;  // the reader went away
      done += static_cast<std::size_t>(put);
    }
    ::close(fd);
  });
}

FifoWithWriter::~FifoWithWriter() { writer_.join(); }

}  // namespace kinvar::test
