// kinvar-bench-xlsx: seconds and peak memory of loading a generated workbook
// of N individuals (default 1,000,000): IDs and parents as shared strings, a
// birth date cell and a sex per row. The workbook is written with libzip
// first; then the sheet scan alone and the whole load (read, validate,
// recode) are each timed in a fresh child process.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pedigree/load.h"
#include "pedigree/xlsx_reader.h"
#include "support/workbook_writer.h"

namespace {

using namespace kinvar;
using namespace kinvar::bench;

constexpr double kTargetSeconds = 10.0;

// Founders first, then individuals whose parents are earlier individuals of
// the other sex; IDs are shared strings as spreadsheets store text.
bool WriteWorkbook(const std::string& path, std::int64_t n) {
  std::mt19937_64 random(2024);
  test::WorkbookLayout layout;
  layout.styles = test::StylesXml({{164, "yyyy\\-mm\\-dd"}}, {0, 164});
  std::string& sst = layout.sharedStrings;
  sst = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<si><t>Animal</t></si><si><t>Sire</t></si><si><t>Dam</t></si><si><t>Birth date</t></si>"
        "<si><t>Sex</t></si><si><t>M</t></si><si><t>F</t></si>";
  constexpr std::int64_t kFirstId = 7;
  std::string rows = "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
                     "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c><c r=\"E1\" t=\"s\"><v>4</v></c></row>";
  rows.reserve(static_cast<std::size_t>(n) * 170);
  sst.reserve(static_cast<std::size_t>(n) * 24);
  const std::int64_t founders = std::max<std::int64_t>(2, n / 20);
  for (std::int64_t i = 0; i < n; ++i) {
    sst += "<si><t>H" + std::to_string(1000000 + i) + "</t></si>";
    const std::string r = std::to_string(i + 2);
    const bool male = i % 2 == 0;
    auto parent = [&](bool maleParent) -> std::string {
      if (i < founders) return "<v>0</v>";
      std::int64_t p = static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(i));
      if ((p % 2 == 0) != maleParent) p = p == 0 ? 1 : p - 1;
      if (p >= i) return "<v>0</v>";
      return "<v>" + std::to_string(kFirstId + p) + "</v>";
    };
    const std::string sire = parent(true), dam = parent(false);
    const bool known = sire != "<v>0</v>";
    rows += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>" + std::to_string(kFirstId + i) +
            "</v></c><c r=\"B" + r + "\"" + (known ? " t=\"s\">" : ">") + sire + "</c><c r=\"C" + r + "\"" +
            (dam != "<v>0</v>" ? " t=\"s\">" : ">") + dam + "</c><c r=\"D" + r + "\" s=\"1\"><v>" +
            std::to_string(30000 + i / 100) + "</v></c><c r=\"E" + r + "\" t=\"s\"><v>" + (male ? "5" : "6") +
            "</v></c></row>";
  }
  sst += "</sst>";
  layout.sheets = {{"Herd", std::move(rows)}};
  return test::WriteZip(path, test::WorkbookParts(layout));
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 1000000;
  const std::string path = argc > 2 ? argv[2] : "/tmp/kinvar-bench-" + std::to_string(n) + ".xlsx";
  double start = Now();
  if (!WriteWorkbook(path, n)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::error_code ec;
  const auto bytes = std::filesystem::file_size(path, ec);
  std::printf("workbook of %lld rows, %.1f MB, written in %.2f s: %s\n", static_cast<long long>(n),
              ec ? 0.0 : static_cast<double>(bytes) / 1e6, Now() - start, path.c_str());
  ChildOutcome scan = RunInChild([&](Results& r) {
    const double t = Now();
    std::int64_t rows = 0;
    const SheetRead read = ReadWorkbookSheet(path, "", [&rows](const SheetRow&) { return ++rows > 0; });
    r["seconds"] = Now() - t;
    r["rows"] = static_cast<double>(rows);
    return read.ok;
  });
  ChildOutcome load = RunInChild([&](Results& r) {
    SilentProgressWindow window;
    Progress progress(window);
    Pedigree ped;
    const double t = Now();
    const LoadOutcome outcome = LoadPedigree(path, ped, progress);
    r["seconds"] = Now() - t;
    r["nTotal"] = ped.nTotal;
    if (outcome.status != LoadStatus::kLoaded) std::fprintf(stderr, "not loaded: %s\n", outcome.message.c_str());
    return outcome.status == LoadStatus::kLoaded;
  });
  std::printf("%-28s %10s %12s\n", "stage", "seconds", "peak MB");
  std::printf("%-28s %10.2f %12.0f\n", "sheet scan (rows only)", scan.results["seconds"],
              static_cast<double>(scan.peakBytes) / 1e6);
  std::printf("%-28s %10.2f %12.0f\n", "load (read, validate, recode)", load.results["seconds"],
              static_cast<double>(load.peakBytes) / 1e6);
  const bool ok = scan.ok && load.ok;
  std::printf("target: load under %.0f s: %s\n", kTargetSeconds,
              ok && load.results["seconds"] < kTargetSeconds ? "met" : "NOT met");
  if (argc <= 2) std::remove(path.c_str());
  return ok ? 0 : 1;
}
