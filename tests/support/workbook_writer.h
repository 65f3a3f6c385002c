// Workbooks made by hand for tests and benchmarks: parts written as a zip
// archive with libzip, and the few parts every workbook needs. No gtest here,
// so the benchmarks can build it too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kinvar::test {

struct ZipPart {
  std::string name;
  std::string data;
  bool stored = false;  // kept as it is instead of deflated
};

// Writes the parts as a zip archive, replacing `path`; false on failure.
bool WriteZip(const std::string& path, const std::vector<ZipPart>& parts);

// The bytes of that archive, made in memory; "" on failure.
std::string ZipBytes(const std::vector<ZipPart>& parts);

struct SheetLayout {
  std::string name;
  std::string rows;  // the <row> elements of <sheetData>
};

struct WorkbookLayout {
  std::vector<SheetLayout> sheets;
  std::string sharedStrings;  // the whole part; none when empty
  std::string styles;         // the whole part; none when empty
  bool date1904 = false;
};

// The parts of a workbook with these sheets: content types, relationships,
// xl/workbook.xml and xl/worksheets/sheetN.xml.
std::vector<ZipPart> WorkbookParts(const WorkbookLayout& layout);

// A styles part whose cell formats have these number format ids, with the
// custom formats (id, code) listed first.
std::string StylesXml(const std::vector<std::pair<int, std::string>>& customFormats,
                      const std::vector<int>& cellFormats);

// A shared-strings part of plain strings.
std::string SharedStringsXml(const std::vector<std::string>& strings);

}  // namespace kinvar::test
