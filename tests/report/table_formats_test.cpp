// The table writers against independent readers: every format gives back
// the table it was given, floats come back as the same float, and the bytes
// of small tables are what other software expects.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "app/table_export.h"
#include "report/table_formats.h"
#include "support/table_readers.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::TextRows;

std::string Written(const std::function<void(OutputFile&)>& write) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("kinvar-table-" + std::to_string(::getpid()))).string();
  std::string error;
  auto out = OutputFile::Begin(path, error);
  write(*out);
  EXPECT_TRUE(out->Commit()) << out->error();
  std::string text = test::ReadWholeFile(path);
  std::filesystem::remove(path);
  return text;
}

ResultTable SmallTable() {
  ResultTable table("pairs");
  table.AddColumn("id1", ColumnType::kId)
      .AddColumn("id2", ColumnType::kId)
      .AddColumn("value", ColumnType::kReal)
      .AddColumn("count", ColumnType::kInteger, "individuals")
      .AddColumn("known", ColumnType::kBoolean)
      .AddColumn("note", ColumnType::kText);
  table.AddRow().Id("A").Id("B").Float(0.1f).Integer(3).Boolean(true).Text("plain");
  table.AddRow().Id("C").Id("").Float(0.28125f).Missing().Boolean(false).Text("a, \"b\"");
  table.AddRow().Id("D").Id("E").Missing().Integer(-7).Missing().Missing();
  table.AddRow().Id("F").Id("G").Float(1e-5f).Integer(0).Boolean(true).Text("two\nlines");
  return table;
}

TEST(TableFormats, CsvBytesQuoteOnlyWhatRfc4180Requires) {
  std::string error;
  EXPECT_EQ(Written([&](OutputFile& out) { WriteDelimited(SmallTable(), TableFormat::kCsv, out, error); }),
            "id1,id2,value,count,known,note\r\n"
            "A,B,0.1,3,true,plain\r\n"
            "C,,0.28125,,false,\"a, \"\"b\"\"\"\r\n"
            "D,E,,-7,,\r\n"
            "F,G,1e-05,0,true,\"two\nlines\"\r\n");
}

TEST(TableFormats, TsvRefusesALineBreakInAValue) {
  std::string error;
  Written([&](OutputFile& out) { EXPECT_FALSE(WriteDelimited(SmallTable(), TableFormat::kTsv, out, error)); });
  EXPECT_EQ(error, "A value of column note of table pairs in row 4 holds a tab or a line break, "
                   "which TSV cannot hold. Write CSV or JSON instead.");
}

TEST(TableFormats, JsonBytesNameTypesUnitsAndNulls) {
  ResultSet set;
  ResultTable& summary = set.Add(SummaryTable());
  summary.AddFigure("Number of individuals", 12);
  summary.AddFigure("Mean F", 0.0625f);
  summary.AddFigure("Not defined", std::numeric_limits<double>::quiet_NaN());
  set.Add("empty").AddColumn("id", ColumnType::kId);
  EXPECT_EQ(Written([&](OutputFile& out) { WriteJson(set, "diversity", "/data/h\"erd.pdg", out); }),
            "{\"command\": \"diversity\",\n"
            " \"pedigree\": \"/data/h\\\"erd.pdg\",\n"
            " \"tables\": {\n"
            " \"summary\": {\"columns\": [{\"name\": \"figure\", \"type\": \"text\", \"unit\": null}, "
            "{\"name\": \"value\", \"type\": \"real\", \"unit\": null}],\n"
            "  \"rows\": [\n"
            "    [\"Number of individuals\", 12],\n"
            "    [\"Mean F\", 0.0625],\n"
            "    [\"Not defined\", null]\n"
            "  ]},\n"
            " \"empty\": {\"columns\": [{\"name\": \"id\", \"type\": \"id\", \"unit\": null}],\n"
            "  \"rows\": []}}}\n");
}

// Random cells of every type, with the characters that need quoting, bytes
// that are not UTF-8, and missing values.
ResultTable RandomTable(std::mt19937& rng, bool tsvSafe) {
  ResultTable table("random");
  table.AddColumn("id", ColumnType::kId)
      .AddColumn("f", ColumnType::kReal)
      .AddColumn("d", ColumnType::kReal)
      .AddColumn("n", ColumnType::kInteger)
      .AddColumn("b", ColumnType::kBoolean)
      .AddColumn("t", ColumnType::kText);
  const std::string alphabet = tsvSafe ? "AZ09 ,\"'-_\xe9" : "AZ09 ,\"'\r\n\t-_\xe9";
  auto text = [&] {
    std::string s;
    for (int k = std::uniform_int_distribution<>(0, 8)(rng); k > 0; --k)
      s.push_back(alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)]);
    return s;
  };
  std::uniform_real_distribution<float> unit(-2.0f, 2.0f);
  for (int r = 0; r < 200; ++r) {
    auto row = table.AddRow();
    row.Id(text());
    const float f = unit(rng) * std::pow(10.0f, static_cast<float>(std::uniform_int_distribution<>(-8, 3)(rng)));
    if (r % 11 == 0) row.Missing(); else row.Float(f);
    row.Real(std::ldexp(static_cast<double>(rng()), -std::uniform_int_distribution<>(0, 60)(rng)));
    if (r % 7 == 0) row.Missing(); else row.Integer(static_cast<std::int64_t>(rng()) - (1LL << 31));
    if (r % 5 == 0) row.Missing(); else row.Boolean(rng() % 2 == 0);
    row.Text(text());
  }
  return table;
}

TextRows Utf8(TextRows rows) {
  for (auto& row : rows)
    for (auto& cell : row) cell = AsUtf8(cell);
  return rows;
}

TEST(TableFormats, EveryFormatReadsBackToTheSameTable) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    const ResultTable any = RandomTable(rng, false), tsvSafe = RandomTable(rng, true);
    std::string error;
    EXPECT_EQ(test::ParseCsv(Written([&](OutputFile& out) {
                EXPECT_TRUE(WriteDelimited(any, TableFormat::kCsv, out, error));
              })), test::ExpectedRows(any));
    EXPECT_EQ(test::ParseTsv(Written([&](OutputFile& out) {
                EXPECT_TRUE(WriteDelimited(tsvSafe, TableFormat::kTsv, out, error));
              })), test::ExpectedRows(tsvSafe));
    ResultSet set;
    set.Add(ResultTable(any));
    EXPECT_EQ(test::JsonTableRows(Written([&](OutputFile& out) { WriteJson(set, "c", "p", out); }), "random"),
              Utf8(test::ExpectedRows(any)));
  }
}

std::size_t SignificantDigits(const std::string& number) {
  const std::string mantissa = number.substr(0, number.find('e'));
  const std::size_t first = mantissa.find_first_of("123456789");
  std::size_t digits = 0;
  for (std::size_t i = first; i < mantissa.size(); ++i) digits += mantissa[i] >= '0' && mantissa[i] <= '9';
  return first == std::string::npos ? 0 : digits;
}

// Workbooks hold numbers as doubles and booleans as TRUE/FALSE: a number
// comes back as the same double, in whatever digits the reader chooses.
void ExpectSameSheet(const TextRows& read, const ResultTable& table) {
  const TextRows expected = Utf8(test::ExpectedRows(table));
  ASSERT_EQ(read.size(), expected.size());
  ASSERT_EQ(read[0], expected[0]);
  for (std::size_t r = 1; r < expected.size(); ++r) {
    for (std::size_t c = 0; c < table.columns().size(); ++c) {
      const std::string got = c < read[r].size() ? read[r][c] : "";
      const std::string& want = expected[r][c];
      const ColumnType type = table.column(c).type();
      if (want.empty() || type == ColumnType::kId || type == ColumnType::kText)
        EXPECT_EQ(got, want) << "row " << r << " column " << c;
      else if (type == ColumnType::kBoolean)
        EXPECT_EQ(got, want == "true" ? "TRUE" : "FALSE");
      else if (SignificantDigits(want) <= 15)  // every float, every count
        EXPECT_EQ(std::strtod(got.c_str(), nullptr), std::strtod(want.c_str(), nullptr)) << got;
      else  // the library writes 16 significant digits, as the spreadsheet shows 15
        EXPECT_NEAR(std::strtod(got.c_str(), nullptr), std::strtod(want.c_str(), nullptr),
                    1e-15 * std::fabs(std::strtod(want.c_str(), nullptr))) << got;
    }
  }
}

// Every deflated part of the workbook says in its header that it was
// packed at the fastest level: the million-row workbook's time depends on it.
TEST(TableFormats, WorkbookReadsBackThroughTheWorkbookReaderAndIsDeflatedFast) {
  std::mt19937 rng(7);
  ResultSet set;
  set.Add(RandomTable(rng, true));
  set.Add(SmallTable());
  test::TempFile file("", ".xlsx");
  std::string error;
  ASSERT_TRUE(ExportTables(set, {TableFormat::kXlsx, "c", "p"}, file.path(), error)) << error;
  for (const ResultTable& table : set.tables()) {
    SCOPED_TRACE(table.name());
    ExpectSameSheet(test::XlsxSheetRows(file.path(), table.name()), table);
  }
  const std::string bytes = test::ReadWholeFile(file.path());
  int deflated = 0;
  for (std::size_t at = 0; (at = bytes.find("PK\x03\x04", at)) != std::string::npos; at += 4) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
    if ((byte(8) | byte(9) << 8) != 8) continue;  // stored, not deflated
    ++deflated;
    EXPECT_EQ((byte(6) | byte(7) << 8) & 6, 6) << "part at byte " << at;
  }
  EXPECT_GE(deflated, 5);
}

TEST(TableFormats, FloatsComeBackAsTheSameFloatInTheirShortestDigits) {
  std::mt19937 rng(1);
  for (int i = 0; i < 100000; ++i) {
    float f;
    const std::uint32_t bits = rng();
    std::memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) continue;
    std::string text;
    AppendReal(text, DecimalOf(f));
    ASSERT_EQ(static_cast<float>(std::strtod(text.c_str(), nullptr)), f) << text;
    char shortest[32];
    const auto length = std::to_chars(shortest, shortest + 32, f).ptr - shortest;
    ASSERT_LE(static_cast<std::ptrdiff_t>(text.size()), length) << text;
  }
}

TEST(TableExport, SeveralTablesAsCsvGoIntoAFolderOneFilePerTable) {
  ResultSet set;
  set.Add(SmallTable());
  set.Add(SummaryTable()).AddFigure("Individuals", 4);
  const auto folder = std::filesystem::temp_directory_path() / ("kinvar-export-" + std::to_string(::getpid()));
  std::string error;
  ASSERT_TRUE(NeedsFolder(set, TableFormat::kCsv));
  ASSERT_TRUE(ExportTables(set, {TableFormat::kTsv, "c", "p"}, folder.string(), error) == false);
  EXPECT_NE(error.find("TSV cannot hold"), std::string::npos);
  ASSERT_TRUE(ExportTables(set, {TableFormat::kCsv, "c", "p"}, folder.string(), error)) << error;
  EXPECT_EQ(test::ReadWholeFile((folder / "summary.csv").string()), "figure,value\r\nIndividuals,4\r\n");
  EXPECT_EQ(test::ParseCsv(test::ReadWholeFile((folder / "pairs.csv").string())), test::ExpectedRows(SmallTable()));
  std::filesystem::remove_all(folder);
}

TEST(TableExport, CsvOfSeveralTablesIntoOneFileIsRefusedWithoutTouchingIt) {
  ResultSet set;
  set.Add(SmallTable());
  set.Add(SummaryTable());
  test::TempFile file("kept");
  std::string error;
  auto out = OutputFile::Begin(file.path(), error);
  EXPECT_FALSE(WriteTables(set, {TableFormat::kCsv, "c", "p"}, *out, error));
  out->Discard();
  EXPECT_EQ(test::ReadWholeFile(file.path()), "kept");
  EXPECT_NE(error.find("2 tables"), std::string::npos) << error;
}

}  // namespace
}  // namespace kinvar
