// The genotype input's options, shared by every genomic command of
// kinvar-cli: --genotypes FILE (required), --genotype-format, and the
// three quality-control thresholds. They fill the genotype boxes of the
// command's form, whose own check refuses what the desktop would refuse.
#pragma once

#include <map>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

namespace kinvar::cli {

struct GenotypeArguments {
  std::string path;
  std::optional<std::string> format;
  std::optional<std::string> minSnpCallRate;
  std::optional<std::string> minAnimalCallRate;
  std::optional<std::string> minMaf;
};

void AddGenotypeOptions(CLI::App& sub, GenotypeArguments& args);

// The form's values by key; a threshold not given keeps the form's default.
std::map<std::string, std::string> GenotypeFormValues(const GenotypeArguments& args);

}  // namespace kinvar::cli
