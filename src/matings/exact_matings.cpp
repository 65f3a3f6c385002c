#include "matings/exact_matings.h"

#include <algorithm>
#include <cmath>
#include <compare>
#include <limits>

#include <lemon/maps.h>
#include <lemon/network_simplex.h>
#include <lemon/smart_graph.h>

namespace kinvar {

// A 128-bit integer cost with the arithmetic and limits the network simplex
// uses; 64 bits cannot hold the exact scaled coancestries of distant
// relatives together with their sums.
class WideCost {
 public:
  __extension__ using Int = __int128;
  constexpr WideCost(long long v = 0) : v_(v) {}  // NOLINT: the solver converts ints
  static constexpr WideCost Raw(Int v) {
    WideCost c;
    c.v_ = v;
    return c;
  }
  constexpr Int raw() const { return v_; }

  friend constexpr WideCost operator+(WideCost a, WideCost b) { return Raw(a.v_ + b.v_); }
  friend constexpr WideCost operator-(WideCost a, WideCost b) { return Raw(a.v_ - b.v_); }
  friend constexpr WideCost operator*(WideCost a, WideCost b) { return Raw(a.v_ * b.v_); }
  friend constexpr WideCost operator/(WideCost a, WideCost b) { return Raw(a.v_ / b.v_); }
  constexpr WideCost operator-() const { return Raw(-v_); }
  constexpr WideCost& operator+=(WideCost b) { return *this = *this + b; }
  constexpr WideCost& operator-=(WideCost b) { return *this = *this - b; }
  constexpr WideCost& operator*=(WideCost b) { return *this = *this * b; }
  friend constexpr bool operator==(WideCost a, WideCost b) { return a.v_ == b.v_; }
  friend constexpr auto operator<=>(WideCost a, WideCost b) { return a.v_ <=> b.v_; }

 private:
  Int v_ = 0;
};

}  // namespace kinvar

template <>
class std::numeric_limits<kinvar::WideCost> {
 public:
  static constexpr bool is_specialized = true;
  static constexpr bool is_signed = true;
  static constexpr bool is_integer = true;
  static constexpr bool is_exact = true;
  static constexpr bool has_infinity = false;
  static constexpr kinvar::WideCost max() {
    return kinvar::WideCost::Raw(static_cast<kinvar::WideCost::Int>(
        (static_cast<unsigned __int128>(1) << 127) - 1));
  }
  static constexpr kinvar::WideCost min() { return -max() - kinvar::WideCost(1); }
  static constexpr kinvar::WideCost lowest() { return min(); }
  static constexpr kinvar::WideCost infinity() { return max(); }
};

namespace kinvar {

namespace {

// Bits the solver needs besides the largest cost: its artificial cost takes
// half the range, and potentials add costs along paths of up to `nodes` arcs.
int HeadroomBits(std::int64_t nodes) {
  int bits = 2;
  while ((std::int64_t{1} << bits) < nodes + 1) ++bits;
  return bits;
}

}  // namespace

int ExactCostScale(std::span<const float> values, std::int64_t nodes) {
  int lowest = 0;   // exponent of the lowest set bit over all values
  int highest = 0;  // every |value| < 2^highest
  for (const float v : values) {
    if (v == 0.0f || !std::isfinite(v)) continue;
    int exponent = 0;
    const double fraction = std::frexp(static_cast<double>(std::fabs(v)), &exponent);
    auto mantissa = static_cast<std::uint32_t>(std::ldexp(fraction, 24));
    int bit = exponent - 24;
    for (; (mantissa & 1U) == 0; mantissa >>= 1) ++bit;
    lowest = std::min(lowest, bit);
    highest = std::max(highest, exponent);
  }
  const int budget = 126 - HeadroomBits(nodes) - highest;
  return std::min(-lowest, budget);
}

namespace {

struct Arc {
  Mating pair;
  WideCost cost;
};

// One arc per admissible pair, sire by sire, each with its scaled cost.
std::vector<Arc> AdmissibleArcs(const CoancestryMatrix& c, std::span<const Mating> forbidden) {
  const auto nD = static_cast<std::size_t>(c.nD);
  std::vector<std::uint8_t> barred(c.values.size(), 0);
  for (const Mating m : forbidden)
    barred[static_cast<std::size_t>(m.sire) * nD + static_cast<std::size_t>(m.dam)] = 1;
  const int scale = ExactCostScale(c.values, std::int64_t{c.nS} + c.nD);
  std::vector<Arc> arcs;
  arcs.reserve(c.values.size());
  for (std::int32_t s = 0; s < c.nS; ++s)
    for (std::int32_t d = 0; d < c.nD; ++d) {
      const std::size_t at = static_cast<std::size_t>(s) * nD + static_cast<std::size_t>(d);
      if (barred[at] != 0) continue;
      const double scaled = std::nearbyint(std::ldexp(static_cast<double>(c.values[at]), scale));
      arcs.push_back({{s, d}, WideCost::Raw(static_cast<WideCost::Int>(scaled))});
    }
  return arcs;
}

}  // namespace

std::optional<std::vector<Mating>> OptimalMatings(const CoancestryMatrix& c,
                                                  std::span<const std::int32_t> contributions,
                                                  std::span<const Mating> forbidden) {
  using Graph = lemon::SmartDigraph;
  const std::vector<Arc> arcs = AdmissibleArcs(c, forbidden);
  // Sires are nodes 0..nS-1, dams nS..nS+nD-1; arc ids follow `arcs`.
  Graph graph;
  graph.reserveNode(c.nS + c.nD);
  graph.reserveArc(static_cast<int>(arcs.size()));
  for (std::int32_t i = 0; i < c.nS + c.nD; ++i) graph.addNode();
  for (const Arc& a : arcs)
    graph.addArc(graph.nodeFromId(a.pair.sire), graph.nodeFromId(c.nS + a.pair.dam));
  Graph::NodeMap<int> supply(graph);
  for (std::int32_t s = 0; s < c.nS; ++s)
    supply[graph.nodeFromId(s)] = contributions[static_cast<std::size_t>(s)];
  for (std::int32_t d = 0; d < c.nD; ++d) supply[graph.nodeFromId(c.nS + d)] = -1;
  // LEMON's own maps of class types use allocator members that C++20 removed.
  const auto cost = [&](Graph::Arc a) { return arcs[static_cast<std::size_t>(graph.id(a))].cost; };

  lemon::NetworkSimplex<Graph, int, WideCost> solver(graph);
  solver.costMap(lemon::functorToMap<Graph::Arc, WideCost>(cost)).supplyMap(supply);
  if (solver.run() != decltype(solver)::OPTIMAL) return std::nullopt;
  std::vector<Mating> matings;
  matings.reserve(static_cast<std::size_t>(c.nD));
  for (std::size_t a = 0; a < arcs.size(); ++a)
    if (solver.flow(graph.arcFromId(static_cast<int>(a))) > 0) matings.push_back(arcs[a].pair);
  return matings;
}

}  // namespace kinvar
