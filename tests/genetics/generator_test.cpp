// MT19937 against the published outputs and the standard library's
// independent implementation, and the seed file: exact bytes, round trip,
// and every message of a missing, damaged or unwritable file. Then the
// benchmarks' pedigree generator: the bytes of its shapes, and the wide
// shape growing wider, not deeper.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "analyses/seed_file.h"
#include "genetics/inbreeding.h"
#include "genetics/mt19937.h"
#include "pedigree/load.h"
#include "pedigree_generator.h"
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
    const SeedSource source = LoadSeedFile(g, path, platform, 20260101);
    // The clock seeding is the caller's line of the report, never a box.
    std::vector<std::string> boxes = c.messages;
    std::erase(boxes, clock);
    EXPECT_EQ(platform.MessageTexts(), boxes) << c.name;
    EXPECT_EQ(source, c.messages.empty() ? SeedSource::kFile : SeedSource::kClock) << c.name;
    for (std::size_t i = 0; i < boxes.size(); ++i)
      EXPECT_EQ(platform.messages[i].icon, MessageIcon::kWarning) << c.name << " " << i;
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

// What lies at a seed file's path that is not a good seed file.
enum class Lying { kText, kFolder, kFifo };

struct RefusalCase {
  const char* name;
  SeedFileOwner owner;
  Lying lying;
  std::string text;  // of kText
  const char* why;   // of the refusal; nullptr: the run goes on from the clock
  std::vector<std::string> messages;  // when it goes on
};

// A seed file that cannot be one is refused without a byte written: not a
// regular file, whoever named it, and a file the user named that is not a
// seed file. The program's own damaged Seed, and an empty file the user
// named, give way to a clock seeding; the damaged bytes stay in the backup
// through the save at the end of the run, and an empty file leaves the
// backup alone.
TEST(SeedFile, RefusesWhatIsNoSeedFileAndKeepsADamagedOneInTheBackup) {
  const std::string bad = "Error - Bad seed file!";
  const std::string clock = "The random number generator is seeded with the current time.";
  const char* notRegular = "it is not a regular file";
  const char* notSeed = "it does not hold the state of the random number generator";
  const std::string pedigree = "Progeny Sire Dam\nA 0 0\nB 0 0\nC A B\n";
  const RefusalCase cases[] = {
      {"the user's pedigree file", SeedFileOwner::kUser, Lying::kText, pedigree, notSeed, {}},
      {"the user's damaged seed file", SeedFileOwner::kUser, Lying::kText, Words(623), notSeed, {}},
      {"the user's file longer than a seed file", SeedFileOwner::kUser, Lying::kText,
       Words(624) + std::string(kMaxSeedFileBytes, ' '), notSeed, {}},
      {"the user's folder", SeedFileOwner::kUser, Lying::kFolder, "", notRegular, {}},
      {"the program's folder", SeedFileOwner::kProgram, Lying::kFolder, "", notRegular, {}},
      {"a pipe nobody writes", SeedFileOwner::kProgram, Lying::kFifo, "", notRegular, {}},
      {"the user's empty file", SeedFileOwner::kUser, Lying::kText, "", nullptr, {clock}},
      {"the program's pedigree file", SeedFileOwner::kProgram, Lying::kText, pedigree, nullptr, {bad, clock}},
      {"the program's damaged Seed", SeedFileOwner::kProgram, Lying::kText, Words(623), nullptr, {bad, clock}},
      {"the program's overlong Seed", SeedFileOwner::kProgram, Lying::kText,
       Words(624) + std::string(kMaxSeedFileBytes, ' '), nullptr, {bad, clock}},
  };
  const std::string folder = test::TempFile("", ".seeds").path() + ".d";
  for (const RefusalCase& c : cases) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/Seed";
    if (c.lying == Lying::kText) test::WriteWholeFile(path, c.text);
    if (c.lying == Lying::kFolder) std::filesystem::create_directory(path);
    if (c.lying == Lying::kFifo) {
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    }
    test::WriteWholeFile(path + ".bak", "precious\n");
    test::ScriptedPlatform platform;
    Mt19937 g;
    const SeedSource source = LoadSeedFile(g, path, platform, 20260101, c.owner);
    if (c.why != nullptr) {
      EXPECT_EQ(source, SeedSource::kRefused) << c.name;
      EXPECT_EQ(platform.MessageTexts(),
                std::vector<std::string>{"Error - Cannot use " + path + " as the seed file: " + c.why +
                                         ". It was left as it is."})
          << c.name;
      EXPECT_EQ(platform.messages.at(0).icon, MessageIcon::kError) << c.name;
      if (c.lying == Lying::kText) {
        EXPECT_EQ(test::ReadWholeFile(path), c.text) << c.name;
      }
      EXPECT_EQ(std::filesystem::status(path).type(),
                c.lying == Lying::kText     ? std::filesystem::file_type::regular
                : c.lying == Lying::kFolder ? std::filesystem::file_type::directory
                                            : std::filesystem::file_type::fifo)
          << c.name;
      EXPECT_EQ(test::ReadWholeFile(path + ".bak"), "precious\n") << c.name;
      continue;
    }
    EXPECT_EQ(source, SeedSource::kClock) << c.name;
    std::vector<std::string> boxes = c.messages;
    std::erase(boxes, clock);
    EXPECT_EQ(platform.MessageTexts(), boxes) << c.name;
    // The run draws and saves as a run does.
    Draw(g, 10);
    SaveSeedFile(g, path, platform, BackupAfter(source));
    Mt19937 reread;
    EXPECT_EQ(LoadSeedFile(reread, path, platform, 1), SeedSource::kFile) << c.name;
    EXPECT_EQ(reread.state, g.state) << c.name;
    // An empty file has nothing to keep.
    EXPECT_EQ(test::ReadWholeFile(path + ".bak"), c.text.empty() ? "precious\n" : c.text) << c.name;
  }
  std::filesystem::remove_all(folder);
}

TEST(SeedFile, WarnsWhenItCannotBeWritten) {
  test::ScriptedPlatform platform;
  Mt19937 g;
  InitGenerator(g, 1);
  SaveSeedFile(g, "/nonexistent-folder/Seed", platform);
  EXPECT_EQ(platform.MessageTexts(), std::vector<std::string>{"Cannot open seedfile for writing!"});
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::kWarning);
}

// ---------------------------------------------------------------------------
// The benchmarks' generator.

struct Generated {
  std::string text;
  bench::GeneratorSummary summary;
};

Generated Generate(const bench::GeneratorOptions& options) {
  const std::string path = test::TempFile("", ".pdg").path();
  Generated g;
  std::string error;
  EXPECT_TRUE(bench::GeneratePedigreeFile(options, path, g.summary, error)) << error;
  g.text = test::ReadWholeFile(path);
  std::remove(path.c_str());
  return g;
}

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t h = 1469598103934665603ULL;
  for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return h;
}

// Other benchmarks and tests compare figures across commits on these files:
// the default and deep shapes keep their bytes, and the wide shape is the
// default one until the default's cap on births per generation bites.
TEST(PedigreeGenerator, KeepsTheBytesOfEveryShape) {
  struct Row {
    const char* name;
    bench::GeneratorOptions options;
    std::uint64_t digest;
    std::int64_t bytes;
  };
  const Row rows[] = {
      {"default, 30,000", {.individuals = 30000, .seed = 7}, 6451056910849187316ULL, 1083662},
      {"deep 12, F column", {.individuals = 20000, .seed = 3, .deepGenerations = 12, .fColumn = true},
       3332459339643337672ULL, 733973},
      {"parents first", {.individuals = 10000, .seed = 5, .order = bench::Order::kParentsFirst},
       10977092345309442144ULL, 338625},
  };
  for (const Row& row : rows) {
    const Generated g = Generate(row.options);
    EXPECT_EQ(Fnv1a(g.text), row.digest) << row.name;
    EXPECT_EQ(g.summary.bytes, row.bytes) << row.name;
    EXPECT_EQ(Generate(row.options).text, g.text) << row.name << ": the same options twice";
  }
  bench::GeneratorOptions wide{.individuals = 30000, .seed = 7, .wideGenerations = 25};
  EXPECT_EQ(Generate(wide).text, Generate(rows[0].options).text) << "wide at 25 generations";
}

// Beyond the default's cap of 40,000 births per generation the default
// shape grows deeper; the wide one stays G (+1 for unlisted founders)
// generations deep with sires and dams in proportion, and loads cleanly.
TEST(PedigreeGenerator, WideShapeGrowsWiderNotDeeper) {
  struct Row {
    const char* name;
    std::int64_t n;
    int generations;
  };
  const Row rows[] = {
      {"10 generations of 50,000", 500000, 10},
      {"5 generations of 60,000", 300000, 5},
      {"25 generations of 800", 20000, 25},
  };
  for (const Row& row : rows) {
    const bench::GeneratorOptions options{.individuals = row.n, .seed = 11, .wideGenerations = row.generations};
    const std::string path = test::TempFile("", ".pdg").path();
    bench::GeneratorSummary summary;
    std::string error;
    ASSERT_TRUE(bench::GeneratePedigreeFile(options, path, summary, error)) << error;
    EXPECT_EQ(summary.lines, row.n) << row.name;
    EXPECT_GE(summary.generations, row.generations) << row.name;
    EXPECT_LE(summary.generations, row.generations + 1) << row.name;
    Pedigree ped;
    SilentProgressWindow window;
    Progress progress(window);
    const LoadOutcome outcome = LoadPedigree(path, ped, progress);
    std::remove(path.c_str());
    ASSERT_EQ(outcome.status, LoadStatus::kLoaded) << row.name << ": " << outcome.message;
    std::int32_t deepest = 0;
    std::set<RecIndex> sires;
    for (RecIndex i = 1; i <= ped.nTotal; ++i) {
      deepest = std::max(deepest, ped.rec(i).generation);
      if (ped.rec(i).sire != kUnknownParent) sires.insert(ped.rec(i).sire);
    }
    EXPECT_LE(deepest, row.generations + 1) << row.name;
    // A fortieth of each generation's births drawn as sires, with repeats.
    EXPECT_GE(static_cast<double>(sires.size()), 0.25 * static_cast<double>(row.n) / 40) << row.name;
  }
}

}  // namespace
}  // namespace kinvar
