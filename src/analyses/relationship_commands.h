// The handlers of the relationship commands of the Tools menu: the three
// listings and the two averages. Each asks for its groups through the
// platform's pickers (or reuses the remembered ones on a re-run), puts the
// records in code order, computes the coefficients when needed, and leaves
// the standard cancel state when the user cancels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analyses/command_context.h"
#include "analyses/command_ids.h"

namespace kinvar {

void OnBetweenAllIndividuals(CommandContext& ctx);
void OnWithinAGroup(CommandContext& ctx);
void OnBetweenTwoGroups(CommandContext& ctx);
void OnAverageBetweenGroups(CommandContext& ctx);
void OnAverageRelatedness(CommandContext& ctx);

// The three listings' parameters: none, the group, or the two groups;
// kinvar-cli's relationships chooses among them by the scope word.
CommandDeclaration BetweenAllDeclaration();
CommandDeclaration WithinGroupDeclaration();
CommandDeclaration BetweenTwoGroupsDeclaration();
// The two averages take no parameters.
CommandDeclaration AverageBetweenGroupsDeclaration();
CommandDeclaration AverageRelatednessDeclaration();

// The two queries of one value, the inbreeding coefficient of an individual
// and the relationship of two, whose dialog the document shows: their IDs,
// which the dialog's boxes show again at its next opening.
CommandDeclaration InbreedingOfDeclaration();
CommandDeclaration RelationshipDeclaration();
// The texts of a query's boxes as the dialog opens, in the declaration's
// order, and the texts it read, kept for the next opening.
std::vector<std::string> QueryTexts(const CommandDeclaration& query, const CommandValues& values);
void KeepQueryTexts(const CommandDeclaration& query, const std::vector<std::string>& texts, CommandValues& values);
// The boxes' labels.
std::vector<std::string> QueryLabels(const CommandDeclaration& query);

}  // namespace kinvar
