#include "genomics/genotype_reader.h"

namespace kinvar {

GenotypeFile ReadPlinkGenotypes(const std::string& bedPath, Progress&) {
  return GenotypeFile{{}, {}, 0, "Error: " + bedPath + ": PLINK sets are not read yet."};
}

}  // namespace kinvar
