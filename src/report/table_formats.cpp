#include "report/table_formats.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <nlohmann/json.hpp>
#include <unistd.h>
#include <xlsxwriter.h>

// fast_workbook_deflate.cpp
extern "C" int zipOpenNewFileInZip4_64(void*, const char*, const void*, const void*, unsigned,
                                       const void*, unsigned, const char*, int, int, int, int, int,
                                       int, const char*, unsigned long, unsigned long,
                                       unsigned long, int);

namespace kinvar {

namespace {

constexpr std::string_view kFormatNames[] = {"text", "csv", "tsv", "json", "xlsx"};

void AppendInteger(std::string& out, std::int64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The cell unquoted, appended; nothing for a missing value.
void AppendCell(std::string& out, const TableColumn& column, std::size_t row) {
  if (column.Missing(row)) return;
  switch (column.type()) {
    case ColumnType::kId:
    case ColumnType::kText: out.append(column.Text(row)); break;
    case ColumnType::kInteger: AppendInteger(out, column.Integer(row)); break;
    case ColumnType::kBoolean: out.append(column.Integer(row) != 0 ? "true" : "false"); break;
    case ColumnType::kReal: AppendReal(out, column.Real(row)); break;
  }
}

bool NeedsQuotes(std::string_view field) {
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void AppendCsvField(std::string& out, std::string_view field) {
  if (!NeedsQuotes(field)) {
    out.append(field);
    return;
  }
  out.push_back('"');
  for (char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

// Appends one field; false when TSV cannot hold it.
bool AppendField(std::string& out, std::string_view field, TableFormat format) {
  if (format == TableFormat::kCsv) {
    AppendCsvField(out, field);
    return true;
  }
  if (field.find_first_of("\t\r\n") != std::string_view::npos) return false;
  out.append(field);
  return true;
}

std::string TabRefusal(const ResultTable& table, const std::string& column, std::size_t row) {
  return "A value of column " + column + " of table " + table.name() + (row == 0 ? " (its name)" :
         " in row " + std::to_string(row)) + " holds a tab or a line break, which TSV cannot hold. "
         "Write CSV or JSON instead.";
}

std::string JsonString(std::string_view text) {
  return nlohmann::json(AsUtf8(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AppendJsonCell(std::string& out, const TableColumn& column, std::size_t row) {
  if (column.Missing(row) ||
      (column.type() == ColumnType::kReal && !std::isfinite(column.Real(row)))) {
    out.append("null");
    return;
  }
  if (column.IsText()) out.append(JsonString(column.Text(row)));
  else AppendCell(out, column, row);
}

void WriteJsonTable(const ResultTable& table, OutputFile& out) {
  std::string text = JsonString(table.name()) + ": {\"columns\": [";
  for (std::size_t c = 0; c < table.columns().size(); ++c) {
    const TableColumn& column = table.column(c);
    if (c != 0) text.append(", ");
    text.append("{\"name\": " + JsonString(column.name()) + ", \"type\": \"" +
                std::string(ColumnTypeName(column.type())) + "\", \"unit\": " +
                (column.unit().empty() ? std::string("null") : JsonString(column.unit())) + "}");
  }
  text.append("],\n  \"rows\": [");
  out.Raw(text);
  for (std::size_t r = 0; r < table.rows(); ++r) {
    text.assign(r == 0 ? "\n    [" : ",\n    [");
    for (std::size_t c = 0; c < table.columns().size(); ++c) {
      if (c != 0) text.append(", ");
      AppendJsonCell(text, table.column(c), r);
    }
    text.push_back(']');
    out.Raw(text);
  }
  out.Raw(table.rows() == 0 ? "]}" : "\n  ]}");
}

// Excel's sheet names: at most 31 characters, none of []:*?/\ .
std::string SheetName(const std::string& table, std::size_t part) {
  std::string name;
  for (char c : AsUtf8(table)) name.push_back(std::string_view("[]:*?/\\").find(c) == std::string_view::npos ? c : '_');
  const std::string suffix = part == 0 ? "" : " (" + std::to_string(part + 1) + ")";
  if (name.size() + suffix.size() > LXW_SHEETNAME_MAX) name.resize(LXW_SHEETNAME_MAX - suffix.size());
  return name + suffix;
}

struct WorkbookCloser {
  void operator()(lxw_workbook* workbook) const { workbook_close(workbook); }
};

lxw_error WriteXlsxCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t col,
                        const TableColumn& column, std::size_t r) {
  if (column.Missing(r)) return LXW_NO_ERROR;
  switch (column.type()) {
    case ColumnType::kId:
    case ColumnType::kText:
      return worksheet_write_string(sheet, row, col, AsUtf8(column.Text(r)).c_str(), nullptr);
    case ColumnType::kInteger:
      return worksheet_write_number(sheet, row, col, static_cast<double>(column.Integer(r)), nullptr);
    case ColumnType::kBoolean:
      return worksheet_write_boolean(sheet, row, col, column.Integer(r) != 0, nullptr);
    case ColumnType::kReal:
      if (!std::isfinite(column.Real(r))) return LXW_NO_ERROR;
      return worksheet_write_number(sheet, row, col, column.Real(r), nullptr);
  }
  return LXW_NO_ERROR;
}

// The sheets of one table; false on the library's first error.
bool AddTableSheets(lxw_workbook* workbook, const ResultTable& table, lxw_format* bold,
                    std::string& error) {
  constexpr std::size_t kRowsPerSheet = LXW_ROW_MAX - 1;  // below the header row
  std::size_t first = 0, part = 0;
  do {
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, SheetName(table.name(), part).c_str());
    if (sheet == nullptr) {
      error = "Cannot add the sheet of table " + table.name() + ".";
      return false;
    }
    for (std::size_t c = 0; c < table.columns().size(); ++c)
      worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), table.column(c).name().c_str(), bold);
    const std::size_t last = std::min(table.rows(), first + kRowsPerSheet);
    for (std::size_t r = first; r < last; ++r) {
      const auto row = static_cast<lxw_row_t>(r - first + 1);
      for (std::size_t c = 0; c < table.columns().size(); ++c) {
        const lxw_error status =
            WriteXlsxCell(sheet, row, static_cast<lxw_col_t>(c), table.column(c), r);
        if (status != LXW_NO_ERROR) {
          error = lxw_strerror(status);
          return false;
        }
      }
    }
    first = last;
    ++part;
  } while (first < table.rows());
  return true;
}

// Copies a finished file into `out`.
bool CopyInto(const std::string& path, OutputFile& out, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "Cannot read the workbook just made.";
    return false;
  }
  char buffer[1 << 16];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    out.Raw(std::string_view(buffer, got));
  std::fclose(file);
  return true;
}

}  // namespace

std::optional<TableFormat> ParseTableFormat(std::string_view word) {
  for (std::size_t i = 0; i < std::size(kFormatNames); ++i)
    if (kFormatNames[i] == word) return static_cast<TableFormat>(i);
  return std::nullopt;
}

std::string_view TableFormatName(TableFormat format) {
  return kFormatNames[static_cast<std::size_t>(format)];
}

void AppendReal(std::string& out, double value) {
  if (value == 0.0) value = 0.0;  // no "-0"
  char text[32];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string CellText(const TableColumn& column, std::size_t row) {
  std::string text;
  AppendCell(text, column, row);
  return text;
}

bool WriteDelimited(const ResultTable& table, TableFormat format, OutputFile& out,
                    std::string& error) {
  const char separator = format == TableFormat::kCsv ? ',' : '\t';
  const char* end = format == TableFormat::kCsv ? "\r\n" : "\n";
  std::string line, cell;
  for (std::size_t c = 0; c < table.columns().size(); ++c) {
    if (c != 0) line.push_back(separator);
    if (!AppendField(line, table.column(c).name(), format)) {
      error = TabRefusal(table, table.column(c).name(), 0);
      return false;
    }
  }
  line.append(end);
  out.Raw(line);
  for (std::size_t r = 0; r < table.rows(); ++r) {
    line.clear();
    for (std::size_t c = 0; c < table.columns().size(); ++c) {
      if (c != 0) line.push_back(separator);
      const TableColumn& column = table.column(c);
      if (!column.IsText()) {  // numbers never need quotes
        AppendCell(line, column, r);
      } else if (!AppendField(line, column.Text(r), format)) {
        error = TabRefusal(table, column.name(), r + 1);
        return false;
      }
    }
    line.append(end);
    out.Raw(line);
  }
  return true;
}

void WriteJson(const ResultSet& tables, std::string_view command, std::string_view pedigree,
               OutputFile& out) {
  out.Raw("{\"command\": " + JsonString(command) + ",\n \"pedigree\": " + JsonString(pedigree) +
          ",\n \"tables\": {");
  bool first = true;
  for (const ResultTable& table : tables.tables()) {
    out.Raw(first ? "\n " : ",\n ");
    first = false;
    WriteJsonTable(table, out);
  }
  out.Raw("}}\n");
}

bool WriteXlsx(const ResultSet& tables, OutputFile& out, std::string& error) {
  // Keeps the faster deflate in every program that writes workbooks: an
  // object of a static library is linked only when something names it.
  [[maybe_unused]] static volatile auto faster = &zipOpenNewFileInZip4_64;
  // The library writes only to a named file: it is made privately, then
  // copied into `out`, which replaces its target only when complete.
  std::string path = (std::filesystem::temp_directory_path() / "kinvar-xlsx-XXXXXX").string();
  const int fd = ::mkstemp(path.data());
  if (fd == -1) {
    error = "Cannot create a temporary file.";
    return false;
  }
  ::close(fd);
  std::string tmpdir = std::filesystem::temp_directory_path().string();
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;  // rows go to disk as written
  options.tmpdir = tmpdir.data();
  options.use_zip64 = LXW_TRUE;
  bool ok = true;
  {
    std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(workbook_new_opt(path.c_str(), &options));
    if (!workbook) {
      std::remove(path.c_str());
      error = "Cannot create the workbook.";
      return false;
    }
    lxw_format* bold = workbook_add_format(workbook.get());
    format_set_bold(bold);
    for (const ResultTable& table : tables.tables())
      if (!(ok = AddTableSheets(workbook.get(), table, bold, error))) break;
    if (ok && tables.empty()) workbook_add_worksheet(workbook.get(), nullptr);
    const lxw_error closed = workbook_close(workbook.release());
    if (ok && closed != LXW_NO_ERROR) {
      error = lxw_strerror(closed);
      ok = false;
    }
  }
  ok = ok && CopyInto(path, out, error);
  std::remove(path.c_str());
  return ok;
}

std::string AsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) break;
    std::size_t k = 1;
    while (k < length && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80) ++k;
    if (k != length) break;
    i += length;
  }
  if (i == text.size()) return std::string(text);
  std::string utf8;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      utf8.push_back(ch);
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return utf8;
}

}  // namespace kinvar
