// The report copy file: an unbounded copy of the report lines of the analyses
// whose reports can outgrow the store, from which Save As writes them whole.
//
// It is an anonymous temporary file (it has no name, so it cannot collide with
// another running Kinvar and disappears with the process however it ends).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kinvar {

class ReportCopyFile {
 public:
  // Creates the file; false when the system could not.
  bool Create();
  bool IsOpen() const { return file_ != nullptr; }

  // Rewinds and truncates to length 0.
  void Reset();
  void WriteLine(std::string_view line);
  // Calls `visit` with every line from the start, without its newline,
  // until it returns false; false when it stopped early.
  bool ForEachLine(const std::function<bool(std::string_view)>& visit);
  // The bytes written since the last Reset.
  std::int64_t Size();

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> fileHolder_;
  std::FILE* file_ = nullptr;
};

}  // namespace kinvar
