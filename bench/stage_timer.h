// A progress window that shows nothing and notes when each loading stage
// begins, so that a benchmark can split a load's time by stage.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "report/progress.h"

namespace kinvar::bench {

class StageTimer final : public ProgressWindow {
 public:
  void SetLabel(const std::string& label) override {
    // Every stage begins with a label; the sorts begin with an empty one.
    starts_.emplace_back(label, Now());
  }
  void SetPosition(int) override {}
  bool PollCancel() override { return false; }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}

  // (label, seconds) of each stage, the last one ending at `end`.
  std::vector<std::pair<std::string, double>> Stages(double end) const {
    std::vector<std::pair<std::string, double>> stages;
    for (std::size_t i = 0; i < starts_.size(); ++i) {
      const double stop = i + 1 < starts_.size() ? starts_[i + 1].second : end;
      stages.emplace_back(starts_[i].first.empty() ? "(sorting)" : starts_[i].first,
                          stop - starts_[i].second);
    }
    return stages;
  }

 private:
  std::vector<std::pair<std::string, double>> starts_;
};

}  // namespace kinvar::bench
