// The contribution file against three sires and five dams: an accepted file
// gives every sire a count of dams (0: the sire is not used) and uses every
// dam once, with one data line per sire whose count is the one written for
// it; a refused one says why in one error message.
#include <cstdlib>
#include <numeric>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  static const fuzz::MatingFixture fixture;
  fuzz::RecordingPlatform platform;
  const auto read =
      ReadContributionFile(input.Write(data, size), fixture.ped, fixture.groups, platform);
  if (!read) {
    FUZZ_CHECK(fuzz::RefusedOnce(platform), "refused without exactly one error message");
    return 0;
  }
  FUZZ_CHECK(platform.messages.empty(), "accepted with a message");
  FUZZ_CHECK(read->size() == fixture.groups.sires.size(), "not one count per sire");
  for (const std::int32_t c : *read) FUZZ_CHECK(c >= 0, "a negative count of dams");
  const std::int64_t sum = std::accumulate(read->begin(), read->end(), std::int64_t{0});
  FUZZ_CHECK(sum == static_cast<std::int64_t>(fixture.groups.dams.size()),
             "the counts do not sum to the number of dams");
  const auto lines = fuzz::DataLines(data, size);
  FUZZ_CHECK(lines.size() == fixture.groups.sires.size(),
             "accepted with a data line per sire missing or extra");
  for (const std::string& line : lines) {
    const auto [id, count] = fuzz::FirstTwoFields(line);
    std::size_t sire = 0;
    while (sire < fixture.groups.sires.size() && fixture.ped.rec(fixture.groups.sires[sire]).Id() != id)
      ++sire;
    FUZZ_CHECK(sire < read->size(), "accepted an ID that is not a sire: " + id);
    FUZZ_CHECK((*read)[sire] == std::strtol(count.c_str(), nullptr, 10), "the count of " + id);
  }
  return 0;
}
