// Workbooks as File > Open reads them: the sheet list, the rows of the first
// sheet, and the whole load. Whatever the bytes, nothing may crash, hang or
// take memory beyond the inflation limit; every row must be well formed;
// a refusal must say why, and a loaded pedigree must be coded parents first.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "pedigree/load.h"
#include "pedigree/xlsx_reader.h"

namespace kinvar::fuzz {
namespace {

void CheckRows(const std::string& path) {
  std::int64_t lastRow = 0;
  const SheetRead read = ReadWorkbookSheet(path, "", [&lastRow](const SheetRow& row) {
    FUZZ_CHECK(row.row >= 1, "a row numbered below 1");
    FUZZ_CHECK(row.cells.size() <= 16384, "a row wider than a sheet");
    FUZZ_CHECK(!row.errors.empty() || (!row.cells.empty() && !row.cells.back().empty()),
               "a row handed on with nothing in it, or ending in an empty cell");
    for (const auto& e : row.errors) FUZZ_CHECK(e.column >= 0 && e.column < 16384, "an error cell's column");
    lastRow = row.row;
    return true;
  });
  FUZZ_CHECK(read.ok || !read.message.empty(), "a sheet refused without a message");
}

void CheckLoad(const std::string& path) {
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree ped;
  const LoadOutcome outcome = LoadPedigree(path, ped, progress);
  switch (outcome.status) {
    case LoadStatus::kLoaded:
      FUZZ_CHECK(ped.nRead >= 1 && ped.nTotal >= ped.nRead, "record counts");
      EnsureCodeOrder(ped);
      for (std::int32_t i = 0; i < ped.nTotal; ++i) {
        const Rec& r = ped.byCode(i);
        FUZZ_CHECK(r.code == i + 1, "codes are not 1..n");
        FUZZ_CHECK(ped.rec(r.sire).code < r.code && ped.rec(r.dam).code < r.code,
                   std::string("a parent coded after its progeny ") + r.id);
        FUZZ_CHECK(std::strlen(r.id) >= 1 && std::strlen(r.id) <= kMaxIdLength, "ID length");
      }
      break;
    case LoadStatus::kRejected:
      FUZZ_CHECK(ped.report.Count() >= 1, "a rejected pedigree without its error list");
      break;
    case LoadStatus::kReadFailed:
      FUZZ_CHECK(!outcome.message.empty(), "a read failure without a message");
      FUZZ_CHECK(ped.nRead == 0 && ped.recs.size() == 1, "a failed read leaves records");
      break;
    case LoadStatus::kCancelled:
      FUZZ_CHECK(false, "cancelled though nobody cancels");
  }
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  const std::string& path = input.Write(data, size);
  const WorkbookSheets sheets = ListWorkbookSheets(path);
  FUZZ_CHECK(sheets.message.empty() != sheets.names.empty(), "a sheet list with neither names nor a message");
  fuzz::CheckRows(path);
  fuzz::CheckLoad(path);
  return 0;
}
