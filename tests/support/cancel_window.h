// A progress window for tests that reports a cancel at one chosen poll
// (counted from 1; 0 never; kEveryPoll at each) and counts the polls,
// noting any made from a thread other than the one that made the window.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "report/progress.h"

namespace kinvar::test {

class CancelAtPoll final : public ProgressWindow {
 public:
  static constexpr int kEveryPoll = -1;
  explicit CancelAtPoll(int poll = kEveryPoll) : poll_(poll) {}
  void SetLabel(const std::string&) override {}
  void SetPosition(int) override {}
  bool PollCancel() override {
    if (std::this_thread::get_id() != owner_) foreignPolls = true;
    return ++polls == poll_ || poll_ == kEveryPoll;
  }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}
  // Atomic: workers may poll too.
  std::atomic<int> polls = 0;
  std::atomic<bool> foreignPolls = false;

 private:
  int poll_;
  std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace kinvar::test
