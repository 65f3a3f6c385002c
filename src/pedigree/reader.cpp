#include "pedigree/reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "pedigree/line_splitter.h"
#include "pedigree/number_text.h"
#include "pedigree/pedigree_input.h"

namespace kinvar::line_splitter {

namespace {

bool IsNa(std::string_view cell) {
  return cell.size() == 2 && (cell[0] | 0x20) == 'n' && (cell[1] | 0x20) == 'a';
}
bool IsMissing(std::string_view cell) { return cell.empty() || cell == "." || IsNa(cell); }

bool IsTrimmed(char c, char delimiter) { return c == ' ' || (c == '\t' && delimiter != '\t'); }

// A cell that begins with a double quote at *p: when the quote is closed on
// the line, sets `cell` to its content (and what follows the closing quote
// up to `stop`), moves p past it and returns true.
bool ReadQuoted(const char*& p, const char* end, char delimiter, LineCells& out, std::size_t lineSize,
                std::string_view& cell) {
  const char* q = p + 1;
  bool doubled = false;
  for (;; ++q) {
    q = static_cast<const char*>(std::memchr(q, '"', static_cast<std::size_t>(end - q)));
    if (q == nullptr) return false;
    if (q + 1 < end && q[1] == '"') {
      doubled = true;
      ++q;
      continue;
    }
    break;
  }
  const char* after = q + 1;
  const char* stop = after;
  if (delimiter == 0) {
    while (stop < end && !IsSeparator(static_cast<unsigned char>(*stop))) ++stop;
  } else {
    while (stop < end && *stop != delimiter) ++stop;
  }
  const char* tail = stop;
  while (tail > after && IsTrimmed(tail[-1], delimiter)) --tail;
  if (!doubled && tail == after) {
    cell = std::string_view(p + 1, static_cast<std::size_t>(q - p - 1));
  } else {
    if (!out.scratchReady) {
      out.scratch.clear();
      out.scratch.reserve(lineSize);
      out.scratchReady = true;
    }
    const std::size_t start = out.scratch.size();
    for (const char* c = p + 1; c < q; ++c) {
      out.scratch.push_back(*c);
      if (*c == '"') ++c;
    }
    out.scratch.append(after, tail);
    cell = std::string_view(out.scratch).substr(start);
  }
  p = stop;
  return true;
}

// A cell at p that ReadQuoted did not take: when it begins with a quote,
// that quote is never closed.
void NoteOpenQuote(const char* p, const char* end, LineCells& out) {
  if (*p == '"' && out.openQuote.empty()) out.openQuote = std::string_view(p, static_cast<std::size_t>(end - p));
}

}  // namespace

void SplitRuns(std::string_view line, std::size_t maxCells, LineCells& out) {
  out.cells.clear();
  out.scratchReady = false;
  out.openQuote = {};
  const char* p = line.data();
  const char* const end = p + line.size();
  while (out.cells.size() < maxCells) {
    while (p < end && IsSeparator(static_cast<unsigned char>(*p))) ++p;
    if (p == end) return;
    std::string_view cell;
    if (*p != '"' || !ReadQuoted(p, end, 0, out, line.size(), cell)) {
      NoteOpenQuote(p, end, out);
      const char* start = p;
      while (p < end && !IsSeparator(static_cast<unsigned char>(*p))) ++p;
      cell = std::string_view(start, static_cast<std::size_t>(p - start));
    }
    out.cells.push_back(cell);
  }
}

void SplitAt(std::string_view line, char delimiter, std::size_t maxCells, LineCells& out) {
  out.cells.clear();
  out.scratchReady = false;
  out.openQuote = {};
  const char* p = line.data();
  const char* const end = p + line.size();
  while (out.cells.size() < maxCells) {
    while (p < end && IsTrimmed(*p, delimiter)) ++p;
    std::string_view cell;
    if (p == end || *p != '"' || !ReadQuoted(p, end, delimiter, out, line.size(), cell)) {
      if (p != end) NoteOpenQuote(p, end, out);
      const char* start = p;
      const auto* d = static_cast<const char*>(std::memchr(p, delimiter, static_cast<std::size_t>(end - p)));
      p = d != nullptr ? d : end;
      const char* tail = p;
      while (tail > start && IsTrimmed(tail[-1], delimiter)) --tail;
      cell = std::string_view(start, static_cast<std::size_t>(tail - start));
    }
    out.cells.push_back(cell);
    if (p == end) return;
    ++p;
  }
}

namespace {

struct Synonyms {
  Column column;
  const char* canonical;
  std::array<const char*, 7> names;
};

const Synonyms kSynonyms[] = {
    {kProgeny, "Progeny", {"progeny", "animal", "id", "individual", "name"}},
    {kSire, "Sire", {"sire", "father"}},
    {kDam, "Dam", {"dam", "mother"}},
    {kGroup, "Group", {"group", "year", "birth year", "cohort", "herd"}},
    {kF, "F", {"f", "inbreeding"}},
    {kSex, "Sex", {"sex", "gender"}},
    {kBirth, "Birth date", {"birth date", "birthdate", "birth_date", "dob", "date of birth", "born"}},
};

std::string Lower(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

int ColumnOfName(std::string_view name) {
  const std::string lower = Lower(name);
  for (const Synonyms& s : kSynonyms) {
    for (const char* n : s.names) {
      if (n != nullptr && lower == n) return s.column;
    }
  }
  return -1;
}

void Finish(Header& h);

// With `laterWins` (a header of the five old names, which always read so),
// a column named twice is the later one.
HeaderFault MatchNames(std::span<const std::string_view> names, Header& h, std::string& message,
                       bool laterWins = false) {
  h = Header{};
  h.columns = static_cast<int>(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const int column = ColumnOfName(names[i]);
    if (column < 0) continue;
    const auto c = static_cast<std::size_t>(column);
    if (h.at[c] >= 0) {
      // A column named by its own name wins over a synonym elsewhere, so
      // that "Progeny ... Original ID" (Kinvar's re-coding file) still
      // reads; two synonyms, or the name twice, are ambiguous.
      const bool seenIsOwn = Lower(h.name[c]) == kSynonyms[c].names[0];
      const bool thisIsOwn = Lower(names[i]) == kSynonyms[c].names[0];
      if (seenIsOwn && !thisIsOwn) continue;
      if (!laterWins && (!thisIsOwn || seenIsOwn)) {
        message = std::string("Error: The header names the column ") + kSynonyms[c].canonical +
                  " twice: \"" + h.name[c] + "\" and \"" + std::string(names[i]) + "\".";
        return HeaderFault::kTwice;
      }
    }
    h.at[c] = static_cast<int>(i);
    h.name[c] = std::string(names[i]);
  }
  if (h.at[kProgeny] < 0 || h.at[kSire] < 0 || h.at[kDam] < 0) return HeaderFault::kMissing;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!names[i].empty()) h.named = static_cast<int>(i) + 1;
  }
  Finish(h);
  return HeaderFault::kNone;
}

// Comma or tab, whichever the header holds; when it holds both, the one
// that separates all its names (empty names only at the end), if only one
// does; 0 otherwise.
char FindDelimiter(std::string_view line) {
  const bool comma = line.find(',') != std::string_view::npos;
  const bool tab = line.find('\t') != std::string_view::npos;
  if (comma != tab) return comma ? ',' : '\t';
  if (!comma) return 0;
  char found = 0;
  for (const char d : {',', '\t'}) {
    LineCells pieces;
    SplitAt(line, d, SIZE_MAX, pieces);
    std::size_t last = pieces.cells.size();
    while (last > 0 && pieces.cells[last - 1].empty()) --last;
    bool all = last >= 2;
    for (std::size_t i = 0; i < last; ++i) all = all && !pieces.cells[i].empty();
    if (!all) continue;
    if (found != 0) return 0;
    found = d;
  }
  return found;
}

void Finish(Header& h) {
  h.required = h.needed = 0;
  for (int c = 0; c < kColumnCount; ++c) {
    if (c <= kF) h.required = std::max(h.required, h.at[static_cast<std::size_t>(c)] + 1);
    h.needed = std::max(h.needed, h.at[static_cast<std::size_t>(c)] + 1);
  }
  h.columnAt.assign(static_cast<std::size_t>(std::max(h.needed, h.columns)), -1);
  for (int c = 0; c < kColumnCount; ++c) {
    const int at = h.at[static_cast<std::size_t>(c)];
    if (at >= 0) h.columnAt[static_cast<std::size_t>(at)] = static_cast<signed char>(c);
  }
}

using PlainColumns = std::array<int, kSex>;

// The columns of Progeny..F as the header was always read: the first five
// fields between runs of separators, the later name winning; false when
// that header did not read.
bool ReadPlainHeader(std::string_view line, PlainColumns& at) {
  at.fill(-1);
  const char* const names[] = {"progeny", "sire", "dam", "group", "f"};
  std::size_t i = 0;
  for (int field = 0; field < 5; ++field) {
    while (i < line.size() && IsSeparator(static_cast<unsigned char>(line[i]))) ++i;
    if (i == line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && !IsSeparator(static_cast<unsigned char>(line[i]))) ++i;
    std::string name(line.substr(start, i - start));
    if (name.size() > static_cast<std::size_t>(kMaxIdLength)) return false;
    for (char& c : name) {
      if (kByteKinds[static_cast<unsigned char>(c)] != kOrdinary) return false;
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (int c = 0; c < kSex; ++c) {
      if (name == names[c]) at[static_cast<std::size_t>(c)] = field;
    }
  }
  return at[kProgeny] >= 0 && at[kSire] >= 0 && at[kDam] >= 0;
}

bool SameColumns(const PlainColumns& plain, const Header& h) {
  for (int c = 0; c < kSex; ++c) {
    if (plain[static_cast<std::size_t>(c)] != h.at[static_cast<std::size_t>(c)]) return false;
  }
  return true;
}

// A header that always read keeps its columns of Progeny..F; the new
// columns may not take their places.
void KeepPlainColumns(const PlainColumns& plain, Header& h) {
  if (SameColumns(plain, h)) return;
  for (int c = 0; c < kSex; ++c) {
    const auto i = static_cast<std::size_t>(c);
    h.at[i] = plain[i];
    h.name[i] = kSynonyms[i].canonical;
  }
  for (const int c : {kSex, kBirth}) {
    const auto i = static_cast<std::size_t>(c);
    if (std::find(plain.begin(), plain.end(), h.at[i]) != plain.end()) h.at[i] = -1;
  }
  h.columns = std::max(h.columns, 1 + *std::max_element(plain.begin(), plain.end()));
  h.named = std::max(h.named, 1 + *std::max_element(plain.begin(), plain.end()));
  Finish(h);
}

}  // namespace

HeaderFault ParseHeaderCells(std::span<const std::string_view> names, Header& header, std::string& message) {
  return MatchNames(names, header, message);
}

HeaderFault ParseHeaderLine(std::string_view line, Header& header, std::string& message) {
  PlainColumns plain;
  const bool plainReads = ReadPlainHeader(line, plain);
  LineCells names;
  HeaderFault worst = HeaderFault::kMissing;
  std::string twice;
  const auto attempt = [&](char delimiter) {
    if (delimiter == 0) {
      SplitRuns(line, SIZE_MAX, names);
    } else {
      SplitAt(line, delimiter, SIZE_MAX, names);
    }
    const HeaderFault fault = MatchNames(names.cells, header, twice, plainReads);
    if (fault == HeaderFault::kTwice && worst != HeaderFault::kTwice) {
      worst = fault;
      message = twice;
    }
    header.delimiter = delimiter;
    return fault == HeaderFault::kNone;
  };
  const char delimiter = FindDelimiter(line);
  if (delimiter != 0 && attempt(delimiter) && (!plainReads || SameColumns(plain, header))) {
    // A header that read before as it reads now keeps its lines' reading:
    // split at runs first, at the delimiter only when too few fields; so a
    // line may have as many fields as the header has at runs.
    header.strict = !plainReads;
    if (!header.strict) {
      LineCells runs;
      SplitRuns(line, SIZE_MAX, runs);
      header.named = std::max(header.named, static_cast<int>(runs.cells.size()));
    }
    return HeaderFault::kNone;
  }
  // Semicolons before runs of blanks: "Animal ; Father ; Mother" would read
  // at runs too, the semicolons as names of ignored columns, and then no
  // line written "A;0;0" would.
  if (delimiter == 0 && worst != HeaderFault::kTwice && line.find(';') != std::string_view::npos &&
      attempt(';')) {
    header.strict = true;
    return HeaderFault::kNone;
  }
  if (worst != HeaderFault::kTwice && attempt(0)) {
    header.delimiter = 0;
    header.strict = false;
    if (plainReads) KeepPlainColumns(plain, header);
    return HeaderFault::kNone;
  }
  if (delimiter != 0 && worst != HeaderFault::kTwice && line.find(';') != std::string_view::npos &&
      attempt(';')) {
    header.strict = true;
    return HeaderFault::kNone;
  }
  return worst;
}

// Lines are split whole, so that a cell beyond the header's names, and a
// quote that is not closed, are seen wherever they stand.
const LineCells& SplitDataLine(std::string_view line, const Header& h, LineCells& a, LineCells& b) {
  const auto required = static_cast<std::size_t>(h.required);
  if (h.delimiter == 0) {
    SplitRuns(line, SIZE_MAX, a);
    return a;
  }
  if (h.strict) {
    SplitAt(line, h.delimiter, SIZE_MAX, a);
    if (a.cells.size() >= required) return a;
    SplitRuns(line, SIZE_MAX, b);
    return b.cells.size() >= required ? b : a;
  }
  // A line with fewer fields than the header has empty cells: split it
  // again at the header's delimiter.
  const auto columns = static_cast<std::size_t>(h.columns);
  SplitRuns(line, SIZE_MAX, a);
  if (a.cells.size() >= columns) return a;
  SplitAt(line, h.delimiter, SIZE_MAX, b);
  return b.cells.size() >= required && b.cells.size() > a.cells.size() ? b : a;
}

namespace {

// The checks of every used cell, byte by byte as the fields were always
// checked: the first offending byte decides.
Fault CheckBytes(std::string_view cell) {
  for (std::size_t i = 0; i < cell.size(); ++i) {
    switch (kByteKinds[static_cast<unsigned char>(cell[i])]) {
      case kNul:
        return Fault::kFormat;
      case kForbidden:
        return Fault::kForbidden;
      case kNotInId:
      case kOrdinary:
        if (i == static_cast<std::size_t>(kMaxIdLength)) return Fault::kTooLong;
        break;
    }
  }
  return Fault::kNone;
}

void CopyUpper(std::string_view cell, char* id) {
  for (const char c : cell) *id++ = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  *id = 0;
}

// Kinvar's own files, which are read again, put blanks between columns, and
// a comma or a tab splits a line as a blank does: an ID may hold none of
// them. Nor may it hold a control character, which would garble reports and
// files, or a double quote, which would open a quoted field when Kinvar's
// own file is read again. kNone when it holds none of these.
Fault IdFault(std::string_view cell) {
  if (cell.find_first_of(" \t") != std::string_view::npos) return Fault::kBlankInId;
  unsigned char any = 0;
  for (const char c : cell) any |= kByteKinds[static_cast<unsigned char>(c)];
  if ((any & kNotInId) != 0) {
    return cell.find('"') != std::string_view::npos ? Fault::kQuoteInId : Fault::kControlInId;
  }
  if (cell.find(',') != std::string_view::npos) return Fault::kCommaInId;
  return Fault::kNone;
}

// An empty parent is unknown. NA stays text: it is unknown too unless the
// file lists an individual NA (ResolveNaParents).
Fault ReadParent(std::string_view cell, char* id, bool& na) {
  if (cell.empty()) {
    id[0] = '0';
    id[1] = 0;
    return Fault::kNone;
  }
  na = na || IsNa(cell);
  if (const Fault fault = IdFault(cell); fault != Fault::kNone) return fault;
  CopyUpper(cell, id);
  return Fault::kNone;
}

// kNone, kF (out of 0..1) or kFNotNumber (some of the cell is no number).
Fault ReadF(std::string_view cell, Rec& r) {
  if (IsMissing(cell)) return Fault::kNone;
  std::optional<double> value;
  if (cell.find(',') == std::string_view::npos) {
    value = WholeNumber(cell);
  } else {
    // A comma is a decimal comma: a cell never holds a list.
    std::string text(cell);
    std::replace(text.begin(), text.end(), ',', '.');
    value = WholeNumber(text);
  }
  if (!value) return Fault::kFNotNumber;
  const auto f = static_cast<float>(*value);
  if (!(f >= 0.0f && f <= 1.0f)) return Fault::kF;
  r.f = f;
  r.fPredefined = true;
  return Fault::kNone;
}

// Digits only: no sign, no blank, no fraction.
bool ReadGroup(std::string_view cell, std::int64_t& number) {
  if (IsMissing(cell)) return true;
  for (const char c : cell) {
    if (c < '0' || c > '9') return false;
  }
  const std::optional<std::int64_t> value = WholeInteger(cell, 0, INT32_MAX);
  if (!value) return false;
  number = *value;
  return true;
}

bool ReadSex(std::string_view cell, Rec& r) {
  if (IsMissing(cell)) return true;
  std::string lower(cell);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower == "m" || lower == "male" || lower == "1") {
    r.sex = Sex::kMale;
  } else if (lower == "f" || lower == "female" || lower == "2") {
    r.sex = Sex::kFemale;
  } else {
    return false;
  }
  return true;
}

int Digits(std::string_view text) {
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A year alone has no month or day; 1 July stands for it, so that the
// interval between two years comes out as whole years on average.
bool ReadBirth(std::string_view cell, Rec& r) {
  if (IsMissing(cell)) return true;
  const int year = cell.size() >= 4 ? Digits(cell.substr(0, 4)) : -1;
  if (year < 1) return false;
  int month = 7;
  int day = 1;
  if (cell.size() == 10 && cell[4] == '-' && cell[7] == '-') {
    month = Digits(cell.substr(5, 2));
    day = Digits(cell.substr(8, 2));
    constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap) return false;
  } else if (cell.size() != 4) {
    return false;
  }
  r.birth = DaysFromCivil(year, month, day);
  return true;
}

}  // namespace

std::int32_t DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

RowFault ReadRow(std::span<const std::string_view> cells, const Header& h, bool padded, Rec& r,
                 ParentLink& link, RowValues& values) {
  const std::size_t count = std::min(cells.size(), static_cast<std::size_t>(h.needed));
  for (std::size_t i = 0; i < count; ++i) {
    if (h.columnAt[i] < 0) continue;
    const Fault fault = CheckBytes(cells[i]);
    if (fault != Fault::kNone) return {fault, h.columnAt[i], cells[i]};
  }
  if (!padded && cells.size() < static_cast<std::size_t>(h.required)) return {Fault::kFormat, -1, {}};
  if (!padded) {
    for (std::size_t i = static_cast<std::size_t>(h.named); i < cells.size(); ++i) {
      if (!cells[i].empty()) return {Fault::kExtraField, -1, cells[i]};
    }
  }
  const auto cell = [&](Column c) {
    const auto at = static_cast<std::size_t>(h.at[static_cast<std::size_t>(c)]);
    return at < cells.size() ? cells[at] : std::string_view();
  };
  if (h.at[kF] >= 0) {
    if (const Fault fault = ReadF(cell(kF), r); fault != Fault::kNone) return {fault, kF, cell(kF)};
  }
  values.groupNumber = -1;
  if (h.at[kGroup] >= 0 && !ReadGroup(cell(kGroup), values.groupNumber)) {
    return {Fault::kGroup, kGroup, cell(kGroup)};
  }
  const std::string_view id = cell(kProgeny);
  if (id.empty()) return {Fault::kNoId, kProgeny, id};
  if (const Fault fault = IdFault(id); fault != Fault::kNone) return {fault, kProgeny, id};
  if (IsNa(id)) return {Fault::kNaId, kProgeny, id};
  CopyUpper(id, r.id);
  for (const Column parent : {kSire, kDam}) {
    char* text = parent == kSire ? link.sire : link.dam;
    if (const Fault fault = ReadParent(cell(parent), text, values.naParent); fault != Fault::kNone) {
      return {fault, parent, cell(parent)};
    }
  }
  if (h.at[kSex] >= 0 && !ReadSex(cell(kSex), r)) return {Fault::kSex, kSex, cell(kSex)};
  if (h.at[kBirth] >= 0 && !ReadBirth(cell(kBirth), r)) return {Fault::kBirth, kBirth, cell(kBirth)};
  return {};
}

namespace {

constexpr std::size_t kPlainCells = 16;

constexpr std::array<bool, 256> MakeSeparators() {
  std::array<bool, 256> separators{};
  for (int c = 0; c < 256; ++c) separators[static_cast<std::size_t>(c)] = IsSeparator(static_cast<unsigned char>(c));
  return separators;
}
constexpr std::array<bool, 256> kSeparators = MakeSeparators();

// The first blank, comma or tab of [p, end), or end; eight bytes at a time
// where words are stored little end first.
const unsigned char* FieldEnd(const unsigned char* p, const unsigned char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    // The lowest byte flagged is always a zero byte of x; others may not be.
    const auto zeroBytes = [](std::uint64_t x) { return (x - kOnes) & ~x & (kOnes << 7); };
    for (; end - p >= 8; p += 8) {
      std::uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const std::uint64_t found =
          zeroBytes(word ^ (kOnes * ' ')) | zeroBytes(word ^ (kOnes * ',')) | zeroBytes(word ^ (kOnes * '\t'));
      if (found != 0) return p + std::countr_zero(found) / 8;
    }
  }
  while (p < end && !kSeparators[*p]) ++p;
  return p;
}

// A field of a line; trivial, so that an array of them costs nothing until
// filled (an array of views would be cleared for every line).
struct PlainCell {
  const char* data;
  std::size_t size;
  std::string_view View() const { return {data, size}; }
};

// The fields of a line split at runs: the first `keep` into `cells`, and
// up to `count` in all; false when a field begins with a quote.
bool SplitPlain(std::string_view line, std::size_t keep, std::size_t count, PlainCell (&cells)[kPlainCells],
                std::size_t& found) {
  const auto* p = reinterpret_cast<const unsigned char*>(line.data());
  const unsigned char* const end = p + line.size();
  found = 0;
  while (found < count) {
    while (p < end && kSeparators[*p]) ++p;
    if (p == end) return true;
    if (*p == '"') return false;
    const unsigned char* start = p;
    p = FieldEnd(p, end);
    if (found < keep) {
      cells[found] = {reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start)};
    }
    ++found;
  }
  return true;
}

// A used cell as CheckBytes passes it, which every cell of a split at runs
// that is not longer than an ID does when its bytes are ordinary.
bool Ordinary(std::string_view cell) {
  if (cell.size() > static_cast<std::size_t>(kMaxIdLength)) return false;
  unsigned char any = 0;
  for (const char c : cell) any |= kByteKinds[static_cast<unsigned char>(c)];
  return any == kOrdinary;
}

// CopyUpper of a cell that Ordinary passes, checking as it copies.
bool CopyId(std::string_view cell, char* id) {
  if (cell.size() > static_cast<std::size_t>(kMaxIdLength)) return false;
  unsigned char any = 0;
  for (const char c : cell) {
    const auto b = static_cast<unsigned char>(c);
    any |= kByteKinds[b];
    *id++ = static_cast<char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
  }
  *id = 0;
  return any == kOrdinary;
}

bool ReadPlainCell(Column column, std::string_view cell, Rec& r, ParentLink& link, RowValues& values) {
  switch (column) {
    case kProgeny:
      return CopyId(cell, r.id) && !IsNa(cell);
    case kSire:
    case kDam:
      values.naParent = values.naParent || IsNa(cell);
      return CopyId(cell, column == kSire ? link.sire : link.dam);
    case kGroup:
      return Ordinary(cell) && ReadGroup(cell, values.groupNumber);
    case kF:
      return Ordinary(cell) && ReadF(cell, r) == Fault::kNone;
    case kSex:
      return Ordinary(cell) && ReadSex(cell, r);
    case kBirth:
      return Ordinary(cell) && ReadBirth(cell, r);
    case kColumnCount:
      break;
  }
  return true;
}

}  // namespace

bool ReadPlainRow(std::string_view line, const Header& h, Rec& r, ParentLink& link, RowValues& values) {
  const auto needed = static_cast<std::size_t>(h.needed);
  if (h.strict || needed > kPlainCells) return false;
  // Without a delimiter the line needs the required fields; with one, a
  // line of fewer fields than the header is split again at it.
  const std::size_t least = h.delimiter == 0 ? static_cast<std::size_t>(h.required)
                                             : static_cast<std::size_t>(h.columns);
  const auto named = static_cast<std::size_t>(h.named);
  PlainCell cells[kPlainCells];
  std::size_t found = 0;
  // One field more than the header names is enough to see that there is one.
  if (!SplitPlain(line, needed, std::max({needed, least, named + 1}), cells, found) || found < least ||
      found > named) {
    return false;
  }
  values.groupNumber = -1;
  for (std::size_t i = 0; i < std::min(found, needed); ++i) {
    const int column = h.columnAt[i];
    if (column >= 0 && !ReadPlainCell(static_cast<Column>(column), cells[i].View(), r, link, values)) return false;
  }
  return true;
}

RowFault ReadTextLine(std::string_view line, const Header& h, LineCells& a, LineCells& b, Rec& r,
                      ParentLink& link, RowValues& values) {
  if (ReadPlainRow(line, h, r, link, values)) return {};
  values = {};
  const LineCells& cells = SplitDataLine(line, h, a, b);
  if (!cells.openQuote.empty()) return {Fault::kOpenQuote, -1, cells.openQuote.substr(1)};
  return ReadRow(cells.cells, h, false, r, link, values);
}

std::string FaultMessage(const RowFault& fault, std::int64_t line, const Header& h) {
  const std::string at = "Error in line " + std::to_string(line);
  const std::string plain = at + ".\n";
  const std::string column =
      fault.column < 0 ? plain : at + ", column " + h.name[static_cast<std::size_t>(fault.column)] + ".\n";
  // The messages that files have always had keep their two lines; the
  // column and the cell follow, so the cell is easy to find.
  const std::string where =
      fault.column < 0 ? std::string()
                       : "\nColumn " + h.name[static_cast<std::size_t>(fault.column)] + ": \"" +
                             std::string(fault.cell) + "\"";
  switch (fault.fault) {
    case Fault::kFormat:
      return plain + "The format is not correct.";
    case Fault::kForbidden:
      return plain + "These characters   '<'   '>'   '|'   '!'   are not permitted." + where;
    case Fault::kTooLong:
      return plain + "The length of each field should not be more than 20." + where;
    case Fault::kF:
      return plain + "The inbreeding coefficient must be in the range of 0 - 1." + where;
    case Fault::kFNotNumber:
      return plain + "The inbreeding coefficient must be a number in the range of 0 - 1." + where;
    case Fault::kGroup:
      return plain + "The group must be a whole number in the range of 0 to 2147483647." + where;
    case Fault::kSex:
      return column + "The sex must be M, F, male, female, 1 or 2 (1 male, 2 female), or empty or \".\" "
                      "when it is not known; \"" + std::string(fault.cell) + "\" is none of these.";
    case Fault::kBirth:
      return column + "\"" + std::string(fault.cell) +
             "\" is not a birth date. Write a date as 2021-04-17, or a year alone as 2021.";
    case Fault::kNoId:
      return column + "The individual has no ID.";
    case Fault::kBlankInId:
      return column + "The ID \"" + std::string(fault.cell) +
             "\" contains a blank. IDs cannot contain blanks, since Kinvar writes its files "
             "with blanks between the columns.";
    case Fault::kCommaInId:
      return column + "The ID \"" + std::string(fault.cell) +
             "\" contains a comma. IDs cannot contain commas, since Kinvar reads a comma in its files "
             "as a blank between the columns.";
    case Fault::kControlInId:
      return column + "The ID " + QuotedCell(fault.cell) +
             " contains a control character (shown as ?). IDs cannot contain control characters.";
    case Fault::kQuoteInId:
      return column + "The ID " + QuotedCell(fault.cell) +
             " contains a double quote. IDs cannot contain double quotes, since Kinvar reads a double quote "
             "in its files as the start of a quoted field.";
    case Fault::kNaId:
      return column + "The ID \"" + std::string(fault.cell) +
             "\" means an unknown parent, so no individual can have it.";
    case Fault::kExtraField:
      return plain + "The field " + QuotedCell(fault.cell) +
             " stands beyond the columns that the header names. Remove it, or name its column in the "
             "header; an ID cannot contain blanks.";
    case Fault::kOpenQuote:
      return plain + "The format is not correct.\nThe double quote that opens " + QuotedCell(fault.cell) +
             " is not closed on the line.";
    case Fault::kTooManyGroups:
      return plain + "There are more groups than Kinvar can hold.";
    case Fault::kNone:
      break;
  }
  return plain;
}

void ResolveNaParents(Pedigree& ped) {
  for (std::size_t i = 1; i < ped.recs.size(); ++i) {
    if (std::strcmp(ped.recs[i].id, "NA") == 0) return;
  }
  for (ParentLink& link : ped.links) {
    for (char* id : {link.sire, link.dam}) {
      if (std::strcmp(id, "NA") == 0) std::strcpy(id, "0");
    }
  }
}

bool GroupTable::Add(Pedigree& ped, std::int64_t number, Rec& r) {
  using Index = decltype(Rec::group);
  const auto key = static_cast<std::int32_t>(number);
  std::int32_t* slot = nullptr;
  if (key < kDirect) {
    if (direct_.empty()) direct_.assign(kDirect, 0);
    slot = &direct_[static_cast<std::size_t>(key)];
  } else {
    slot = &index_.try_emplace(key, 0).first->second;
  }
  if (*slot == 0) {
    if (ped.groups.size() >= static_cast<std::size_t>(std::numeric_limits<Index>::max()) ||
        ped.groups.size() >= static_cast<std::size_t>(std::numeric_limits<decltype(ped.nGroups)>::max())) {
      return false;
    }
    ped.groups.push_back({key, 0});
    ped.nGroups = static_cast<decltype(ped.nGroups)>(ped.groups.size());
    *slot = static_cast<std::int32_t>(ped.groups.size());
  }
  const std::int32_t index = *slot - 1;
  ++ped.groups[static_cast<std::size_t>(index)].count;
  r.group = static_cast<Index>(index);
  return true;
}

void GroupTable::BuildOrder(Pedigree& ped) {
  auto& order = ped.groupOrder;
  order.resize(ped.groups.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::int32_t>(i);
  // Group numbers are distinct, so this order is the only one.
  std::sort(order.begin(), order.end(), [&ped](std::int32_t a, std::int32_t b) {
    return ped.groups[static_cast<std::size_t>(a)].group < ped.groups[static_cast<std::size_t>(b)].group;
  });
}

}  // namespace kinvar::line_splitter

namespace kinvar {

using namespace line_splitter;

namespace {

constexpr int kProgressEvery = 500;
constexpr std::size_t kChunkSize = 1 << 20;
// Lines are read whole; one longer than this is no line of a pedigree.
constexpr std::size_t kMaxLineBytes = std::size_t{64} << 20;

const char* const kHeaderMessage =
    "Error: The header row format is not correct.\n"
    "The pedigree file must have header row with field names.\n"
    "(i.e. Progeny Sire Dam Group F. Group and F are optional).";

const char* const kNoAnimalMessage = "The file has a header row but no animal.";

}  // namespace

// Header and data rows, however they were split, into records, links and
// groups.
class RecordBuilder {
 public:
  RecordBuilder(Pedigree& ped, Progress& progress) : ped_(ped), progress_(progress) {}

  bool headerSeen() const { return headerSeen_; }
  const Header& header() const { return header_; }

  bool HeaderResult(HeaderFault fault, std::string& message) {
    headerSeen_ = true;
    if (fault == HeaderFault::kTwice) return Fail(std::move(message));
    if (fault != HeaderFault::kNone) return Fail(kHeaderMessage);
    const auto column = [this](Column c) { return static_cast<std::int16_t>(header_.at[c]); };
    ped_.fColumn = column(kF);
    ped_.groupColumn = column(kGroup);
    ped_.sexColumn = column(kSex);
    ped_.birthColumn = column(kBirth);
    return true;
  }
  Header& mutableHeader() { return header_; }

  bool Row(std::int64_t line, std::span<const std::string_view> cells, bool padded, std::int64_t position) {
    Rec& r = ped_.recs.emplace_back();
    ParentLink& link = ped_.links.emplace_back();
    RowValues values;
    return Store(line, ReadRow(cells, header_, padded, r, link, values), values, position);
  }

  // A data line of a text file, without leading white space.
  bool TextRow(std::int64_t line, std::string_view text, std::int64_t position, LineCells& a, LineCells& b) {
    Rec& r = ped_.recs.emplace_back();
    ParentLink& link = ped_.links.emplace_back();
    RowValues values;
    return Store(line, ReadTextLine(text, header_, a, b, r, link, values), values, position);
  }

  bool Finish() {
    if (!headerSeen_) return Fail("File is empty.");
    if (read_ == 0) return Fail(kNoAnimalMessage);
    ped_.nRead = read_;
    if (naParent_) ResolveNaParents(ped_);
    GroupTable::BuildOrder(ped_);
    return true;
  }

  bool Fail(std::string message) {
    outcome_.message = std::move(message);
    return false;
  }
  ReadOutcome& outcome() { return outcome_; }

 private:
  // The groups and progress of the row just read into the last record.
  bool Store(std::int64_t line, RowFault fault, const RowValues& values, std::int64_t position) {
    Rec& r = ped_.recs.back();
    ped_.links.back().rec = static_cast<RecIndex>(ped_.recs.size() - 1);
    ped_.lines.push_back(static_cast<std::int32_t>(std::min<std::int64_t>(line, INT32_MAX)));
    naParent_ = naParent_ || values.naParent;
    if (fault.fault == Fault::kNone && values.groupNumber >= 0 && !groups_.Add(ped_, values.groupNumber, r)) {
      fault = {Fault::kTooManyGroups, kGroup, {}};
    }
    if (fault.fault != Fault::kNone) return Fail(FaultMessage(fault, line, header_));
    if (read_ % kProgressEvery == 0 && progress_.Step(position)) return false;
    ++read_;
    return true;
  }

  Pedigree& ped_;
  Progress& progress_;
  Header header_;
  GroupTable groups_;
  bool headerSeen_ = false;
  bool naParent_ = false;
  std::int32_t read_ = 0;
  ReadOutcome outcome_;
};

namespace {

class Reader {
 public:
  Reader(Pedigree& ped, Progress& progress) : builder_(ped, progress) {}

  // Processes one whole line without its terminator; false stops reading.
  bool Line(std::string_view raw, std::int64_t bytePos) {
    ++lineNo_;
    const std::string_view line = TrimLeading(raw);
    if (line.empty()) return true;
    if (!builder_.headerSeen()) {
      if (line[0] == '!') return true;
      std::string message;
      return builder_.HeaderResult(ParseHeaderLine(line, builder_.mutableHeader(), message), message);
    }
    return builder_.TextRow(lineNo_, line, bytePos, a_, b_);
  }

  bool TooLong() {
    return builder_.Fail("Error in line " + std::to_string(lineNo_ + 1) + ".\nThe line is longer than " +
                         std::to_string(kMaxLineBytes) + " bytes.");
  }

  bool Finish() { return builder_.Finish(); }
  ReadOutcome& outcome() { return builder_.outcome(); }

 private:
  RecordBuilder builder_;
  LineCells a_;
  LineCells b_;
  int lineNo_ = 0;
};

// Cuts what is read into lines at line feeds, at carriage return and line
// feed pairs, and at carriage returns alone (files of old Macintosh
// programs), whichever block boundary falls between the two bytes of a pair.
class LineCutter {
 public:
  explicit LineCutter(Reader& reader) : reader_(reader) {}

  // One block of the input; false stops reading.
  bool Block(const char* data, std::size_t n, std::int64_t pos) {
    std::size_t i = 0;
    if (lfAfterCr_ && n > 0) {
      lfAfterCr_ = false;
      if (data[0] == '\n') i = 1;
    }
    const char* lf = nullptr;  // the next line feed at or after i, or the end
    while (i < n) {
      if (lf == nullptr || lf < data + i) {
        lf = static_cast<const char*>(std::memchr(data + i, '\n', n - i));
        if (lf == nullptr) lf = data + n;
      }
      const auto* cr = static_cast<const char*>(std::memchr(data + i, '\r', static_cast<std::size_t>(lf - data) - i));
      const char* stop = cr != nullptr ? cr : lf;
      const auto end = static_cast<std::size_t>(stop - data);
      if (carry_.size() + (end - i) > kMaxLineBytes) return reader_.TooLong();
      if (stop == data + n) {
        carry_.append(data + i, end - i);
        return true;
      }
      std::string_view line(data + i, end - i);
      if (!carry_.empty()) line = carry_.append(line);
      if (!reader_.Line(line, pos + static_cast<std::int64_t>(end))) return false;
      carry_.clear();
      i = end + 1;
      if (*stop == '\r') {
        if (i < n && data[i] == '\n') {
          ++i;
        } else if (i == n) {
          lfAfterCr_ = true;
        }
      }
    }
    return true;
  }

  // The last line, when no line end closes it.
  bool End(std::int64_t pos) { return reader_.Line(carry_, pos); }

 private:
  Reader& reader_;
  std::string carry_;  // the start of a line that the block cut
  bool lfAfterCr_ = false;
};

// Room for the records of a regular file, counted ahead by the lines that
// can hold one, and for the parents that validation adds, up to an eighth of
// them; the capacity is never touched unless it is used.
bool ReserveForRecords(PedigreeInput& input, Pedigree& ped, std::vector<unsigned char>& chunk) {
  std::size_t lines = 0;
  bool lineOpen = false;  // the block ended inside a line that holds a byte
  for (std::size_t n; (n = input.Read(chunk.data(), chunk.size())) > 0;) {
    const unsigned char* begin = chunk.data();
    const unsigned char* const end = begin + n;
    // A line that a block boundary cut is counted once, in the block where
    // it began to hold a byte.
    if (lineOpen) {
      const auto* lf = static_cast<const unsigned char*>(std::memchr(begin, '\n', n));
      if (lf == nullptr) continue;
      begin = lf + 1;
    }
    lines += CountFilledLines(begin, end);
    const unsigned char* tail = end;
    while (tail > begin && tail[-1] != '\n') --tail;
    lineOpen = CountFilledLines(tail, end) > 0;
  }
  ped.recs.reserve(1 + lines + lines / 8);
  ped.links.reserve(lines);
  ped.lines.reserve(lines);
  return !input.failed() && input.Rewind();
}

}  // namespace

ReadOutcome ReadPedigree(const std::string& path, Pedigree& ped, Progress& progress) {
  PedigreeInput input;
  if (!input.Open(path)) return {false, "Cannot open " + path};
  return ReadPedigree(input, path, ped, progress);
}

ReadOutcome ReadPedigree(PedigreeInput& input, const std::string& path, Pedigree& ped, Progress& progress) {
  ped.nGroups = 0;
  ped.fColumn = ped.groupColumn = ped.sexColumn = ped.birthColumn = -1;
  const ReadOutcome cannotRead{false, "Cannot open " + path};
  // A stream's length is not known: its bar stays at the start, and the
  // steps every few hundred records still let the user cancel.
  constexpr std::int64_t kUnknownLength = std::numeric_limits<std::int64_t>::max() / 128;
  progress.SetStage(0, 50, input.regular() ? std::max<std::int64_t>(input.size(), 1) : kUnknownLength, "Reading");

  std::vector<unsigned char> chunk(kChunkSize);
  if (input.regular() && !ReserveForRecords(input, ped, chunk)) return cannotRead;
  Reader reader(ped, progress);
  LineCutter cutter(reader);
  std::int64_t pos = 0;
  bool first = true;
  for (std::size_t n; (n = input.Read(chunk.data(), chunk.size())) > 0;) {
    const char* data = reinterpret_cast<const char*>(chunk.data());
    std::size_t skip = 0;
    if (first) {
      first = false;
      if (n >= 3 && chunk[0] == 0xEF && chunk[1] == 0xBB && chunk[2] == 0xBF) skip = 3;
    }
    if (!cutter.Block(data + skip, n - skip, pos + static_cast<std::int64_t>(skip))) return reader.outcome();
    pos += static_cast<std::int64_t>(n);
  }
  if (input.failed()) return cannotRead;
  if (!cutter.End(pos)) return reader.outcome();
  if (!reader.Finish()) return reader.outcome();
  return {true, {}};
}

CellRowReader::CellRowReader(Pedigree& ped, Progress& progress)
    : builder_(std::make_unique<RecordBuilder>(ped, progress)) {
  ped.nGroups = 0;
  ped.fColumn = ped.groupColumn = ped.sexColumn = ped.birthColumn = -1;
}

CellRowReader::~CellRowReader() = default;

bool CellRowReader::Row(std::int64_t row, std::span<const std::string_view> cells, std::int64_t progressPosition) {
  // Cells are read as the cells of a text line: without blanks around them.
  std::vector<std::string_view>& trimmed = trimmed_;
  trimmed.assign(cells.begin(), cells.end());
  bool blank = true;
  for (std::string_view& cell : trimmed) {
    cell = TrimBlanks(cell);
    blank = blank && cell.empty();
  }
  if (blank) return true;
  if (!builder_->headerSeen()) {
    if (!trimmed[0].empty() && trimmed[0][0] == '!') return true;
    std::string message;
    return builder_->HeaderResult(ParseHeaderCells(trimmed, builder_->mutableHeader(), message), message);
  }
  return builder_->Row(row, trimmed, true, progressPosition);
}

bool CellRowReader::Finish() { return builder_->Finish(); }

ReadOutcome& CellRowReader::outcome() { return builder_->outcome(); }

}  // namespace kinvar
