// kinvar-cli as a user runs it: the built program in a child process, with
// its own program folder, compared byte for byte with what the document
// writes in process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include "app/document.h"
#include "app/settings_file.h"
#include "matings/seed_file.h"
#include "report/markup.h"
#include "support/scripted_platform.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    program_ = KINVAR_CLI_PATH;
    home_ = fs::temp_directory_path() / ("kinvar-cli-test-" + std::to_string(::getpid()));
    fs::create_directories(home_);
    setenv("KINVAR_HOME", home_.c_str(), 1);
    setenv("SOURCE_DATE_EPOCH", "1796479620", 1);
    setenv("TZ", "UTC", 1);
    examples_ = KINVAR_EXAMPLES_DIR;
  }
  void TearDown() override {
    fs::remove_all(home_);
    unsetenv("KINVAR_HOME");
    unsetenv("SOURCE_DATE_EPOCH");
  }

  CliRun Execute(const std::string& args) {
    const std::string out = (home_ / "stdout").string(), err = (home_ / "stderr").string();
    const std::string command = Quote(program_) + " " + args + " >" + out + " 2>" + err + " </dev/null";
    const int raw = std::system(command.c_str());
    CliRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = test::ReadWholeFile(out);
    run.err = test::ReadWholeFile(err);
    return run;
  }

  std::string Example(const char* name) const { return examples_ + "/" + name; }

  // What the document's Save As writes after `command` on `path`, the
  // pickers answering with `groups`.
  std::string SaveAsBytes(const std::string& path, std::int32_t command, int choice = 1,
                          std::vector<int> groups = {}) {
    test::ScriptedPlatform platform;
    if (groups.size() == 1) platform.groupChoices.push_back(groups[0]);
    if (groups.size() == 2) platform.groupPairs.push_back(std::pair{groups[0], groups[1]});
    CKinvarDoc doc(platform, "");
    EXPECT_TRUE(doc.Initialize());
    EXPECT_TRUE(doc.OpenPedigreeFile(path));
    doc.RunCommand(command);
    std::FILE* file = std::tmpfile();
    EXPECT_TRUE(doc.WriteSaveFile(file, choice));
    const std::string text = test::ReadFromStart(file);
    std::fclose(file);
    return text;
  }

  std::string program_;
  fs::path home_;
  std::string examples_;
};

TEST_F(Cli, HelpListsEveryCommand) {
  const CliRun run = Execute("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* name : {"view", "recode", "inbreeding", "recompute-inbreeding", "inbreeding-of",
                           "relationship", "relationships", "average-between-groups",
                           "average-relatedness", "inverse", "matrix-t", "dii", "structure",
                           "optimize-matings", "diversity", "settings"})
    EXPECT_NE(run.out.find(name), std::string::npos) << name;
  const CliRun one = Execute("recode --help");
  EXPECT_EQ(one.status, 0);
  EXPECT_NE(one.out.find("--original-order"), std::string::npos);
  const CliRun inverse = Execute("inverse --help");
  EXPECT_NE(inverse.out.find("--triplets"), std::string::npos);
  EXPECT_NE(inverse.out.find("'kinvar-cli recode'"), std::string::npos);
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  for (const char* args : {"", "frobnicate x.pdg", "view", "inbreeding-of x.pdg",
                           "view x.pdg --number-format 9", "view x.pdg --relationship kinship",
                           "view x.pdg --range 0.5", "relationships x.pdg within",
                           "relationships x.pdg between 1", "relationships x.pdg some"}) {
    const CliRun run = Execute(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("Usage: kinvar-cli"), std::string::npos) << args;
    EXPECT_EQ(run.out, "") << args;
  }
  const CliRun unknown = Execute("-q frobnicate x.pdg");
  EXPECT_EQ(unknown.err.rfind("kinvar-cli: unknown command \"frobnicate\"\nUsage: kinvar-cli", 0),
            0u)
      << unknown.err;
}

TEST_F(Cli, WritesExactlyWhatSaveAsWrites) {
  const std::string herd = Example("herd.pdg");
  const std::string small = Example("small.pdg");
  EXPECT_EQ(Execute("view " + Quote(herd)).out, SaveAsBytes(herd, kCmdViewPedigree));
  EXPECT_EQ(Execute("recode " + Quote(herd)).out, SaveAsBytes(herd, kCmdRecoding, 1));
  EXPECT_EQ(Execute("recode --original-order " + Quote(herd)).out,
            SaveAsBytes(herd, kCmdRecoding, 2));
  EXPECT_EQ(Execute("inbreeding " + Quote(small)).out, SaveAsBytes(small, kCmdCompute));
  EXPECT_EQ(Execute("recompute-inbreeding " + Quote(herd)).out, SaveAsBytes(herd, kCmdRecompute));
  EXPECT_EQ(Execute("dii " + Quote(herd)).out, SaveAsBytes(herd, kCmdDii));
  EXPECT_EQ(Execute("structure " + Quote(herd)).out, SaveAsBytes(herd, kCmdStructure));
  const std::string view = Execute("view " + Quote(small)).out;
  EXPECT_EQ(view.rfind("!14:7  Saturday, December 5, 2026\n!Pedigree file name: ", 0), 0u) << view;
}

// The inverse of A and matrix T: the handler's file, to standard output or
// to -o FILE alike.
TEST_F(Cli, FileCommandsWriteWhatTheirHandlersWrite) {
  const std::string small = Example("small.pdg");
  const auto handlerFile = [&](std::int32_t command, int choice) {
    test::ScriptedPlatform platform;
    CKinvarDoc doc(platform, "");
    EXPECT_TRUE(doc.Initialize());
    EXPECT_TRUE(doc.OpenPedigreeFile(small));
    const std::string path = (home_ / "handler.out").string();
    platform.saveChoices = {choice};
    platform.fileNames = {path};
    doc.RunCommand(command);
    return test::ReadWholeFile(path);
  };
  const std::string sparse = handlerFile(kCmdInverseA, 1);
  EXPECT_NE(sparse.find("(Lower triangular):\n"), std::string::npos);
  EXPECT_EQ(Execute("inverse " + Quote(small)).out, sparse);
  EXPECT_EQ(Execute("inverse --full " + Quote(small)).out, handlerFile(kCmdInverseA, 2));
  EXPECT_EQ(Execute("matrix-t " + Quote(small)).out, handlerFile(kCmdMatrixT, 1));
  const fs::path target = home_ / "inverse.out";
  const CliRun toFile = Execute("inverse " + Quote(small) + " -o " + Quote(target.string()));
  EXPECT_EQ(toFile.status, 0);
  EXPECT_EQ(toFile.out, "");
  EXPECT_EQ(test::ReadWholeFile(target.string()), sparse);
  // Triplets: the lower triangle's elements, one a line, as the sparse file lists them.
  const CliRun triplets = Execute("inverse --triplets " + Quote(small));
  EXPECT_EQ(triplets.status, 0);
  EXPECT_EQ(triplets.out.rfind("1 1 ", 0), 0u) << triplets.out;
  const auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
  };
  const std::size_t rows = sparse.find("Code\n");
  EXPECT_EQ(count(triplets.out, "\n"), count(sparse.substr(rows, sparse.find("No. of") - rows), ":"));
  const CliRun bad = Execute("inverse " + Quote(small) + " -o /nonexistent/dir/a.out");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "Cannot open /nonexistent/dir/a.out for writing.\n");
}

TEST_F(Cli, MatricesOfMoreThan250000CellsAreRefused) {
  for (const int n : {500, 501}) {
    std::string text = "progeny sire dam\n";
    for (int i = 0; i < n; ++i) text.append("I").append(std::to_string(i)).append(" 0 0\n");
    test::TempFile file(text);
    const CliRun full = Execute("inverse --full " + Quote(file.path()));
    const CliRun t = Execute("matrix-t " + Quote(file.path()));
    EXPECT_EQ(full.status, n == 500 ? 0 : 1) << n;
    EXPECT_EQ(t.status, n == 500 ? 0 : 1) << n;
    if (n == 500) continue;
    EXPECT_EQ(full.err, "The matrix has more than 250000 cells.\n");
    EXPECT_EQ(t.err, "This command is not available for the loaded pedigree.\n");
    EXPECT_EQ(full.out + t.out, "");
  }
}

TEST_F(Cli, ReportOptionWritesTheLaidOutReport) {
  const CliRun run = Execute("inbreeding --report " + Quote(Example("small.pdg")));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("No. of individuals in total       10\nNo. of inbreds", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("J                           0.28125"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
}

TEST_F(Cli, OutputFileGetsTheSameBytes) {
  const fs::path target = home_ / "out.pdg";
  const CliRun run = Execute("view " + Quote(Example("small.pdg")) + " -o " + Quote(target.string()));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(test::ReadWholeFile(target.string()), SaveAsBytes(Example("small.pdg"), kCmdViewPedigree));
  const CliRun bad = Execute("view " + Quote(Example("small.pdg")) + " -o /nonexistent/dir/out.pdg");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "Cannot open /nonexistent/dir/out.pdg for writing.\n");
  // A device that takes no bytes: the failed write must not pass for success.
  const CliRun full = Execute("view " + Quote(Example("small.pdg")) + " -o /dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Error while writing /dev/full.\n");
}

TEST_F(Cli, ARejectedPedigreeListsItsMistakesOnStandardError) {
  const CliRun run = Execute("view " + Quote(Example("rejected.pdg")));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  test::ScriptedPlatform platform;
  CKinvarDoc doc(platform, "");
  ASSERT_TRUE(doc.Initialize());
  doc.OpenPedigreeFile(Example("rejected.pdg"));
  ASSERT_EQ(doc.lastCommand(), kRejectedPedigree);
  std::string expected;
  for (int i = 0; i < doc.pedigree().report.Count(); ++i)
    expected += ExpandMarkup(doc.pedigree().report.Line(i));
  EXPECT_EQ(run.err, expected);
}

TEST_F(Cli, UnreadableFilesAndUnavailableCommandsExitWithOne) {
  const CliRun missing = Execute("view /nonexistent/x.pdg");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Cannot open /nonexistent/x.pdg\n");

  test::TempFile empty("! nothing but a comment\n");
  const CliRun emptyRun = Execute("view " + Quote(empty.path()));
  EXPECT_EQ(emptyRun.status, 1);
  EXPECT_EQ(emptyRun.err, "File is empty.\n");

  const CliRun recompute = Execute("recompute-inbreeding " + Quote(Example("small.pdg")));
  EXPECT_EQ(recompute.status, 1);
  EXPECT_EQ(recompute.err, "This command is not available for the loaded pedigree.\n");
  EXPECT_EQ(recompute.out, "");
}

TEST_F(Cli, InbreedingOfOneIndividual) {
  const std::string small = Quote(Example("small.pdg"));
  EXPECT_EQ(Execute("inbreeding-of " + small + " j").out, "0.28125\n");
  EXPECT_EQ(Execute("inbreeding-of " + small + " J --number-format fraction").out, "9/32\n");
  EXPECT_EQ(Execute("inbreeding-of " + small + " A --number-format fixed3").out, "0.000\n");
  const CliRun unknown = Execute("inbreeding-of " + small + " zz");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "Cannot find \"ZZ\" in the pedigree.\n");
  // A predefined F is shown as given.
  EXPECT_EQ(Execute("inbreeding-of " + Quote(Example("herd.pdg")) + " d1").out, "0.125\n");
}

TEST_F(Cli, SettingsFileIsWrittenAsTheOptionsDialogSavesIt) {
  const fs::path file = home_ / "my.ini";
  const CliRun run = Execute("settings --write " + Quote(file.string()) +
                          " --relationship coefficient --range 0.5 0.1 --list-founders"
                          " --number-format 3");
  EXPECT_EQ(run.status, 0) << run.err;
  Settings expected;
  expected.relationshipType = 0;
  expected.relationshipLower = 0.1f;  // the dialog swaps reversed bounds
  expected.relationshipUpper = 0.5f;
  expected.listFounders = 1;
  expected.numberFormat = 3;
  const auto bytes = EncodeSettings(expected);
  EXPECT_EQ(test::ReadWholeFile(file.string()), std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(static_cast<unsigned char>(test::ReadWholeFile(file.string())[0]), 0x02);

  // Read back: the file's format applies, an explicit option wins.
  const std::string small = Quote(Example("small.pdg"));
  EXPECT_EQ(Execute("inbreeding-of " + small + " J --settings " + Quote(file.string())).out,
            "0.28\n");
  EXPECT_EQ(Execute("inbreeding-of " + small + " J --settings " + Quote(file.string()) +
                    " --number-format general")
                .out,
            "0.28125\n");
  EXPECT_EQ(Execute("inbreeding-of " + small + " J --settings /nonexistent.ini").status, 1);
}

TEST_F(Cli, RejectsAnInvalidRange) {
  const CliRun run = Execute("settings --write " + Quote((home_ / "x.ini").string()) +
                          " --relationship coefficient --range 0 1.5");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "Entries for the relationship are incorrect!\nPlease enter a decimal number between 0 "
            "and 1.\n");
  EXPECT_FALSE(fs::exists(home_ / "x.ini"));
}

TEST_F(Cli, ProgramFolderSettingsApplyWithoutOptions) {
  Settings stored;
  stored.numberFormat = 0;
  ASSERT_TRUE(WriteSettingsFile((home_ / "Kinvar.ini").string(), stored));
  EXPECT_EQ(Execute("inbreeding-of " + Quote(Example("small.pdg")) + " E").out, "1/4\n");
}

TEST_F(Cli, RelationshipCommandsWriteWhatSaveAsWrites) {
  const std::string herd = Example("herd.pdg");
  struct Row {
    const char* args;
    std::int32_t command;
    int choice;
    std::vector<int> groups;
  };
  const Row rows[] = {
      {"relationships HERD all", kCmdBetweenAll, 1, {}},
      {"relationships HERD all --matrix", kCmdBetweenAll, 2, {}},
      {"relationships HERD within 3", kCmdWithinGroup, 1, {3}},
      {"relationships HERD within 3 --matrix", kCmdWithinGroup, 2, {3}},
      {"relationships HERD between 1 2", kCmdBetweenTwoGroups, 1, {1, 2}},
      {"relationships HERD between 1 2 --matrix", kCmdBetweenTwoGroups, 2, {1, 2}},
      {"average-between-groups HERD", kCmdAverageBetweenGroups, 1, {}},
      {"average-relatedness HERD", kCmdAverageRelatedness, 1, {}},
  };
  for (const Row& row : rows) {
    std::string args = row.args;
    args.replace(args.find("HERD"), 4, Quote(herd));
    const CliRun run = Execute(args);
    EXPECT_EQ(run.status, 0) << row.args << run.err;
    EXPECT_EQ(run.out, SaveAsBytes(herd, row.command, row.choice, row.groups)) << row.args;
  }
}

TEST_F(Cli, RelationshipListingExactBytes) {
  test::TempFile file("progeny sire dam\nA 0 0\nB 0 0\nC A B\n");
  const CliRun run = Execute("relationships " + Quote(file.path()) + " all --range 0.4 2");
  const auto col = [](std::string text) { return text + std::string(22 - text.size(), ' '); };
  EXPECT_EQ(run.out, "14:7  Saturday, December 5, 2026\nPedigree file name: " +
                         fs::absolute(file.path()).lexically_normal().string() + "\n\n" +
                         "Between all individuals.\nRelationships in the range of 0.4 - 2 are shown.\n" +
                         col("Individual ID") + col("Individual ID") + "Numerator relationship\n" +
                         col("----------") + col("----------") + "----------\n" + col("C") + col("A") +
                         "0.5\n" + col("C") + col("B") + "0.5\n");
}

TEST_F(Cli, RelationshipRefusalsExitWithOne) {
  std::string text = "progeny sire dam group\n";
  for (int i = 0; i < 501; ++i)
    text.append("I").append(std::to_string(i)).append(i == 0 ? " 0 0 1\n" : " 0 0 2\n");
  test::TempFile big(text);
  struct Row {
    const char* name;
    std::string args;
    int status;
    std::string err;
  };
  const std::string small = Quote(Example("small.pdg"));
  const Row rows[] = {
      {"501 x 501 cells", "relationships " + Quote(big.path()) + " all --matrix", 1,
       "The matrix has more than 250000 cells.\n"},
      {"500 x 500 cells", "relationships " + Quote(big.path()) + " within 2 --matrix", 0, ""},
      {"a group of one", "relationships " + Quote(big.path()) + " within 1", 1,
       "Error: Number of individuals is less than 2 in the group 1.\n"},
      {"a group not in the pedigree", "relationships " + Quote(big.path()) + " between 1 7", 1,
       "Group \"7\" is not in the pedigree.\n"},
      {"an unknown ID", "relationship " + small + " j zz", 1,
       "Cannot find individual \"ZZ\" in the pedigree.\n"},
  };
  for (const Row& row : rows) {
    const CliRun run = Execute("-q " + row.args);
    EXPECT_EQ(run.status, row.status) << row.name;
    EXPECT_EQ(run.err, row.err) << row.name;
  }
}

TEST_F(Cli, RelationshipOfTwoIndividuals) {
  const std::string small = Quote(Example("small.pdg"));
  // E (F = 1/4) with its sire C: (1 + 1/2) / 2, and 0.75 / sqrt(1.25) as a coefficient.
  EXPECT_EQ(Execute("relationship " + small + " e c --number-format fraction").out, "3/4\n");
  EXPECT_EQ(
      Execute("relationship " + small + " C E --relationship coefficient --number-format fixed4").out,
      "0.6708\n");
  EXPECT_EQ(Execute("relationship " + small + " J J").out, "1.28125\n");
}

// Sires of 2022 (group 2) for the dams of 2023 (group 3) in the herd.
TEST_F(Cli, OptimizeMatingsWritesWhatSaveAsWritesAndKeepsTheStream) {
  const std::string herd = Example("herd.pdg");
  test::TempFile c("! sires of 2022\nB1 1\nb2,1\nB3 1\nB4 1\n", ".c");
  test::TempFile f("C1 B1\n", ".fm");
  test::TempFile all("B4 C1\nB4 C2\nB4 C3\nB4 C4\n", ".fm");
  const std::string seed = (home_ / "Seed").string();
  const auto writeSeed = [](const std::string& path) {
    Mt19937 g;
    InitGenerator(g, 77);
    test::ScriptedPlatform quiet;
    SaveSeedFile(g, path, quiet);
  };
  // What the document writes from the same seed file and inputs.
  const auto expected = [&](bool exact, bool forbidden) {
    test::ScriptedPlatform platform;
    platform.groupPairs.push_back(std::pair{2, 3});
    platform.fileNames = {c.path(), f.path()};
    CKinvarDoc doc(platform, "");
    EXPECT_TRUE(doc.Initialize() && doc.OpenPedigreeFile(herd));
    doc.settings().allowForbidden = forbidden ? 1 : 0;
    doc.remembered.exactMatings = exact;
    doc.seedFile = (home_ / "doc-seed").string();
    writeSeed(doc.seedFile);
    doc.RunCommand(kCmdOptimizeMatings);
    std::FILE* file = std::tmpfile();
    EXPECT_TRUE(doc.WriteSaveFile(file, 1));
    const std::string text = test::ReadFromStart(file);
    std::fclose(file);
    return text;
  };
  const std::string args = "-q optimize-matings " + Quote(herd) + " 2 3 " + Quote(c.path());
  writeSeed(seed);
  const CliRun annealed = Execute(args);
  EXPECT_EQ(annealed.status, 0) << annealed.err;
  EXPECT_EQ(annealed.out, expected(false, false));
  EXPECT_NE(annealed.out.find("The minimum possible average inbreeding of progeny = "), std::string::npos);
  EXPECT_NE(test::ReadWholeFile(seed), test::ReadWholeFile(seed + ".bak"));  // saved after the run
  writeSeed(seed);
  EXPECT_EQ(Execute(args + " --forbidden " + Quote(f.path())).out, expected(false, true));
  const std::string before = test::ReadWholeFile(seed);
  EXPECT_EQ(Execute(args + " --exact --forbidden " + Quote(f.path())).out, expected(true, true));
  EXPECT_EQ(test::ReadWholeFile(seed), before);  // the exact mode draws nothing
  const std::string other = (home_ / "other-seed").string();
  writeSeed(other);
  EXPECT_EQ(Execute(args + " --seed-file " + Quote(other)).out, expected(false, false));
  EXPECT_EQ(test::ReadWholeFile(seed), before);

  const CliRun restricted = Execute(args + " --forbidden " + Quote(all.path()) + " --report");
  EXPECT_EQ(restricted.status, 1);
  EXPECT_EQ(restricted.out, "\nCould not optimize matings.\nMatings are too restricted.\n");
  const CliRun refused = Execute("-q optimize-matings " + Quote(herd) + " 3 2 " + Quote(c.path()));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Error: Individual B1 does not belong to Group 3.\n");
  EXPECT_EQ(refused.out, "");
}

}  // namespace
}  // namespace kinvar

namespace kinvar {
namespace {

TEST_F(Cli, PedigreeAnalysesWriteWhatSaveAsWrites) {
  const std::string herd = Example("herd.pdg");
  const std::string small = Example("small.pdg");
  struct Row {
    std::string args;
    std::string path;
    std::int32_t command;
    std::vector<int> groups;
  };
  const Row rows[] = {
      {"path-counting " + Quote(small) + " all", small, kCmdPathCountingAll, {}},
      {"path-counting " + Quote(herd) + " group 3", herd, kCmdPathCountingGroup, {3}},
      {"gene-origin " + Quote(herd) + " 3", herd, kCmdGeneOrigin, {3}},
      {"decompose " + Quote(herd) + " group 3", herd, kCmdDecompositionGroup, {3}},
      {"decompose " + Quote(herd) + " coancestry 3", herd, kCmdDecompositionCoancestry, {3}},
      {"diversity " + Quote(herd) + " 3", herd, kCmdDiversity, {3}},
      {"diversity " + Quote(herd) + " all", herd, kCmdDiversity, {kAllIndividuals}},
      {"diversity " + Quote(small) + " all", small, kCmdDiversity, {kAllIndividuals}},
  };
  for (const Row& row : rows) {
    const CliRun run = Execute("-q " + row.args);
    EXPECT_EQ(run.status, 0) << row.args << run.err;
    EXPECT_EQ(run.out, SaveAsBytes(row.path, row.command, 1, row.groups)) << row.args;
  }
  const CliRun one = Execute("decompose " + Quote(small) + " individual j --number-format fraction");
  EXPECT_NE(one.out.find("Inbreeding coefficient                              9/32\n"),
            std::string::npos)
      << one.out;
  const CliRun notInbred = Execute("path-counting " + Quote(small) + " individual a");
  EXPECT_EQ(notInbred.status, 0);
  EXPECT_NE(notInbred.out.find("\nA is not inbred.\n"), std::string::npos) << notInbred.out;
  const fs::path target = home_ / "anc.pdg";
  const CliRun extract = Execute("extract " + Quote(small) + " ancestors individual h -o " +
                                 Quote(target.string()));
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_NE(test::ReadWholeFile(target.string()).find("! Number of individuals:  8\n"),
            std::string::npos);
  EXPECT_EQ(Execute("extract " + Quote(small) + " descendants individual g").out.find("!14:7"), 0u);
  EXPECT_EQ(Execute("decompose " + Quote(small) + " group").status, 2);
  const CliRun noGroup = Execute("diversity " + Quote(herd) + " 99");
  EXPECT_EQ(noGroup.status, 1);
  EXPECT_NE(noGroup.err.find("Group \"99\" is not in the pedigree."), std::string::npos);
}

// A path counting that would run for ages, stopped by Ctrl+C: status 130,
// no partly written output left behind.
TEST_F(Cli, AnInterruptEndsTheCommandAndRemovesItsOutput) {
  std::string text = "progeny sire dam\nS0 0 0\nD0 0 0\n";
  for (int g = 1; g <= 60; ++g) {
    const std::string p = std::to_string(g - 1), c = std::to_string(g);
    text += "S" + c + " S" + p + " D" + p + "\nD" + c + " S" + p + " D" + p + "\n";
  }
  test::TempFile file(text);
  for (const char* scope : {"all", "individual S60"}) {
    const fs::path target = home_ / "loops.out";
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      ::freopen("/dev/null", "w", stderr);
      const std::string command = std::string("path-counting ") + file.path() + " " + scope +
                                  " -q -o " + target.string();
      ::execl("/bin/sh", "sh", "-c", ("exec " + Quote(program_) + " " + command).c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Until the output file exists, the search is running.
    for (int i = 0; i < 200 && !fs::exists(target); ++i) ::usleep(20000);
    ::usleep(100000);
    ::kill(child, SIGINT);
    int raw = 0;
    ASSERT_EQ(::waitpid(child, &raw, 0), child);
    EXPECT_TRUE(WIFEXITED(raw)) << scope;
    EXPECT_EQ(WEXITSTATUS(raw), 130) << scope;
    EXPECT_FALSE(fs::exists(target)) << scope;
  }
}

}  // namespace
}  // namespace kinvar
