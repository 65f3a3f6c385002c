// MT19937 against the published outputs and the standard library's
// independent implementation, and the seed file: exact bytes, round trip,
// and every message of a missing, damaged or unwritable file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "genetics/mt19937.h"
#include "genetics/seed_file.h"
#include "support/scripted_platform.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

TEST(Mt19937, MatchesThePublishedOutputsAndTheStandardEngine) {
  Mt19937 unseeded;  // the first draw seeds with 5489
  for (const std::uint32_t expected : {3499211612U, 581869302U, 3890346734U, 3586334585U})
    EXPECT_EQ(NextRandom(unseeded), expected);
  for (const std::uint32_t seed : {0U, 1U, 5489U, 19650218U, 4294967295U}) {
    Mt19937 g;
    InitGenerator(g, seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 3000; ++i) ASSERT_EQ(NextRandom(g), reference()) << seed << " " << i;
  }
}

std::vector<std::uint32_t> Draw(Mt19937& g, int n) {
  std::vector<std::uint32_t> out;
  for (int i = 0; i < n; ++i) out.push_back(NextRandom(g));
  return out;
}

std::string SeedPath() { return test::TempFile("", ".seed").path(); }  // removed again

TEST(SeedFile, IsWrittenInColumnsOfTwelveAndReadBackWhole) {
  Mt19937 g;
  InitGenerator(g, 5489);
  g.state[0] = 4294967295U;
  g.state[7] = 0;
  const std::string path = SeedPath();
  test::ScriptedPlatform platform;
  SaveSeedFile(g, path, platform);
  const std::string text = test::ReadWholeFile(path);
  std::ostringstream first;
  for (int i = 0; i < 8; ++i) first << std::setw(12) << g.state[static_cast<std::size_t>(i)] << (i < 7 ? ' ' : '\n');
  EXPECT_EQ(text.substr(0, 26 + 13 * 8), "State vector for MT19937:\n" + first.str());
  EXPECT_EQ(text.substr(26, 13), "  4294967295 ");
  EXPECT_EQ(text.size(), 26u + 624u * 13u);
  EXPECT_EQ(text.back(), '\n');
  Mt19937 read;
  LoadSeedFile(read, path, platform, 1);
  EXPECT_EQ(read.state, g.state);
  // However far the stream was drawn, the words come back and the next draw
  // starts a new block from them.
  Draw(g, 700);
  SaveSeedFile(g, path, platform);
  LoadSeedFile(read, path, platform, 1);
  EXPECT_EQ(read.state, g.state);
  g.index = Mt19937::kWords;
  EXPECT_EQ(Draw(read, 1000), Draw(g, 1000));
  EXPECT_TRUE(platform.messages.empty());
  std::remove(path.c_str());
  std::remove((path + ".bak").c_str());
}

// What lies at the seed file's path before the run.
enum class AtPath { kFile, kNothing, kLinkToItself };

struct DamagedCase {
  const char* name;
  AtPath at;
  std::string contents;  // of kFile
  std::vector<std::string> messages;
};

std::string Words(int n, const char* header = "State vector for MT19937:") {
  std::string text = std::string(header) + "\n";
  for (int i = 0; i < n; ++i) text += std::to_string(i * 7919U + 1U) + (i % 5 == 4 ? "\n" : "\t ");
  return text;
}

TEST(SeedFile, FallsBackToTheClockAndTellsWhy) {
  const std::string bad = "Error - Bad seed file!";
  const std::string open = "Cannot open seedfile!";
  const std::string write = "Cannot open seedfile for writing!";
  const std::string clock = "The random number generator is seeded with the current time.";
  const DamagedCase cases[] = {
      {"any header and white space", AtPath::kFile, Words(624, "whatever it says"), {}},
      {"missing: the first run", AtPath::kNothing, "", {clock}},
      {"there but unreadable", AtPath::kLinkToItself, "", {open, write, clock}},
      {"623 numbers", AtPath::kFile, Words(623), {bad, clock}},
      {"a letter among them", AtPath::kFile, Words(300) + "x" + Words(324, ""), {bad, clock}},
      {"a number beyond 32 bits", AtPath::kFile, "h\n4294967296" + Words(623, ""), {bad, clock}},
      {"no line end after the header", AtPath::kFile, "State vector", {bad, clock}},
      {"empty", AtPath::kFile, "", {bad, clock}},
  };
  for (const DamagedCase& c : cases) {
    const std::string path = SeedPath();
    if (c.at == AtPath::kFile) std::ofstream(path) << c.contents;
    if (c.at == AtPath::kLinkToItself) std::filesystem::create_symlink(path, path);
    test::ScriptedPlatform platform;
    Mt19937 g;
    LoadSeedFile(g, path, platform, 20260101);
    EXPECT_EQ(platform.MessageTexts(), c.messages) << c.name;
    for (std::size_t i = 0; i < c.messages.size(); ++i)
      EXPECT_EQ(platform.messages[i].icon,
                c.messages[i] == clock ? MessageIcon::kInformation : MessageIcon::kWarning)
          << c.name << " " << i;
    Mt19937 expected;
    if (c.messages.empty()) {
      EXPECT_EQ(g.state[4], 4U * 7919U + 1U) << c.name;
      std::remove(path.c_str());
      continue;
    }
    // Seeded from the clock.
    InitGenerator(expected, 20260101);
    EXPECT_EQ(Draw(g, 5), Draw(expected, 5)) << c.name;
    if (c.at == AtPath::kLinkToItself) {
      std::remove(path.c_str());
      continue;
    }
    // The new file holds that state before any draw, is read back without a
    // word, and the damaged file is kept as the backup.
    test::ScriptedPlatform again;
    Mt19937 reread;
    LoadSeedFile(reread, path, again, 1);
    InitGenerator(expected, 20260101);
    EXPECT_EQ(reread.state, expected.state) << c.name;
    EXPECT_TRUE(again.messages.empty()) << c.name;
    EXPECT_EQ(std::filesystem::exists(path + ".bak"), c.at == AtPath::kFile) << c.name;
    EXPECT_EQ(test::ReadWholeFile(path + ".bak"), c.contents) << c.name;
    std::remove(path.c_str());
    std::remove((path + ".bak").c_str());
  }
}

TEST(SeedFile, WarnsWhenItCannotBeWritten) {
  test::ScriptedPlatform platform;
  Mt19937 g;
  InitGenerator(g, 1);
  SaveSeedFile(g, "/nonexistent-folder/Seed", platform);
  EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{"Cannot open seedfile for writing!"});
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kWarning);
}

}  // namespace
}  // namespace kinvar
