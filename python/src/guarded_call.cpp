#include "guarded_call.h"

#include <string>

namespace py = pybind11;

namespace kinvar::python {

int CheckedThreads(int threads) {
  if (threads < 0 || threads > 1024)
    throw py::value_error("threads must be 0 (one per core) to 1024, not " + std::to_string(threads));
  return threads;
}

bool DoublePrecisionOf(const std::string& precision) {
  if (precision == "single") return false;
  if (precision == "double") return true;
  throw py::value_error("precision must be \"single\" or \"double\", not \"" + precision + "\"");
}

bool SignalPoll::operator()() {
  const auto now = std::chrono::steady_clock::now();
  if (now < next_) return false;
  next_ = now + std::chrono::milliseconds(50);
  py::gil_scoped_acquire acquire;
  // A handler that raised (KeyboardInterrupt) leaves its exception set; the
  // call raises it once the computation has stopped.
  return PyErr_CheckSignals() != 0;
}

void ProgressLine::operator()(const std::string& label, int percent) {
  if (label == label_ && percent == percent_) return;
  const bool newStage = label != label_ && !label_.empty();
  label_ = label;
  percent_ = percent;
  py::gil_scoped_acquire acquire;
  const py::object stderrFile = py::module_::import("sys").attr("stderr");
  std::string line = (newStage ? "\n" : "\r") + label + ": " + std::to_string(percent) + "%";
  stderrFile.attr("write")(line);
  stderrFile.attr("flush")();
}

CallScope::CallScope(Session& session, const CallOptions& options)
    : session_(session), progress_(options.progress) {
  session_.SetThreads(CheckedThreads(options.threads));
  session_.SetDoublePrecision(options.doublePrecision);
  session_.SetCancelCheck(SignalPoll{});
  if (progress_) session_.SetProgress(ProgressLine{});
}

// The session outlives the call: it must not keep polls and sinks that
// belong to a call that has ended.
CallScope::~CallScope() {
  session_.SetCancelCheck([] { return false; });
  session_.SetProgress([](const std::string&, int) {});
  if (!progress_) return;
  try {
    py::module_::import("sys").attr("stderr").attr("write")("\n");
  } catch (const py::error_already_set&) {
    // A closed stderr must not hide the call's own result or exception.
  }
}

}  // namespace kinvar::python
