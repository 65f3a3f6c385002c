#include "report/progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kinvar {
namespace {

// Records what the progress state asks of its window; answers a cancel at
// the poll numbered `cancelAtPoll` (counted from 1) and only there.
class RecordingWindow final : public ProgressWindow {
 public:
  void SetLabel(const std::string& label) override { labels.push_back(label); }
  void SetPosition(int percent) override { positions.push_back(percent); }
  bool PollCancel() override { return ++polls == cancelAtPoll; }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}

  std::vector<std::string> labels;
  std::vector<int> positions;
  int polls = 0;
  int cancelAtPoll = 0;
};

struct StageRow { const char* name; int first; int last; std::int64_t count; std::int64_t stride; };

const StageRow kStageRows[] = {
    {"ThousandItemsOverFullBar", 0, 100, 1000, 10},
    {"FewerItemsThanPercents", 0, 100, 50, 1},
    {"ItemsEqualPercents", 0, 100, 100, 1},
    {"NarrowSegment", 35, 60, 1000, 40},
    {"UnevenDivision", 50, 65, 1001, 66},
    {"HalfBar", 0, 50, 99, 1},
    {"NoItems", 90, 100, 0, 1},
};

class ProgressStage : public testing::TestWithParam<StageRow> {};

// A stage starts at its first percent without polling; over the whole stage
// the bar moves and the window is polled only at the items 0, stride,
// 2 stride ..., and each position is the least whole percent at or above
// the item's share of the segment.
TEST_P(ProgressStage, PollsOncePerStrideAtTheCeilingOfTheShare) {
  const StageRow& row = GetParam();
  RecordingWindow window;
  Progress progress(window);
  progress.SetStage(row.first, row.last, row.count, "Reading");
  EXPECT_EQ(progress.stride(), row.stride);
  EXPECT_EQ(window.labels, std::vector<std::string>{"Reading"});
  EXPECT_EQ(window.positions, std::vector<int>{row.first});
  EXPECT_EQ(window.polls, 0);
  window.positions.clear();
  for (std::int64_t i = 0; i < row.count; ++i) ASSERT_FALSE(progress.Step(i));

  const std::int64_t width = row.last - row.first;
  std::size_t update = 0;
  for (std::int64_t i = 0; i < row.count; i += row.stride, ++update) {
    ASSERT_LT(update, window.positions.size());
    const std::int64_t share = window.positions[update] - row.first;
    EXPECT_GE(share * row.count, i * width) << "item " << i;
    EXPECT_LT((share - 1) * row.count, i * width) << "item " << i;
  }
  EXPECT_EQ(window.positions.size(), update);
  EXPECT_EQ(window.polls, static_cast<int>(update));
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgressStage, testing::ValuesIn(kStageRows),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Progress, ReportsACancelOnceWithoutLatchingIt) {
  RecordingWindow window;
  window.cancelAtPoll = 3;
  Progress progress(window);
  progress.SetStage(0, 100, 1000, "");
  std::vector<std::int64_t> cancelledAt;
  for (std::int64_t i = 0; i < 1000; ++i) {
    if (progress.Step(i)) cancelledAt.push_back(i);
  }
  EXPECT_EQ(cancelledAt, std::vector<std::int64_t>{20});
}

TEST(Progress, NewStageStartsPollingAtItemZeroAgain) {
  RecordingWindow window;
  Progress progress(window);
  progress.SetStage(0, 50, 1000, "Computing the inverse of A");
  for (std::int64_t i = 0; i < 1000; ++i) progress.Step(i);
  progress.SetStage(50, 100, 10, "Saving the inverse of A");
  const int polls = window.polls;
  progress.Step(0);
  EXPECT_EQ(window.polls, polls + 1);
  EXPECT_EQ(progress.position(), 50);
  EXPECT_EQ(window.labels.back(), "Saving the inverse of A");
}

TEST(Progress, SetLabelKeepsStageAndStride) {
  RecordingWindow window;
  Progress progress(window);
  progress.SetStage(90, 100, 1000, "Re-coding");
  progress.Step(0);
  progress.SetLabel("Finalizing");
  EXPECT_FALSE(progress.Step(50));
  EXPECT_EQ(window.polls, 1);
  progress.Step(100);
  EXPECT_EQ(progress.position(), 91);
  EXPECT_EQ(window.labels.back(), "Finalizing");
}

}  // namespace
}  // namespace kinvar
