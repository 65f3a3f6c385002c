// The pedigree load as File > Open runs it (read, validate, recode), then the
// inbreeding coefficients when the pedigree loaded. A loaded pedigree must be
// coded 1..n with parents first and unique, well-formed IDs, and its F must
// match the tabular method; a refused one must say why.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "genetics/inbreeding.h"
#include "pedigree/load.h"
#include "support/tabular_a.h"

namespace kinvar::fuzz {
namespace {

// The tabular check costs n² doubles; larger pedigrees get the other checks.
constexpr std::int32_t kTabularLimit = 300;

bool WellFormedId(const char* id) {
  const std::size_t length = std::strlen(id);
  if (length == 0 || length > static_cast<std::size_t>(kMaxIdLength)) return false;
  for (const char* p = id; *p != 0; ++p) {
    if ((*p >= 'a' && *p <= 'z') || std::strchr(" ,\t<>|!", *p) != nullptr) return false;
  }
  return !IsUnknownId(id);
}

void CheckCodes(Pedigree& ped) {
  FUZZ_CHECK(ped.report.Count() == 0, "a loaded pedigree leaves a report");
  FUZZ_CHECK(ped.nRead >= 1 && ped.nTotal >= ped.nRead, "record counts");
  FUZZ_CHECK(ped.nFounders + ped.nNonFounders == ped.nTotal, "founders + non-founders != total");
  FUZZ_CHECK(ped.recs.size() == static_cast<std::size_t>(ped.nTotal) + 1, "record array size");
  EnsureCodeOrder(ped);
  std::vector<std::string> ids;
  ids.reserve(static_cast<std::size_t>(ped.nTotal));
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    FUZZ_CHECK(r.code == i + 1, "codes are not 1..n in record order");
    FUZZ_CHECK(ped.rec(r.sire).code < r.code && ped.rec(r.dam).code < r.code,
               std::string("a parent is coded after its progeny ") + r.id);
    const bool founder = r.sire == kUnknownParent && r.dam == kUnknownParent;
    FUZZ_CHECK(founder == (r.code <= ped.nFounders), std::string("founder codes ") + r.id);
    FUZZ_CHECK(WellFormedId(r.id), std::string("malformed ID ") + r.id);
    FUZZ_CHECK(!r.fPredefined || (r.f >= 0.0f && r.f <= 1.0f), "predefined F out of 0..1");
    ids.emplace_back(r.id);
  }
  std::sort(ids.begin(), ids.end());
  FUZZ_CHECK(std::adjacent_find(ids.begin(), ids.end()) == ids.end(), "an ID is used twice");
}

void CheckInbreeding(Pedigree& ped, Progress& progress) {
  FUZZ_CHECK(ComputeInbreeding(ped, progress), "inbreeding stopped without a cancel");
  FUZZ_CHECK(ped.inbreedingComputed, "inbreeding not marked computed");
  std::int32_t inbreds = 0;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const float f = ped.byCode(i).f;
    FUZZ_CHECK(f >= 0.0f && f <= 1.0f, "F out of 0..1 for " + std::string(ped.byCode(i).id));
    if (f > 0.0f) ++inbreds;
  }
  FUZZ_CHECK(inbreds == ped.nInbreds, "nInbreds disagrees with the coefficients");
  if (ped.nTotal > kTabularLimit) return;
  const test::DenseMatrix a = test::TabularA(ped);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const double expected = a(static_cast<std::size_t>(i), static_cast<std::size_t>(i)) - 1.0;
    const auto got = static_cast<double>(ped.byCode(i).f);
    FUZZ_CHECK(std::fabs(got - expected) <= 1e-4, "F of " + std::string(ped.byCode(i).id) + " is " +
                                                      std::to_string(got) + ", tabular " +
                                                      std::to_string(expected));
  }
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree ped;
  const LoadOutcome outcome = LoadPedigree(input.Write(data, size), ped, progress);
  switch (outcome.status) {
    case LoadStatus::kLoaded:
      fuzz::CheckCodes(ped);
      fuzz::CheckInbreeding(ped, progress);
      break;
    case LoadStatus::kRejected:
      FUZZ_CHECK(ped.report.Count() >= 4, "a rejected pedigree without its error list");
      FUZZ_CHECK(ped.report.Line(ped.report.Count() - 1) == "Correct the pedigree file.",
                 "the error list does not end with its closing line");
      break;
    case LoadStatus::kReadFailed:
      FUZZ_CHECK(!outcome.message.empty(), "a read failure without a message");
      FUZZ_CHECK(ped.nRead == 0 && ped.recs.size() == 1, "a failed read leaves records");
      break;
    case LoadStatus::kCancelled:
      FUZZ_CHECK(false, "cancelled though nobody cancels");
  }
  return 0;
}
