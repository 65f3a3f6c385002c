// The R side of a Kinvar session: an external pointer to the session, the
// conversion of data frame columns into the cells the reader takes, and of
// result tables into data frames.
//
// No R error may jump across these C++ frames: every entry point catches
// the core's exceptions and hands back a "kinvar_failure" list, which the R
// wrapper raises as a classed condition once the C++ frames are gone.
#include <Rcpp.h>
#include <R_ext/Utils.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/session.h"
#include "app/session_id_cache.h"
#include "report/result_table.h"

using kinvar::ColumnType;
using kinvar::ResultSet;
using kinvar::ResultTable;
using kinvar::Session;
using kinvar::TableColumn;

namespace {

using SessionPtr = Rcpp::XPtr<Session>;

Session& SessionOf(SEXP xp) {
  SessionPtr ptr(xp);
  if (ptr.get() == nullptr) {
    throw kinvar::Refused(
        "This pedigree is no longer in memory (it was saved and loaded again): read it again.");
  }
  return *ptr;
}

// What one call asks of the session besides its arguments.
struct Control {
  int threads = 0;
  bool progress = false;
  bool doublePrecision = false;
  // Stops the computation after that many polls of the cancel check; a
  // negative value never does. Lets tests interrupt at a known point.
  int cancelAfter = -1;
};

Control ControlOf(const Rcpp::List& ctl) {
  Control control;
  control.threads = Rcpp::as<int>(ctl["threads"]);
  control.progress = Rcpp::as<bool>(ctl["progress"]);
  control.doublePrecision = Rcpp::as<bool>(ctl["double_precision"]);
  control.cancelAfter = Rcpp::as<int>(ctl["cancel_after"]);
  return control;
}

void CheckInterruptAtTop(void*) { R_CheckUserInterrupt(); }

// R_CheckUserInterrupt jumps when the user pressed Ctrl+C or Esc; at top
// level the jump stops inside R_ToplevelExec, which then answers false.
bool UserInterrupted() { return !R_ToplevelExec(CheckInterruptAtTop, nullptr); }

// Installs the call's threads, cancel check and progress on the session and
// takes them away again, so that a later call on another R frame finds no
// stale callback.
class CallScope {
 public:
  CallScope(Session& session, const Control& control) : session_(session), control_(control) {
    session_.SetThreads(control_.threads);
    // Every call states its precision, so a double-precision call leaves
    // nothing behind that a later single-precision call would see.
    session_.SetDoublePrecision(control_.doublePrecision);
    session_.SetCancelCheck([this] { return Poll(); });
    if (control_.progress) {
      session_.SetProgress([this](const std::string& label, int percent) { Show(label, percent); });
    }
  }
  ~CallScope() {
    session_.SetCancelCheck(nullptr);
    session_.SetProgress(nullptr);
    if (shown_) {
      REprintf("\n");
    }
  }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  bool OnRThread() const { return std::this_thread::get_id() == rThread_; }

  bool Poll() {
    if (!OnRThread()) return false;
    if (control_.cancelAfter >= 0 && ++polls_ > control_.cancelAfter) return true;
    // Asking R for events costs far more than a poll: at most every 50 ms.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastCheck_ < std::chrono::milliseconds(50)) return false;
    lastCheck_ = now;
    return UserInterrupted();
  }

  void Show(const std::string& label, int percent) {
    if (!OnRThread() || (label == label_ && percent == percent_)) return;
    label_ = label;
    percent_ = percent;
    REprintf("\r%-40s %3d%%", label.c_str(), percent);
    shown_ = true;
  }

  Session& session_;
  const Control control_;
  const std::thread::id rThread_ = std::this_thread::get_id();
  long polls_ = 0;
  std::chrono::steady_clock::time_point lastCheck_{};
  std::string label_;
  int percent_ = -1;
  bool shown_ = false;
};

SEXP Failure(const char* kind, const std::string& message,
             const std::vector<std::string>& errors = {}) {
  Rcpp::List failure = Rcpp::List::create(Rcpp::Named("kind") = kind,
                                          Rcpp::Named("message") = message,
                                          Rcpp::Named("errors") = Rcpp::wrap(errors));
  failure.attr("class") = "kinvar_failure";
  return failure;
}

// Runs `body` on the session with the call's control; the core's failures
// become a kinvar_failure value.
template <typename Body>
SEXP Guarded(Body&& body) {
  try {
    return body();
  } catch (const kinvar::InvalidPedigree& e) {
    return Failure("invalid_pedigree", e.what(), e.errors());
  } catch (const kinvar::Refused& e) {
    return Failure("refused", e.what());
  } catch (const kinvar::Cancelled&) {
    return Failure("cancelled", "The computation was interrupted.");
  } catch (const std::bad_alloc&) {
    return Failure("error", "Not enough memory for this computation.");
  } catch (const std::exception& e) {
    return Failure("error", e.what());
  }
}

// The warnings a command gave (a sire that is also a dam ...) ride on the
// result as the attribute "kinvar_notes", which the R side turns into
// warnings.
template <typename Body>
SEXP OnSession(SEXP xp, const Rcpp::List& ctl, Body&& body) {
  return Guarded([&]() -> SEXP {
    Session& session = SessionOf(xp);
    const Control control = ControlOf(ctl);
    CallScope scope(session, control);
    Rcpp::RObject result = body(session);
    if (!session.Notes().empty()) result.attr("kinvar_notes") = Rcpp::wrap(session.Notes());
    return result;
  });
}

// ---- result tables to data frames ----

// The type the caller's IDs had: a data frame of integer IDs gets integers
// back in every ID column, one of numbers gets numbers. It rides on the
// session's external pointer as its tag.
enum class IdType { kText = 0, kInteger = 1, kNumber = 2 };

// The caller's ID columns ride on the pointer too (a list of the Progeny,
// Sire and Dam columns as the reader took them, each text, a factor or
// NULL): a result's ID cell that spells what the caller's cell of its row
// spelled is that cell's string. Making it anew would find the very same
// string in R's global cache, at the cost of a lookup per cell, which at a
// million rows weighs more than the table. They hang on a weak reference
// that the pointer protects: alive as long as the pointer, and not written
// when the pedigree is saved (it comes back without its session anyway).
struct IdSource {
  IdType type = IdType::kText;
  SEXP columns = R_NilValue;
};

IdSource IdsOf(SEXP xp) {
  IdSource ids;
  const SEXP tag = R_ExternalPtrTag(xp);
  if (TYPEOF(tag) == INTSXP && Rf_xlength(tag) == 1) ids.type = static_cast<IdType>(INTEGER(tag)[0]);
  const SEXP held = R_ExternalPtrProtected(xp);
  const SEXP columns = TYPEOF(held) == WEAKREFSXP ? R_WeakRefValue(held) : R_NilValue;
  if (TYPEOF(columns) == VECSXP && Rf_xlength(columns) == 3) ids.columns = columns;
  return ids;
}

// The caller's column whose row r a result column's row r reads, by the
// result column's name; R_NilValue for none.
SEXP InputColumnOf(const IdSource& ids, const std::string& name) {
  if (ids.columns == R_NilValue) return R_NilValue;
  const int role = name == "id" ? 0 : name == "sire" ? 1 : name == "dam" ? 2 : -1;
  return role < 0 ? R_NilValue : VECTOR_ELT(ids.columns, role);
}

// The Progeny, Sire and Dam columns given as text or factors, for IdsOf.
Rcpp::List InputIdColumns(const Rcpp::CharacterVector& names, const Rcpp::List& columns) {
  Rcpp::List kept(3);
  for (R_xlen_t c = 0; c < names.size() && c < columns.size(); ++c) {
    const std::string name(names[c]);
    const int role = name == "Progeny" ? 0 : name == "Sire" ? 1 : name == "Dam" ? 2 : -1;
    const SEXP column = columns[c];
    if (role >= 0 && (TYPEOF(column) == STRSXP || Rf_isFactor(column))) kept[role] = column;
  }
  return kept;
}

// The Progeny column decides: the added parents come from the parent
// columns, which hold the same kind of value in any data frame whose IDs
// are numbers.
IdType IdTypeOfColumns(const Rcpp::CharacterVector& names, const Rcpp::List& columns) {
  for (R_xlen_t c = 0; c < names.size() && c < columns.size(); ++c) {
    if (std::string(names[c]) != "Progeny") continue;
    const SEXP column = columns[c];
    if (Rf_isFactor(column)) return IdType::kText;
    if (TYPEOF(column) == INTSXP) return IdType::kInteger;
    if (TYPEOF(column) == REALSXP) return IdType::kNumber;
  }
  return IdType::kText;
}

// The integer an ID cell spells, when it spells one as R would print it
// (no sign but a minus, no leading zero, no blank).
std::optional<int> IntegerOfId(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == NA_INTEGER)
    return std::nullopt;
  char canonical[16];
  const auto written = std::to_chars(canonical, canonical + sizeof canonical, value).ptr;
  if (std::string_view(canonical, static_cast<std::size_t>(written - canonical)) != text)
    return std::nullopt;
  return value;
}

std::optional<double> NumberOfId(std::string_view text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  char canonical[64];
  const auto written = std::to_chars(canonical, canonical + sizeof canonical, value).ptr;
  if (std::string_view(canonical, static_cast<std::size_t>(written - canonical)) != text)
    return std::nullopt;
  return value;
}

// An ID column in the caller's type; false when some cell is not a number
// as the caller would have written it (a parent given as text).
template <int Type, class Parse>
bool NumericIds(const TableColumn& column, Parse parse, Rcpp::Vector<Type>* out) {
  const std::size_t n = column.size();
  for (std::size_t r = 0; r < n; ++r) {
    const std::string_view text = column.Text(r);
    if (text.empty()) {
      if (out != nullptr) (*out)[static_cast<R_xlen_t>(r)] = Rcpp::traits::get_na<Type>();
      continue;
    }
    const auto value = parse(text);
    if (!value) return false;
    if (out != nullptr) (*out)[static_cast<R_xlen_t>(r)] = *value;
  }
  return true;
}

// Whether every ID column of the table holds the caller's numbers: the ID
// columns of one table are all numbers or all text.
bool NumbersFit(const ResultTable& table, IdType ids) {
  if (ids == IdType::kText) return false;
  for (const TableColumn& column : table.columns()) {
    if (column.type() != ColumnType::kId) continue;
    const bool fits = ids == IdType::kInteger
                          ? NumericIds<INTSXP>(column, IntegerOfId, nullptr)
                          : NumericIds<REALSXP>(column, NumberOfId, nullptr);
    if (!fits) return false;
  }
  return true;
}

// One CHARSXP per distinct ID of a table (the shared cache of the
// packages): making a CHARSXP looks it up in R's global string cache, which
// costs more than the table. Every CHARSXP in it sits in a column of the
// data frame being built, which is protected.
using IdCache = kinvar::IdStringCache<SEXP>;

SEXP NewText(std::string_view text) {
  return Rf_mkCharLenCE(text.data(), static_cast<int>(text.size()), CE_UTF8);
}

bool IsAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) > 127) return false;
  return true;
}

// Whether `cell` is the string R makes of the UTF-8 `text`: the same bytes,
// marked UTF-8 (R never marks an ASCII string, whatever it was made as).
bool SameString(SEXP cell, std::string_view text) {
  if (cell == NA_STRING || static_cast<std::size_t>(LENGTH(cell)) != text.size()) return false;
  if (std::memcmp(CHAR(cell), text.data(), text.size()) != 0) return false;
  return Rf_getCharCE(cell) == CE_UTF8 || IsAscii(text);
}

// The caller's string at row r of a text or factor column, NA_STRING past
// its end.
class InputCells {
 public:
  explicit InputCells(SEXP column) {
    if (Rf_isFactor(column)) {
      codes_ = INTEGER(column);
      levels_ = Rf_getAttrib(column, R_LevelsSymbol);
      n_ = Rf_xlength(column);
    } else if (TYPEOF(column) == STRSXP) {
      strings_ = column;
      n_ = Rf_xlength(column);
    }
  }
  SEXP operator[](R_xlen_t r) const {
    if (r >= n_) return NA_STRING;
    if (codes_ == nullptr) return STRING_ELT(strings_, r);
    return codes_[r] == NA_INTEGER ? NA_STRING : STRING_ELT(levels_, codes_[r] - 1);
  }

 private:
  SEXP strings_ = R_NilValue;
  SEXP levels_ = R_NilValue;
  const int* codes_ = nullptr;
  R_xlen_t n_ = 0;
};

void FillText(SEXP out, const TableColumn& column, IdCache* cache, SEXP input = R_NilValue) {
  const R_xlen_t n = static_cast<R_xlen_t>(column.size());
  const InputCells given(input);
  for (R_xlen_t r = 0; r < n; ++r) {
    const std::string_view text = column.Text(static_cast<std::size_t>(r));
    if (text.empty()) {
      SET_STRING_ELT(out, r, NA_STRING);
    } else if (const SEXP cell = given[r]; SameString(cell, text)) {
      SET_STRING_ELT(out, r, cell);
    } else if (cache != nullptr) {
      bool made = false;
      SET_STRING_ELT(out, r, cache->Of(text, NewText, made));
    } else {
      SET_STRING_ELT(out, r, NewText(text));
    }
  }
}

// Integers that fit R's 32-bit integers stay integers; larger ones (none
// of today's columns) become doubles rather than wrap.
bool FitsInteger(const TableColumn& column) {
  for (std::size_t r = 0; r < column.size(); ++r) {
    const std::int64_t v = column.Integer(r);
    if (v != kinvar::kMissingInteger && (v <= INT32_MIN || v > INT32_MAX)) return false;
  }
  return true;
}

// How a column goes to R: the vector's type, and for an ID column whether
// it holds the caller's numbers.
struct ColumnPlan {
  SEXPTYPE type = STRSXP;
  bool numberIds = false;
};

ColumnPlan PlanOf(const TableColumn& column, IdType ids, bool numbers) {
  switch (column.type()) {
    case ColumnType::kId:
      if (!numbers) return {STRSXP, false};
      return {static_cast<SEXPTYPE>(ids == IdType::kInteger ? INTSXP : REALSXP), true};
    case ColumnType::kText:
      return {STRSXP, false};
    case ColumnType::kInteger:
      return {static_cast<SEXPTYPE>(FitsInteger(column) ? INTSXP : REALSXP), false};
    case ColumnType::kReal:
      return {REALSXP, false};
    case ColumnType::kBoolean:
      return {LGLSXP, false};
  }
  return {};
}

// Writes the cells into `out`, a vector of the plan's type and the
// column's length.
void FillColumn(SEXP out, const TableColumn& column, const ColumnPlan& plan, const IdSource& ids,
                IdCache& cache) {
  const std::size_t n = column.size();
  if (plan.numberIds) {
    if (ids.type == IdType::kInteger) {
      Rcpp::IntegerVector cells(out);
      NumericIds<INTSXP>(column, IntegerOfId, &cells);
    } else {
      Rcpp::NumericVector cells(out);
      NumericIds<REALSXP>(column, NumberOfId, &cells);
    }
    return;
  }
  if (plan.type == STRSXP) {
    if (column.type() == ColumnType::kId) FillText(out, column, &cache, InputColumnOf(ids, column.name()));
    else FillText(out, column, nullptr);
  } else if (plan.type == LGLSXP) {
    int* cells = LOGICAL(out);
    for (std::size_t r = 0; r < n; ++r) {
      const std::int64_t v = column.Integer(r);
      cells[r] = v == kinvar::kMissingInteger ? NA_LOGICAL : static_cast<int>(v != 0);
    }
  } else if (plan.type == INTSXP) {
    int* cells = INTEGER(out);
    for (std::size_t r = 0; r < n; ++r) {
      const std::int64_t v = column.Integer(r);
      cells[r] = v == kinvar::kMissingInteger ? NA_INTEGER : static_cast<int>(v);
    }
  } else if (column.type() == ColumnType::kReal) {
    double* cells = REAL(out);
    for (std::size_t r = 0; r < n; ++r) {
      const double v = column.Real(r);
      cells[r] = std::isnan(v) ? NA_REAL : v;
    }
  } else {
    double* cells = REAL(out);
    for (std::size_t r = 0; r < n; ++r) {
      const std::int64_t v = column.Integer(r);
      cells[r] = v == kinvar::kMissingInteger ? NA_REAL : static_cast<double>(v);
    }
  }
}

// Every vector of the table is allocated before any cell is written: the
// collections that large allocations set off then run while the table's
// strings do not exist yet, instead of marking a million of them each time.
Rcpp::List DataFrameOf(const ResultTable& table, const IdSource& ids) {
  const std::size_t width = table.columns().size();
  Rcpp::List frame(static_cast<R_xlen_t>(width));
  Rcpp::CharacterVector names(static_cast<R_xlen_t>(width));
  const bool numbers = NumbersFit(table, ids.type);
  std::vector<ColumnPlan> plans;
  for (std::size_t c = 0; c < width; ++c) {
    plans.push_back(PlanOf(table.column(c), ids.type, numbers));
    // In the frame, and so protected, before the next one allocates.
    frame[c] = Rf_allocVector(plans[c].type, static_cast<R_xlen_t>(table.column(c).size()));
    names[c] = table.column(c).name();
  }
  IdCache cache;
  for (std::size_t c = 0; c < width; ++c)
    FillColumn(VECTOR_ELT(frame, static_cast<R_xlen_t>(c)), table.column(c), plans[c], ids, cache);
  frame.attr("names") = names;
  frame.attr("class") = "data.frame";
  // The compact form of row names 1..n.
  frame.attr("row.names") =
      Rcpp::IntegerVector::create(NA_INTEGER, -static_cast<int>(table.rows()));
  return frame;
}

Rcpp::List TablesOf(const ResultSet& set, const IdSource& ids) {
  Rcpp::List out(static_cast<R_xlen_t>(set.tables().size()));
  Rcpp::CharacterVector names(static_cast<R_xlen_t>(set.tables().size()));
  R_xlen_t i = 0;
  for (const ResultTable& table : set.tables()) {
    out[i] = DataFrameOf(table, ids);
    names[i] = table.name();
    ++i;
  }
  out.attr("names") = names;
  return out;
}

// ---- data frame columns to the reader's cells ----

// The UTF-8 of an R string: where R holds it when it is ASCII or UTF-8
// already (as .cells() makes it), else a translation that R frees when the
// call returns. Either outlives the load.
std::string_view TextOf(SEXP cell) {
  const char* text = Rf_translateCharUTF8(cell);
  return {text, text == CHAR(cell) ? static_cast<std::size_t>(LENGTH(cell)) : std::strlen(text)};
}

// Appends a column as the cells a pedigree file would hold: a missing value
// is empty, a factor gives its labels, numbers their shortest decimal (12,
// not 12.0). Text is viewed where R holds it, without a copy.
void AddCells(SEXP column, kinvar::PedigreeColumnViews& columns) {
  const R_xlen_t n = Rf_xlength(column);
  std::vector<std::string_view> cells(static_cast<std::size_t>(n));
  if (Rf_isFactor(column)) {
    const SEXP levels = Rf_getAttrib(column, R_LevelsSymbol);
    std::vector<std::string_view> labels(static_cast<std::size_t>(Rf_xlength(levels)));
    for (R_xlen_t k = 0; k < Rf_xlength(levels); ++k) labels[static_cast<std::size_t>(k)] = TextOf(STRING_ELT(levels, k));
    const int* codes = INTEGER(column);
    for (R_xlen_t r = 0; r < n; ++r) {
      if (codes[r] != NA_INTEGER) cells[static_cast<std::size_t>(r)] = labels[static_cast<std::size_t>(codes[r] - 1)];
    }
    columns.cells.push_back(std::move(cells));
    return;
  }
  kinvar::SpelledCells spelled;
  char buffer[64];
  const auto spell = [&](auto value) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
  };
  switch (TYPEOF(column)) {
    case STRSXP:
      for (R_xlen_t r = 0; r < n; ++r) {
        const SEXP cell = STRING_ELT(column, r);
        if (cell != NA_STRING) cells[static_cast<std::size_t>(r)] = TextOf(cell);
      }
      columns.cells.push_back(std::move(cells));
      return;
    case INTSXP:
    case LGLSXP: {
      const int* values = TYPEOF(column) == INTSXP ? INTEGER(column) : LOGICAL(column);
      for (R_xlen_t r = 0; r < n; ++r) spelled.Add(values[r] != NA_INTEGER ? spell(values[r]) : std::string_view());
      break;
    }
    case REALSXP: {
      const double* values = REAL(column);
      for (R_xlen_t r = 0; r < n; ++r) spelled.Add(!std::isnan(values[r]) ? spell(values[r]) : std::string_view());
      break;
    }
    default:
      throw kinvar::Refused("A pedigree column must hold text, factors or numbers.");
  }
  columns.cells.push_back(spelled.Views());
  std::move(spelled).MoveInto(columns);
}

// `idColumns`: see IdsOf; protected by the caller.
SEXP SessionToR(std::unique_ptr<Session> session, IdType ids = IdType::kText, SEXP idColumns = R_NilValue) {
  const Rcpp::IntegerVector tag = Rcpp::IntegerVector::create(static_cast<int>(ids));
  SessionPtr ptr(session.release(), true, tag);
  if (idColumns != R_NilValue) R_SetExternalPtrProtected(ptr, R_MakeWeakRef(ptr, idColumns, R_NilValue, FALSE));
  return ptr;
}

kinvar::RelationshipKind KindOf(const std::string& type) {
  return type == "coefficient" ? kinvar::RelationshipKind::kCoefficient
                               : kinvar::RelationshipKind::kNumerator;
}

std::vector<std::string> StringsOf(const Rcpp::CharacterVector& values) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(values.size()));
  for (R_xlen_t i = 0; i < values.size(); ++i) out.emplace_back(Rf_translateCharUTF8(values[i]));
  return out;
}

// The load options that .load_options() in R checked: `groups` a character
// vector, `fractions` a list of the columns individual, parent, group
// (character) and fraction (double), `metafounders` of group1, group2
// (character) and value (double).
kinvar::LoadOptions LoadOptionsOf(const Rcpp::List& load) {
  kinvar::LoadOptions options;
  options.geneticGroups = StringsOf(load["groups"]);
  const Rcpp::List fractions = load["fractions"];
  const std::vector<std::string> individual = StringsOf(fractions["individual"]);
  const std::vector<std::string> parent = StringsOf(fractions["parent"]);
  const std::vector<std::string> group = StringsOf(fractions["group"]);
  const Rcpp::NumericVector fraction = fractions["fraction"];
  for (std::size_t k = 0; k < individual.size(); ++k)
    options.groupFractions.push_back({individual[k], parent[k], group[k], fraction[static_cast<R_xlen_t>(k)]});
  const Rcpp::List gamma = load["metafounders"];
  const std::vector<std::string> group1 = StringsOf(gamma["group1"]);
  const std::vector<std::string> group2 = StringsOf(gamma["group2"]);
  const Rcpp::NumericVector value = gamma["value"];
  for (std::size_t k = 0; k < group1.size(); ++k)
    options.metafounders.push_back({group1[k], group2[k], value[static_cast<R_xlen_t>(k)]});
  return options;
}

// IDs as R strings marked UTF-8, as the caller gave them.
Rcpp::CharacterVector Utf8Strings(const std::vector<std::string>& ids) {
  Rcpp::CharacterVector out(static_cast<R_xlen_t>(ids.size()));
  for (std::size_t i = 0; i < ids.size(); ++i)
    SET_STRING_ELT(out, static_cast<R_xlen_t>(i),
                   Rf_mkCharLenCE(ids[i].data(), static_cast<int>(ids[i].size()), CE_UTF8));
  return out;
}

// A lower triangle in compressed sparse column form: 0-based row indices,
// column pointers and values, ready for a dsCMatrix with uplo "L".
Rcpp::List CompressedColumns(const kinvar::LowerTriplets& lower) {
  const std::size_t nnz = lower.value.size();
  Rcpp::IntegerVector i(static_cast<R_xlen_t>(nnz));
  Rcpp::NumericVector x(static_cast<R_xlen_t>(nnz));
  Rcpp::IntegerVector p(static_cast<R_xlen_t>(lower.n) + 1);
  for (std::size_t k = 0; k < nnz; ++k) {
    i[k] = lower.row[k];
    x[k] = lower.value[k];
    ++p[lower.col[k] + 1];
  }
  for (std::int32_t c = 0; c < lower.n; ++c) p[c + 1] += p[c];
  return Rcpp::List::create(Rcpp::Named("n") = lower.n, Rcpp::Named("i") = i,
                            Rcpp::Named("p") = p, Rcpp::Named("x") = x);
}

}  // namespace

// [[Rcpp::export(name = ".kv_read", rng = false)]]
SEXP KvRead(std::string path, std::string sheet, Rcpp::List ctl, Rcpp::List load) {
  return Guarded([&]() -> SEXP {
    const Control control = ControlOf(ctl);
    return SessionToR(Session::Read(path, sheet, control.threads, LoadOptionsOf(load)));
  });
}

// [[Rcpp::export(name = ".kv_from_columns", rng = false)]]
SEXP KvFromColumns(Rcpp::CharacterVector names, Rcpp::List columns, Rcpp::List ctl,
                   Rcpp::List load, Rcpp::CharacterVector shown) {
  return Guarded([&]() -> SEXP {
    const Control control = ControlOf(ctl);
    kinvar::PedigreeColumnViews input;
    input.names = StringsOf(names);
    for (R_xlen_t c = 0; c < columns.size(); ++c) AddCells(columns[c], input);
    const Rcpp::List idColumns = InputIdColumns(names, columns);
    return SessionToR(Session::FromColumnViews(input, control.threads, LoadOptionsOf(load), StringsOf(shown)),
                      IdTypeOfColumns(names, columns), idColumns);
  });
}

// [[Rcpp::export(name = ".kv_find_columns", rng = false)]]
SEXP KvFindColumns(Rcpp::CharacterVector names) {
  return Guarded([&]() -> SEXP {
    const std::vector<int> at = Session::FindColumns(StringsOf(names));
    Rcpp::IntegerVector out(at.begin(), at.end());
    out.attr("names") = Rcpp::wrap(Session::ReaderColumnNames());
    return out;
  });
}

// [[Rcpp::export(name = ".kv_info", rng = false)]]
SEXP KvInfo(SEXP xp) {
  return Guarded([&]() -> SEXP {
    const Session& session = SessionOf(xp);
    return Rcpp::List::create(Rcpp::Named("size") = session.size(),
                              Rcpp::Named("rows") = session.rows(),
                              Rcpp::Named("groups") = Rcpp::wrap(session.Groups()),
                              Rcpp::Named("group_ids") = Utf8Strings(session.GroupIds()));
  });
}

// [[Rcpp::export(name = ".kv_ids", rng = false)]]
SEXP KvIds(SEXP xp) {
  return Guarded([&]() -> SEXP {
    return Utf8Strings(SessionOf(xp).Ids());
  });
}

// [[Rcpp::export(name = ".kv_name_groups", rng = false)]]
SEXP KvNameGroups(SEXP xp, Rcpp::CharacterVector names) {
  return Guarded([&]() -> SEXP {
    SessionOf(xp).NameGroups(StringsOf(names));
    return R_NilValue;
  });
}

// [[Rcpp::export(name = ".kv_group_names", rng = false)]]
SEXP KvGroupNames(SEXP xp) {
  return Guarded([&]() -> SEXP { return Utf8Strings(SessionOf(xp).GroupNames()); });
}

// [[Rcpp::export(name = ".kv_structure", rng = false)]]
SEXP KvStructure(SEXP xp, bool listFounders, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return TablesOf(s.Structure(listFounders), IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_inbreeding", rng = false)]]
SEXP KvInbreeding(SEXP xp, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP { return TablesOf(s.Inbreeding(), IdsOf(xp)); });
}

// [[Rcpp::export(name = ".kv_relationship", rng = false)]]
SEXP KvRelationship(SEXP xp, std::string id1, std::string id2, std::string type, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return Rcpp::wrap(s.Relationship(id1, id2, KindOf(type)));
  });
}

// [[Rcpp::export(name = ".kv_relationships", rng = false)]]
SEXP KvRelationships(SEXP xp, std::string scopeKind, Rcpp::CharacterVector ids, int group1,
                     int group2, std::string type, Rcpp::NumericVector range, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    kinvar::PairScope scope;
    if (scopeKind == "ids") {
      scope.kind = kinvar::PairScope::Kind::kIds;
      scope.ids = StringsOf(ids);
    } else if (scopeKind == "within") {
      scope.kind = kinvar::PairScope::Kind::kWithinGroup;
    } else if (scopeKind == "between") {
      scope.kind = kinvar::PairScope::Kind::kBetweenGroups;
    }
    scope.group1 = group1;
    scope.group2 = group2;
    std::optional<std::pair<double, double>> bounds;
    if (range.size() == 2) bounds = std::make_pair(range[0], range[1]);
    return TablesOf(s.Relationships(scope, KindOf(type), bounds), IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_relationship_matrix", rng = false)]]
SEXP KvRelationshipMatrix(SEXP xp, Rcpp::CharacterVector ids, std::string type, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    const std::vector<double> cells = s.RelationshipMatrix(StringsOf(ids), KindOf(type));
    const int k = static_cast<int>(ids.size());
    Rcpp::NumericMatrix out(k, k);
    std::copy(cells.begin(), cells.end(), out.begin());
    return out;
  });
}

// [[Rcpp::export(name = ".kv_average_relatedness", rng = false)]]
SEXP KvAverageRelatedness(SEXP xp, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return TablesOf(s.AverageRelatedness(), IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_average_between_groups", rng = false)]]
SEXP KvAverageBetweenGroups(SEXP xp, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return TablesOf(s.AverageBetweenGroups(), IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_dii", rng = false)]]
SEXP KvDii(SEXP xp, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP { return TablesOf(s.Dii(), IdsOf(xp)); });
}

// The genetic groups' IDs name the rows after the individuals.
// [[Rcpp::export(name = ".kv_ainverse", rng = false)]]
SEXP KvAinverse(SEXP xp, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    Rcpp::List out = CompressedColumns(s.InverseOfA());
    out["groups"] = Rcpp::wrap(s.GroupIds());
    return out;
  });
}

namespace {

// Keyword arguments as the session takes them: names and texts.
std::map<std::string, std::string> KeywordsOf(const Rcpp::CharacterVector& keys, const Rcpp::CharacterVector& values) {
  std::map<std::string, std::string> keywords;
  for (R_xlen_t k = 0; k < keys.size(); ++k)
    keywords[Rcpp::as<std::string>(keys[k])] = Rcpp::as<std::string>(values[k]);
  return keywords;
}

}  // namespace

// The single-step H inverse, labelled as the inverse of A is; the keywords
// are hinverse's declared ones.
// [[Rcpp::export(name = ".kv_hinverse", rng = false)]]
SEXP KvHinverse(SEXP xp, Rcpp::CharacterVector keys, Rcpp::CharacterVector values, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    Rcpp::List out = CompressedColumns(s.HInverse(KeywordsOf(keys, values)));
    out["groups"] = Rcpp::wrap(s.GroupIds());
    return out;
  });
}

// [[Rcpp::export(name = ".kv_x_linked", rng = false)]]
SEXP KvXLinked(SEXP xp, bool inverse, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP { return CompressedColumns(s.XLinked(inverse)); });
}

// The chosen individuals' IDs name the rows.
// [[Rcpp::export(name = ".kv_dominance", rng = false)]]
SEXP KvDominance(SEXP xp, bool byGroup, int group, bool inverse, double minValue, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    const kinvar::MemberMatrix d =
        s.Dominance(byGroup ? std::optional<int>(group) : std::nullopt, inverse, minValue);
    Rcpp::List out = CompressedColumns(d.lower);
    out["ids"] = Utf8Strings(d.ids);
    return out;
  });
}

// [[Rcpp::export(name = ".kv_path_counting", rng = false)]]
SEXP KvPathCounting(SEXP xp, std::string scope, std::string id, int group, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    if (scope == "individual") return TablesOf(s.PathCountingIndividual(id), IdsOf(xp));
    if (scope == "group") return TablesOf(s.PathCountingGroup(group), IdsOf(xp));
    return TablesOf(s.PathCountingAll(), IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_extract", rng = false)]]
SEXP KvExtract(SEXP xp, bool ancestors, bool byGroup, std::string id, int group, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    const auto kinship = ancestors ? Session::Kinship::kAncestors : Session::Kinship::kDescendants;
    return SessionToR(byGroup ? s.ExtractGroup(kinship, group) : s.ExtractIndividual(kinship, id),
                      IdsOf(xp).type);
  });
}

// [[Rcpp::export(name = ".kv_gene_origin", rng = false)]]
SEXP KvGeneOrigin(SEXP xp, int group, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP { return TablesOf(s.GeneOrigin(group), IdsOf(xp)); });
}

// [[Rcpp::export(name = ".kv_decompose", rng = false)]]
SEXP KvDecompose(SEXP xp, std::string scope, std::string id, int group, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    if (scope == "individual") return TablesOf(s.DecomposeIndividual(id), IdsOf(xp));
    if (scope == "coancestry") return TablesOf(s.DecomposeCoancestry(group), IdsOf(xp));
    return TablesOf(s.DecomposeGroup(group), IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_diversity", rng = false)]]
SEXP KvDiversity(SEXP xp, bool all, int group, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return TablesOf(s.Diversity(all ? std::nullopt : std::optional<int>(group)), IdsOf(xp));
  });
}

namespace {

// Sires or dams from R: one group number, or the individuals' IDs.
kinvar::MateSet MateSetOf(SEXP x) {
  if (Rf_isString(x)) return StringsOf(Rcpp::CharacterVector(x));
  return Rcpp::as<int>(x);
}

}  // namespace

// [[Rcpp::export(name = ".kv_optimize_matings", rng = false)]]
SEXP KvOptimizeMatings(SEXP xp, SEXP sireGroup, SEXP damGroup, Rcpp::CharacterVector sires,
                       Rcpp::IntegerVector dams, Rcpp::CharacterVector forbiddenSires,
                       Rcpp::CharacterVector forbiddenDams, bool exact, double seed,
                       Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    kinvar::MatingRequest request;
    request.sireGroup = MateSetOf(sireGroup);
    request.damGroup = MateSetOf(damGroup);
    const std::vector<std::string> sireIds = StringsOf(sires);
    for (std::size_t k = 0; k < sireIds.size(); ++k) {
      request.contributions.emplace_back(sireIds[k], dams[static_cast<R_xlen_t>(k)]);
    }
    const std::vector<std::string> fs = StringsOf(forbiddenSires);
    const std::vector<std::string> fd = StringsOf(forbiddenDams);
    for (std::size_t k = 0; k < fs.size(); ++k) request.forbidden.emplace_back(fs[k], fd[k]);
    request.exact = exact;
    request.seed = static_cast<std::uint32_t>(seed);
    return TablesOf(s.OptimizeMatings(request), IdsOf(xp));
  });
}

namespace {

std::optional<int> GroupOrAll(bool all, int group) {
  return all ? std::nullopt : std::optional<int>(group);
}

// An optional number from R: a vector of length 0 or 1.
std::optional<double> OptionalNumber(const Rcpp::NumericVector& x) {
  return x.size() == 0 ? std::nullopt : std::optional<double>(x[0]);
}

}  // namespace

// [[Rcpp::export(name = ".kv_purging", rng = false)]]
SEXP KvPurging(SEXP xp, bool all, int group, double coefficient, int geneDrops, bool allFounders,
               double seed, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    kinvar::PurgingRequest request;
    request.group = GroupOrAll(all, group);
    request.purgingCoefficient = coefficient;
    request.geneDrops = geneDrops;
    request.allFounders = allFounders;
    request.seed = static_cast<std::uint32_t>(seed);
    return TablesOf(s.Purging(request), IdsOf(xp));
  });
}

// Any declared command by the keywords its declaration names: the genomic
// commands' functions and run_command().
// [[Rcpp::export(name = ".kv_genomic", rng = false)]]
SEXP KvGenomic(SEXP xp, std::string command, Rcpp::CharacterVector keys, Rcpp::CharacterVector values,
               Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return TablesOf(s.RunDeclared(command, KeywordsOf(keys, values)), IdsOf(xp));
  });
}

// The keywords a declared command takes, named by keyword, their defaults
// as texts, in the declaration's order; empty for any other command.
// [[Rcpp::export(name = ".kv_declared_keywords", rng = false)]]
Rcpp::CharacterVector KvDeclaredKeywords(std::string command) {
  const auto keywords = Session::Keywords(command);
  Rcpp::CharacterVector defaults(keywords.size());
  Rcpp::CharacterVector names(keywords.size());
  for (std::size_t i = 0; i < keywords.size(); ++i) {
    names[i] = Rcpp::String(keywords[i].first, CE_UTF8);
    defaults[i] = Rcpp::String(keywords[i].second, CE_UTF8);
  }
  defaults.attr("names") = names;
  return defaults;
}

// [[Rcpp::export(name = ".kv_mean_kinship", rng = false)]]
SEXP KvMeanKinship(SEXP xp, bool all, int group, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return TablesOf(s.MeanKinship(GroupOrAll(all, group)), IdsOf(xp));
  });
}

// A planned mating; parents of a new sire or dam as two IDs each (none:
// not new), groups as one number each (none: all males, all individuals).
// [[Rcpp::export(name = ".kv_planned_mating", rng = false)]]
SEXP KvPlannedMating(SEXP xp, std::string sire, std::string dam, Rcpp::CharacterVector sireParents,
                     Rcpp::CharacterVector damParents, Rcpp::IntegerVector candidates,
                     Rcpp::IntegerVector reference, int top, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    kinvar::PlannedMatingRequest request;
    request.sire = sire;
    request.dam = dam;
    const auto pair = [](const Rcpp::CharacterVector& two) -> std::optional<std::pair<std::string, std::string>> {
      if (two.size() != 2) return std::nullopt;
      return std::make_pair(Rcpp::as<std::string>(two[0]), Rcpp::as<std::string>(two[1]));
    };
    request.sireParents = pair(sireParents);
    request.damParents = pair(damParents);
    if (candidates.size() == 1) request.candidates = candidates[0];
    if (reference.size() == 1) request.reference = reference[0];
    request.top = top;
    return TablesOf(s.PlannedMating(request), IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_mate_suitability", rng = false)]]
SEXP KvMateSuitability(SEXP xp, SEXP sireGroup, SEXP damGroup, bool anyReference, int reference,
                       double maxF, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    return TablesOf(s.MateSuitability(MateSetOf(sireGroup), MateSetOf(damGroup),
                                      GroupOrAll(anyReference, reference), maxF),
                    IdsOf(xp));
  });
}

// [[Rcpp::export(name = ".kv_optimum_contributions", rng = false)]]
SEXP KvOptimumContributions(SEXP xp, SEXP sireGroup, SEXP damGroup, Rcpp::CharacterVector ebvIds,
                            Rcpp::NumericVector ebvValues, Rcpp::NumericVector targetDeltaF,
                            Rcpp::NumericVector targetKinship, Rcpp::NumericVector maxContribution,
                            bool matings, Rcpp::List ctl) {
  return OnSession(xp, ctl, [&](Session& s) -> SEXP {
    kinvar::ContributionRequest request;
    request.sireGroup = MateSetOf(sireGroup);
    request.damGroup = MateSetOf(damGroup);
    const std::vector<std::string> ids = StringsOf(ebvIds);
    for (std::size_t k = 0; k < ids.size(); ++k) {
      request.breedingValues.emplace_back(ids[k], ebvValues[static_cast<R_xlen_t>(k)]);
    }
    request.targetDeltaF = OptionalNumber(targetDeltaF);
    request.targetKinship = OptionalNumber(targetKinship);
    request.maxContribution = OptionalNumber(maxContribution);
    request.matings = matings;
    return TablesOf(s.OptimumContributions(request), IdsOf(xp));
  });
}
