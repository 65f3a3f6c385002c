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

std::string WithoutMarks(std::string line) {
  for (const std::string_view mark : {"**", "`"}) {
    for (std::size_t at = line.find(mark); at != std::string::npos; at = line.find(mark, at))
      line.erase(at, mark.size());
  }
  return line;
}

}  // namespace

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
