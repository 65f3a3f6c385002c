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

struct Layout {
  LaidOutLine out;
  std::size_t stop = 0;
  std::size_t previousStop = 0;
  char attribute = 'A';
  bool colour = true;
};

void Put(Layout& layout, char c, char attribute) {
  layout.out.text.push_back(c);
  layout.out.attributes.push_back(attribute);
}

// Moves the stop by `width` columns and closes the field that ends there.
void AdvanceStop(Layout& layout, std::size_t width) {
  const std::size_t stop = layout.stop + width;
  std::string& text = layout.out.text;
  std::string& attributes = layout.out.attributes;
  if (text.size() + 1 <= stop) {
    while (text.size() < stop) Put(layout, ' ', 'A');
  } else {
    // The field has no blank left before its stop: show that it was cut
    // rather than let it run into the next column.
    text.resize(stop);
    attributes.resize(stop);
    for (std::size_t i = layout.previousStop; i < stop; ++i) {
      const bool blank = i + 2 >= stop;
      text[i] = blank ? ' ' : '*';
      attributes[i] = blank ? 'A' : 'X';
    }
  }
  layout.stop = stop;
  layout.previousStop = stop;
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

std::string ExpandMarkup(std::string_view line) {
  std::string text = LayOutLine(line, false).text;
  text.push_back('\n');
  return text;
}

}  // namespace kinvar
