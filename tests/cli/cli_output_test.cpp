// Where kinvar-cli's output goes, run by a shell as users run it: standard
// output however the shell set it up, files replaced only when complete and
// only when they may be, and nothing written for a run that fails.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/output_file.h"
#include "support/cli_fixture.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

using test::CliRun;
using test::Quote;

class CliOutput : public test::CliFixture {
 protected:
  // `line` run by `shell` in the run's folder, KINVAR standing for the
  // program, SMALL, HERD and SEXED for pedigrees; its standard error kept.
  CliRun Shell(std::string line, const char* shell = "/bin/sh") const {
    const std::pair<const char*, std::string> words[] = {
        {"KINVAR", Quote(KINVAR_CLI_PATH) + " -q"},
        {"SMALL", Quote(std::string(KINVAR_EXAMPLES_DIR) + "/small.pdg")},
        {"HERD", Herd()},
        {"SEXED", Quote(Out("sexed.pdg"))}};
    for (const auto& [word, text] : words)
      for (std::size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + text.size()))
        line.replace(at, std::string(word).size(), text);
    const std::string err = Out("stderr");
    const std::string command = "cd " + Quote(home_.string()) + " && " + shell + " -c " + Quote(line) +
                                " 2>" + Quote(err) + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", test::ReadWholeFile(err)};
  }
  std::string Bytes(const std::string& name) const { return test::ReadWholeFile(Out(name)); }
  // What kinvar-cli writes to standard output for `args`.
  std::string Written(const std::string& args) const {
    const CliRun run = Shell("KINVAR " + args + " > written");
    EXPECT_EQ(run.status, 0) << args << ": " << run.err;
    return Bytes("written");
  }
  void SetUp() override {
    CliFixture::SetUp();
    test::WriteWholeFile(Out("sexed.pdg"), "Progeny Sire Dam Sex\nS1 0 0 M\nD1 0 0 F\nM S1 D1 M\nF S1 D1 F\n");
  }
};

struct ShellRow {
  const char* name;
  const char* shell;
  std::string line;
  std::string file;      // read afterwards
  std::string expected;  // its bytes; VIEW stands for the view of SMALL
};

// Standard output and whatever is not a regular file are written into:
// ">>" keeps the earlier lines, a pipe and a process substitution get the
// bytes, and the file the shell opened stays the same file.
TEST_F(CliOutput, StandardOutputIsWrittenAsTheShellSetItUp) {
  const std::string view = Written("view SMALL");
  const ShellRow rows[] = {
      {"-o /dev/stdout >> log", "/bin/sh", "KINVAR view SMALL -o /dev/stdout >> log", "log", "earlier\nVIEW"},
      {"-o - >> log", "/bin/sh", "KINVAR view SMALL -o - >> log", "log", "earlier\nVIEW"},
      {"-o /proc/self/fd/1 >> log", "/bin/sh", "KINVAR view SMALL -o /proc/self/fd/1 >> log", "log",
       "earlier\nVIEW"},
      {"-o /dev/stdout > log", "/bin/sh", "KINVAR view SMALL -o /dev/stdout > log", "log", "VIEW"},
      {"a file command, -o /dev/stdout >> log", "/bin/sh", "KINVAR inverse SMALL -o /dev/stdout >> log; "
       "KINVAR inverse SMALL > inverse", "log", "earlier\nINVERSE"},
      {"-o /dev/stdout | wc -c", "/bin/sh", "KINVAR view SMALL -o /dev/stdout | wc -c | tr -d ' ' > log", "log",
       "SIZE\n"},
      {"-o >(cat > log), a process substitution", "/usr/bin/bash", "KINVAR view SMALL -o >(cat > log); wait $!; sleep 0.2", "log", "VIEW"},
  };
  for (const ShellRow& row : rows) {
    test::WriteWholeFile(Out("log"), "earlier\n");
    struct stat before {};
    ::stat(Out("log").c_str(), &before);
    const CliRun run = Shell(row.line, row.shell);
    EXPECT_EQ(run.status, 0) << row.name;
    EXPECT_EQ(run.err, "") << row.name;
    std::string expected = row.expected;
    if (const auto at = expected.find("VIEW"); at != std::string::npos) expected.replace(at, 4, view);
    if (const auto at = expected.find("INVERSE"); at != std::string::npos) expected.replace(at, 7, Bytes("inverse"));
    if (const auto at = expected.find("SIZE"); at != std::string::npos)
      expected.replace(at, 4, std::to_string(view.size()));
    EXPECT_EQ(Bytes(row.file), expected) << row.name;
    struct stat after {};
    ::stat(Out("log").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << row.name;
  }
}

struct RefusalRow {
  const char* name;
  std::string line;
  int status;
  std::string err;
  std::string kept;  // the file that keeps its bytes
};

// A run that fails writes nothing over -o and says why on standard error;
// a write that fails says so with the system's reason.
TEST_F(CliOutput, AFailingRunLeavesTheOutputAndSaysWhy) {
  std::string everyPair;
  for (const char* sire : {"B1", "B2", "B3", "B4"})
    for (const char* dam : {"C1", "C2", "C3", "C4"}) everyPair += std::string(sire) + " " + dam + "\n";
  test::WriteWholeFile(Out("all.fm"), everyPair);
  const std::string matings = "KINVAR optimize-matings HERD 2 3 " +
                              Quote(std::string(KINVAR_EXAMPLES_DIR) + "/herd-sires.c") +
                              " --forbidden all.fm --exact ";
  const std::string restricted =
      "\nCould not optimize matings.\nMatings are too restricted.\n"
      "Warning: B2 of the sire group is recorded as a dam in the pedigree.\n"
      "Warning: B3 of the sire group is recorded as a dam in the pedigree.\n";
  const std::string full = "Error while writing the output.\nNo space left on device\n";
  const RefusalRow rows[] = {
      {"too restricted, -o", matings + "-o o.txt", 1, restricted, "o.txt"},
      {"too restricted, --format csv -o", matings + "--format csv -o o.txt", 1, restricted, "o.txt"},
      {"too restricted, standard output", matings + "> o.txt", 1, restricted, ""},
      {"view to a full device", "KINVAR view SMALL > /dev/full", 1, full, ""},
      {"inverse to a full device", "KINVAR inverse SMALL > /dev/full", 1, full, ""},
      {"x-linked to a full device", "KINVAR x-linked SEXED > /dev/full", 1, full, ""},
      {"dominance to a full device", "KINVAR dominance SMALL > /dev/full", 1, full, ""},
      {"matrix-t to a full device", "KINVAR matrix-t SMALL > /dev/full", 1, full, ""},
      {"settings to a full device", "KINVAR settings --write /dev/full", 1,
       "Error while writing \"/dev/full\".\nNo space left on device\n", ""},
      {"-o with an empty name", "KINVAR view SMALL -o '' > o.txt", 2,
       "kinvar-cli: the output file name after -o is empty\nUsage: kinvar-cli COMMAND PEDIGREE [ARGS...] "
       "[OPTIONS]\nRun 'kinvar-cli --help' for the commands.\n",
       ""},
  };
  for (const RefusalRow& row : rows) {
    test::WriteWholeFile(Out("o.txt"), "kept\n");
    const CliRun run = Shell(row.line);
    EXPECT_EQ(run.status, row.status) << row.name;
    EXPECT_EQ(run.err, row.err) << row.name;
    if (!row.kept.empty()) {
      EXPECT_EQ(Bytes(row.kept), "kept\n") << row.name;
    } else if (row.line.find("> o.txt") != std::string::npos) {
      EXPECT_EQ(Bytes("o.txt"), "") << row.name;  // nothing on standard output
    }
  }
}

// A process id that no process has: a child's, once it is gone.
// Replacing has no gaps: the longest legal names are written, a file-size
// limit fails the write and leaves the old file, and what a killed run left
// is removed by the next.
TEST_F(CliOutput, ReplacingLeavesNothingBehind) {
  const std::string view = Written("view HERD");
  const std::string longName(250, 'n');
  EXPECT_EQ(Shell("KINVAR view HERD -o " + longName).status, 0);
  EXPECT_EQ(Bytes(longName), view);

  const std::string stale = TemporaryName(test::DeadProcess(), 0x12345678);
  test::WriteWholeFile(Out(stale), view);  // killed between the link and the rename
  test::WriteWholeFile(Out("big.out"), "old\n");
  // bash counts the limit in kilobytes: the view of HERD does not fit in one.
  const CliRun limited = Shell("ulimit -f 1; KINVAR view HERD -o big.out", "/usr/bin/bash");
  EXPECT_EQ(limited.status, 1);
  EXPECT_EQ(limited.err, "Error while writing big.out.\nFile too large\n");
  EXPECT_EQ(Bytes("big.out"), "old\n");
  EXPECT_FALSE(fs::exists(Out(stale)));
  EXPECT_FALSE(test::HasTemporaryBeside(Out("big.out")));
}

struct ReadOnlyRow {
  const char* name;
  std::string args;    // OUT: the read-only file
  std::string target;  // the file that is read-only
};

// A read-only file is refused as cp refuses it, even for root, unless
// --force; then it is replaced and stays read-only. A folder of tables with
// one read-only file changes none of its files.
TEST_F(CliOutput, AReadOnlyFileIsReplacedOnlyWithForce) {
  const ReadOnlyRow rows[] = {
      {"view", "view SMALL -o OUT", "ro.txt"},
      {"inverse", "inverse SMALL -o OUT", "ro.txt"},
      {"a table", "inbreeding SMALL --format csv --table inbreeding -o OUT", "ro.txt"},
      {"a folder of tables", "inbreeding SMALL --format csv -o " + Out("tables"), "tables/inbreeding.csv"},
      {"settings", "settings --write OUT", "ro.txt"},
  };
  fs::create_directories(Out("tables"));
  for (const ReadOnlyRow& row : rows) {
    std::string args = row.args;
    if (const auto at = args.find("OUT"); at != std::string::npos) args.replace(at, 3, Out(row.target));
    test::WriteWholeFile(Out("tables/summary.csv"), "old summary\n");
    fs::remove(Out(row.target));
    test::WriteWholeFile(Out(row.target), "read-only\n");
    ASSERT_EQ(::chmod(Out(row.target).c_str(), 0444), 0);
    const CliRun refused = Shell("KINVAR " + args);
    EXPECT_EQ(refused.status, 1) << row.name;
    EXPECT_EQ(refused.err, "Cannot open " + Out(row.target) +
                               " for writing.\nThe file is read-only; --force replaces it.\n")
        << row.name;
    EXPECT_EQ(Bytes(row.target), "read-only\n") << row.name;
    EXPECT_EQ(Bytes("tables/summary.csv"), "old summary\n") << row.name;

    const CliRun forced = Shell("KINVAR " + args + " --force");
    EXPECT_EQ(forced.status, 0) << row.name << ": " << forced.err;
    EXPECT_NE(Bytes(row.target), "read-only\n") << row.name;
    struct stat info {};
    ASSERT_EQ(::stat(Out(row.target).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u) << row.name;
  }
}

// --seed-file names a file that must be a seed file: a pedigree named by
// mistake is refused with exit 1 and neither it nor its .bak changes. The
// program folder's damaged Seed gives way to the clock, its old bytes kept
// in Seed.bak after the run.
TEST_F(CliOutput, ASeedFileThatIsNoSeedFileIsLeftAlone) {
  const std::string matings = "KINVAR optimize-matings HERD 2 3 " +
                              Quote(std::string(KINVAR_EXAMPLES_DIR) + "/herd-sires.c") + " > o.txt";
  const std::string mine = "Progeny Sire Dam\nA 0 0\n";
  test::WriteWholeFile(Out("mine.pdg"), mine);
  test::WriteWholeFile(Out("mine.pdg.bak"), "precious\n");
  const CliRun refused = Shell(matings + " --seed-file mine.pdg");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Error - Cannot use mine.pdg as the seed file: it does not hold the state of the "
                         "random number generator. It was left as it is.\n");
  EXPECT_EQ(Bytes("o.txt"), "");
  EXPECT_EQ(Bytes("mine.pdg"), mine);
  EXPECT_EQ(Bytes("mine.pdg.bak"), "precious\n");
  const CliRun fifo = Shell("mkfifo pipe && " + matings + " --seed-file pipe");
  EXPECT_EQ(fifo.status, 1);
  EXPECT_EQ(fifo.err, "Error - Cannot use pipe as the seed file: it is not a regular file. It was left as it is.\n");

  const std::string damaged = "State vector for MT19937:\n1 2 3\n";
  test::WriteWholeFile(Out("Seed"), damaged);
  const CliRun run = Shell(matings);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "Error - Bad seed file!\n");
  EXPECT_NE(Bytes("o.txt").find("The random number generator is seeded with the current time.\n"), std::string::npos);
  EXPECT_EQ(Bytes("Seed.bak"), damaged);
  EXPECT_NE(Bytes("Seed"), damaged);
}

}  // namespace
}  // namespace kinvar
