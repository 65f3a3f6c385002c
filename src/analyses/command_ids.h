// The fixed identifiers of the commands: what `lastCommand` records, what
// Save As and the Options dialog's re-run dispatch on, and what the menus,
// toolbar and accelerators carry. Handlers below the application record
// their own identifier, hence this header sits with the command context.
//
// A new command's identifier is defined beside its handler, in its header
// (as the genomic commands' are), and no other command may share it; the
// values here stay as they are, since saved state and re-runs carry them.
#pragma once

#include <cstdint>

namespace kinvar {

enum CommandId : std::int32_t {
  kCmdNone = 0,          // lastCommand after a cancel
  kNoPedigree = -200,    // lastCommand before any load
  kRejectedPedigree = -100,
  kCmdCompute = 32776,
  kCmdOptions = 32781,
  kCmdDii = 32784,
  kCmdInverseA = 32795,
  kCmdBetweenAll = 32796,
  kCmdRecompute = 32799,
  kCmdBetweenTwoIndividuals = 32805,
  kCmdStructure = 32806,
  kCmdInbreedingOfIndividual = 32809,
  kCmdViewPedigree = 32811,
  kCmdExtractAncestorsIndividual = 32814,
  kCmdExtractAncestorsGroup = 32815,
  kCmdExtractDescendantsIndividual = 32816,
  kCmdExtractDescendantsGroup = 32817,
  kCmdGeneOrigin = 32818,
  kCmdRecoding = 32820,
  kCmdBetweenTwoGroups = 32821,
  kCmdWithinGroup = 32822,
  kCmdAverageBetweenGroups = 32824,
  kCmdDecompositionIndividual = 32831,
  kCmdDecompositionGroup = 32832,
  kCmdDecompositionCoancestry = 32833,
  kCmdPathCountingIndividual = 32839,
  kCmdPathCountingGroup = 32840,
  kCmdPathCountingAll = 32841,
  kCmdOptimizeMatings = 32842,
  kCmdAverageRelatedness = 32869,
  kCmdMatrixT = 32878,
  kCmdDiversity = 32880,
  kCmdMeanKinship = 32881,
  kCmdMateSuitability = 32882,
  kCmdOptimumContributions = 32883,
  kCmdPlannedMating = 32884,
  kCmdPurging = 32890,
  kCmdXLinked = 32920,
  kCmdDominance = 32921,
  kCmdFileOpen = 57601,
  kCmdFileSaveAs = 57604,
  kCmdPrintSetup = 57606,
  kCmdPrint = 57607,
  kCmdPrintPreview = 57609,
  kCmdRecentFile = 57616,
  kCmdAbout = 57664,
  kCmdExit = 57665,
  kCmdHelpContents = 57670,
  kCmdViewToolbar = 59392,
  kCmdViewStatusBar = 59393,
};

}  // namespace kinvar
