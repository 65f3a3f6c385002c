// The one interface through which the core talks to the user. The desktop
// program implements it with dialogs and windows, the command line with
// standard error and its arguments, the tests with a scripted fake.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/progress.h"

namespace kinvar {

enum class MessageIcon { kNone, kError, kWarning, kInformation, kQuestion };
enum class Answer { kOk, kYes, kNo };

struct FileFilter {
  std::string description;  // "Pedigree Files (*.pdg)"
  std::string pattern;      // "*.pdg"
};

struct FileRequest {
  bool open = true;  // false: save (asks before overwriting)
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // without the dot
  std::string title;
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
  // A progress window, shown at once and closed when destroyed.
  virtual std::unique_ptr<ProgressWindow> OpenProgress() = 0;
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
  // The report or the document's title changed.
  virtual void RefreshViews() {}
  // A file was opened and belongs at the top of the recent-file list.
  virtual void AddRecentFile(const std::string& /*path*/) {}
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
