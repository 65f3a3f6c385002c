// The document: one pedigree at a time, the settings, the last command whose
// report is shown, and every document command, run through the platform
// interface. The desktop program and the command line both drive this class;
// it includes no user-interface header.
//
// `lastCommand`: -200 no pedigree, -100 a rejected pedigree (the report holds
// its error list), 0 a report no command can repeat (after a cancel), else the
// identifier of the command whose report is shown.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analyses/command_context.h"
#include "app/commands.h"
#include "app/options.h"
#include "pedigree/load.h"
#include "pedigree/pedigree.h"
#include "report/output_file.h"
#include "report/platform.h"
#include "report/table_formats.h"

namespace kinvar {

class Document {
 public:
  // `programFolder` ends with '/' or is empty; the settings are read from it.
  Document(Platform& platform, std::string programFolder);
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Creates the report copy file. False after telling the user it could not
  // be created; the program must then end with status 1.
  bool Initialize();

  // --- File
  void OnFileOpen();
  // True when the file was read: accepted (the View Pedigree report is
  // shown) or rejected by validation (the error list is shown). A file that
  // cannot be read, or a cancelled load, leaves the document as it was.
  bool OpenPedigreeFile(const std::string& path);
  // Reads a pedigree held by another program, as OpenPedigreeFile reads a
  // file; `title` names it in place of a file name.
  bool OpenPedigreeColumns(const PedigreeColumnViews& columns, const std::string& title);
  void ClosePedigree();
  // Whether the window may close: true at once unless the report on screen
  // is unsaved, else as the user answers (Save saves it first).
  bool CanExit();
  // The report on screen is the result of an analysis that neither Save,
  // Save As nor Export has written since it was made. The pedigree
  // listings, a cancel's note and the reports of commands that wrote their
  // result to a file themselves lose nothing when closed.
  bool HasUnsavedReport() const;
  // The report on screen was written by other means (File > Export).
  void NoteReportSaved() { savedReport_ = ped_.report.Generation(); }

  // --- Commands
  // Runs a document command; false when the document has no handler for it.
  // A command that runs out of memory or threads is told to the user and
  // leaves an empty report that no command can repeat (a save leaves the
  // report it was saving).
  bool RunCommand(std::int32_t id);
  // The command table's rule, and for a document command a handler to run.
  bool IsCommandEnabled(std::int32_t id) const;
  // Whether the document can run a document command (Options and the
  // recent files run through the front end's dialog and OpenPedigreeFile).
  static bool HasHandler(std::int32_t id);
  DocumentState State() const;

  // The Inbreeding coefficient dialog's Compute: the formatted F of the
  // individual whose ID is typed, or nothing (empty text, an unknown ID or a
  // cancel, each told to the user as the dialog does). `typed` is upper-cased
  // in place, as the dialog writes it back.
  std::optional<std::string> InbreedingOf(std::string& typed);
  // The Relationship dialog's Compute: the formatted relationship of the two
  // typed individuals (numerator relationship or coefficient by the
  // setting), with the rules of the dialog: an empty box takes the focus,
  // an unknown ID is told to the user; both IDs are upper-cased in place.
  QueryAnswer RelationshipOf(std::string& first, std::string& second);
  // The last value either query computed, as a one-row table
  // ("inbreeding_of": id, f; "relationship": id1, id2, value); the report
  // on screen is not touched by a query.
  const ResultSet& QueryTables() const { return queryTables_; }

  // --- Save As
  void OnFileSaveAs();
  void OnFileSave();
  // The choice dialog for the commands that have one: 1, 2 or -1 (cancel);
  // 1 without asking for the others.
  int AskSaveChoice();
  // Writes what Save As writes for the shown report to `path`, replacing
  // it only when complete; false (after telling the user why, unless the
  // user cancelled) when nothing was saved.
  // A name ending in .xlsx (or .csv, for a report of one table) writes the
  // report's tables instead of its text.
  bool SaveTo(const std::string& path, int choice);
  // Header and body of the file Save As writes for the shown report.
  // False when the user cancelled; a failed write shows in `out`.
  bool WriteSaveFile(OutputFile& out, int choice);

  // --- Options
  // OK or Save's validation: stores the entries and returns what changed, or
  // tells the user what is wrong and returns nothing. `entries` shows the
  // swapped bounds afterwards.
  std::optional<OptionsChanges> ApplyOptions(Settings& entries);
  // Save: ApplyOptions, then the settings file. False when either failed.
  bool SaveOptions(Settings& entries);
  // After the dialog closed with OK: re-runs the shown report as needed.
  void RerunAfterOptions(const OptionsChanges& changes);
  // Writes the current settings to `path`, telling the user on failure.
  bool WriteSettings(const std::string& path);

  // --- State
  Pedigree& pedigree() { return ped_; }
  const Pedigree& pedigree() const { return ped_; }
  Settings& settings() { return ped_.settings; }
  std::int32_t lastCommand() const { return lastCommand_; }
  const std::string& path() const { return path_; }
  // The workbook sheet the pedigree was read from; "" for a text file or a
  // workbook's first sheet.
  const std::string& sheet() const { return sheet_; }
  const std::string& title() const { return title_; }
  const std::string& programFolder() const { return programFolder_; }
  std::string settingsPath() const { return programFolder_ + "Kinvar.ini"; }
  std::string seedPath() const { return programFolder_ + "Seed"; }

  bool askInputs = true;
  // A cancelled command leaves the report shown before it on screen, with
  // its command and inputs, instead of the note that it was cancelled (the
  // desktop's way; a script wants to see the cancel).
  bool keepReportOnCancel = false;
  RememberedInputs remembered;
  // The random generator's seed file, seedPath() unless kinvar-cli is told
  // another one.
  std::string seedFile;
  bool seedFileNamed = false;  // by the user, not the program folder's own

  // What the handler of a command works with; the command line runs a
  // handler's variant through it (the inverse of A as triplets).
  CommandContext Context();

 private:
  bool Dispatch(std::int32_t id);
  // Sets the shown report aside for the command `id`; false when there is
  // nothing to keep, or no way to.
  bool KeepShownReport(std::int32_t id);
  // After the command: the kept report back when it was cancelled (or left
  // the report alone), else dropped.
  void PutBackIfCancelled();
  void StopForLackOfResources(std::int32_t id, const std::exception& failure);
  void OnCompute();
  // Puts the single-precision warning first in the report of a command
  // whose numbers go through D, when some D is too small for a float.
  void WarnOfSinglePrecision();
  void OnRecompute();
  void OnViewPedigree();
  void OnRecoding();
  void OnInbreedingDialog();
  void OnRelationshipDialog();
  void OnInverseWithGroups();
  // The optional fuzzy groups after the groups file: a cancel means none;
  // false after telling the user why the chosen file was refused.
  bool AskGroupFractions();
  void OnInverseWithMetafounders();
  // Asks for the file of `kind` and reads it into the groups with `read`,
  // telling the user what is wrong, then InverseWithGroupsRequest.
  using GroupsReader = std::function<std::string(const std::string& path, GeneticGroups& groups)>;
  void InverseWithGroupsFrom(const std::string& kind, const std::string& subject, const GroupsReader& read);
  // Reads the pedigree again with `groups` asked for (ids, and Gamma for
  // metafounders), then writes the inverse; a failed reading keeps the old.
  void InverseWithGroupsRequest(GeneticGroups groups);

  // The sheet of a workbook with several, asked of the platform; false when
  // the user cancelled. `sheet` stays empty for the first (or only) one.
  bool ChooseSheet(const std::string& path, std::string& sheet);
  // Loads a pedigree in place of the shown one: true when it was read
  // (accepted, and listed, or rejected with its error list shown), false
  // when it was not, after telling the user why; the shown pedigree is then
  // untouched.
  using Loader = std::function<LoadOutcome(Pedigree&, Progress&)>;
  bool LoadInPlaceOfShown(const Loader& load);
  void SetTitle(const std::string& title);
  // Before the report on screen is lost: asks `question` when it is
  // unsaved; true to go on (saved, or discarded), false to stop.
  bool MayDropShownReport(const std::string& question);
  // Save As to a data file: the report's tables, as File > Export writes them.
  bool SaveTables(const std::string& path, TableFormat format);
  std::int64_t GroupSize(std::int32_t groupNumber) const;
  // The groups of the relationship listing on screen, as its command kept
  // them; -1 for none.
  std::pair<int, int> ShownGroups() const;
  static std::optional<std::filesystem::file_time_type> ModificationTime(const std::string& path);

  Platform& platform_;
  std::string programFolder_;
  Pedigree ped_;
  std::int32_t lastCommand_ = kNoPedigree;
  std::string path_;
  std::string sheet_;
  std::string title_;
  std::optional<std::filesystem::file_time_type> fileTime_;
  // Where Save As last wrote the report shown then, and with which choice.
  struct LastSave {
    std::string path;
    int choice = 1;
    std::uint64_t report = 0;  // the report's generation
  };
  std::optional<LastSave> lastSave_;
  // The generation of the report last written whole to a file.
  std::optional<std::uint64_t> savedReport_;
  ResultSet queryTables_;
  // What KeepShownReport set aside besides the report store's lines.
  ReportCopyFile keptCopy_;
  std::int32_t keptCommand_ = kNoPedigree;
  RememberedInputs keptInputs_;
};

// Save As's filters for the report of `lastCommand` with `tables`, the
// first being what the file holds.
std::vector<FileFilter> SaveAsFilters(std::int32_t lastCommand, const ResultSet& tables);

// Hands the memory freed so far back to the system. The C library keeps
// freed memory for later allocations, so without this a program that held
// a herd book stays that size however small the next pedigree is.
void ReleaseFreedMemory();

// The Open dialog's filters: every kind of pedigree file first, then one per
// kind, then every file.
std::vector<FileFilter> PedigreeFileFilters();

// What the user is told when a computation could not get the memory
// (std::bad_alloc) or the threads (std::system_error) it needs.
std::string ResourceFailureMessage(const std::exception& failure);

// The commands with a report whose numbers go through F and D; the inverse
// of A and matrix T, which leave the report alone, warn on their own.
bool GoesThroughVariances(std::int32_t id);

// Why the command `id` does not run on this pedigree's metafounders; empty
// when it takes them into account or there are none.
std::string MetafounderRefusal(const Pedigree& ped, std::int32_t id);

}  // namespace kinvar
