#include "app/command_declarations.h"

#include <algorithm>

#include "analyses/decomposition_report.h"
#include "analyses/diversity.h"
#include "analyses/dominance_command.h"
#include "analyses/extraction.h"
#include "analyses/gene_origin.h"
#include "analyses/genomic_input.h"
#include "analyses/genomic_relationship_command.h"
#include "analyses/hinverse.h"
#include "analyses/inverse_a_command.h"
#include "analyses/matrix_t_command.h"
#include "analyses/parentage_report.h"
#include "analyses/path_counting.h"
#include "analyses/purging.h"
#include "analyses/relationship_commands.h"
#include "analyses/structure.h"
#include "analyses/x_linked_command.h"
#include "app/inbreeding_report.h"
#include "app/listings.h"
#include "matings/matings_command.h"
#include "matings/planned_mating_command.h"
#include "matings/population_commands.h"

namespace kinvar {

// In kinvar-cli's --help order; the commands of one name, told apart by a
// scope word, follow each other.
std::vector<CommandDeclaration> CommandDeclarations() {
  return {ViewPedigreeDeclaration(),
          RecodingDeclaration(),
          InbreedingDeclaration(),
          RecomputeInbreedingDeclaration(),
          InbreedingOfDeclaration(),
          RelationshipDeclaration(),
          InverseOfADeclaration(),
          XLinkedDeclaration(),
          DominanceDeclaration(),
          GenomicRelationshipDeclaration(),
          GenomicInbreedingDeclaration(),
          HInverseDeclaration(),
          ParentageDeclaration(),
          MatrixTDeclaration(),
          DiiDeclaration(),
          StructureDeclaration(),
          BetweenAllDeclaration(),
          WithinGroupDeclaration(),
          BetweenTwoGroupsDeclaration(),
          AverageBetweenGroupsDeclaration(),
          AverageRelatednessDeclaration(),
          PathCountingIndividualDeclaration(),
          PathCountingGroupDeclaration(),
          PathCountingAllDeclaration(),
          ExtractAncestorsOfIndividualDeclaration(),
          ExtractAncestorsOfGroupDeclaration(),
          ExtractDescendantsOfIndividualDeclaration(),
          ExtractDescendantsOfGroupDeclaration(),
          GeneOriginDeclaration(),
          DiversityDeclaration(),
          DecompositionIndividualDeclaration(),
          DecompositionGroupDeclaration(),
          DecompositionCoancestryDeclaration(),
          OptimizeMatingsDeclaration(),
          PurgingDeclaration(),
          MeanKinshipDeclaration(),
          MateSuitabilityDeclaration(),
          OptimumContributionsDeclaration(),
          PlannedMatingDeclaration(),
          GenotypeQcDeclaration()};
}

std::optional<CommandDeclaration> FindDeclaration(std::int32_t id) {
  for (CommandDeclaration& d : CommandDeclarations())
    if (d.id == id) return std::move(d);
  return std::nullopt;
}

std::optional<CommandDeclaration> FindDeclaration(const std::string& name) {
  for (CommandDeclaration& d : CommandDeclarations())
    if (d.FullName() == name) return std::move(d);
  return std::nullopt;
}

namespace {

std::string Cell(const std::string& text) { return text.empty() ? "—" : "`" + text + "`"; }

// A '|' would end the table's cell.
std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

std::string DefaultCell(const Parameter& p) {
  if (p.type == ParameterType::kFlag) return "off";
  if (p.defaultText.empty()) return "none";
  return "`" + p.defaultText + "`";
}

}  // namespace

std::string OptionTable(const CommandDeclaration& command) {
  const auto& ps = command.parameters;
  if (std::all_of(ps.begin(), ps.end(),
                  [&command](const Parameter& p) { return p.positional || !command.OnCommandLine(p); }))
    return {};
  std::string table = "| Option | Python and R | Default | What it does |\n|---|---|---|---|\n";
  for (const Parameter& p : command.parameters) {
    if (p.positional || !command.OnCommandLine(p)) continue;
    const std::string option = "--" + OptionOf(p) + (p.valueName.empty() ? "" : " " + p.valueName);
    // An option that unticks a flag is the keyword given as false.
    const std::string keyword = Cell(KeywordOf(p)) + (p.offOption.empty() || KeywordOf(p).empty() ? "" : " false");
    table += "| " + Cell(option) + " | " + keyword + " | " + DefaultCell(p) + " | " + Escaped(p.help) + " |\n";
  }
  return table;
}

}  // namespace kinvar
