// Probabilities of gene origin of one group: the expected contribution of
// every founder to the members' genes, the founder equivalent (1 / the sum
// of squared contributions), the founder genome equivalent (1 / twice the
// average coancestry), the effective number of non-founders, and per founder
// its part of the average inbreeding (v1) and coancestry (v2) from the
// decomposition engine.
//
// Conventions: codes 1..nTotal; a founder has both parents unknown.
// Contributions are 32-bit floats, their sums doubles. Where the founder
// genome equivalent equals the founder equivalent (within rounding), the
// effective number of non-founders cannot be estimated: the report says so
// in words and the summary table holds no value.
#pragma once

#include <cstdint>
#include <vector>

#include "analyses/command_context.h"

namespace kinvar {

struct FounderContributions {
  std::vector<float> byCode;  // every individual's share of the group's genes
  double sum = 0.0;           // over founders
  double sumOfSquares = 0.0;
};

// Needs `records` in code order; `group` is an index into ped.groups.
FounderContributions ComputeFounderContributions(const Pedigree& ped, std::int32_t group);
// Replaces the report (and its copy file); needs the coefficients computed.
void WriteGeneOriginReport(Pedigree& ped, std::int32_t group);
void OnGeneOrigin(CommandContext& ctx);
// Its parameter: the group.
CommandDeclaration GeneOriginDeclaration();

}  // namespace kinvar
