#include "matings/planned_mating.h"

#include <algorithm>

#include "genetics/relationship.h"
#include "matings/population.h"

namespace kinvar {

namespace {

std::int32_t CodeOf(const Pedigree& ped, RecIndex r) { return ped.rec(r).code; }

// The individuals whose genes make up the parent: itself, or a new one's
// two parents with half each.
std::vector<std::pair<RecIndex, float>> Origins(const PlannedParent& parent) {
  switch (parent.kind) {
    case PlannedParent::Kind::kKnown: return {{parent.rec, 1.0f}};
    case PlannedParent::Kind::kNew: return {{parent.sire, 0.5f}, {parent.dam, 0.5f}};
    case PlannedParent::Kind::kUnknown: break;
  }
  return {};
}

}  // namespace

std::vector<float> ParentColumn(const Pedigree& ped, const PlannedParent& parent) {
  KernelPedigree kp = WholePedigreeKernel(ped, ped.d, ped.nTotal);
  std::int32_t from = 0;
  for (const auto& [r, share] : Origins(parent)) {
    const std::int32_t code = CodeOf(ped, r);
    if (code <= 0) continue;
    kp.at(code) = kp.at(code) + share;
    from = std::max(from, code);
  }
  if (from == 0) return std::move(kp.w);
  BackwardPass(kp, from);
  ForwardPass(kp, ped.nTotal);
  return std::move(kp.w);
}

float RelationshipFrom(const Pedigree& ped, const std::vector<float>& column,
                       const PlannedParent& other) {
  float a = 0.0f;
  for (const auto& [r, share] : Origins(other)) {
    const std::int32_t code = CodeOf(ped, r);
    if (code > 0) a = a + share * column[static_cast<std::size_t>(code)];
  }
  return a;
}

namespace {

// t(P, k) for every k of the subset: the parent's share, passed on to the
// ancestors half to each known parent, the youngest first.
std::vector<double> GeneShares(const AncestorSubset& subset, const Pedigree& ped,
                               const PlannedParent& parent) {
  std::vector<double> t(subset.recOf.size(), 0.0);
  for (const auto& [r, share] : Origins(parent))
    if (r != kUnknownParent) t[static_cast<std::size_t>(subset.LocalOf(ped.rec(r)))] += static_cast<double>(share);
  for (std::int32_t k = subset.kernel.size(); k >= 1; --k) {
    const double x = t[static_cast<std::size_t>(k)];
    if (x == 0.0) continue;
    const KernelParents p = subset.kernel.parents[static_cast<std::size_t>(k)];
    if (p.sire != 0) t[static_cast<std::size_t>(p.sire)] += x / 2;
    if (p.dam != 0) t[static_cast<std::size_t>(p.dam)] += x / 2;
  }
  t[0] = 0.0;
  return t;
}

std::vector<AncestorPart> CommonAncestorParts(Pedigree& ped, const PlannedParent& sire,
                                              const PlannedParent& dam) {
  std::vector<RecIndex> seeds;
  for (const PlannedParent* p : {&sire, &dam})
    for (const auto& [r, share] : Origins(*p))
      if (r != kUnknownParent) seeds.push_back(r);
  if (sire.kind == PlannedParent::Kind::kUnknown || dam.kind == PlannedParent::Kind::kUnknown ||
      seeds.empty())
    return {};
  const AncestorSubset subset = BuildAncestorSubset(ped, seeds);
  const std::vector<double> ts = GeneShares(subset, ped, sire);
  const std::vector<double> td = GeneShares(subset, ped, dam);
  std::vector<AncestorPart> parts;
  for (std::int32_t k = 1; k <= subset.kernel.size(); ++k) {
    const auto i = static_cast<std::size_t>(k);
    if (ts[i] == 0.0 || td[i] == 0.0) continue;
    parts.push_back({subset.recOf[i], static_cast<double>(subset.kernel.d[i]) * ts[i] * td[i] / 2});
  }
  std::sort(parts.begin(), parts.end(), [&](const AncestorPart& a, const AncestorPart& b) {
    if (a.part != b.part) return a.part > b.part;
    return CodeOf(ped, a.rec) < CodeOf(ped, b.rec);
  });
  return parts;
}

}  // namespace

PlannedMating ComputePlannedMating(Pedigree& ped, const PlannedParent& sire,
                                   const PlannedParent& dam) {
  PlannedMating m;
  if (sire.kind != PlannedParent::Kind::kUnknown && dam.kind != PlannedParent::Kind::kUnknown) {
    m.relationship = RelationshipFrom(ped, ParentColumn(ped, dam), sire);
    m.offspringF = m.relationship / 2.0f;
  }
  m.common = CommonAncestorParts(ped, sire, dam);
  for (const AncestorPart& p : m.common) m.partsTotal += p.part;
  return m;
}

std::vector<std::uint8_t> CandidateSires(const Pedigree& ped, std::int32_t group,
                                         const PlannedParent& dam) {
  std::vector<std::uint8_t> byCode(static_cast<std::size_t>(ped.nTotal) + 1, 0);
  const std::vector<Sex> sexes = KnownSexes(ped);
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    const RecIndex r = ped.records[static_cast<std::size_t>(code - 1)];
    const Sex sex = sexes[static_cast<std::size_t>(r)];
    const bool taken = group < 0 ? sex == Sex::kMale
                                 : ped.rec(r).group == group && sex != Sex::kFemale;
    const bool isDam = dam.kind == PlannedParent::Kind::kKnown && dam.rec == r;
    byCode[static_cast<std::size_t>(code)] = taken && !isDam ? 1 : 0;
  }
  return byCode;
}

BestSires RankSires(const Pedigree& ped, const PlannedParent& dam,
                    const std::vector<std::uint8_t>& candidates, const ReferencePopulation& ref,
                    std::size_t top) {
  BestSires best;
  const std::vector<float> column = ParentColumn(ped, dam);
  const std::vector<float> sums =
      ref.members > 0 ? RelationshipSums(ped, ref) : std::vector<float>(column.size(), 0.0f);
  std::vector<SireCandidate> all;
  for (std::int32_t code = 1; code <= ped.nTotal; ++code) {
    const auto i = static_cast<std::size_t>(code);
    if (candidates[i] == 0) continue;
    const float f = dam.kind == PlannedParent::Kind::kUnknown ? 0.0f : column[i] / 2.0f;
    const double mk = ref.members > 0 ? static_cast<double>(sums[i]) / (2.0 * ref.members) : 0.0;
    all.push_back({ped.records[i - 1], f, mk});
  }
  best.candidates = static_cast<std::int32_t>(all.size());
  // Candidates are in code order, so the code breaks the remaining ties.
  const auto better = [&](const SireCandidate& a, const SireCandidate& b) {
    if (a.offspringF != b.offspringF) return a.offspringF < b.offspringF;
    if (a.mk != b.mk) return a.mk < b.mk;
    return CodeOf(ped, a.rec) < CodeOf(ped, b.rec);
  };
  const std::size_t n = std::min(top, all.size());
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n), all.end(), better);
  all.resize(n);
  best.rows = std::move(all);
  return best;
}

}  // namespace kinvar

namespace kinvar {

namespace {

ChartBox ParentBox(const Pedigree& ped, const std::vector<Sex>& sexes, const PlannedParent& parent, Sex sex) {
  if (parent.kind == PlannedParent::Kind::kKnown) return ChartBoxOf(ped, sexes, parent.rec);
  ChartBox box;
  if (parent.kind == PlannedParent::Kind::kUnknown) return box;
  box.id = parent.label;
  box.sex = sex;
  box.planned = true;
  // A new parent's F is what its own parents give it.
  PlannedParent s, d;
  if (parent.sire != kUnknownParent) s = {PlannedParent::Kind::kKnown, parent.sire, kUnknownParent, kUnknownParent, {}};
  if (parent.dam != kUnknownParent) d = {PlannedParent::Kind::kKnown, parent.dam, kUnknownParent, kUnknownParent, {}};
  box.f = s.kind == PlannedParent::Kind::kUnknown || d.kind == PlannedParent::Kind::kUnknown
              ? 0.0f
              : RelationshipFrom(ped, ParentColumn(ped, d), s) / 2.0f;
  return box;
}

}  // namespace

PedigreeChart BuildPlannedChart(const Pedigree& ped, const PlannedParent& sire,
                                const PlannedParent& dam, const PlannedMating& m, int generations) {
  PedigreeChart chart;
  chart.generations = generations;
  chart.numberFormat = ped.settings.numberFormat;
  chart.boxes.assign(PedigreeChart::Place(generations + 1, 0), ChartBox{});
  ChartBox& root = chart.boxes[0];
  root.id = (sire.kind == PlannedParent::Kind::kUnknown ? std::string("unknown") : sire.label) + " x " +
            (dam.kind == PlannedParent::Kind::kUnknown ? std::string("unknown") : dam.label);
  root.f = m.offspringF;
  root.planned = true;
  const std::vector<Sex> sexes = ShownSexes(ped);
  const PlannedParent* parents[] = {&sire, &dam};
  for (int k = 0; k < 2; ++k) {
    const PlannedParent& p = *parents[k];
    chart.boxes[PedigreeChart::Place(1, k)] = ParentBox(ped, sexes, p, k == 0 ? Sex::kMale : Sex::kFemale);
    if (p.kind != PlannedParent::Kind::kNew || generations < 2) continue;
    chart.boxes[PedigreeChart::Place(2, 2 * k)] = ChartBoxOf(ped, sexes, p.sire);
    chart.boxes[PedigreeChart::Place(2, 2 * k + 1)] = ChartBoxOf(ped, sexes, p.dam);
  }
  FillAncestorPlaces(ped, sexes, chart);
  ColourRepeatedAncestors(chart);
  double listed = 0.0;
  for (ChartCommonAncestor& a : chart.common) {
    for (const AncestorPart& p : m.common)
      if (p.rec == a.rec) a.part = p.part;
    listed += a.part;
  }
  chart.otherPart = m.partsTotal - listed;
  return chart;
}

}  // namespace kinvar
