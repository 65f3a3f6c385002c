#include "pedigree/xlsx_reader.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <pugixml.hpp>
#include <system_error>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "pedigree/number_text.h"
#include "pedigree/xlsx_cells.h"
#include "pedigree/xml_scan.h"

namespace kinvar {

namespace {

using xlsx::Attribute;

// A part may unpack to this many times the whole file, at least this much
// and never more than the hard limit: real workbooks stay far below, a
// crafted one that inflates without end is stopped early.
constexpr std::uint64_t kInflationRatio = 100;
constexpr std::uint64_t kInflationFloor = std::uint64_t{1} << 20;
constexpr std::uint64_t kInflationLimit = std::uint64_t{2} << 30;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr std::size_t kFirstChunkBytes = std::size_t{16} << 10;
constexpr std::int32_t kMaxColumns = xlsx::kSheetColumns;
constexpr std::size_t kLongestToken = std::size_t{16} << 20;
constexpr std::uint64_t kLeastMemory = std::uint64_t{16} << 20;

std::string Refusal(const std::string& path, const std::string& why) {
  return "Cannot read the workbook " + path + ".\n" + why;
}

std::string DamagedMessage(const std::string& path) {
  return Refusal(path, "The file is damaged or is not an .xlsx workbook.");
}

std::string DeclarationMessage(const std::string& path, const std::string& part) {
  return Refusal(path, "Its part " + part +
                           " declares a document type or entities, which spreadsheet programs never write; "
                           "the file is not read.");
}

// `what` ("Its part xl/sharedStrings.xml", "Row 7 of sheet S") would need
// more than the memory that the reading may take.
std::string MemoryMessage(const std::string& path, const std::string& what, std::uint64_t memory) {
  return Refusal(path, what + " unpacks to more than the " + std::to_string(memory >> 20) +
                           " MB of memory free to hold it.");
}

std::string OutOfMemoryMessage(const std::string& path) {
  return Refusal(path, "There is not enough memory free to read it.");
}

// The memory free now, as far as the system and this process's limits tell.
std::uint64_t FreeMemory() {
  std::uint64_t free = 0;
#if defined(_WIN32)
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (GlobalMemoryStatusEx(&status)) free = status.ullAvailPhys;
#else
#if defined(__linux__)
  if (std::unique_ptr<std::FILE, int (*)(std::FILE*)> info(std::fopen("/proc/meminfo", "r"), &std::fclose); info) {
    char line[256];
    while (free == 0 && std::fgets(line, sizeof line, info.get()) != nullptr) {
      const std::string_view text(line);
      if (!text.starts_with("MemAvailable:")) continue;
      const std::size_t digits = text.find_first_of("0123456789");
      std::uint64_t kib = 0;
      if (digits != std::string_view::npos) std::from_chars(line + digits, line + text.size(), kib);
      free = kib << 10;
    }
  }
#endif
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (free == 0 && pages > 0 && pageSize > 0)
    free = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
      free = std::min<std::uint64_t>(free == 0 ? limit.rlim_cur : free, limit.rlim_cur);
  }
#endif
  return free == 0 ? std::uint64_t{1} << 30 : free;
}

std::string ProtectedMessage(const std::string& path) {
  return "Cannot open " + path +
         "\nThe workbook is password-protected. Save it without a password and open it again.";
}

std::string BombMessage(const std::string& path, const std::string& part) {
  return "Cannot read the workbook " + path + ".\nIts part " + part +
         " unpacks to far more than the file's size; the file is damaged or made to harm.";
}

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// The open container, what every part may unpack to, and what the reading
// may hold in memory at once.
struct Archive {
  std::string path;
  std::unique_ptr<zip_t, ZipCloser> zip;
  std::uint64_t limit = 0;
  std::uint64_t memory = 0;
};

std::optional<Archive> OpenArchive(const std::string& path, std::uint64_t memory, std::string& message) {
  int error = 0;
  Archive archive{path, std::unique_ptr<zip_t, ZipCloser>(zip_open(path.c_str(), ZIP_RDONLY, &error)), 0,
                  memory != 0 ? memory : std::max(kLeastMemory, FreeMemory() / 2)};
  if (!archive.zip) {
    message = DamagedMessage(path);
    return std::nullopt;
  }
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  archive.limit = std::min(kInflationLimit, std::max(kInflationFloor, (ec ? 0 : size) * kInflationRatio));
  return archive;
}

bool HasPart(const Archive& archive, const std::string& name) {
  return zip_name_locate(archive.zip.get(), name.c_str(), 0) >= 0;
}

// Unpacks part `name` in chunks to `consume`, counting what comes out
// rather than trusting the size the directory declares. Returns the
// message of a failure, or "" (also when `consume` stopped: `stopped`).
template <typename Consume>
std::string StreamPart(const Archive& archive, const std::string& name, Consume&& consume,
                       bool* stopped = nullptr) {
  zip_t* z = archive.zip.get();
  const zip_int64_t index = zip_name_locate(z, name.c_str(), 0);
  if (index < 0) return DamagedMessage(archive.path);
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(z, static_cast<zip_uint64_t>(index), 0));
  if (!file) {
    const int code = zip_error_code_zip(zip_get_error(z));
    if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_ENCRNOTSUPP)
      return ProtectedMessage(archive.path);
    return DamagedMessage(archive.path);
  }
  // Most parts are small: the chunk starts small and grows to its full size
  // only while a part fills it, whatever size the directory declares.
  std::size_t size = kFirstChunkBytes;
  auto chunk = std::make_unique_for_overwrite<char[]>(size);
  std::uint64_t total = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(file.get(), chunk.get(), size);
    if (n < 0) return DamagedMessage(archive.path);
    total += static_cast<std::uint64_t>(n);
    if (total > archive.limit) return BombMessage(archive.path, name);
    const bool last = n == 0;
    if (!consume(std::string_view(chunk.get(), static_cast<std::size_t>(n)), last)) {
      if (stopped != nullptr) *stopped = true;
      return {};
    }
    if (last) return {};
    if (static_cast<std::size_t>(n) == size && size < kChunkBytes) {
      size = std::min(size * 4, kChunkBytes);
      chunk = std::make_unique_for_overwrite<char[]>(size);
    }
  }
}

// pugixml holds a copy of the text and its nodes beside the text read.
constexpr std::uint64_t kParsedSize = 3;

std::string ReadPart(const Archive& archive, const std::string& name, std::string& out) {
  out.clear();
  bool tooLarge = false;
  std::string message = StreamPart(archive, name, [&](std::string_view bytes, bool) {
    tooLarge = (out.size() + bytes.size()) * kParsedSize > archive.memory;
    if (!tooLarge) out.append(bytes);
    return !tooLarge;
  });
  if (message.empty() && tooLarge) message = MemoryMessage(archive.path, "Its part " + name, archive.memory);
  return message;
}

// Hands a scan on to `handler`, but stops it at a document type or another
// markup declaration: Excel and LibreOffice never write one, and a reader
// that expanded its entities could be made to unpack without end or to read
// files named in it.
template <typename Handler>
struct Undeclared {
  Handler& handler;
  bool declared = false;
  bool Open(std::string_view name, std::string_view attributes, bool selfClosing) {
    return handler.Open(name, attributes, selfClosing);
  }
  bool Close(std::string_view name) { return handler.Close(name); }
  bool Text(std::string_view raw, bool cdata) { return handler.Text(raw, cdata); }
  bool Declaration() {
    declared = true;
    return false;
  }
};

struct IgnoreAll {
  bool Open(std::string_view, std::string_view, bool) { return true; }
  bool Close(std::string_view) { return true; }
  bool Text(std::string_view, bool) { return true; }
};

// Parses a small part, refusing one with a declaration; pugixml expands no
// entity of one either way.
std::string ParsePart(const Archive& archive, const std::string& name, pugi::xml_document& doc) {
  std::string text;
  if (std::string message = ReadPart(archive, name, text); !message.empty()) return message;
  IgnoreAll ignore;
  Undeclared<IgnoreAll> watch{ignore};
  bool stopped = false;
  xlsx::ScanXml(text, true, watch, stopped);
  if (watch.declared) return DeclarationMessage(archive.path, name);
  // pugixml reads other encodings too, where the scan sees no declaration:
  // it keeps the document type as a node, never expanding it.
  if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_doctype))
    return DamagedMessage(archive.path);
  for (pugi::xml_node node : doc.children())
    if (node.type() == pugi::node_doctype) return DeclarationMessage(archive.path, name);
  return {};
}

std::string_view LocalName(const char* name) {
  const std::string_view n(name);
  const std::size_t colon = n.find(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

pugi::xml_node Child(pugi::xml_node node, std::string_view name) {
  for (pugi::xml_node c : node.children())
    if (LocalName(c.name()) == name) return c;
  return {};
}

// The relationship id attribute ("r:id"), whatever its prefix.
std::string RelationshipId(pugi::xml_node sheet) {
  for (pugi::xml_attribute a : sheet.attributes()) {
    const std::string_view n(a.name());
    if (n.size() > 3 && n.substr(n.size() - 3) == ":id") return a.value();
  }
  return {};
}

// A relationship target relative to the folder of `source`, as a part name.
std::string ResolveTarget(const std::string& source, std::string_view target) {
  std::string joined;
  if (!target.empty() && target[0] == '/') {
    joined = std::string(target.substr(1));
  } else {
    const std::size_t slash = source.rfind('/');
    joined = (slash == std::string::npos ? std::string() : source.substr(0, slash + 1)) + std::string(target);
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    const std::size_t end = std::min(joined.find('/', start), joined.size());
    const std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string name;
  for (const std::string& p : parts) name += (name.empty() ? "" : "/") + p;
  return name;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

struct SheetEntry {
  std::string name;
  std::string part;
};

struct Workbook {
  std::vector<SheetEntry> sheets;
  bool date1904 = false;
  std::string sharedStrings;  // part name, "" when none
  std::string styles;
};

// The workbook part that the package's relationships name, or the usual
// one when they cannot be read; `message` says why a readable part was
// refused.
std::string WorkbookPart(const Archive& archive, std::string& message) {
  const std::string fallback = "xl/workbook.xml";
  if (!HasPart(archive, "_rels/.rels")) return fallback;
  pugi::xml_document rels;
  if (std::string m = ParsePart(archive, "_rels/.rels", rels); !m.empty()) {
    if (m != DamagedMessage(archive.path)) message = std::move(m);
    return fallback;
  }
  for (pugi::xml_node r : Child(rels, "Relationships").children()) {
    if (EndsWith(r.attribute("Type").value(), "/officeDocument"))
      return ResolveTarget("", r.attribute("Target").value());
  }
  return fallback;
}

// Which relationship id leads to which part, and of what type.
std::map<std::string, std::pair<std::string, std::string>> Relationships(const pugi::xml_document& rels,
                                                                         const std::string& source) {
  std::map<std::string, std::pair<std::string, std::string>> byId;
  for (pugi::xml_node r : Child(rels, "Relationships").children()) {
    if (LocalName(r.name()) != "Relationship") continue;
    byId[r.attribute("Id").value()] = {r.attribute("Type").value(),
                                       ResolveTarget(source, r.attribute("Target").value())};
  }
  return byId;
}

std::string RelsPartOf(const std::string& part) {
  const std::size_t slash = part.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  return folder + "_rels/" + part.substr(slash == std::string::npos ? 0 : slash + 1) + ".rels";
}

std::string ReadWorkbook(const Archive& archive, Workbook& book) {
  std::string refused;
  const std::string part = WorkbookPart(archive, refused);
  if (!refused.empty()) return refused;
  if (!HasPart(archive, part)) return DamagedMessage(archive.path);
  pugi::xml_document doc, rels;
  if (std::string m = ParsePart(archive, part, doc); !m.empty()) return m;
  if (std::string m = ParsePart(archive, RelsPartOf(part), rels); !m.empty()) return m;
  const auto byId = Relationships(rels, part);
  for (const auto& [id, link] : byId) {
    if (EndsWith(link.first, "/sharedStrings")) book.sharedStrings = link.second;
    if (EndsWith(link.first, "/styles")) book.styles = link.second;
  }
  const pugi::xml_node root = Child(doc, "workbook");
  const std::string_view date1904 = Child(root, "workbookPr").attribute("date1904").value();
  book.date1904 = date1904 == "1" || date1904 == "true";
  for (pugi::xml_node sheet : Child(root, "sheets").children()) {
    if (LocalName(sheet.name()) != "sheet") continue;
    const auto link = byId.find(RelationshipId(sheet));
    // Chart sheets and dialog sheets hold no cells.
    if (link == byId.end() || !EndsWith(link->second.first, "/worksheet")) continue;
    book.sheets.push_back({sheet.attribute("name").value(), link->second.second});
  }
  if (book.sheets.empty()) return Refusal(archive.path, "It has no worksheet.");
  return {};
}

// Per cell format (the s attribute), whether it shows a date.
std::string ReadDateStyles(const Archive& archive, const Workbook& book, std::vector<bool>& dates) {
  if (book.styles.empty() || !HasPart(archive, book.styles)) return {};
  pugi::xml_document doc;
  if (std::string m = ParsePart(archive, book.styles, doc); !m.empty()) return m;
  const pugi::xml_node root = Child(doc, "styleSheet");
  std::map<int, bool> custom;
  for (pugi::xml_node f : Child(root, "numFmts").children())
    custom[f.attribute("numFmtId").as_int()] = xlsx::IsDateFormatCode(f.attribute("formatCode").value());
  for (pugi::xml_node xf : Child(root, "cellXfs").children()) {
    if (LocalName(xf.name()) != "xf") continue;
    const int id = xf.attribute("numFmtId").as_int();
    const auto found = custom.find(id);
    dates.push_back(found != custom.end() ? found->second : xlsx::IsBuiltInDateFormat(id));
  }
  return {};
}

// Collects the text of <t> elements inside `owner` (si or is), skipping the
// phonetic runs (rPh) that only annotate the text.
struct RunText {
  std::string text;
  bool inT = false;
  int phonetic = 0;

  void Open(std::string_view name, bool selfClosing) {
    if (name == "rPh" && !selfClosing) ++phonetic;
    if (name == "t" && !selfClosing && phonetic == 0) inT = true;
  }
  void Close(std::string_view name) {
    if (name == "rPh" && phonetic > 0) --phonetic;
    if (name == "t") inT = false;
  }
  void Text(std::string_view raw, bool cdata) {
    if (!inT) return;
    if (cdata) text.append(raw);
    else xlsx::AppendXmlText(raw, text);
  }
};

// Every shared string in one buffer: a workbook of millions of short
// strings would otherwise spend several times their text on string objects.
// The buffer never holds more than the memory the reading may take.
class SharedStrings {
 public:
  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(text_).substr(begin, ends_[i] - begin);
  }
  std::uint64_t held() const { return text_.capacity() + ends_.capacity() * sizeof(std::uint32_t); }

  // False when the string would take the buffer beyond `memory` bytes.
  bool Add(std::string_view s, std::uint64_t memory) {
    const std::uint64_t needed = text_.size() + s.size();
    if (needed > UINT32_MAX) return false;
    if (needed > text_.capacity()) {
      const std::uint64_t rest = ends_.capacity() * sizeof(std::uint32_t);
      if (needed + rest > memory) return false;
      text_.reserve(static_cast<std::size_t>(std::min(std::max(needed, text_.capacity() * 3 / 2), memory - rest)));
    }
    if (ends_.size() == ends_.capacity()) {
      const std::uint64_t more = std::max<std::size_t>(16, ends_.capacity() / 2);
      if (held() + more * sizeof(std::uint32_t) > memory) return false;
      ends_.reserve(ends_.capacity() + static_cast<std::size_t>(more));
    }
    text_.append(s);
    ends_.push_back(static_cast<std::uint32_t>(text_.size()));
    return true;
  }

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;
};

struct SharedStringScan {
  SharedStrings& strings;
  std::uint64_t memory = 0;
  RunText run;
  bool inItem = false;
  bool tooLarge = false;

  bool Open(std::string_view name, std::string_view, bool selfClosing) {
    if (name == "si") {
      run = {};
      inItem = !selfClosing;
      if (selfClosing) return Keep({});
    } else if (inItem) {
      run.Open(name, selfClosing);
    }
    return true;
  }
  bool Close(std::string_view name) {
    if (name == "si" && inItem) {
      inItem = false;
      return Keep(run.text);
    }
    if (inItem) run.Close(name);
    return true;
  }
  bool Text(std::string_view raw, bool cdata) {
    if (!inItem) return true;
    run.Text(raw, cdata);
    tooLarge = strings.held() + run.text.capacity() > memory;
    return !tooLarge;
  }
  bool Keep(std::string_view text) {
    tooLarge = !strings.Add(text, memory);
    run.text = std::string();
    return !tooLarge;
  }
};

// Feeds a part through a scanner, keeping the unfinished token between
// chunks and counting the bytes read into `position`. A token longer than
// any that a workbook holds marks the part damaged: waiting for its end
// would scan it again with every chunk. A declaration stops the scan with
// its own message; a handler that stops says why itself.
template <typename Handler>
std::string ScanPart(const Archive& archive, const std::string& name, Handler& handler,
                     std::int64_t* position = nullptr) {
  std::string pending;
  bool tooLong = false;
  Undeclared<Handler> watch{handler};
  std::string message = StreamPart(archive, name, [&](std::string_view bytes, bool last) {
    if (position != nullptr) *position += static_cast<std::int64_t>(bytes.size());
    pending.append(bytes);
    bool stopped = false;
    const std::size_t used = xlsx::ScanXml(pending, last, watch, stopped);
    if (stopped) return false;
    pending.erase(0, used);
    tooLong = pending.size() > kLongestToken;
    return !tooLong;
  });
  if (message.empty() && watch.declared) message = DeclarationMessage(archive.path, name);
  if (message.empty() && tooLong) message = DamagedMessage(archive.path);
  return message;
}

std::string ReadSharedStrings(const Archive& archive, const Workbook& book, SharedStrings& strings) {
  if (book.sharedStrings.empty() || !HasPart(archive, book.sharedStrings)) return {};
  SharedStringScan scan{strings, archive.memory, {}, false, false};
  std::string message = ScanPart(archive, book.sharedStrings, scan);
  if (message.empty() && scan.tooLarge)
    message = MemoryMessage(archive.path, "Its part " + book.sharedStrings, archive.memory);
  return message;
}

}  // namespace

namespace {

struct SheetContext {
  const std::string& path;
  const std::string& sheet;  // its name, for messages
  const std::string& part;
  const SharedStrings& strings;
  const std::vector<bool>& dateStyles;
  bool date1904 = false;
  std::uint64_t memory = 0;  // what a row may hold, beside the shared strings
  std::uint64_t budget = 0;  // what the whole reading may hold, for messages
  const SheetRowSink& sink;
};

// A reference or row number for a message, however long it was written.
std::string Shown(std::string_view text) {
  constexpr std::size_t kShown = 24;
  return text.size() <= kShown ? std::string(text) : std::string(text.substr(0, kShown)) + "...";
}

// Turns the sheet's rows and cells into SheetRows as they stream past.
class SheetScan {
 public:
  explicit SheetScan(const SheetContext& context) : c_(context) {}

  bool Open(std::string_view name, std::string_view attributes, bool selfClosing) {
    if (!rooted_) return Root(name);
    if (name == "row") return StartRow(attributes, selfClosing);
    if (name == "c") return StartCell(attributes, selfClosing);
    if (!inCell_) return true;
    if (name == "v" && !selfClosing) inV_ = true;
    else if (name == "is" && !selfClosing) inIs_ = true;
    else if (inIs_) run_.Open(name, selfClosing);
    return true;
  }

  bool Close(std::string_view name) {
    if (!rooted_) return NotXml();
    if (name == "c" && inCell_) return FinishCell();
    if (name == "row" && inRow_) return FinishRow();
    if (name == "v") inV_ = false;
    else if (name == "is") inIs_ = false;
    else if (inIs_) run_.Close(name);
    return true;
  }

  bool Text(std::string_view raw, bool cdata) {
    if (!rooted_) return cdata || raw.find_first_not_of(" \t\r\n\xEF\xBB\xBF") == std::string_view::npos || NotXml();
    if (inV_) {
      if (cdata) value_.append(raw);
      else xlsx::AppendXmlText(raw, value_);
    } else if (inIs_) {
      run_.Text(raw, cdata);
    }
    if (rowBytes_ + value_.size() + run_.text.size() <= c_.memory) return true;
    message = MemoryMessage(c_.path, "Row " + std::to_string(row_) + " of sheet " + c_.sheet, c_.budget);
    return false;
  }

  // After the last chunk: a part without a worksheet element is no sheet.
  bool Finish() { return rooted_ || NotXml(); }

  std::int64_t position = 0;
  std::string message;
  bool sinkStopped = false;

 private:
  bool Fail(const std::string& why) {
    message = Refusal(c_.path, why);
    return false;
  }

  bool NotXml() {
    return Fail("Its sheet " + c_.sheet + " (part " + c_.part + ") is not a worksheet in XML; the file is damaged.");
  }

  bool Root(std::string_view name) {
    rooted_ = name == "worksheet";
    return rooted_ || NotXml();
  }

  std::string CellName() const { return xlsx::SheetCell(c_.sheet, xlsx::ColumnName(column_) + std::to_string(row_)); }

  bool BeyondRows(const std::string& where, std::string_view digits) {
    return Fail(where + ", row " + Shown(xlsx::RowDigits(digits)) + " is beyond the sheet's 1,048,576 rows.");
  }

  // Rows are numbered up to the sheet's last, so that counting on from one
  // can never overflow.
  bool StartRow(std::string_view attributes, bool selfClosing) {
    if (inRow_ && !FinishRow()) return false;
    std::int64_t number = row_ + 1;
    std::string digits = std::to_string(number);
    if (const auto r = Attribute(attributes, "r")) {
      if (r->empty() || r->find_first_not_of("0123456789") != std::string_view::npos || xlsx::RowDigits(*r) == "0")
        return Fail("Its sheet " + c_.sheet + " is damaged: " + QuotedCell(*r) + " is not a row number.");
      digits = *r;
      const auto [p, ec] = std::from_chars(r->data(), r->data() + r->size(), number);
      if (ec != std::errc()) number = xlsx::kSheetRows + 1;
    }
    if (number > xlsx::kSheetRows) return BeyondRows("In sheet " + c_.sheet, digits);
    row_ = number;
    nextColumn_ = 0;
    inRow_ = !selfClosing;
    return true;
  }

  bool RefFault(std::string_view ref, xlsx::RefFault fault) {
    const std::string cell = xlsx::SheetCell(c_.sheet, Shown(ref));
    switch (fault) {
      case xlsx::RefFault::kBeyondRows:
        return BeyondRows("In cell " + cell, ref.substr(ref.find_first_of("0123456789")));
      case xlsx::RefFault::kBeyondColumns:
        return Fail("In cell " + cell + ", column " + Shown(ref.substr(0, ref.find_first_of("0123456789"))) +
                    " is beyond the sheet's 16,384 columns.");
      default:
        return Fail("Its sheet " + c_.sheet + " is damaged: in row " + std::to_string(row_) + ", " +
                    QuotedCell(ref) + " is not a cell reference.");
    }
  }

  bool StartCell(std::string_view attributes, bool selfClosing) {
    if (!inRow_) return true;  // cells outside a row belong to nothing
    column_ = nextColumn_;
    if (const auto r = Attribute(attributes, "r")) {
      xlsx::RefFault fault = xlsx::RefFault::kNone;
      const auto ref = xlsx::ParseCellRef(*r, &fault);
      if (!ref) return RefFault(*r, fault);
      column_ = ref->column;
    }
    if (column_ >= kMaxColumns)
      return Fail("In cell " + CellName() + ", column " + xlsx::ColumnName(column_) +
                  " is beyond the sheet's 16,384 columns.");
    type_ = Attribute(attributes, "t").value_or("n");
    style_ = 0;
    if (const auto s = Attribute(attributes, "s")) std::from_chars(s->data(), s->data() + s->size(), style_);
    value_.clear();
    run_ = {};
    inCell_ = true;
    inV_ = inIs_ = false;
    return selfClosing ? FinishCell() : true;
  }

  bool IsDateStyle() const {
    return style_ >= 0 && static_cast<std::size_t>(style_) < c_.dateStyles.size() &&
           c_.dateStyles[static_cast<std::size_t>(style_)];
  }

  // The text of a number: a date in a date format, else the shortest decimal.
  std::string NumberCell() const {
    if (value_.empty()) return {};
    if (IsDateStyle()) {
      double serial = 0.0;
      const auto [p, ec] = std::from_chars(value_.data(), value_.data() + value_.size(), serial);
      if (ec == std::errc() && p == value_.data() + value_.size()) {
        if (auto date = xlsx::DateText(serial, c_.date1904)) return *date;
      }
    }
    return xlsx::NumberText(value_).value_or(value_);
  }

  bool FinishCell() {
    inCell_ = inV_ = inIs_ = false;
    nextColumn_ = column_ + 1;
    std::string text;
    if (type_ == "s") {
      std::size_t index = 0;
      const auto [p, ec] = std::from_chars(value_.data(), value_.data() + value_.size(), index);
      if (ec != std::errc() || p != value_.data() + value_.size() || index >= c_.strings.size())
        return Fail("Cell " + CellName() + " is damaged: it refers to the shared string " + QuotedCell(value_) +
                    ", which the workbook does not hold.");
      text = c_.strings[index];
    } else if (type_ == "inlineStr") {
      text = std::move(run_.text);
    } else if (type_ == "str") {
      text = value_;
    } else if (type_ == "b") {
      text = value_.empty() ? "" : value_ == "0" ? "FALSE" : "TRUE";
    } else if (type_ == "e") {
      errors_.push_back({column_, value_.empty() ? std::string("#VALUE!") : value_});
    } else if (type_ == "d") {
      text = value_.substr(0, value_.find('T'));  // an ISO date, its time dropped
    } else {
      text = NumberCell();
    }
    if (text.empty()) return true;
    const auto col = static_cast<std::size_t>(column_);
    if (cells_.size() <= col) cells_.resize(col + 1);
    rowBytes_ += text.size() - cells_[col].size();
    cells_[col] = std::move(text);
    width_ = std::max(width_, col + 1);
    return true;
  }

  bool FinishRow() {
    inRow_ = false;
    bool go = true;
    if (width_ > 0 || !errors_.empty()) {
      views_.assign(width_, std::string_view());
      for (std::size_t i = 0; i < width_; ++i) views_[i] = cells_[i];
      errorViews_.clear();
      for (const auto& [col, value] : errors_) errorViews_.push_back({col, value});
      go = c_.sink(SheetRow{c_.sheet, row_, views_, errorViews_, position});
      sinkStopped = !go;
    }
    for (std::size_t i = 0; i < width_; ++i) cells_[i].clear();
    width_ = 0;
    rowBytes_ = 0;
    errors_.clear();
    return go;
  }

  const SheetContext& c_;
  bool rooted_ = false;  // the worksheet element has begun
  std::int64_t row_ = 0;
  std::uint64_t rowBytes_ = 0;  // the text of the row's cells so far
  bool inRow_ = false;
  bool inCell_ = false, inV_ = false, inIs_ = false;
  std::int32_t column_ = 0, nextColumn_ = 0;
  std::string type_;  // copied: the tag's bytes go with the next chunk
  int style_ = 0;
  std::string value_;
  RunText run_;
  std::vector<std::string> cells_;
  std::size_t width_ = 0;
  std::vector<std::pair<std::int32_t, std::string>> errors_;
  std::vector<std::string_view> views_;
  std::vector<SheetRow::ErrorCell> errorViews_;
};

constexpr unsigned char kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// An encrypted workbook is a compound file with an "EncryptedPackage"
// stream; an old .xls workbook is one without it.
bool HasEncryptedPackage(const std::string& path) {
  static const std::string name = [] {
    std::string utf16;
    for (const char c : std::string_view("EncryptedPackage")) utf16 += {c, '\0'};
    return utf16;
  }();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  std::string window;
  std::vector<char> chunk(kChunkBytes);
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (n == 0) return false;
    window.append(chunk.data(), n);
    if (window.find(name) != std::string::npos) return true;
    window.erase(0, window.size() - std::min(window.size(), name.size()));
  }
}

std::string CompoundFileMessage(const std::string& path) {
  if (HasEncryptedPackage(path)) return ProtectedMessage(path);
  return "Cannot read the workbook " + path +
         ".\nIt is in the old .xls format; save it as an .xlsx workbook and open it again.";
}

struct OpenedBook {
  std::optional<Archive> archive;
  Workbook book;
  std::string message;
};

OpenedBook OpenBook(const std::string& path, std::uint64_t memory) {
  OpenedBook opened;
  if (PedigreeFileKindOf(path) == PedigreeFileKind::kProtected) {
    opened.message = CompoundFileMessage(path);
    return opened;
  }
  opened.archive = OpenArchive(path, memory, opened.message);
  if (opened.archive) opened.message = ReadWorkbook(*opened.archive, opened.book);
  return opened;
}

}  // namespace

PedigreeFileKind PedigreeFileKindOf(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return PedigreeFileKind::kText;
  unsigned char head[8] = {};
  const std::size_t n = std::fread(head, 1, sizeof head, file.get());
  if (n == sizeof head && std::memcmp(head, kCompoundSignature, sizeof head) == 0)
    return PedigreeFileKind::kProtected;
  // A local file header, or the end record of an empty archive: no text
  // pedigree starts with these control bytes.
  if (n >= 4 && head[0] == 'P' && head[1] == 'K' &&
      ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6)))
    return PedigreeFileKind::kWorkbook;
  return PedigreeFileKind::kText;
}

WorkbookSheets ListWorkbookSheets(const std::string& path) {
  WorkbookSheets result;
  try {
    OpenedBook opened = OpenBook(path, 0);
    result.message = std::move(opened.message);
    if (result.message.empty())
      for (const SheetEntry& s : opened.book.sheets) result.names.push_back(s.name);
  } catch (const std::bad_alloc&) {
    result = {{}, OutOfMemoryMessage(path)};
  }
  return result;
}

std::string NoSuchSheetMessage(const std::string& path, const std::string& sheet,
                               const std::vector<std::string>& sheets) {
  std::string list;
  for (const std::string& s : sheets) list += (list.empty() ? "\"" : ", \"") + s + "\"";
  return "The workbook " + path + " has no sheet named \"" + sheet + "\".\nIts sheets: " + list + ".";
}

namespace {

SheetRead ReadSheet(const std::string& path, const std::string& sheet, const SheetRowSink& sink,
                    const std::function<void(std::int64_t size)>& onStart, std::uint64_t memory) {
  OpenedBook opened = OpenBook(path, memory);
  if (!opened.message.empty()) return {false, std::move(opened.message), 0};
  const Archive& archive = *opened.archive;
  const auto& sheets = opened.book.sheets;
  auto chosen = sheets.begin();
  if (!sheet.empty()) {
    chosen = std::find_if(sheets.begin(), sheets.end(), [&](const SheetEntry& s) { return s.name == sheet; });
    if (chosen == sheets.end()) {
      std::vector<std::string> names;
      for (const SheetEntry& s : sheets) names.push_back(s.name);
      return {false, NoSuchSheetMessage(path, sheet, names), 0};
    }
  }
  if (!HasPart(archive, chosen->part)) return {false, DamagedMessage(path), 0};
  std::vector<bool> dateStyles;
  SharedStrings strings;
  if (std::string m = ReadDateStyles(archive, opened.book, dateStyles); !m.empty()) return {false, m, 0};
  if (std::string m = ReadSharedStrings(archive, opened.book, strings); !m.empty()) return {false, m, 0};

  SheetRead result;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat(archive.zip.get(), chosen->part.c_str(), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE))
    result.size = static_cast<std::int64_t>(std::min<std::uint64_t>(stat.size, archive.limit));
  if (onStart) onStart(result.size);
  const SheetContext context{path,   chosen->name, chosen->part, strings, dateStyles, opened.book.date1904,
                             archive.memory - std::min(archive.memory, strings.held()), archive.memory, sink};
  SheetScan scan(context);
  std::string message = ScanPart(archive, chosen->part, scan, &scan.position);
  if (!message.empty()) return {false, std::move(message), result.size};
  // A sheet whose last row lacks its closing tag still hands the row on.
  if (scan.message.empty() && !scan.sinkStopped && scan.Finish()) scan.Close("row");
  if (!scan.message.empty()) return {false, std::move(scan.message), result.size};
  if (scan.sinkStopped) return {false, {}, result.size};
  result.ok = true;
  return result;
}

}  // namespace

SheetRead ReadWorkbookSheet(const std::string& path, const std::string& sheet, const SheetRowSink& sink,
                            const std::function<void(std::int64_t size)>& onStart, std::uint64_t memory) {
  try {
    return ReadSheet(path, sheet, sink, onStart, memory);
  } catch (const std::bad_alloc&) {
    return {false, OutOfMemoryMessage(path), 0};
  }
}

}  // namespace kinvar
