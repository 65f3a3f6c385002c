// What every genomic command's handler does with the genotype boxes of its
// form: read the file, match it to the pedigree, apply quality control, and
// tell the user why when that fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analyses/command_context.h"
#include "analyses/command_declaration.h"
#include "genomics/genotype_input.h"

namespace kinvar {

// Code order, then the genotype input under a progress window. Nothing when
// the reading failed (the error shown) or was cancelled (the cancel shown);
// an input with no animal or no SNP left comes back with its error set, so
// that a report can still show its quality control.
std::optional<GenotypeInput> ReadGenotypesFor(CommandContext& ctx, const GenotypeInputOptions& options);
// ReadGenotypesFor for a command that computes on the genotypes: an input
// with no animal or no SNP left is refused with its error too.
std::optional<GenotypeInput> ReadUsableGenotypes(CommandContext& ctx, const GenotypeInputOptions& options);

// A report line that may hold a path (the genotype file's, a frequency
// file's), cut to the report's width: a longer line would end the program.
void WriteFittedLine(Pedigree& ped, std::string line);
// The genotype input's report lines, each so cut.
void WriteInputLines(Pedigree& ped, const GenotypeInput& input);

// The genotype-qc command's identifier, which lastCommand records.
inline constexpr std::int32_t kCmdGenotypeQc = 32949;

// The command's genotype-qc report: the input's lines and what was dropped.
void OnGenotypeQc(CommandContext& ctx);
// Its parameters: the genotype input's alone.
CommandDeclaration GenotypeQcDeclaration();

}  // namespace kinvar
