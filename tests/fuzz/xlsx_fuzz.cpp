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

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  const std::string& path = input.Write(data, size);
  const WorkbookSheets sheets = ListWorkbookSheets(path);
  FUZZ_CHECK(sheets.message.empty() != sheets.names.empty(), "a sheet list with neither names nor a message");
  fuzz::CheckRows(path);
  fuzz::CheckWorkbookLoad(path);
  return 0;
}
