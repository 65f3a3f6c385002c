// A command or a load that runs out of memory is told to the user and ends
// there, the program going on: run in a child process whose address space
// is cut to a little more than it uses, so that the computation's
// allocations fail.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/commands.h"
#include "support/doc_session.h"

namespace kinvar {
namespace {

// The address space in use now, in bytes.
std::size_t AddressSpace() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  if (statm == nullptr) return 0;
  if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
  std::fclose(statm);
  return pages * 4096;
}

void LimitAddressSpace(std::size_t extra) {
  const rlimit limit{AddressSpace() + extra, AddressSpace() + extra};
  setrlimit(RLIMIT_AS, &limit);
}

// Founders and then their progeny, `n` lines.
std::string Herd(int n) {
  std::string text = "progeny sire dam\n";
  for (int i = 0; i < n; ++i) {
    text += "I" + std::to_string(i);
    text += i < 1000 ? " 0 0\n" : " I" + std::to_string(i % 500) + " I" + std::to_string(500 + i % 499) + "\n";
  }
  return text;
}

constexpr const char* kNoMemory = "Not enough memory for this computation.";

class ResourceFailure : public testing::Test {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-space limit does not suit the sanitizer";
#endif
    if (AddressSpace() == 0) GTEST_SKIP() << "no /proc/self/statm";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST_F(ResourceFailure, ACommandThatRunsOutOfMemoryEndsWithAMessage) {
  const test::TempFile file(Herd(300000));
  EXPECT_EXIT(
      {
        test::DocSession s;
        s.doc.settings().threads = 1;
        if (!s.OpenPath(file.path())) std::_Exit(2);
        LimitAddressSpace(std::size_t{4} << 20);
        s.doc.RunCommand(kCmdAverageRelatedness);
        const bool told = s.platform.JoinedTexts(MessageIcon::kError) == kNoMemory;
        const bool ended = s.doc.lastCommand() == kCmdNone && s.doc.pedigree().report.Count() == 0;
        std::_Exit(told && ended ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(ResourceFailure, ALoadThatRunsOutOfMemoryKeepsTheShownPedigree) {
  const test::TempFile small("progeny sire dam\nA 0 0\nB 0 0\nC A B\n"), large(Herd(1000000));
  EXPECT_EXIT(
      {
        test::DocSession s;
        s.doc.settings().threads = 1;
        if (!s.OpenPath(small.path())) std::_Exit(2);
        LimitAddressSpace(std::size_t{8} << 20);
        const bool read = s.doc.OpenPedigreeFile(large.path());
        const bool told = s.platform.JoinedTexts(MessageIcon::kError) == kNoMemory;
        const bool kept = s.doc.pedigree().nTotal == 3 && s.doc.lastCommand() == kCmdViewPedigree;
        std::_Exit(!read && told && kept ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kinvar
