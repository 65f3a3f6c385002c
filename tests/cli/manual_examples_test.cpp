// The manual's worked examples, run as a reader would type them: every
// ```console block of every page starts with "$ kinvar-cli ...", run in a
// copy of examples/, and each line quoted under a command must appear in
// what it prints, in that order. So the manual cannot drift from the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

struct ShellStep {
  std::string command;              // after "$ ", continuation lines joined
  std::vector<std::string> quoted;  // the lines it must print, in order
};

struct ConsoleBlock {
  std::string page;
  int line = 0;  // of the opening fence, 1-based
  std::vector<ShellStep> steps;
};

std::string RightTrimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\r' || s.back() == '\t')) s.pop_back();
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(RightTrimmed(line));
  return lines;
}

// A "..." line stands for lines left out; an empty line quotes nothing.
void AddQuoted(ShellStep& step, const std::string& line) {
  if (line.empty() || line == "...") return;
  step.quoted.push_back(line);
}

std::vector<ConsoleBlock> ConsoleBlocks(const std::string& page, const std::string& text) {
  std::vector<ConsoleBlock> blocks;
  const std::vector<std::string> lines = Lines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "```console") continue;
    ConsoleBlock block{page, static_cast<int>(i + 1), {}};
    bool continued = false;
    for (++i; i < lines.size() && lines[i] != "```"; ++i) {
      const std::string& line = lines[i];
      if (continued) {
        std::string part = line.substr(line.find_first_not_of(' ') == std::string::npos
                                           ? line.size()
                                           : line.find_first_not_of(' '));
        continued = !part.empty() && part.back() == '\\';
        if (continued) part.pop_back();
        block.steps.back().command += part;
      } else if (line.rfind("$ ", 0) == 0) {
        std::string command = line.substr(2);
        continued = !command.empty() && command.back() == '\\';
        if (continued) command.pop_back();
        block.steps.push_back({command, {}});
      } else if (!block.steps.empty()) {
        AddQuoted(block.steps.back(), line);
      }
    }
    blocks.push_back(std::move(block));
  }
  return blocks;
}

// The first quoted line that is missing from `output` in order, or "".
std::string FirstMissing(const std::vector<std::string>& quoted, const std::string& output) {
  const std::vector<std::string> printed = Lines(output);
  auto at = printed.begin();
  for (const std::string& line : quoted) {
    at = std::find(at, printed.end(), line);
    if (at == printed.end()) return line;
    ++at;
  }
  return "";
}

std::vector<fs::path> Pages() {
  std::vector<fs::path> pages;
  for (const auto& entry : fs::recursive_directory_iterator(KINVAR_MANUAL_DIR))
    if (entry.path().extension() == ".md") pages.push_back(entry.path());
  std::sort(pages.begin(), pages.end());
  return pages;
}

TEST(ManualParser, ReadsBlocksStepsAndQuotedLines) {
  struct Row {
    const char* name;
    const char* text;
    std::vector<std::vector<std::string>> steps;  // command, then quoted lines
  };
  const Row rows[] = {
      {"one command", "x\n```console\n$ kinvar-cli a b\nline 1\n\nline 2\n```\n",
       {{"kinvar-cli a b", "line 1", "line 2"}}},
      {"ellipsis skipped", "```console\n$ kinvar-cli a\n...\nz\n...\n```\n", {{"kinvar-cli a", "z"}}},
      {"continuation", "```console\n$ kinvar-cli a \\\n      --b c\nout\n```\n",
       {{"kinvar-cli a --b c", "out"}}},
      {"two commands", "```console\n$ kinvar-cli a\np\n$ cat f\nq\n```\n",
       {{"kinvar-cli a", "p"}, {"cat f", "q"}}},
      {"other fences ignored", "```\n$ kinvar-cli no\n```\n```r\nx\n```\n", {}},
      {"trailing blanks trimmed", "```console\n$ kinvar-cli a  \nr   \n```\n", {{"kinvar-cli a", "r"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<ConsoleBlock> blocks = ConsoleBlocks("page", row.text);
    std::vector<std::vector<std::string>> got;
    for (const ConsoleBlock& b : blocks)
      for (const ShellStep& s : b.steps) {
        got.push_back({s.command});
        got.back().insert(got.back().end(), s.quoted.begin(), s.quoted.end());
      }
    EXPECT_EQ(got, row.steps);
  }
}

TEST(ManualParser, QuotedLinesMustAppearInOrder) {
  struct Row {
    const char* name;
    std::vector<std::string> quoted;
    const char* output;
    const char* missing;
  };
  const Row rows[] = {
      {"all there", {"a", "c"}, "a\nb\nc\n", ""},
      {"out of order", {"c", "a"}, "a\nb\nc\n", "a"},
      {"partial line is not a line", {"b"}, "abc\n", "b"},
      {"repeated line needs two", {"a", "a"}, "a\nb\n", "a"},
      {"nothing quoted", {}, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FirstMissing(row.quoted, row.output), row.missing);
  }
}

class Manual : public test::CliFixture {
 protected:
  // A fresh copy of examples/ for each block, so that files one example
  // writes cannot feed another.
  fs::path FreshExamples() const {
    const fs::path dir = home_ / "examples";
    fs::remove_all(dir);
    fs::copy(KINVAR_EXAMPLES_DIR, dir, fs::copy_options::recursive);
    return dir;
  }

  test::CliRun Step(const fs::path& dir, std::string command) const {
    if (command.rfind("kinvar-cli", 0) == 0) command = test::Quote(KINVAR_CLI_PATH) + command.substr(10);
    const std::string out = (home_ / "step-output").string();
    const std::string line =
        "cd " + test::Quote(dir.string()) + " && (" + command + ") >" + test::Quote(out) + " 2>&1 </dev/null";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, test::ReadWholeFile(out), ""};
  }
};

// A kinvar-cli built without Qt has no pictures: the pages of the picture
// commands cannot be run there, and the Qt build runs them.
bool PagesNeedThePictures(const std::string& page) {
#ifdef KINVAR_CLI_HAS_PICTURES
  (void)page;
  return false;
#else
  for (const char* command : {"certificate", "chart", "draw", "plot"})
    if (page == std::string("commands/") + command + ".md") return true;
  return false;
#endif
}

TEST_F(Manual, EveryWorkedExamplePrintsWhatThePageQuotes) {
  int blocks = 0;
  std::vector<std::string> skipped;
  for (const fs::path& page : Pages()) {
    const std::string name = page.lexically_relative(KINVAR_MANUAL_DIR).generic_string();
    const std::vector<ConsoleBlock> pageBlocks = ConsoleBlocks(name, test::ReadWholeFile(page.string()));
    if (PagesNeedThePictures(name)) {
      EXPECT_FALSE(pageBlocks.empty()) << name << " has no worked example left to skip";
      skipped.push_back(name);
      continue;
    }
    for (const ConsoleBlock& block : pageBlocks) {
      SCOPED_TRACE(block.page + ":" + std::to_string(block.line));
      ++blocks;
      ASSERT_FALSE(block.steps.empty());
      EXPECT_EQ(block.steps.front().command.rfind("kinvar-cli ", 0), 0u);
      const fs::path dir = FreshExamples();
      for (const ShellStep& step : block.steps) {
        const test::CliRun run = Step(dir, step.command);
        // A command that quotes nothing is shown for what it writes to a
        // file: it must at least succeed.
        if (step.quoted.empty()) {
          EXPECT_EQ(run.status, 0) << step.command << "\n" << run.out;
        }
        EXPECT_EQ(FirstMissing(step.quoted, run.out), "") << step.command << " printed:\n" << run.out;
      }
    }
  }
  EXPECT_GT(blocks, 30);
  if (!skipped.empty()) {
    std::string list;
    for (const std::string& name : skipped) list += (list.empty() ? "" : ", ") + name;
    std::cout << "Skipped, as this kinvar-cli has no pictures: " << list << "\n";
    EXPECT_EQ(skipped.size(), 4u) << list;
  }
}

TEST_F(Manual, EveryCommandHasAPage) {
  const test::CliRun help = Execute("--help");
  ASSERT_EQ(help.status, 0);
  const std::string commands = help.out.substr(help.out.find("Subcommands:"));
  int pages = 0;
  for (const std::string& line : Lines(commands)) {
    if (line.rfind("  ", 0) != 0) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    SCOPED_TRACE(name);
    EXPECT_TRUE(fs::exists(fs::path(KINVAR_MANUAL_DIR) / "commands" / (name + ".md")));
    ++pages;
  }
  EXPECT_GE(pages, 24);
}

}  // namespace
}  // namespace kinvar
