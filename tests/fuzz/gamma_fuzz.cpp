// The metafounders file: an accepted Gamma is a relationship matrix (finite,
// symmetric, each diagonal value within 0 to 2, every 2 x 2 principal minor
// non-negative, of at most 300 distinct metafounders named as the pedigree
// names IDs), and a refused one says why and leaves the groups without
// metafounders.
#include <cmath>
#include <set>
#include <string>

#include "fuzz/fuzz_support.h"
#include "pedigree/metafounders.h"
#include "pedigree/pedigree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  GeneticGroups groups;
  const std::string error = ReadMetafounders(input.Write(data, size), groups);
  if (!error.empty()) {
    FUZZ_CHECK(!groups.Metafounders() && !groups.Active(), "refused, yet metafounders kept");
    return 0;
  }
  const std::size_t g = groups.ids.size();
  FUZZ_CHECK(g >= 1 && g <= 300, "accepted with no or too many metafounders");
  FUZZ_CHECK(groups.gamma.size() == g * g, "Gamma is not g x g");
  FUZZ_CHECK(std::set<std::string>(groups.ids.begin(), groups.ids.end()).size() == g, "a metafounder twice");
  for (const std::string& id : groups.ids) {
    FUZZ_CHECK(!id.empty() && id.size() <= static_cast<std::size_t>(kMaxIdLength), "an ID of a wrong length");
    FUZZ_CHECK(!IsUnknownId(id), "the mark of an unknown parent accepted as a metafounder");
  }
  for (std::size_t i = 0; i < g; ++i) {
    const double ii = groups.Gamma(static_cast<std::int32_t>(i), static_cast<std::int32_t>(i));
    FUZZ_CHECK(ii >= 0.0 && ii <= 2.0, "a diagonal value outside 0 to 2");
    for (std::size_t j = 0; j < g; ++j) {
      const double ij = groups.Gamma(static_cast<std::int32_t>(i), static_cast<std::int32_t>(j));
      const double jj = groups.Gamma(static_cast<std::int32_t>(j), static_cast<std::int32_t>(j));
      FUZZ_CHECK(std::isfinite(ij), "a value that is not finite");
      FUZZ_CHECK(ij == groups.Gamma(static_cast<std::int32_t>(j), static_cast<std::int32_t>(i)), "not symmetric");
      FUZZ_CHECK(ij * ij <= ii * jj + 1e-5, "a 2 x 2 principal minor below zero");
    }
  }
  return 0;
}
