// kinvar-cli help: the pages built into the program are the manual's files
// byte for byte, and the command prints them, or refuses with the list.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>

#include "app/command_declarations.h"
#include "app/manual.h"
#include "support/cli_fixture.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

namespace fs = std::filesystem;

TEST(ManualPages, AreTheFilesOfTheManualByteForByte) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(KINVAR_MANUAL_DIR)) {
    if (entry.path().extension() != ".md") continue;
    std::string name = entry.path().lexically_relative(KINVAR_MANUAL_DIR).replace_extension().string();
    SCOPED_TRACE(name);
    const ManualPage* page = FindManualPage(name);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->text, test::ReadWholeFile(entry.path().string()));
    files.insert(name);
  }
  EXPECT_EQ(ManualPages().size(), files.size());
}

// Whether `text` names the option --name, not only a longer one.
bool Mentions(const std::string& text, const std::string& name) {
  const std::string option = "--" + name;
  for (std::size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
    const std::size_t end = at + option.size();
    if (end == text.size() || !(std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-'))
      return true;
  }
  return false;
}

// A declared command's page has its option table as the declaration makes
// it, and its usage line names every option.
TEST(ManualPages, ShowTheOptionsOfEveryDeclaredCommand) {
  for (const CommandDeclaration& command : CommandDeclarations()) {
    SCOPED_TRACE(command.name);
    const ManualPage* page = FindManualPage("commands/" + command.name);
    ASSERT_NE(page, nullptr);
    const std::string table = OptionTable(command);
    EXPECT_NE(page->text.find(table), std::string::npos) << "the page's table should read:\n" << table;
    const std::string usage(page->text.substr(0, page->text.find("`.\n")));
    for (const Parameter& p : command.parameters) {
      if (p.positional || !command.OnCommandLine(p)) continue;
      EXPECT_TRUE(Mentions(usage, OptionOf(p))) << OptionOf(p);
    }
  }
}

TEST(ManualText, StripsMarkupButKeepsExamples) {
  struct Row {
    const char* name;
    const char* markdown;
    const char* text;
  };
  const Row rows[] = {
      {"emphasis", "**F** and `x`\n", "F and x\n"},
      {"link", "see [inbreeding](inbreeding.md) now\n", "see inbreeding now\n"},
      {"two links", "[a](a.md), [b](../b.md)\n", "a, b\n"},
      {"bracket without link", "F [0, 1]\n", "F [0, 1]\n"},
      {"fence indented, marks kept", "```console\n$ kinvar-cli **x**\n```\n", "    $ kinvar-cli **x**\n"},
      {"heading kept", "# inbreeding\n", "# inbreeding\n"},
      {"escaped pipe in a table", "| `a\\|b` | c |\n", "| a|b | c |\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ManualAsText(row.markdown), row.text);
  }
}

TEST(ManualTopics, NameCommandsBeforeTopicsAndFindBoth) {
  const std::vector<std::string> topics = HelpTopics();
  ASSERT_FALSE(topics.empty());
  EXPECT_EQ(topics.front(), "average-between-groups");
  for (const std::string& topic : topics) EXPECT_NE(FindHelpTopic(topic), nullptr) << topic;
  EXPECT_EQ(FindHelpTopic("inbreeding")->name, "commands/inbreeding");
  EXPECT_EQ(FindHelpTopic("glossary")->name, "glossary");
  EXPECT_EQ(FindHelpTopic("commands/inbreeding"), nullptr);
  EXPECT_EQ(FindHelpTopic(""), nullptr);
  EXPECT_EQ(ManualTitle(*FindHelpTopic("inbreeding")), "inbreeding — Compute inbreeding");
}

class CliHelp : public test::CliFixture {};

TEST_F(CliHelp, PrintsEveryCommandsPageAsText) {
  for (const std::string& topic : HelpTopics()) {
    SCOPED_TRACE(topic);
    const test::CliRun run = Execute("help " + test::Quote(topic));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ManualAsText(FindHelpTopic(topic)->text));
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(CliHelp, RefusesAnUnknownTopicWithTheList) {
  struct Row {
    const char* name;
    const char* args;
    int status;
  };
  const Row rows[] = {
      {"unknown", "help frobnicate", 2},
      {"a folder's path", "help commands/inbreeding", 2},
      {"two topics", "help inbreeding dii", 2},
      {"no topic lists", "help", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const test::CliRun run = Execute(row.args);
    EXPECT_EQ(run.status, row.status);
    const std::string& list = row.status == 0 ? run.out : run.err;
    EXPECT_NE(list.find("\n  inbreeding\n"), std::string::npos);
    EXPECT_NE(list.find("\n  optimize-matings\n"), std::string::npos);
    EXPECT_NE(list.find("\n  glossary\n"), std::string::npos);
  }
  EXPECT_EQ(Execute("help frobnicate").err.rfind("kinvar-cli: no help for \"frobnicate\"\n", 0), 0u);
}

}  // namespace
}  // namespace kinvar
