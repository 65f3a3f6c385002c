// A small push scanner for the large parts of a workbook (a sheet of a
// million rows is hundreds of megabytes of XML): it hands tags and text to a
// handler as they come, holding nothing but the bytes of one unfinished
// token. It knows no document type, so no entity is ever expanded and
// nothing outside the file is ever fetched.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>

namespace kinvar::xlsx {

// The handler has
//   bool Open(std::string_view localName, std::string_view attributes, bool selfClosing);
//   bool Close(std::string_view localName);
//   bool Text(std::string_view raw, bool cdata);   // raw: entities not replaced
// each returning false to stop the scan. Names lose their namespace prefix.
// A handler may also have
//   bool Declaration();   // a document type or another markup declaration
// called when "<!" and a letter start one; without it the declaration, with
// its internal subset, is skipped unread.
//
// Scans the complete tokens of `data` and returns how many bytes they take;
// the caller keeps the rest and passes it again, with more bytes, next time.
// With `last` the text after the final tag is scanned as well. `stopped` is
// set when the handler stopped the scan.
template <typename Handler>
std::size_t ScanXml(std::string_view data, bool last, Handler& handler, bool& stopped);

// The value of attribute `name` in a tag's attribute text, as written.
std::optional<std::string_view> Attribute(std::string_view attributes, std::string_view name);

namespace detail {

inline std::string_view LocalName(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The end of the tag that starts at data[0] == '<' (one past its '>'),
// with '>' inside quoted attribute values skipped; npos when incomplete.
inline std::size_t TagEnd(std::string_view data) {
  char quote = 0;
  for (std::size_t i = 1; i < data.size(); ++i) {
    const char c = data[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// A document type declaration, with its internal subset in brackets.
inline std::size_t DoctypeEnd(std::string_view data) {
  int depth = 0;
  for (std::size_t i = 2; i < data.size(); ++i) {
    if (data[i] == '[') ++depth;
    else if (data[i] == ']') --depth;
    else if (data[i] == '>' && depth <= 0) return i + 1;
  }
  return std::string_view::npos;
}

// Where text without its end may be cut: after a stretch free of '&' and
// '_', the only characters that start an entity or an escape, and longer
// than either, so that none is split; 0 when there is no such place yet.
inline std::size_t TextCut(std::string_view text) {
  constexpr std::size_t kLongest = 16;
  if (text.size() <= kLongest) return 0;
  std::size_t cut = text.size() - kLongest;
  for (;;) {
    const std::size_t from = cut > kLongest ? cut - kLongest : 0;
    const std::size_t mark = text.substr(from, cut - from).find_first_of("&_");
    if (mark == std::string_view::npos) return cut;
    cut = from + mark;
    if (cut == 0) return 0;
  }
}

template <typename Handler>
bool Element(std::string_view tag, Handler& handler) {
  // tag: "<name attrs>", "</name>" or "<name attrs/>"
  std::string_view inner = tag.substr(1, tag.size() - 2);
  if (!inner.empty() && inner[0] == '/') {
    inner.remove_prefix(1);
    const std::size_t end = inner.find_first_of(" \t\r\n");
    return handler.Close(LocalName(inner.substr(0, end)));
  }
  const bool selfClosing = !inner.empty() && inner.back() == '/';
  if (selfClosing) inner.remove_suffix(1);
  const std::size_t end = std::min(inner.find_first_of(" \t\r\n"), inner.size());
  return handler.Open(LocalName(inner.substr(0, end)), inner.substr(end), selfClosing);
}

}  // namespace detail

template <typename Handler>
std::size_t ScanXml(std::string_view data, bool last, Handler& handler, bool& stopped) {
  using detail::DoctypeEnd;
  using detail::TagEnd;
  constexpr auto npos = std::string_view::npos;
  stopped = false;
  std::size_t pos = 0;
  while (pos < data.size()) {
    const std::string_view rest = data.substr(pos);
    if (rest[0] != '<') {
      const std::size_t lt = rest.find('<');
      std::size_t n = lt == npos ? rest.size() : lt;
      // Text that runs past the chunk is handed on in pieces, so that a long
      // run is never scanned again; only a possible entity or escape at its
      // end waits for the next chunk.
      if (lt == npos && !last) {
        n = detail::TextCut(rest);
        if (n == 0) return pos;
      }
      if (!handler.Text(rest.substr(0, n), false)) break;
      pos += n;
      continue;
    }
    std::size_t n = npos;
    if (rest.starts_with("<!--")) {
      const std::size_t close = rest.find("-->", 4);
      if (close != npos) n = close + 3;
    } else if (rest.starts_with("<![CDATA[")) {
      const std::size_t close = rest.find("]]>", 9);
      if (close != npos) {
        if (!handler.Text(rest.substr(9, close - 9), true)) break;
        n = close + 3;
      }
    } else if (rest.starts_with("<?")) {
      const std::size_t close = rest.find("?>", 2);
      if (close != npos) n = close + 2;
    } else if (rest.starts_with("<!")) {
      if constexpr (requires { handler.Declaration(); }) {
        // "<!-" or "<![" may still become a comment or a CDATA section.
        if (rest.size() < 3 && !last) return pos;
        const char c = rest.size() < 3 ? '\0' : static_cast<char>(rest[2] | 0x20);
        if (c >= 'a' && c <= 'z' && !handler.Declaration()) break;
      }
      n = DoctypeEnd(rest);
    } else if (rest.size() >= 2 || last) {
      n = TagEnd(rest);
      if (n != npos && !detail::Element(rest.substr(0, n), handler)) break;
    }
    if (n == npos) return last ? data.size() : pos;  // an unfinished token
    pos += n;
  }
  if (pos < data.size()) stopped = true;
  return pos;
}

inline std::optional<std::string_view> Attribute(std::string_view attributes, std::string_view name) {
  std::size_t i = 0;
  while (i < attributes.size()) {
    const std::size_t start = attributes.find_first_not_of(" \t\r\n", i);
    if (start == std::string_view::npos) break;
    const std::size_t eq = attributes.find('=', start);
    if (eq == std::string_view::npos) break;
    std::string_view key = attributes.substr(start, eq - start);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t' || key.back() == '\r' || key.back() == '\n'))
      key.remove_suffix(1);
    const std::size_t open = attributes.find_first_of("\"'", eq);
    if (open == std::string_view::npos) break;
    const std::size_t close = attributes.find(attributes[open], open + 1);
    if (close == std::string_view::npos) break;
    if (key == name) return attributes.substr(open + 1, close - open - 1);
    i = close + 1;
  }
  return std::nullopt;
}

}  // namespace kinvar::xlsx
