#include "analyses/decomposition.h"

#include <algorithm>
#include <queue>
#include <utility>

#include "genetics/relationship.h"

namespace kinvar {

namespace {

using Parents = KernelPedigree::Parents;

// The targets and their ancestors, numbered so that parents come first; all
// vectors below are indexed by these numbers.
struct Extracted {
  AncestorSubset subset;
  std::int32_t size = 0;

  const Parents& ParentsOf(std::int32_t k) const {
    return subset.kernel.parents[static_cast<std::size_t>(k)];
  }
};

std::vector<RecIndex> Targets(const Pedigree& ped, std::int32_t target, DecompositionMode mode) {
  if (mode == DecompositionMode::kInbreeding) return {ped.records[static_cast<std::size_t>(target - 1)]};
  std::vector<RecIndex> members;
  for (std::int32_t i = 0; i < ped.nTotal; ++i)
    if (ped.byCode(i).group == target) members.push_back(ped.records[static_cast<std::size_t>(i)]);
  return members;
}

// Adds half of x[k] to each known parent of k.
void PassToParents(const Extracted& e, std::vector<double>& x, std::int32_t k) {
  const Parents& p = e.ParentsOf(k);
  const double half = x[static_cast<std::size_t>(k)] / 2;
  if (p.sire != 0) x[static_cast<std::size_t>(p.sire)] += half;
  if (p.dam != 0) x[static_cast<std::size_t>(p.dam)] += half;
}

// Traces A from one sire and B from the dams of his progeny up to `from`
// and below; C[j] gains A[j] B[j] / 2, that is t(S, j) t(D, j) / 2 summed
// over the progeny. A and B are zero again afterwards.
void TraceSireAndDams(const Extracted& e, std::int32_t from, std::vector<double>& a,
                      std::vector<double>& b, std::vector<double>& c) {
  for (std::int32_t j = from; j >= 1; --j) {
    const auto ji = static_cast<std::size_t>(j);
    if (a[ji] > 0) PassToParents(e, a, j);
    if (b[ji] > 0) {
      PassToParents(e, b, j);
      if (a[ji] > 0) c[ji] += a[ji] * b[ji] / 2;
    }
  }
  std::fill(a.begin(), a.begin() + from + 1, 0.0);
  std::fill(b.begin(), b.begin() + from + 1, 0.0);
}

void InbreedingCoefficient(const Extracted& e, const Pedigree& ped, RecIndex x,
                           std::vector<double>& c) {
  const std::int32_t s = e.subset.LocalOf(ped.rec(ped.rec(x).sire));
  const std::int32_t d = e.subset.LocalOf(ped.rec(ped.rec(x).dam));
  if (s == 0 || d == 0) return;
  std::vector<double> a(c.size()), b(c.size());
  a[static_cast<std::size_t>(s)] = 1;
  b[static_cast<std::size_t>(d)] = 1;
  TraceSireAndDams(e, e.size, a, b, c);
}

// One trace per sire of the members; a member with an unknown parent is not
// inbred and adds nothing.
void AverageInbreeding(const Extracted& e, const Pedigree& ped, const std::vector<RecIndex>& members,
                       std::vector<double>& c) {
  std::vector<std::pair<std::int32_t, std::int32_t>> matings;  // sire, dam
  for (const RecIndex x : members) {
    const std::int32_t s = e.subset.LocalOf(ped.rec(ped.rec(x).sire));
    const std::int32_t d = e.subset.LocalOf(ped.rec(ped.rec(x).dam));
    if (s != 0 && d != 0) matings.emplace_back(s, d);
  }
  std::sort(matings.begin(), matings.end());
  std::vector<double> a(c.size()), b(c.size());
  for (std::size_t i = 0; i < matings.size();) {
    const std::int32_t s = matings[i].first;
    std::int32_t from = s;
    for (; i < matings.size() && matings[i].first == s; ++i) {
      b[static_cast<std::size_t>(matings[i].second)] += 1;
      from = std::max(from, matings[i].second);
    }
    a[static_cast<std::size_t>(s)] = 1;
    TraceSireAndDams(e, from, a, b, c);
  }
}

// c[j] = t_j^2 / 2 with t_j the summed contribution of j to the members.
void AverageCoancestry(const Extracted& e, const Pedigree& ped,
                       const std::vector<RecIndex>& members, std::vector<double>& c) {
  for (const RecIndex x : members) c[static_cast<std::size_t>(e.subset.LocalOf(ped.rec(x)))] = 1;
  for (std::int32_t j = e.size; j >= 1; --j) {
    PassToParents(e, c, j);
    const auto ji = static_cast<std::size_t>(j);
    c[ji] = c[ji] * c[ji] / 2;
  }
}

// Each nodal ancestor j keeps of c[j] only what its parents do not already
// hold: t(sire of j, k)^2 + t(dam of j, k)^2 over 4 of it is taken off every
// ancestor k. The ancestors of j are visited from the latest down, through
// a heap, so the cost follows the ancestors reached and not N.
void NodalTransformation(const Extracted& e, std::vector<double>& c) {
  const std::size_t size = c.size();
  std::vector<double> a(size), b(size);
  std::vector<std::uint8_t> reached(size);
  std::priority_queue<std::int32_t> heap;
  const auto reach = [&](std::int32_t k) {
    if (reached[static_cast<std::size_t>(k)] != 0) return;
    reached[static_cast<std::size_t>(k)] = 1;
    heap.push(k);
  };
  for (std::int32_t j = e.size; j >= 1; --j) {
    const double cj = c[static_cast<std::size_t>(j)];
    const Parents& p = e.ParentsOf(j);
    if (cj == 0 || (p.sire == 0 && p.dam == 0)) continue;
    if (p.sire != 0) a[static_cast<std::size_t>(p.sire)] = 1, reach(p.sire);
    if (p.dam != 0) b[static_cast<std::size_t>(p.dam)] = 1, reach(p.dam);
    while (!heap.empty()) {
      const std::int32_t k = heap.top();
      heap.pop();
      const auto ki = static_cast<std::size_t>(k);
      const Parents& q = e.ParentsOf(k);
      for (const std::int32_t parent : {q.sire, q.dam}) {
        if (parent == 0) continue;
        a[static_cast<std::size_t>(parent)] += a[ki] / 2;
        b[static_cast<std::size_t>(parent)] += b[ki] / 2;
        reach(parent);
      }
      c[ki] -= (a[ki] * a[ki] + b[ki] * b[ki]) * cj / 4;
      a[ki] = b[ki] = 0;
      reached[ki] = 0;
    }
  }
}

void CountExtracted(const Extracted& e, DecompositionResult& r) {
  r.individuals = e.size;
  for (std::int32_t k = 1; k <= e.size; ++k) {
    const Parents& p = e.ParentsOf(k);
    const int known = (p.sire != 0) + (p.dam != 0);
    if (known == 0) ++r.founders;
    if (known == 1) ++r.oneKnownParent;
    if (known == 2) ++r.twoKnownParents;
  }
}

// A target with a predefined F has a Mendelian sampling variance of its own
// beyond what its parents give (its D was raised so that a(x, x) = 1 + F);
// that part is its own m, so that the m total is the F the program reports.
// A coancestry counts each member's own D already.
void AddOwnExcess(const Pedigree& ped, const std::vector<RecIndex>& targets, double scale,
                  DecompositionResult& r) {
  for (const RecIndex x : targets) {
    const Rec& t = ped.rec(x);
    if (!t.fPredefined) continue;
    const float sum = ped.rec(t.sire).f + ped.rec(t.dam).f;
    const float standard = 0.5f - 0.25f * sum;
    const auto code = static_cast<std::size_t>(t.code);
    r.m[code] += (static_cast<double>(ped.d[code]) - static_cast<double>(standard)) * scale;
  }
}

double Sum(const std::vector<double>& x) {
  double total = 0.0;
  for (const double value : x) total += value;
  return total;
}

}  // namespace

DecompositionResult Decompose(Pedigree& ped, std::int32_t target, DecompositionMode mode) {
  const std::vector<RecIndex> targets = Targets(ped, target, mode);
  Extracted e{BuildAncestorSubset(ped, targets)};
  e.size = e.subset.kernel.size();
  const auto size = static_cast<std::size_t>(ped.nTotal) + 1;
  DecompositionResult r;
  r.m.assign(size, 0.0);
  r.u.assign(size, 0.0);
  r.v.assign(size, 0.0);
  CountExtracted(e, r);

  std::vector<double> c(static_cast<std::size_t>(e.size) + 1);
  double scale = targets.empty() ? 0.0 : 1.0 / static_cast<double>(targets.size());
  switch (mode) {
    case DecompositionMode::kInbreeding: InbreedingCoefficient(e, ped, targets[0], c); break;
    case DecompositionMode::kAverageInbreeding: AverageInbreeding(e, ped, targets, c); break;
    case DecompositionMode::kAverageCoancestry:
      scale = scale * scale;
      AverageCoancestry(e, ped, targets, c);
      break;
  }
  const auto codeOf = [&](std::int32_t k) {
    return static_cast<std::size_t>(ped.rec(e.subset.recOf[static_cast<std::size_t>(k)]).code);
  };
  for (std::int32_t k = 1; k <= e.size; ++k) {
    const double d = e.subset.kernel.d[static_cast<std::size_t>(k)];
    r.m[codeOf(k)] = d * c[static_cast<std::size_t>(k)] * scale;
  }
  if (mode != DecompositionMode::kAverageCoancestry) AddOwnExcess(ped, targets, scale, r);
  NodalTransformation(e, c);
  for (std::int32_t k = 1; k <= e.size; ++k) r.u[codeOf(k)] = c[static_cast<std::size_t>(k)] * scale;
  for (std::int32_t k = e.size; k >= 1; --k) PassToParents(e, c, k);
  for (std::int32_t k = 1; k <= e.size; ++k) {
    const Parents& p = e.ParentsOf(k);
    if (p.sire == 0 && p.dam == 0) r.v[codeOf(k)] = c[static_cast<std::size_t>(k)] * scale;
  }
  // Summed by ascending code, as the report lists them.
  r.mTotal = Sum(r.m);
  r.uTotal = Sum(r.u);
  r.vTotal = Sum(r.v);
  return r;
}

}  // namespace kinvar
