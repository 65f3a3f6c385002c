// A genotype file's animals and codes as "ID:0129" words, one per animal in
// the file's order, for comparing what a reader gave with what was written.
#pragma once

#include <cstdint>
#include <string>

#include "genomics/genotype_reader.h"

namespace kinvar::test {

inline std::string GenotypeCells(const GenotypeFile& file) {
  std::string out;
  for (std::int64_t a = 0; a < file.genotypes.AnimalCount(); ++a) {
    out += (a == 0 ? "" : " ") + file.genotypes.ids[static_cast<std::size_t>(a)] + ":";
    for (std::int64_t j = 0; j < file.genotypes.SnpCount(); ++j)
      out += static_cast<char>('0' + file.genotypes.At(a, j));
  }
  return out;
}

}  // namespace kinvar::test
