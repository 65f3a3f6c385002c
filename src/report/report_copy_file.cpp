#include "report/report_copy_file.h"

#include <unistd.h>

#include <string>

namespace kinvar {

bool ReportCopyFile::Create() {
  fileHolder_.reset(std::tmpfile());
  file_ = fileHolder_.get();
  return file_ != nullptr;
}

void ReportCopyFile::Reset() {
  if (file_ == nullptr) return;
  std::fflush(file_);
  std::rewind(file_);
  if (ftruncate(fileno(file_), 0) != 0) {
    // The file keeps its old tail; readers stop at what was written since.
  }
}

void ReportCopyFile::WriteLine(std::string_view line) {
  if (file_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
}

void ReportCopyFile::ForEachLine(const std::function<void(std::string_view)>& visit) {
  if (file_ == nullptr) return;
  std::fflush(file_);
  const long end = std::ftell(file_);
  std::rewind(file_);
  std::string line;
  long read = 0;
  int c;
  while (read < end && (c = std::fgetc(file_)) != EOF) {
    ++read;
    if (c == '\n') {
      visit(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!line.empty()) visit(line);
  std::fseek(file_, end, SEEK_SET);
}

}  // namespace kinvar
