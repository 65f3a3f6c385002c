// kinvar-cli as a user runs it (for the command-line tests, which define
// KINVAR_CLI_PATH): the built program in a child process through
// the shell, with a program folder of its own and a fixed clock (report
// headers print SOURCE_DATE_EPOCH in UTC), its status and both outputs kept.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

#include "support/test_files.h"

namespace kinvar::test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A run kinvar-cli refuses: its status and exactly its message (empty:
// CLI11's usage text).
struct CliRefusal {
  const char* name;
  std::string args;
  int status;
  std::string err;
};

// A picture kinvar-cli refuses to draw: its status and how its message begins.
struct PictureRefusal {
  const char* name;
  std::string args;  // after the pedigree; "-o FILE" last, FILE named as in the run's folder
  int status;
  const char* message;
};

// One shell word, whatever `arg` holds.
inline std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class CliFixture : public testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() /
            ("kinvar-cli-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) +
             "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home_);
    setenv("KINVAR_HOME", home_.c_str(), 1);
    setenv("SOURCE_DATE_EPOCH", "1796479620", 1);
    setenv("TZ", "UTC", 1);
  }
  void TearDown() override {
    std::filesystem::remove_all(home_);
    unsetenv("KINVAR_HOME");
    unsetenv("SOURCE_DATE_EPOCH");
  }

  // `args` reach the shell as they are: quote what may hold blanks.
  CliRun Execute(const std::string& args) const {
    const std::string out = (home_ / "stdout").string(), err = (home_ / "stderr").string();
    const std::string command =
        Quote(KINVAR_CLI_PATH) + " " + args + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadWholeFile(out), ReadWholeFile(err)};
  }

  // Each refusal with its status and message, and nothing on standard output.
  void ExpectRefusals(std::initializer_list<CliRefusal> rows) const {
    for (const CliRefusal& row : rows) {
      SCOPED_TRACE(row.name);
      const CliRun run = Execute(row.args);
      EXPECT_EQ(run.status, row.status);
      EXPECT_EQ(run.out, "");
      if (!row.err.empty()) EXPECT_EQ(run.err, row.err);
      else EXPECT_NE(run.err.find("Usage: kinvar-cli"), std::string::npos) << run.err;
    }
  }

  // `command` on the example herd refused as each row says, neither x.svg
  // nor x.png written.
  void ExpectPictureRefusals(const std::string& command, std::initializer_list<PictureRefusal> rows) const {
    for (const PictureRefusal& row : rows) {
      const CliRun run = Execute(command + " " + Herd() + " " + WithOutputAtHome(row.args));
      EXPECT_EQ(run.status, row.status) << row.name;
      EXPECT_TRUE(run.err.starts_with(row.message)) << row.name << ": " << run.err;
      EXPECT_FALSE(std::filesystem::exists(Out("x.svg")) || std::filesystem::exists(Out("x.png"))) << row.name;
    }
  }

  // The example herd as one shell word, and a file in the run's own folder.
  static std::string Herd() { return Quote(std::string(KINVAR_EXAMPLES_DIR) + "/herd.pdg"); }
  std::string Out(const std::string& name) const { return (home_ / name).string(); }
  // `args` with the file after "-o " moved into the run's own folder.
  std::string WithOutputAtHome(std::string args) const {
    const std::size_t o = args.find("-o ");
    if (o != std::string::npos) args.replace(o + 3, std::string::npos, Quote(Out(args.substr(o + 3))));
    return args;
  }

  std::filesystem::path home_;
};

// Width and height from a PNG's header chunk.
inline std::pair<std::uint32_t, std::uint32_t> PngSize(const std::string& bytes) {
  const auto at = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
  };
  const auto word = [&](std::size_t i) { return at(i) << 24 | at(i + 1) << 16 | at(i + 2) << 8 | at(i + 3); };
  return {word(16), word(20)};
}

}  // namespace kinvar::test
