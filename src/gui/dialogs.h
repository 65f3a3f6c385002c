// The small modal dialogs through which commands ask for their inputs: one
// individual, one group, two groups, the Relationship and Inbreeding
// coefficient queries, and the two-way choice before saving. Each runs the
// check the core hands it (report/platform.h) and closes only when it passes.
#pragma once

#include <QDialog>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/platform.h"

class QComboBox;
class QCompleter;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kinvar {
struct Pedigree;
}

namespace kinvar::gui {

// The pedigree's IDs in byte order (UTF-8, upper case as the reader stores
// them). A keystroke in an ID box is a binary search and a copy of the few
// matches the popup shows, so a million IDs cost nothing per keystroke; the
// index is built once per pedigree (IdIndexCache).
class IdIndex {
 public:
  explicit IdIndex(std::vector<std::string> ids);
  // The IDs of records 1..nTotal.
  static std::shared_ptr<const IdIndex> Of(const Pedigree& ped);

  std::size_t size() const { return ids_.size(); }
  // The first `limit` IDs that begin with `typed`, a to z of it upper-cased
  // first, as IDs are matched whatever the case typed.
  std::vector<std::string_view> Completions(std::string_view typed, std::size_t limit) const;

 private:
  std::vector<std::string> ids_;
};

// The index of a pedigree as it is now: rebuilt only when its IDs changed
// (another file, a reload), told by a hash of them that costs far less than
// sorting them again.
class IdIndexCache {
 public:
  std::shared_ptr<const IdIndex> Get(const Pedigree& ped);

 private:
  std::uint64_t stamp_ = 0;
  std::shared_ptr<const IdIndex> index_;
};

// What an ID box completes from; asked on the first keystroke, so a dialog
// that nobody types into never builds an index. Null: no completion.
using IdSource = std::function<std::shared_ptr<const IdIndex>()>;

// Most IDs the popup lists: enough to scroll through, few enough to copy on
// every keystroke.
inline constexpr std::size_t kMaxCompletions = 200;

// Makes `box` offer the IDs that begin with what is typed, case-insensitive,
// in a popup under it; picking one puts it in the box. Returns the
// completer (owned by the box), or nullptr without a source.
QCompleter* AttachIdCompleter(QLineEdit* box, IdSource source);

// Longest ID the pedigree stores: an ID box is wide enough for it.
inline constexpr int kIdBoxLength = 20;

class IdDialog : public QDialog {
  Q_OBJECT

 public:
  IdDialog(const IndividualPicker& picker, QWidget* parent = nullptr,
                 IdSource ids = {});
  // The accepted ID, upper-cased as the box shows it.
  QString id() const;
  QLineEdit* edit() const { return edit_; }
  QPushButton* button() const { return button_; }

 private:
  void OnButton();

  const IndividualPicker& picker_;
  QLineEdit* edit_;
  QPushButton* button_;
};

// The sheet of a workbook to open: a list of the sheet names, the first
// selected, with OK (or a double click) and Cancel.
class SheetChoiceDialog : public QDialog {
  Q_OBJECT

 public:
  SheetChoiceDialog(const std::vector<std::string>& sheets, QWidget* parent = nullptr);
  std::string sheet() const;
  QListWidget* list() const { return list_; }
  QPushButton* button() const { return button_; }

 private:
  QListWidget* list_;
  QPushButton* button_;
};

class GroupChoiceDialog : public QDialog {
  Q_OBJECT

 public:
  GroupChoiceDialog(const GroupPicker& picker, QWidget* parent = nullptr);
  int group() const;
  QComboBox* list() const { return list_; }
  QPushButton* button() const { return button_; }

 private:
  QComboBox* list_;
  QPushButton* button_;
};

class TwoGroupsDialog : public QDialog {
  Q_OBJECT

 public:
  TwoGroupsDialog(const GroupPicker& picker, QWidget* parent = nullptr);
  // Both -1 until Compute accepted a pair.
  std::pair<int, int> groups() const { return chosen_; }
  QComboBox* listA() const { return listA_; }
  QComboBox* listB() const { return listB_; }
  QPushButton* button() const { return button_; }

 private:
  void OnCompute();

  const GroupPicker& picker_;
  QComboBox* listA_;
  QComboBox* listB_;
  QPushButton* button_;
  std::pair<int, int> chosen_{-1, -1};
};

// The settings a command asks before it runs: a box or a check box per
// value, OK (running the form's check, which keeps the dialog open when it
// refuses) and Cancel.
class ValueFormDialog : public QDialog {
  Q_OBJECT

 public:
  ValueFormDialog(const ValueForm& form, QWidget* parent = nullptr);
  // The texts as the boxes hold them ("1" or "0" for a check box).
  std::vector<std::string> texts() const;
  const std::vector<QWidget*>& fields() const { return fields_; }
  QPushButton* button() const { return button_; }

 private:
  const ValueForm& form_;
  std::vector<QWidget*> fields_;
  QPushButton* button_;
};

// Both query dialogs: one box per label, Compute as the default button, and a
// read-only result that any edit clears. It stays open for further queries
// until Cancel.
class IdQueryDialog : public QDialog {
  Q_OBJECT

 public:
  IdQueryDialog(const QueryDialog& query, QWidget* parent = nullptr, IdSource ids = {});
  const std::vector<QLineEdit*>& boxes() const { return boxes_; }
  QLineEdit* result() const { return result_; }
  QPushButton* computeButton() const { return compute_; }
  // What Compute does; public so the keyboard path can be driven directly.
  void OnCompute();

 private:
  const QueryDialog& query_;
  std::vector<QLineEdit*> boxes_;
  QLineEdit* result_;
  QPushButton* compute_;
};

// Two stacked buttons with the caller's texts and Cancel: 1, 2 or -1.
class TwoChoiceDialog : public QDialog {
  Q_OBJECT

 public:
  TwoChoiceDialog(const std::string& first, const std::string& second, QWidget* parent = nullptr);
  int choice() const { return choice_; }
  QPushButton* firstButton() const { return first_; }
  QPushButton* secondButton() const { return second_; }

 private:
  QPushButton* first_;
  QPushButton* second_;
  int choice_ = -1;
};

}  // namespace kinvar::gui
