// The computing side of progress and cancellation.
//
// A long computation divides the bar (0..100 %) into stages with SetStage and
// calls Step once per item with the item's index counted from 0 within the
// stage. Step is one comparison for all but about one item per percent; only
// then does it move the bar and ask the window whether the user cancelled.
// A cancel is reported once, not latched: the computation must stop when Step
// returns true.
#pragma once

#include <cstdint>
#include <string>

namespace kinvar {

// What the progress state needs from a progress window; the desktop program,
// the command line and the tests each supply one.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  // Shows `label` inside the bar and repaints it at once.
  virtual void SetLabel(const std::string& label) = 0;
  // Bar position, 0..100.
  virtual void SetPosition(int percent) = 0;
  // True when the user asked to cancel since the last poll.
  virtual bool PollCancel() = 0;
  virtual void SetWindowText(const std::string& text) = 0;
  virtual void ShowCancelButton(bool shown) = 0;
  virtual void Hide() = 0;
};

// A window that shows nothing and is never cancelled.
class SilentProgressWindow final : public ProgressWindow {
 public:
  void SetLabel(const std::string&) override {}
  void SetPosition(int) override {}
  bool PollCancel() override { return false; }
  void SetWindowText(const std::string&) override {}
  void ShowCancelButton(bool) override {}
  void Hide() override {}
};

class Progress {
 public:
  explicit Progress(ProgressWindow& window) : window_(window) {}

  // Begins a stage covering [first, last] percent (last > first) with
  // `count` items.
  void SetStage(int first, int last, std::int64_t count, const std::string& label);
  // True when the user cancelled; i is the item index within the stage.
  bool Step(std::int64_t i) {
    if (i < next_) return false;
    return Update(i);
  }
  // Replaces the label, keeping stage, position and stride.
  void SetLabel(const std::string& label) { window_.SetLabel(label); }
  void SetWindowText(const std::string& text) { window_.SetWindowText(text); }
  void ShowCancelButton(bool shown) { window_.ShowCancelButton(shown); }
  void Hide() { window_.Hide(); }

  int position() const { return position_; }
  std::int64_t stride() const { return stride_; }

 private:
  bool Update(std::int64_t i);

  ProgressWindow& window_;
  int first_ = 0;
  int last_ = 100;
  std::int64_t count_ = 0;
  std::int64_t stride_ = 1;
  std::int64_t next_ = 0;
  int position_ = 0;
};

}  // namespace kinvar
