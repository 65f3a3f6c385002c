// kinvar-cli as a user runs it (for the command-line tests, which define
// KINVAR_CLI_PATH): the built program in a child process through
// the shell, with a program folder of its own and a fixed clock (report
// headers print SOURCE_DATE_EPOCH in UTC), its status and both outputs kept.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace kinvar::test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
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

  std::filesystem::path home_;
};

}  // namespace kinvar::test
