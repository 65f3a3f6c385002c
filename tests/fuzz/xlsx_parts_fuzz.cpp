// Workbooks mutated where their faults live: in the XML of their parts, not
// in the zip around them, which a mutation of the whole file nearly always
// breaks before any XML is read. The input is the text of the parts, each
// after a line "@part": the sheet, the shared strings, the workbook, the
// workbook's relationships, the styles and the package's relationships.
// Parts the input does not reach keep those of a small valid workbook; a
// part whose text is "-" is left out. The parts are zipped as they are and
// read as File > Open reads them.
//
// Beyond what the whole-file target checks: a refusal names the workbook
// and rows keep to the sheet's size whatever their numbers. The load is
// checked as the whole-file target checks it: a pedigree's fault names the
// sheet and cell (never a line), and no loaded ID holds a control character
// or a quote.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "pedigree/load.h"
#include "pedigree/xlsx_cells.h"
#include "pedigree/xlsx_reader.h"
#include "support/workbook_writer.h"

namespace kinvar::fuzz {
namespace {

constexpr std::string_view kSeparator = "\n@part\n";
constexpr std::array<const char*, 6> kParts = {
    "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/workbook.xml",
    "xl/_rels/workbook.xml.rels", "xl/styles.xml",       "_rels/.rels"};
// Small, so that a part that fills it is refused rather than read, and the
// bound itself is tried.
constexpr std::uint64_t kMemory = std::uint64_t{4} << 20;

std::vector<test::ZipPart> DefaultParts() {
  test::WorkbookLayout layout;
  layout.sheets = {{"Herd",
                    "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                    "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c></row>"
                    "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>A1</t></is></c><c r=\"B2\"><v>0</v></c>"
                    "<c r=\"C2\"><v>0</v></c><c r=\"D2\" s=\"1\"><v>44303</v></c></row>"}};
  layout.sharedStrings = test::SharedStringsXml({"Progeny", "Sire", "Dam", "Birth date"});
  layout.styles = test::StylesXml({{164, "yyyy\\-mm\\-dd"}}, {0, 164});
  return test::WorkbookParts(layout);
}

std::vector<test::ZipPart> PartsOf(std::string_view input) {
  std::vector<test::ZipPart> parts = DefaultParts();
  std::size_t start = 0;
  for (const char* name : kParts) {
    if (start > input.size()) break;
    const std::size_t end = std::min(input.find(kSeparator, start), input.size());
    const std::string_view text = input.substr(start, end - start);
    const auto part = std::find_if(parts.begin(), parts.end(), [&](const test::ZipPart& p) { return p.name == name; });
    if (part == parts.end()) Broken(__FILE__, __LINE__, std::string("no default part ") + name);
    if (text == "-") {
      parts.erase(part);
    } else {
      part->data = std::string(text);
    }
    start = end + kSeparator.size();
  }
  return parts;
}

bool Refusal(const std::string& message, const std::string& path) {
  return message.starts_with("Cannot read the workbook " + path + ".\n") ||
         message.starts_with("Cannot open " + path + "\n") || message.starts_with("The workbook " + path);
}

void CheckRows(const std::string& path) {
  const SheetRead read = ReadWorkbookSheet(
      path, "",
      [](const SheetRow& row) {
        FUZZ_CHECK(row.row >= 1 && row.row <= xlsx::kSheetRows, "a row number outside the sheet");
        FUZZ_CHECK(row.cells.size() <= static_cast<std::size_t>(xlsx::kSheetColumns), "a row wider than a sheet");
        FUZZ_CHECK(!row.errors.empty() || (!row.cells.empty() && !row.cells.back().empty()),
                   "a row handed on with nothing in it, or ending in an empty cell");
        for (const auto& e : row.errors)
          FUZZ_CHECK(e.column >= 0 && e.column < xlsx::kSheetColumns, "an error cell's column");
        return true;
      },
      {}, kMemory);
  FUZZ_CHECK(read.ok || Refusal(read.message, path), "a sheet refused without naming the workbook: " + read.message);
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile file;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string zip = test::ZipBytes(fuzz::PartsOf(input));
  if (zip.empty()) fuzz::Broken(__FILE__, __LINE__, "cannot zip the parts");
  const std::string& path = file.Write(reinterpret_cast<const std::uint8_t*>(zip.data()), zip.size());
  const WorkbookSheets sheets = ListWorkbookSheets(path);
  FUZZ_CHECK(sheets.message.empty() != sheets.names.empty(), "a sheet list with neither names nor a message");
  FUZZ_CHECK(sheets.message.empty() || fuzz::Refusal(sheets.message, path), "a refusal without the workbook");
  fuzz::CheckRows(path);
  fuzz::CheckWorkbookLoad(path);
  return 0;
}
