#include "analyses/pedigree_drawing.h"

#include <algorithm>
#include <climits>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "analyses/pedigree_chart.h"

namespace kinvar {

namespace {

constexpr int kFar = INT_MAX;

std::size_t CodeOf(const Pedigree& ped, RecIndex r) {
  return static_cast<std::size_t>(ped.rec(r).code);
}

bool IsStart(const Pedigree& ped, const DrawingRequest& request, RecIndex r) {
  return request.group >= 0 ? ped.rec(r).group == request.group : r == request.individual;
}

// Generations between each individual and the nearest start, by code
// (kFar when none): parents come before their progeny in code order, so one
// pass each way finds the shortest walk.
std::vector<int> Distances(const Pedigree& ped, const DrawingRequest& request) {
  std::vector<int> distance(static_cast<std::size_t>(ped.nTotal) + 1, kFar);
  const auto relax = [&](RecIndex r, int d) {
    if (r == kUnknownParent) return;
    int& at = distance[CodeOf(ped, r)];
    at = std::min(at, d);
  };
  if (request.kinship == Kinship::kAncestors) {
    for (std::int32_t code = ped.nTotal; code >= 1; --code) {
      const Rec& r = ped.byCode(code - 1);
      int& d = distance[static_cast<std::size_t>(code)];
      if (IsStart(ped, request, ped.records[static_cast<std::size_t>(code - 1)])) d = 0;
      if (d == kFar) continue;
      relax(r.sire, d + 1);
      relax(r.dam, d + 1);
    }
    return distance;
  }
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    const Rec& r = ped.byCode(code - 1);
    int& d = distance[static_cast<std::size_t>(code)];
    if (IsStart(ped, request, ped.records[static_cast<std::size_t>(code - 1)])) d = 0;
    for (const RecIndex parent : {r.sire, r.dam}) {
      if (parent == kUnknownParent) continue;
      const int p = distance[CodeOf(ped, parent)];
      if (p != kFar) d = std::min(d, p + 1);
    }
  }
  return distance;
}

// What the building needs about each individual, by code.
struct Marks {
  std::vector<std::uint8_t> drawn;     // in the selection
  std::vector<std::uint8_t> parent;    // has progeny in the selection
  std::vector<int> row;                // of a drawn individual
  std::vector<int> node;               // its node, -1 when none
};

Marks MarkSelection(const Pedigree& ped, const std::vector<RecIndex>& selection) {
  const std::size_t n = static_cast<std::size_t>(ped.nTotal) + 1;
  Marks marks{std::vector<std::uint8_t>(n), std::vector<std::uint8_t>(n), std::vector<int>(n, 0),
              std::vector<int>(n, -1)};
  for (const RecIndex r : selection) marks.drawn[CodeOf(ped, r)] = 1;
  for (const RecIndex r : selection) {  // in code order: parents' rows are known
    int row = 0;
    for (const RecIndex parent : {ped.rec(r).sire, ped.rec(r).dam}) {
      if (parent == kUnknownParent || marks.drawn[CodeOf(ped, parent)] == 0) continue;
      marks.parent[CodeOf(ped, parent)] = 1;
      row = std::max(row, marks.row[CodeOf(ped, parent)] + 1);
    }
    marks.row[CodeOf(ped, r)] = row;
  }
  return marks;
}

// The full sibs without progeny in the drawing, by their two parents.
std::map<std::pair<RecIndex, RecIndex>, std::vector<RecIndex>> LeafFamilies(
    const Pedigree& ped, const DrawingRequest& request, const std::vector<RecIndex>& selection,
    const Marks& marks) {
  std::map<std::pair<RecIndex, RecIndex>, std::vector<RecIndex>> families;
  for (const RecIndex r : selection) {
    const Rec& rec = ped.rec(r);
    if (rec.sire == kUnknownParent || rec.dam == kUnknownParent) continue;
    if (marks.parent[CodeOf(ped, r)] != 0 || r == request.individual) continue;
    families[{rec.sire, rec.dam}].push_back(r);
  }
  return families;
}

DrawingNode NodeOf(const Pedigree& ped, const DrawingRequest& request, DrawingNodeKind kind,
                   std::vector<RecIndex> members, int row) {
  DrawingNode node;
  node.kind = kind;
  node.row = row;
  const Rec& first = ped.rec(members.front());
  node.id = std::string(first.Id());
  double sum = 0.0;
  for (const RecIndex m : members) {
    sum += static_cast<double>(ped.rec(m).f);
    if (request.group >= 0 && ped.rec(m).group == request.group) ++node.groupMembers;
  }
  node.f = static_cast<float>(sum / static_cast<double>(members.size()));
  if (kind == DrawingNodeKind::kFamily) {
    node.sireId = std::string(ped.rec(first.sire).Id());
    node.damId = std::string(ped.rec(first.dam).Id());
  }
  node.members = std::move(members);
  return node;
}

// The mates from outside: known parents of drawn progeny that are not drawn
// themselves, beside a parent that is. Each one row above its topmost progeny.
std::vector<DrawingNode> Mates(const Pedigree& ped, const DrawingRequest& request,
                               const std::vector<RecIndex>& selection, const Marks& marks) {
  std::map<RecIndex, int> rows;
  for (const RecIndex r : selection) {
    const Rec& rec = ped.rec(r);
    const auto drawn = [&](RecIndex p) { return p != kUnknownParent && marks.drawn[CodeOf(ped, p)] != 0; };
    if (!drawn(rec.sire) && !drawn(rec.dam)) continue;
    for (const RecIndex parent : {rec.sire, rec.dam}) {
      if (parent == kUnknownParent || drawn(parent)) continue;
      const int row = marks.row[CodeOf(ped, r)] - 1;
      const auto [it, added] = rows.emplace(parent, row);
      if (!added) it->second = std::min(it->second, row);
    }
  }
  std::vector<DrawingNode> mates;
  for (const auto& [parent, row] : rows)
    mates.push_back(NodeOf(ped, request, DrawingNodeKind::kMate, {parent}, row));
  return mates;
}

std::vector<DrawingNode> Nodes(const Pedigree& ped, const DrawingRequest& request,
                               const std::vector<RecIndex>& selection, const Marks& marks) {
  std::vector<DrawingNode> nodes;
  std::vector<std::uint8_t> compacted(marks.drawn.size());
  for (auto& [parents, members] : LeafFamilies(ped, request, selection, marks)) {
    if (static_cast<int>(members.size()) < kMinFamilyToCompact) continue;
    for (const RecIndex m : members) compacted[CodeOf(ped, m)] = 1;
    const int row = marks.row[CodeOf(ped, members.front())];
    nodes.push_back(NodeOf(ped, request, DrawingNodeKind::kFamily, std::move(members), row));
  }
  for (const RecIndex r : selection)
    if (compacted[CodeOf(ped, r)] == 0)
      nodes.push_back(NodeOf(ped, request, DrawingNodeKind::kIndividual, {r}, marks.row[CodeOf(ped, r)]));
  for (DrawingNode& mate : Mates(ped, request, selection, marks)) nodes.push_back(std::move(mate));
  std::sort(nodes.begin(), nodes.end(), [&](const DrawingNode& a, const DrawingNode& b) {
    if (a.row != b.row) return a.row < b.row;
    return ped.rec(a.members.front()).code < ped.rec(b.members.front()).code;
  });
  return nodes;
}

std::vector<DrawingEdge> Edges(const Pedigree& ped, const std::vector<DrawingNode>& nodes,
                               const Marks& marks) {
  std::vector<DrawingEdge> edges;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].kind == DrawingNodeKind::kMate) continue;
    const Rec& first = ped.rec(nodes[i].members.front());
    const auto drawn = [&](RecIndex p) { return p != kUnknownParent && marks.drawn[CodeOf(ped, p)] != 0; };
    // A start's parent may be a mate of its descendants; joined to the
    // start, it would pull the start below its own row.
    const bool besideDrawn = drawn(first.sire) || drawn(first.dam);
    int previous = -1;
    for (const RecIndex parent : {first.sire, first.dam}) {
      if (parent == kUnknownParent || (!drawn(parent) && !besideDrawn)) continue;
      const int from = marks.node[CodeOf(ped, parent)];
      if (from < 0 || from == previous) continue;
      edges.push_back({from, static_cast<int>(i)});
      previous = from;
    }
  }
  return edges;
}

}  // namespace

std::vector<RecIndex> SelectForDrawing(const Pedigree& ped, const DrawingRequest& request) {
  const std::vector<int> distance = Distances(ped, request);
  const int limit = request.generations > 0 ? request.generations : kFar - 1;
  std::vector<RecIndex> selection;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code)
    if (distance[static_cast<std::size_t>(code)] <= limit)
      selection.push_back(ped.records[static_cast<std::size_t>(code - 1)]);
  return selection;
}

PedigreeDrawing BuildPedigreeDrawing(Pedigree& ped, const DrawingRequest& request) {
  EnsureCodeOrder(ped);
  PedigreeDrawing drawing;
  drawing.request = request;
  drawing.numberFormat = ped.settings.numberFormat;
  if (request.group >= 0) {
    drawing.groupNumber = ped.groups[static_cast<std::size_t>(request.group)].group;
  } else {
    drawing.individualId = std::string(ped.rec(request.individual).Id());
  }
  const std::vector<RecIndex> selection = SelectForDrawing(ped, request);
  Marks marks = MarkSelection(ped, selection);
  drawing.nodes = Nodes(ped, request, selection, marks);
  const std::vector<Sex> sexes = ShownSexes(ped);
  for (DrawingNode& node : drawing.nodes) {
    if (node.kind == DrawingNodeKind::kFamily) {
      for (const RecIndex m : node.members) node.memberIds.emplace_back(ped.rec(m).Id());
      continue;
    }
    node.sex = sexes[static_cast<std::size_t>(node.members.front())];
    node.birthYear = BirthYearOf(ped.rec(node.members.front()).birth);
  }
  for (std::size_t i = 0; i < drawing.nodes.size(); ++i) {
    const DrawingNode& node = drawing.nodes[i];
    for (const RecIndex m : node.members) marks.node[CodeOf(ped, m)] = static_cast<int>(i);
    drawing.rows = std::max(drawing.rows, node.row + 1);
    drawing.maxF = std::max(drawing.maxF, node.f);
  }
  drawing.edges = Edges(ped, drawing.nodes, marks);
  return drawing;
}

std::int64_t CountDrawingNodes(Pedigree& ped, const DrawingRequest& request) {
  EnsureCodeOrder(ped);
  const std::vector<RecIndex> selection = SelectForDrawing(ped, request);
  const std::size_t n = static_cast<std::size_t>(ped.nTotal) + 1;
  std::vector<std::uint8_t> drawn(n), parent(n);
  for (const RecIndex r : selection) drawn[CodeOf(ped, r)] = 1;
  const auto isDrawn = [&](RecIndex p) { return p != kUnknownParent && drawn[CodeOf(ped, p)] != 0; };
  for (const RecIndex r : selection)
    for (const RecIndex p : {ped.rec(r).sire, ped.rec(r).dam})
      if (isDrawn(p)) parent[CodeOf(ped, p)] = 1;
  // As Nodes builds them: the leaf families, every other individual, and
  // the mates from outside.
  std::unordered_map<std::uint64_t, std::int64_t> families;
  std::unordered_set<RecIndex> mates;
  for (const RecIndex r : selection) {
    const Rec& rec = ped.rec(r);
    if (rec.sire != kUnknownParent && rec.dam != kUnknownParent && parent[CodeOf(ped, r)] == 0 &&
        r != request.individual)
      ++families[static_cast<std::uint64_t>(static_cast<std::uint32_t>(rec.sire)) << 32 |
                 static_cast<std::uint32_t>(rec.dam)];
    if (!isDrawn(rec.sire) && !isDrawn(rec.dam)) continue;
    for (const RecIndex p : {rec.sire, rec.dam})
      if (p != kUnknownParent && !isDrawn(p)) mates.insert(p);
  }
  auto count = static_cast<std::int64_t>(selection.size() + mates.size());
  for (const auto& [parents, members] : families)
    if (members >= kMinFamilyToCompact) count -= members - 1;
  return count;
}

namespace {

// The most generations (from `most` down) whose drawing fits, found by
// halving: a few counts, each linear in the pedigree, where trying one
// generation after the other would build the drawing once per generation.
std::pair<int, std::int64_t> MostFittingGenerations(Pedigree& ped, const DrawingRequest& request, int most) {
  int fits = 0, fails = most + 1;
  std::int64_t fitting = 0;
  while (fails - fits > 1) {
    DrawingRequest fewer = request;
    fewer.generations = fits + (fails - fits) / 2;
    const std::int64_t nodes = CountDrawingNodes(ped, fewer);
    if (nodes <= kMaxDrawingNodes) {
      fits = fewer.generations;
      fitting = nodes;
    } else {
      fails = fewer.generations;
    }
  }
  return {fits, fitting};
}

DrawingSizeProblem SizeProblem(Pedigree& ped, const DrawingRequest& request, std::int64_t count, int deepest) {
  if (count <= kMaxDrawingNodes) return {};
  // No start is further from an individual drawn than the rows are deep.
  const int most = request.generations > 0 ? std::min(request.generations - 1, deepest) : deepest;
  const std::string message = "The drawing would have " + std::to_string(count) + " nodes, more than the " +
                              std::to_string(kMaxDrawingNodes) + " that can be drawn.";
  const auto [generations, nodes] = MostFittingGenerations(ped, request, most);
  if (generations == 0) return {message + " Even 1 generation is too many.", 0};
  return {message + " Draw " + std::to_string(generations) +
              (generations == 1 ? " generation (" : " generations (") + std::to_string(nodes) + " nodes).",
          generations};
}

}  // namespace

DrawingSizeProblem CheckDrawingSize(Pedigree& ped, const PedigreeDrawing& drawing) {
  return SizeProblem(ped, drawing.request, static_cast<std::int64_t>(drawing.nodes.size()), drawing.rows - 1);
}

DrawingSizeProblem CheckDrawingSize(Pedigree& ped, const DrawingRequest& request) {
  const std::int64_t count = CountDrawingNodes(ped, request);
  if (count <= kMaxDrawingNodes) return {};
  // Generations beyond the farthest individual add nobody.
  const std::vector<int> distance = Distances(ped, request);
  int deepest = 0;
  for (const int d : distance)
    if (d != kFar) deepest = std::max(deepest, d);
  return SizeProblem(ped, request, count, deepest);
}

std::string DrawingTitle(const PedigreeDrawing& drawing) {
  std::string title = drawing.request.kinship == Kinship::kAncestors ? "Ancestors of " : "Descendants of ";
  title += drawing.request.group >= 0 ? "group " + std::to_string(drawing.groupNumber)
                                      : "individual " + drawing.individualId;
  const int g = drawing.request.generations;
  if (g > 0) title += ", " + std::to_string(g) + (g == 1 ? " generation" : " generations");
  return title;
}

}  // namespace kinvar
