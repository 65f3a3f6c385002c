// The group fractions file against a pedigree with groups G1..G3: an
// accepted file gives one share per data line, each of an unknown parent,
// above 0 and at most 1, the shares of a parent summing to 1, in parent
// order; a refused one says why and keeps no share.
#include <cmath>
#include <cstddef>
#include <string>

#include "fuzz/fuzz_support.h"
#include "pedigree/genetic_groups.h"
#include "pedigree/load.h"

namespace kinvar::fuzz {
namespace {

struct GroupsFixture {
  GroupsFixture() {
    static const char kText[] = "Progeny Sire Dam\nA G1 G2\nB G1 0\nC A B\nD 0 0\nE 0 G3\n";
    InputFile file;
    SilentProgressWindow window;
    Progress progress(window);
    ped.geneticGroups.ids = {"G1", "G2", "G3"};
    const auto& path = file.Write(reinterpret_cast<const std::uint8_t*>(kText), sizeof kText - 1);
    if (LoadPedigree(path, ped, progress).status != LoadStatus::kLoaded)
      Broken(__FILE__, __LINE__, "the groups fixture does not load");
  }
  Pedigree ped;
};

// Lines with a word that is not a comment, lines cut at line feeds.
std::size_t ShareLines(const std::uint8_t* data, std::size_t size) {
  std::size_t count = 0;
  bool blank = true, comment = false;
  for (std::size_t i = 0; i <= size; ++i) {
    const char c = i < size ? static_cast<char>(data[i]) : '\n';
    if (c == '\n') {
      count += !blank && !comment;
      blank = true;
      comment = false;
    } else if (blank && !(c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f')) {
      blank = false;
      comment = c == '#';
    }
  }
  return count;
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  static fuzz::GroupsFixture fixture;
  Pedigree& ped = fixture.ped;
  ped.geneticGroups.shares.clear();
  const std::string error = ReadGroupFractions(input.Write(data, size), ped);
  const auto& shares = ped.geneticGroups.shares;
  if (!error.empty()) {
    FUZZ_CHECK(shares.empty(), "refused, yet shares kept");
    return 0;
  }
  FUZZ_CHECK(shares.size() == fuzz::ShareLines(data, size), "not one share per data line");
  for (std::size_t k = 0; k < shares.size();) {
    const GroupShare& first = shares[k];
    const Rec& r = ped.rec(first.rec);
    FUZZ_CHECK((first.role == ParentRole::kSire ? r.sire : r.dam) == kUnknownParent, "a known parent has shares");
    double sum = 0.0;
    std::size_t end = k;
    for (; end < shares.size() && shares[end].rec == first.rec && shares[end].role == first.role; ++end) {
      const float f = shares[end].fraction;
      FUZZ_CHECK(f > 0.0f && f <= 1.0f, "a fraction outside (0, 1]");
      FUZZ_CHECK(shares[end].group >= 0 && shares[end].group < 3, "a share of no group");
      sum += static_cast<double>(f);
    }
    FUZZ_CHECK(std::fabs(sum - 1.0) <= 1e-4, "the shares of a parent do not sum to 1");
    if (end < shares.size())
      FUZZ_CHECK(shares[end].rec > first.rec || (shares[end].rec == first.rec && shares[end].role > first.role),
                 "the shares are not in parent order");
    k = end;
  }
  return 0;
}
