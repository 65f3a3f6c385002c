// Sources that are not plain files, for the side-file readers' tests: a
// folder, and a FIFO whose writer writes a few lines and closes.
#pragma once

#include <chrono>
#include <string>
#include <thread>

namespace kinvar::test {

// A fresh empty folder, removed with what it holds when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A FIFO whose writer, on a thread of its own, writes `text` once a reader
// has opened it, then closes it. A writer that finds no reader within
// `wait` gives up, so a failing test ends instead of hanging.
class FifoWithWriter {
 public:
  explicit FifoWithWriter(std::string text, std::chrono::milliseconds wait = std::chrono::seconds(20));
  ~FifoWithWriter();
  FifoWithWriter(const FifoWithWriter&) = delete;
  FifoWithWriter& operator=(const FifoWithWriter&) = delete;

  const std::string& path() const { return path_; }

 private:
  TempFolder folder_;
  std::string path_;
  std::thread writer_;
};

}  // namespace kinvar::test
