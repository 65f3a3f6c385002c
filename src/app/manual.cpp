#include "app/manual.h"

#include <algorithm>
#include <sstream>

namespace kinvar {

namespace {

constexpr std::string_view kCommandFolder = "commands/";

// Links become their text: "[inbreeding](inbreeding.md)" reads "inbreeding".
std::string WithoutLinks(std::string_view line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '[') {
      const std::size_t close = line.find("](", i);
      const std::size_t end = close == std::string_view::npos ? close : line.find(')', close);
      if (end != std::string_view::npos && line.find('\n', i) > end) {
        out += line.substr(i + 1, close - i - 1);
        i = end;
        continue;
      }
    }
    out += line[i];
  }
  return out;
}

// Emphasis and code marks go; a pipe escaped in a table cell is a pipe.
std::string WithoutMarks(std::string line) {
  for (const std::string_view mark : {"**", "`"}) {
    for (std::size_t at = line.find(mark); at != std::string::npos; at = line.find(mark, at))
      line.erase(at, mark.size());
  }
  for (std::size_t at = line.find("\\|"); at != std::string::npos; at = line.find("\\|", at + 1)) line.erase(at, 1);
  return line;
}

// Text that roff reads as text: backslashes escaped, a leading '.' or '\''
// kept from being a request.
std::string RoffText(const std::string& line) {
  std::string out;
  for (char c : line) out += c == '\\' ? std::string("\\e") : std::string(1, c);
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string Trimmed(std::string s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// "| a | b |" as "a \(em b"; the line under a table's header is dropped.
std::string TableRow(const std::string& line) {
  std::string out;
  std::size_t start = 1;
  while (start < line.size()) {
    std::size_t end = line.find(" | ", start);
    if (end == std::string::npos) end = line.rfind('|') > start ? line.rfind('|') : line.size();
    const std::string cell = Trimmed(line.substr(start, end - start));
    if (!cell.empty()) out += (out.empty() ? "" : " \\(em ") + RoffText(cell);
    start = end + (line.compare(end, 3, " | ") == 0 ? 3 : 1);
  }
  return out;
}

// "`a\|b`" in a table row as "`a`\|`b`": outside a code span the escape
// keeps the cell whole and renders as a plain pipe.
std::string PipesOutOfCode(const std::string& line) {
  if (!line.starts_with("| ") || line.find("\\|") == std::string::npos) return line;
  std::string out;
  for (std::size_t i = 0; i < line.size();) {
    const std::size_t close = line[i] == '`' ? line.find('`', i + 1) : std::string::npos;
    if (close == std::string::npos) {
      out += line[i++];
      continue;
    }
    const std::string code = line.substr(i + 1, close - i - 1);
    std::size_t from = 0;
    for (std::size_t bar = code.find("\\|"); ; bar = code.find("\\|", from)) {
      const std::string piece = code.substr(from, bar == std::string::npos ? bar : bar - from);
      if (!piece.empty()) out += "`" + piece + "`";
      if (bar == std::string::npos) break;
      out += "\\|";
      from = bar + 2;
    }
    i = close + 1;
  }
  return out;
}

// The paragraphs of a page: runs of lines between empty lines, a fenced
// block whole.
std::vector<std::string> Paragraphs(std::string_view markdown) {
  std::vector<std::string> paragraphs(1);
  std::istringstream in{std::string(markdown)};
  bool fenced = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("```")) fenced = !fenced;
    if (!fenced && line.empty() && !line.starts_with("```")) {
      if (!paragraphs.back().empty()) paragraphs.emplace_back();
      continue;
    }
    paragraphs.back() += PipesOutOfCode(line) + "\n";
  }
  if (paragraphs.back().empty()) paragraphs.pop_back();
  return paragraphs;
}

std::string OnOneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string_view DesktopTitle(const ManualPage& page) {
  const std::string_view title = ManualTitle(page);
  const std::size_t dash = title.find(" \u2014 ");
  if (!page.name.starts_with(kCommandFolder) || dash == std::string_view::npos) return title;
  return title.substr(dash + std::string_view(" \u2014 ").size());
}

std::string ManualForDesktop(const ManualPage& page) {
  std::vector<std::string> paragraphs = Paragraphs(page.text);
  const bool command = page.name.starts_with(kCommandFolder) && paragraphs.size() >= 3 &&
                       paragraphs[0].starts_with("# ") && paragraphs[1].starts_with("**Desktop:**");
  if (command) {
    paragraphs[0] = "# " + std::string(DesktopTitle(page)) + "\n";
    const std::string where = OnOneLine(paragraphs[1]);
    const std::size_t cli = where.find("**Command line:**");
    if (cli != std::string::npos) {
      // The menu path, what the command answers, and then how to type it.
      paragraphs[1] = OnOneLine(where.substr(0, cli)) + "\n";
      paragraphs.insert(paragraphs.begin() + 3, where.substr(cli) + "\n");
    }
  }
  std::string out;
  for (const std::string& paragraph : paragraphs) out += (out.empty() ? "" : "\n") + paragraph;
  return out;
}

std::string ManualAsRoff(std::string_view markdown, bool topLevel) {
  std::istringstream in{std::string(markdown)};
  std::string out;
  bool fenced = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("```")) {
      out += fenced ? ".fi\n.RE\n" : ".RS 4\n.nf\n";
      fenced = !fenced;
      continue;
    }
    if (fenced) {
      out += RoffText(line) + "\n";
      continue;
    }
    line = WithoutMarks(WithoutLinks(line));
    if (line.starts_with("# ")) {
      out += (topLevel ? ".SH " : ".SS ") + RoffText(line.substr(2)) + "\n";
    } else if (line.starts_with("## ")) {
      out += ".SS " + RoffText(line.substr(3)) + "\n";
    } else if (line.starts_with("### ")) {
      out += ".SS " + RoffText(line.substr(4)) + "\n";
    } else if (line.empty()) {
      out += ".PP\n";
    } else if (line.starts_with("- ")) {
      out += ".IP \\(bu 2\n" + RoffText(line.substr(2)) + "\n";
    } else if (line.starts_with("| ---")) {
      continue;
    } else if (line.starts_with("| ")) {
      out += ".IP \\(bu 2\n" + TableRow(line) + "\n";
    } else {
      out += RoffText(Trimmed(line)) + "\n";
    }
  }
  return out;
}

std::string ManPage(std::string_view program, std::string_view version, std::string_view date) {
  const bool cli = program == "kinvar-cli";
  std::string out = ".\\\" -*- coding: UTF-8 -*-\n.TH " + std::string(cli ? "KINVAR-CLI" : "KINVAR") + " 1 \"" + std::string(date) +
                    "\" \"Kinvar " + std::string(version) + "\" \"Kinvar manual\"\n";
  out += ".SH NAME\n";
  out += cli ? "kinvar-cli \\- pedigree analysis from the command line\n"
             : "kinvar \\- pedigree analysis for breeders and conservation geneticists\n";
  out += ".SH SYNOPSIS\n";
  out += cli ? ".B kinvar-cli\n.I COMMAND PEDIGREE\n[\\fIARGS\\fR...] [\\fIOPTIONS\\fR]\n.br\n"
               ".B kinvar-cli help\n[\\fICOMMAND\\fR]\n"
             : ".B kinvar\n[\\fIPEDIGREE\\fR]\n";
  const auto add = [&out](std::string_view name, bool topLevel) {
    if (const ManualPage* page = FindManualPage(name)) out += ManualAsRoff(page->text, topLevel);
  };
  if (cli) {
    add("getting-started", true);
    out += ".SH COMMANDS\n";
    for (const ManualPage& page : ManualPages())
      if (page.name.starts_with(kCommandFolder)) add(page.name, false);
    for (const char* topic : {"options", "pedigree-file", "messages", "glossary", "references"}) add(topic, true);
  } else {
    for (const char* topic : {"getting-started", "pedigree-file", "options", "messages", "glossary", "references"})
      add(topic, true);
  }
  out += ".SH SEE ALSO\n" + std::string(cli ? ".BR kinvar (1)" : ".BR kinvar-cli (1)") +
         "; the manual in the program: Help \\(fc Contents (F1), or \\fBkinvar-cli help\\fR.\n";
  return out;
}

const ManualPage* FindManualPage(std::string_view name) {
  for (const ManualPage& page : ManualPages())
    if (page.name == name) return &page;
  return nullptr;
}

const ManualPage* FindHelpTopic(std::string_view topic) {
  if (topic.empty() || topic.find('/') != std::string_view::npos) return nullptr;
  if (const ManualPage* page = FindManualPage(std::string(kCommandFolder) + std::string(topic))) return page;
  return FindManualPage(topic);
}

std::vector<std::string> HelpTopics() {
  std::vector<std::string> commands, topics;
  for (const ManualPage& page : ManualPages()) {
    if (page.name.starts_with(kCommandFolder))
      commands.emplace_back(page.name.substr(kCommandFolder.size()));
    else if (page.name.find('/') == std::string_view::npos)
      topics.emplace_back(page.name);
  }
  commands.insert(commands.end(), topics.begin(), topics.end());
  return commands;
}

std::string_view ManualTitle(const ManualPage& page) {
  std::size_t start = 0;
  while (start < page.text.size()) {
    const std::size_t end = std::min(page.text.find('\n', start), page.text.size());
    const std::string_view line = page.text.substr(start, end - start);
    if (line.starts_with("# ")) return line.substr(2);
    start = end + 1;
  }
  return page.name;
}

std::string ManualAsText(std::string_view markdown) {
  std::istringstream in{std::string(markdown)};
  std::string out;
  bool fenced = false;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("```")) {
      fenced = !fenced;
      continue;
    }
    out += fenced ? "    " + line : WithoutMarks(WithoutLinks(line));
    out += '\n';
  }
  return out;
}

}  // namespace kinvar
