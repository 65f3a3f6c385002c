// PLINK .bed files: the first two bytes choose how many animals (1 to 13)
// and SNPs (1 to 9) the .fam and .bim beside it list, the rest is the
// .bed. The reader takes exactly the files of the right size and magic,
// decodes them as the format defines bit by bit, and refuses every other.
#include <string>

#include "fuzz/fuzz_support.h"
#include "genomics/genotype_reader.h"

namespace kinvar::fuzz {
namespace {

constexpr std::uint8_t kCodes[4] = {0, kMissingGenotype, 1, 2};

void WriteSet(const ScratchFolder& folder, std::int64_t n, std::int64_t m) {
  std::string fam, bim;
  for (std::int64_t a = 0; a < n; ++a) fam += "F A" + std::to_string(a) + " 0 0 0 -9\n";
  for (std::int64_t j = 0; j < m; ++j) bim += "1 s" + std::to_string(j) + " 0 " + std::to_string(j) + " A G\n";
  folder.Write("set.fam", reinterpret_cast<const std::uint8_t*>(fam.data()), fam.size());
  folder.Write("set.bim", reinterpret_cast<const std::uint8_t*>(bim.data()), bim.size());
}

void Check(const GenotypeFile& read, const std::uint8_t* bed, std::size_t size, std::int64_t n, std::int64_t m) {
  const std::int64_t rowBytes = (n + 3) / 4;
  const bool sound = static_cast<std::int64_t>(size) == 3 + m * rowBytes && bed[0] == 0x6c && bed[1] == 0x1b &&
                     bed[2] == 0x01;
  FUZZ_CHECK(sound == read.error.empty(), sound ? "a sound .bed refused: " + read.error : "a damaged .bed taken");
  if (!sound) {
    FUZZ_CHECK(read.genotypes.codes.empty(), "a refused .bed kept genotypes");
    return;
  }
  for (std::int64_t j = 0; j < m; ++j)
    for (std::int64_t a = 0; a < n; ++a) {
      const std::uint8_t byte = bed[3 + j * rowBytes + a / 4];
      FUZZ_CHECK(read.genotypes.At(a, j) == kCodes[(byte >> (2 * (a % 4))) & 3], "a genotype decoded wrong");
    }
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  if (size < 2) return 0;
  static const fuzz::ScratchFolder folder;
  const std::int64_t n = 1 + data[0] % 13;
  const std::int64_t m = 1 + data[1] % 9;
  fuzz::WriteSet(folder, n, m);
  const std::string bed = folder.Write("set.bed", data + 2, size - 2);
  SilentProgressWindow window;
  Progress progress(window);
  const GenotypeFile read = ReadPlinkGenotypes(bed, progress);
  fuzz::Check(read, data + 2, size - 2, n, m);
  return 0;
}
