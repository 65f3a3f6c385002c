// The report store: the marked-up lines of the last analysis, as the view
// shows them and Save As writes them, and the typed tables of its results,
// which every front end renders as data. Clearing the lines clears the
// tables: both always belong to the same report.
//
// It holds 100002 ordinary lines of at most 110 characters. When the last
// ordinary line arrives the store closes itself with an empty line and a
// notice (count 100004) and ignores further lines until cleared. Slot buffers
// are kept when the store is cleared, so repeated reports do not churn the
// heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/result_table.h"

namespace kinvar {

class ReportCopyFile;

class ReportStore {
 public:
  static constexpr int kCapacity = 100002;  // ordinary lines
  static constexpr int kSlots = kCapacity + 2;
  static constexpr std::size_t kMaxLineLength = 110;
  static constexpr const char* kFullNotice =
      "|X*There are more pages to view! Save in a file and then read with an editor.";
  static constexpr const char* kTooLongMessage = "Error in CMS::Add function!";

  // Called with kTooLongMessage when a writer passes an over-long line; it
  // must not return (the default prints the message and exits with 1).
  using FatalHandler = std::function<void(const std::string&)>;

  ReportStore();

  void Add(std::string_view line);
  // Puts a line before the others (a notice about the whole report); not
  // once the store is full.
  void InsertFirst(std::string_view line);
  void Clear();
  void Release();
  // The next Clear sets the report it clears aside instead of dropping it,
  // so that a command that is then cancelled can put it back whole (lines,
  // tables and generation). StopKeeping drops what was set aside, and the
  // request if no Clear came.
  void KeepOnNextClear() { keepNext_ = true; }
  bool HasKept() const { return kept_.has_value(); }
  void RestoreKept();
  void StopKeeping();

  int Count() const { return count_; }
  bool Full() const { return full_; }
  // Changes with every Clear: tells whether the report is still the one
  // that was shown at some earlier time.
  std::uint64_t Generation() const { return generation_; }
  std::string_view Line(int i) const { return lines_[static_cast<std::size_t>(i)]; }
  // Never cut: a table holds every row however long the report.
  ResultSet& tables() { return tables_; }
  const ResultSet& tables() const { return tables_; }

  void SetFatalHandler(FatalHandler handler) { fatal_ = std::move(handler); }

 private:
  void Store(std::string_view line);

  int count_ = 0;
  bool full_ = false;
  std::uint64_t generation_ = 0;
  // The last generation handed out: a report put back keeps its own, and
  // the next one still gets a number never used.
  std::uint64_t issued_ = 0;
  std::vector<std::string> lines_;  // grows to kSlots, buffers kept on Clear
  ResultSet tables_;
  struct Kept {
    std::vector<std::string> lines;
    int count = 0;
    bool full = false;
    std::uint64_t generation = 0;
    ResultSet tables;
  };
  bool keepNext_ = false;
  std::optional<Kept> kept_;
  FatalHandler fatal_;
};

// Appends to the store unless it is full and, when a copy file is given,
// writes the line and a newline to it in any case.
void WriteReportLine(ReportStore& store, std::string_view line, ReportCopyFile* copy);

}  // namespace kinvar
