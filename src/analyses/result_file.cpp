#include "analyses/result_file.h"

#include <bit>
#include <charconv>
#include <cstring>

#include "report/markup.h"
#include "report/number_format.h"
#include "report/timestamp.h"

namespace kinvar {

std::unique_ptr<OutputFile> AskResultFile(Platform& platform) {
  FileRequest request;
  request.open = false;
  request.filters = {{"Output Files (*.out)", "*.out"}, {"All Files (*.*)", "*.*"}};
  request.defaultExtension = "out";
  request.title = "Save As";
  const auto chosen = platform.AskFileName(request);
  if (!chosen) return nullptr;
  return OpenOutputFile(*chosen, platform);
}

void WriteOutputHeader(OutputFile& file, const std::string& pedigreePath) {
  file.Raw(FormatTimestamp(CurrentLocalTime()));
  file.Raw("\nPedigree file name: ");
  file.Raw(pedigreePath);
  file.Raw("\n\n");
}

void WriteRowLabel(OutputFile& file, const Rec& r) {
  char label[64];
  const int length = std::snprintf(label, sizeof label, "%-22s", (std::string(r.id) + ",").c_str());
  file.Raw(std::string_view(label, static_cast<std::size_t>(length)));
  const int code = std::snprintf(label, sizeof label, "%-12s", (std::to_string(r.code) + ",").c_str());
  file.Raw(std::string_view(label, static_cast<std::size_t>(code)));
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
