// The one reader of side files' lines: how it cuts lines, and what it
// refuses (a folder, a device without end, a binary file, an over-long
// line or file) with a message naming the file, while a FIFO is read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pedigree/side_file.h"
#include "support/side_sources.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

struct Read {
  SideFileResult result;
  std::vector<std::string> lines;  // "number:text"
};

Read Lines(const std::string& path, const SideFileLimits& limits = {}, std::int64_t stopAt = 0) {
  Read read;
  read.result = ReadSideFileLines(
      path,
      [&](std::string_view line, std::int64_t number) {
        read.lines.push_back(std::to_string(number) + ":" + std::string(line));
        return number != stopAt;
      },
      limits);
  return read;
}

TEST(SideFile, CutsLinesAsWritten) {
  struct Row {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"empty file", "", {}},
      {"one line without a line feed", "G1", {"1:G1"}},
      {"line feeds", "G1\nG2\n", {"1:G1", "2:G2"}},
      {"carriage returns before line feeds only", "G1\r\n\rG2\r\n\n", {"1:G1", "2:\rG2", "3:"}},
      {"blanks kept", "  a b  \n", {"1:  a b  "}},
      {"a line across reading blocks", std::string(70000, 'x') + "\ny", {"1:" + std::string(70000, 'x'), "2:y"}},
  };
  for (const Row& row : rows) {
    const test::TempFile file(row.text, ".txt");
    const Read read = Lines(file.path());
    EXPECT_TRUE(read.result.ok()) << row.name << ": " << read.result.message;
    EXPECT_EQ(read.lines, row.lines) << row.name;
  }
}

TEST(SideFile, TheVisitorStopsTheReading) {
  const test::TempFile file("a\nb\nc\n", ".txt");
  const Read read = Lines(file.path(), {}, 2);
  EXPECT_TRUE(read.result.ok());
  EXPECT_EQ(read.lines, (std::vector<std::string>{"1:a", "2:b"}));
}

TEST(SideFile, RefusesWhatIsNoTextFileNamingIt) {
  const test::TempFolder folder;
  const test::TempFile binary(std::string("G1\nG\0 2\n", 8), ".txt");
  const test::TempFile longLine("ok\n" + std::string(11, 'x') + "\n", ".txt");
  const test::TempFile large("a\nb\nc\nd\n", ".txt");
  const SideFileLimits shortLines{10, 1000};
  const SideFileLimits smallFiles{1000, 6};
  struct Row {
    const char* name;
    std::string path;
    SideFileLimits limits;
    SideFileFault fault;
    std::string message;
  };
  const Row rows[] = {
      {"missing", "/no/such/file.txt", {}, SideFileFault::kCannotOpen, "Cannot open /no/such/file.txt"},
      {"folder", folder.path(), {}, SideFileFault::kFolder, folder.path() + " is a folder, not a file."},
      {"/dev/zero", "/dev/zero", {}, SideFileFault::kNotText,
       "/dev/zero is not a text file: line 1 holds a zero byte."},
      {"/dev/full", "/dev/full", {}, SideFileFault::kNotText,
       "/dev/full is not a text file: line 1 holds a zero byte."},
      {"zero byte on line 2", binary.path(), {}, SideFileFault::kNotText,
       binary.path() + " is not a text file: line 2 holds a zero byte."},
      {"line beyond the limit", longLine.path(), shortLines, SideFileFault::kLineTooLong,
       longLine.path() + " has a line longer than 10 bytes (line 2)."},
      {"file beyond the limit", large.path(), smallFiles, SideFileFault::kTooLarge,
       large.path() + " is larger than 6 bytes."},
  };
  for (const Row& row : rows) {
    const Read read = Lines(row.path, row.limits);
    EXPECT_EQ(read.result.fault, row.fault) << row.name;
    EXPECT_EQ(read.result.message, row.message) << row.name;
  }
}

TEST(SideFile, AnEndlessLineOfADeviceStopsAtTheLimit) {
  // /dev/urandom holds zero bytes soon enough; a device of letters alone is
  // what the line limit is for, and the same loop serves both.
  const test::TempFile letters(std::string(5000, 'a'), ".txt");
  const Read read = Lines(letters.path(), SideFileLimits{4096, std::uint64_t{1} << 30});
  EXPECT_EQ(read.result.fault, SideFileFault::kLineTooLong);
  EXPECT_TRUE(read.lines.empty());
}

TEST(SideFile, ReadsAFifoUntilItsWriterCloses) {
  const test::FifoWithWriter fifo("G1\r\nG2\nG3");
  const Read read = Lines(fifo.path());
  EXPECT_TRUE(read.result.ok()) << read.result.message;
  EXPECT_EQ(read.lines, (std::vector<std::string>{"1:G1", "2:G2", "3:G3"}));
}

TEST(SideFile, StartOfABinaryFile) {
  const test::TempFolder folder;
  const test::TempFile file(std::string("\0\1\2\3\4", 5), ".ini");
  const test::FifoWithWriter fifo("abcdef");
  struct Row {
    const char* name;
    std::string path;
    std::size_t size;
    SideFileFault fault;
    std::string bytes;
  };
  const Row rows[] = {
      {"shorter than asked", file.path(), 13, SideFileFault::kNone, std::string("\0\1\2\3\4", 5)},
      {"cut where asked", file.path(), 2, SideFileFault::kNone, std::string("\0\1", 2)},
      {"a device without end", "/dev/zero", 4, SideFileFault::kNone, std::string(4, '\0')},
      {"a FIFO", fifo.path(), 13, SideFileFault::kNone, "abcdef"},
      {"a folder", folder.path(), 13, SideFileFault::kFolder, ""},
      {"missing", "/no/such.ini", 13, SideFileFault::kCannotOpen, ""},
  };
  for (const Row& row : rows) {
    std::string bytes = "left over";
    const SideFileResult result = ReadSideFileStart(row.path, row.size, bytes);
    EXPECT_EQ(result.fault, row.fault) << row.name << ": " << result.message;
    EXPECT_EQ(bytes, row.bytes) << row.name;
  }
}

// Every side file and the PLINK .fam and .bim cut their lines into words
// by one rule: runs of white space, none of it a word.
TEST(SideFileWords, SplitAtRunsOfWhiteSpace) {
  struct Row {
    const char* name;
    std::string_view line;
    std::vector<std::string> words;
  };
  const Row rows[] = {
      {"blanks", "A  B C", {"A", "B", "C"}},
      {"tabs and blanks around", "\t A\tB \t", {"A", "B"}},
      {"a carriage return left", "A B\r", {"A", "B"}},
      {"vertical tab and form feed", "A\vB\fC", {"A", "B", "C"}},
      {"nothing but white space", " \t\r", {}},
      {"empty", "", {}},
      {"commas are part of a word", "A,B C", {"A,B", "C"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> words;
    for (const std::string_view word : SideFileWords(row.line)) words.emplace_back(word);
    EXPECT_EQ(words, row.words) << row.name;
  }
}

}  // namespace
}  // namespace kinvar
