// The genotype file readers, before any matching or quality control: each
// gives the file's animals and SNPs as it holds them.
//
// Conventions of this header:
// - `genotypes.ids` are spelled as the file spells them; `places` tells for
//   each animal where it stands in the file (its text line, its .fam line,
//   its sample column of the VCF counted from 1), for messages.
// - On a fault `error` names the file and the line or record and the
//   genotypes are empty: nothing after a damaged record is kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "genomics/genotypes.h"
#include "report/progress.h"

namespace kinvar {

struct GenotypeFile {
  Genotypes genotypes;
  std::vector<std::int64_t> places;
  std::int64_t skippedRecords = 0;  // VCF and BCF records that are not biallelic SNPs
  std::string error;
};

// The text form of mixed-model programs: per line an ID, blanks, then one
// character per SNP (0, 1, 2; 5 or 9 missing). Blank lines are skipped.
GenotypeFile ReadTextGenotypes(const std::string& path, Progress& progress);
// The same from a text in memory; `name` stands for the file in messages.
GenotypeFile ParseTextGenotypes(std::string_view text, const std::string& name);

// A PLINK 1 binary set, SNP-major; `bedPath` is the .bed, its .bim and
// .fam beside it. The .bed is decoded on up to `threads` threads (the
// thread setting: 0 all cores).
GenotypeFile ReadPlinkGenotypes(const std::string& bedPath, Progress& progress, int threads = 0);

// A VCF (plain or bgzipped) or a BCF through htslib, from the GT field.
GenotypeFile ReadVcfGenotypes(const std::string& path, Progress& progress);

}  // namespace kinvar
