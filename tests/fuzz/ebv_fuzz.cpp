// The breeding value file against the mating fixture's pedigree: an
// accepted file gives a finite value to exactly the IDs of its data lines,
// each the number its line writes; a refused one says why in one error
// message.
#include <cmath>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "matings/contribution_files.h"

namespace {

// The second field of a data line as written.
std::string WrittenValue(const std::string& line) {
  const auto separator = [](char c) { return c == ' ' || c == ',' || c == '\t'; };
  std::size_t i = 0;
  while (i < line.size() && separator(line[i])) ++i;
  while (i < line.size() && !separator(line[i])) ++i;
  while (i < line.size() && separator(line[i])) ++i;
  std::size_t end = i;
  while (end < line.size() && !separator(line[end])) ++end;
  return line.substr(i, end - i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  static const fuzz::MatingFixture fixture;
  fuzz::RecordingPlatform platform;
  const auto read = ReadBreedingValueFile(input.Write(data, size), fixture.ped, platform);
  if (!read) {
    FUZZ_CHECK(fuzz::RefusedOnce(platform), "refused without exactly one error message");
    return 0;
  }
  FUZZ_CHECK(platform.messages.empty(), "accepted with a message");
  FUZZ_CHECK(read->size() == fixture.ped.recs.size(), "not one value per record");
  std::size_t given = 0;
  for (const double v : *read) {
    if (std::isnan(v)) continue;
    FUZZ_CHECK(std::isfinite(v), "a value that is no number");
    ++given;
  }
  FUZZ_CHECK(given > 0, "accepted without a value");
  // A byte order mark before the first line is not part of it.
  const std::size_t mark = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF ? 3 : 0;
  auto lines = fuzz::DataLines(data + mark, size - mark);
  // At most the first data line is a header, and only when it gives no
  // value: the reader stored one value per other line.
  FUZZ_CHECK(given == lines.size() || given + 1 == lines.size(), "values and data lines disagree");
  if (given + 1 == lines.size()) lines.erase(lines.begin());
  for (const std::string& line : lines) {
    const std::string id = fuzz::FirstTwoFields(line).first;
    std::size_t r = 1;
    while (r < fixture.ped.recs.size() && fixture.ped.recs[r].Id() != id) ++r;
    FUZZ_CHECK(r < fixture.ped.recs.size(), "accepted an ID that is not in the pedigree: " + id);
    const std::string written = WrittenValue(line);
    char* end = nullptr;
    const double expected = std::strtod(written.c_str(), &end);
    FUZZ_CHECK(!written.empty() && end == written.c_str() + written.size(),
               "accepted a value that is not wholly a number: " + written);
    FUZZ_CHECK((*read)[r] == expected, "the value of " + id);
  }
  return 0;
}
