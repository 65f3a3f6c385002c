#include "app/session.h"

#include <unistd.h>

#include <algorithm>
#include <type_traits>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "analyses/dominance_command.h"
#include "analyses/hinverse.h"
#include "analyses/inverse_a_command.h"
#include "analyses/path_counting.h"
#include "analyses/relationship_listings.h"
#include "analyses/seed_file.h"
#include "app/command_declarations.h"
#include "app/document.h"
#include "app/session_platform.h"
#include "genetics/dominance.h"
#include "genetics/group_inverse.h"
#include "genetics/inverse_a.h"
#include "genetics/metafounders.h"
#include "genetics/mt19937.h"
#include "genetics/relationship.h"
#include "genetics/x_linked.h"
#include "analyses/genotype_input_form.h"
#include "matings/matings_command.h"
#include "pedigree/line_splitter.h"
#include "report/markup.h"

namespace kinvar {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kIdColumns[] = {"Progeny", "Sire", "Dam"};

bool HasLowerCase(std::string_view cell) {
  for (const char c : cell)
    if (c >= 'a' && c <= 'z') return true;
  return false;
}

bool HasLowerCase(const std::vector<std::string_view>& cells) {
  for (const std::string_view cell : cells)
    if (HasLowerCase(cell)) return true;
  return false;
}

// The cell as the reader sees it: without blanks around it.
std::string_view Trimmed(std::string_view cell) {
  while (!cell.empty() && (cell.front() == ' ' || cell.front() == '\t')) cell.remove_prefix(1);
  while (!cell.empty() && (cell.back() == ' ' || cell.back() == '\t')) cell.remove_suffix(1);
  return cell;
}

std::string PlainLine(std::string_view markup) {
  std::string line = ExpandMarkup(markup);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  return line;
}

// The lines between the error list's heading and its closing advice.
std::vector<std::string> ErrorList(const ReportStore& report) {
  std::vector<std::string> errors;
  for (int i = 1; i + 2 < report.Count(); ++i) errors.push_back(PlainLine(report.Line(i)));
  return errors;
}

std::string ReportText(const ReportStore& report) {
  std::string text;
  for (int i = 0; i < report.Count(); ++i) {
    const std::string line = PlainLine(report.Line(i));
    if (line.empty()) continue;
    text += (text.empty() ? "" : "\n") + line;
  }
  return text;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// The reader's message about a row of columns as the caller knows them: a
// file's line N is the caller's row N - 1 (the names take line 1), and a
// column is named as the caller named it.
std::string InRowsAndShownNames(std::string message, const std::vector<std::string>& names,
                                const std::vector<std::string>& shown) {
  constexpr std::string_view kLine = "Error in line ";
  if (message.compare(0, kLine.size(), kLine) == 0) {
    std::size_t end = kLine.size();
    while (end < message.size() && message[end] >= '0' && message[end] <= '9') ++end;
    long long line = 0;
    std::from_chars(message.data() + kLine.size(), message.data() + end, line);
    message = "Error in row " + std::to_string(line - 1) + message.substr(end);
  }
  if (shown.size() != names.size()) return message;
  for (std::size_t c = 0; c < names.size(); ++c) {
    if (names[c] == shown[c]) continue;
    for (const std::string& pattern : {", column " + names[c] + ".\n", "\nColumn " + names[c] + ": "}) {
      const std::size_t at = message.find(pattern);
      if (at == std::string::npos) continue;
      std::string replaced = pattern;
      replaced.replace(replaced.find(names[c]), names[c].size(), shown[c]);
      message.replace(at, pattern.size(), replaced);
    }
  }
  return message;
}

// A validation message about columns with the caller's rows where a file's
// would name lines: "(lines 2, 4)" is "(rows 1, 3)", "in line 3" "in row 2".
std::string LinesAsRows(const std::string& message) {
  std::string out;
  std::size_t at = 0;
  while (at < message.size()) {
    const std::size_t found = message.find("line", at);
    const bool word = found != std::string::npos && (found == 0 || message[found - 1] == ' ' ||
                                                     message[found - 1] == '(');
    std::size_t p = found == std::string::npos ? found : found + 4;
    const bool plural = word && p < message.size() && message[p] == 's';
    if (plural) ++p;
    if (!word || p + 1 >= message.size() || message[p] != ' ' || message[p + 1] < '0' || message[p + 1] > '9') {
      const std::size_t end = found == std::string::npos ? message.size() : found + 4;
      out.append(message, at, end - at);
      at = end;
      continue;
    }
    out.append(message, at, found - at).append(plural ? "rows" : "row");
    at = p;
    // The numbers, each after a blank: "2", "2, 4".
    while (at + 1 < message.size() && message[at] == ' ' && message[at + 1] >= '0' && message[at + 1] <= '9') {
      std::size_t end = at + 1;
      long long line = 0;
      end = static_cast<std::size_t>(std::from_chars(message.data() + end, message.data() + message.size(), line).ptr -
                                     message.data());
      out += " " + std::to_string(line - 1);
      at = end;
      if (at + 1 < message.size() && message[at] == ',' && message[at + 1] == ' ' && at + 2 < message.size() &&
          message[at + 2] >= '0' && message[at + 2] <= '9') {
        out += ",";
        ++at;
      }
    }
  }
  return out;
}

// A folder of this process's own for the files a command reads or writes.
class TempFolder {
 public:
  TempFolder() {
    std::string name = (fs::temp_directory_path() / "kinvar-session-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) throw Refused("Cannot create a temporary folder.");
    path_ = name;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

void WriteTextFile(const std::string& path, const std::string& text) {
  std::string error;
  const std::unique_ptr<OutputFile> file = OutputFile::Begin(path, error);
  if (!file) throw Refused("Cannot write " + path + ".\n" + error);
  file->Raw(text);
  if (!file->Commit()) throw Refused("Cannot write " + path + ".\n" + file->error());
}

bool IsPathCounting(std::int32_t id) {
  return id == kCmdPathCountingIndividual || id == kCmdPathCountingGroup ||
         id == kCmdPathCountingAll;
}

// The ID columns, each with its role. A progeny cell may not be empty: the
// reader would pass over a blank row, and the rows would no longer be the
// caller's.
SpelledIdColumns SpelledIdColumnsOf(const PedigreeColumnViews& columns) {
  SpelledIdColumns ids;
  for (std::size_t c = 0; c < columns.names.size() && c < columns.cells.size(); ++c) {
    const auto role = std::find(std::begin(kIdColumns), std::end(kIdColumns), columns.names[c]);
    if (role == std::end(kIdColumns)) continue;
    const std::vector<std::string_view>& cells = columns.cells[c];
    if (role == std::begin(kIdColumns)) {
      for (std::size_t row = 0; row < cells.size(); ++row)
        if (Trimmed(cells[row]).empty())
          throw InvalidPedigree({"Row " + std::to_string(row + 1) + " has no ID."});
    }
    ids.columns.push_back(&cells);
    ids.roles.push_back(static_cast<int>(role - std::begin(kIdColumns)));
    ids.lowerCase = ids.lowerCase || HasLowerCase(cells);
  }
  return ids;
}

}  // namespace

InvalidPedigree::InvalidPedigree(std::vector<std::string> errors)
    : std::runtime_error(JoinLines(errors)), errors_(std::move(errors)) {}

Cancelled::Cancelled() : std::runtime_error(kCanceledMessage) {}

Session::Session()
    : platform_(std::make_unique<SessionPlatform>()),
      doc_(std::make_unique<Document>(*platform_, std::string())) {
  // No program folder: default settings, no seed file of the user's.
  if (!doc_->Initialize()) throw Refused("Error: Cannot create temporary file.");
}

Session::~Session() = default;

std::unique_ptr<Session> Session::Read(const std::string& path, const std::string& sheet,
                                       int threads, const LoadOptions& options) {
  std::unique_ptr<Session> session(new Session());
  session->threads_ = threads;
  session->UseGroups(options);
  session->Begin({});
  session->platform_->sheet = sheet;
  if (!session->doc_->OpenPedigreeFile(path)) session->ThrowStopped("Cannot read " + path + ".");
  session->ThrowIfRejected();
  session->UseFractions(options);
  return session;
}

std::unique_ptr<Session> Session::FromColumns(const PedigreeColumns& columns, int threads,
                                              const LoadOptions& options,
                                              const std::vector<std::string>& shownNames) {
  return FromColumnViews(ViewsOf(columns), threads, options, shownNames);
}

std::unique_ptr<Session> Session::FromColumnViews(const PedigreeColumnViews& columns, int threads,
                                              const LoadOptions& options,
                                              const std::vector<std::string>& shownNames) {
  std::unique_ptr<Session> session(new Session());
  session->threads_ = threads;
  const SpelledIdColumns spelled = SpelledIdColumnsOf(columns);
  session->UseGroups(options);
  session->Begin({});
  if (!session->doc_->OpenPedigreeColumns(columns, "pedigree")) {
    if (session->platform_->cancelled()) throw Cancelled();
    const std::optional<std::string>& error = session->platform_->error();
    if (!error) throw Refused("The pedigree could not be read.");
    throw Refused(InRowsAndShownNames(*error, columns.names, shownNames));
  }
  try {
    session->ThrowIfRejected();
  } catch (const InvalidPedigree& rejected) {
    std::vector<std::string> errors;
    for (const std::string& error : rejected.errors()) errors.push_back(LinesAsRows(error));
    throw InvalidPedigree(std::move(errors));
  }
  session->UseFractions(options);
  session->KeepSpellings(spelled);
  return session;
}

std::vector<std::string> Session::ReaderColumnNames() {
  return {"Progeny", "Sire", "Dam", "Group", "F", "Sex", "Birth date"};
}

std::vector<int> Session::FindColumns(const std::vector<std::string>& names) {
  namespace ls = line_splitter;
  const std::vector<std::string_view> views(names.begin(), names.end());
  ls::Header header;
  std::string message;
  if (ls::ParseHeaderCells(views, header, message) == ls::HeaderFault::kTwice) throw Refused(message);
  std::vector<int> at(header.at.begin(), header.at.end());
  if (at[ls::kProgeny] < 0 && at[ls::kSire] < 0 && at[ls::kDam] < 0 && names.size() >= 3) {
    // By position, unless a name already stands for one of the first three.
    bool free = true;
    for (int c = ls::kGroup; c < ls::kColumnCount; ++c) free = free && (at[c] < 0 || at[c] > 2);
    if (free) at[ls::kProgeny] = 0, at[ls::kSire] = 1, at[ls::kDam] = 2;
  }
  return at;
}

void Session::UseGroups(const LoadOptions& options) {
  if (!options.metafounders.empty()) {
    UseMetafounders(options);
    return;
  }
  if (!options.groupFractions.empty() && options.geneticGroups.empty())
    throw Refused("Group fractions need genetic groups.");
  std::vector<std::string> ids;
  if (const std::string error = CheckGroupIds(options.geneticGroups, ids); !error.empty())
    throw Refused(error);
  doc_->pedigree().geneticGroups.ids = std::move(ids);
  groupIds_.clear();
  for (const std::string& id : options.geneticGroups) groupIds_.emplace_back(Trimmed(id));
}

// The groups are those Gamma names, in the order they first appear there;
// each keeps the spelling of its first appearance.
void Session::UseMetafounders(const LoadOptions& options) {
  if (!options.geneticGroups.empty() || !options.groupFractions.empty())
    throw Refused("Metafounders cannot be used with genetic groups or group fractions.");
  GeneticGroups& groups = doc_->pedigree().geneticGroups;
  if (const std::string error = SetMetafounders(options.metafounders, "the metafounders given", groups);
      !error.empty())
    throw Refused(error);
  groupIds_.assign(groups.ids.size(), std::string());
  for (const MetafounderRow& row : options.metafounders)
    for (const std::string* cell : {&row.group1, &row.group2}) {
      const std::string id(Trimmed(*cell));
      const auto at = std::find(groups.ids.begin(), groups.ids.end(), UpperCased(id));
      std::string& spelled = groupIds_[static_cast<std::size_t>(at - groups.ids.begin())];
      if (spelled.empty()) spelled = id;
    }
}

void Session::UseFractions(const LoadOptions& options) {
  if (options.groupFractions.empty()) return;
  if (const std::string error = SetGroupFractions(options.groupFractions, doc_->pedigree()); !error.empty())
    throw Refused(error);
}

// The spellings of the ID columns that are not upper case. Two spellings of
// one ID are one individual, as in a file; the first, row by row and in each
// row from the progeny to the dam, is the one every result shows.
void Session::KeepSpellings(const SpelledIdColumns& ids) {
  if (!ids.lowerCase) return;
  if (!KeepSpellingsByRecord(ids)) KeepFirstSpellings(ids.columns);
}

// Row r is record r + 1, which the progeny column confirms, and its parents
// are the ones the load linked from that row's cells, so each cell's
// individual is found without a table of every ID; the first cell of each
// record spells it. False, with nothing kept, when the rows are not the
// records or a parent cell that names someone was linked to nobody (a
// parent standing for a genetic group): the IDs' own walk below then decides.
bool Session::KeepSpellingsByRecord(const SpelledIdColumns& ids) {
  const Pedigree& ped = doc_->pedigree();
  const std::size_t rows = static_cast<std::size_t>(ped.nRead);
  for (const std::vector<std::string_view>* cells : ids.columns)
    if (cells->size() != rows) return false;
  const auto sameId = [](std::string_view cell, std::string_view core) {
    if (cell.size() != core.size()) return false;
    for (std::size_t k = 0; k < cell.size(); ++k)
      if (cell[k] != core[k] && !(cell[k] >= 'a' && cell[k] <= 'z' && cell[k] - 'a' + 'A' == core[k])) return false;
    return true;
  };
  // The first cell of each record, as 1 + row * columns + column; 0 none.
  const std::size_t width = ids.columns.size();
  std::vector<std::uint32_t> first(static_cast<std::size_t>(ped.nTotal) + 1, 0);
  if (rows * width >= std::numeric_limits<std::uint32_t>::max()) return false;
  for (std::size_t row = 0; row < rows; ++row) {
    const Rec& individual = ped.rec(static_cast<RecIndex>(row + 1));
    for (std::size_t c = 0; c < width; ++c) {
      // A parent's text is read only when it was linked to nobody: the
      // cells of a million rows lie all over the caller's memory.
      const int role = ids.roles[c];
      if (role == 0 && !sameId(Trimmed((*ids.columns[c])[row]), individual.Id())) return false;
      const RecIndex at = role == 0 ? static_cast<RecIndex>(row + 1) : role == 1 ? individual.sire : individual.dam;
      if (at <= kUnknownParent || at > ped.nTotal) {
        const std::string_view id = Trimmed((*ids.columns[c])[row]);
        if (id.empty()) continue;
        const std::string upper = UpperCased(id);
        if (upper == "NA" || IsUnknownId(upper)) continue;
        return false;
      }
      std::uint32_t& cell = first[static_cast<std::size_t>(at)];
      if (cell == 0) cell = static_cast<std::uint32_t>(1 + row * width + c);
    }
  }
  for (RecIndex i = 1; i <= ped.nTotal; ++i) {
    const std::uint32_t cell = first[static_cast<std::size_t>(i)];
    if (cell == 0) continue;
    const std::string_view spelled = Trimmed((*ids.columns[(cell - 1) % width])[(cell - 1) / width]);
    if (spelled != ped.rec(i).Id()) spellings_.Add(ped.rec(i).Id(), spelled);
  }
  return true;
}

// Walked from the last cell back, each cell spells its ID over what a later
// cell spelled (an upper-case cell only an ID already kept), and what is left
// is each ID's first spelling.
void Session::KeepFirstSpellings(const std::vector<const std::vector<std::string_view>*>& idColumns) {
  std::size_t rows = 0;
  for (const std::vector<std::string_view>* cells : idColumns) rows = std::max(rows, cells->size());
  // Upper case -> the earliest spelling met so far.
  std::unordered_map<std::string, std::string_view, IdHash, std::equal_to<>> first;
  std::string upper;
  for (std::size_t row = rows; row-- > 0;)
    for (auto column = idColumns.rbegin(); column != idColumns.rend(); ++column) {
      const std::vector<std::string_view>& cells = **column;
      if (row >= cells.size()) continue;
      const std::string_view id = Trimmed(cells[row]);
      if (id.empty()) continue;
      if (!HasLowerCase(id)) {
        if (const auto found = first.find(id); found != first.end()) found->second = id;
        continue;
      }
      upper = UpperCased(id);
      if (upper == "NA" || IsUnknownId(upper)) continue;
      first.insert_or_assign(upper, id);
    }
  for (const auto& [key, spelled] : first)
    if (spelled != key) spellings_.Add(key, spelled);
}

void Session::SetCancelCheck(CancelCheck check) { platform_->SetCancelCheck(std::move(check)); }
void Session::SetProgress(ProgressSink sink) { platform_->SetProgress(std::move(sink)); }
void Session::SetThreads(int threads) { threads_ = threads; }
void Session::SetDoublePrecision(bool on) { doublePrecision_ = on; }

std::int32_t Session::size() const { return doc_->pedigree().nTotal; }
std::int32_t Session::rows() const { return doc_->pedigree().nRead; }
bool Session::HasGroups() const { return doc_->pedigree().HasGroupColumn(); }
const Pedigree& Session::pedigree() const { return doc_->pedigree(); }

std::vector<std::string> Session::Ids() const {
  const Pedigree& ped = doc_->pedigree();
  std::vector<std::string> ids;
  ids.reserve(static_cast<std::size_t>(ped.nTotal));
  for (RecIndex i = 1; i <= ped.nTotal; ++i) ids.emplace_back(Spelling(ped.rec(i).Id()));
  return ids;
}

std::string_view Session::Spelling(std::string_view coreId) const { return spellings_.Of(coreId); }

namespace {

// The word of a key's hash and its two bits there, from separate bits of
// the hash.
std::size_t FilterWord(std::size_t hash, std::size_t words) { return (hash >> 12) & (words - 1); }
std::uint64_t FilterBits(std::size_t hash) { return (1ULL << (hash & 63)) | (1ULL << ((hash >> 6) & 63)); }

}  // namespace

void Session::Spellings::Add(std::string_view coreId, std::string_view spelled) {
  if (!map_.emplace(std::string(coreId), std::string(spelled)).second) return;
  // Four keys a word at most, so that about one ID in fifty without a
  // spelling passes; the words double and the keys are marked again.
  if (4 * filter_.size() < map_.size()) {
    filter_.assign(std::max<std::size_t>(64, 2 * filter_.size()), 0);
    for (const auto& entry : map_) Mark(IdHash()(entry.first));
    return;
  }
  Mark(IdHash()(coreId));
}

void Session::Spellings::Mark(std::size_t hash) { filter_[FilterWord(hash, filter_.size())] |= FilterBits(hash); }

std::string_view Session::Spellings::Of(std::string_view coreId) const {
  if (map_.empty()) return coreId;
  const std::size_t hash = IdHash()(coreId);
  const std::uint64_t bits = FilterBits(hash);
  if ((filter_[FilterWord(hash, filter_.size())] & bits) != bits) return coreId;
  const auto found = map_.find(coreId);
  return found == map_.end() ? coreId : std::string_view(found->second);
}

std::vector<int> Session::Groups() const { return GroupNumbers(doc_->pedigree()); }

void Session::Begin(std::deque<std::string> inputs, std::deque<std::string> openFiles,
                    std::optional<std::string> savePath, std::map<std::string, std::string> formValues) {
  platform_->Prepare(std::move(inputs), std::move(openFiles), std::move(savePath), std::move(formValues));
  doc_->settings().threads = threads_;
  doc_->settings().precision = doublePrecision_ ? 1 : 0;
  doc_->askInputs = true;
}

void Session::ThrowStopped(const std::string& fallback) {
  if (platform_->cancelled()) throw Cancelled();
  if (platform_->error()) throw Refused(*platform_->error());
  throw Refused(fallback);
}

void Session::ThrowIfRejected() {
  if (doc_->lastCommand() == kRejectedPedigree) throw InvalidPedigree(ErrorList(doc_->pedigree().report));
}

void Session::RefuseUnlessRuns(std::int32_t id) const {
  if (!IsAvailable(*FindCommand(id), doc_->State()))
    throw Refused(UnavailableMessage(*FindCommand(id), doc_->State()));
  if (const std::string refusal = MetafounderRefusal(doc_->pedigree(), id); !refusal.empty())
    throw Refused(refusal);
}

RecIndex Session::Find(const std::string& id) {
  std::string typed = id;
  const RecIndex found = FindTypedId(doc_->pedigree(), typed);
  if (found == kUnknownParent) throw Refused("Cannot find individual \"" + id + "\" in the pedigree.");
  return found;
}

void Session::EnsureF() {
  CommandContext ctx = doc_->Context();
  if (!EnsureInbreeding(ctx)) ThrowStopped(kCanceledMessage);
}

ResultSet Session::Run(std::int32_t id, std::deque<std::string> inputs,
                       std::deque<std::string> openFiles, std::optional<std::string> savePath,
                       std::map<std::string, std::string> formValues) {
  Execute(id, std::move(inputs), std::move(openFiles), std::move(savePath), std::move(formValues));
  ResultSet tables = doc_->pedigree().report.tables();
  Spell(tables);
  return tables;
}

void Session::Execute(std::int32_t id, std::deque<std::string> inputs,
                      std::deque<std::string> openFiles, std::optional<std::string> savePath,
                      std::map<std::string, std::string> formValues) {
  RefuseUnlessRuns(id);
  Begin(std::move(inputs), std::move(openFiles), std::move(savePath), std::move(formValues));
  // A handler that refuses its inputs leaves the report and lastCommand as
  // they were: were they the same command's, its old tables would pass for
  // this call's.
  doc_->Context().lastCommand = kCmdNone;
  doc_->RunCommand(id);
  const std::int32_t shown = id == kCmdRecompute ? kCmdCompute : id;
  const bool foundNothing =
      IsPathCounting(id) && doc_->lastCommand() == kCmdNone && !platform_->cancelled() && !platform_->error();
  if (doc_->lastCommand() != shown && !foundNothing) {
    if (platform_->cancelled() || platform_->error()) ThrowStopped({});
    throw Refused(ReportText(doc_->pedigree().report));
  }
  if (IsPathCounting(id)) {
    CommandContext ctx = doc_->Context();
    // Refused past the limit of paths (the error says so), or cancelled.
    if (!CompletePathCountingTables(ctx)) ThrowStopped(kCanceledMessage);
  }
}

void Session::Spell(ResultSet& tables) const {
  NameGroupsIn(tables);
  if (spellings_.empty()) return;
  for (ResultTable& table : tables.tables())
    for (std::size_t c = 0; c < table.columns().size(); ++c)
      if (table.column(c).type() == ColumnType::kId)
        table.column(c).RewriteTexts([this](std::string_view id) { return Spelling(id); });
}

// The group columns as text: a numbered group by its name, another by its
// number, an individual without a group empty.
void Session::NameGroupsIn(ResultSet& tables) const {
  if (groupNames_.empty()) return;
  for (ResultTable& table : tables.tables())
    for (std::size_t c = 0; c < table.columns().size(); ++c) {
      const TableColumn& numbers = table.column(c);
      const std::string& name = numbers.name();
      if (numbers.type() != ColumnType::kInteger || (name != "group" && name != "group1" && name != "group2"))
        continue;
      TableColumn names(name, ColumnType::kText, numbers.unit());
      names.Reserve(numbers.size());
      for (std::size_t row = 0; row < numbers.size(); ++row) {
        const std::int64_t group = numbers.Integer(row);
        if (numbers.Missing(row)) names.AppendText("");
        else if (group >= 1 && group <= static_cast<std::int64_t>(groupNames_.size()))
          names.AppendText(groupNames_[static_cast<std::size_t>(group - 1)]);
        else names.AppendText(std::to_string(group));
      }
      table.column(c) = std::move(names);
    }
}

ResultSet Session::Structure(bool listFounders) {
  doc_->settings().listFounders = listFounders ? 1 : 0;
  return Run(kCmdStructure, {});
}

// The tables leave the report instead of being copied: at a million
// individuals a copy is a hundred megabytes more at the peak, beside the
// caller's own copy. A later call writes the report again from the F
// already computed in that precision, which costs a fraction of computing.
ResultSet Session::Inbreeding() {
  Execute(kCmdCompute, {});
  ResultSet tables = std::exchange(doc_->pedigree().report.tables(), ResultSet{});
  Spell(tables);
  return tables;
}

double Session::Relationship(const std::string& id1, const std::string& id2, RelationshipKind kind) {
  Find(id1);
  Find(id2);
  Begin({});
  doc_->settings().relationshipType = kind == RelationshipKind::kNumerator ? 1 : 0;
  std::string first = id1;
  std::string second = id2;
  if (!doc_->RelationshipOf(first, second).value) ThrowStopped(kCanceledMessage);
  return doc_->QueryTables().Find("relationship")->column(2).Real(0);
}

void Session::SetRelationshipSettings(RelationshipKind kind,
                                      std::optional<std::pair<double, double>> range) {
  Settings& settings = doc_->settings();
  settings.relationshipType = kind == RelationshipKind::kNumerator ? 1 : 0;
  // Every relationship lies in [0, 2]; without a range every pair is listed.
  const auto [low, high] = range.value_or(std::pair{0.0, 2.0});
  settings.relationshipLower = static_cast<float>(std::min(low, high));
  settings.relationshipUpper = static_cast<float>(std::max(low, high));
}

ResultSet Session::Relationships(const PairScope& scope, RelationshipKind kind,
                                 std::optional<std::pair<double, double>> range) {
  SetRelationshipSettings(kind, range);
  if (scope.kind == PairScope::Kind::kIds) return PairsOf(scope.ids, kind, range);
  ResultSet tables;
  if (scope.kind == PairScope::Kind::kAll) tables = Run(kCmdBetweenAll, {});
  else if (scope.kind == PairScope::Kind::kWithinGroup) tables = Run(kCmdWithinGroup, {std::to_string(scope.group1)});
  else tables = Run(kCmdBetweenTwoGroups, {std::to_string(scope.group1), std::to_string(scope.group2)});
  // The listing's cap is an error message beside a finished listing: a
  // caller would take the first pairs for all of them.
  if (platform_->error()) throw Refused(CappedListingMessage(scope));
  return tables;
}

std::string Session::CappedListingMessage(const PairScope& scope) const {
  const Pedigree& ped = doc_->pedigree();
  std::int64_t pairs = 0;
  if (scope.kind == PairScope::Kind::kAll) {
    pairs = static_cast<std::int64_t>(ped.nTotal) * (ped.nTotal - 1) / 2;
  } else if (scope.kind == PairScope::Kind::kWithinGroup) {
    const auto c = static_cast<std::int64_t>(GroupMembers(ped, scope.group1).size());
    pairs = c * (c - 1) / 2;
  } else {
    pairs = static_cast<std::int64_t>(GroupMembers(ped, scope.group1).size()) *
            static_cast<std::int64_t>(GroupMembers(ped, scope.group2).size());
  }
  const Settings& settings = doc_->settings();
  return "More than " + std::to_string(kMaxListedPairs) + " of the " + std::to_string(pairs) +
         " pairs lie between " + FormatG(settings.relationshipLower) + " and " +
         FormatG(settings.relationshipUpper) + ", and a listing stops at " + std::to_string(kMaxListedPairs) +
         ": none are returned. Narrow the range, choose a smaller group, or ask for the pairs of given "
         "IDs (at most " + std::to_string(kMaxIdsAtOnce) + " at a time).";
}

// The pairs of the given individuals, each unordered pair once, in the
// order the IDs are given.
ResultSet Session::PairsOf(const std::vector<std::string>& ids, RelationshipKind kind,
                           std::optional<std::pair<double, double>> range) {
  const std::vector<double> matrix = RelationshipMatrix(ids, kind);
  const Settings& settings = doc_->settings();
  ResultSet tables;
  ResultTable& pairs = tables.Add("pairs");
  pairs.AddColumn("id1", ColumnType::kId).AddColumn("id2", ColumnType::kId).AddColumn("value", ColumnType::kReal);
  // The IDs as the pedigree spells them, whatever the case of the query.
  std::vector<std::string> spelled;
  for (const std::string& id : ids) spelled.emplace_back(Spelling(doc_->pedigree().rec(Find(id)).Id()));
  const std::size_t k = ids.size();
  for (std::size_t j = 0; j < k; ++j) {
    for (std::size_t i = j + 1; i < k; ++i) {
      const double value = matrix[j * k + i];
      const auto stored = static_cast<float>(value);
      if (range && (stored < settings.relationshipLower || stored > settings.relationshipUpper)) continue;
      pairs.AddRow().Id(spelled[j]).Id(spelled[i]).Real(value);
    }
  }
  return tables;
}

std::vector<double> Session::RelationshipMatrix(const std::vector<std::string>& ids,
                                                RelationshipKind kind) {
  const auto k = static_cast<std::int64_t>(ids.size());
  if (k * k > kMaxMatrixCells)
    throw Refused("The matrix has " + std::to_string(k * k) + " cells; at most " +
                  std::to_string(kMaxMatrixCells) + " are computed at once.");
  std::vector<RecIndex> recs;
  for (const std::string& id : ids) recs.push_back(Find(id));
  Begin({});
  EnsureF();
  const Pedigree& ped = doc_->pedigree();
  if (ped.InDouble()) return MatrixColumns(recs, kind, ped.dDouble, ped.fDouble);
  return MatrixColumns(recs, kind, ped.d, std::vector<float>());
}

// The columns of A for the records, through the variances `d` (by code);
// `f` by code in double precision, else each record's F.
template <class T>
std::vector<double> Session::MatrixColumns(const std::vector<RecIndex>& recs, RelationshipKind kind,
                                           const std::vector<T>& d, const std::vector<T>& f) {
  const Pedigree& ped = doc_->pedigree();
  const auto k = static_cast<std::int64_t>(recs.size());
  const auto fOf = [&](const Rec& r) -> T {
    return f.empty() ? static_cast<T>(r.f) : f[static_cast<std::size_t>(r.code)];
  };
  std::int32_t last = 0;
  for (const RecIndex r : recs) last = std::max(last, ped.rec(r).code);
  BasicKernelPedigree<T> kp = WholePedigreeKernel(ped, d, last);
  const BaseRelationships base(ped);  // the metafounders' part, when loaded
  std::vector<double> matrix(static_cast<std::size_t>(k * k));
  auto window = platform_->OpenProgress();
  Progress progress(*window);
  progress.SetStage(0, 100, k, "Computing relationships");
  for (std::int64_t c = 0; c < k; ++c) {
    if (progress.Step(c)) ThrowStopped(kCanceledMessage);
    const Rec& column = ped.rec(recs[static_cast<std::size_t>(c)]);
    ComputeColumn(kp, column.code, last);
    for (std::int64_t r = 0; r < k; ++r) {
      const Rec& row = ped.rec(recs[static_cast<std::size_t>(r)]);
      T value = base.Add(kp.at(row.code), row, column);
      if (kind == RelationshipKind::kCoefficient) value = RelationshipCoefficient(value, fOf(row), fOf(column));
      if constexpr (std::is_same_v<T, float>) matrix[static_cast<std::size_t>(c * k + r)] = DecimalOf(value);
      else matrix[static_cast<std::size_t>(c * k + r)] = value;
    }
    ClearWork(kp, last);
  }
  return matrix;
}

ResultSet Session::AverageRelatedness() { return Run(kCmdAverageRelatedness, {}); }
ResultSet Session::AverageBetweenGroups() { return Run(kCmdAverageBetweenGroups, {}); }
ResultSet Session::Dii() { return Run(kCmdDii, {}); }

LowerTriplets Session::InverseOfA() {
  if (doc_->pedigree().geneticGroups.Metafounders() && doc_->pedigree().geneticGroups.gammaSingular)
    throw Refused(kSingularGamma);
  Begin({});
  EnsureF();
  Pedigree& ped = doc_->pedigree();
  EnsureCodeOrder(ped);
  auto window = platform_->OpenProgress();
  Progress progress(*window);
  progress.SetStage(0, 100, ped.nTotal, "Inverting A");
  const bool groups = ped.geneticGroups.Active();
  if (ped.InDouble())
    return Finished(groups ? BuildInverseWithGroups(ped, ped.dDouble, progress)
                           : BuildInverseOfA(ped, ped.dDouble, progress),
                    "Not enough memory for the inverse of A.");
  return Finished(groups ? BuildInverseWithGroups(ped, ped.d, progress) : BuildInverseOfA(ped, ped.d, progress),
                  "Not enough memory for the inverse of A.");
}

LowerTriplets Session::XLinked(bool inverse) {
  if (const std::string refusal = MetafounderRefusal(doc_->pedigree(), kCmdXLinked); !refusal.empty())
    throw Refused(refusal);
  Begin({});
  Pedigree& ped = doc_->pedigree();
  EnsureCodeOrder(ped);
  const XLinkedSexes sexes = SexesForXLinked(ped);
  if (sexes.sex.empty()) throw Refused(XLinkedUnknownSexMessage(sexes.unknownId));
  if (!inverse && ped.nTotal > kMaxXLinkedIndividuals) throw Refused(kXLinkedTooLarge);
  auto window = platform_->OpenProgress();
  Progress progress(*window);
  progress.SetStage(0, 100, ped.nTotal, "Computing the X-linked relationships");
  const char* noMemory = "Not enough memory for the X-linked relationships.";
  if (ped.settings.precision == 1)
    return Finished(inverse ? BuildXLinkedInverse<double>(ped, sexes.sex, progress)
                            : BuildXLinkedMatrix<double>(ped, sexes.sex, progress),
                    noMemory);
  return Finished(inverse ? BuildXLinkedInverse<float>(ped, sexes.sex, progress)
                          : BuildXLinkedMatrix<float>(ped, sexes.sex, progress),
                  noMemory);
}

template <class T>
LowerTriplets Session::Finished(const BasicInverseBuild<T>& build, const char* noMemory) {
  if (build.status == BuildStatus::kCanceled) ThrowStopped(kCanceledMessage);
  if (build.status != BuildStatus::kDone) throw Refused(noMemory);
  return InInputOrder(build.matrix);
}

// From rows by code to columns by input position, rows ascending; the
// genetic groups after the individuals keep their places.
template <class T>
LowerTriplets Session::InInputOrder(const BasicSparseLower<T>& byCode) const {
  const Pedigree& ped = doc_->pedigree();
  const std::int32_t n = byCode.n;
  std::vector<std::int32_t> position(static_cast<std::size_t>(n));
  for (std::int32_t code = 0; code < n; ++code)
    position[static_cast<std::size_t>(code)] =
        code < ped.nTotal ? ped.records[static_cast<std::size_t>(code)] - 1 : code;
  return Reordered(byCode, position, n);
}

// Each stored element to its rows' new places, in the lower triangle, by
// column. A float becomes the shortest decimal that restores it, as in the
// tables.
template <class T>
LowerTriplets Session::Reordered(const BasicSparseLower<T>& byCode, const std::vector<std::int32_t>& position,
                                 std::int32_t n) {
  std::vector<std::int64_t> start(static_cast<std::size_t>(n) + 1, 0);
  const auto each = [&](auto&& visit) {
    for (std::int32_t r = 0; r < byCode.n; ++r)
      for (const auto& e : byCode.Row(r)) {
        std::int32_t row = position[static_cast<std::size_t>(r)];
        std::int32_t col = position[static_cast<std::size_t>(e.column)];
        if (row < 0 || col < 0) continue;
        if (row < col) std::swap(row, col);
        visit(row, col, e.value);
      }
  };
  each([&](std::int32_t, std::int32_t col, T) { ++start[static_cast<std::size_t>(col) + 1]; });
  for (std::size_t c = 0; c < static_cast<std::size_t>(n); ++c) start[c + 1] += start[c];
  const auto stored = static_cast<std::size_t>(start.back());
  LowerTriplets out;
  out.n = n;
  out.row.resize(stored);
  out.col.resize(stored);
  out.value.resize(stored);
  std::vector<std::int64_t> fill(start.begin(), start.end() - 1);
  each([&](std::int32_t row, std::int32_t col, T value) {
    const auto at = static_cast<std::size_t>(fill[static_cast<std::size_t>(col)]++);
    out.row[at] = row;
    out.col[at] = col;
    if constexpr (std::is_same_v<T, float>) out.value[at] = DecimalOf(value);
    else out.value[at] = value;
  });
  SortRowsWithinColumns(out, start);
  return out;
}

// The members are taken in code order, as D is built; they come back in
// input order.
MemberMatrix Session::Dominance(std::optional<int> group, bool inverse, double minValue) {
  if (!(minValue >= 0.0) || !std::isfinite(minValue)) throw Refused(kDominanceMinValueMessage);
  RefuseUnlessRuns(kCmdDominance);
  Begin({});
  Pedigree& ped = doc_->pedigree();
  if (group) {
    const std::vector<int> groups = GroupNumbers(ped);
    if (std::find(groups.begin(), groups.end(), *group) == groups.end())
      throw Refused("Group \"" + std::to_string(*group) + "\" is not in the pedigree.");
  }
  EnsureF();
  std::vector<RecIndex> members;
  if (group) members = GroupMembers(ped, *group);
  else members.assign(ped.records.begin(), ped.records.begin() + ped.nTotal);
  if (const std::string refusal = DominanceSizeRefusal(static_cast<std::int64_t>(members.size()), inverse);
      !refusal.empty())
    throw Refused(refusal);
  if (ped.InDouble()) return DominanceOf(ped.dDouble, std::move(members), inverse, minValue);
  return DominanceOf(ped.d, std::move(members), inverse, minValue);
}

template <class T>
MemberMatrix Session::DominanceOf(const std::vector<T>& d, std::vector<RecIndex> members, bool inverse,
                                  double minValue) {
  Pedigree& ped = doc_->pedigree();
  auto window = platform_->OpenProgress();
  Progress progress(*window);
  const NonZeroReport report = [&](std::int64_t nonZero, std::int32_t m) {
    platform_->ShowMessage(DominanceNonZeroNote(nonZero, m), MessageIcon::kInformation);
  };
  const DominanceRequest request{std::move(members), inverse, minValue};
  const DominanceBuild<T> build = BuildDominance(ped, d, request, report, progress);
  if (build.status == DominanceStatus::kCanceled) ThrowStopped(kCanceledMessage);
  if (build.status != DominanceStatus::kDone) throw Refused(DominanceFailureMessage(build.status));
  std::vector<RecIndex> inOrder = request.members;
  std::sort(inOrder.begin(), inOrder.end());
  std::vector<std::int32_t> position(static_cast<std::size_t>(build.matrix.n), -1);
  MemberMatrix out;
  for (std::size_t k = 0; k < inOrder.size(); ++k) {
    const Rec& r = ped.rec(inOrder[k]);
    position[static_cast<std::size_t>(r.code - 1)] = static_cast<std::int32_t>(k);
    out.ids.emplace_back(Spelling(r.Id()));
  }
  out.lower = Reordered(build.matrix, position, static_cast<std::int32_t>(inOrder.size()));
  return out;
}

void Session::SortRowsWithinColumns(LowerTriplets& t, const std::vector<std::int64_t>& start) {
  std::vector<std::pair<std::int32_t, double>> column;
  for (std::size_t c = 0; c + 1 < start.size(); ++c) {
    const auto begin = static_cast<std::size_t>(start[c]);
    const auto end = static_cast<std::size_t>(start[c + 1]);
    bool sorted = true;
    for (std::size_t k = begin + 1; k < end && sorted; ++k) sorted = t.row[k - 1] < t.row[k];
    if (sorted) continue;
    column.clear();
    for (std::size_t k = begin; k < end; ++k) column.emplace_back(t.row[k], t.value[k]);
    std::sort(column.begin(), column.end());
    for (std::size_t k = begin; k < end; ++k) std::tie(t.row[k], t.value[k]) = column[k - begin];
  }
}

ResultSet Session::PathCountingIndividual(const std::string& id) {
  Find(id);
  return Run(kCmdPathCountingIndividual, {id});
}
ResultSet Session::PathCountingGroup(int group) {
  return Run(kCmdPathCountingGroup, {std::to_string(group)});
}
ResultSet Session::PathCountingAll() { return Run(kCmdPathCountingAll, {}); }

// The extracted file names the groups where they stood, so the extract is
// read with the same groups or metafounders. Fractions name individuals
// that an extract may leave out; they stay with this pedigree.
LoadOptions Session::GroupsToCarry() const {
  const GeneticGroups& groups = doc_->pedigree().geneticGroups;
  LoadOptions options;
  if (!groups.Metafounders()) {
    options.geneticGroups = groups.ids;
    return options;
  }
  for (std::int32_t i = 0; i < groups.Count(); ++i)
    for (std::int32_t j = i; j < groups.Count(); ++j)
      if (i == j || groups.Gamma(i, j) != 0.0)
        options.metafounders.push_back({groups.ids[static_cast<std::size_t>(i)],
                                        groups.ids[static_cast<std::size_t>(j)], groups.Gamma(i, j)});
  return options;
}

std::unique_ptr<Session> Session::Extract(std::int32_t id, const std::string& input) {
  const TempFolder folder;
  const std::string path = folder.File("extracted.pdg");
  Run(id, {input}, {}, path);
  if (!fs::exists(path)) ThrowStopped("The extraction wrote no pedigree.");
  std::unique_ptr<Session> extracted = Read(path, {}, threads_, GroupsToCarry());
  extracted->spellings_ = spellings_;
  extracted->groupNames_ = groupNames_;
  return extracted;
}

std::unique_ptr<Session> Session::ExtractIndividual(Kinship kinship, const std::string& id) {
  Find(id);
  return Extract(kinship == Kinship::kAncestors ? kCmdExtractAncestorsIndividual
                                                : kCmdExtractDescendantsIndividual,
                 id);
}

std::unique_ptr<Session> Session::ExtractGroup(Kinship kinship, int group) {
  return Extract(kinship == Kinship::kAncestors ? kCmdExtractAncestorsGroup
                                                : kCmdExtractDescendantsGroup,
                 std::to_string(group));
}

ResultSet Session::GeneOrigin(int group) { return RunDeclared("gene-origin", {{"group", std::to_string(group)}}); }

ResultSet Session::DecomposeIndividual(const std::string& id) {
  Find(id);
  return Run(kCmdDecompositionIndividual, {id});
}
ResultSet Session::DecomposeGroup(int group) {
  return Run(kCmdDecompositionGroup, {std::to_string(group)});
}
ResultSet Session::DecomposeCoancestry(int group) {
  return Run(kCmdDecompositionCoancestry, {std::to_string(group)});
}

ResultSet Session::Diversity(std::optional<int> group) {
  return RunDeclared("diversity", {{"group", group ? std::to_string(*group) : std::string("all")}});
}

// The optimization reads its inputs from files, as in the desktop program:
// they are written for it into a private folder, the seed file too.
namespace {

// The listed sires and dams hold for one run: a later one picks its groups
// anew, however this one ended.
struct MateLists {
  CommandValues& values;
  std::int32_t command;
  ~MateLists() { ForgetListedMates(values, command); }
};

bool Listed(const MateSet& set) { return std::holds_alternative<std::vector<std::string>>(set); }

// "A, B, C" up to a screenful of IDs, then how many there are in all.
std::string IdList(const std::vector<std::string>& ids) {
  constexpr std::size_t kShown = 10;
  std::string text;
  for (std::size_t i = 0; i < ids.size() && i < kShown; ++i) text += (i == 0 ? "" : ", ") + ids[i];
  if (ids.size() > kShown) text += ", ... (" + std::to_string(ids.size()) + " in all)";
  return text;
}

}  // namespace

std::vector<RecIndex> Session::ListedMembers(const std::vector<std::string>& ids, const char* role) {
  if (ids.empty()) throw Refused(std::string("Error: No ") + role + " are listed.");
  std::vector<char> seen(doc_->pedigree().recs.size(), 0);
  std::vector<RecIndex> recs;
  recs.reserve(ids.size());
  for (const std::string& id : ids) {
    const RecIndex r = Find(id);
    if (seen[static_cast<std::size_t>(r)] != 0)
      throw Refused("Error: Individual " + id + " is listed twice among the " + role + ".");
    seen[static_cast<std::size_t>(r)] = 1;
    recs.push_back(r);
  }
  return recs;
}

std::deque<std::string> Session::UseMates(std::int32_t command, const MateSet& sires, const MateSet& dams) {
  CommandValues& values = doc_->remembered.values;
  ForgetListedMates(values, command);
  if (!Listed(sires) && !Listed(dams)) return {std::to_string(std::get<int>(sires)), std::to_string(std::get<int>(dams))};
  const std::vector<int> groups = Groups();
  const auto [sireName, damName] = MateGroupNames(*FindDeclaration(command));
  const auto use = [&](const MateSet& set, const std::string& name, const char* state, const char* role) {
    if (Listed(set)) {
      ListMates(values, command, state, ListedMembers(std::get<std::vector<std::string>>(set), role));
      return;
    }
    const int group = std::get<int>(set);
    if (std::find(groups.begin(), groups.end(), group) == groups.end())
      throw Refused("Error: There is no group " + std::to_string(group) + ".");
    values.Set(command, name, std::to_string(group));
  };
  use(sires, sireName, kListedSiresState, "sires");
  use(dams, damName, kListedDamsState, "dams");
  return {};
}

std::vector<RecIndex> Session::SireMembers(const MateSet& sires) {
  if (const int* group = std::get_if<int>(&sires)) return GroupMembers(doc_->pedigree(), *group);
  return *ListedMates(doc_->remembered.values, kCmdOptimizeMatings, kListedSiresState);
}

// Every sire's line of the contribution file, those the caller left out
// with 0 dams: what optimum contributions write for the candidates they
// drop. IDs that are not sires are named all together, as the caller
// holds them, rather than by a line of a file the caller never saw.
std::string Session::ContributionLines(const MatingRequest& request, const std::vector<RecIndex>& sires) {
  const Pedigree& ped = doc_->pedigree();
  std::vector<std::int64_t> count(ped.recs.size(), -2);
  for (const RecIndex r : sires) count[static_cast<std::size_t>(r)] = -1;
  std::vector<std::string> strangers;
  for (const auto& [id, n] : request.contributions) {
    std::string typed = id;
    const RecIndex r = FindTypedId(ped, typed);
    std::int64_t& slot = count[static_cast<std::size_t>(r)];
    if (r == kUnknownParent || slot == -2) {
      strangers.push_back(id);
      continue;
    }
    if (n < 0) throw Refused("Error: The contribution of sire " + id + " is negative.");
    if (slot != -1) throw Refused("Error: Sire " + id + " has more than one contribution.");
    slot = n;
  }
  if (!strangers.empty())
    throw Refused("Error: The contributions name individuals that are not among the sires: " +
                  IdList(strangers) + ".");
  std::string lines;
  std::int64_t sum = 0;
  for (const RecIndex r : sires) {
    const std::int64_t n = std::max<std::int64_t>(count[static_cast<std::size_t>(r)], 0);
    lines += std::string(ped.rec(r).Id()) + " " + std::to_string(n) + "\n";
    sum += n;
  }
  if (Listed(request.sireGroup) || Listed(request.damGroup)) {
    const std::size_t dams = Listed(request.damGroup) ? std::get<std::vector<std::string>>(request.damGroup).size()
                                                      : GroupMembers(ped, std::get<int>(request.damGroup)).size();
    if (sum != static_cast<std::int64_t>(dams))
      throw Refused("Error: The contributions sum to " + std::to_string(sum) + ", not to the " +
                    std::to_string(dams) + " dams.");
  }
  return lines;
}

// With listed sires or dams the command's own message would name groups
// the caller never gave: an ID of a forbidden pair outside them is named
// here.
void Session::RefuseForbiddenStrangers(const MatingRequest& request) {
  if (!Listed(request.sireGroup) && !Listed(request.damGroup)) return;
  const Pedigree& ped = doc_->pedigree();
  const CommandValues& values = doc_->remembered.values;
  const auto sireList = ListedMates(values, kCmdOptimizeMatings, kListedSiresState);
  const auto damList = ListedMates(values, kCmdOptimizeMatings, kListedDamsState);
  for (const auto& [sire, dam] : request.forbidden)
    for (const std::string& id : {sire, dam}) {
      std::string typed = id;
      const RecIndex r = FindTypedId(ped, typed);
      const auto listed = [r](const std::optional<std::vector<RecIndex>>& list) {
        return list && std::find(list->begin(), list->end(), r) != list->end();
      };
      const auto inGroup = [&](const MateSet& set) {
        return !Listed(set) && r != kUnknownParent && ped.GroupNumber(ped.rec(r)) == std::get<int>(set);
      };
      if (!listed(sireList) && !listed(damList) && !inGroup(request.sireGroup) &&
          !inGroup(request.damGroup))
        throw Refused("Error: Individual " + id + " of the forbidden matings is neither a sire nor a dam here.");
    }
}

ResultSet Session::OptimizeMatings(const MatingRequest& request) {
  const TempFolder folder;
  const MateLists lists{doc_->remembered.values, kCmdOptimizeMatings};
  std::deque<std::string> picked = UseMates(kCmdOptimizeMatings, request.sireGroup, request.damGroup);
  const std::vector<RecIndex> sires = SireMembers(request.sireGroup);
  std::string contributions;
  if (sires.empty()) {
    // No such group: the command names it.
    for (const auto& [sire, count] : request.contributions) contributions += sire + " " + std::to_string(count) + "\n";
  } else {
    contributions = ContributionLines(request, sires);
  }
  std::deque<std::string> files{folder.File("contributions.c")};
  WriteTextFile(files.front(), contributions);
  RefuseForbiddenStrangers(request);
  if (!request.forbidden.empty()) {
    std::string forbidden;
    for (const auto& [sire, dam] : request.forbidden) forbidden += sire + " " + dam + "\n";
    files.push_back(folder.File("forbidden.fm"));
    WriteTextFile(files.back(), forbidden);
  }
  Mt19937 generator;
  InitGenerator(generator, request.seed);
  SaveSeedFile(generator, folder.File("Seed"), *platform_);
  doc_->seedFile = folder.File("Seed");
  // The library's seed is the seed file's; none is typed.
  doc_->remembered.values.Set(kCmdOptimizeMatings, "exact", request.exact ? "1" : "0");
  doc_->remembered.values.Set(kCmdOptimizeMatings, "seed", "");
  doc_->settings().allowForbidden = request.forbidden.empty() ? 0 : 1;
  ResultSet tables = Run(kCmdOptimizeMatings, std::move(picked), std::move(files));
  const ReportStore& report = doc_->pedigree().report;
  if (report.Count() > 1 && report.Line(1) == kCouldNotOptimizeLine) throw Refused(ReportText(report));
  return tables;
}

namespace {

std::string Text(double value) {
  char buffer[32];
  return {buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr};
}

std::string GroupOrAll(std::optional<int> group) { return group ? std::to_string(*group) : "all"; }

// A seed file whose stream starts from `seed`.
std::string SeedFile(const TempFolder& folder, std::uint32_t seed, Platform& platform) {
  Mt19937 generator;
  InitGenerator(generator, seed);
  const std::string path = folder.File("Seed");
  SaveSeedFile(generator, path, platform);
  return path;
}

// What the pickers and the form of a declared command answer, by the
// keywords given; refused for a keyword the command does not take.
struct DeclaredInputs {
  std::int32_t id = 0;
  std::deque<std::string> inputs;
  std::map<std::string, std::string> form;
};

DeclaredInputs DeclaredInputsOf(const std::string& command, const std::map<std::string, std::string>& keywords,
                                const TempFolder& folder, Document& doc, Platform& platform) {
  const auto declaration = FindDeclaration(command);
  if (!declaration) throw std::invalid_argument("No command \"" + command + "\" takes keyword arguments.");
  for (const auto& given : keywords) {
    const std::string& keyword = given.first;
    const auto& ps = declaration->parameters;
    if (std::none_of(ps.begin(), ps.end(), [&](const Parameter& p) { return KeywordOf(p) == keyword; }))
      throw std::invalid_argument(command + " takes no argument \"" + keyword + "\".");
  }
  DeclaredInputs declared{declaration->id, {}, {}};
  for (const Parameter& p : declaration->parameters) {
    const auto given = keywords.find(KeywordOf(p));
    if (KeywordOf(p).empty() || given == keywords.end()) {
      // The default, not the last call's text, which the form would recall.
      if (p.positional) declared.inputs.push_back(p.defaultText);
      else if (!KeywordOf(p).empty() && p.name != kSeedFileParameter) declared.form[p.name] = p.defaultText;
      continue;
    }
    // The library's seed stands for a seed file whose stream starts there.
    if (p.name == kSeedFileParameter)
      doc.seedFile = SeedFile(folder, static_cast<std::uint32_t>(std::stoul(given->second)), platform);
    else if (p.positional) declared.inputs.push_back(given->second);
    else declared.form[p.name] = given->second;
  }
  return declared;
}

}  // namespace

ResultSet Session::Purging(const PurgingRequest& request) {
  return RunDeclared("purging", {{"group", GroupOrAll(request.group)},
                                 {"purging_coefficient", Text(request.purgingCoefficient)},
                                 {"gene_drops", std::to_string(request.geneDrops)},
                                 {"all_founders", request.allFounders ? "1" : "0"},
                                 {"seed", std::to_string(request.seed)}});
}

LowerTriplets Session::HInverse(const std::map<std::string, std::string>& keywords) {
  const TempFolder folder;
  DeclaredInputs declared = DeclaredInputsOf("hinverse", keywords, folder, *doc_, *platform_);
  // The matrix itself, never the listing.
  declared.form["triplets"] = "1";
  Execute(kCmdHInverse, {}, {}, folder.File("hinverse.txt"), std::move(declared.form));
  const ResultTable* table = doc_->pedigree().writtenTables.Find("hinverse");
  if (table == nullptr || table->columns().size() < 3) ThrowStopped("The single-step H-inverse was not computed.");
  // The table's rows are by code, each row's columns ascending: the matrix
  // as the command built it, back in input order.
  BasicSparseLower<double> byCode;
  byCode.n = doc_->pedigree().nTotal + doc_->pedigree().geneticGroups.Count();
  byCode.rowStart.assign(static_cast<std::size_t>(byCode.n) + 1, 0);
  byCode.elements.reserve(table->rows());
  for (std::size_t k = 0; k < table->rows(); ++k) {
    const auto row = static_cast<std::int32_t>(table->column(0).Integer(k) - 1);
    ++byCode.rowStart[static_cast<std::size_t>(row) + 1];
    byCode.elements.push_back({static_cast<std::int32_t>(table->column(1).Integer(k) - 1), table->column(2).Real(k)});
  }
  for (std::size_t r = 1; r < byCode.rowStart.size(); ++r) byCode.rowStart[r] += byCode.rowStart[r - 1];
  return InInputOrder(byCode);
}

std::vector<std::pair<std::string, std::string>> Session::Keywords(const std::string& command) {
  std::vector<std::pair<std::string, std::string>> keywords;
  const auto declaration = FindDeclaration(command);
  if (!declaration) return keywords;
  for (const Parameter& p : declaration->parameters)
    if (const std::string keyword = KeywordOf(p); !keyword.empty()) keywords.emplace_back(keyword, p.defaultText);
  return keywords;
}

ResultSet Session::RunDeclared(const std::string& command, const std::map<std::string, std::string>& keywords) {
  const TempFolder folder;
  DeclaredInputs declared = DeclaredInputsOf(command, keywords, folder, *doc_, *platform_);
  return Run(declared.id, std::move(declared.inputs), {}, std::nullopt, std::move(declared.form));
}

ResultSet Session::MeanKinship(std::optional<int> group) {
  return RunDeclared("mean-kinship", {{"group", GroupOrAll(group)}});
}

ResultSet Session::MateSuitability(const MateSet& sires, const MateSet& dams, std::optional<int> reference,
                                   double maxF) {
  const MateLists lists{doc_->remembered.values, kCmdMateSuitability};
  return Run(kCmdMateSuitability, UseMates(kCmdMateSuitability, sires, dams), {}, std::nullopt,
             {{"reference", reference ? std::to_string(*reference) : ""}, {"max-f", Text(maxF)}});
}

ResultSet Session::PlannedMating(const PlannedMatingRequest& request) {
  const auto parent = [](const std::optional<std::pair<std::string, std::string>>& two, bool first) {
    if (!two) return std::string();
    const std::string& id = first ? two->first : two->second;
    return id.empty() ? std::string("0") : id;
  };
  const auto group = [](std::optional<int> g) { return g ? std::to_string(*g) : std::string(); };
  return Run(kCmdPlannedMating, {}, {}, std::nullopt,
             {{"sire", request.sire},
              {"dam", request.dam},
              {"sire-sire", parent(request.sireParents, true)},
              {"sire-dam", parent(request.sireParents, false)},
              {"dam-sire", parent(request.damParents, true)},
              {"dam-dam", parent(request.damParents, false)},
              {"candidates", group(request.candidates)},
              {"reference", group(request.reference)},
              {"top", std::to_string(request.top)},
              {"chart", "0"}});
}

ResultSet Session::OptimumContributions(const ContributionRequest& request) {
  const TempFolder folder;
  std::map<std::string, std::string> form{{"ebv-column", ""}, {"ebv", ""}};
  if (!request.breedingValues.empty()) {
    std::string lines;
    for (const auto& [id, value] : request.breedingValues) lines += id + " " + Text(value) + "\n";
    form["ebv"] = folder.File("breeding-values.txt");
    WriteTextFile(form["ebv"], lines);
  }
  const auto optional = [](const std::optional<double>& v) { return v ? Text(*v) : std::string(); };
  form["target-delta-f"] = optional(request.targetDeltaF);
  form["target-kinship"] = optional(request.targetKinship);
  form["max-contribution"] = optional(request.maxContribution);
  form["matings-file"] = request.matings ? folder.File("matings.c") : "";
  const MateLists lists{doc_->remembered.values, kCmdOptimumContributions};
  std::deque<std::string> picked = UseMates(kCmdOptimumContributions, request.sireGroup, request.damGroup);
  ResultSet tables = Run(kCmdOptimumContributions, std::move(picked), {}, std::nullopt, form);
  if (request.matings) AddSireMatings(form["matings-file"], tables);
  return tables;
}

// The contribution file the command wrote, as a table: its lines are "ID
// count" after "!" comments.
void Session::AddSireMatings(const std::string& path, ResultSet& tables) const {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw Refused("The matings file was not written.");
  ResultTable& t = tables.Add("sire_matings");
  t.AddColumn("sire", ColumnType::kId).AddColumn("matings", ColumnType::kInteger);
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    char id[64];
    long long count = 0;
    if (line[0] == '!' || std::sscanf(line, "%63s %lld", id, &count) != 2) continue;
    t.AddRow().Id(Spelling(id)).Integer(count);
  }
  std::fclose(file);
}

const std::vector<std::string>& Session::Notes() const { return platform_->notes(); }

}  // namespace kinvar
