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
#include <optional>
#include <pugixml.hpp>
#include <system_error>

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
constexpr std::int32_t kMaxColumns = 16384;
constexpr std::size_t kLongestToken = std::size_t{16} << 20;

std::string DamagedMessage(const std::string& path) {
  return "Cannot read the workbook " + path + ".\nThe file is damaged or is not an .xlsx workbook.";
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

// The open container and what every part may unpack to.
struct Archive {
  std::string path;
  std::unique_ptr<zip_t, ZipCloser> zip;
  std::uint64_t limit = 0;
};

std::optional<Archive> OpenArchive(const std::string& path, std::string& message) {
  int error = 0;
  Archive archive{path, std::unique_ptr<zip_t, ZipCloser>(zip_open(path.c_str(), ZIP_RDONLY, &error)), 0};
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
  std::vector<char> chunk(kChunkBytes);
  std::uint64_t total = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(file.get(), chunk.data(), chunk.size());
    if (n < 0) return DamagedMessage(archive.path);
    total += static_cast<std::uint64_t>(n);
    if (total > archive.limit) return BombMessage(archive.path, name);
    const bool last = n == 0;
    if (!consume(std::string_view(chunk.data(), static_cast<std::size_t>(n)), last)) {
      if (stopped != nullptr) *stopped = true;
      return {};
    }
    if (last) return {};
  }
}

std::string ReadPart(const Archive& archive, const std::string& name, std::string& out) {
  out.clear();
  return StreamPart(archive, name, [&out](std::string_view bytes, bool) {
    out.append(bytes);
    return true;
  });
}

// Parses a small part; pugixml's defaults read no document type, so no
// entity of one is expanded.
std::string ParsePart(const Archive& archive, const std::string& name, pugi::xml_document& doc) {
  std::string text;
  if (std::string message = ReadPart(archive, name, text); !message.empty()) return message;
  if (!doc.load_buffer(text.data(), text.size(), pugi::parse_default)) return DamagedMessage(archive.path);
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

std::string WorkbookPart(const Archive& archive) {
  const std::string fallback = "xl/workbook.xml";
  if (!HasPart(archive, "_rels/.rels")) return fallback;
  pugi::xml_document rels;
  if (!ParsePart(archive, "_rels/.rels", rels).empty()) return fallback;
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
  const std::string part = WorkbookPart(archive);
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
  if (book.sheets.empty()) return "Cannot read the workbook " + archive.path + ".\nIt has no worksheet.";
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

struct SharedStringScan {
  std::vector<std::string>& strings;
  RunText run;
  bool inItem = false;

  bool Open(std::string_view name, std::string_view, bool selfClosing) {
    if (name == "si") {
      run = {};
      inItem = !selfClosing;
      if (selfClosing) strings.emplace_back();
    } else if (inItem) {
      run.Open(name, selfClosing);
    }
    return true;
  }
  bool Close(std::string_view name) {
    if (name == "si" && inItem) {
      strings.push_back(std::move(run.text));
      inItem = false;
    } else if (inItem) {
      run.Close(name);
    }
    return true;
  }
  bool Text(std::string_view raw, bool cdata) {
    if (inItem) run.Text(raw, cdata);
    return true;
  }
};

// Feeds a part through a scanner, keeping the unfinished token between
// chunks and counting the bytes read into `position`. A token longer than
// any that a workbook holds marks the part damaged: waiting for its end
// would scan it again with every chunk.
template <typename Handler>
std::string ScanPart(const Archive& archive, const std::string& name, Handler& handler,
                     std::int64_t* position = nullptr) {
  std::string pending;
  bool tooLong = false;
  std::string message = StreamPart(archive, name, [&](std::string_view bytes, bool last) {
    if (position != nullptr) *position += static_cast<std::int64_t>(bytes.size());
    pending.append(bytes);
    bool stopped = false;
    const std::size_t used = xlsx::ScanXml(pending, last, handler, stopped);
    if (stopped) return false;
    pending.erase(0, used);
    tooLong = pending.size() > kLongestToken;
    return !tooLong;
  });
  if (message.empty() && tooLong) message = DamagedMessage(archive.path);
  return message;
}

std::string ReadSharedStrings(const Archive& archive, const Workbook& book, std::vector<std::string>& strings) {
  if (book.sharedStrings.empty() || !HasPart(archive, book.sharedStrings)) return {};
  SharedStringScan scan{strings, {}, false};
  return ScanPart(archive, book.sharedStrings, scan);
}

}  // namespace

namespace {

struct SheetContext {
  const std::string& path;
  const std::vector<std::string>& strings;
  const std::vector<bool>& dateStyles;
  bool date1904 = false;
  const SheetRowSink& sink;
};

// Turns the sheet's rows and cells into SheetRows as they stream past.
class SheetScan {
 public:
  explicit SheetScan(const SheetContext& context) : c_(context) {}

  bool Open(std::string_view name, std::string_view attributes, bool selfClosing) {
    if (name == "row") return StartRow(attributes, selfClosing);
    if (name == "c") return StartCell(attributes, selfClosing);
    if (!inCell_) return true;
    if (name == "v" && !selfClosing) inV_ = true;
    else if (name == "is" && !selfClosing) inIs_ = true;
    else if (inIs_) run_.Open(name, selfClosing);
    return true;
  }

  bool Close(std::string_view name) {
    if (name == "c" && inCell_) return FinishCell();
    if (name == "row" && inRow_) return FinishRow();
    if (name == "v") inV_ = false;
    else if (name == "is") inIs_ = false;
    else if (inIs_) run_.Close(name);
    return true;
  }

  bool Text(std::string_view raw, bool cdata) {
    if (inV_) {
      if (cdata) value_.append(raw);
      else xlsx::AppendXmlText(raw, value_);
    } else if (inIs_) {
      run_.Text(raw, cdata);
    }
    return true;
  }

  std::int64_t position = 0;
  std::string message;
  bool sinkStopped = false;

 private:
  bool Fail() {
    message = DamagedMessage(c_.path);
    return false;
  }

  bool StartRow(std::string_view attributes, bool selfClosing) {
    if (inRow_ && !FinishRow()) return false;
    std::int64_t number = row_ + 1;
    if (const auto r = Attribute(attributes, "r")) {
      const auto [p, ec] = std::from_chars(r->data(), r->data() + r->size(), number);
      if (ec != std::errc() || p != r->data() + r->size() || number < 1) return Fail();
    }
    row_ = number;
    nextColumn_ = 0;
    inRow_ = !selfClosing;
    return true;
  }

  bool StartCell(std::string_view attributes, bool selfClosing) {
    if (!inRow_) return true;  // cells outside a row belong to nothing
    column_ = nextColumn_;
    if (const auto r = Attribute(attributes, "r")) {
      const auto ref = xlsx::ParseCellRef(*r);
      if (!ref) return Fail();
      column_ = ref->column;
    }
    if (column_ >= kMaxColumns) return Fail();
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
      if (ec != std::errc() || index >= c_.strings.size()) return Fail();
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
      go = c_.sink(SheetRow{row_, views_, errorViews_, position});
      sinkStopped = !go;
    }
    for (std::size_t i = 0; i < width_; ++i) cells_[i].clear();
    width_ = 0;
    errors_.clear();
    return go;
  }

  const SheetContext& c_;
  std::int64_t row_ = 0;
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

OpenedBook OpenBook(const std::string& path) {
  OpenedBook opened;
  if (PedigreeFileKindOf(path) == PedigreeFileKind::kProtected) {
    opened.message = CompoundFileMessage(path);
    return opened;
  }
  opened.archive = OpenArchive(path, opened.message);
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
  OpenedBook opened = OpenBook(path);
  WorkbookSheets result;
  result.message = std::move(opened.message);
  if (result.message.empty())
    for (const SheetEntry& s : opened.book.sheets) result.names.push_back(s.name);
  return result;
}

std::string NoSuchSheetMessage(const std::string& path, const std::string& sheet,
                               const std::vector<std::string>& sheets) {
  std::string list;
  for (const std::string& s : sheets) list += (list.empty() ? "\"" : ", \"") + s + "\"";
  return "The workbook " + path + " has no sheet named \"" + sheet + "\".\nIts sheets: " + list + ".";
}

SheetRead ReadWorkbookSheet(const std::string& path, const std::string& sheet, const SheetRowSink& sink,
                            const std::function<void(std::int64_t size)>& onStart) {
  OpenedBook opened = OpenBook(path);
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
  std::vector<std::string> strings;
  if (std::string m = ReadDateStyles(archive, opened.book, dateStyles); !m.empty()) return {false, m, 0};
  if (std::string m = ReadSharedStrings(archive, opened.book, strings); !m.empty()) return {false, m, 0};

  SheetRead result;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat(archive.zip.get(), chosen->part.c_str(), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE))
    result.size = static_cast<std::int64_t>(std::min<std::uint64_t>(stat.size, archive.limit));
  if (onStart) onStart(result.size);
  const SheetContext context{path, strings, dateStyles, opened.book.date1904, sink};
  SheetScan scan(context);
  std::string message = ScanPart(archive, chosen->part, scan, &scan.position);
  if (!message.empty()) return {false, std::move(message), result.size};
  // A sheet whose last row lacks its closing tag still hands the row on.
  if (scan.message.empty() && !scan.sinkStopped) scan.Close("row");
  if (!scan.message.empty()) return {false, std::move(scan.message), result.size};
  if (scan.sinkStopped) return {false, {}, result.size};
  result.ok = true;
  return result;
}

}  // namespace kinvar
