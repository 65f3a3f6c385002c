// The manual's pages (docs/manual), built into the programs: kinvar-cli's
// help command, the desktop's help window and the man pages read the same
// text.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kinvar {

struct ManualPage {
  std::string_view name;  // path under docs/manual without ".md": "commands/inbreeding"
  std::string_view text;  // the Markdown as written
};

// Every page, in the order of their names.
std::span<const ManualPage> ManualPages();

// The page of that name, or nullptr.
const ManualPage* FindManualPage(std::string_view name);

// The page that `kinvar-cli help TOPIC` shows: a command's page first, then a
// topic of the top folder ("glossary"), or nullptr.
const ManualPage* FindHelpTopic(std::string_view topic);

// What `kinvar-cli help` lists: the commands' names, then the topics.
std::vector<std::string> HelpTopics();

// The first "# " line of a page without its "# ", or the name.
std::string_view ManualTitle(const ManualPage& page);

// A command page's name as the desktop's menus say it ("Mean Kinship" of
// "# mean-kinship — Mean Kinship"); ManualTitle for the other pages.
std::string_view DesktopTitle(const ManualPage& page);

// A page as the desktop's Help window renders it. A command page starts
// with its desktop name, its menu path and what it answers; its command
// line follows. Pipes escaped in the code spans of a table, which the
// renderer would show with their backslash, are moved out of the code.
std::string ManualForDesktop(const ManualPage& page);

// A page as plain text for a terminal: no code fences, no emphasis marks,
// links as their text.
std::string ManualAsText(std::string_view markdown);

// A page in roff for a man page: "# " starts a section (.SH) when
// `topLevel`, else a subsection (.SS) like "## "; fences become no-fill
// blocks, lists and table rows indented paragraphs.
std::string ManualAsRoff(std::string_view markdown, bool topLevel);

// The whole man page of "kinvar-cli" or "kinvar" ("" for another name),
// dated `date` (YYYY-MM-DD).
std::string ManPage(std::string_view program, std::string_view version, std::string_view date);

}  // namespace kinvar
