// The one interface through which the core talks to the user. The desktop
// program implements it with dialogs and windows, the command line with
// standard error and its arguments, the tests with a scripted fake.
//
// The pickers leave the rules to the core: each carries the check that the
// dialog runs before it closes (which tells the user what is wrong), so the
// desktop, the command line and the tests accept and refuse the same inputs.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/progress.h"

namespace kinvar {

enum class MessageIcon { kNone, kError, kWarning, kInformation, kQuestion };
enum class Answer { kOk, kYes, kNo };
// What to do with unsaved work that is about to be lost.
enum class SaveAnswer { kSave, kDiscard, kCancel };

struct FileFilter {
  std::string description;  // "Pedigree Files (*.pdg)"
  std::string pattern;      // "*.pdg"
};

struct FileRequest {
  bool open = true;  // false: save (asks before overwriting)
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // without the dot
  std::string title;
  // An existing folder rather than a file (the filters are not used); the
  // dialog starts in `start`'s folder when given.
  bool folder = false;
  std::string start = {};
  // Open only: a line that says what the file is, and a button that makes
  // one (`create` returns its path, which the dialog then opens, or nothing
  // when the user gave up). Front ends without a dialog leave both aside.
  std::string note = {};
  std::string createLabel = {};
  std::function<std::optional<std::string>()> create = {};
};

// One individual by its ID: an edit box of 20 characters and a button.
struct IndividualPicker {
  std::string caption;
  std::string button;
  // Upper-cases `typed` in place (the box shows it converted) and looks it
  // up; false after telling the user it is not in the pedigree.
  std::function<bool(std::string& typed)> accept;
};

// What PickGroup returns for the picker's extra first entry; group numbers
// are 0..2147483647.
inline constexpr int kAllIndividuals = -1;

// One group, or two, from the group numbers of the pedigree in ascending
// order; the first is preselected.
struct GroupPicker {
  std::string caption;
  std::string button;  // the two-groups dialog's is always "Compute"
  std::vector<int> groups;
  // Two groups only: false after telling the user the pair is refused.
  std::function<bool(int a, int b)> acceptPair;
  // One group only: when not empty, the text of an entry listed (and
  // preselected) before the groups that stands for every individual; the
  // command line takes it as "all".
  std::string allEntry = {};
  // Two groups only: the labels of the two lists.
  std::string firstLabel = "Group A";
  std::string secondLabel = "Group B";
};

// What Compute in a query dialog answers: the text for the result box (none:
// leave it as it is) and the box, counted from 0, that takes the focus.
struct QueryAnswer {
  std::optional<std::string> value;
  int focus = 0;
};

// The Relationship and Inbreeding coefficient dialogs: one or two ID boxes
// of 20 characters, Compute (the default button), Cancel and a read-only
// result box that any edit clears. The dialog stays open for further queries
// until Cancel.
struct QueryDialog {
  std::string caption;
  std::vector<std::string> labels;  // one per ID box
  std::string resultLabel;
  std::vector<std::string> texts;   // the boxes' texts on opening
  // Reads the boxes; upper-cases them in place (the boxes show them so).
  std::function<QueryAnswer(std::vector<std::string>& texts)> compute;
};

// The few settings a command asks for before it runs: a labelled box per
// value with its current text, or a check box ("1" ticked, "0" not). OK runs
// `accept`, which tells the user what is wrong and returns false to keep the
// form open. `key` names a value for front ends that take it from elsewhere
// (kinvar-cli's options).
struct ValueForm {
  struct Field {
    std::string key;
    std::string label;
    std::string text;
    bool check = false;
    // A box for a file's name, which a window may let the user browse for:
    // a file to read, or one to write.
    enum class File { kNone, kRead, kWrite } file = File::kNone;
  };
  std::string caption;
  std::vector<Field> fields;
  std::function<bool(const std::vector<std::string>& texts)> accept;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Shows `text` verbatim; a question returns kYes or kNo, others kOk.
  virtual Answer ShowMessage(const std::string& text, MessageIcon icon) = 0;
  // The chosen full path, or nothing when the user cancelled.
  virtual std::optional<std::string> AskFileName(const FileRequest& request) = 0;
  // The two-button choice before saving: 1, 2, or -1 for Cancel.
  virtual int ChooseSaveOption(const std::string& first, const std::string& second) = 0;
  // The pickers; nothing when the user cancelled. PickIndividual returns the
  // accepted (upper-cased) ID.
  virtual std::optional<std::string> PickIndividual(const IndividualPicker& picker) = 0;
  virtual std::optional<int> PickGroup(const GroupPicker& picker) = 0;
  virtual std::optional<std::pair<int, int>> PickTwoGroups(const GroupPicker& picker) = 0;
  virtual void ShowQueryDialog(const QueryDialog& dialog) = 0;
  // A progress window, shown at once and closed when destroyed.
  virtual std::unique_ptr<ProgressWindow> OpenProgress() = 0;
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
  // Shows the form; false when the user cancelled or `accept` refused.
  // Without anybody to ask, the texts as the form gives them.
  virtual bool AskValues(const ValueForm& form) {
    std::vector<std::string> texts;
    for (const ValueForm::Field& field : form.fields) texts.push_back(field.text);
    return form.accept(texts);
  }
  // Whether the read-only file `path` may be replaced by a file being saved.
  virtual bool ConfirmReplacingReadOnly(const std::string& path) {
    return ShowMessage(path + " is read-only.\nDo you want to replace it?", MessageIcon::kQuestion) ==
           Answer::kYes;
  }
  // Asks `question` with Save, Discard and Cancel. Without anybody to ask
  // (a script, a library call) nothing is kept for a user anyway: Discard.
  virtual SaveAnswer AskToSave(const std::string& /*question*/) { return SaveAnswer::kDiscard; }
  // One line for a status bar: what was written where, or why not. Front
  // ends without one drop it; the message boxes say what matters.
  virtual void ShowStatus(const std::string& /*text*/) {}
  // The report or the document's title changed.
  virtual void RefreshViews() {}
  // A file was opened and belongs at the top of the recent-file list.
  virtual void AddRecentFile(const std::string& /*path*/) {}
  // The sheet to read of a workbook with several, from its sheet names in
  // the workbook's order; nothing when the user cancelled. Without anybody
  // to ask, the first.
  virtual std::optional<std::string> ChooseSheet(const std::vector<std::string>& sheets) {
    if (sheets.empty()) return std::nullopt;
    return sheets.front();
  }
};

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
 public:
  explicit WaitCursor(Platform& platform) : platform_(platform) { platform_.BeginWaitCursor(); }
  ~WaitCursor() { platform_.EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Platform& platform_;
};

}  // namespace kinvar
