#include "support/table_readers.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "pedigree/xlsx_reader.h"
#include "report/table_formats.h"

namespace kinvar::test {

TextRows ParseCsv(std::string_view text) {
  TextRows rows;
  std::vector<std::string> row;
  std::string field;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '"') {  // a quoted field runs to the lone closing quote
      for (++i;; ++i) {
        if (i >= text.size()) {
          ADD_FAILURE() << "unterminated quoted field";
          return rows;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field.push_back('"');
            ++i;
            continue;
          }
          ++i;
          break;
        }
        field.push_back(text[i]);
      }
    }
    while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
      if (text[i] == '"') ADD_FAILURE() << "quote inside an unquoted field at byte " << i;
      field.push_back(text[i++]);
    }
    row.push_back(std::move(field));
    field.clear();
    if (i < text.size() && text[i] == ',') {
      ++i;
      continue;
    }
    if (text.substr(i, 2) != "\r\n") ADD_FAILURE() << "record not ended by CRLF at byte " << i;
    i += 2;
    rows.push_back(std::move(row));
    row.clear();
  }
  return rows;
}

TextRows ParseTsv(std::string_view text) {
  TextRows rows;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      ADD_FAILURE() << "last line not ended";
      break;
    }
    std::vector<std::string> row;
    std::string_view line = text.substr(start, end - start);
    for (std::size_t tab; (tab = line.find('\t')) != std::string_view::npos; line.remove_prefix(tab + 1))
      row.emplace_back(line.substr(0, tab));
    row.emplace_back(line);
    rows.push_back(std::move(row));
    start = end + 1;
  }
  return rows;
}

TextRows JsonTableRows(std::string_view document, const std::string& name) {
  const nlohmann::json doc = nlohmann::json::parse(document);
  const nlohmann::json& table = doc.at("tables").at(name);
  TextRows rows(1);
  for (const auto& column : table.at("columns")) rows[0].push_back(column.at("name"));
  for (const auto& cells : table.at("rows")) {
    std::vector<std::string> row;
    for (const auto& cell : cells) {
      if (cell.is_null()) row.emplace_back();
      else if (cell.is_string()) row.push_back(cell.get<std::string>());
      else if (cell.is_boolean()) row.emplace_back(cell.get<bool>() ? "true" : "false");
      else if (cell.is_number_integer()) row.push_back(std::to_string(cell.get<std::int64_t>()));
      else {
        std::string text;
        AppendReal(text, cell.get<double>());
        row.push_back(text);
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

TextRows XlsxSheetRows(const std::string& path, const std::string& sheet) {
  TextRows rows;
  const SheetRead read = ReadWorkbookSheet(path, sheet, [&](const SheetRow& row) {
    rows.emplace_back(row.cells.begin(), row.cells.end());
    return true;
  });
  EXPECT_TRUE(read.ok) << read.message;
  return rows;
}

TextRows ExpectedRows(const ResultTable& table) {
  TextRows rows(1);
  for (const TableColumn& column : table.columns()) rows[0].push_back(column.name());
  for (std::size_t r = 0; r < table.rows(); ++r) {
    std::vector<std::string> row;
    for (const TableColumn& column : table.columns()) row.push_back(CellText(column, r));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace kinvar::test
