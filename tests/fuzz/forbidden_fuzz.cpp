// The forbidden-matings file against three sires and five dams: an accepted
// file gives one sire-dam pair per data line, each within its group; a
// refused one says why in one error message.
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  static const fuzz::MatingFixture fixture;
  fuzz::RecordingPlatform platform;
  const auto read = ReadForbiddenFile(input.Write(data, size), fixture.ped, fixture.groups, platform);
  if (!read) {
    FUZZ_CHECK(fuzz::RefusedOnce(platform), "refused without exactly one error message");
    return 0;
  }
  FUZZ_CHECK(platform.messages.empty(), "accepted with a message");
  FUZZ_CHECK(!read->empty(), "an accepted file without pairs");
  FUZZ_CHECK(read->size() == fuzz::DataLines(data, size).size(), "not one pair per data line");
  for (const Mating& m : *read) {
    FUZZ_CHECK(m.sire >= 0 && static_cast<std::size_t>(m.sire) < fixture.groups.sires.size(),
               "a pair's sire is not a sire");
    FUZZ_CHECK(m.dam >= 0 && static_cast<std::size_t>(m.dam) < fixture.groups.dams.size(),
               "a pair's dam is not a dam");
  }
  return 0;
}
