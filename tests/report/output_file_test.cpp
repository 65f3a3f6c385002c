// The one way Kinvar writes files: the target changes only by a complete
// commit. Each row runs with both kinds of temporary (unnamed, and the
// hidden name other file systems get), over an existing target and over a
// new name.
#include "report/output_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "support/scripted_platform.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

enum class Ending { kCommit, kDiscard, kDestroy };

struct Case {
  const char* name;
  Ending ending;
  bool existing;
  const char* expected;  // the target's bytes afterwards; nullptr: no file
};

const Case kCases[] = {
    {"commit over a file", Ending::kCommit, true, "new text\n"},
    {"commit to a new name", Ending::kCommit, false, "new text\n"},
    {"discard over a file", Ending::kDiscard, true, "old text\n"},
    {"discard at a new name", Ending::kDiscard, false, nullptr},
    {"destroyed over a file", Ending::kDestroy, true, "old text\n"},
    {"destroyed at a new name", Ending::kDestroy, false, nullptr},
};

class OutputFileTest : public ::testing::TestWithParam<Temporary> {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("kinvar-output-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string Target(const char* name = "result.out") const { return (folder_ / name).string(); }

  fs::path folder_;
};

TEST_P(OutputFileTest, TheTargetChangesOnlyByACommit) {
  for (const Case& c : kCases) {
    const std::string target = Target();
    fs::remove(target);
    if (c.existing) test::WriteWholeFile(target, "old text\n");
    {
      std::string error;
      auto file = OutputFile::Begin(target, error, GetParam());
      ASSERT_TRUE(file) << error;
      file->Raw("new ");
      file->Markup("text");
      // Nothing shows before the commit, however much was written.
      if (c.existing) {
        EXPECT_EQ(test::ReadWholeFile(target), "old text\n") << c.name;
      }
      if (c.ending == Ending::kCommit) {
        EXPECT_TRUE(file->Commit()) << c.name;
      }
      if (c.ending == Ending::kDiscard) file->Discard();
    }
    EXPECT_EQ(fs::exists(target), c.expected != nullptr) << c.name;
    if (c.expected != nullptr) {
      EXPECT_EQ(test::ReadWholeFile(target), c.expected) << c.name;
    }
    EXPECT_FALSE(test::HasTemporaryBeside(target)) << c.name;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()),
              c.expected != nullptr ? 1 : 0)
        << c.name;
  }
}

TEST_P(OutputFileTest, ALargeFileIsWrittenWhole) {
  std::string error;
  auto file = OutputFile::Begin(Target(), error, GetParam());
  ASSERT_TRUE(file);
  std::string expected;
  for (int i = 0; i < 300000; ++i) {
    const std::string line = std::to_string(i) + " a line of the report\n";
    file->Raw(line);
    expected += line;
  }
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(test::ReadWholeFile(Target()), expected);
}

// The file keeps the permissions of the one it replaces; a link is
// followed, so the file it names changes and the link stays a link.
TEST_P(OutputFileTest, KeepsPermissionsAndFollowsLinks) {
  const std::string target = Target();
  test::WriteWholeFile(target, "old\n");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const std::string link = Target("link.out");
  fs::create_symlink(target, link);
  std::string error;
  auto file = OutputFile::Begin(link, error, GetParam());
  ASSERT_TRUE(file);
  file->Raw("new\n");
  ASSERT_TRUE(file->Commit());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(test::ReadWholeFile(target), "new\n");
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// A device cannot be replaced: it is written into, and its errors reported.
TEST_P(OutputFileTest, WritesIntoDevicesAndReportsTheirErrors) {
  std::string error;
  auto sink = OutputFile::Begin("/dev/null", error, GetParam());
  ASSERT_TRUE(sink) << error;
  sink->Raw("gone\n");
  EXPECT_TRUE(sink->Commit());
  auto full = OutputFile::Begin("/dev/full", error, GetParam());
  ASSERT_TRUE(full) << error;
  full->Raw("no room\n");
  EXPECT_FALSE(full->Commit());
  EXPECT_EQ(full->error(), "No space left on device");
  struct stat info {};
  ASSERT_EQ(::stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// A folder that does not exist, or a directory as the target: nothing is
// written and the user hears why.
TEST_P(OutputFileTest, RefusesWhatCannotBeWritten) {
  test::ScriptedPlatform platform;
  EXPECT_FALSE(OpenOutputFile((folder_ / "missing" / "x.out").string(), platform));
  EXPECT_FALSE(OpenOutputFile(folder_.string(), platform));
  EXPECT_EQ(platform.MessageTexts(),
            (std::vector<std::string>{
                "Cannot open " + (folder_ / "missing" / "x.out").string() +
                    " for writing.\nNo such file or directory",
                "Cannot open " + folder_.string() + " for writing.\nIs a directory"}));
}

// A full disk, as the file-size limit makes it: the write fails, the commit
// says so, and the old file is untouched. Run in a child, whose limit dies
// with it.
TEST_P(OutputFileTest, AFullDiskLeavesTheTargetAsItWas) {
  const std::string target = Target();
  test::WriteWholeFile(target, "old text\n");
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string error;
    auto file = OutputFile::Begin(target, error, GetParam());
    if (!file) ::_exit(2);
    file->Raw(std::string(1 << 21, 'x'));
    test::ScriptedPlatform platform;
    const bool committed = CommitOutputFile(*file, platform);
    const bool told = platform.MessageTexts() ==
                      std::vector<std::string>{"Error while writing " + target +
                                               ".\nFile too large"};
    ::_exit(!committed && told ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(test::ReadWholeFile(target), "old text\n");
  EXPECT_FALSE(test::HasTemporaryBeside(target));
}

INSTANTIATE_TEST_SUITE_P(Temporaries, OutputFileTest,
                         ::testing::Values(Temporary::kUnnamedWherePossible,
                                           Temporary::kHiddenName),
                         [](const auto& row) {
                           return row.param == Temporary::kHiddenName ? "HiddenName" : "Unnamed";
                         });

}  // namespace
}  // namespace kinvar
