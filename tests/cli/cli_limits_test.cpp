// The limits of kinvar-cli: path counting refuses a run of more paths than
// --max-paths before writing any, threads beyond the cores are not
// started, a refused option says which it is and its range, and a picture
// run prints no warning of Qt's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/cli_fixture.h"

namespace kinvar {
namespace {

using test::CliRun;
using test::Quote;

class CliLimits : public test::CliFixture {
 protected:
  std::string Write(const std::string& name, const std::string& text) const {
    test::WriteWholeFile(Out(name), text);
    return Quote(Out(name));
  }
  std::string FullSibs(int generations) const {
    return Write("line" + std::to_string(generations) + ".pdg",
                 test::FullSibLine("progeny sire dam\nS0 0 0\nD0 0 0\n", generations));
  }
};

constexpr const char* kPathLimit =
    "The paths number more than %, the limit of paths written; nothing was written. Raise the limit to "
    "write them all.\n";

std::string PathLimit(const std::string& limit) {
  std::string message = kPathLimit;
  return message.replace(message.find('%'), 1, limit);
}

// Twenty-five generations of full sibs, 685 bytes: 2.77 GB of paths before;
// now the count refuses them, -o left alone.
TEST_F(CliLimits, PathCountingRefusesMorePathsThanTheLimit) {
  const std::string line = FullSibs(25), small = FullSibs(3);
  ExpectRefusals({
      {"default limit", "-q path-counting " + line + " all", 1, PathLimit("1000000")},
      {"one individual", "-q path-counting " + line + " individual s25", 1, PathLimit("1000000")},
      {"into -o", "-q path-counting " + line + " all -o " + Quote(Out("paths.out")), 1, PathLimit("1000000")},
      {"tables", "-q path-counting " + line + " all --format csv --table paths", 1, PathLimit("1000000")},
      {"a limit raised, still short", "-q path-counting " + small + " all --max-paths 3", 1, PathLimit("3")},
      {"a negative limit", "-q path-counting " + small + " all --max-paths -1", 2, ""},
  });
  EXPECT_FALSE(std::filesystem::exists(Out("paths.out")));
}

// 2002 unrelated founders, 2001 in group 1: more pairs between 0 and 2
// than a listing holds. The cut listing is no result unless the first pairs are
// asked for.
TEST_F(CliLimits, AListingCutAtItsCapFailsUnlessTheFirstPairsAreAskedFor) {
  std::string text = "progeny sire dam group\n";
  for (int i = 0; i < 2002; ++i) text += "F" + std::to_string(i) + (i < 2001 ? " 0 0 1\n" : " 0 0 2\n");
  const std::string founders = Write("founders.pdg", text);
  const std::string cap =
      "Not all relationships were listed!\nThe number of pairwise relationships, which are between 0 and 2, "
      "should not be more than 2000000.\n\n";
  ExpectRefusals({
      {"all", "-q relationships " + founders + " all", 1,
       cap + "Nothing was written; --first writes the first pairs.\n"},
      {"within a group", "-q relationships " + founders + " within 1 -o " + Quote(Out("pairs.out")), 1,
       cap + "Nothing was written; --first writes the first pairs.\n"},
  });
  EXPECT_FALSE(std::filesystem::exists(Out("pairs.out")));
  const CliRun first = Execute("-q relationships " + founders + " all --first --format csv");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.err, cap);
  EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'), 1 + 2000000);
}

TEST_F(CliLimits, PathCountingWritesEveryPathWithinTheLimit) {
  const std::string small = FullSibs(3);
  const CliRun unlimited = Execute("-q path-counting " + small + " all --max-paths 0");
  ASSERT_EQ(unlimited.status, 0) << unlimited.err;
  std::size_t paths = 0;
  for (std::size_t at = 0; (at = unlimited.out.find("\n<", at)) != std::string::npos; ++at) ++paths;
  ASSERT_GT(paths, 3u);
  const struct {
    const char* name;
    std::string limit;
  } rows[] = {{"exactly as many", " --max-paths " + std::to_string(paths)}, {"the default", ""}};
  for (const auto& row : rows) {
    const CliRun run = Execute("-q path-counting " + small + " all" + row.limit);
    EXPECT_EQ(run.status, 0) << row.name << ": " << run.err;
    EXPECT_EQ(run.out, unlimited.out) << row.name;
  }
}

TEST_F(CliLimits, RefusedOptionsSayWhichAndTheirRange) {
  const std::string ped = Write("small.pdg", "progeny sire dam\nA 0 0\nB 0 0\nC A B\n");
  ExpectRefusals({
      {"nan", "-q relationships " + ped + " all --range nan 1", 1,
       "--range nan 1: the bounds must be numbers from 0 to 2 (the numerator relationship).\n"},
      {"above the coefficient's", "-q relationships " + ped + " all --relationship coefficient --range 0 1.5", 1,
       "--range 0 1.5: the bounds must be numbers from 0 to 1 (the relationship coefficient).\n"},
      {"below 0", "-q relationships " + ped + " all --range -0.5 1", 1,
       "--range -0.5 1: the bounds must be numbers from 0 to 2 (the numerator relationship).\n"},
      {"equal", "-q relationships " + ped + " all --range 0.5 0.5", 1,
       "--range 0.5 0.5: the two bounds must differ.\n"},
  });
}

// Threads past the cores only add stacks (8 MB of address space each) and
// per-worker state: under an address-space limit that 1024 workers exceed
// by far, --threads 1024 gives the figures of the default run.
TEST_F(CliLimits, ThreadsBeyondTheCoresAreNotStarted) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit does not suit the sanitizer";
#endif
  const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
  if (cores > 64) GTEST_SKIP() << "as many cores as the limit would allow threads";
  std::string text = "progeny sire dam\n";
  for (int i = 0; i < 4000; ++i) text += "F" + std::to_string(i) + " 0 0\n";
  for (int i = 0; i < 20000; ++i)
    text += "P" + std::to_string(i) + " F" + std::to_string(i % 2000) + " F" + std::to_string(2000 + i % 1999) + "\n";
  for (int i = 0; i < 20000; ++i)
    text += "Q" + std::to_string(i) + " P" + std::to_string(i % 10000) + " P" +
            std::to_string(10000 + (i * 7 + 1) % 10000) + "\n";
  const std::string ped = Write("wide.pdg", text);
  const CliRun plain = Execute("-q inbreeding " + ped);
  ASSERT_EQ(plain.status, 0) << plain.err;
  // A gigabyte, and a stack and a malloc arena (64 MB) for every core.
  const unsigned kilobytes = (1024U + cores * 80U) * 1024U;
  const std::string command = "ulimit -v " + std::to_string(kilobytes) + "; exec " + Quote(KINVAR_CLI_PATH) +
                              " -q inbreeding " + ped + " --threads 1024";
  const int raw = std::system(("sh -c " + Quote(command) + " >" + Quote(Out("out.txt")) + " 2>" +
                               Quote(Out("err.txt")))
                                  .c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << test::ReadWholeFile(Out("err.txt"));
  EXPECT_EQ(test::ReadWholeFile(Out("out.txt")), plain.out);
}

#ifdef KINVAR_CLI_HAS_PICTURES
// A line twenty thousand generations deep, 40001 ancestors: refused from
// the count, with the most generations that fit, and no file.
TEST_F(CliLimits, DrawRefusesADeepLineFromItsCount) {
  ExpectRefusals({{"20000 generations",
                   "-q draw " + FullSibs(20000) + " ancestors individual S20000 -o " + Quote(Out("x.svg")), 1,
                   "The drawing would have 40001 nodes, more than the 5000 that can be drawn. "
                   "Draw 2499 generations (4999 nodes).\nAdd --generations 2499.\n"}});
  EXPECT_FALSE(std::filesystem::exists(Out("x.svg")));
}

TEST_F(CliLimits, PicturesPrintNoRuntimeFolderWarning) {
  const std::string ped = Write("small.pdg", "progeny sire dam\nA 0 0\nB 0 0\nC A B\n");
  for (const char* environment : {"env -u XDG_RUNTIME_DIR ", ""}) {
    SCOPED_TRACE(environment);
    const std::string command = std::string(environment) + Quote(KINVAR_CLI_PATH) + " chart " + ped + " C -o " +
                                Quote(Out("c.svg"));
    const int raw = std::system((command + " 2>" + Quote(Out("err.txt"))).c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_EQ(test::ReadWholeFile(Out("err.txt")), "");
  }
}
#endif

}  // namespace
}  // namespace kinvar
