#include "pedigree/cycle.h"

#include <cstdint>
#include <deque>

namespace kinvar {

namespace {

constexpr RecIndex kNotReached = -1;
// The report's line length; a long loop goes on below, aligned after "Cycle:".
constexpr std::size_t kMaxCycleLineLength = 110;
constexpr const char* kContinuation = "       ";

// Breadth first over the ancestors of `start`: the first time `start` is met
// again closes the shortest loop through it. via[x] is the progeny through
// which x was first reached.
std::vector<RecIndex> ShortestLoopThrough(const Pedigree& ped, RecIndex start) {
  std::vector<RecIndex> via(ped.recs.size(), kNotReached);
  std::deque<RecIndex> queue{start};
  while (!queue.empty()) {
    const RecIndex x = queue.front();
    queue.pop_front();
    for (const RecIndex parent : {ped.rec(x).sire, ped.rec(x).dam}) {
      if (parent == kUnknownParent) continue;
      if (parent == start) {
        // Collected from the top down; the line reads from progeny to parent.
        std::vector<RecIndex> up;
        for (RecIndex y = x; y != start; y = via[static_cast<std::size_t>(y)]) up.push_back(y);
        std::vector<RecIndex> cycle{start};
        cycle.insert(cycle.end(), up.rbegin(), up.rend());
        cycle.push_back(start);
        return cycle;
      }
      if (via[static_cast<std::size_t>(parent)] != kNotReached) continue;
      via[static_cast<std::size_t>(parent)] = x;
      queue.push_back(parent);
    }
  }
  return {};
}

enum WalkState : std::uint8_t { kNew, kOnPath, kDone };
struct Step {
  RecIndex x;
  int next;  // 0 sire, 1 dam, 2 finished
};

// Depth first from `start` with an explicit stack, marking every ancestor
// kDone once all above it is walked. Returns the parent that closes a loop,
// with `path` still holding the walk from `start` to the record whose
// parent it is; kUnknownParent when no loop is above `start`.
RecIndex WalkUp(const Pedigree& ped, RecIndex start, std::vector<std::uint8_t>& state, std::vector<Step>& path) {
  path.assign(1, {start, 0});
  state[static_cast<std::size_t>(start)] = kOnPath;
  while (!path.empty()) {
    Step& top = path.back();
    if (top.next == 2) {
      state[static_cast<std::size_t>(top.x)] = kDone;
      path.pop_back();
      continue;
    }
    const Rec& r = ped.rec(top.x);
    const RecIndex parent = top.next++ == 0 ? r.sire : r.dam;
    if (parent == kUnknownParent || state[static_cast<std::size_t>(parent)] == kDone) continue;
    if (state[static_cast<std::size_t>(parent)] == kOnPath) return parent;
    state[static_cast<std::size_t>(parent)] = kOnPath;
    path.push_back({parent, 0});
  }
  return kUnknownParent;
}

// A parent still on the walk's path closes a loop, read off the path from
// that parent down.
std::vector<RecIndex> AnyLoopAbove(const Pedigree& ped, RecIndex start) {
  std::vector<std::uint8_t> state(ped.recs.size(), kNew);
  std::vector<Step> path;
  const RecIndex parent = WalkUp(ped, start, state, path);
  if (parent == kUnknownParent) return {};
  std::size_t from = 0;
  while (path[from].x != parent) ++from;
  std::vector<RecIndex> cycle;
  for (std::size_t i = from; i < path.size(); ++i) cycle.push_back(path[i].x);
  cycle.push_back(parent);
  return cycle;
}

}  // namespace

std::vector<RecIndex> FindCycle(const Pedigree& ped, RecIndex start) {
  std::vector<RecIndex> cycle = ShortestLoopThrough(ped, start);
  return cycle.empty() ? AnyLoopAbove(ped, start) : cycle;
}

RecIndex FirstInOrBelowCycle(const Pedigree& ped) {
  // Records are tried in reading order, each walking up to ancestors not
  // known to be clear (kDone), so every record is walked once.
  std::vector<std::uint8_t> state(ped.recs.size(), kNew);
  std::vector<Step> path;
  for (RecIndex start = 1; start < static_cast<RecIndex>(ped.recs.size()); ++start) {
    if (state[static_cast<std::size_t>(start)] == kDone) continue;
    if (WalkUp(ped, start, state, path) != kUnknownParent) return start;
  }
  return kUnknownParent;
}

std::vector<std::string> CycleLines(const Pedigree& ped, const std::vector<RecIndex>& cycle) {
  std::vector<std::string> lines;
  if (cycle.empty()) return lines;
  // Each member with its line, so that the parent cell at fault is found
  // without a search; the closing member repeats the first and its line.
  const auto entry = [&](std::size_t i) {
    std::string text(ped.rec(cycle[i]).Id());
    const auto k = static_cast<std::size_t>(cycle[i]) - 1;
    if (i + 1 < cycle.size() && cycle[i] >= 1 && k < ped.lines.size() && ped.lines[k] > 0)
      text.append(" (line ").append(std::to_string(ped.lines[k])).append(")");
    return text;
  };
  lines.emplace_back("Cycle: ").append(entry(0));
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    const std::string text = entry(i);
    if (lines.back().size() + 3 + text.size() > kMaxCycleLineLength)
      lines.emplace_back(kContinuation);
    else
      lines.back() += " ";
    lines.back().append("> ").append(text);
  }
  return lines;
}

}  // namespace kinvar
