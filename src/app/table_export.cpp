#include "app/table_export.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include "genetics/command_ids.h"

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
    {kCmdInbreedingOfIndividual, "inbreeding-of"},
    {kCmdBetweenTwoIndividuals, "relationship"},
    {kCmdInverseA, "inverse"},
    {kCmdMatrixT, "matrix-t"},
    {kCmdXLinked, "x-linked"},
    {kCmdDominance, "dominance"},
    {kCmdDii, "dii"},
    {kCmdStructure, "structure"},
    {kCmdBetweenAll, "relationships"},
    {kCmdWithinGroup, "relationships"},
    {kCmdBetweenTwoGroups, "relationships"},
    {kCmdAverageBetweenGroups, "average-between-groups"},
    {kCmdAverageRelatedness, "average-relatedness"},
    {kCmdPathCountingIndividual, "path-counting"},
    {kCmdPathCountingGroup, "path-counting"},
    {kCmdPathCountingAll, "path-counting"},
    {kCmdExtractAncestorsIndividual, "extract"},
    {kCmdExtractAncestorsGroup, "extract"},
    {kCmdExtractDescendantsIndividual, "extract"},
    {kCmdExtractDescendantsGroup, "extract"},
    {kCmdGeneOrigin, "gene-origin"},
    {kCmdDiversity, "diversity"},
    {kCmdPurging, "purging"},
    {kCmdDecompositionIndividual, "decompose"},
    {kCmdDecompositionGroup, "decompose"},
    {kCmdDecompositionCoancestry, "decompose"},
    {kCmdOptimizeMatings, "optimize-matings"},
    {kCmdMeanKinship, "mean-kinship"},
    {kCmdMateSuitability, "mate-suitability"},
    {kCmdOptimumContributions, "optimum-contributions"},
};

std::string FileOfTable(const std::string& folder, const ResultTable& table, TableFormat format) {
  return (std::filesystem::path(folder) /
          (table.name() + "." + std::string(TableFormatName(format))))
      .string();
}

bool WriteFile(const std::string& path, const std::function<bool(OutputFile&, std::string&)>& write,
               std::string& error) {
  std::string reason;
  std::unique_ptr<OutputFile> out = OutputFile::Begin(path, reason);
  if (!out) {
    error = "Cannot open " + path + " for writing.\n" + reason;
    return false;
  }
  if (!write(*out, error)) return false;  // the target keeps what it held
  if (out->Commit()) return true;
  error = "Error while writing " + path + ".\n" + out->error();
  return false;
}

}  // namespace

std::string_view TablesCommandName(std::int32_t id) {
  for (const CommandWord& c : kCommandWords)
    if (c.id == id) return c.word;
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

bool ExportTables(const ResultSet& tables, const TableExport& how, const std::string& target,
                  std::string& error) {
  if (!NeedsFolder(tables, how.format))
    return WriteFile(target, [&](OutputFile& out, std::string& why) {
      return WriteTables(tables, how, out, why);
    }, error);
  std::error_code code;
  std::filesystem::create_directories(target, code);
  if (!std::filesystem::is_directory(target)) {
    error = "Cannot make the folder " + target + ".\n" + code.message();
    return false;
  }
  for (const ResultTable& table : tables.tables()) {
    const bool written = WriteFile(FileOfTable(target, table, how.format),
                                   [&](OutputFile& out, std::string& why) {
                                     return WriteDelimited(table, how.format, out, why);
                                   }, error);
    if (!written) return false;
  }
  return true;
}

}  // namespace kinvar
