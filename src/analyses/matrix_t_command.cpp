#include "analyses/matrix_t_command.h"

#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "analyses/command_ids.h"
#include "analyses/parentage_report.h"
#include "analyses/result_file.h"
#include "genetics/matrix_t.h"
#include "report/markup.h"
#include "report/number_format.h"
#include "report/progress.h"

namespace kinvar {

namespace {

void AddValue(TableRow& row, float value) { row.Float(value); }
void AddValue(TableRow& row, double value) { row.Real(value); }

// Long form: one row per non-zero cell, rows and their cells in code order.
ResultTable MatrixTTable() {
  ResultTable table("matrix_t");
  table.AddColumn("row_id", ColumnType::kId);
  table.AddColumn("col_id", ColumnType::kId);
  table.AddColumn("value", ColumnType::kReal);
  return table;
}

}  // namespace

namespace {

// The rows of T into `file` and the table, in the precision of `T`; false
// when the user cancelled.
template <class T>
bool WriteMatrixT(const Pedigree& ped, OutputFile& file, ResultTable& table, Progress& progress) {
  CachedFormat cached(ped.settings.numberFormat);
  const auto format = [&](T value) -> std::string {
    if constexpr (std::is_same_v<T, float>) return cached(value);
    else return FormatNumber(ped.settings.numberFormat, value);
  };
  std::vector<T> w(static_cast<std::size_t>(ped.nTotal) + 1, T(0));
  for (std::int32_t i = 1; i <= ped.nTotal; ++i) {
    const Rec& row = ped.byCode(i - 1);
    WriteRowLabel(file, row);
    MatrixTRow(ped, i, w);
    for (std::int32_t k = 1; k <= ped.nTotal; ++k) {
      const T t = w[static_cast<std::size_t>(k)];
      file.Raw(format(t));
      file.Raw(", ");
      if (t != T(0)) {
        TableRow cell = table.AddRow();
        cell.Id(row.Id()).Id(ped.byCode(k - 1).Id());
        AddValue(cell, t);
      }
      w[static_cast<std::size_t>(k)] = T(0);
    }
    file.Raw('\n');
    if (progress.Step(i - 1)) return false;
  }
  return true;
}

}  // namespace

void OnMatrixT(CommandContext& ctx) {
  const auto file = AskResultFile(ctx.platform);
  if (!file) return;
  WaitCursor cursor(ctx.platform);
  Pedigree& ped = ctx.ped;
  auto window = ctx.platform.OpenProgress();
  Progress progress(*window);
  progress.SetStage(0, 50, ped.nTotal - 1, "Computing and saving matrix T");
  WriteOutputHeader(*file, ctx.path);
  file->Raw("Matrix T or decomposition of the numerator relationship matrix (A=TDT'):\n");
  file->Raw(ExpandMarkup("Individual ID|T1Individual Code"));
  EnsureCodeOrder(ped);
  // The non-zero cells (ancestors and the diagonal), built beside the file
  // and handed over only once the file is whole. T needs no coefficient:
  // the setting alone chooses its precision.
  ResultTable table = MatrixTTable();
  const bool done = ped.settings.precision == 1
                        ? WriteMatrixT<double>(ped, *file, table, progress)
                        : WriteMatrixT<float>(ped, *file, table, progress);
  if (!done) {
    ShowCanceled(ctx);
    file->Discard();
    return;
  }
  // The report stays as it was: the file is the command's result.
  ped.writtenTables.Clear();
  ped.writtenTables.Add(std::move(table));
  CommitOutputFile(*file, ctx.platform);
}

void WriteDiiReport(Pedigree& ped) {
  constexpr const char* kSeparator = "----------|T1|T5----------";
  ped.report.Clear();
  ped.report.Add("Individual|T1|T5Within family segregation variance");
  ped.report.Add(kSeparator);
  ResultTable& table = ped.report.tables().Add("dii");
  table.AddColumn("id", ColumnType::kId);
  table.AddColumn("code", ColumnType::kInteger);
  table.AddColumn("dii", ColumnType::kReal);
  const bool rows = ped.report.tables().RowsWanted();
  if (rows) table.Reserve(static_cast<std::size_t>(ped.nTotal));
  for (RecIndex i = 1; rows && i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    TableRow row = table.AddRow();
    row.Id(r.Id()).Integer(r.code);
    if (ped.InDouble()) row.Real(ped.dDouble[static_cast<std::size_t>(r.code)]);
    else row.Float(ped.d[static_cast<std::size_t>(r.code)]);
  }
  for (RecIndex i = 1; i <= ped.nTotal && !ped.report.Full(); ++i) {
    const Rec& r = ped.rec(i);
    if (i == ped.lastRead() + 1) ped.report.Add(kSeparator);
    ped.report.Add(std::string(r.id) + "|T1|T5|I" +
                   FormatNumber(ped.settings.numberFormat, DiiOf(ped, r)));
  }
}

void OnDii(CommandContext& ctx) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  ctx.lastCommand = kCmdDii;
  WriteDiiReport(ctx.ped);
}

CommandDeclaration MatrixTDeclaration() {
  return CommandDeclaration{kCmdMatrixT, "matrix-t", {}}
      .Runs(OnMatrixT)
      .Summary("Write matrix T of A = TDT' (at most 500 individuals)")
      .Explanation("Writes T row by row: the fraction of each individual's genes expected from each\n"
                   "ancestor, every row with n values.")
      .Writes(CommandOutput::kFile)
      // Back in Tools after the Genomics submenu.
      .Menu({.menu = kToolsMenu, .text = "Matrix T", .prompt = "Compute matrix T", .tooltip = "Compute matrix T",
             .rule = kValid | kTwoIndividuals | kSmallForT, .follows = kCmdParentage});
}

CommandDeclaration DiiDeclaration() {
  return CommandDeclaration{kCmdDii, "dii", {}}
      .Runs(OnDii)
      .Summary("List the within-family segregation variances (dii)")
      .Explanation("Writes dii, the D of A = TDT', for every individual in file order, the parents that\n"
                   "have no line of their own after an empty line. With --report, the report.")
      .Menu({.menu = kToolsMenu, .text = "Within Family Segregation Variance (&dii)\tCtrl+D", .accelerator = "Ctrl+D",
             .prompt = "Compute within family segregation variance",
             .tooltip = "Compute within family segregation variance", .rule = kValidNotShown});
}

}  // namespace kinvar
