// The drawing of a family's pedigree: the ancestors or the descendants of an
// individual or of a group's members, one row per generation, parents joined
// to their progeny. Large full-sib families become one node that says how
// many they are, and a descendants drawing shows the mate of each progeny's
// parent as a small node, so that a line with thousands of animals per
// generation still fits a legible drawing.
//
// Conventions of this header:
// - Rows: a node with no parent in the drawing is in row 0 (the top); any
//   other one in 1 + the largest row of its parents' nodes. A mate from
//   outside sits one row above its topmost progeny.
// - A family node holds the full sibs (both parents known, the same two)
//   that have no progeny in the drawing and are not the starting
//   individual, when they are more than kMinFamilyToCompact - 1.
// - Edges run from a parent's node to its progeny's node, once per pair: a
//   family node gets one edge from its sire and one from its dam.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analyses/extraction.h"
#include "pedigree/pedigree.h"

namespace kinvar {

inline constexpr int kMinFamilyToCompact = 4;
// More nodes than this and the drawing is refused: neither the layout nor
// the reader copes.
inline constexpr int kMaxDrawingNodes = 5000;

struct DrawingRequest {
  Kinship kinship = Kinship::kAncestors;
  RecIndex individual = kUnknownParent;  // or
  std::int32_t group = -1;               // the group's index into Pedigree::groups
  int generations = 0;                   // back or forward from the start; 0: all
};

enum class DrawingNodeKind { kIndividual, kFamily, kMate };

struct DrawingNode {
  DrawingNodeKind kind = DrawingNodeKind::kIndividual;
  std::vector<RecIndex> members;  // one, except for a family
  std::string id;                 // the individual's; a family's first member's
  std::string sireId, damId;      // a family's parents
  std::vector<std::string> memberIds;  // a family's members, for a search; empty otherwise
  Sex sex = Sex::kUnknown;        // as ShownSexes gives it; unknown for a family
  int birthYear = 0;              // 0 when not known, and for a family
  int row = 0;
  float f = 0.0f;        // a family's mean
  int groupMembers = 0;  // members of the requested group
  int Count() const { return static_cast<int>(members.size()); }
};

struct DrawingEdge {
  int parent = 0;  // node indexes
  int progeny = 0;
};

struct PedigreeDrawing {
  DrawingRequest request;
  int groupNumber = -1;          // the requested group's number, -1 for an individual
  std::string individualId;      // the requested individual's ID
  int numberFormat = 1;
  std::vector<DrawingNode> nodes;  // by row, then code of the first member
  std::vector<DrawingEdge> edges;  // by progeny node, sire's before dam's
  int rows = 0;
  float maxF = 0.0f;
};

// The individuals drawn: the start (individual or group members) and its
// ancestors or descendants within `generations` (0: all), in code order.
// Needs `records` in code order.
std::vector<RecIndex> SelectForDrawing(const Pedigree& ped, const DrawingRequest& request);

// Needs the coefficients computed; puts `records` in code order.
PedigreeDrawing BuildPedigreeDrawing(Pedigree& ped, const DrawingRequest& request);

struct DrawingSizeProblem {
  std::string message;         // empty when the drawing can be drawn
  int fittingGenerations = 0;  // the most generations that fit, 0 when none does
};
// The number of nodes BuildPedigreeDrawing would make, counted without
// building them, in time linear in the pedigree. Puts `records` in code
// order.
std::int64_t CountDrawingNodes(Pedigree& ped, const DrawingRequest& request);

// Whether the drawing has at most kMaxDrawingNodes nodes; when not, how many
// it has and the most generations that fit (by counts, never by building a
// drawing). The request's form tells before anything is built.
DrawingSizeProblem CheckDrawingSize(Pedigree& ped, const PedigreeDrawing& drawing);
DrawingSizeProblem CheckDrawingSize(Pedigree& ped, const DrawingRequest& request);

// "Ancestors of individual C4", "Descendants of group 3, 2 generations".
std::string DrawingTitle(const PedigreeDrawing& drawing);

}  // namespace kinvar
