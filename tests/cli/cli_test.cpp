// kinvar-cli as a user runs it: the built program in a child process, with
// its own program folder, compared byte for byte with what the document
// writes in process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "analyses/seed_file.h"
#include "app/command_declarations.h"
#include "app/document.h"
#include "app/settings_file.h"
#include "report/markup.h"
#include "support/cli_fixture.h"
#include "support/doc_session.h"
#include "support/table_readers.h"
#include "support/written_columns.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

using test::CliRun;
using test::Quote;

class Cli : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    program_ = KINVAR_CLI_PATH;
    examples_ = KINVAR_EXAMPLES_DIR;
  }

  std::string Example(const char* name) const { return examples_ + "/" + name; }

  // What the document's Save As writes after `command` on `path`, the
  // pickers answering with `groups`.
  static std::string SaveAsBytes(const std::string& path, std::int32_t command, int choice = 1,
                                 std::vector<int> groups = {}) {
    test::DocSession s;
    if (groups.size() == 1) s.platform.groupChoices.push_back(groups[0]);
    if (groups.size() == 2) s.platform.groupPairs.push_back(std::pair{groups[0], groups[1]});
    EXPECT_TRUE(s.OpenPath(path));
    s.doc.RunCommand(command);
    return s.SaveAs(choice);
  }

  // `args` with HERD and SMALL replaced by the quoted example paths.
  std::string Args(std::string args) const {
    for (const char* name : {"HERD", "SMALL"})
      for (std::size_t at; (at = args.find(name)) != std::string::npos;)
        args.replace(at, std::strlen(name), Quote(Example(*name == 'H' ? "herd.pdg" : "small.pdg")));
    return args;
  }

  std::string program_;
  std::string examples_;
};

// The options kinvar-cli adds to what a command declares (the list of
// commands itself is checked in order below).
TEST_F(Cli, HelpOfACommandTellsTheOptionsOfItsOutput) {
  const CliRun one = Execute("recode --help");
  EXPECT_EQ(one.status, 0);
  EXPECT_NE(one.out.find("--original-order"), std::string::npos);
  const CliRun inverse = Execute("inverse --help");
  EXPECT_NE(inverse.out.find("--triplets"), std::string::npos);
  EXPECT_NE(inverse.out.find("'kinvar-cli recode'"), std::string::npos);
}

// The commands in the order the command line has always listed them, the
// pictures and the settings after the analyses.
TEST_F(Cli, HelpListsTheCommandsInTheirOrder) {
  std::vector<std::string> expected = {
      "view", "recode", "inbreeding", "recompute-inbreeding", "inbreeding-of", "relationship", "inverse",
      "x-linked", "dominance", "genomic-relationship", "genomic-inbreeding", "hinverse", "parentage",
      "matrix-t", "dii", "structure", "relationships", "average-between-groups", "average-relatedness",
      "path-counting", "extract", "gene-origin", "diversity", "decompose", "optimize-matings", "purging",
      "mean-kinship", "mate-suitability", "optimum-contributions", "mating", "genotype-qc"};
#ifdef KINVAR_CLI_HAS_PICTURES
  for (const char* picture : {"chart", "certificate", "plot", "draw"}) expected.emplace_back(picture);
#endif
  expected.emplace_back("settings");
  const CliRun run = Execute("--help");
  ASSERT_EQ(run.status, 0);
  const std::size_t list = run.out.find("Subcommands:\n");
  ASSERT_NE(list, std::string::npos);
  std::vector<std::string> listed;
  for (std::size_t at = run.out.find('\n', list) + 1; run.out.compare(at, 2, "  ") == 0;
       at = run.out.find('\n', at) + 1) {
    const std::string name = run.out.substr(at + 2, run.out.find(' ', at + 2) - at - 2);
    // A command added since is a declared one, listed where its declaration
    // stands; the others keep their order.
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
      EXPECT_TRUE(FindDeclaration(name).has_value()) << name << " is listed but not declared";
      continue;
    }
    listed.push_back(name);
  }
  EXPECT_EQ(listed, expected);
}

// A command that declares its parameters is listed with the summary its
// declaration gives, and COMMAND --help tells its explanation and options.
TEST_F(Cli, HelpTellsWhatEveryDeclaredCommandDeclares) {
  const CliRun all = Execute("--help");
  for (const CommandDeclaration& d : CommandDeclarations()) {
    SCOPED_TRACE(d.name);
    EXPECT_NE(all.out.find(d.summary), std::string::npos);
    const CliRun one = Execute(d.name + " --help");
    EXPECT_EQ(one.status, 0);
    EXPECT_NE(one.out.find(d.explanation), std::string::npos) << one.out;
    // A scoped command's inputs follow its scope word as INPUT.
    if (!d.scope.empty()) continue;
    for (const Parameter& p : d.parameters) {
      // A part of another's words, or what the desktop alone shows, has no
      // option of its own.
      if (!d.OnCommandLine(p)) continue;
      const std::string shown = p.positional ? p.name : "--" + OptionOf(p);
      std::string upper = shown;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_NE(one.out.find(p.positional ? upper : shown), std::string::npos) << p.name;
    }
  }
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  for (const char* args : {"", "frobnicate x.pdg", "view", "inbreeding-of x.pdg",
                           "view x.pdg --number-format 9", "view x.pdg --relationship kinship",
                           "view x.pdg --range 0.5", "relationships x.pdg within",
                           "relationships x.pdg between 1", "relationships x.pdg some",
                           "decompose x.pdg group"}) {
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

// Every refusal: status 1, nothing on standard output, the message alone on
// standard error.
TEST_F(Cli, RefusalsExitWithOneAndSayWhy) {
  const auto many = [](int n) {
    std::string text = "progeny sire dam group\n";
    for (int i = 0; i < n; ++i)
      text.append("I").append(std::to_string(i)).append(i == 0 && n == 501 ? " 0 0 1\n" : " 0 0 2\n");
    return text;
  };
  const test::TempFile five(many(500)), big(many(501)), empty("! nothing but a comment\n");
  const std::string cells = "The matrix has more than 250000 cells.\n";
  const std::string unavailable = "This command is not available for the loaded pedigree.\n";
  const struct { std::string args; int status; std::string err; } rows[] = {
      {"inverse --full " + Quote(five.path()), 0, ""},
      {"matrix-t " + Quote(five.path()), 0, ""},
      {"inverse --full " + Quote(big.path()), 1, cells},
      {"matrix-t " + Quote(big.path()), 1, "Matrix T is written for at most 500 individuals; this pedigree has 501.\n"},
      {"relationships " + Quote(big.path()) + " all --matrix", 1, cells},
      {"relationships " + Quote(big.path()) + " within 2 --matrix", 0, ""},
      {"relationships " + Quote(big.path()) + " within 1", 1,
       "Error: Number of individuals is less than 2 in the group 1.\n"},
      {"relationships " + Quote(big.path()) + " between 1 7", 1,
       "Group \"7\" is not in the pedigree.\n"},
      {Args("diversity HERD 99"), 1, "Group \"99\" is not in the pedigree.\n"},
      {Args("purging HERD all --purging-coefficient 0.7"), 1,
       "The purging coefficient must be a number from 0 to 0.5.\n"},
      {Args("relationship SMALL j zz"), 1, "Cannot find individual \"ZZ\" in the pedigree.\n"},
      {Args("inbreeding-of SMALL zz"), 1, "Cannot find \"ZZ\" in the pedigree.\n"},
      {"view /nonexistent/x.pdg", 1, "Cannot open /nonexistent/x.pdg\n"},
      {"view " + Quote(empty.path()), 1, "File is empty.\n"},
      {Args("recompute-inbreeding SMALL"), 1, unavailable},
      {Args("view SMALL -o /nonexistent/dir/out.pdg"), 1,
       "Cannot open /nonexistent/dir/out.pdg for writing.\nNo such file or directory\n"},
      {Args("inverse SMALL -o /nonexistent/dir/a.out"), 1,
       "Cannot open /nonexistent/dir/a.out for writing.\nNo such file or directory\n"},
      // A device that takes no bytes: the failed write must not pass for success.
      {Args("view SMALL -o /dev/full"), 1, "Error while writing /dev/full.\nNo space left on device\n"},
      {"settings --write " + Quote((home_ / "x.ini").string()) +
           " --relationship coefficient --range 0 1.5",
       1, "--range 0 1.5: the bounds must be numbers from 0 to 1 (the relationship coefficient).\n"},
  };
  for (const auto& row : rows) {
    const CliRun run = Execute("-q " + row.args);
    EXPECT_EQ(run.status, row.status) << row.args;
    EXPECT_EQ(run.err, row.err) << row.args;
    if (row.status != 0) {
      EXPECT_EQ(run.out, "") << row.args;
    }
  }
  EXPECT_FALSE(fs::exists(home_ / "x.ini"));
}

// One coefficient on a line of its own, in the number format asked for.
TEST_F(Cli, PrintsOneCoefficient) {
  Settings stored;
  stored.numberFormat = 0;
  ASSERT_TRUE(WriteSettingsFile((home_ / "Kinvar.ini").string(), stored));
  const struct { const char* args; const char* out; } rows[] = {
      {"inbreeding-of SMALL j", "9/32\n"},  // the program folder's settings apply
      {"inbreeding-of SMALL J --number-format general", "0.28125\n"},
      {"inbreeding-of SMALL A --number-format fixed3", "0.000\n"},
      {"inbreeding-of HERD d1", "1/8\n"},  // a predefined F is shown as given
      // E (F = 1/4) with its sire C: (1 + 1/2) / 2, and 0.75 / sqrt(1.25) as a coefficient.
      {"relationship SMALL e c", "3/4\n"},
      {"relationship SMALL C E --relationship coefficient --number-format fixed4", "0.6708\n"},
      {"relationship SMALL J J --number-format general", "1.28125\n"},
  };
  for (const auto& row : rows) EXPECT_EQ(Execute(Args(row.args)).out, row.out) << row.args;
}

TEST_F(Cli, WritesExactlyWhatSaveAsWrites) {
  const struct {
    const char* args;
    const char* example;
    std::int32_t command;
    int choice;
    std::vector<int> groups;
  } rows[] = {
      {"view HERD", "herd.pdg", kCmdViewPedigree, 1, {}},
      {"recode HERD", "herd.pdg", kCmdRecoding, 1, {}},
      {"recode --original-order HERD", "herd.pdg", kCmdRecoding, 2, {}},
      {"inbreeding SMALL", "small.pdg", kCmdCompute, 1, {}},
      {"recompute-inbreeding HERD", "herd.pdg", kCmdRecompute, 1, {}},
      {"dii HERD", "herd.pdg", kCmdDii, 1, {}},
      {"structure HERD", "herd.pdg", kCmdStructure, 1, {}},
      {"relationships HERD all", "herd.pdg", kCmdBetweenAll, 1, {}},
      {"relationships HERD all --matrix", "herd.pdg", kCmdBetweenAll, 2, {}},
      {"relationships HERD within 3", "herd.pdg", kCmdWithinGroup, 1, {3}},
      {"relationships HERD within 3 --matrix", "herd.pdg", kCmdWithinGroup, 2, {3}},
      {"relationships HERD between 1 2", "herd.pdg", kCmdBetweenTwoGroups, 1, {1, 2}},
      {"relationships HERD between 1 2 --matrix", "herd.pdg", kCmdBetweenTwoGroups, 2, {1, 2}},
      {"average-between-groups HERD", "herd.pdg", kCmdAverageBetweenGroups, 1, {}},
      {"average-relatedness HERD", "herd.pdg", kCmdAverageRelatedness, 1, {}},
      {"-q path-counting SMALL all", "small.pdg", kCmdPathCountingAll, 1, {}},
      {"-q path-counting HERD group 3", "herd.pdg", kCmdPathCountingGroup, 1, {3}},
      {"-q gene-origin HERD 3", "herd.pdg", kCmdGeneOrigin, 1, {3}},
      {"-q decompose HERD group 3", "herd.pdg", kCmdDecompositionGroup, 1, {3}},
      {"-q decompose HERD coancestry 3", "herd.pdg", kCmdDecompositionCoancestry, 1, {3}},
      {"-q diversity HERD 3", "herd.pdg", kCmdDiversity, 1, {3}},
      {"-q diversity HERD all", "herd.pdg", kCmdDiversity, 1, {kAllIndividuals}},
      {"-q diversity SMALL all", "small.pdg", kCmdDiversity, 1, {kAllIndividuals}},
  };
  for (const auto& row : rows) {
    const CliRun run = Execute(Args(row.args));
    EXPECT_EQ(run.status, 0) << row.args << run.err;
    EXPECT_EQ(run.out, SaveAsBytes(Example(row.example), row.command, row.choice, row.groups))
        << row.args;
  }
  const std::string view = Execute(Args("view SMALL")).out;
  EXPECT_EQ(view.rfind("!14:07  Saturday, December 5, 2026\n!Pedigree file name: ", 0), 0u) << view;
}

// The inverse of A and matrix T: the handler's file, to standard output or
// to -o FILE alike.
TEST_F(Cli, FileCommandsWriteWhatTheirHandlersWrite) {
  const std::string small = Example("small.pdg");
  const auto handlerFile = [&](std::int32_t command, int choice) {
    test::DocSession s;
    EXPECT_TRUE(s.OpenPath(small));
    const std::string path = (home_ / "handler.out").string();
    s.platform.saveChoices = {choice};
    s.platform.fileNames = {path};
    s.doc.RunCommand(command);
    return test::ReadWholeFile(path);
  };
  const std::string sparse = handlerFile(kCmdInverseA, 1);
  EXPECT_NE(sparse.find("(Lower triangular):\n"), std::string::npos);
  EXPECT_EQ(Execute(Args("inverse SMALL")).out, sparse);
  EXPECT_EQ(Execute(Args("inverse --full SMALL")).out, handlerFile(kCmdInverseA, 2));
  EXPECT_EQ(Execute(Args("matrix-t SMALL")).out, handlerFile(kCmdMatrixT, 1));
  // -o FILE gets the same bytes, for a file command as for a report.
  for (const auto& [args, bytes] : {std::pair{std::string("inverse SMALL"), sparse},
                                    std::pair{std::string("view SMALL"), SaveAsBytes(small, kCmdViewPedigree)}}) {
    const fs::path target = home_ / "to-file.out";
    const CliRun toFile = Execute(Args(args) + " -o " + Quote(target.string()));
    EXPECT_EQ(toFile.status, 0) << args;
    EXPECT_EQ(toFile.out, "") << args;
    EXPECT_EQ(test::ReadWholeFile(target.string()), bytes) << args;
  }
  // Triplets: the lower triangle's elements, one a line, as the sparse file lists them.
  const CliRun triplets = Execute(Args("inverse --triplets SMALL"));
  EXPECT_EQ(triplets.status, 0);
  EXPECT_EQ(triplets.out.rfind("1 1 ", 0), 0u) << triplets.out;
  const auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
  };
  const std::size_t rows = sparse.find("Code\n");
  EXPECT_EQ(count(triplets.out, "\n"), count(sparse.substr(rows, sparse.find("No. of") - rows), ":"));
}

TEST_F(Cli, ReportOptionWritesTheLaidOutReport) {
  const CliRun run = Execute(Args("inbreeding --report SMALL"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("No. of individuals in total       10\nNo. of inbreds", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("J                           0.28125"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
}

// A pipe, standard input and a FIFO give their bytes once: the pedigree is
// read from one open, as from the file itself. Only the name differs.
TEST_F(Cli, ReadsThePedigreeFromAPipeStandardInputOrAFifo) {
  const auto withoutName = [](std::string out) {
    const std::size_t at = out.find("Pedigree file name: ");
    if (at != std::string::npos) out.erase(at, out.find('\n', at) - at);
    return out;
  };
  const CliRun file = Execute("inbreeding " + Herd());
  ASSERT_EQ(file.status, 0) << file.err;
  const std::string out = Out("stdout");
  const std::string cli = Quote(KINVAR_CLI_PATH);
  for (const std::string source : {"-", "/dev/stdin"}) {
    SCOPED_TRACE(source);
    const int raw = std::system(("cat " + Herd() + " | " + cli + " inbreeding " + source + " >" + Quote(out)).c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    EXPECT_EQ(withoutName(test::ReadWholeFile(out)), withoutName(file.out));
  }
  const std::string fifo = Out("herd.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int raw = std::system(("cat " + Herd() + " >" + Quote(fifo) + " & " + cli + " inbreeding " + Quote(fifo) +
                               " >" + Quote(out) + "; wait").c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  EXPECT_EQ(withoutName(test::ReadWholeFile(out)), withoutName(file.out));
  const std::string err = Out("stderr");
  const int header = std::system(("printf 'Progeny Sire Dam\\n' | " + cli + " view - 2>" + Quote(err)).c_str());
  ASSERT_TRUE(WIFEXITED(header));
  EXPECT_EQ(WEXITSTATUS(header), 1);
  EXPECT_EQ(test::ReadWholeFile(err), "The file has a header row but no animal.\n");
}

// A FIFO that nobody writes blocks the open itself, where no cancel is
// polled: one SIGTERM (or Ctrl+C) must still end the program.
TEST_F(Cli, OneSignalEndsAWaitForAFifoWithoutAWriter) {
  for (const int signal : {SIGTERM, SIGINT}) {
    const std::string fifo = Out("lonely.fifo");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      ::freopen("/dev/null", "w", stderr);
      ::execl(KINVAR_CLI_PATH, "kinvar-cli", "inbreeding", fifo.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::usleep(300000);
    ::kill(child, signal);
    int raw = 0;
    pid_t done = 0;
    for (int waited = 0; waited < 100 && done == 0; ++waited) {
      done = ::waitpid(child, &raw, WNOHANG);
      if (done == 0) ::usleep(50000);
    }
    if (done == 0) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &raw, 0);
      ADD_FAILURE() << "still waiting 5 s after signal " << signal;
      continue;
    }
    EXPECT_TRUE(WIFEXITED(raw)) << signal;
    EXPECT_EQ(WEXITSTATUS(raw), 130) << signal;
  }
}

TEST_F(Cli, ARejectedPedigreeListsItsMistakesOnStandardError) {
  const CliRun run = Execute("view " + Quote(Example("rejected.pdg")));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  test::DocSession s;
  s.OpenPath(Example("rejected.pdg"));
  ASSERT_EQ(s.doc.lastCommand(), kRejectedPedigree);
  std::string expected;
  for (const std::string& line : s.Report()) expected += ExpandMarkup(line);
  EXPECT_EQ(run.err, expected);
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

TEST_F(Cli, RelationshipListingExactBytes) {
  test::TempFile file("progeny sire dam\nA 0 0\nB 0 0\nC A B\n");
  const CliRun run = Execute("relationships " + Quote(file.path()) + " all --range 0.4 2");
  const auto col = [](std::string text) { return text + std::string(22 - text.size(), ' '); };
  EXPECT_EQ(run.out, "14:07  Saturday, December 5, 2026\nPedigree file name: " +
                         fs::absolute(file.path()).lexically_normal().string() + "\n\n" +
                         "Between all individuals.\nRelationships in the range of 0.4 - 2 are shown.\n" +
                         col("Individual ID") + col("Individual ID") + "Numerator relationship\n" +
                         col("----------") + col("----------") + "----------\n" + col("C") + col("A") +
                         "0.5\n" + col("C") + col("B") + "0.5\n");
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
    test::DocSession s;
    s.platform.groupPairs.push_back(std::pair{2, 3});
    s.platform.fileNames = {c.path(), f.path()};
    EXPECT_TRUE(s.OpenPath(herd));
    s.doc.settings().allowForbidden = forbidden ? 1 : 0;
    s.doc.remembered.values.Set(kCmdOptimizeMatings, "exact", exact ? "1" : "0");
    s.doc.seedFile = (home_ / "doc-seed").string();
    writeSeed(s.doc.seedFile);
    s.doc.RunCommand(kCmdOptimizeMatings);
    return s.SaveAs();
  };
  const std::string args = "-q optimize-matings " + Quote(herd) + " 2 3 " + Quote(c.path());
  writeSeed(seed);
  const CliRun annealed = Execute(args);
  EXPECT_EQ(annealed.status, 0) << annealed.err;
  EXPECT_EQ(annealed.out, expected(false, false));
  EXPECT_NE(annealed.out.find("The minimum possible average inbreeding of progeny = "), std::string::npos);
  EXPECT_NE(test::ReadWholeFile(seed), test::ReadWholeFile(seed + ".bak"));  // saved after the run
  // The seed the report names repeats the run and leaves the seed file alone.
  const std::string named = "Random seed = ";
  const std::size_t at = annealed.out.find(named);
  ASSERT_NE(at, std::string::npos);
  const std::string runSeed = annealed.out.substr(at + named.size(), annealed.out.find('\n', at) - at - named.size());
  EXPECT_EQ(runSeed, std::to_string(std::mt19937(77)()));
  const std::string advanced = test::ReadWholeFile(seed);
  EXPECT_EQ(Execute(args + " --seed " + runSeed).out, annealed.out);
  EXPECT_EQ(test::ReadWholeFile(seed), advanced);
  const CliRun noSeed = Execute(args + " --seed 1.5");
  EXPECT_EQ(noSeed.status, 1);
  EXPECT_EQ(noSeed.err, "The random seed must be a whole number from 0 to 4294967295, or empty for a new one.\n");
  EXPECT_EQ(test::ReadWholeFile(seed), advanced);
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
  // The herd's 2022 group holds both sexes: its dams are named after the
  // refusal, which goes to standard error.
  EXPECT_EQ(restricted.out, "");
  EXPECT_EQ(restricted.err,
            "\nCould not optimize matings.\nMatings are too restricted.\n"
            "Warning: B2 of the sire group is recorded as a dam in the pedigree.\n"
            "Warning: B3 of the sire group is recorded as a dam in the pedigree.\n");
  const CliRun refused = Execute("-q optimize-matings " + Quote(herd) + " 3 2 " + Quote(c.path()));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Error in line 2.\nIndividual B1 does not belong to Group 3.\n");
  EXPECT_EQ(refused.out, "");
}

// The settings reach the form, and the replicates continue the seed file's
// stream: the same seed file gives the same figures, whatever the threads.
TEST_F(Cli, PurgingTakesItsSettingsAndRepeatsFromTheSeedFile) {
  const std::string seed = (home_ / "purging-seed").string();
  const auto writeSeed = [&seed] {
    Mt19937 g;
    InitGenerator(g, 5);
    test::ScriptedPlatform quiet;
    SaveSeedFile(g, seed, quiet);
  };
  const std::string args = Args("-q purging HERD 3 --purging-coefficient 0.25 --gene-drop 300 --format csv "
                                "--table purging --seed-file ") + Quote(seed);
  writeSeed();
  const CliRun first = Execute(args + " --threads 1");
  writeSeed();
  const CliRun again = Execute(args + " --threads 2");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, again.out);
  const std::vector<std::vector<std::string>> rows = test::ParseCsv(first.out);
  ASSERT_EQ(rows.size(), 5u);  // the header and C1..C4
  EXPECT_EQ(rows[0][4], "g");
  EXPECT_EQ(rows[1][0], "C1");
  EXPECT_LT(std::stod(rows[1][4]), std::stod(rows[1][2]));  // purging lowers g below F
  EXPECT_EQ(Execute(Args("-q purging HERD 3 --format csv --table purging")).out.find("fa_gene_drop"),
            std::string::npos);
}

TEST_F(Cli, PedigreeAnalysesOfOneIndividualAndExtractions) {
  const std::string small = Example("small.pdg");
  const CliRun one = Execute(Args("decompose SMALL individual j --number-format fraction"));
  EXPECT_NE(one.out.find("Inbreeding coefficient                              9/32\n"),
            std::string::npos)
      << one.out;
  const CliRun notInbred = Execute(Args("path-counting SMALL individual a"));
  EXPECT_EQ(notInbred.status, 0);
  EXPECT_NE(notInbred.out.find("\nA is not inbred.\n"), std::string::npos) << notInbred.out;
  const fs::path target = home_ / "anc.pdg";
  const CliRun extract = Execute("extract " + Quote(small) + " ancestors individual h -o " +
                                 Quote(target.string()));
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_NE(test::ReadWholeFile(target.string()).find("! Number of individuals:  8\n"),
            std::string::npos);
  EXPECT_EQ(Execute(Args("extract SMALL descendants individual g")).out.find("!14:07"), 0u);
}

// A path counting that would run for ages, stopped by Ctrl+C: status 130,
// an existing -o file as it was, no new file and no temporary left behind.
TEST_F(Cli, AnInterruptLeavesTheOutputAsItWas) {
  test::TempFile file(test::FullSibLine("progeny sire dam\nS0 0 0\nD0 0 0\n", 60));
  const struct {
    const char* scope;
    bool existing;
  } runs[] = {{"all", true}, {"individual S60", true}, {"all", false}};
  for (const auto& [scope, existing] : runs) {
    const fs::path target = home_ / "loops.out";
    fs::remove(target);
    if (existing) test::WriteWholeFile(target.string(), "the previous loops\n");
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
      ::freopen("/dev/null", "w", stderr);
      const std::string command = std::string("path-counting ") + file.path() + " " + scope +
                                  " -q --max-paths 0 -o " + target.string();
      ::execl("/bin/sh", "sh", "-c", ("exec " + Quote(program_) + " " + command).c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Without a limit the search runs for minutes; this is well inside it.
    ::usleep(400000);
    ::kill(child, SIGINT);
    int raw = 0;
    ASSERT_EQ(::waitpid(child, &raw, 0), child);
    EXPECT_TRUE(WIFEXITED(raw)) << scope;
    EXPECT_EQ(WEXITSTATUS(raw), 130) << scope;
    EXPECT_EQ(fs::exists(target), existing) << scope;
    if (existing) {
      EXPECT_EQ(test::ReadWholeFile(target.string()), "the previous loops\n") << scope;
    }
    EXPECT_FALSE(test::HasTemporaryBeside(target.string())) << scope;
  }
}

// Workbooks: the first sheet by default, another by --sheet, the exact
// refusals (quiet, so that no progress bar reaches standard error), and a
// workbook renamed to .pdg still read as a workbook.
TEST_F(Cli, WorkbookSheets) {
  const std::string data = examples_ + "/../tests/data/xlsx/", book = data + "two_sheets.xlsx";
  const test::TempFile text("Progeny Sire Dam\nA 0 0\n");
  // The file that View Pedigree writes, without its timestamp and file name lines.
  const auto body = [](const std::string& saved) {
    const std::size_t start = saved.find("\nProgeny");
    return start == std::string::npos ? saved : saved.substr(start);
  };
  struct Row { const char* name; std::string args; int status; const char* body; std::string err; };
  const Row rows[] = {
      {"first by default", "view " + book, 0,
       "\nProgeny               Sire                  Dam\n\nP1                    0                     0\n"
       "P2                    0                     0\nP3                    P1                    P2\n\n", ""},
      {"the second by name", "view " + book + " --sheet 'Herd B'", 0,
       "\nProgeny               Sire                  Dam                   Group\n\n"
       "Q1                    0                     0                     1\n"
       "Q2                    0                     0                     1\n"
       "Q3                    Q1                    Q2                    2\n"
       "Q4                    Q3                    Q2                    2\n\n", ""},
      {"unknown sheet", "view " + book + " --sheet Herd", 1, "",
       "The workbook " + book + " has no sheet named \"Herd\".\nIts sheets: \"Herd A\", \"Herd B\".\n"},
      {"a sheet of a text file", "view " + text.path() + " --sheet Herd", 1, "",
       "--sheet applies to .xlsx workbooks; " + text.path() + " is not one.\n"},
  };
  for (const Row& r : rows) {
    const CliRun run = Execute(r.args + " -q");
    EXPECT_EQ(run.status, r.status) << r.name;
    EXPECT_EQ(body(run.out), r.body) << r.name;
    EXPECT_EQ(run.err, r.err) << r.name;
  }
  const fs::path renamed = home_ / "herd.pdg";
  fs::copy_file(data + "plain.xlsx", renamed);
  const CliRun run = Execute("inbreeding " + renamed.string() + " -q");
  EXPECT_EQ(run.status, 0) << run.err;
  const CliRun original = Execute("inbreeding " + data + "plain.xlsx -q");
  // All but the line that names the file.
  const auto summary = [](const std::string& out) { return out.substr(std::min(out.find("\n\n"), out.size())); };
  EXPECT_EQ(summary(run.out), summary(original.out));
  EXPECT_NE(run.out.find("ELSA                        0.25"), std::string::npos);
}

}  // namespace
}  // namespace kinvar
