// The census of the pedigree's structure: individuals, inbreds, sires, dams,
// founders and their progeny, full-sib families, the distribution of F and
// of the longest ancestral path, and three per-group tables (counts; F;
// average relationships K and L and discrete generation equivalents).
//
// Conventions: codes are the chronological codes 1..nTotal, founders first
// (an individual is a founder when its code is at most nFounders); group
// statistics are indexed like ped.groups. Per-individual values are 32-bit
// floats, sums and averages doubles. K and L go through ped.d, the D of the
// inbreeding coefficients, so they are the means of the A that every other
// report uses, predefined F included.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analyses/command_context.h"
#include "analyses/generation_interval.h"
#include "pedigree/pedigree.h"
#include "report/progress.h"
#include "report/result_table.h"

namespace kinvar {

struct GroupCensus {
  std::int32_t inbreds = 0;          // B: members with F > 0
  std::int32_t founders = 0;         // C: both parents unknown
  std::int32_t noProgeny = 0;        // E: never a sire or a dam
  std::int32_t uniqueAncestors = 0;  // F: distinct ancestors of the members
  double sumF = 0.0;                 // over members with F > 0
  float maxF = 0.0f;
  float minF = 1.0f;
  double sumGenerations = 0.0;       // discrete generation equivalents
  double maxGenerations = 0.0;
  double minGenerations = 100000.0;
  std::int32_t bothKnown = 0;        // D
  double l = 0.0;                    // mean relationship, self excluded
  double k = 0.0;                    // mean relationship, self included
};

struct StructureCensus {
  std::int32_t founderProgeny = 0;  // a parent is a founder
  std::int32_t sires = 0, sireProgeny = 0;
  std::int32_t dams = 0, damProgeny = 0;
  std::int32_t founderSires = 0, founderSireProgeny = 0;
  std::int32_t founderDams = 0, founderDamProgeny = 0;
  std::int32_t onlyKnownDam = 0, onlyKnownSire = 0, bothKnown = 0;
  std::vector<std::int32_t> lap;             // individuals per longest ancestral path
  std::array<std::int32_t, 20> fClasses{};   // (0, 0.05], ..., (0.95, 1]
  double sumF = 0.0;
  float maxF = 0.0f;
  float minF = 1.0f;
  double sumGenerations = 0.0;
  double maxGenerations = 0.0;
  double l = 0.0;
  double k = 0.0;
  std::vector<GroupCensus> groups;
  std::vector<RecIndex> foundersWithoutProgeny;  // in code order
  GenerationIntervals intervals{};  // with a Birth date column
};

// Needs the coefficients computed and `records` in code order. False when
// the user cancelled.
bool ComputeStructure(const Pedigree& ped, Progress& progress, StructureCensus& census);
// Replaces the report (and its copy file) by the census.
void WriteStructureReport(Pedigree& ped, const StructureCensus& census);

// The census as tables, in the report's order: `summary` (the brief
// structure's counts; a line indented under another carries both labels,
// "Sires in total -Progeny"), `f_distribution` when there are inbreds,
// `longest_path`, `groups` (the three group tables side by side, the first
// row with no group being the report's Total row), `generation_intervals`
// with a Birth date column and `founders_without_progeny` when listed.
void AddStructureTables(const Pedigree& ped, const StructureCensus& census, ResultSet& tables);
void OnStructure(CommandContext& ctx);
// No parameters: the founders without progeny follow the settings'
// list-founders option.
CommandDeclaration StructureDeclaration();

}  // namespace kinvar
