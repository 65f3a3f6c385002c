// The text form of genotypes: a file the reader takes holds, for every
// non-blank line, its ID and a code 0, 1, 2 or missing per SNP, all lines
// alike; one it refuses keeps nothing; and the file on disk reads as the
// same bytes in memory.
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "genomics/genotype_reader.h"

namespace kinvar::fuzz {
namespace {

// Data lines by the format's definition: lines with a non-blank byte.
std::int64_t DataLines(std::string_view text) {
  std::int64_t lines = 0;
  bool filled = false;
  for (const char c : text) {
    if (c == '\n') {
      lines += filled;
      filled = false;
    } else if (c != ' ' && c != '\t' && c != '\r' && c != '\v' && c != '\f') {
      filled = true;
    }
  }
  return lines + filled;
}

void Check(const GenotypeFile& read, std::string_view text) {
  if (!read.error.empty()) {
    FUZZ_CHECK(read.genotypes.codes.empty() && read.genotypes.ids.empty(), "a refused file kept genotypes");
    return;
  }
  const Genotypes& g = read.genotypes;
  FUZZ_CHECK(g.AnimalCount() == DataLines(text), "an animal per data line");
  FUZZ_CHECK(g.SnpCount() > 0, "an accepted file without SNPs");
  FUZZ_CHECK(static_cast<std::int64_t>(g.codes.size()) == g.AnimalCount() * g.SnpCount(), "codes of every cell");
  for (const std::uint8_t code : g.codes)
    FUZZ_CHECK(code <= 2 || code == kMissingGenotype, "a code that is no genotype");
  for (const std::string& id : g.ids) FUZZ_CHECK(!id.empty(), "an empty ID");
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile file;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const GenotypeFile parsed = ParseTextGenotypes(text, file.path());
  fuzz::Check(parsed, text);
  SilentProgressWindow window;
  Progress progress(window);
  const GenotypeFile read = ReadTextGenotypes(file.Write(data, size), progress);
  FUZZ_CHECK(read.error.empty() == parsed.error.empty(), "the file and the text disagree on refusing");
  FUZZ_CHECK(read.genotypes.codes == parsed.genotypes.codes && read.genotypes.ids == parsed.genotypes.ids,
             "the file and the text read differently");
  return 0;
}
