#include "analyses/decomposition.h"

#include <algorithm>
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
  std::vector<std::int32_t> generation;  // longest ancestral path

  const Parents& ParentsOf(std::int32_t k) const {
    return subset.kernel.parents[static_cast<std::size_t>(k)];
  }
};

std::vector<RecIndex> Targets(const Pedigree& ped, std::int32_t target, DecompositionMode mode) {
  if (mode == DecompositionMode::kInbreeding)
    return {ped.records[static_cast<std::size_t>(target - 1)]};
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
void AverageInbreeding(const Extracted& e, const Pedigree& ped,
                       const std::vector<RecIndex>& members, std::vector<double>& c) {
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
// hold: c[j] (t(sire of j, k)^2 + t(dam of j, k)^2) / 4 is taken off every
// ancestor k. Gathered by parent p, that is w_p t(p, k)^2 with w_p the sum
// of c[j] / 4 over p's progeny, final once they are all done: one trace per
// parent instead of one per individual. A trace visits p's ancestors from the
// latest generation down (no individual is an ancestor of another of its
// own generation), so its cost follows the ancestors reached.
struct Trace {
  std::vector<double> a;  // t(p, k) while a trace runs, else 0
  std::vector<std::uint8_t> reached;
  std::vector<std::vector<std::int32_t>> buckets;  // by generation
};

// Takes w t(p, k)^2 off c[k] for every strict ancestor k of p.
void SubtractSquares(const Extracted& e, std::int32_t p, double w, Trace& t,
                     std::vector<double>& c) {
  const auto reach = [&](std::int32_t k, double share) {
    const auto ki = static_cast<std::size_t>(k);
    t.a[ki] += share;
    if (t.reached[ki] != 0) return;
    t.reached[ki] = 1;
    t.buckets[static_cast<std::size_t>(e.generation[ki])].push_back(k);
  };
  const Parents& pp = e.ParentsOf(p);
  if (pp.sire != 0) reach(pp.sire, 0.5);
  if (pp.dam != 0) reach(pp.dam, 0.5);
  for (std::int32_t g = e.generation[static_cast<std::size_t>(p)] - 1; g >= 0; --g) {
    std::vector<std::int32_t>& bucket = t.buckets[static_cast<std::size_t>(g)];
    for (const std::int32_t k : bucket) {
      const auto ki = static_cast<std::size_t>(k);
      const Parents& q = e.ParentsOf(k);
      if (q.sire != 0) reach(q.sire, t.a[ki] / 2);
      if (q.dam != 0) reach(q.dam, t.a[ki] / 2);
      c[ki] -= t.a[ki] * t.a[ki] * w;
      t.a[ki] = 0;
      t.reached[ki] = 0;
    }
    bucket.clear();
  }
}

void NodalTransformation(const Extracted& e, std::vector<double>& c) {
  const std::size_t size = c.size();
  std::vector<double> w(size);
  Trace t{std::vector<double>(size), std::vector<std::uint8_t>(size), {}};
  t.buckets.resize(
      static_cast<std::size_t>(*std::max_element(e.generation.begin(), e.generation.end()) + 1));
  for (std::int32_t j = e.size; j >= 1; --j) {
    const auto ji = static_cast<std::size_t>(j);
    if (w[ji] != 0) {
      c[ji] -= w[ji];
      SubtractSquares(e, j, w[ji], t, c);
    }
    const double cj = c[ji];
    const Parents& p = e.ParentsOf(j);
    if (cj == 0) continue;
    if (p.sire != 0) w[static_cast<std::size_t>(p.sire)] += cj / 4;
    if (p.dam != 0) w[static_cast<std::size_t>(p.dam)] += cj / 4;
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
    const auto code = static_cast<std::size_t>(t.code);
    if (ped.InDouble()) {
      const double sum = ped.fDouble[static_cast<std::size_t>(ped.rec(t.sire).code)] +
                         ped.fDouble[static_cast<std::size_t>(ped.rec(t.dam).code)];
      r.m[code] += (ped.dDouble[code] - (0.5 - 0.25 * sum)) * scale;
      continue;
    }
    const float sum = ped.rec(t.sire).f + ped.rec(t.dam).f;
    const float standard = 0.5f - 0.25f * sum;
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
  Extracted e{BuildAncestorSubset(ped, targets), 0, {}};
  e.size = e.subset.kernel.size();
  e.generation.assign(static_cast<std::size_t>(e.size) + 1, 0);
  for (std::int32_t k = 1; k <= e.size; ++k) {
    const RecIndex r = e.subset.recOf[static_cast<std::size_t>(k)];
    e.generation[static_cast<std::size_t>(k)] = ped.rec(r).generation;
  }
  const auto size = static_cast<std::size_t>(ped.nTotal) + 1;
  DecompositionResult r;
  r.m.assign(size, 0.0);
  r.u.assign(size, 0.0);
  r.v.assign(size, 0.0);
  CountExtracted(e, r);

  std::vector<double> c(static_cast<std::size_t>(e.size) + 1);
  double scale = targets.empty() ? 0.0 : 1.0 / static_cast<double>(targets.size());
  switch (mode) {
    case DecompositionMode::kInbreeding:
      InbreedingCoefficient(e, ped, targets[0], c);
      break;
    case DecompositionMode::kAverageInbreeding:
      AverageInbreeding(e, ped, targets, c);
      break;
    case DecompositionMode::kAverageCoancestry:
      scale = scale * scale;
      AverageCoancestry(e, ped, targets, c);
      break;
  }
  const auto codeOf = [&](std::int32_t k) {
    return static_cast<std::size_t>(ped.rec(e.subset.recOf[static_cast<std::size_t>(k)]).code);
  };
  for (std::int32_t k = 1; k <= e.size; ++k) {
    // The D of the coefficients, in the precision they were computed in.
    const double d = ped.InDouble() ? ped.dDouble[codeOf(k)]
                                    : static_cast<double>(e.subset.kernel.d[static_cast<std::size_t>(k)]);
    r.m[codeOf(k)] = d * c[static_cast<std::size_t>(k)] * scale;
  }
  if (mode != DecompositionMode::kAverageCoancestry) AddOwnExcess(ped, targets, scale, r);
  NodalTransformation(e, c);
  for (std::int32_t k = 1; k <= e.size; ++k)
    r.u[codeOf(k)] = c[static_cast<std::size_t>(k)] * scale;
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
