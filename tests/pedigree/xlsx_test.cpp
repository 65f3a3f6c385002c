// Workbooks: the cell model (references, numbers, dates, number formats,
// strings), the streaming scan, sheet choice, the refusal of damaged,
// protected and hostile files, and pedigrees read from workbooks.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "genetics/inbreeding.h"
#include "pedigree/load.h"
#include "pedigree/xlsx_cells.h"
#include "pedigree/xlsx_reader.h"
#include "pedigree/xml_scan.h"
#include "support/test_files.h"
#include "support/workbook_writer.h"

namespace kinvar {
namespace {

using test::SharedStringsXml;
using test::WorkbookParts;
using test::WorkbookLayout;
using test::WriteZip;

// A workbook written to a temporary path that goes with the object.
struct TempWorkbook : test::TempFile {
  explicit TempWorkbook(const std::vector<test::ZipPart>& parts, std::string_view extension = ".xlsx")
      : TempFile("", extension) { EXPECT_TRUE(WriteZip(path(), parts)); }
  explicit TempWorkbook(const WorkbookLayout& layout, std::string_view extension = ".xlsx")
      : TempWorkbook(WorkbookParts(layout), extension) {}
};

WorkbookLayout OneSheet(std::string rows) {
  WorkbookLayout layout;
  layout.sheets = {{"S", std::move(rows)}};
  return layout;
}

std::string Inline(std::string_view text) { return "<c t=\"inlineStr\"><is><t>" + std::string(text) + "</t></is></c>"; }

using Cells = std::vector<std::string>;
using NumberedRows = std::vector<std::pair<std::int64_t, Cells>>;

struct ReadRows {
  SheetRead read;
  NumberedRows rows;
  std::vector<std::string> errors;  // "B7 #N/A"
};

ReadRows Rows(const std::string& path, const std::string& sheet = "") {
  ReadRows out;
  out.read = ReadWorkbookSheet(path, sheet, [&out](const SheetRow& row) {
    out.rows.push_back({row.row, {row.cells.begin(), row.cells.end()}});
    for (const auto& e : row.errors)
      out.errors.push_back(xlsx::ColumnName(e.column) + std::to_string(row.row) + " " + std::string(e.value));
    return true;
  });
  return out;
}

// ---------------------------------------------------------------- cell model

// A reference gives its cell, or tells damage from a row or a column
// beyond the sheet; rows and columns of any length, none overflowing on its
// way to "beyond".
TEST(XlsxCells, CellReferences) {
  using xlsx::RefFault;
  struct Row { const char* name; const char* ref; RefFault fault; std::int32_t column; std::int64_t row; };
  const Row rows[] = {
      {"first cell", "A1", RefFault::kNone, 0, 1},
      {"second column", "B7", RefFault::kNone, 1, 7},
      {"two letters", "AA10", RefFault::kNone, 26, 10},
      {"the last cell", "XFD1048576", RefFault::kNone, 16383, 1048576},
      {"column only", "C", RefFault::kNone, 2, 0},
      {"leading zeros", "A0000000000000000000000000001", RefFault::kNone, 0, 1},
      {"one row beyond", "A1048577", RefFault::kBeyondRows, 0, 0},
      {"the largest 64-bit row", "A9223372036854775807", RefFault::kBeyondRows, 0, 0},
      {"one beyond the largest 64-bit row", "A9223372036854775808", RefFault::kBeyondRows, 0, 0},
      {"forty digits", "B1234567890123456789012345678901234567890", RefFault::kBeyondRows, 0, 0},
      {"one column beyond", "XFE1", RefFault::kBeyondColumns, 0, 0},
      {"thirty letters", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA1", RefFault::kBeyondColumns, 0, 0},
      {"row zero", "A0", RefFault::kMalformed, 0, 0},   {"many zeros", "A0000", RefFault::kMalformed, 0, 0},
      {"a sign", "A-1", RefFault::kMalformed, 0, 0},    {"a plus", "A+1", RefFault::kMalformed, 0, 0},
      {"lower case", "a1", RefFault::kMalformed, 0, 0}, {"a blank", "A 1", RefFault::kMalformed, 0, 0},
      {"digits first", "1A", RefFault::kMalformed, 0, 0}, {"empty", "", RefFault::kMalformed, 0, 0},
      {"trailing junk", "A1x", RefFault::kMalformed, 0, 0},
  };
  for (const Row& r : rows) {
    RefFault fault = RefFault::kMalformed;
    const auto got = xlsx::ParseCellRef(r.ref, &fault);
    EXPECT_EQ(fault, r.fault) << r.name;
    ASSERT_EQ(got.has_value(), r.fault == RefFault::kNone) << r.name;
    if (!got) continue;
    EXPECT_EQ(got->column, r.column) << r.name;
    EXPECT_EQ(got->row, r.row) << r.name;
  }
}

TEST(XlsxCells, SheetCellNames) {
  struct Row { const char* name; const char* sheet; const char* text; };
  const Row rows[] = {
      {"plain", "Sheet1", "Sheet1!C7"}, {"underscore and point", "herd_2.b", "herd_2.b!C7"},
      {"a blank", "Herd A", "'Herd A'!C7"}, {"an apostrophe", "Bob's", "'Bob''s'!C7"},
      {"a leading digit", "2021", "'2021'!C7"}, {"non-ASCII", "Bj\xC3\xB6rn", "'Bj\xC3\xB6rn'!C7"},
  };
  for (const Row& r : rows) EXPECT_EQ(xlsx::SheetCell(r.sheet, "C7"), r.text) << r.name;
}

TEST(XlsxCells, ColumnNamesReadBack) {
  for (std::int32_t column = 0; column < 16384; ++column) {
    const auto ref = xlsx::ParseCellRef(xlsx::ColumnName(column) + "1");
    ASSERT_TRUE(ref.has_value()) << column;
    ASSERT_EQ(ref->column, column);
  }
  EXPECT_EQ(xlsx::ColumnName(25) + xlsx::ColumnName(26) + xlsx::ColumnName(701) + xlsx::ColumnName(702), "ZAAZZAAA");
}

TEST(XlsxCells, NumbersBecomeShortestText) {
  struct Row { const char* name; const char* stored; const char* text; };
  const Row rows[] = {
      {"whole number", "123", "123"}, {"whole number with a point", "123.0", "123"}, {"half", "1.5", "1.5"},
      {"seventeen digits of a tenth", "0.10000000000000001", "0.1"}, {"exponent", "1E3", "1000"},
      {"million", "1000000", "1000000"}, {"small exponent", "4.2E-2", "0.042"}, {"negative zero", "-0", "0"},
      {"negative", "-12.25", "-12.25"}, {"F of a quarter", "0.25", "0.25"},
      {"float noise kept", "0.30000000000000004", "0.30000000000000004"},
      {"twenty digits, as the double holds them", "12345678901234567890", "12345678901234567168"},
      {"empty", "", "<none>"}, {"letters", "abc", "<none>"}, {"trailing letter", "1.5x", "<none>"},
      {"infinity", "inf", "<none>"}, {"not a number", "nan", "<none>"}, {"overflow", "1e999", "<none>"},
  };
  for (const Row& r : rows) EXPECT_EQ(xlsx::NumberText(r.stored).value_or("<none>"), r.text) << r.name;
}

TEST(XlsxCells, NumberTextReadsBackExactly) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> exponent(-12, 15);
  for (int i = 0; i < 20000; ++i) {
    const double value = std::ldexp(static_cast<double>(random() >> 11), exponent(random) - 53) *
                         (i % 2 == 0 ? 1.0 : -1.0) * std::pow(10.0, exponent(random) / 3);
    char stored[64];
    const auto end = std::to_chars(stored, stored + sizeof stored, value, std::chars_format::scientific, 17).ptr;
    const auto text = xlsx::NumberText(std::string_view(stored, static_cast<std::size_t>(end - stored)));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->find_first_of("eE"), std::string::npos) << *text;
    double back = 0.0;
    std::from_chars(text->data(), text->data() + text->size(), back);
    ASSERT_EQ(back, value) << *text;
  }
}

TEST(XlsxCells, DateSerials) {
  struct Row { const char* name; double serial; bool date1904; const char* text; };
  const Row rows[] = {
      {"first day", 1, false, "1900-01-01"}, {"last real February day", 59, false, "1900-02-28"},
      {"the day that never was", 60, false, "1900-02-29"}, {"first of March", 61, false, "1900-03-01"},
      {"a birth date", 44303, false, "2021-04-17"}, {"time of day dropped", 44303.75, false, "2021-04-17"},
      {"last day", 2958465, false, "9999-12-31"}, {"1904: first day", 0, true, "1904-01-01"},
      {"1904: a birth date", 42841, true, "2021-04-17"}, {"1904: leap day", 59, true, "1904-02-29"},
      {"zero", 0, false, "<none>"}, {"1904: before the first day", -1, true, "<none>"},
      {"after the last day", 2958466, false, "<none>"}, {"1904: after the last day", 2958465 - 1462 + 1, true, "<none>"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(xlsx::DateText(r.serial, r.date1904).value_or("<none>"), r.text) << r.name;
}

// Against the calendar of the standard library, for serials after the
// day that never was.
TEST(XlsxCells, DateSerialsAgreeWithTheCalendar) {
  using namespace std::chrono;
  std::mt19937 random(11);
  std::uniform_int_distribution<int> serials(61, 2958465);
  for (int i = 0; i < 20000; ++i) {
    const int serial = serials(random);
    for (const bool date1904 : {false, true}) {
      const sys_days base = date1904 ? sys_days(year(1904) / 1 / 1) : sys_days(year(1899) / 12 / 30);
      const int n = date1904 ? serial - 1462 : serial;
      if (n < 0) continue;
      const year_month_day ymd(base + days(n));
      char expected[16];
      std::snprintf(expected, sizeof expected, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                    static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
      ASSERT_EQ(xlsx::DateText(n, date1904).value_or("<none>"), expected) << serial << date1904;
    }
  }
}

TEST(XlsxCells, DateFormats) {
  struct Row { const char* name; const char* code; bool date; };
  const Row rows[] = {
      {"ISO", "yyyy\\-mm\\-dd", true}, {"day first", "dd/mm/yyyy", true}, {"month first", "m/d/yy", true},
      {"long with locale", "[$-409]mmmm d, yyyy", true}, {"year only", "yyyy", true},
      {"general", "General", false}, {"decimals", "0.00", false}, {"thousands", "#,##0", false},
      {"letters only in quotes", "\"day \"0", false}, {"letters only in a colour", "[Red]0", false},
      {"escaped letter", "0\\d", false}, {"hours and minutes", "h:mm", false},
      {"minutes and seconds", "mm:ss", false}, {"date and time", "dd/mm/yyyy hh:mm", true},
  };
  for (const Row& r : rows) EXPECT_EQ(xlsx::IsDateFormatCode(r.code), r.date) << r.name;
  for (int id = 0; id < 200; ++id)
    EXPECT_EQ(xlsx::IsBuiltInDateFormat(id), (id >= 14 && id <= 22) || (id >= 45 && id <= 47)) << id;
}

TEST(XlsxCells, XmlText) {
  struct Row { const char* name; const char* raw; const char* text; };
  const Row rows[] = {
      {"plain", "A1", "A1"}, {"named entities", "a&amp;b&lt;c&gt;&quot;&apos;", "a&b<c>\"'"},
      {"character references", "&#65;&#x42;", "AB"}, {"unknown entity kept", "&lol9;", "&lol9;"},
      {"bare ampersand", "a & b", "a & b"}, {"escape", "_x0041_1", "A1"},
      {"not an escape", "x_y_x12_", "x_y_x12_"}, {"non-ASCII reference", "&#233;", "\xC3\xA9"},
  };
  for (const Row& r : rows) {
    std::string out;
    xlsx::AppendXmlText(r.raw, out);
    EXPECT_EQ(out, r.text) << r.name;
  }
}

// ---------------------------------------------------------------- streaming scan

// Text handed on in pieces is joined, as the readers join it.
struct Recorder {
  std::string events;
  std::string decoded;  // the text of every piece, entities replaced
  bool inText = false;
  bool Open(std::string_view name, std::string_view attributes, bool selfClosing) {
    inText = false;
    events += "<" + std::string(name);
    if (auto r = xlsx::Attribute(attributes, "r")) events += " r=" + std::string(*r);
    events += selfClosing ? "/>" : ">";
    return true;
  }
  bool Close(std::string_view name) {
    inText = false;
    events += "</" + std::string(name) + ">";
    return true;
  }
  bool Text(std::string_view raw, bool cdata) {
    if (!cdata) xlsx::AppendXmlText(raw, decoded);
    if (inText && !cdata) {
      events.insert(events.size() - 1, raw);
    } else {
      events += (cdata ? "[C:" : "[") + std::string(raw) + "]";
    }
    inText = !cdata;
    return true;
  }
};

// Whatever the chunks, the same events as the whole text in one piece.
TEST(XmlScan, ChunkBoundariesChangeNothing) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE x [<!ENTITY a \"b>\">]><!-- a > b -->"
      "<x:worksheet xmlns:x=\"u\"><x:sheetData><x:row r=\"1\"><x:c r=\"A1\" t=\"s\"><x:v>0</x:v></x:c>"
      "<x:c r='B1' note=\"a>b\"/><c><is><t><![CDATA[<x>]]></t></is></c><c><v>a long text &amp; _x0041_ "
      "and more _x005F_x0042_&#65;&#x42;___x0043___&amp;&amp;_</v></c></x:row></x:sheetData></x:worksheet>";
  Recorder whole;
  bool stopped = false;
  ASSERT_EQ(xlsx::ScanXml(xml, true, whole, stopped), xml.size());
  EXPECT_EQ(whole.events,
            "[\n]<worksheet><sheetData><row r=1><c r=A1><v>[0]</v></c><c r=B1/><c><is><t>[C:<x>]</t>"
            "</is></c><c><v>[a long text &amp; _x0041_ and more _x005F_x0042_&#65;&#x42;___x0043___&amp;&amp;_]</v></c></row></sheetData></worksheet>");
  std::mt19937 random(3);
  for (int trial = 0; trial < 500; ++trial) {
    Recorder parts;
    std::string pending;
    std::size_t fed = 0;
    while (fed < xml.size()) {
      const std::size_t n = std::min<std::size_t>(1 + random() % 17, xml.size() - fed);
      pending += xml.substr(fed, n);
      fed += n;
      pending.erase(0, xlsx::ScanXml(pending, fed == xml.size(), parts, stopped));
    }
    ASSERT_EQ(parts.events, whole.events) << trial;
    ASSERT_EQ(parts.decoded, whole.decoded) << trial;
    EXPECT_NE(whole.decoded.find("& A and more _x0042_AB__C__&&_"), std::string::npos) << whole.decoded;
  }
}

// ---------------------------------------------------------------- workbooks

// Cell formats 0 general, 1 built-in date 14, 2 custom ISO date, 3 custom number.
WorkbookLayout Styled(std::string rows, bool date1904 = false) {
  WorkbookLayout layout = OneSheet(std::move(rows));
  layout.styles = test::StylesXml({{164, "yyyy\\-mm\\-dd"}, {165, "0.000"}}, {0, 14, 164, 165});
  layout.date1904 = date1904;
  return layout;
}

WorkbookLayout CellKinds() {
  WorkbookLayout layout = Styled(
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
      "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>123</v></c><c r=\"B2\"><v>1.5</v></c>"
      "<c r=\"C2\" s=\"3\"><v>0.10000000000000001</v></c><c r=\"D2\" s=\"1\"><v>44303</v></c>"
      "<c r=\"E2\" s=\"2\"><v>60</v></c><c r=\"F2\" s=\"2\"><v>61</v></c></row>"
      "<row r=\"3\"><c r=\"A3\" t=\"inlineStr\"><is><r><t>In</t></r><r><t>line</t></r></is></c>"
      "<c r=\"B3\" t=\"str\"><f>A3</f><v>Formula</v></c><c r=\"C3\" t=\"b\"><v>1</v></c>"
      "<c r=\"D3\" t=\"b\"><v>0</v></c><c r=\"E3\" t=\"e\"><v>#N/A</v></c>"
      "<c r=\"F3\" t=\"d\"><v>2021-04-17T00:00:00</v></c></row>");
  layout.sharedStrings =
      "<sst xmlns=\"u\"><si><t>Animal</t></si><si><r><t>Fa</t></r><r><rPr/><t>ther</t></r></si>"
      "<si><t>M&amp;ther</t><rPh><t>phonetic</t></rPh></si><si/></sst>";
  return layout;
}

TEST(XlsxWorkbook, CellKindsAndPlaces) {
  struct Row { const char* name; WorkbookLayout layout; NumberedRows rows; std::vector<std::string> errors; };
  const Row rows[] = {
      {"every kind of cell", CellKinds(),
       {{1, {"Animal", "Father", "M&ther"}}, {2, {"123", "1.5", "0.1", "2021-04-17", "1900-02-29", "1900-03-01"}},
        {3, {"Inline", "Formula", "TRUE", "FALSE", "", "2021-04-17"}}},
       {"E3 #N/A"}},
      {"date system 1904",
       Styled("<row r=\"1\"><c s=\"1\"><v>42841</v></c><c s=\"2\"><v>0</v></c><c><v>42841</v></c></row>", true),
       {{1, {"2021-04-17", "1904-01-01", "42841"}}}, {}},
      {"gap between cells", OneSheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"C1\"><v>3</v></c></row>"),
       {{1, {"1", "", "3"}}}, {}},
      {"cells without references count on",
       OneSheet("<row><c><v>1</v></c><c><v>2</v></c><c r=\"E1\"><v>5</v></c><c><v>6</v></c></row>"),
       {{1, {"1", "2", "", "", "5", "6"}}}, {}},
      {"rows without references count on", OneSheet("<row r=\"4\"><c><v>4</v></c></row><row><c><v>5</v></c></row>"),
       {{4, {"4"}}, {5, {"5"}}}, {}},
      {"empty rows and cells left out",
       OneSheet("<row r=\"1\"/><row r=\"2\"><c r=\"A2\"/><c r=\"B2\" s=\"1\"></c></row>"
                "<row r=\"3\"><c r=\"B3\"><v>7</v></c></row>"),
       {{3, {"", "7"}}}, {}},
      {"namespace prefixes", OneSheet("<x:row r=\"9\"><x:c r=\"B9\"><x:v>2</x:v></x:c></x:row>"), {{9, {"", "2"}}}, {}},
  };
  for (const Row& r : rows) {
    TempWorkbook book(r.layout);
    const ReadRows got = Rows(book.path());
    ASSERT_TRUE(got.read.ok) << r.name << ": " << got.read.message;
    EXPECT_EQ(got.rows, r.rows) << r.name;
    EXPECT_EQ(got.errors, r.errors) << r.name;
  }
}

WorkbookLayout ThreeSheets() {
  WorkbookLayout layout;
  layout.sheets = {{"First", "<row>" + Inline("one") + "</row>"},
                   {"Second & more", "<row>" + Inline("two") + "</row>"},
                   {"Third", "<row>" + Inline("three") + "</row>"}};
  return layout;
}

TEST(XlsxWorkbook, SheetChoice) {
  TempWorkbook book(ThreeSheets());
  EXPECT_EQ(ListWorkbookSheets(book.path()).names, (std::vector<std::string>{"First", "Second & more", "Third"}));
  struct Row { const char* name; const char* sheet; const char* cell; };
  const Row rows[] = {
      {"first by default", "", "one"}, {"by name", "Second & more", "two"}, {"the last", "Third", "three"}};
  for (const Row& r : rows) {
    const ReadRows got = Rows(book.path(), r.sheet);
    ASSERT_TRUE(got.read.ok) << r.name;
    EXPECT_EQ(got.rows.at(0).second.at(0), r.cell) << r.name;
  }
  const ReadRows unknown = Rows(book.path(), "third");
  EXPECT_FALSE(unknown.read.ok);
  EXPECT_EQ(unknown.read.message, "The workbook " + book.path() +
                                      " has no sheet named \"third\".\nIts sheets: \"First\", "
                                      "\"Second & more\", \"Third\".");
}

std::string CompoundFile(bool encrypted) {
  std::string bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  bytes.resize(3000, '\0');
  if (encrypted)
    for (const char c : std::string_view("EncryptedPackage")) bytes += {c, '\0'};
  bytes.resize(4096, '\0');
  return bytes;
}

TEST(XlsxWorkbook, RecognisedByContent) {
  TempWorkbook renamed(ThreeSheets(), ".pdg");
  EXPECT_EQ(PedigreeFileKindOf(renamed.path()), PedigreeFileKind::kWorkbook);
  test::TempFile text("Progeny Sire Dam\nA 0 0\n", ".xlsx");
  EXPECT_EQ(PedigreeFileKindOf(text.path()), PedigreeFileKind::kText);
  test::TempFile compound(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'));
  EXPECT_EQ(PedigreeFileKindOf(compound.path()), PedigreeFileKind::kProtected);
  EXPECT_EQ(PedigreeFileKindOf("/no/such/file"), PedigreeFileKind::kText);
}

// ---------------------------------------------------------------- refusals

const std::string kDamaged = "Cannot read the workbook @.\nThe file is damaged or is not an .xlsx workbook.";
const std::string kProtected =
    "Cannot open @\nThe workbook is password-protected. Save it without a password and open it again.";

// `message` with its @ replaced by `path`.
std::string At(std::string message, const std::string& path) { return message.replace(message.find('@'), 1, path); }

TEST(XlsxRefusals, DamagedOldAndEmptyFiles) {
  TempWorkbook good(ThreeSheets());
  const std::string bytes = test::ReadWholeFile(good.path());
  auto without = [](const std::string& drop) {
    auto parts = WorkbookParts(ThreeSheets());
    std::erase_if(parts, [&](const test::ZipPart& p) { return p.name == drop; });
    return parts;
  };
  auto brokenXml = WorkbookParts(ThreeSheets());
  brokenXml[2].data = "<workbook><sheets><sheet name=";
  struct Row {
    const char* name;
    std::string contents;
    std::vector<test::ZipPart> parts;
    std::string message;
    const char* extension = ".xlsx";
    bool listed = false;  // the sheets listed rather than one read
  };
  const Row rows[] = {
      {"cut in half", bytes.substr(0, bytes.size() / 2), {}, kDamaged},
      {"only the signature", "PK\x03\x04", {}, kDamaged},
      {"a byte changed", [&] { std::string b = bytes; b[b.size() / 3] ^= 0x55; return b; }(), {}, kDamaged},
      {"no workbook part", "", without("xl/workbook.xml"), kDamaged},
      {"no sheet part", "", without("xl/worksheets/sheet1.xml"), kDamaged},
      {"no relationships", "", without("xl/_rels/workbook.xml.rels"), kDamaged},
      {"malformed workbook XML", "", brokenXml, kDamaged},
      {"no worksheet", "", WorkbookParts(WorkbookLayout{}), "Cannot read the workbook @.\nIt has no worksheet.",
       ".xlsx", true},
      {"encrypted compound file", CompoundFile(true), {}, kProtected},
      {"old format", CompoundFile(false), {},
       "Cannot read the workbook @.\nIt is in the old .xls format; save it as an .xlsx workbook and open it again.",
       ".xls", true},
  };
  for (const Row& r : rows) {
    test::TempFile file(r.contents, r.extension);
    if (!r.parts.empty()) {
      ASSERT_TRUE(WriteZip(file.path(), r.parts));
    }
    const ReadRows got = r.listed ? ReadRows{} : Rows(file.path());
    EXPECT_FALSE(got.read.ok) << r.name;
    EXPECT_EQ(r.listed ? ListWorkbookSheets(file.path()).message : got.read.message, At(r.message, file.path()))
        << r.name;
  }
}

TEST(XlsxRefusals, EncryptedEntries) {
  const auto parts = WorkbookParts(ThreeSheets());
  test::TempFile file("", ".xlsx");
  int error = 0;
  zip_t* z = zip_open(file.path().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& part : parts) {
    const zip_int64_t i = zip_file_add(z, part.name.c_str(),
                                       zip_source_buffer(z, part.data.data(), part.data.size(), 0), 0);
    if (zip_file_set_encryption(z, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, "secret") != 0) {
      zip_discard(z);
      GTEST_SKIP() << "this libzip cannot encrypt";
    }
  }
  ASSERT_EQ(zip_close(z), 0);
  EXPECT_EQ(ListWorkbookSheets(file.path()).message, At(kProtected, file.path()));
}

// A sheet of 64 MB of blanks packs into some 64 KB: far beyond 100 times
// the file. It is refused at the limit, long before it is all unpacked.
TEST(XlsxRefusals, DecompressionBomb) {
  TempWorkbook book(OneSheet("<row><c><v>1</v></c></row>" + std::string(64u << 20, ' ')));
  EXPECT_LT(std::filesystem::file_size(book.path()), 1u << 20);
  std::int64_t rows = 0;
  const SheetRead read = ReadWorkbookSheet(book.path(), "", [&rows](const SheetRow&) {
    ++rows;
    return true;
  });
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.message, "Cannot read the workbook " + book.path() +
                              ".\nIts part xl/worksheets/sheet1.xml unpacks to far more than the "
                              "file's size; the file is damaged or made to harm.");
  // The same in the shared strings, which are read before any row.
  WorkbookLayout strings = OneSheet("<row><c t=\"s\"><v>0</v></c></row>");
  strings.sharedStrings = SharedStringsXml({std::string(64u << 20, 'a')});
  TempWorkbook bomb(strings);
  EXPECT_NE(Rows(bomb.path()).read.message.find("Its part xl/sharedStrings.xml unpacks"), std::string::npos);
}

// Stored (not deflated) parts may be as large as the file: a long run of
// text is read in pieces, a tag that never ends is refused.
TEST(XlsxRefusals, LongTokens) {
  const std::string row = "<row><c><v>1</v></c></row>";
  struct Row { const char* name; std::string rows; bool ok; };
  const Row rows[] = {
      {"blanks between rows", row + std::string(40u << 20, ' ') + row, true},
      {"a tag without its end", row + "<x a=\"" + std::string(40u << 20, 'a'), false},
  };
  for (const Row& r : rows) {
    auto parts = WorkbookParts(OneSheet(r.rows));
    for (auto& part : parts) part.stored = true;
    TempWorkbook book(parts);
    const auto started = std::chrono::steady_clock::now();
    const ReadRows got = Rows(book.path());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << r.name;
    EXPECT_EQ(got.read.ok, r.ok) << r.name;
    if (r.ok) {
      EXPECT_EQ(got.rows.size(), 2u) << r.name;
    } else {
      EXPECT_EQ(got.read.message, At(kDamaged, book.path())) << r.name;
    }
  }
}

// Cells and rows that no spreadsheet writes are refused with the sheet and
// the cell, or the row, where they stand.
TEST(XlsxRefusals, CellFaultsNameTheSheetAndCell) {
  const std::string one = "<c><v>1</v></c>";
  WorkbookLayout badString = OneSheet("<row r=\"4\">" + one + "<c r=\"B4\" t=\"s\"><v>3</v></c></row>");
  badString.sharedStrings = SharedStringsXml({"only"});
  WorkbookLayout badIndex = OneSheet("<row><c t=\"s\"><v>x</v></c></row>");
  badIndex.sharedStrings = SharedStringsXml({"only"});
  WorkbookLayout quotedSheet = OneSheet("<row><c t=\"s\"><v>1</v></c></row>");
  quotedSheet.sheets[0].name = "Herd A";
  quotedSheet.sharedStrings = SharedStringsXml({"only"});
  const std::string beyond = " is beyond the sheet's 1,048,576 rows.";
  struct Row { const char* name; WorkbookLayout layout; std::string message; };
  const Row rows[] = {
      {"a row beyond the sheet", OneSheet("<row r=\"1048577\">" + one + "</row>"),
       "In sheet S, row 1048577" + beyond},
      {"the largest 64-bit row", OneSheet("<row r=\"9223372036854775807\">" + one + "</row><row>" + one + "</row>"),
       "In sheet S, row 9223372036854775807" + beyond},
      {"a row beyond 64 bits", OneSheet("<row r=\"99999999999999999999999999999999\">" + one + "</row>"),
       "In sheet S, row 999999999999999999999999..." + beyond},
      {"counting on past the last row", OneSheet("<row r=\"1048576\">" + one + "</row><row>" + one + "</row>"),
       "In sheet S, row 1048577" + beyond},
      {"a cell beyond the rows", OneSheet("<row r=\"7\"><c r=\"C1048577\"><v>1</v></c></row>"),
       "In cell S!C1048577, row 1048577" + beyond},
      {"a cell beyond 64 bits", OneSheet("<row r=\"7\"><c r=\"C18446744073709551617\"><v>1</v></c></row>"),
       "In cell S!C18446744073709551617, row 18446744073709551617" + beyond},
      {"a cell beyond the columns", OneSheet("<row r=\"2\"><c r=\"XFE2\"><v>1</v></c></row>"),
       "In cell S!XFE2, column XFE is beyond the sheet's 16,384 columns."},
      {"counting on past the last column", OneSheet("<row r=\"2\"><c r=\"XFD2\"><v>1</v></c>" + one + "</row>"),
       "In cell S!XFE2, column XFE is beyond the sheet's 16,384 columns."},
      {"a malformed reference", OneSheet("<row r=\"3\"><c r=\"1A\"><v>3</v></c></row>"),
       "Its sheet S is damaged: in row 3, \"1A\" is not a cell reference."},
      {"a malformed row number", OneSheet("<row r=\"x1\">" + one + "</row>"),
       "Its sheet S is damaged: \"x1\" is not a row number."},
      {"row zero", OneSheet("<row r=\"0\">" + one + "</row>"), "Its sheet S is damaged: \"0\" is not a row number."},
      {"a shared string out of range", badString,
       "Cell S!B4 is damaged: it refers to the shared string \"3\", which the workbook does not hold."},
      {"a shared string index not a number", badIndex,
       "Cell S!A1 is damaged: it refers to the shared string \"x\", which the workbook does not hold."},
      {"a sheet name that a reference quotes", quotedSheet,
       "Cell 'Herd A'!A1 is damaged: it refers to the shared string \"1\", which the workbook does not hold."},
  };
  for (const Row& r : rows) {
    TempWorkbook book(r.layout);
    const ReadRows got = Rows(book.path());
    EXPECT_FALSE(got.read.ok) << r.name;
    EXPECT_EQ(got.read.message, "Cannot read the workbook " + book.path() + ".\n" + r.message) << r.name;
  }
}

// A sheet part that is not a worksheet in XML is damage, not an empty file.
TEST(XlsxRefusals, SheetsThatAreNotXml) {
  struct Row { const char* name; std::string data; };
  const Row rows[] = {
      {"empty", ""},
      {"plain text", "Progeny Sire Dam\nA 0 0\n"},
      {"binary", std::string("\x00\x01\x02PK\x03\x04", 7)},
      {"another document", "<?xml version=\"1.0\"?><html><body>A</body></html>"},
      {"a closing tag first", "</worksheet><worksheet/>"},
  };
  for (const Row& r : rows) {
    auto parts = WorkbookParts(OneSheet("<row>" + Inline("A") + "</row>"));
    for (auto& part : parts)
      if (part.name == "xl/worksheets/sheet1.xml") part.data = r.data;
    TempWorkbook book(parts);
    const ReadRows got = Rows(book.path());
    EXPECT_FALSE(got.read.ok) << r.name;
    EXPECT_EQ(got.read.message, "Cannot read the workbook " + book.path() +
                                    ".\nIts sheet S (part xl/worksheets/sheet1.xml) is not a worksheet in XML; "
                                    "the file is damaged.")
        << r.name;
  }
  // What may stand before the worksheet: a byte-order mark, blanks, the
  // declaration, comments.
  auto parts = WorkbookParts(OneSheet("<row>" + Inline("A") + "</row>"));
  parts[4].data.insert(0, "\xEF\xBB\xBF \r\n");
  ASSERT_EQ(parts[4].name, "xl/worksheets/sheet1.xml");
  parts[4].data.insert(parts[4].data.find("<worksheet"), "<!-- made by hand -->\n");
  TempWorkbook book(parts);
  const ReadRows got = Rows(book.path());
  ASSERT_TRUE(got.read.ok) << got.read.message;
  EXPECT_EQ(got.rows, (NumberedRows{{1, {"A"}}}));
}

// A document type or an entity declaration, internal or external, in any
// part that is read refuses the workbook: nothing in it is expanded or
// fetched. Markup that only looks like one, in a comment or CDATA, is read.
TEST(XlsxRefusals, DeclarationsAreRefused) {
  const std::string internal = "<!DOCTYPE lolz [<!ENTITY lol \"lol\"><!ENTITY lol2 \"&lol;&lol;&lol;\">]>";
  const std::string external = "<!DOCTYPE x [<!ENTITY ext SYSTEM \"file:///etc/passwd\">]>";
  const std::string bare = "<!ENTITY lol \"lol\">";
  WorkbookLayout layout = OneSheet("<row>" + Inline("A") + "<c t=\"s\"><v>0</v></c></row>");
  layout.sharedStrings = SharedStringsXml({"B"});
  layout.styles = test::StylesXml({}, {0});
  struct Row { const char* name; const char* part; std::string declaration; bool refused; };
  const Row rows[] = {
      {"internal subset in the sheet", "xl/worksheets/sheet1.xml", internal, true},
      {"external entity in the sheet", "xl/worksheets/sheet1.xml", external, true},
      {"a bare entity in the sheet", "xl/worksheets/sheet1.xml", bare, true},
      {"a document type without a subset", "xl/worksheets/sheet1.xml", "<!DOCTYPE worksheet>", true},
      {"lower case", "xl/worksheets/sheet1.xml", "<!doctype worksheet>", true},
      {"in the shared strings", "xl/sharedStrings.xml", internal, true},
      {"in the workbook", "xl/workbook.xml", external, true},
      {"in the workbook's relationships", "xl/_rels/workbook.xml.rels", internal, true},
      {"in the package's relationships", "_rels/.rels", external, true},
      {"in the styles", "xl/styles.xml", internal, true},
      {"in a comment", "xl/worksheets/sheet1.xml", "<!-- <!DOCTYPE x [<!ENTITY a \"b\">]> -->", false},
      {"in a comment of the workbook", "xl/workbook.xml", "<!-- <!DOCTYPE x> -->", false},
  };
  for (const Row& r : rows) {
    auto parts = WorkbookParts(layout);
    const auto part = std::find_if(parts.begin(), parts.end(), [&](const test::ZipPart& p) { return p.name == r.part; });
    ASSERT_NE(part, parts.end()) << r.name;
    const std::size_t root = part->data.find('<', part->data.find("?>") == std::string::npos ? 0 : part->data.find("?>"));
    part->data.insert(root, r.declaration);
    TempWorkbook book(parts);
    const ReadRows got = Rows(book.path());
    if (!r.refused) {
      ASSERT_TRUE(got.read.ok) << r.name << ": " << got.read.message;
      EXPECT_EQ(got.rows, (NumberedRows{{1, {"A", "B"}}})) << r.name;
      continue;
    }
    EXPECT_FALSE(got.read.ok) << r.name;
    EXPECT_EQ(got.read.message, "Cannot read the workbook " + book.path() + ".\nIts part " + r.part +
                                    " declares a document type or entities, which spreadsheet programs never "
                                    "write; the file is not read.")
        << r.name;
  }
  // A part in UTF-16, which the small parts' parser reads too.
  {
    auto parts = WorkbookParts(layout);
    std::string& book = parts[2].data;
    ASSERT_EQ(parts[2].name, "xl/workbook.xml");
    book.insert(book.find("<workbook"), "<!DOCTYPE x [<!ENTITY a \"b\">]>");
    book.replace(0, book.find("?>") + 2, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
    std::string utf16 = "\xFF\xFE";
    for (const char c : book) utf16 += {c, '\0'};
    book = utf16;
    TempWorkbook utf16Book(parts);
    EXPECT_EQ(Rows(utf16Book.path()).read.message,
              "Cannot read the workbook " + utf16Book.path() +
                  ".\nIts part xl/workbook.xml declares a document type or entities, which spreadsheet programs "
                  "never write; the file is not read.");
  }
  // CDATA is text: a cell may hold what looks like a declaration.
  TempWorkbook cdata(OneSheet("<row><c t=\"inlineStr\"><is><t><![CDATA[<!DOCTYPE x>]]></t></is></c></row>"));
  const ReadRows got = Rows(cdata.path());
  ASSERT_TRUE(got.read.ok) << got.read.message;
  EXPECT_EQ(got.rows, (NumberedRows{{1, {"<!DOCTYPE x>"}}}));
}

// Text that compresses poorly, so that the file stays within the inflation
// ratio and only memory bounds it.
std::string RandomLetters(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(n, 'a');
  for (char& c : text) c = static_cast<char>('a' + random() % 26);
  return text;
}

// What a workbook may unpack into memory is bounded: shared strings, a
// row's cells and the small parts parsed whole are refused with the memory
// named, never read until the allocation fails.
TEST(XlsxRefusals, MemoryBoundsWhatIsHeld) {
  const std::uint64_t mb = std::uint64_t{1} << 20;
  std::vector<std::string> many;
  for (int i = 0; i < 30000; ++i) many.push_back(RandomLetters(100, static_cast<unsigned>(i)));
  WorkbookLayout strings = OneSheet("<row><c t=\"s\"><v>29999</v></c></row>");
  strings.sharedStrings = SharedStringsXml(many);
  WorkbookLayout longCell = OneSheet("<row r=\"3\">" + Inline(RandomLetters(3 * mb, 1)) + "</row>");
  WorkbookLayout longString = OneSheet("<row><c t=\"s\"><v>0</v></c></row>");
  longString.sharedStrings = SharedStringsXml({RandomLetters(3 * mb, 2)});
  auto bigBook = WorkbookParts(OneSheet("<row>" + Inline("A") + "</row>"));
  bigBook[2].data.insert(bigBook[2].data.find("<workbook"), "<!--" + RandomLetters(mb, 3) + "-->");
  ASSERT_EQ(bigBook[2].name, "xl/workbook.xml");
  struct Row { const char* name; std::vector<test::ZipPart> parts; std::uint64_t memory; std::string message; };
  const Row rows[] = {
      {"many shared strings", WorkbookParts(strings), 2 * mb,
       "Its part xl/sharedStrings.xml unpacks to more than the 2 MB of memory free to hold it."},
      {"one long shared string", WorkbookParts(longString), 2 * mb,
       "Its part xl/sharedStrings.xml unpacks to more than the 2 MB of memory free to hold it."},
      {"one long cell", WorkbookParts(longCell), 2 * mb,
       "Row 3 of sheet S unpacks to more than the 2 MB of memory free to hold it."},
      {"a large workbook part", bigBook, 2 * mb,
       "Its part xl/workbook.xml unpacks to more than the 2 MB of memory free to hold it."},
      {"many shared strings within the memory", WorkbookParts(strings), 64 * mb, ""},
  };
  for (const Row& r : rows) {
    TempWorkbook book(r.parts);
    std::vector<std::string> cells;
    const SheetRead read = ReadWorkbookSheet(
        book.path(), "",
        [&cells](const SheetRow& row) {
          cells.assign(row.cells.begin(), row.cells.end());
          return true;
        },
        {}, r.memory);
    if (r.message.empty()) {
      ASSERT_TRUE(read.ok) << r.name << ": " << read.message;
      EXPECT_EQ(cells, (std::vector<std::string>{many.back()})) << r.name;
      continue;
    }
    EXPECT_FALSE(read.ok) << r.name;
    EXPECT_EQ(read.message, "Cannot read the workbook " + book.path() + ".\n" + r.message) << r.name;
  }
}

// Shared strings kept in one buffer give back each string whole, the empty
// ones and rich-text runs included.
TEST(XlsxWorkbook, ManySharedStringsReadBack) {
  std::vector<std::string> strings;
  std::string rows;
  for (int i = 0; i < 5000; ++i) {
    strings.push_back(i % 7 == 0 ? std::string() : "S" + std::to_string(i * 7919 % 100003));
    rows += "<row r=\"" + std::to_string(i + 1) + "\"><c t=\"s\"><v>" + std::to_string(4999 - i) + "</v></c>" +
            Inline("x") + "</row>";
  }
  WorkbookLayout layout = OneSheet(rows);
  layout.sharedStrings = SharedStringsXml(strings);
  TempWorkbook book(layout);
  const ReadRows got = Rows(book.path());
  ASSERT_TRUE(got.read.ok) << got.read.message;
  ASSERT_EQ(got.rows.size(), 5000u);
  for (int i = 0; i < 5000; ++i) {
    const std::string& expected = strings[static_cast<std::size_t>(4999 - i)];
    ASSERT_EQ(got.rows[static_cast<std::size_t>(i)].second, (Cells{expected, "x"})) << i;
  }
}

// ---------------------------------------------------------------- pedigrees

const std::string kData = std::string(KINVAR_EXAMPLES_DIR) + "/../tests/data/xlsx/";

// Everything a loaded pedigree says of its individuals, by code, with F
// computed: two loads of the same pedigree give equal lists.
std::vector<std::string> LoadedFrom(const std::string& path, const std::string& sheet = "") {
  Pedigree ped;
  const LoadOutcome outcome = test::LoadPath(path, ped, sheet);
  EXPECT_EQ(outcome.status, LoadStatus::kLoaded) << path << ": " << outcome.message;
  if (outcome.status != LoadStatus::kLoaded) return {};
  SilentProgressWindow window;
  Progress progress(window);
  EXPECT_TRUE(ComputeInbreeding(ped, progress));
  EnsureCodeOrder(ped);
  std::vector<std::string> lines;
  lines.push_back("read " + std::to_string(ped.nRead) + " total " + std::to_string(ped.nTotal) + " columns " +
                  std::to_string(ped.groupColumn) + std::to_string(ped.fColumn) +
                  std::to_string(ped.sexColumn) + std::to_string(ped.birthColumn));
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    char f[32];
    std::snprintf(f, sizeof f, "%.9g", static_cast<double>(r.f));
    lines.push_back(std::string(r.id) + " " + ped.rec(r.sire).id + " " + ped.rec(r.dam).id + " g" +
                    std::to_string(ped.GroupNumber(r)) + " f" + f + (r.fPredefined ? "p" : "") + " s" +
                    std::to_string(static_cast<int>(r.sex)) + " b" + std::to_string(r.birth));
  }
  return lines;
}

// Against the CSV that LibreOffice converted, as a text pedigree: single
// semicolons keep its empty cells.
TEST(XlsxPedigree, LibreOfficeWorkbooksEqualTheirText) {
  for (const char* name : {"plain", "numeric", "empty", "dates", "groups"}) {
    SCOPED_TRACE(name);
    std::string text = test::ReadWholeFile(kData + "source/" + name + ".csv");
    ASSERT_FALSE(text.empty());
    std::replace(text.begin(), text.end(), ',', ';');
    test::TempFile file(text);
    const auto fromText = LoadedFrom(file.path());
    ASSERT_GT(fromText.size(), 1u);
    EXPECT_EQ(LoadedFrom(kData + name + ".xlsx"), fromText);
  }
}

TEST(XlsxPedigree, EachSheetOfATwoSheetWorkbook) {
  test::TempFile a("Progeny Sire Dam\nP1 0 0\nP2 0 0\nP3 P1 P2\n");
  test::TempFile b("Animal Father Mother Group\nQ1 0 0 1\nQ2 0 0 1\nQ3 Q1 Q2 2\nQ4 Q3 Q2 2\n");
  const std::string book = kData + "two_sheets.xlsx";
  EXPECT_EQ(LoadedFrom(book), LoadedFrom(a.path()));
  EXPECT_EQ(LoadedFrom(book, "Herd A"), LoadedFrom(a.path()));
  EXPECT_EQ(LoadedFrom(book, "Herd B"), LoadedFrom(b.path()));
}

TEST(XlsxPedigree, TheExampleHerdEqualsItsText) {
  const std::string examples = KINVAR_EXAMPLES_DIR;
  auto fromBook = LoadedFrom(examples + "/herd.xlsx");
  auto fromText = LoadedFrom(examples + "/herd.pdg");
  ASSERT_EQ(fromBook.size(), fromText.size());
  // The workbook adds a sex and birth dates; the relatives and F agree.
  for (auto* lines : {&fromBook, &fromText}) {
    lines->erase(lines->begin());
    for (std::string& line : *lines) line = line.substr(0, line.find(" s"));
  }
  EXPECT_EQ(fromBook, fromText);
}

// Messages name the sheet's own row number and the cell of an error value.
TEST(XlsxPedigree, ErrorValuesAndMessages) {
  const std::string header = "<row r=\"1\">" + Inline("Animal") + Inline("Sire") + Inline("Dam") + "</row><row r=\"2\"><c><v>1</v></c></row>";
  struct Row { const char* name; std::string rows; LoadStatus status; const char* message; };
  const Row rows[] = {
      {"error value in a named column", header + "<row r=\"3\"><c r=\"A3\"><v>2</v></c><c r=\"B3\" t=\"e\"><v>#N/A</v></c></row>",
       LoadStatus::kReadFailed, "Error in cell S!B3.\nThe cell holds the error value #N/A."},
      {"error value in a column without a name",
       header + "<row r=\"3\"><c r=\"A3\"><v>2</v></c><c r=\"E3\" t=\"e\"><v>#DIV/0!</v></c></row>", LoadStatus::kLoaded, ""},
      {"the sheet's row number",
       "<row r=\"2\">" + Inline("Progeny") + Inline("Sire") + Inline("Dam") + Inline("F") +
           "</row><row r=\"5\"><c><v>1</v></c><c><v>0</v></c><c><v>0</v></c><c><v>1.5</v></c></row>",
       LoadStatus::kReadFailed,
       "Error in cell S!D5.\nThe inbreeding coefficient must be in the range of 0 - 1.\nColumn F: \"1.5\""},
  };
  for (const Row& r : rows) {
    TempWorkbook book(OneSheet(r.rows));
    Pedigree ped;
    const LoadOutcome outcome = test::LoadPath(book.path(), ped);
    EXPECT_EQ(outcome.status, r.status) << r.name;
    EXPECT_EQ(outcome.message, r.message) << r.name;
  }
}

// A cell that the rules refuse is named by its sheet and cell, and the cells
// that a text file cannot have (a line break, a control character, a double
// quote in an ID) and an F that is not wholly a number are refused too:
// Kinvar's own saved file would otherwise refuse or change the ID.
TEST(XlsxPedigree, RefusedCellsAreNamed) {
  const auto row = [](std::initializer_list<std::string> cells, int number = 3) {
    std::string xml = "<row r=\"" + std::to_string(number) + "\">";
    for (const std::string& c : cells) xml += c.empty() ? "<c/>" : Inline(c);
    return xml + "</row>";
  };
  const std::string header = row({"Progeny", "Sire", "Dam", "F"}, 1) + row({"P", "0", "0", "."}, 2);
  const std::string controls = "contains a control character (shown as ?). IDs cannot contain control characters.";
  const std::string quotes = "contains a double quote. IDs cannot contain double quotes, since Kinvar reads a "
                             "double quote in its files as the start of a quoted field.";
  const auto notNumber = [](const std::string& cell, const std::string& at = "S!D3") {
    return "Error in cell " + at + ".\nThe inbreeding coefficient must be a number in the range of 0 - 1.\nColumn F: \"" +
           cell + "\"";
  };
  struct Row { const char* name; std::string rows; std::string message; const char* sheet = "S"; };
  const Row rows[] = {
      {"a line break (Alt+Enter)", row({"A\nB", "0", "0", "."}),
       "Error in cell S!A3, column Progeny.\nThe ID \"A?B\" " + controls},
      {"an escaped line break", row({"A_x000A_B", "0", "0", "."}),
       "Error in cell S!A3, column Progeny.\nThe ID \"A?B\" " + controls},
      {"an escaped control character", row({"A_x0001_", "0", "0", "."}),
       "Error in cell S!A3, column Progeny.\nThe ID \"A?\" " + controls},
      {"a character reference to a carriage return", row({"P", "S&#13;", "0", "."}),
       "Error in cell S!B3, column Sire.\nThe ID \"S?\" " + controls},
      {"a trailing line break in a dam", row({"A", "0", "D\n", "."}),
       "Error in cell S!C3, column Dam.\nThe ID \"D?\" " + controls},
      {"a quoted ID", row({"&quot;Q&quot;", "0", "0", "."}),
       "Error in cell S!A3, column Progeny.\nThe ID \"\"Q\"\" " + quotes},
      {"a quote inside a sire", row({"A", "S\"1", "0", "."}),
       "Error in cell S!B3, column Sire.\nThe ID \"S\"1\" " + quotes},
      {"an F with letters after it", row({"A", "0", "0", "0.5xyz"}),
       notNumber("0.5xyz")},
      {"an F of letters", row({"A", "0", "0", "abc"}),
       notNumber("abc")},
      {"an F of a boolean cell", "<row r=\"3\">" + Inline("A") + "<c><v>0</v></c><c><v>0</v></c><c t=\"b\"><v>1</v></c></row>",
       notNumber("TRUE")},
      {"an F of two points", row({"A", "0", "0", "0.2.5"}),
       notNumber("0.2.5")},
      {"a quoted sheet name", row({"A", "0", "0", "x"}),
       notNumber("x", "'Herd A'!D3"), "Herd A"},
      {"a forbidden character", row({"A", "0", "D&lt;", "."}),
       "Error in cell S!C3.\nThese characters   '<'   '>'   '|'   '!'   are not permitted.\nColumn Dam: \"D<\""},
      {"an ID too long", row({"A", std::string(21, 'S'), "0", "."}),
       "Error in cell S!B3.\nThe length of each field should not be more than 20.\nColumn Sire: \"" +
           std::string(21, 'S') + "\""},
      {"a blank inside an ID", row({"A B", "0", "0", "."}),
       "Error in cell S!A3, column Progeny.\nThe ID \"A B\" contains a blank. IDs cannot contain blanks, since "
       "Kinvar writes its files with blanks between the columns."},
      {"no ID", row({"", "S", "D", "."}), "Error in cell S!A3, column Progeny.\nThe individual has no ID."},
      {"an F beyond 1", row({"A", "0", "0", "1.5"}),
       "Error in cell S!D3.\nThe inbreeding coefficient must be in the range of 0 - 1.\nColumn F: \"1.5\""},
      {"accepted: a decimal comma, a missing F, blanks around a cell",
       row({" A ", "0", "0", "0,25"}) + row({"B", "A", "0", "."}, 4) + row({"C", "0", "0", ""}, 5), ""},
  };
  for (const Row& r : rows) {
    WorkbookLayout layout = OneSheet(header + r.rows);
    layout.sheets[0].name = r.sheet;
    TempWorkbook book(layout);
    Pedigree ped;
    const LoadOutcome outcome = test::LoadPath(book.path(), ped);
    EXPECT_EQ(outcome.status, r.message.empty() ? LoadStatus::kLoaded : LoadStatus::kReadFailed) << r.name;
    EXPECT_EQ(outcome.message, r.message) << r.name;
  }
}

// Any ID that loads is one that Kinvar's own files hold: no control byte,
// no quote, no blank, whatever a cell held.
TEST(XlsxPedigree, LoadedIdsHoldNoControlsOrQuotes) {
  std::mt19937 random(5);
  const std::string pieces[] = {"A", "b", "7", "_x000A_", "_x0009_", "_x001F_", "&quot;", "&#10;", "&#x7F;",
                                "\n", "'", "-", "\xC3\xA9"};
  int loaded = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::string id;
    for (int i = 0, n = 1 + static_cast<int>(random() % 4); i < n; ++i) id += pieces[random() % std::size(pieces)];
    TempWorkbook book(OneSheet("<row>" + Inline("Progeny") + Inline("Sire") + Inline("Dam") + "</row><row>" +
                               Inline(id) + "<c><v>0</v></c><c><v>0</v></c></row>"));
    Pedigree ped;
    const LoadOutcome outcome = test::LoadPath(book.path(), ped);
    if (outcome.status != LoadStatus::kLoaded) {
      EXPECT_TRUE(outcome.message.starts_with("Error in cell S!A2")) << id << ": " << outcome.message;
      continue;
    }
    ++loaded;
    for (std::int32_t i = 0; i < ped.nTotal; ++i) {
      for (const char c : ped.byCode(i).Id()) {
        const auto b = static_cast<unsigned char>(c);
        EXPECT_TRUE(b >= 0x20 && b != 0x7F && c != '"' && c != ' ') << id;
      }
    }
  }
  EXPECT_GT(loaded, 10);
}

}  // namespace
}  // namespace kinvar
