// The document's genetic groups and metafounders: the commands that read
// the pedigree again with them, and the commands that may run while
// metafounders are loaded.
#include "app/document.h"

#include <utility>

#include "analyses/hinverse.h"
#include "analyses/inverse_a_command.h"
#include "analyses/parentage_report.h"
#include "app/command_handlers.h"
#include "genetics/inverse_a.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/metafounders.h"

namespace kinvar {

namespace {

// A text file to read, its filter named `kind`; nothing when cancelled.
std::optional<std::string> AskTextFile(Platform& platform, const std::string& kind, const std::string& title) {
  FileRequest request;
  request.filters = {{kind + " (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}};
  request.defaultExtension = "txt";
  request.title = title;
  return platform.AskFileName(request);
}

}  // namespace

void Document::OnInverseWithGroups() {
  InverseWithGroupsFrom("Genetic Groups", "Genetic groups", [](const std::string& path, GeneticGroups& groups) {
    return ReadGroupIds(path, groups.ids);
  });
}

void Document::OnInverseWithMetafounders() {
  InverseWithGroupsFrom("Metafounders", "Metafounders", ReadMetafounders);
}

void Document::InverseWithGroupsFrom(const std::string& kind, const std::string& subject,
                                       const GroupsReader& read) {
  const auto chosen = AskTextFile(platform_, kind, kind);
  if (!chosen) return;
  GeneticGroups groups;
  if (const std::string error = read(*chosen, groups); !error.empty()) {
    platform_.ShowMessage(error, MessageIcon::kError);
    return;
  }
  if (path_.empty()) {
    platform_.ShowMessage(subject + " need a pedigree read from a file.", MessageIcon::kError);
    return;
  }
  InverseWithGroupsRequest(std::move(groups));
}

void Document::InverseWithGroupsRequest(GeneticGroups groups) {
  // The groups stand for unknown parents from the reading on, so the
  // pedigree is read again with them; a failed reading keeps the old ones.
  std::string sheet;
  if (!ChooseSheet(path_, sheet)) return;
  GeneticGroups previous;
  KeepGroupRequest(ped_.geneticGroups, previous);
  KeepGroupRequest(groups, ped_.geneticGroups);
  const bool read = LoadInPlaceOfShown([&](Pedigree& ped, Progress& progress) {
    return LoadPedigree(path_, ped, progress, sheet);
  });
  if (!read) {
    KeepGroupRequest(previous, ped_.geneticGroups);
    return;
  }
  fileTime_ = ModificationTime(path_);
  platform_.RefreshViews();
  if (lastCommand_ == kRejectedPedigree) return;
  // Fractions spread an unknown parent over plain groups only.
  if (!ped_.geneticGroups.Metafounders() && !AskGroupFractions()) return;
  CommandContext ctx = Context();
  OnInverseOfA(ctx);
  platform_.RefreshViews();
}

bool Document::AskGroupFractions() {
  const auto chosen = AskTextFile(platform_, "Group Fractions", "Group Fractions (optional)");
  if (!chosen) return true;
  if (const std::string error = ReadGroupFractions(*chosen, ped_); !error.empty()) {
    platform_.ShowMessage(error, MessageIcon::kError);
    return false;
  }
  return true;
}

namespace {

constexpr const char* kNoMetafounderModel =
    "This command does not take metafounders into account. Open the pedigree again to use it "
    "without them.";

// The analyses whose numbers follow the metafounder model; the others would
// give the numbers of another model, so they are refused while it is loaded.
bool UsesMetafounders(std::int32_t id) {
  switch (id) {
    case kCmdCompute: case kCmdRecompute: case kCmdViewPedigree: case kCmdRecoding:
    case kCmdInbreedingOfIndividual: case kCmdBetweenTwoIndividuals: case kCmdInverseA:
    case kCmdBetweenAll: case kCmdBetweenTwoGroups: case kCmdWithinGroup: case kCmdDii:
    case kCmdStructure: case kCmdExtractAncestorsIndividual: case kCmdExtractAncestorsGroup:
    case kCmdExtractDescendantsIndividual: case kCmdExtractDescendantsGroup:
    // Opposing homozygotes and the pedigree's sexes and dates: no relationship.
    case kCmdParentage:
      return true;
    default: return false;
  }
}

}  // namespace

std::string MetafounderRefusal(const Pedigree& ped, std::int32_t id) {
  if (!ped.geneticGroups.Metafounders() || UsesMetafounders(id)) return {};
  // The single-step's own message names what it would need.
  if (id == kCmdHInverse) return kHInverseMetafounders;
  return kNoMetafounderModel;
}

}  // namespace kinvar
