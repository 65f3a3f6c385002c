#include "app/document.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <new>
#include <system_error>
#include <tuple>
#include <utility>

#include "analyses/path_counting.h"
#include "app/command_handlers.h"
#include "app/inbreeding_report.h"
#include "app/listings.h"
#include "app/settings_file.h"
#include "genetics/inbreeding.h"
#include "genetics/inverse_a.h"
#include "genetics/metafounders.h"
#include "pedigree/genetic_groups.h"
#include "genetics/relationship.h"
#include "analyses/relationship_commands.h"
#include "pedigree/load.h"
#include "pedigree/pedigree_input.h"
#include "pedigree/xlsx_reader.h"
#include "app/save_as.h"
#include "app/table_export.h"
#include "report/number_format.h"
#include "report/timestamp.h"

namespace kinvar {

namespace {

// "-", standard input, is no file of the folder.
std::string FullPath(const std::string& path) {
  if (path == kStandardInput) return path;
  std::error_code error;
  const auto full = std::filesystem::absolute(path, error);
  return error ? path : full.lexically_normal().string();
}

// An over-long report line is a programming error that must not pass
// silently into a saved file.
ReportStore::FatalHandler EndOnFatal(Platform& platform) {
  return [&platform](const std::string& message) {
    platform.ShowMessage(message, MessageIcon::kError);
    std::exit(1);
  };
}

}  // namespace

std::optional<std::filesystem::file_time_type> Document::ModificationTime(const std::string& path) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(path, error);
  if (error) return std::nullopt;
  return time;
}

Document::Document(Platform& platform, std::string programFolder)
    : platform_(platform), programFolder_(std::move(programFolder)) {
  if (!programFolder_.empty()) ped_.settings = ReadSettingsFile(settingsPath());
  seedFile = seedPath();
  ped_.report.SetFatalHandler(EndOnFatal(platform_));
}

bool Document::Initialize() {
  if (ped_.copyFile.Create()) return true;
  platform_.ShowMessage("Error: Cannot create temporary file.", MessageIcon::kError);
  return false;
}

std::vector<FileFilter> PedigreeFileFilters() {
  // A breeder's pedigree is as often a spreadsheet's export as a .pdg: the
  // first filter shows every kind the reader takes, which tells them apart
  // by content, not by name.
  return {{"Pedigrees (*.pdg *.csv *.txt *.tsv *.xlsx)", "*.pdg *.csv *.txt *.tsv *.xlsx"},
          {"Pedigree files (*.pdg)", "*.pdg"},
          {"CSV files (*.csv)", "*.csv"},
          {"Text files (*.txt)", "*.txt"},
          {"TSV files (*.tsv)", "*.tsv"},
          {"Excel workbooks (*.xlsx)", "*.xlsx"},
          {"All files (*.*)", "*.*"}};
}

void Document::OnFileOpen() {
  FileRequest request;
  request.open = true;
  request.filters = PedigreeFileFilters();
  request.defaultExtension = "pdg";
  request.title = "Open";
  if (auto chosen = platform_.AskFileName(request)) OpenPedigreeFile(*chosen);
}

bool Document::OpenPedigreeFile(const std::string& given) {
  const std::string path = FullPath(given);
  if (!path_.empty() && path == path_) {
    const auto time = ModificationTime(path);
    if (!time) return false;
    if (time == fileTime_) {
      platform_.ShowMessage("This file is already open.", MessageIcon::kInformation);
      return false;
    }
  }
  if (!MayDropShownReport("Do you want to save the report of \"" + title_ + "\" before closing it?"))
    return false;
  std::string sheet;
  if (!ChooseSheet(path, sheet)) return false;
  const auto time = ModificationTime(path);
  // Groups belong to the pedigree they were read with, however another one
  // is opened in its place (Open, a recent file, a drop); a read that fails
  // leaves the shown pedigree with its own. Before any pedigree is shown,
  // the groups set are the ones to read this file with.
  GeneticGroups groups;
  if (lastCommand_ != kNoPedigree) {
    KeepGroupRequest(ped_.geneticGroups, groups);
    ForgetGroups(ped_.geneticGroups);
  }
  const bool read = LoadInPlaceOfShown([&](Pedigree& ped, Progress& progress) {
    return LoadPedigree(path, ped, progress, sheet);
  });
  // Whichever pedigree was dropped, the old or a half-read one.
  ReleaseFreedMemory();
  if (!read) {
    KeepGroupRequest(groups, ped_.geneticGroups);
    return false;
  }
  fileTime_ = time;
  path_ = path;
  sheet_ = sheet;
  SetTitle(std::filesystem::path(path).filename().string());
  platform_.AddRecentFile(path);
  platform_.RefreshViews();
  return true;
}

bool Document::OpenPedigreeColumns(const PedigreeColumnViews& columns, const std::string& title) {
  const bool read = LoadInPlaceOfShown([&](Pedigree& ped, Progress& progress) {
    return LoadPedigreeColumns(columns, ped, progress);
  });
  ReleaseFreedMemory();
  if (!read) return false;
  fileTime_.reset();
  path_.clear();
  sheet_.clear();
  SetTitle(title);
  platform_.RefreshViews();
  return true;
}

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

bool Document::ChooseSheet(const std::string& path, std::string& sheet) {
  // A pipe gives its bytes once, to the load: looking into it first would
  // take them away.
  std::error_code error;
  if (path == kStandardInput || !std::filesystem::is_regular_file(path, error)) return true;
  if (PedigreeFileKindOf(path) != PedigreeFileKind::kWorkbook) return true;
  // A workbook that cannot be listed is refused by the load, with its reason.
  const WorkbookSheets sheets = ListWorkbookSheets(path);
  if (!sheets.message.empty() || sheets.names.size() < 2) return true;
  const auto chosen = platform_.ChooseSheet(sheets.names);
  if (!chosen) return false;
  sheet = *chosen;
  return true;
}

bool Document::LoadInPlaceOfShown(const Loader& load) {
  auto window = platform_.OpenProgress();
  WaitCursor cursor(platform_);
  // The pedigree is read into one of its own, so that input that cannot be
  // read, or a cancel, leaves the shown pedigree, its report and its report
  // copy file as they were. The new one brings its own copy file, which
  // validation fills with the error list that Save As writes.
  Pedigree loaded;
  loaded.settings = ped_.settings;
  loaded.report.tables().SetRowsWanted(ped_.report.tables().RowsWanted());
  loaded.writtenTables.SetRowsWanted(ped_.writtenTables.RowsWanted());
  KeepGroupRequest(ped_.geneticGroups, loaded.geneticGroups);
  loaded.report.SetFatalHandler(EndOnFatal(platform_));
  if (!loaded.copyFile.Create()) {
    window->Hide();
    platform_.ShowMessage("Error: Cannot create temporary file.", MessageIcon::kError);
    return false;
  }
  Progress progress(*window);
  LoadOutcome outcome;
  try {
    outcome = load(loaded, progress);
  } catch (const std::bad_alloc& failure) {
    outcome = {LoadStatus::kReadFailed, ResourceFailureMessage(failure)};
  } catch (const std::system_error& failure) {
    outcome = {LoadStatus::kReadFailed, ResourceFailureMessage(failure)};
  }
  switch (outcome.status) {
    case LoadStatus::kReadFailed:
      window->Hide();
      platform_.ShowMessage(outcome.message, MessageIcon::kError);
      return false;
    case LoadStatus::kCancelled:
      return false;
    case LoadStatus::kLoaded:
    case LoadStatus::kRejected:
      break;
  }
  // The old pedigree leaves now, before the listing needs memory.
  std::swap(ped_, loaded);
  { Pedigree gone = std::move(loaded); }
  remembered = {};
  lastSave_.reset();
  savedReport_.reset();
  if (outcome.status == LoadStatus::kLoaded) {
    OnViewPedigree();
  } else {
    lastCommand_ = kRejectedPedigree;
  }
  return true;
}

void Document::ClosePedigree() {
  ResetPedigree(ped_);
  ReleaseFreedMemory();
  ForgetGroups(ped_.geneticGroups);
  remembered = {};
  lastSave_.reset();
  savedReport_.reset();
  lastCommand_ = kNoPedigree;
  SetTitle("");
  platform_.RefreshViews();
}

bool Document::CanExit() {
  return MayDropShownReport("Do you want to save the report of \"" + title_ + "\" before exiting?");
}

bool Document::HasUnsavedReport() const {
  switch (lastCommand_) {
    case kNoPedigree: case kRejectedPedigree: case kCmdNone:
    case kCmdViewPedigree: case kCmdRecoding:
    case kCmdExtractAncestorsIndividual: case kCmdExtractAncestorsGroup:
    case kCmdExtractDescendantsIndividual: case kCmdExtractDescendantsGroup:
      return false;
    default:
      return ped_.report.Count() > 0 && savedReport_ != ped_.report.Generation();
  }
}

bool Document::MayDropShownReport(const std::string& question) {
  if (!HasUnsavedReport()) return true;
  switch (platform_.AskToSave(question)) {
    case SaveAnswer::kDiscard: return true;
    case SaveAnswer::kCancel: return false;
    case SaveAnswer::kSave: break;
  }
  // A save that was cancelled or failed keeps the report, and the window.
  OnFileSave();
  return !HasUnsavedReport();
}

void Document::SetTitle(const std::string& title) { title_ = path_.empty() ? "" : title; }

std::string ResourceFailureMessage(const std::exception& failure) {
  if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr)
    return "Not enough memory for this computation.";
  return std::string("The computation stopped: ") + failure.what();
}

bool Document::RunCommand(std::int32_t id) {
  // Memory or threads running out end the command, not the program: the
  // report then shows no figure of the half-done computation.
  const bool keep = KeepShownReport(id);
  bool handled = true;
  try {
    handled = Dispatch(id);
  } catch (const std::bad_alloc& failure) {
    StopForLackOfResources(id, failure);
  } catch (const std::system_error& failure) {
    StopForLackOfResources(id, failure);
  }
  if (keep) PutBackIfCancelled();
  return handled;
}

bool Document::KeepShownReport(std::int32_t id) {
  if (!keepReportOnCancel || ped_.report.Count() == 0) return false;
  if (id == kCmdFileOpen || id == kCmdFileSave || id == kCmdFileSaveAs) return false;
  // The command writes into a copy file of its own; the shown report's
  // stays as it is until the command has finished.
  ReportCopyFile fresh;
  if (!fresh.Create()) return false;
  keptCopy_ = std::move(ped_.copyFile);
  ped_.copyFile = std::move(fresh);
  keptCommand_ = lastCommand_;
  keptInputs_ = remembered;
  ped_.report.KeepOnNextClear();
  return true;
}

void Document::PutBackIfCancelled() {
  const bool untouched = !ped_.report.HasKept();
  const bool cancelled = ped_.report.HasKept() && lastCommand_ == kCmdNone &&
                         ped_.report.Count() == 1 && ped_.report.Line(0) == kCanceledLine;
  if (untouched || cancelled) {
    ped_.report.RestoreKept();
    ped_.copyFile = std::move(keptCopy_);
  }
  ped_.report.StopKeeping();
  keptCopy_ = {};
  if (!cancelled) return;
  lastCommand_ = keptCommand_;
  remembered = keptInputs_;
  platform_.ShowStatus("Cancelled. The report shown before is kept.");
  platform_.RefreshViews();
}

void Document::StopForLackOfResources(std::int32_t id, const std::exception& failure) {
  // A save leaves the report it was saving; a file it began is not put in
  // place (OutputFile replaces the target only when committed).
  if (id != kCmdFileSaveAs && id != kCmdFileSave) {
    ped_.report.Clear();
    lastCommand_ = kCmdNone;
  }
  platform_.ShowMessage(ResourceFailureMessage(failure), MessageIcon::kError);
  platform_.RefreshViews();
}

bool Document::Dispatch(std::int32_t id) {
  // A command that does not apply (no valid pedigree, no groups) is never
  // run, whoever asks: the menus grey it out, and a script cannot slip past.
  if (const Command* command = FindCommand(id); command != nullptr && !IsAvailable(*command, State()))
    return true;
  switch (id) {
    case kCmdFileOpen: OnFileOpen(); return true;
    case kCmdFileSaveAs: OnFileSaveAs(); return true;
    case kCmdFileSave: OnFileSave(); return true;
    case kCmdCompute: OnCompute(); return true;
    case kCmdRecompute: OnRecompute(); return true;
    case kCmdViewPedigree: OnViewPedigree(); return true;
    case kCmdRecoding: OnRecoding(); return true;
    case kCmdInbreedingOfIndividual: OnInbreedingDialog(); return true;
    case kCmdBetweenTwoIndividuals: OnRelationshipDialog(); return true;
    case kCmdInverseWithGroups: OnInverseWithGroups(); return true;
    case kCmdInverseWithMetafounders: OnInverseWithMetafounders(); return true;
    default: break;
  }
  const CommandHandler handler = AnalysisHandler(id);
  if (handler == nullptr) return false;
  if (const std::string refusal = MetafounderRefusal(ped_, id); !refusal.empty()) {
    platform_.ShowMessage(refusal, MessageIcon::kError);
    return true;
  }
  CommandContext ctx = Context();
  handler(ctx);
  WarnOfSinglePrecision();
  platform_.RefreshViews();
  return true;
}

bool GoesThroughVariances(std::int32_t id) {
  switch (id) {
    case kCmdCompute: case kCmdDii: case kCmdBetweenAll: case kCmdBetweenTwoGroups:
    case kCmdWithinGroup: case kCmdAverageBetweenGroups: case kCmdAverageRelatedness:
    case kCmdDecompositionIndividual:
    case kCmdDecompositionGroup: case kCmdDecompositionCoancestry:
      return true;
    default: return false;
  }
}

void Document::WarnOfSinglePrecision() {
  if (!GoesThroughVariances(lastCommand_)) return;
  const std::string warning = SmallVarianceWarning(ped_);
  if (warning.empty() || (ped_.report.Count() > 0 && ped_.report.Line(0) == warning)) return;
  ped_.report.InsertFirst(warning);
}

bool Document::HasHandler(std::int32_t id) {
  switch (id) {
    case kCmdFileOpen: case kCmdFileSaveAs: case kCmdCompute: case kCmdRecompute:
    case kCmdViewPedigree: case kCmdRecoding: case kCmdInbreedingOfIndividual:
    case kCmdBetweenTwoIndividuals: case kCmdOptions: case kCmdRecentFile:
    case kCmdFileSave: case kCmdInverseWithGroups: case kCmdInverseWithMetafounders:
      return true;
    default: return AnalysisHandler(id) != nullptr;
  }
}

DocumentState Document::State() const {
  DocumentState s;
  s.lastCommand = lastCommand_;
  s.nTotal = ped_.nTotal;
  s.nGroups = ped_.nGroups;
  s.groupColumn = ped_.groupColumn;
  s.fColumn = ped_.fColumn;
  s.reportLines = ped_.report.Count();
  s.tables = !ped_.report.tables().empty();
  return s;
}

bool Document::IsCommandEnabled(std::int32_t id) const {
  const Command* command = FindCommand(id);
  if (command == nullptr || !IsEnabled(*command, State())) return false;
  return command->handler != Handler::kDocument || HasHandler(id);
}

CommandContext Document::Context() {
  return CommandContext{ped_, platform_, lastCommand_, askInputs, remembered, path_, seedFile, seedFileNamed};
}

void Document::OnCompute() {
  ped_.report.Clear();
  EnsureCodeOrder(ped_);
  lastCommand_ = kCmdCompute;
  WaitCursor cursor(platform_);
  CommandContext ctx = Context();
  if (PrepareInbreeding(ctx)) WriteInbreedingReport(ped_);
  WarnOfSinglePrecision();
  platform_.RefreshViews();
}

void Document::OnRecompute() {
  DiscardPredefinedF(ped_);
  OnCompute();
}

void Document::OnViewPedigree() {
  lastCommand_ = kCmdViewPedigree;
  ListPedigree(ped_);
  if (const std::string line = MetafounderLine(ped_); !line.empty()) ped_.report.Add(line);
  platform_.RefreshViews();
}

void Document::OnRecoding() {
  lastCommand_ = kCmdRecoding;
  WaitCursor cursor(platform_);
  ListRecoding(ped_);
  platform_.RefreshViews();
}

void Document::OnInbreedingDialog() {
  const CommandDeclaration query = InbreedingOfDeclaration();
  QueryDialog dialog{"Inbreeding coefficient", QueryLabels(query), "Inbreeding coef.",
                     QueryTexts(query, remembered.values), [this](std::vector<std::string>& texts) {
                       return QueryAnswer{InbreedingOf(texts[0]), 0};
                     }};
  platform_.ShowQueryDialog(dialog);
}

void Document::OnRelationshipDialog() {
  const char* caption =
      ped_.settings.relationshipType == 0 ? "Relationship coefficient" : "Numerator relationship";
  const CommandDeclaration query = RelationshipDeclaration();
  QueryDialog dialog{caption,
                     QueryLabels(query),
                     "Relationship",
                     QueryTexts(query, remembered.values),
                     [this](std::vector<std::string>& texts) {
                       return RelationshipOf(texts[0], texts[1]);
                     }};
  platform_.ShowQueryDialog(dialog);
}

std::optional<std::string> Document::InbreedingOf(std::string& typed) {
  WaitCursor cursor(platform_);
  NormalizeTypedId(typed);
  KeepQueryTexts(InbreedingOfDeclaration(), {typed}, remembered.values);
  if (typed.empty()) return std::nullopt;
  const RecIndex found = FindTypedId(ped_, typed);
  if (found == kUnknownParent) {
    platform_.ShowMessage("Cannot find \"" + typed + "\" in the pedigree.", MessageIcon::kError);
    return std::nullopt;
  }
  CommandContext ctx = Context();
  if (!EnsureInbreeding(ctx)) {
    platform_.ShowMessage(kCanceledMessage, MessageIcon::kError);
    return std::nullopt;
  }
  const Rec& r = ped_.rec(found);
  queryTables_.Clear();
  ResultTable& table = queryTables_.Add("inbreeding_of")
                           .AddColumn("id", ColumnType::kId)
                           .AddColumn("f", ColumnType::kReal);
  TableRow row = table.AddRow();
  row.Id(r.Id());
  if (ped_.InDouble()) row.Real(FOfRecord(ped_, r));
  else row.Float(r.f);
  return FormatNumber(ped_.settings.numberFormat, FOfRecord(ped_, r));
}

QueryAnswer Document::RelationshipOf(std::string& first, std::string& second) {
  // The boxes show the IDs upper-cased, and the next dialog opens with them.
  NormalizeTypedId(first);
  NormalizeTypedId(second);
  KeepQueryTexts(RelationshipDeclaration(), {first, second}, remembered.values);
  if (first.empty()) return {std::nullopt, 0};
  if (second.empty()) return {std::nullopt, 1};
  WaitCursor cursor(platform_);
  const RecIndex x = FindTypedId(ped_, first);
  const RecIndex y = FindTypedId(ped_, second);
  for (const auto& [found, typed, focus] :
       {std::tuple{x, first, 0}, std::tuple{y, second, 1}}) {
    if (found != kUnknownParent) continue;
    platform_.ShowMessage("Cannot find individual \"" + typed + "\" in the pedigree.",
                          MessageIcon::kError);
    return {std::nullopt, focus};
  }
  CommandContext ctx = Context();
  if (!EnsureInbreeding(ctx)) {
    platform_.ShowMessage(kCanceledMessage, MessageIcon::kError);
    return {std::nullopt, 0};
  }
  const Rec& rx = ped_.rec(x);
  const Rec& ry = ped_.rec(y);
  double value = 0.0;
  float single = 0.0f;
  if (ped_.InDouble()) {
    value = PairRelationship(ped_, ped_.dDouble, x, y);
    if (ped_.settings.relationshipType == 0)
      value = RelationshipCoefficient(value, FOfRecord(ped_, rx), FOfRecord(ped_, ry));
  } else {
    single = PairRelationship(ped_, ped_.d, x, y);
    if (ped_.settings.relationshipType == 0) single = RelationshipCoefficient(single, rx.f, ry.f);
    value = static_cast<double>(single);
  }
  queryTables_.Clear();
  ResultTable& table = queryTables_.Add("relationship")
                           .AddColumn("id1", ColumnType::kId)
                           .AddColumn("id2", ColumnType::kId)
                           .AddColumn("value", ColumnType::kReal);
  TableRow row = table.AddRow();
  row.Id(rx.Id()).Id(ry.Id());
  if (ped_.InDouble()) row.Real(value);
  else row.Float(single);
  return {FormatNumber(ped_.settings.numberFormat, value), 0};
}

std::optional<OptionsChanges> Document::ApplyOptions(Settings& entries) {
  if (auto problem = CheckOptions(entries)) {
    platform_.ShowMessage(*problem, MessageIcon::kError);
    return std::nullopt;
  }
  const OptionsChanges changes = CompareSettings(ped_.settings, entries);
  ped_.settings = entries;
  return changes;
}

bool Document::SaveOptions(Settings& entries) {
  if (!ApplyOptions(entries)) return false;
  if (WriteSettingsFile(settingsPath(), ped_.settings)) return true;
  platform_.ShowMessage("Cannot open \"Kinvar.ini\" for writing.", MessageIcon::kError);
  return false;
}

bool Document::WriteSettings(const std::string& path) {
  const bool readOnly = IsReadOnlyFile(path);
  if (readOnly && !platform_.ConfirmReplacingReadOnly(path)) return false;
  std::string problem;
  if (WriteSettingsFile(path, ped_.settings, &problem, readOnly ? ReadOnly::kReplace : ReadOnly::kRefuse))
    return true;
  platform_.ShowMessage(problem, MessageIcon::kError);
  return false;
}

void Document::RerunAfterOptions(const OptionsChanges& changes) {
  for (const Rerun& rerun : RerunsAfterOptions(changes, lastCommand_)) {
    // A re-run that was cancelled shows another report, which the later
    // checks must see.
    if (rerun.command != lastCommand_) continue;
    if (rerun.reuseInputs) askInputs = false;
    const std::uint64_t before = ped_.report.Generation();
    RunCommand(rerun.command);
    askInputs = true;
    // Cancelled with the report shown before kept: the user said stop.
    if (keepReportOnCancel && ped_.report.Generation() == before) break;
  }
}

std::int64_t Document::GroupSize(std::int32_t groupNumber) const {
  for (const Description& d : ped_.groups)
    if (d.group == groupNumber) return d.count;
  return 0;
}

}  // namespace kinvar
