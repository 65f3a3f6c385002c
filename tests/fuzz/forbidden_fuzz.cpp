// The forbidden-matings file against three sires and five dams: an accepted
// file gives one sire-dam pair per data line, the line's two IDs in either
// order; a refused one says why in one error message.
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
  const auto lines = fuzz::DataLines(data, size);
  FUZZ_CHECK(read->size() == lines.size(), "not one pair per data line");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Mating& m = (*read)[i];
    FUZZ_CHECK(m.sire >= 0 && static_cast<std::size_t>(m.sire) < fixture.groups.sires.size(),
               "a pair's sire is not a sire");
    FUZZ_CHECK(m.dam >= 0 && static_cast<std::size_t>(m.dam) < fixture.groups.dams.size(),
               "a pair's dam is not a dam");
    const std::string sire(fixture.ped.rec(fixture.groups.sires[static_cast<std::size_t>(m.sire)]).Id());
    const std::string dam(fixture.ped.rec(fixture.groups.dams[static_cast<std::size_t>(m.dam)]).Id());
    const auto written = fuzz::FirstTwoFields(lines[i]);
    FUZZ_CHECK(written == std::pair(sire, dam) || written == std::pair(dam, sire),
               "the pair of line " + lines[i] + " is " + sire + " x " + dam);
  }
  return 0;
}
