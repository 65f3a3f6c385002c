#include "report/markup.h"

#include <cstddef>
#include <utility>

namespace kinvar {

namespace {

std::size_t TabWidth(char digit) {
  switch (digit) {
    case '1': return 22;
    case '2': return 12;
    case '3': return 52;
    case '4': return 16;
    case '5': return 10;
    case '6': return 6;
    case '7': return 17;
    default: return 0;
  }
}

bool IsColourCode(char letter) {
  switch (letter) {
    case 'A': case 'M': case 'F': case 'I': case 'C': case 'X': return true;
    default: return false;
  }
}

// Columns count characters, not bytes: the bytes that continue a UTF-8
// character (10xxxxxx) take no column, so names with accents stay aligned.
struct Layout {
  LaidOutLine out;
  std::size_t columns = 0;    // characters laid out so far
  std::size_t stop = 0;       // the current tab stop, in columns
  std::size_t fieldByte = 0;  // where the field that ends at the next stop begins
  char attribute = 'A';
  bool colour = true;
};

bool StartsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

void Put(Layout& layout, char c, char attribute) {
  layout.out.text.push_back(c);
  layout.out.attributes.push_back(attribute);
  if (StartsCharacter(c)) ++layout.columns;
}

// Moves the stop by `width` columns and closes the field that ends there.
void AdvanceStop(Layout& layout, std::size_t width) {
  const std::size_t stop = layout.stop + width;
  if (layout.columns + 1 <= stop) {
    while (layout.columns < stop) Put(layout, ' ', 'A');
  } else {
    // The field has no blank left before its stop: show that it was cut
    // rather than let it run into the next column.
    const std::size_t fieldStart = layout.stop;
    layout.out.text.resize(layout.fieldByte);
    layout.out.attributes.resize(layout.fieldByte);
    layout.columns = fieldStart;
    for (std::size_t i = fieldStart; i < stop; ++i) {
      const bool blank = i + 2 >= stop;
      Put(layout, blank ? ' ' : '*', blank ? 'A' : 'X');
    }
  }
  layout.stop = stop;
  layout.fieldByte = layout.out.text.size();
}

// Consumes the run of codes starting at line[i] == '|' and returns the index
// after it.
std::size_t ReadCodes(std::string_view line, std::size_t i, Layout& layout) {
  std::size_t width = 0;
  while (i < line.size() && line[i] == '|') {
    if (++i == line.size()) break;
    const char letter = line[i++];
    if (letter == 'T') {
      if (i < line.size()) width += TabWidth(line[i++]);
    } else if (IsColourCode(letter)) {
      layout.attribute = layout.colour ? letter : 'A';
    } else {
      layout.attribute = letter;
    }
  }
  if (width > 0) AdvanceStop(layout, width);
  return i;
}

}  // namespace

LaidOutLine LayOutLine(std::string_view line, bool colour) {
  Layout layout;
  layout.colour = colour;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == '|') {
      i = ReadCodes(line, i, layout);
    } else {
      Put(layout, line[i++], layout.attribute);
    }
  }
  return std::move(layout.out);
}

namespace {

// LayOutLine's text alone, written into `out` after what it holds.
struct PlainLayout {
  std::string& out;
  std::size_t begin;          // where the line starts in `out`
  std::size_t columns = 0;    // characters laid out so far
  std::size_t stop = 0;       // the current tab stop, in columns
  std::size_t fieldByte = 0;  // where the field that ends at the next stop begins, from `begin`

  void Text(std::string_view text) {
    out.append(text);
    for (char c : text) columns += StartsCharacter(c) ? 1 : 0;
  }

  // AdvanceStop without attributes.
  void Advance(std::size_t width) {
    const std::size_t next = stop + width;
    if (columns + 1 <= next) {
      out.append(next - columns, ' ');
    } else {
      out.resize(begin + fieldByte);
      const std::size_t cells = next - stop;
      out.append(cells >= 2 ? cells - 2 : 0, '*');
      out.append(cells >= 2 ? 2 : cells, ' ');
    }
    columns = next;
    stop = next;
    fieldByte = out.size() - begin;
  }
};

}  // namespace

void AppendExpandedMarkup(std::string& out, std::string_view line) {
  PlainLayout layout{out, out.size()};
  std::size_t i = 0;
  while (i < line.size()) {
    const std::size_t bar = line.find('|', i);
    layout.Text(line.substr(i, bar == std::string_view::npos ? std::string_view::npos : bar - i));
    if (bar == std::string_view::npos) return;
    // A run of codes acts at once, as ReadCodes reads it; colours are no
    // part of a file.
    std::size_t width = 0;
    i = bar;
    while (i < line.size() && line[i] == '|') {
      if (++i == line.size()) break;
      if (line[i++] == 'T' && i < line.size()) width += TabWidth(line[i++]);
    }
    if (width > 0) layout.Advance(width);
  }
}

std::string ExpandMarkup(std::string_view line) {
  std::string text;
  AppendExpandedMarkup(text, line);
  text.push_back('\n');
  return text;
}

}  // namespace kinvar
