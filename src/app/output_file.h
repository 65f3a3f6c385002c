// A text file being written by Save As or the command line: raw lines, or
// marked-up lines laid out in columns. Lines end with "\n".
#pragma once

#include <cstdio>
#include <string_view>

#include "report/markup.h"

namespace kinvar {

class OutputFile {
 public:
  explicit OutputFile(std::FILE* file) : file_(file) {}

  void Raw(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }
  void Markup(std::string_view line) { Raw(ExpandMarkup(line)); }
  // True when every write so far succeeded.
  bool Good() const { return std::ferror(file_) == 0; }
  std::FILE* file() const { return file_; }

 private:
  std::FILE* file_;
};

}  // namespace kinvar
