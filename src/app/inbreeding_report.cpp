#include "app/inbreeding_report.h"

#include <functional>
#include <iterator>
#include <string>
#include <utility>

#include "analyses/command_ids.h"
#include "analyses/diversity.h"
#include "analyses/individual_tables.h"
#include "app/save_as.h"
#include "genetics/inbreeding.h"
#include "genetics/metafounders.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kListRule =
    "----------------------- List of inbreds in evaluated individuals ------------------------";
constexpr const char* kHeading1 = "|T1|T6|T4|T6No. of dis. gen.|T4|T6Longest ancestral";
constexpr const char* kHeading2 = "Individual|T1|T6F|T4|T6equiv.|T4|T6path";

// Calls `emit` for every evaluated inbred in code order until it returns
// false.
void ForEachEvaluatedInbred(const Pedigree& ped, const std::function<bool(const Rec&)>& emit) {
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    if (r.f > 0.0f && !r.fPredefined && !emit(r)) return;
  }
}

std::string InbredLine(const Pedigree& ped, const GenerationDepths& depths, const Rec& r,
                       const char* colour) {
  const int format = ped.settings.numberFormat;
  const float equivalent = depths.equivalent[static_cast<std::size_t>(r.code)];
  return std::string(r.id) + "|T1|T6" + colour + FormatNumber(format, FOfRecord(ped, r)) + "|T4|T6" +
         FormatNumber(format, equivalent) + "|T4|T6" + std::to_string(r.generation);
}

// Every individual in the file's order, with the depths the listing shows.
void AddInbreedingTable(Pedigree& ped, const GenerationDepths& depths) {
  ResultTable& table = ped.report.tables().Add("inbreeding");
  table.AddColumn("id", ColumnType::kId);
  table.AddColumn("sire", ColumnType::kId);
  table.AddColumn("dam", ColumnType::kId);
  table.AddColumn("group", ColumnType::kInteger);
  table.AddColumn("code", ColumnType::kInteger);
  table.AddColumn("f", ColumnType::kReal);
  table.AddColumn("f_predefined", ColumnType::kBoolean);
  table.AddColumn("ecg", ColumnType::kReal, "generations");
  table.AddColumn("longest_path", ColumnType::kInteger, "generations");
  if (!ped.report.tables().RowsWanted()) return;
  table.Reserve(static_cast<std::size_t>(ped.nTotal));
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    TableRow row = table.AddRow();
    row.Id(r.Id()).Id(ParentId(ped, r.sire)).Id(ParentId(ped, r.dam));
    GroupCell(row, ped, r).Integer(r.code);
    if (r.f == -1.0f && !r.fPredefined) row.Missing();
    else if (ped.InDouble()) row.Real(FOfRecord(ped, r));
    else row.Float(r.f);
    row.Boolean(r.fPredefined)
        .Float(depths.equivalent[static_cast<std::size_t>(r.code)])
        .Integer(r.generation);
  }
}

}  // namespace

void WriteInbreedingReport(Pedigree& ped) {
  ReportStore& report = ped.report;
  const std::pair<const char*, std::int32_t> figures[] = {
      {"No. of individuals in total", ped.nTotal},
      {"No. of inbreds", ped.nInbreds},
      {"No. of evaluated individuals", ped.nEvaluated},
      {"No. of inbreds in evaluated", ped.nInbredsEvaluated}};
  ResultTable& summary = report.tables().Add(SummaryTable());
  for (std::size_t k = 0; k < std::size(figures); ++k) {
    const auto& [label, value] = figures[k];
    summary.AddFigure(label, value);
    report.Add(std::string(label) + (k % 2 == 0 ? "|T7|T7|I" : "|T7|T7|X") +
               std::to_string(value));
  }
  if (const std::string line = MetafounderLine(ped); !line.empty()) report.Add(line);
  const GenerationDepths depths = TraceGenerations(ped);
  AddInbreedingTable(ped, depths);
  report.Add(kListRule);
  if (ped.nInbredsEvaluated == 0) {
    report.Add("|XThere is no inbred in evaluated individuals.");
    return;
  }
  report.Add(kHeading1);
  report.Add(kHeading2);
  report.Add("----------|T1|T6----------|T4|T6----------|T4|T6----------");
  ForEachEvaluatedInbred(ped, [&](const Rec& r) {
    report.Add(InbredLine(ped, depths, r, "|I"));
    return !report.Full();
  });
}

bool WriteInbredsFile(Pedigree& ped, OutputFile& out, Progress& progress) {
  progress.SetStage(0, 100, ped.nTotal, kSavingLabel);
  out.Markup("No. of individuals in total|T7|T7" + std::to_string(ped.nTotal));
  out.Markup("No. of inbreds|T7|T7" + std::to_string(ped.nInbreds));
  out.Markup("No. of evaluated individuals|T7|T7" + std::to_string(ped.nEvaluated));
  out.Markup("No. of inbreds in evaluated|T7|T7" + std::to_string(ped.nInbredsEvaluated));
  if (const std::string line = MetafounderLine(ped); !line.empty()) out.Raw(line + "\n");
  out.Raw(std::string(kListRule) + "\n");
  if (ped.nInbredsEvaluated == 0) {
    out.Raw("There is no inbred in evaluated individuals.\n");
    return true;
  }
  out.Markup(kHeading1);
  out.Markup(kHeading2);
  out.Markup("");
  const GenerationDepths depths = TraceGenerations(ped);
  bool cancelled = false;
  ForEachEvaluatedInbred(ped, [&](const Rec& r) {
    out.Markup(InbredLine(ped, depths, r, ""));
    cancelled = progress.Step(r.code - 1);
    return !cancelled;
  });
  return !cancelled;
}

CommandDeclaration InbreedingDeclaration() {
  return CommandDeclaration{kCmdCompute, "inbreeding", {}}
      .Summary("Compute inbreeding coefficients; writes the list of inbreds")
      .Explanation("Computes every inbreeding coefficient that the file does not predefine and writes the\n"
                   "summary with the list of inbred evaluated individuals. With --report, the summary report.")
      // The first row of Tools, whose menu comes after File's on the bar.
      .Menu({.menu = kInbreedingMenu, .text = "&Compute\tCtrl+I", .accelerator = "Ctrl+I",
             .prompt = "Compute inbreeding coefficients", .tooltip = "Compute inbreeding coefficients",
             .rule = kValidNotShown, .follows = kCmdExit});
}

CommandDeclaration RecomputeInbreedingDeclaration() {
  return CommandDeclaration{kCmdRecompute, "recompute-inbreeding", {}}
      .Summary("Discard predefined F and compute every coefficient (Re-compute for All)")
      .Explanation("Needs a file with an F column. Replaces every predefined F by its computed value, then\n"
                   "writes what the inbreeding command writes.")
      .Menu({.menu = kInbreedingMenu, .text = "&Re-compute for All\tCtrl+Shift+R", .accelerator = "Ctrl+Shift+R",
             .prompt = "Re-compute inbreeding coefficients for all individuals",
             .tooltip = "Re-compute inbreeding coefficients for all individuals", .rule = kValid | kFColumn});
}

}  // namespace kinvar
