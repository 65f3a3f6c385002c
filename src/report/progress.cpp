#include "report/progress.h"

#include <algorithm>

namespace kinvar {

namespace {

std::int64_t CeilingDivide(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t quotient = numerator / denominator;
  const bool inexact = quotient * denominator != numerator;
  return inexact && (numerator > 0) == (denominator > 0) ? quotient + 1 : quotient;
}

}  // namespace

void Progress::SetStage(int first, int last, std::int64_t count,
                        const std::string& label) {
  window_.SetLabel(label);
  first_ = first;
  last_ = last;
  count_ = count;
  // A stage is never narrower than one percent, so the stride cannot divide
  // by zero even when a caller passes last <= first.
  const int width = std::max(last - first, 1);
  stride_ = count < width ? 1 : count / width;
  position_ = first;
  window_.SetPosition(first);
  next_ = 0;
}

bool Progress::Update(std::int64_t i) {
  next_ = i + stride_;
  // ceiling(i / count * width) in integers: in floating point 7 / 50 * 100
  // comes out just above 14 and the bar would jump a percent ahead.
  // A stage of no items gets no steps; a caller that steps one anyway sees
  // the stage's first percent rather than a division by zero.
  const std::int64_t width = last_ - first_;
  const std::int64_t share = count_ > 0 ? CeilingDivide(i * width, count_) : 0;
  const std::int64_t position = std::min<std::int64_t>(first_ + share, 100);
  position_ = static_cast<int>(position);
  window_.SetPosition(position_);
  return window_.PollCancel();
}

}  // namespace kinvar
