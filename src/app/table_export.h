// Writing the tables of the report on screen as data files: what kinvar-cli
// --format and the desktop's File > Export do.
//
// CSV and TSV hold one table a file: a result with several tables goes into
// a folder, one NAME.csv (or NAME.tsv) per table. JSON and .xlsx hold every
// table in one file. Each file is replaced only when complete; the files of
// a folder are all written aside first and then put in place one right
// after the other, so a failed write changes none of them (the folder is
// still not replaced as one: a crash in that last instant can leave some
// files new and others old).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/output_file.h"
#include "report/result_table.h"
#include "report/table_formats.h"

namespace kinvar {

// kinvar-cli's word for the command whose report is shown ("inbreeding",
// "relationships"), which a JSON document names; "" for none.
std::string TablesCommandName(std::int32_t id);

// What a table export needs besides the tables.
struct TableExport {
  TableFormat format = TableFormat::kCsv;
  std::string command;   // TablesCommandName
  std::string pedigree;  // the pedigree file's path
  ReadOnly readOnly = ReadOnly::kRefuse;  // whether read-only files are replaced
};

// Whether `tables` in `format` goes into a folder rather than one file.
bool NeedsFolder(const ResultSet& tables, TableFormat format);

// The tables into one file (or a stream): JSON, .xlsx, or CSV and TSV of
// a single table. False with the reason in `error`; `out` is then not
// committed.
bool WriteTables(const ResultSet& tables, const TableExport& how, OutputFile& out,
                 std::string& error);

// WriteTables to the file `target`, or, when NeedsFolder, one file per table
// into the folder `target` (made when missing). False with the reason in
// `error`, a message for the user.
bool ExportTables(const ResultSet& tables, const TableExport& how, const std::string& target,
                  std::string& error);

// The status line after ExportTables to `target` succeeded: "Exported:
// PATH (N rows)." or "Exported: K tables to the folder PATH (N rows).".
std::string ExportedStatus(const ResultSet& tables, TableFormat format, const std::string& target);

// The files that ExportTables to `target` writes.
std::vector<std::string> ExportFiles(const ResultSet& tables, TableFormat format,
                                     const std::string& target);

}  // namespace kinvar
