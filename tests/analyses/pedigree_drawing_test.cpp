// The pedigree drawing's model: on random pedigrees, every individual drawn
// once (alone or in its family), every parent-progeny edge once, rows by the
// longest path, the compaction and the mates, all against walks of the
// generated IDs; hand cases to the node; the refusal of a drawing too large.
#include "analyses/pedigree_drawing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/random_pedigree.h"
#include "support/test_files.h"

namespace kinvar {
namespace {

using test::Loaded;
using test::RandomIndividual;

// "row:ID" for individuals, "row:ID(mate)", "row:4 of S x D" for families.
std::string Describe(const PedigreeDrawing& drawing) {
  std::string text;
  for (const DrawingNode& n : drawing.nodes) {
    text += (text.empty() ? "" : " ") + std::to_string(n.row) + ":";
    if (n.kind == DrawingNodeKind::kFamily) {
      text += std::to_string(n.Count()) + " of " + n.sireId + " x " + n.damId;
    } else {
      text += n.id + (n.kind == DrawingNodeKind::kMate ? "(mate)" : "");
    }
    if (n.groupMembers > 0) text += "*" + std::to_string(n.groupMembers);
  }
  return text;
}

std::string EdgeText(const PedigreeDrawing& drawing) {
  std::string text;
  for (const DrawingEdge& e : drawing.edges)
    text += (text.empty() ? "" : " ") + std::to_string(e.parent) + ">" + std::to_string(e.progeny);
  return text;
}

TEST(PedigreeDrawing, HandCasesGiveTheirNodesAndEdges) {
  // F1..F5 full sibs of S x D, G1..G3 full sibs of S x E (too few to
  // compact), H a progeny of F1 with M from outside. Within a row, nodes
  // go by code (the reader codes F3 before F2 here).
  const std::string text =
      "progeny sire dam group\nS 0 0 1\nD 0 0 .\nE 0 0 .\nM 0 0 .\nF1 S D .\nF2 S D 2\nF3 S D 2\n"
      "F4 S D .\nF5 S D .\nG1 S E 2\nG2 S E .\nG3 S E .\nH F1 M 2\n";
  const struct {
    const char* name;
    Kinship kinship;
    const char* individual;
    int group;
    int generations;
    const char* nodes;
    const char* edges;
  } rows[] = {
      {"descendants: the family without F1, the mates small", Kinship::kDescendants, "S", -1, 0,
       "0:S 0:D(mate) 0:E(mate) 1:M(mate) 1:4 of S x D 1:F1 1:G1 1:G2 1:G3 2:H",
       "0>4 1>4 0>5 1>5 0>6 2>6 0>7 2>7 0>8 2>8 5>9 3>9"},
      {"one generation forward", Kinship::kDescendants, "S", -1, 1,
       "0:S 0:D(mate) 0:E(mate) 1:5 of S x D 1:G1 1:G2 1:G3", "0>3 1>3 0>4 2>4 0>5 2>5 0>6 2>6"},
      {"ancestors of H", Kinship::kAncestors, "H", -1, 0, "0:S 0:D 0:M 1:F1 2:H", "0>3 1>3 3>4 2>4"},
      {"ancestors of group 2, one generation", Kinship::kAncestors, nullptr, 2, 1,
       "0:S 0:D 0:E 0:M 1:F3*1 1:F2*1 1:F1 1:G1*1 2:H*1",
       "0>4 1>4 0>5 1>5 0>6 1>6 0>7 2>7 6>8 3>8"},
      {"descendants of group 2", Kinship::kDescendants, nullptr, 2, 0,
       "0:F3*1 0:F2*1 0:G1*1 0:H*1", ""},
  };
  for (const auto& row : rows) {
    auto ped = Loaded(text);
    DrawingRequest request{row.kinship, kUnknownParent, -1, row.generations};
    if (row.group > 0) {
      for (std::size_t g = 0; g < ped->groups.size(); ++g)
        if (ped->groups[g].group == row.group) request.group = static_cast<std::int32_t>(g);
    } else {
      request.individual = test::RecordOfId(*ped, row.individual);
    }
    const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, request);
    EXPECT_EQ(Describe(drawing), row.nodes) << row.name;
    EXPECT_EQ(EdgeText(drawing), row.edges) << row.name;
  }
}

TEST(PedigreeDrawing, TitlesSayWhatIsDrawn) {
  PedigreeDrawing d;
  d.individualId = "C4";
  d.request.individual = 3;
  EXPECT_EQ(DrawingTitle(d), "Ancestors of individual C4");
  d.request.kinship = Kinship::kDescendants;
  d.request.generations = 1;
  EXPECT_EQ(DrawingTitle(d), "Descendants of individual C4, 1 generation");
  d.request.group = 0;
  d.groupNumber = 3;
  d.request.generations = 2;
  EXPECT_EQ(DrawingTitle(d), "Descendants of group 3, 2 generations");
}

// X x M give C1..C3; each C mates `dams` dams of its own, one progeny each.
std::string WideLine(int dams) {
  std::string text = "progeny sire dam\nX 0 0\nM 0 0\nC1 X M\nC2 X M\nC3 X M\n";
  for (int c = 1; c <= 3; ++c)
    for (int d = 0; d < dams; ++d)
      text += "P" + std::to_string(c) + "_" + std::to_string(d) + " C" + std::to_string(c) + " Q" +
              std::to_string(c) + "_" + std::to_string(d) + "\n";
  return text;
}

TEST(PedigreeDrawing, RefusesMoreThanItCanDrawAndOffersFewerGenerations) {
  const struct {
    const char* name;
    int dams;
    int generations;
    const char* message;
    int fitting;
  } rows[] = {
      {"fits", 800, 0, "", 0},
      {"one generation fits", 1700, 0,
       "The drawing would have 10205 nodes, more than the 5000 that can be drawn. "
       "Draw 1 generation (5 nodes).",
       1},
      {"asked for two, one fits", 1700, 2,
       "The drawing would have 10205 nodes, more than the 5000 that can be drawn. "
       "Draw 1 generation (5 nodes).",
       1},
  };
  for (const auto& row : rows) {
    auto ped = Loaded(WideLine(row.dams));
    const PedigreeDrawing drawing =
        BuildPedigreeDrawing(*ped, {Kinship::kDescendants, test::RecordOfId(*ped, "X"), -1, row.generations});
    const DrawingSizeProblem problem = CheckDrawingSize(*ped, drawing);
    EXPECT_EQ(problem.message, row.message) << row.name;
    EXPECT_EQ(problem.fittingGenerations, row.fitting) << row.name;
    // Told as well before the drawing is built.
    const DrawingSizeProblem early = CheckDrawingSize(*ped, drawing.request);
    EXPECT_EQ(early.message, row.message) << row.name;
    EXPECT_EQ(early.fittingGenerations, row.fitting) << row.name;
  }
  // A founder with too many mates refuses even one generation.
  std::string text = "progeny sire dam\nX 0 0\n";
  for (int d = 0; d < 2600; ++d) text += "P" + std::to_string(d) + " X Q" + std::to_string(d) + "\n";
  auto ped = Loaded(text);
  const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, {Kinship::kDescendants, test::RecordOfId(*ped, "X"), -1, 0});
  EXPECT_EQ(CheckDrawingSize(*ped, drawing).message,
            "The drawing would have 5201 nodes, more than the 5000 that can be drawn. "
            "Even 1 generation is too many.");
}

// The generated pedigree by ID, with each individual's progeny.
struct Family {
  std::map<std::string, const RandomIndividual*> byId;
  std::map<std::string, std::vector<std::string>> progeny;
  explicit Family(const std::vector<RandomIndividual>& individuals) {
    for (const RandomIndividual& i : individuals) byId[i.id] = &i;
    for (const RandomIndividual& i : individuals)
      for (const std::string& p : {i.sire, i.dam})
        if (!p.empty()) progeny[p].push_back(i.id);
  }
  std::vector<std::string> Parents(const std::string& id) const {
    std::vector<std::string> parents;
    for (const std::string& p : {byId.at(id)->sire, byId.at(id)->dam})
      if (!p.empty()) parents.push_back(p);
    return parents;
  }
};

// Breadth-first from the starts along parents or progeny, up to `limit`.
std::set<std::string> Walk(const Family& family, const std::set<std::string>& starts, Kinship kinship,
                           int limit) {
  std::map<std::string, int> distance;
  std::vector<std::string> queue(starts.begin(), starts.end());
  for (const std::string& s : starts) distance[s] = 0;
  for (std::size_t i = 0; i < queue.size(); ++i) {
    const std::string id = queue[i];
    if (limit > 0 && distance[id] >= limit) continue;
    const auto it = family.progeny.find(id);
    const std::vector<std::string> next =
        kinship == Kinship::kAncestors ? family.Parents(id)
                                       : (it == family.progeny.end() ? std::vector<std::string>{} : it->second);
    for (const std::string& n : next)
      if (distance.emplace(n, distance[id] + 1).second) queue.push_back(n);
  }
  std::set<std::string> walked;
  for (const auto& [id, d] : distance) walked.insert(id);
  return walked;
}

struct Expected {
  std::set<std::string> drawn, mates;
  std::map<std::pair<std::string, std::string>, std::set<std::string>> families;  // compacted
};

Expected Expect(const Family& family, const std::set<std::string>& drawn, const std::string& individual) {
  Expected e;
  e.drawn = drawn;
  std::map<std::pair<std::string, std::string>, std::set<std::string>> leaves;
  for (const std::string& id : drawn) {
    const std::vector<std::string> parents = family.Parents(id);
    const bool fromDrawn = std::any_of(parents.begin(), parents.end(),
                                       [&](const std::string& p) { return drawn.contains(p); });
    for (const std::string& p : parents)
      if (fromDrawn && !drawn.contains(p)) e.mates.insert(p);
    const auto it = family.progeny.find(id);
    const bool hasProgeny = it != family.progeny.end() &&
                            std::any_of(it->second.begin(), it->second.end(),
                                        [&](const std::string& c) { return drawn.contains(c); });
    if (parents.size() == 2 && !hasProgeny && id != individual)
      leaves[{parents[0], parents[1]}].insert(id);
  }
  for (auto& [parents, members] : leaves)
    if (members.size() >= static_cast<std::size_t>(kMinFamilyToCompact)) e.families[parents] = members;
  return e;
}

// Returns how many families it compacted.
std::size_t CheckDrawing(const Pedigree& ped, const Family& family, const PedigreeDrawing& drawing,
                  const Expected& e, const std::string& where) {
  std::map<std::string, int> nodeOf;
  std::size_t compacted = 0;
  for (std::size_t i = 0; i < drawing.nodes.size(); ++i) {
    const DrawingNode& n = drawing.nodes[i];
    std::set<std::string> members;
    for (const RecIndex m : n.members) {
      members.insert(std::string(ped.rec(m).Id()));
      const bool once = nodeOf.emplace(std::string(ped.rec(m).Id()), static_cast<int>(i)).second;
      EXPECT_TRUE(once) << where << " " << ped.rec(m).Id() << " drawn twice";
      if (!once) return compacted;
    }
    if (n.kind == DrawingNodeKind::kFamily) {
      const auto it = e.families.find({n.sireId, n.damId});
      EXPECT_NE(it, e.families.end()) << where << " family of " << n.sireId << " x " << n.damId;
      if (it == e.families.end()) return compacted;
      EXPECT_EQ(members, it->second) << where;
      ++compacted;
    } else {
      EXPECT_EQ(n.Count(), 1) << where;
      EXPECT_EQ(n.kind == DrawingNodeKind::kMate, e.mates.contains(n.id)) << where << " " << n.id;
    }
    if (i > 0) {
      EXPECT_LE(drawing.nodes[i - 1].row, n.row) << where;
    }
  }
  EXPECT_EQ(compacted, e.families.size()) << where;
  EXPECT_EQ(nodeOf.size(), e.drawn.size() + e.mates.size()) << where;
  // Every parent-progeny pair once, from the parent's node to the progeny's;
  // a mate only beside a drawn parent (a start's parent may be a mate of
  // its descendants, but the start stays on top).
  const auto besideDrawn = [&](const std::string& id) {
    const std::vector<std::string> parents = family.Parents(id);
    return std::any_of(parents.begin(), parents.end(), [&](const std::string& p) { return e.drawn.contains(p); });
  };
  std::set<std::pair<int, int>> expected;
  for (const std::string& id : e.drawn)
    for (const std::string& p : family.Parents(id))
      if (e.drawn.contains(p) || (e.mates.contains(p) && besideDrawn(id)))
        expected.insert({nodeOf.at(p), nodeOf.at(id)});
  std::multiset<std::pair<int, int>> edges;
  for (const DrawingEdge& edge : drawing.edges) edges.insert({edge.parent, edge.progeny});
  const std::multiset<std::pair<int, int>> once(expected.begin(), expected.end());
  EXPECT_EQ(edges, once) << where;
  // Rows: the longest path from a node without drawn parents; mates above
  // their topmost progeny.
  std::map<std::string, int> longest;
  const std::function<int(const std::string&)> rowOf = [&](const std::string& id) {
    if (const auto it = longest.find(id); it != longest.end()) return it->second;
    int row = 0;
    for (const std::string& p : family.Parents(id))
      if (e.drawn.contains(p)) row = std::max(row, rowOf(p) + 1);
    return longest[id] = row;
  };
  std::map<std::string, int> mateRow;
  for (const std::string& id : e.drawn) {
    EXPECT_EQ(drawing.nodes[static_cast<std::size_t>(nodeOf.at(id))].row, rowOf(id)) << where << " " << id;
    for (const std::string& p : family.Parents(id))
      if (e.mates.contains(p) && besideDrawn(id)) {
        const auto [it, added] = mateRow.emplace(p, rowOf(id) - 1);
        it->second = std::min(it->second, rowOf(id) - 1);
      }
  }
  for (const auto& [id, row] : mateRow)
    EXPECT_EQ(drawing.nodes[static_cast<std::size_t>(nodeOf.at(id))].row, row) << where << " " << id;
  for (const DrawingEdge& edge : drawing.edges)
    EXPECT_LT(drawing.nodes[static_cast<std::size_t>(edge.parent)].row,
              drawing.nodes[static_cast<std::size_t>(edge.progeny)].row) << where;
  return compacted;
}

TEST(PedigreeDrawing, RandomPedigreesDrawEveryoneOnceWithEveryEdgeOnce) {
  std::size_t families = 0;
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 200);
    options.maxFamilySize = 7;
    options.groupColumn = seed % 2 == 0;
    const test::RandomPedigree random = test::MakeRandomPedigree(options);
    const Family family(random.individuals);
    auto ped = Loaded(random.text);
    for (const Kinship kinship : {Kinship::kAncestors, Kinship::kDescendants})
      for (const int generations : {0, 1, 3}) {
        for (std::size_t i = 0; i < random.individuals.size(); i += 11) {
          const std::string& id = random.individuals[i].id;
          const RecIndex x = test::RecordOfId(*ped, id);
          const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, {kinship, x, -1, generations});
          const std::set<std::string> drawn = Walk(family, {id}, kinship, generations);
          const std::string where = "seed " + std::to_string(seed) + " " + id + " g" + std::to_string(generations);
          families += CheckDrawing(*ped, family, drawing, Expect(family, drawn, id), where);
          if (generations != 0) continue;
          // With every generation, the drawing draws what extraction writes.
          std::set<std::string> extracted;
          for (const RecIndex r : SelectIndividual(*ped, kinship, x)) extracted.insert(std::string(ped->rec(r).Id()));
          EXPECT_EQ(extracted, drawn) << where;
        }
        for (std::size_t g = 0; g < ped->groups.size(); ++g) {
          std::set<std::string> members;
          for (const RandomIndividual& i : random.individuals)
            if (i.group == ped->groups[g].group) members.insert(i.id);
          const auto index = static_cast<std::int32_t>(g);
          const PedigreeDrawing drawing = BuildPedigreeDrawing(*ped, {kinship, kUnknownParent, index, generations});
          const std::string where = "seed " + std::to_string(seed) + " group " + std::to_string(ped->groups[g].group);
          const std::set<std::string> drawn = Walk(family, members, kinship, generations);
          families += CheckDrawing(*ped, family, drawing, Expect(family, drawn, ""), where);
          int outlined = 0;
          for (const DrawingNode& n : drawing.nodes) outlined += n.groupMembers;
          EXPECT_EQ(outlined, static_cast<int>(members.size())) << where;
          if (generations != 0) continue;
          std::set<std::string> extracted;
          for (const RecIndex r : SelectGroup(*ped, kinship, index)) extracted.insert(std::string(ped->rec(r).Id()));
          EXPECT_EQ(extracted, drawn) << where;
        }
      }
  }
  EXPECT_GT(families, 100u);  // the cases do compact
}

// The count that decides a refusal is the number of nodes the drawing
// would have, for every kind of start and depth.
TEST(PedigreeDrawing, CountsExactlyTheNodesItWouldBuild) {
  int counted = 0;
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    test::RandomPedigreeOptions options = test::VariedOptions(seed, 200);
    options.maxFamilySize = 7;
    options.groupColumn = seed % 2 == 1;
    auto ped = Loaded(test::MakeRandomPedigree(options).text);
    std::vector<DrawingRequest> requests;
    for (const Kinship kinship : {Kinship::kAncestors, Kinship::kDescendants})
      for (const int generations : {0, 1, 2, 3}) {
        for (RecIndex x = 1; x <= ped->nTotal; x += 7) requests.push_back({kinship, x, -1, generations});
        for (std::size_t g = 0; g < ped->groups.size(); ++g)
          requests.push_back({kinship, kUnknownParent, static_cast<std::int32_t>(g), generations});
      }
    for (const DrawingRequest& request : requests) {
      const std::size_t built = BuildPedigreeDrawing(*ped, request).nodes.size();
      EXPECT_EQ(CountDrawingNodes(*ped, request), static_cast<std::int64_t>(built))
          << "seed " << seed << " individual " << request.individual << " group " << request.group
          << " generations " << request.generations;
      ++counted;
    }
  }
  EXPECT_GT(counted, 1000);
}

// A line of full sibs twenty thousand generations deep: two ancestors a
// generation, so 1 + 2k nodes for k generations; refused with the most
// generations that fit, before any node is built.
TEST(PedigreeDrawing, RefusesADeepLineFromItsCount) {
  auto ped = Loaded(test::FullSibLine("progeny sire dam\nS0 0 0\nD0 0 0\n", 20000));
  const DrawingRequest request{Kinship::kAncestors, test::RecordOfId(*ped, "S20000"), -1, 0};
  const DrawingSizeProblem problem = CheckDrawingSize(*ped, request);
  EXPECT_EQ(problem.message,
            "The drawing would have 40001 nodes, more than the 5000 that can be drawn. "
            "Draw 2499 generations (4999 nodes).");
  EXPECT_EQ(problem.fittingGenerations, 2499);
}

}  // namespace
}  // namespace kinvar
