// The pedigree load as File > Open runs it (read, validate, recode), then the
// inbreeding coefficients when the pedigree loaded. The records read must be
// those that the format's rules, applied line by line here, give; a loaded
// pedigree must be coded 1..n with parents first and unique, well-formed IDs,
// and its F must match the tabular method; a refused one must say why.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "genetics/inbreeding.h"
#include "pedigree/load.h"
#include "support/tabular_a.h"

namespace kinvar::fuzz {
namespace {

// The tabular check costs n² doubles; larger pedigrees get the other checks.
constexpr std::int32_t kTabularLimit = 300;

struct Row {
  std::string id;
  std::optional<float> f;
  int group = -1;
};

// What the rules give for an input: nothing when it lies outside the forms
// modelled here (quotes, semicolons, NA, the new column names, empty cells
// between delimiters), whose records are then not compared; otherwise the
// data rows, or none when the reader must refuse the file.
struct Expectation {
  bool modelled = false;
  std::optional<std::vector<Row>> rows;
};

bool IsSeparatorByte(char c) { return c == ' ' || c == ',' || c == '\t'; }

// Every field of a line split at runs of blanks, commas and tabs.
std::vector<std::string> RunFields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && IsSeparatorByte(line[i])) ++i;
    if (i == line.size()) return fields;
    const std::size_t start = i;
    while (i < line.size() && !IsSeparatorByte(line[i])) ++i;
    fields.emplace_back(line.substr(start, i - start));
  }
}

std::string Lowered(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

bool SoundField(const std::string& field) {
  return field.size() <= 20 && field.find_first_of(std::string("<>|!\0", 5)) == std::string::npos;
}

// The header's columns Progeny, Sire, Dam, Group and F (-1 absent); false
// when the header lies outside the modelled forms.
bool HeaderColumns(std::string_view line, int (&column)[5]) {
  if (line.find_first_of("\";") != std::string_view::npos) return false;
  // A control byte in a name keeps the reader from taking the header for one
  // of the five old names, whose rules (the later of a name twice counts)
  // are the ones modelled here.
  for (const char c : line)
    if ((static_cast<unsigned char>(c) < 32 && c != '\t') || c == 127) return false;
  // Between the commas or tabs of a header a name may hold blanks ("birth
  // date"), and is then one column where runs of blanks would make several.
  for (const char d : {',', '\t'}) {
    if (line.find(d) == std::string_view::npos) continue;
    std::size_t start = 0;
    for (;;) {
      const std::size_t stop = std::min(line.find(d, start), line.size());
      std::string_view piece = line.substr(start, stop - start);
      const std::size_t first = piece.find_first_not_of(" \t");
      const std::size_t last = piece.find_last_not_of(" \t");
      if (first != std::string_view::npos &&
          piece.substr(first, last - first + 1).find_first_of(" \t") != std::string_view::npos)
        return false;
      if (stop == line.size()) break;
      start = stop + 1;
    }
  }
  // Other names of the columns, and the words of those of several words.
  static const char* const kOtherNames[] = {
      "animal", "id", "individual", "name", "father", "mother", "year", "birth", "cohort", "herd",
      "inbreeding", "sex", "gender", "date", "birthdate", "birth_date", "dob", "of", "born"};
  const char* const names[5] = {"progeny", "sire", "dam", "group", "f"};
  const std::vector<std::string> fields = RunFields(line);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!SoundField(fields[i])) return false;
    const std::string name = Lowered(fields[i]);
    for (const char* other : kOtherNames)
      if (name == other) return false;
    for (int n = 0; n < 5; ++n) {
      if (name != names[n]) continue;
      // Among the first five fields the later of a name twice counts.
      if (i >= 5) return false;
      column[n] = static_cast<int>(i);
    }
  }
  return true;
}

// A data line that the header's comma or tab would split into an empty
// cell (and so into more cells than runs give).
bool HasEmptyCell(std::string_view line, std::string_view header) {
  for (const char d : {',', '\t'}) {
    if (header.find(d) == std::string_view::npos) continue;
    std::size_t start = 0;
    for (;;) {
      const std::size_t stop = std::min(line.find(d, start), line.size());
      const std::string_view piece = line.substr(start, stop - start);
      if (piece.find_first_not_of(d == '\t' ? " " : " \t") == std::string_view::npos) return true;
      if (stop == line.size()) break;
      start = stop + 1;
    }
  }
  return false;
}

// A data line that the header's comma or tab splits into a cell holding a
// blank inside: the reader takes it for one cell (an ID with a blank, which
// it refuses), where runs of blanks would make several.
bool HasBlankInCell(std::string_view line, std::string_view header) {
  for (const char d : {',', '\t'}) {
    if (header.find(d) == std::string_view::npos || line.find(d) == std::string_view::npos) continue;
    std::size_t start = 0;
    for (;;) {
      const std::size_t stop = std::min(line.find(d, start), line.size());
      const std::string_view piece = line.substr(start, stop - start);
      const std::size_t first = piece.find_first_not_of(" \t");
      const std::size_t last = piece.find_last_not_of(" \t");
      if (first != std::string_view::npos &&
          piece.substr(first, last - first + 1).find_first_of(" \t") != std::string_view::npos)
        return true;
      if (stop == line.size()) break;
      start = stop + 1;
    }
  }
  return false;
}

// An F cell that is wholly one decimal number: digits, a point, a sign and
// an exponent only, and all of it read.
std::optional<double> WholeDecimal(const std::string& field) {
  if (field.empty() || field.find_first_not_of("0123456789.-+eE") != std::string::npos) return std::nullopt;
  if (field.size() > 1 && field[0] == '+' && (field[1] == '+' || field[1] == '-')) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(field.c_str(), &end);
  if (end != field.c_str() + field.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// An ID holds no control character and no double quote.
bool SoundId(const std::string& field) {
  for (const char c : field) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127 || c == '"') return false;
  }
  return true;
}

// One data row by the rules; nothing when the reader must refuse it. A line
// has no field beyond the header's `names`.
std::optional<Row> DataRow(const std::vector<std::string>& fields, const int (&column)[5], std::size_t names) {
  const int required = 1 + *std::max_element(column, column + 5);
  if (static_cast<int>(fields.size()) < required || fields.size() > names) return std::nullopt;
  for (const int c : column)
    if (c >= 0 && !SoundField(fields[static_cast<std::size_t>(c)])) return std::nullopt;
  for (int n = 0; n < 3; ++n)
    if (!SoundId(fields[static_cast<std::size_t>(column[n])])) return std::nullopt;
  std::string id = fields[static_cast<std::size_t>(column[0])];
  for (char& c : id) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  Row row{id, std::nullopt, -1};
  if (column[4] >= 0 && fields[static_cast<std::size_t>(column[4])] != ".") {
    const std::optional<double> value = WholeDecimal(fields[static_cast<std::size_t>(column[4])]);
    if (!value) return std::nullopt;
    const auto f = static_cast<float>(*value);
    if (!(f >= 0.0f && f <= 1.0f)) return std::nullopt;
    row.f = f;
  }
  if (column[3] >= 0 && fields[static_cast<std::size_t>(column[3])] != ".") {
    const std::string& g = fields[static_cast<std::size_t>(column[3])];
    if (g.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const std::string digits = g.substr(std::min(g.find_first_not_of('0'), g.size()));
    if (digits.size() > 10 || std::stoll("0" + digits) > 2147483647LL) return std::nullopt;
    row.group = static_cast<int>(std::stoll("0" + digits));
  }
  return row;
}

// A used field written NA: R's missing value, which these rules leave out.
bool HasNa(const std::vector<std::string>& fields, const int (&column)[5]) {
  for (const int c : column)
    if (c >= 0 && c < static_cast<int>(fields.size()) && Lowered(fields[static_cast<std::size_t>(c)]) == "na")
      return true;
  return false;
}

Expectation RowsByTheFormat(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int column[5] = {-1, -1, -1, -1, -1};
  std::optional<std::string_view> header;
  std::vector<Row> rows;
  Expectation refused{true, std::nullopt};
  while (!text.empty()) {
    // A line ends at a line feed, a carriage return and a line feed, or a
    // carriage return alone.
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    std::string_view line = text.substr(0, end);
    const bool pair = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
    text.remove_prefix(std::min(end + (pair ? 2 : 1), text.size()));
    const std::size_t first = line.find_first_not_of(" \t\n\v\f\r");
    if (first == std::string_view::npos || (!header && line[first] == '!')) continue;
    line.remove_prefix(first);
    if (!header) {
      if (!HeaderColumns(line, column)) return {};
      // An empty name between commas or tabs is a column the reader counts
      // and runs of blanks do not ("a,,b" names three), so a data line may
      // have one field more than the runs of the header: not modelled.
      if (HasEmptyCell(line, line)) return {};
      if (column[0] < 0 || column[1] < 0 || column[2] < 0) return refused;
      header = line;
      continue;
    }
    if (line.find('"') != std::string_view::npos || HasEmptyCell(line, *header) ||
        HasBlankInCell(line, *header))
      return {};
    const std::vector<std::string> fields = RunFields(line);
    if (HasNa(fields, column)) return {};
    const auto row = DataRow(fields, column, RunFields(*header).size());
    // Reading stops at the first faulty row, whatever follows it.
    if (!row) return refused;
    rows.push_back(*row);
  }
  if (rows.empty()) return refused;
  return {true, rows};
}

void CheckRowsRead(const Pedigree& ped, const Expectation& expected) {
  if (!expected.modelled) return;
  const auto& rows = expected.rows;
  FUZZ_CHECK(rows.has_value(), "read a file that the format refuses");
  FUZZ_CHECK(ped.nRead == static_cast<std::int32_t>(rows->size()),
             "read " + std::to_string(ped.nRead) + " records, the format gives " +
                 std::to_string(rows->size()));
  for (std::int32_t i = 0; i < ped.nRead; ++i) {
    const Row& row = (*rows)[static_cast<std::size_t>(i)];
    const Rec& r = ped.rec(i + 1);
    FUZZ_CHECK(r.Id() == row.id, "record " + std::to_string(i + 1) + " has ID " + r.id);
    FUZZ_CHECK(ped.GroupNumber(r) == row.group, "the group of " + row.id);
    // Recoding gives full sibs a member's F, so only a written F must be kept.
    if (row.f) FUZZ_CHECK(r.fPredefined && r.f == *row.f, "the F of " + row.id);
  }
}

bool WellFormedId(const char* id) {
  const std::size_t length = std::strlen(id);
  if (length == 0 || length > static_cast<std::size_t>(kMaxIdLength)) return false;
  for (const char* p = id; *p != 0; ++p) {
    const auto b = static_cast<unsigned char>(*p);
    if ((*p >= 'a' && *p <= 'z') || std::strchr(" ,\t<>|!\"", *p) != nullptr || b < 32 || b == 127) return false;
  }
  return !IsUnknownId(id);
}

void CheckCodes(Pedigree& ped) {
  FUZZ_CHECK(ped.report.Count() == 0, "a loaded pedigree leaves a report");
  FUZZ_CHECK(ped.nRead >= 1 && ped.nTotal >= ped.nRead, "record counts");
  FUZZ_CHECK(ped.nFounders + ped.nNonFounders == ped.nTotal, "founders + non-founders != total");
  FUZZ_CHECK(ped.recs.size() == static_cast<std::size_t>(ped.nTotal) + 1, "record array size");
  EnsureCodeOrder(ped);
  std::vector<std::string> ids;
  ids.reserve(static_cast<std::size_t>(ped.nTotal));
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const Rec& r = ped.byCode(i);
    FUZZ_CHECK(r.code == i + 1, "codes are not 1..n in record order");
    FUZZ_CHECK(ped.rec(r.sire).code < r.code && ped.rec(r.dam).code < r.code,
               std::string("a parent is coded after its progeny ") + r.id);
    const bool founder = r.sire == kUnknownParent && r.dam == kUnknownParent;
    FUZZ_CHECK(founder == (r.code <= ped.nFounders), std::string("founder codes ") + r.id);
    FUZZ_CHECK(WellFormedId(r.id), std::string("malformed ID ") + r.id);
    FUZZ_CHECK(!r.fPredefined || (r.f >= 0.0f && r.f <= 1.0f), "predefined F out of 0..1");
    ids.emplace_back(r.id);
  }
  std::sort(ids.begin(), ids.end());
  FUZZ_CHECK(std::adjacent_find(ids.begin(), ids.end()) == ids.end(), "an ID is used twice");
}

void CheckInbreeding(Pedigree& ped, Progress& progress) {
  FUZZ_CHECK(ComputeInbreeding(ped, progress), "inbreeding stopped without a cancel");
  FUZZ_CHECK(ped.inbreedingComputed, "inbreeding not marked computed");
  std::int32_t inbreds = 0;
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const float f = ped.byCode(i).f;
    FUZZ_CHECK(f >= 0.0f && f <= 1.0f, "F out of 0..1 for " + std::string(ped.byCode(i).id));
    if (f > 0.0f) ++inbreds;
  }
  FUZZ_CHECK(inbreds == ped.nInbreds, "nInbreds disagrees with the coefficients");
  if (ped.nTotal > kTabularLimit) return;
  const test::DenseMatrix a = test::TabularA(ped);
  for (std::int32_t i = 0; i < ped.nTotal; ++i) {
    const double expected = a(static_cast<std::size_t>(i), static_cast<std::size_t>(i)) - 1.0;
    const auto got = static_cast<double>(ped.byCode(i).f);
    FUZZ_CHECK(std::fabs(got - expected) <= 1e-4, "F of " + std::string(ped.byCode(i).id) + " is " +
                                                      std::to_string(got) + ", tabular " +
                                                      std::to_string(expected));
  }
}

}  // namespace
}  // namespace kinvar::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kinvar;
  static fuzz::InputFile input;
  SilentProgressWindow window;
  Progress progress(window);
  Pedigree ped;
  const LoadOutcome outcome = LoadPedigree(input.Write(data, size), ped, progress);
  const auto rows = fuzz::RowsByTheFormat(data, size);
  if (outcome.status == LoadStatus::kLoaded || outcome.status == LoadStatus::kRejected)
    fuzz::CheckRowsRead(ped, rows);
  switch (outcome.status) {
    case LoadStatus::kLoaded:
      fuzz::CheckCodes(ped);
      fuzz::CheckInbreeding(ped, progress);
      break;
    case LoadStatus::kRejected:
      FUZZ_CHECK(ped.report.Count() >= 4, "a rejected pedigree without its error list");
      FUZZ_CHECK(ped.report.Line(ped.report.Count() - 1) == "Correct the pedigree file.",
                 "the error list does not end with its closing line");
      break;
    case LoadStatus::kReadFailed:
      FUZZ_CHECK(!outcome.message.empty(), "a read failure without a message");
      FUZZ_CHECK(!rows.modelled || !rows.rows, "refused a file that the format accepts: " + outcome.message);
      FUZZ_CHECK(ped.nRead == 0 && ped.recs.size() == 1, "a failed read leaves records");
      break;
    case LoadStatus::kCancelled:
      FUZZ_CHECK(false, "cancelled though nobody cancels");
  }
  return 0;
}
