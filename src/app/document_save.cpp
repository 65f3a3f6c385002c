// The document's Save and Save As: the report, a file of the last
// command's results, or its typed tables, by what the user chose.
#include "app/document.h"

#include <optional>
#include <string>

#include "analyses/path_counting.h"
#include "analyses/relationship_commands.h"
#include "app/inbreeding_report.h"
#include "app/listings.h"
#include "app/save_as.h"
#include "app/table_export.h"
#include "genetics/inbreeding.h"
#include "report/output_file.h"
#include "report/timestamp.h"

namespace kinvar {

std::pair<int, int> Document::ShownGroups() const {
  if (lastCommand_ == kCmdWithinGroup) return {GroupNumber(remembered.values, WithinGroupDeclaration(), "group"), -1};
  if (lastCommand_ != kCmdBetweenTwoGroups) return {-1, -1};
  const CommandDeclaration between = BetweenTwoGroupsDeclaration();
  return {GroupNumber(remembered.values, between, "group1"), GroupNumber(remembered.values, between, "group2")};
}

int Document::AskSaveChoice() {
  if (lastCommand_ == kCmdRecoding)
    return platform_.ChooseSaveOption("Save in ascending order", "Save in original order");
  std::int64_t pairs = 0;
  switch (lastCommand_) {
    case kCmdBetweenAll: pairs = std::int64_t{ped_.nTotal} * ped_.nTotal; break;
    case kCmdBetweenTwoGroups:
      pairs = GroupSize(ShownGroups().first) * GroupSize(ShownGroups().second);
      break;
    case kCmdWithinGroup:
      pairs = GroupSize(ShownGroups().first) * GroupSize(ShownGroups().first);
      break;
    default: return 1;
  }
  if (pairs > kMaxMatrixPairs) return 1;
  return platform_.ChooseSaveOption("Save the pairwise relationships",
                                    ped_.settings.relationshipType == 0
                                        ? "Save the relationship coefficient matrix"
                                        : "Save the numerator relationship matrix");
}

void Document::OnFileSaveAs() {
  const int choice = AskSaveChoice();
  if (choice == -1) return;
  FileRequest request;
  request.open = false;
  request.title = "Save As";
  request.filters = SaveAsFilters(lastCommand_, ped_.report.tables());
  request.defaultExtension = request.filters.front().pattern.substr(2);
  const auto chosen = platform_.AskFileName(request);
  if (!chosen) return;
  if (SaveTo(*chosen, choice)) lastSave_ = LastSave{*chosen, choice, ped_.report.Generation()};
}

// The report saved before, unchanged since: written again to the same file
// without asking; any other report asks as Save As does.
void Document::OnFileSave() {
  if (lastSave_ && lastSave_->report == ped_.report.Generation())
    SaveTo(lastSave_->path, lastSave_->choice);
  else
    OnFileSaveAs();
}

std::vector<FileFilter> SaveAsFilters(std::int32_t lastCommand, const ResultSet& tables) {
  // What the file holds: a pedigree listing is a pedigree file, any other
  // report plain text; the report's tables may go to a workbook whole, or
  // to a CSV file when there is one.
  std::vector<FileFilter> filters;
  if (IsPedigreeFileCommand(lastCommand)) filters.push_back({"Pedigree files (*.pdg)", "*.pdg"});
  filters.push_back({"Text files (*.txt)", "*.txt"});
  if (!IsPedigreeFileCommand(lastCommand) && !tables.empty()) {
    filters.push_back({"Excel workbook, the report's tables (*.xlsx)", "*.xlsx"});
    if (tables.tables().size() == 1) filters.push_back({"CSV, the report's table (*.csv)", "*.csv"});
  }
  filters.push_back({"All files (*.*)", "*.*"});
  return filters;
}

namespace {

// The tables' format when Save As is given a data file's name for a report
// that has tables; nothing for a text file.
std::optional<TableFormat> TablesFormatOf(const std::string& path, std::int32_t lastCommand,
                                          const ResultSet& tables) {
  if (IsPedigreeFileCommand(lastCommand) || tables.empty()) return std::nullopt;
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".xlsx") return TableFormat::kXlsx;
  if (extension == ".csv" && tables.tables().size() == 1) return TableFormat::kCsv;
  return std::nullopt;
}

}  // namespace

bool Document::SaveTables(const std::string& path, TableFormat format) {
  const ResultSet& tables = ped_.report.tables();
  TableExport how{format, std::string(TablesCommandName(lastCommand_)), path_};
  if (IsReadOnlyFile(path)) {
    if (!platform_.ConfirmReplacingReadOnly(path)) return false;
    how.readOnly = ReadOnly::kReplace;
  }
  WaitCursor cursor(platform_);
  std::string error;
  if (!ExportTables(tables, how, path, error)) {
    std::string reason = error;
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    platform_.ShowStatus("Not written: " + reason);
    platform_.ShowMessage(error, MessageIcon::kError);
    return false;
  }
  platform_.ShowStatus(ExportedStatus(tables, format, path));
  savedReport_ = ped_.report.Generation();
  return true;
}

bool Document::SaveTo(const std::string& path, int choice) {
  if (const auto format = TablesFormatOf(path, lastCommand_, ped_.report.tables()))
    return SaveTables(path, *format);
  const auto out = OpenOutputFile(path, platform_);
  if (!out) return false;
  WaitCursor cursor(platform_);
  // A cancelled save leaves the file that was there as it was.
  if (!WriteSaveFile(*out, choice)) return false;
  if (!CommitOutputFile(*out, platform_)) return false;
  savedReport_ = ped_.report.Generation();
  return true;
}

bool Document::WriteSaveFile(OutputFile& out, int choice) {
  const HeaderKind kind =
      IsPedigreeFileCommand(lastCommand_) ? HeaderKind::kPedigree : HeaderKind::kOutput;
  WriteFileHeader(out, kind, CurrentLocalTime(), path_);
  const SaveBody body = SaveBodyFor(lastCommand_, choice);
  // A report's own lines carry its warning; the other bodies get it here.
  if (body != SaveBody::kReportStore && GoesThroughVariances(lastCommand_)) {
    if (const std::string warning = SmallVarianceWarning(ped_); !warning.empty())
      out.Markup(warning);
  }
  // Path counting runs again straight into the file, which takes every
  // path however many the report store could not hold; it shows its own
  // progress.
  if (body == SaveBody::kPathCounting) {
    CommandContext ctx = Context();
    return WritePathCountingFile(ctx, out);
  }
  auto window = platform_.OpenProgress();
  Progress progress(*window);
  switch (body) {
    case SaveBody::kCopyFile: return WriteCopyFile(ped_, out, progress);
    case SaveBody::kInbreds: return WriteInbredsFile(ped_, out, progress);
    case SaveBody::kDii: return WriteDiiFile(ped_, out, progress);
    case SaveBody::kPedigreeFile: return WritePedigreeFile(ped_, out, progress);
    case SaveBody::kRecodedFile: return WriteRecodedFile(ped_, out, choice == 2, progress);
    case SaveBody::kReportStore: return WriteReportStore(ped_, out, progress);
    case SaveBody::kMatrixAll:
    case SaveBody::kMatrixTwoGroups:
    case SaveBody::kMatrixWithinGroup:
      WriteMatrixFile(ped_, body, ShownGroups().first, ShownGroups().second, out);
      return true;
    case SaveBody::kPathCounting: break;
  }
  return true;
}

}  // namespace kinvar
