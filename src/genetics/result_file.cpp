#include "genetics/result_file.h"

#include <bit>
#include <charconv>
#include <cstring>

#include "report/markup.h"
#include "report/number_format.h"
#include "report/timestamp.h"

namespace kinvar {

std::unique_ptr<ResultFile> ResultFile::Ask(Platform& platform) {
  FileRequest request;
  request.open = false;
  request.filters = {{"Output Files (*.out)", "*.out"}, {"All Files (*.*)", "*.*"}};
  request.defaultExtension = "out";
  request.title = "Save As";
  const auto chosen = platform.AskFileName(request);
  if (!chosen) return nullptr;
  std::FILE* file = std::fopen(chosen->c_str(), "w");
  if (file == nullptr) {
    platform.ShowMessage("Cannot open " + *chosen + " for writing.", MessageIcon::kError);
    return nullptr;
  }
  return std::unique_ptr<ResultFile>(new ResultFile(file, *chosen));
}

ResultFile::~ResultFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void ResultFile::WriteInt(std::int64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  buffer_.append(digits, end);
}

void ResultFile::Flush() {
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
    failed_ = true;
  buffer_.clear();
}

bool ResultFile::Close(Platform& platform) {
  Flush();
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (closed && !failed_) return true;
  platform.ShowMessage("Error while writing " + path_ + ".", MessageIcon::kError);
  return false;
}

void ResultFile::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  std::remove(path_.c_str());
}

void WriteOutputHeader(ResultFile& file, const std::string& pedigreePath) {
  file.Write(FormatTimestamp(CurrentLocalTime()));
  file.Write("\nPedigree file name: ");
  file.Write(pedigreePath);
  file.Write("\n\n");
}

void WriteRowLabel(ResultFile& file, const Rec& r) {
  char label[64];
  const int length = std::snprintf(label, sizeof label, "%-22s", (std::string(r.id) + ",").c_str());
  file.Write(std::string_view(label, static_cast<std::size_t>(length)));
  const int code = std::snprintf(label, sizeof label, "%-12s", (std::to_string(r.code) + ",").c_str());
  file.Write(std::string_view(label, static_cast<std::size_t>(code)));
}

const std::string& CachedFormat::operator()(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  Slot& slot = slots_[(bits ^ (bits >> 12) ^ (bits >> 24)) % slots_.size()];
  if (!slot.used || slot.bits != bits) {
    slot.bits = bits;
    slot.used = true;
    slot.text = FormatNumber(setting_, value);
  }
  return slot.text;
}

}  // namespace kinvar
