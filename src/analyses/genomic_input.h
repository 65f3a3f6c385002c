// What every genomic command's handler does with the genotype boxes of its
// form: read the file, match it to the pedigree, apply quality control, and
// tell the user why when that fails.
#pragma once

#include <optional>

#include "analyses/command_context.h"
#include "genomics/genotype_input.h"

namespace kinvar {

// Code order, then the genotype input under a progress window. Nothing when
// the reading failed (the error shown) or was cancelled (the cancel shown);
// an input with no animal or no SNP left comes back with its error set, so
// that a report can still show its quality control.
std::optional<GenotypeInput> ReadGenotypesFor(CommandContext& ctx, const GenotypeInputOptions& options);

// The command's genotype-qc report: the input's lines and what was dropped.
void OnGenotypeQc(CommandContext& ctx);

}  // namespace kinvar
