#include "app/save_as.h"

#include "analyses/genomic_input.h"
#include "analyses/parentage_report.h"
#include "genetics/matrix_t.h"

#include <string>

#include "analyses/relationship_listings.h"
#include "analyses/relationship_matrices.h"
#include "app/command_declarations.h"
#include "app/commands.h"
#include "report/number_format.h"

namespace kinvar {

SaveBody SaveBodyFor(std::int32_t lastCommand, int choice) {
  switch (lastCommand) {
    case kRejectedPedigree:
    case kCmdStructure:
    case kCmdAverageBetweenGroups:
    case kCmdOptimizeMatings:
    case kCmdPlannedMating:
    case kCmdParentage:
    case kCmdGenotypeQc:
    // One line per individual: the store keeps only the first 100002.
    case kCmdAverageRelatedness:
      return SaveBody::kCopyFile;
    case kCmdBetweenAll:
      return choice == 2 ? SaveBody::kMatrixAll : SaveBody::kCopyFile;
    case kCmdBetweenTwoGroups:
      return choice == 2 ? SaveBody::kMatrixTwoGroups : SaveBody::kCopyFile;
    case kCmdWithinGroup:
      return choice == 2 ? SaveBody::kMatrixWithinGroup : SaveBody::kCopyFile;
    case kCmdPathCountingIndividual:
    case kCmdPathCountingGroup:
    case kCmdPathCountingAll:
      return SaveBody::kPathCounting;
    case kCmdCompute:
    case kCmdRecompute:
      return SaveBody::kInbreds;
    case kCmdDii:
      return SaveBody::kDii;
    case kCmdViewPedigree:
      return SaveBody::kPedigreeFile;
    case kCmdRecoding:
      return SaveBody::kRecodedFile;
    default:
      break;
  }
  // A declared command's report is its copy file, which holds every line.
  if (const auto declared = FindDeclaration(lastCommand); declared && declared->output == CommandOutput::kReport)
    return SaveBody::kCopyFile;
  return SaveBody::kReportStore;
}

bool IsPedigreeFileCommand(std::int32_t lastCommand) {
  return lastCommand == kCmdViewPedigree || lastCommand == kCmdRecoding;
}

bool WriteCopyFile(Pedigree& ped, OutputFile& out, Progress& progress) {
  progress.SetStage(0, 100, ped.copyFile.Size(), kSavingLabel);
  std::int64_t bytes = 0;
  return ped.copyFile.ForEachLine([&](std::string_view line) {
    out.Markup(line);
    bytes += static_cast<std::int64_t>(line.size()) + 1;
    return !progress.Step(bytes - 1);
  });
}

bool WriteReportStore(const Pedigree& ped, OutputFile& out, Progress& progress) {
  progress.SetStage(0, 100, ped.report.Count(), kSavingLabel);
  for (int i = 0; i < ped.report.Count(); ++i) {
    out.Markup(ped.report.Line(i));
    if (progress.Step(i)) return false;
  }
  return true;
}

void WriteMatrixFile(Pedigree& ped, SaveBody body, int groupA, int groupB, OutputFile& out) {
  switch (body) {
    case SaveBody::kMatrixAll: WriteMatrixAll(ped, out); break;
    case SaveBody::kMatrixWithinGroup:
      WriteMatrixWithinGroup(ped, groupA, GroupMembers(ped, groupA), out);
      break;
    case SaveBody::kMatrixTwoGroups:
      WriteMatrixBetweenGroups(ped, groupA, GroupMembers(ped, groupA), groupB,
                               GroupMembers(ped, groupB), out);
      break;
    default: break;
  }
}

bool WriteDiiFile(const Pedigree& ped, OutputFile& out, Progress& progress) {
  progress.SetStage(0, 100, ped.nTotal, kSavingLabel);
  out.Markup("Individual|T1|T5Within family segregation variance");
  out.Markup("");
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    if (progress.Step(i - 1)) return false;
    const Rec& r = ped.rec(i);
    // The D the coefficients went through, as the dii report lists it.
    out.Markup(std::string(r.id) + "|T1|T5" + FormatNumber(ped.settings.numberFormat, DiiOf(ped, r)));
    if (i == ped.lastRead()) out.Markup("");
  }
  return true;
}

}  // namespace kinvar
