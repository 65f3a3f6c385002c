// The one way Kinvar writes files: the target changes only by a complete
// commit. Each row runs with both kinds of temporary (unnamed, and the
// hidden name other file systems get), over an existing target and over a
// new name.
#include "report/output_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
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
// says so, and the old file is untouched. The limit's signal keeps its
// default, which would end the process in the middle of the write. Run in a
// child, whose limit dies with it.
TEST_P(OutputFileTest, AFullDiskLeavesTheTargetAsItWas) {
  const std::string target = Target();
  test::WriteWholeFile(target, "old text\n");
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_DFL);
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
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(test::ReadWholeFile(target), "old text\n");
  EXPECT_FALSE(test::HasTemporaryBeside(target));
}

// A process id that no process has: a child's, once it is gone.
struct LeftFile {
  const char* name;
  std::string file;  // the name of what lies in the folder
  bool removed;      // by the next write there
};

// A process killed while writing (between the link and the rename, or
// before the end of a hidden temporary) leaves its temporary; the next
// write to the folder removes it, and only what a dead process of this
// host left.
TEST_P(OutputFileTest, TheNextWriteRemovesWhatADeadProcessLeft) {
  const long dead = test::DeadProcess();
  const std::string host = TemporaryName(1, 0).substr(8, 8);
  const LeftFile rows[] = {
      {"a dead process's temporary", TemporaryName(dead, 0x0badf00d), true},
      {"a living process's", TemporaryName(::getppid(), 0x0badf00d), false},
      {"this process's own", TemporaryName(::getpid(), 0x0badf00d), false},
      {"another host's", ".kinvar-" + std::string(host == "00000000" ? "11111111" : "00000000") + "-" +
                             std::to_string(dead) + "-0badf00d",
       false},
      {"a file named alike", ".kinvar-" + host + "-" + std::to_string(dead) + "-notes", false},
      {"a user's file", "kinvar-" + host + "-" + std::to_string(dead) + "-0badf00d", false},
  };
  for (const LeftFile& row : rows) test::WriteWholeFile((folder_ / row.file).string(), "a full-size temporary\n");
  std::string error;
  auto file = OutputFile::Begin(Target(), error, GetParam());
  ASSERT_TRUE(file) << error;
  file->Raw("new\n");
  ASSERT_TRUE(file->Commit());
  for (const LeftFile& row : rows) EXPECT_EQ(fs::exists(folder_ / row.file), !row.removed) << row.name;
  EXPECT_EQ(test::ReadWholeFile(Target()), "new\n");
}

// The temporary's name does not grow with the target's: the longest names
// the file system takes are written.
TEST_P(OutputFileTest, TheLongestFileNamesAreWritten) {
  for (const std::size_t length : {250u, 255u}) {
    const std::string name(length, 'n');
    std::string error;
    auto file = OutputFile::Begin(Target(name.c_str()), error, GetParam());
    ASSERT_TRUE(file) << length << ": " << error;
    file->Raw("long\n");
    EXPECT_TRUE(file->Commit()) << length << ": " << file->error();
    EXPECT_EQ(test::ReadWholeFile(Target(name.c_str())), "long\n") << length;
  }
  EXPECT_FALSE(test::HasTemporaryBeside(Target()));
}

enum class Opened { kAppending, kTruncated, kPipe };

struct DescriptorRow {
  const char* name;
  Opened opened;
  const char* form;  // the path: "%d" stands for the descriptor
  std::string expected;
};

// A descriptor named as a file is written through, never renamed over: a
// file opened for appending is appended to, one opened at its start is
// written from there, a pipe gets the bytes; a link to such a name alike.
TEST_P(OutputFileTest, ADescriptorNamedAsAFileIsWrittenThrough) {
  const DescriptorRow rows[] = {
      {"appending, /dev/fd", Opened::kAppending, "/dev/fd/%d", "earlier\nnew\n"},
      {"appending, /proc/self/fd", Opened::kAppending, "/proc/self/fd/%d", "earlier\nnew\n"},
      {"appending, /proc/PID/fd", Opened::kAppending, "/proc/PID/fd/%d", "earlier\nnew\n"},
      {"appending, through a link", Opened::kAppending, "link", "earlier\nnew\n"},
      {"truncated", Opened::kTruncated, "/dev/fd/%d", "new\n"},
      {"a pipe", Opened::kPipe, "/dev/fd/%d", "new\n"},
  };
  for (const DescriptorRow& row : rows) {
    const std::string log = Target("log");
    test::WriteWholeFile(log, "earlier\n");
    struct stat before {};
    ::stat(log.c_str(), &before);
    int ends[2] = {-1, -1};
    if (row.opened == Opened::kPipe) {
      ASSERT_EQ(::pipe(ends), 0);
    }
    const int fd = row.opened == Opened::kPipe ? ends[1]
                   : ::open(log.c_str(), O_WRONLY | (row.opened == Opened::kAppending ? O_APPEND : O_TRUNC));
    ASSERT_NE(fd, -1) << row.name;
    std::string path = row.form;
    if (path.find("PID") != std::string::npos) path.replace(path.find("PID"), 3, std::to_string(::getpid()));
    if (path.find("%d") != std::string::npos) path.replace(path.find("%d"), 2, std::to_string(fd));
    if (path == "link") {
      path = Target("link");
      fs::remove(path);
      fs::create_symlink("/dev/fd/" + std::to_string(fd), path);
    }
    std::string error;
    auto file = OutputFile::Begin(path, error, GetParam());
    ASSERT_TRUE(file) << row.name << ": " << error;
    file->Raw("new\n");
    EXPECT_TRUE(file->Commit()) << row.name << ": " << file->error();
    ::close(fd);
    std::string got;
    if (row.opened == Opened::kPipe) {
      char bytes[64];
      const ssize_t n = ::read(ends[0], bytes, sizeof bytes);
      got.assign(bytes, n > 0 ? static_cast<std::size_t>(n) : 0);
      ::close(ends[0]);
    } else {
      got = test::ReadWholeFile(log);
      struct stat after {};
      ::stat(log.c_str(), &after);
      EXPECT_EQ(after.st_ino, before.st_ino) << row.name;  // the same file, not a new one
    }
    EXPECT_EQ(got, row.expected) << row.name;
    EXPECT_FALSE(test::HasTemporaryBeside(log)) << row.name;
  }
}

// A read-only file is replaced only when the caller says so; asked through
// the platform, No leaves it and says nothing more.
TEST_P(OutputFileTest, AReadOnlyFileIsReplacedOnlyWhenConfirmed) {
  const std::string target = Target();
  test::WriteWholeFile(target, "kept\n");
  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
  EXPECT_TRUE(IsReadOnlyFile(target));
  EXPECT_FALSE(IsReadOnlyFile(Target("missing.out")));
  std::string error;
  EXPECT_FALSE(OutputFile::Begin(target, error, GetParam()));
  EXPECT_EQ(error, "The file is read-only.");
  test::ScriptedPlatform refusing;
  refusing.answers = {Answer::kNo};
  EXPECT_FALSE(OpenOutputFile(target, refusing));
  EXPECT_EQ(refusing.MessageTexts(),
            std::vector<std::string>{target + " is read-only.\nDo you want to replace it?"});
  EXPECT_EQ(refusing.messages[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(test::ReadWholeFile(target), "kept\n");
  test::ScriptedPlatform confirming;
  confirming.answers = {Answer::kYes};
  auto file = OpenOutputFile(target, confirming);
  ASSERT_TRUE(file);
  file->Raw("replaced\n");
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(test::ReadWholeFile(target), "replaced\n");
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0444u);
  EXPECT_FALSE(OutputFile::Begin("", error, GetParam()));
  EXPECT_EQ(error, "The file name is empty.");
}

INSTANTIATE_TEST_SUITE_P(Temporaries, OutputFileTest,
                         ::testing::Values(Temporary::kUnnamedWherePossible,
                                           Temporary::kHiddenName),
                         [](const auto& row) {
                           return row.param == Temporary::kHiddenName ? "HiddenName" : "Unnamed";
                         });

}  // namespace
}  // namespace kinvar
