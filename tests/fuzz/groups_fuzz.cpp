// The genetic groups file: an accepted file gives, in file order, the one
// word of each line that has any, upper-cased, each at most 20 bytes, none
// the mark of an unknown parent and none twice; a refused one says why and
// leaves the groups asked for as they were.
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/pedigree.h"

namespace kinvar::fuzz {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The words of each line, lines cut at line feeds.
std::vector<std::vector<std::string>> LineWords(const std::uint8_t* data, std::size_t size) {
  std::vector<std::vector<std::string>> lines(1);
  std::string word;
  for (std::size_t i = 0; i <= size; ++i) {
    const char c = i < size ? static_cast<char>(data[i]) : '\n';
    if (c == '\n' || IsBlank(c)) {
      if (!word.empty()) lines.back().push_back(word);
      word.clear();
      if (c == '\n') lines.emplace_back();
      continue;
    }
    word += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return lines;
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  const std::vector<std::string> before{"KEPT"};
  std::vector<std::string> ids = before;
  const std::string error = ReadGroupIds(input.Write(data, size), ids);
  if (!error.empty()) {
    FUZZ_CHECK(ids == before, "refused, yet the groups changed");
    return 0;
  }
  std::vector<std::string> expected;
  for (const auto& words : fuzz::LineWords(data, size)) {
    FUZZ_CHECK(words.size() <= 1, "accepted a line of two words");
    if (!words.empty()) expected.push_back(words[0]);
  }
  FUZZ_CHECK(ids == expected, "the groups are not the words of the file");
  FUZZ_CHECK(!ids.empty(), "accepted without a group");
  FUZZ_CHECK(std::set<std::string>(ids.begin(), ids.end()).size() == ids.size(), "a group twice");
  for (const std::string& id : ids) {
    FUZZ_CHECK(id.size() <= static_cast<std::size_t>(kMaxIdLength), "a group longer than 20 bytes");
    FUZZ_CHECK(!IsUnknownId(id), "the mark of an unknown parent accepted as a group");
    FUZZ_CHECK(id.find('\0') == std::string::npos, "a zero byte in a group");
  }
  return 0;
}
