#include "app/command_handlers.h"

#include <algorithm>
#include <array>
#include <utility>

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
#include "app/command_declarations.h"
#include "app/commands.h"
#include "genetics/inverse_a.h"
#include "genetics/matrix_t.h"
#include "matings/matings_command.h"
#include "matings/planned_mating_command.h"

namespace kinvar {

namespace {

struct Entry {
  std::int32_t id;
  CommandHandler run;
};

// One row per analysis command whose handler exists and that does not
// declare its parameters (a declaration names its handler).
constexpr std::array kHandlers{
    Entry{kCmdDii, OnDii},
    Entry{kCmdInverseA, OnInverseOfA},
    Entry{kCmdStructure, OnStructure},
    Entry{kCmdMatrixT, OnMatrixT},
    Entry{kCmdHInverse, OnHInverse},
    Entry{kCmdParentage, OnParentage},
    Entry{kCmdAverageBetweenGroups, OnAverageBetweenGroups},
    Entry{kCmdAverageRelatedness, OnAverageRelatedness},
    Entry{kCmdOptimizeMatings, OnOptimizingMatings},
    Entry{kCmdPlannedMating, OnPlannedMating},
    Entry{kCmdGenomicRelationship, OnGenomicRelationship},
    Entry{kCmdGenomicInbreeding, OnGenomicInbreeding},
    Entry{kCmdGenotypeQc, OnGenotypeQc},
    Entry{kCmdXLinked, OnXLinked},
};

}  // namespace

CommandHandler AnalysisHandler(std::int32_t id) {
  const auto it = std::find_if(kHandlers.begin(), kHandlers.end(),
                               [id](const Entry& e) { return e.id == id; });
  if (it != kHandlers.end()) return it->run;
  const auto declared = FindDeclaration(id);
  return declared ? declared->run : nullptr;
}

}  // namespace kinvar
