#include "report/report_store.h"

#include <algorithm>

#include <cstdio>
#include <cstdlib>

#include "report/report_copy_file.h"

namespace kinvar {

ReportStore::ReportStore()
    : fatal_([](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
        std::exit(1);
      }) {}

void ReportStore::Store(std::string_view line) {
  // The table never moves once made: a line read from the store and added
  // again would otherwise point into a slot freed by the vector's growth.
  if (lines_.capacity() < kSlots) lines_.reserve(kSlots);
  if (static_cast<std::size_t>(count_) == lines_.size()) lines_.emplace_back();
  lines_[static_cast<std::size_t>(count_)].assign(line);
  ++count_;
}

void ReportStore::Add(std::string_view line) {
  if (full_) return;
  if (line.size() > kMaxLineLength) {
    fatal_(kTooLongMessage);
    std::abort();  // a fatal handler that returns is a programming error
  }
  Store(line);
  if (count_ == kCapacity) {
    full_ = true;
    Store("");
    Store(kFullNotice);
  }
}

void ReportStore::InsertFirst(std::string_view line) {
  if (full_ || count_ + 1 >= kCapacity) return;
  Add(line);
  std::rotate(lines_.begin(), lines_.begin() + count_ - 1, lines_.begin() + count_);
}

void ReportStore::Clear() {
  if (keepNext_) {
    keepNext_ = false;
    kept_ = Kept{std::move(lines_), count_, full_, generation_, std::move(tables_)};
    lines_ = {};
  }
  count_ = 0;
  full_ = false;
  generation_ = ++issued_;
  tables_.Clear();
}

void ReportStore::RestoreKept() {
  if (!kept_) return;
  lines_ = std::move(kept_->lines);
  count_ = kept_->count;
  full_ = kept_->full;
  generation_ = kept_->generation;
  tables_ = std::move(kept_->tables);
  kept_.reset();
}

void ReportStore::StopKeeping() {
  keepNext_ = false;
  kept_.reset();
}

void ReportStore::Release() {
  StopKeeping();
  lines_.clear();
  lines_.shrink_to_fit();
  Clear();
}

void WriteReportLine(ReportStore& store, std::string_view line, ReportCopyFile* copy) {
  if (!store.Full()) store.Add(line);
  if (copy == nullptr) return;
  copy->Claim(store.Generation());
  copy->WriteLine(line);
}

}  // namespace kinvar
