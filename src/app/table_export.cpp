#include "app/table_export.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "analyses/command_ids.h"
#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/parentage_report.h"
#include "app/command_declarations.h"

namespace kinvar {

namespace {

struct CommandWord {
  std::int32_t id;
  std::string_view word;
};

constexpr CommandWord kCommandWords[] = {
    {kCmdViewPedigree, "view"},
    {kCmdRecoding, "recode"},
    {kCmdCompute, "inbreeding"},
    {kCmdRecompute, "recompute-inbreeding"},
    {kCmdInverseA, "inverse"},
    {kCmdMatrixT, "matrix-t"},
    {kCmdGenomicRelationship, "genomic-relationship"},
    {kCmdGenomicInbreeding, "genomic-inbreeding"},
    {kCmdHInverse, "hinverse"},
    {kCmdParentage, "parentage"},
    {kCmdDii, "dii"},
    {kCmdStructure, "structure"},
    {kCmdAverageBetweenGroups, "average-between-groups"},
    {kCmdAverageRelatedness, "average-relatedness"},
    {kCmdOptimizeMatings, "optimize-matings"},
    {kCmdPlannedMating, "mating"},
    {kCmdGenotypeQc, "genotype-qc"},
};

std::string FileOfTable(const std::string& folder, const ResultTable& table, TableFormat format) {
  return (std::filesystem::path(folder) /
          (table.name() + "." + std::string(TableFormatName(format))))
      .string();
}

std::unique_ptr<OutputFile> BeginFile(const std::string& path, ReadOnly readOnly, std::string& error) {
  std::string reason;
  std::unique_ptr<OutputFile> out =
      OutputFile::Begin(path, reason, Temporary::kUnnamedWherePossible, readOnly);
  if (!out) error = "Cannot open " + path + " for writing.\n" + reason;
  return out;
}

bool CommitFile(OutputFile& out, std::string& error) {
  if (out.Commit()) return true;
  error = "Error while writing " + out.target() + ".\n" + out.error();
  return false;
}

}  // namespace

std::string TablesCommandName(std::int32_t id) {
  for (const CommandWord& c : kCommandWords)
    if (c.id == id) return std::string(c.word);
  if (const auto declared = FindDeclaration(id)) return declared->name;
  return {};
}

bool NeedsFolder(const ResultSet& tables, TableFormat format) {
  return !HoldsSeveralTables(format) && tables.tables().size() > 1;
}

bool WriteTables(const ResultSet& tables, const TableExport& how, OutputFile& out,
                 std::string& error) {
  if (tables.empty() && !HoldsSeveralTables(how.format)) {
    error = "This report has no tables.";
    return false;
  }
  switch (how.format) {
    case TableFormat::kJson:
      WriteJson(tables, how.command, how.pedigree, out);
      return true;
    case TableFormat::kXlsx:
      return WriteXlsx(tables, out, error);
    case TableFormat::kCsv:
    case TableFormat::kTsv:
      if (tables.tables().size() > 1) {
        error = "The result has " + std::to_string(tables.tables().size()) + " tables; " +
                std::string(TableFormatName(how.format)) + " holds one a file. Name a folder "
                "to write one file per table into, or choose json or xlsx.";
        return false;
      }
      return WriteDelimited(tables.tables().front(), how.format, out, error);
    case TableFormat::kText:
      break;
  }
  error = "The text format has no tables.";
  return false;
}

std::vector<std::string> ExportFiles(const ResultSet& tables, TableFormat format,
                                     const std::string& target) {
  if (!NeedsFolder(tables, format)) return {target};
  std::vector<std::string> files;
  for (const ResultTable& table : tables.tables()) files.push_back(FileOfTable(target, table, format));
  return files;
}

std::string ExportedStatus(const ResultSet& tables, TableFormat format, const std::string& target) {
  std::size_t rows = 0;
  for (const ResultTable& table : tables.tables()) rows += table.rows();
  const std::string counted = " (" + std::to_string(rows) + (rows == 1 ? " row)." : " rows).");
  if (!NeedsFolder(tables, format)) return "Exported: " + target + counted;
  return "Exported: " + std::to_string(tables.tables().size()) + " tables to the folder " + target + counted;
}

bool ExportTables(const ResultSet& tables, const TableExport& how, const std::string& target,
                  std::string& error) {
  if (!NeedsFolder(tables, how.format)) {
    const std::unique_ptr<OutputFile> out = BeginFile(target, how.readOnly, error);
    // A refused write leaves the target with what it held.
    return out && WriteTables(tables, how, *out, error) && CommitFile(*out, error);
  }
  std::error_code code;
  std::filesystem::create_directories(target, code);
  if (!std::filesystem::is_directory(target)) {
    error = "Cannot make the folder " + target + ".\n" + code.message();
    return false;
  }
  // Every file is written whole before any is put in place, so that a
  // failure leaves the folder's files all as they were.
  std::vector<std::unique_ptr<OutputFile>> files;
  for (const ResultTable& table : tables.tables()) {
    files.push_back(BeginFile(FileOfTable(target, table, how.format), how.readOnly, error));
    if (!files.back() || !WriteDelimited(table, how.format, *files.back(), error)) return false;
    if (!files.back()->Settle()) return CommitFile(*files.back(), error);
  }
  for (const auto& file : files)
    if (!CommitFile(*file, error)) return false;
  return true;
}

}  // namespace kinvar
