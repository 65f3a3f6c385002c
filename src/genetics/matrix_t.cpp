#include "genetics/matrix_t.h"

#include <memory>
#include <string>
#include <utility>

#include "genetics/command_ids.h"
#include "genetics/result_file.h"
#include "report/markup.h"
#include "report/number_format.h"
#include "report/progress.h"

namespace kinvar {

void MatrixTRow(const Pedigree& ped, std::int32_t code, std::vector<float>& w) {
  w[static_cast<std::size_t>(code)] = 1.0f;
  for (std::int32_t k = code; k >= 1; --k) {
    const float wk = w[static_cast<std::size_t>(k)];
    if (wk == 0.0f) continue;
    const Rec& r = ped.byCode(k - 1);
    for (const RecIndex p : {r.sire, r.dam}) {
      if (p == kUnknownParent) continue;
      float& wp = w[static_cast<std::size_t>(ped.rec(p).code)];
      wp = wp + 0.5f * wk;
    }
  }
}

namespace {

// Long form: one row per non-zero cell, rows and their cells in code order.
ResultTable MatrixTTable() {
  ResultTable table("matrix_t");
  table.AddColumn("row_id", ColumnType::kId);
  table.AddColumn("col_id", ColumnType::kId);
  table.AddColumn("value", ColumnType::kReal);
  return table;
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
  CachedFormat format(ped.settings.numberFormat);
  std::vector<float> w(static_cast<std::size_t>(ped.nTotal) + 1, 0.0f);
  // The non-zero cells (ancestors and the diagonal), built beside the file
  // and handed over only once the file is whole.
  ResultTable table = MatrixTTable();
  for (std::int32_t i = 1; i <= ped.nTotal; ++i) {
    const Rec& row = ped.byCode(i - 1);
    WriteRowLabel(*file, row);
    MatrixTRow(ped, i, w);
    for (std::int32_t k = 1; k <= ped.nTotal; ++k) {
      const float t = w[static_cast<std::size_t>(k)];
      file->Raw(format(t));
      file->Raw(", ");
      if (t != 0.0f) table.AddRow().Id(row.Id()).Id(ped.byCode(k - 1).Id()).Float(t);
      w[static_cast<std::size_t>(k)] = 0.0f;
    }
    file->Raw('\n');
    if (progress.Step(i - 1)) {
      ShowCanceled(ctx);
      file->Discard();
      return;
    }
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
  table.Reserve(static_cast<std::size_t>(ped.nTotal));
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    table.AddRow().Id(r.Id()).Integer(r.code).Float(ped.d[static_cast<std::size_t>(r.code)]);
  }
  for (RecIndex i = 1; i <= ped.nTotal && !ped.report.Full(); ++i) {
    const Rec& r = ped.rec(i);
    if (i == ped.lastRead() + 1) ped.report.Add(kSeparator);
    const float dii = ped.d[static_cast<std::size_t>(r.code)];
    ped.report.Add(std::string(r.id) + "|T1|T5|I" + FormatNumber(ped.settings.numberFormat, dii));
  }
}

void OnDii(CommandContext& ctx) {
  WaitCursor cursor(ctx.platform);
  if (!PrepareInbreeding(ctx)) return;
  ctx.lastCommand = kCmdDii;
  WriteDiiReport(ctx.ped);
}

}  // namespace kinvar
