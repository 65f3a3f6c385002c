#include "app/save_as.h"

#include <string>

#include "app/commands.h"
#include "genetics/relationship_listings.h"
#include "genetics/relationship_matrices.h"
#include "report/number_format.h"

namespace kinvar {

SaveBody SaveBodyFor(std::int32_t lastCommand, int choice) {
  switch (lastCommand) {
    case kRejectedPedigree:
    case kCmdStructure:
    case kCmdGeneOrigin:
    case kCmdDiversity:
    case kCmdAverageBetweenGroups:
    case kCmdDecompositionIndividual:
    case kCmdDecompositionGroup:
    case kCmdDecompositionCoancestry:
    case kCmdOptimizeMatings:
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
      return SaveBody::kInbreds;
    case kCmdDii:
      return SaveBody::kDii;
    case kCmdViewPedigree:
      return SaveBody::kPedigreeFile;
    case kCmdRecoding:
      return SaveBody::kRecodedFile;
    default:
      return SaveBody::kReportStore;
  }
}

bool IsPedigreeFileCommand(std::int32_t lastCommand) {
  return lastCommand == kCmdViewPedigree || lastCommand == kCmdRecoding;
}

void WriteCopyFile(Pedigree& ped, OutputFile& out) {
  ped.copyFile.ForEachLine([&out](std::string_view line) { out.Markup(line); });
}

void WriteReportStore(const Pedigree& ped, OutputFile& out) {
  for (int i = 0; i < ped.report.Count(); ++i) out.Markup(ped.report.Line(i));
}

void WriteMatrixFile(Pedigree& ped, SaveBody body, int groupA, int groupB, OutputFile& out) {
  switch (body) {
    case SaveBody::kMatrixAll: WriteMatrixAll(ped, out.file()); break;
    case SaveBody::kMatrixWithinGroup:
      WriteMatrixWithinGroup(ped, groupA, GroupMembers(ped, groupA), out.file());
      break;
    case SaveBody::kMatrixTwoGroups:
      WriteMatrixBetweenGroups(ped, groupA, GroupMembers(ped, groupA), groupB,
                               GroupMembers(ped, groupB), out.file());
      break;
    default: break;
  }
}

void WriteDiiFile(const Pedigree& ped, OutputFile& out) {
  out.Markup("Individual|T1|T5Within family segregation variance");
  out.Markup("");
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const Rec& r = ped.rec(i);
    // The D the coefficients went through, as the dii report lists it.
    const float dii = ped.d[static_cast<std::size_t>(r.code)];
    out.Markup(std::string(r.id) + "|T1|T5" + FormatNumber(ped.settings.numberFormat, dii));
    if (i == ped.lastRead()) out.Markup("");
  }
}

}  // namespace kinvar
