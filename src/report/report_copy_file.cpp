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

std::int64_t ReportCopyFile::Size() {
  if (file_ == nullptr) return 0;
  std::fflush(file_);
  return std::ftell(file_);
}

bool ReportCopyFile::ForEachLine(const std::function<bool(std::string_view)>& visit) {
  if (file_ == nullptr) return true;
  std::fflush(file_);
  const long end = std::ftell(file_);
  std::rewind(file_);
  std::string line;
  long read = 0;
  int c;
  bool stopped = false;
  while (read < end && (c = std::fgetc(file_)) != EOF) {
    ++read;
    if (c == '\n') {
      if ((stopped = !visit(line))) break;
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  if (!stopped && !line.empty()) stopped = !visit(line);
  std::fseek(file_, end, SEEK_SET);
  return !stopped;
}

}  // namespace kinvar
