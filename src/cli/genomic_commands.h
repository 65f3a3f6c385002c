// The command line's options of the genomic commands, gathered as the
// values of the commands' form: each option's name without its dashes is
// the form's key, so the command line, the desktop and the packages run the
// one handler with the same inputs.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <map>
#include <string>

namespace kinvar::cli {

using GenomicValues = std::map<std::string, std::string>;

// --genotypes FILE (required), --genotype-format, the quality control and
// --frequencies genotyped|founders|FILE.
void AddGenotypeOptions(CLI::App& sub, GenomicValues& values);
// The options of one command (its id), with the genotype options.
void AddGenomicOptions(CLI::App& sub, std::int32_t id, GenomicValues& values);

}  // namespace kinvar::cli
