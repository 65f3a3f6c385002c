#include "app/inbreeding_report.h"

#include <functional>
#include <string>

#include "app/save_as.h"
#include "report/number_format.h"

namespace kinvar {

namespace {

constexpr const char* kListRule =
    "----------------------- List of inbreds in evaluated individuals ------------------------";
constexpr const char* kHeading1 = "|T1|T6|T4|T6No. of dis. gen.|T4|T6Longest ancestral";
constexpr const char* kHeading2 = "Individual|T1|T6F|T4|T6equiv.|T4|T6path";

// Goes through the records in code order computing the equivalent number of
// complete generations in `scratch` (1 + half of each parent's), and calls
// `emit` for every evaluated inbred until it returns false. Scratch values
// are 0 again afterwards.
void ForEachEvaluatedInbred(Pedigree& ped, const std::function<bool(const Rec&)>& emit) {
  ped.unknownParent().scratch = 0.0f;
  bool listing = true;
  for (std::int32_t i = 0; i < ped.nTotal && listing; ++i) {
    Rec& r = ped.byCode(i);
    const float half = 1.0f + 0.5f * ped.rec(r.sire).scratch;
    r.scratch = half + 0.5f * ped.rec(r.dam).scratch;
    if (r.f > 0.0f && !r.fPredefined) listing = emit(r);
  }
  for (Rec& r : ped.recs) r.scratch = 0.0f;
}

std::string InbredLine(const Pedigree& ped, const Rec& r, const char* colour) {
  const int format = ped.settings.numberFormat;
  return std::string(r.id) + "|T1|T6" + colour + FormatNumber(format, r.f) + "|T4|T6" +
         FormatNumber(format, r.scratch - 1.0f) + "|T4|T6" + std::to_string(r.generation);
}

}  // namespace

void WriteInbreedingReport(Pedigree& ped) {
  CMS& report = ped.report;
  report.Add("No. of individuals in total|T7|T7|I" + std::to_string(ped.nTotal));
  report.Add("No. of inbreds|T7|T7|X" + std::to_string(ped.nInbreds));
  report.Add("No. of evaluated individuals|T7|T7|I" + std::to_string(ped.nEvaluated));
  report.Add("No. of inbreds in evaluated|T7|T7|X" + std::to_string(ped.nInbredsEvaluated));
  report.Add(kListRule);
  if (ped.nInbredsEvaluated == 0) {
    report.Add("|XThere is no inbred in evaluated individuals.");
    return;
  }
  report.Add(kHeading1);
  report.Add(kHeading2);
  report.Add("----------|T1|T6----------|T4|T6----------|T4|T6----------");
  ForEachEvaluatedInbred(ped, [&](const Rec& r) {
    report.Add(InbredLine(ped, r, "|I"));
    return !report.Full();
  });
}

bool WriteInbredsFile(Pedigree& ped, OutputFile& out, Progress& progress) {
  progress.SetStage(0, 100, ped.nTotal, kSavingLabel);
  out.Markup("No. of individuals in total|T7|T7" + std::to_string(ped.nTotal));
  out.Markup("No. of inbreds|T7|T7" + std::to_string(ped.nInbreds));
  out.Markup("No. of evaluated individuals|T7|T7" + std::to_string(ped.nEvaluated));
  out.Markup("No. of inbreds in evaluated|T7|T7" + std::to_string(ped.nInbredsEvaluated));
  out.Raw(std::string(kListRule) + "\n");
  if (ped.nInbredsEvaluated == 0) {
    out.Raw("There is no inbred in evaluated individuals.\n");
    return true;
  }
  out.Markup(kHeading1);
  out.Markup(kHeading2);
  out.Markup("");
  bool cancelled = false;
  ForEachEvaluatedInbred(ped, [&](const Rec& r) {
    out.Markup(InbredLine(ped, r, ""));
    cancelled = progress.Step(r.code - 1);
    return !cancelled;
  });
  return !cancelled;
}

}  // namespace kinvar
