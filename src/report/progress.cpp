#include "report/progress.h"

#include <cmath>

namespace kinvar {

void Progress::SetStage(int first, int last, std::int64_t count,
                        const std::string& label) {
  window_.SetLabel(label);
  first_ = first;
  last_ = last;
  count_ = count;
  const int width = last - first;
  stride_ = count < width ? 1 : count / width;
  position_ = first;
  window_.SetPosition(first);
  next_ = 0;
}

bool Progress::Update(std::int64_t i) {
  next_ = i + stride_;
  // A stage of no items gets no steps; a caller that steps one anyway sees
  // the stage's first percent rather than a division by zero.
  const double share =
      count_ > 0 ? static_cast<double>(i) / static_cast<double>(count_) : 0.0;
  int position = first_ + static_cast<int>(std::ceil(share * (last_ - first_)));
  if (position > 100) position = 100;
  position_ = position;
  window_.SetPosition(position);
  return window_.PollCancel();
}

}  // namespace kinvar
